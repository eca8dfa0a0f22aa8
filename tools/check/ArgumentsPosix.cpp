// POSIX shells expand patterns before the program starts: an argument is
// always a name here.
#include <sys/stat.h>

#include "tools/check/ArgumentsPlatform.h"

namespace quillmark::arguments {

std::filesystem::path ToPath(const WString& argument) { return std::filesystem::path(ToNativePath(argument)); }

WString FromPath(const std::filesystem::path& path) { return FromNativePath(path.native()); }

bool HasPattern(WStringView) { return false; }

bool IsLink(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_symlink(path, error);
}

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

std::vector<Match> Matches(const WString&) { return {}; }

}  // namespace quillmark::arguments
