// POSIX shells expand patterns before the program starts: an argument is
// always a name here.
#include "tools/check/ArgumentsPlatform.h"

namespace quillmark::arguments {

std::filesystem::path ToPath(const WString& argument) { return std::filesystem::path(ToNativePath(argument)); }

WString FromPath(const std::filesystem::path& path) { return FromNativePath(path.native()); }

bool HasPattern(WStringView) { return false; }

bool IsLink(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_symlink(path, error);
}

std::vector<Match> Matches(const WString&) { return {}; }

}  // namespace quillmark::arguments
