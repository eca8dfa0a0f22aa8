#include "tools/check/Arguments.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <utility>

#include "catalogue/Platform.h"
#include "tools/check/ArgumentsPlatform.h"
#include "tools/check/TemplateReport.h"

namespace quillmark {

namespace fs = std::filesystem;
using arguments::FromPath;
using arguments::ToPath;

namespace {

// Word's owner file beside an open document, LibreOffice's lock file: an
// author checks while documents are open.
bool IsLockFile(WStringView name) {
    return name.starts_with(QM_W("~$")) || (name.starts_with(QM_W(".~lock.")) && name.ends_with(QM_W("#")));
}

bool IsTemplateFile(const fs::path& path) {
    const WString name = FromPath(path.filename());
    return IsTemplatePath(name) && !IsLockFile(name);
}

bool IsFolder(const WString& argument) {
    std::error_code error;
    return fs::is_directory(ToPath(argument), error);
}

// Paths in order folder by folder, without regard to case: a separator sorts
// before every character of a name.
class PathOrder {
public:
    void Add(WString path) {
        WString key = platform::UpperCase(path);
        for (WChar& c : key) {
            if (c == '/' || c == fs::path::preferred_separator) c = 1;
        }
        paths_.emplace_back(std::move(key), std::move(path));
    }

    std::vector<WString> Sorted() {
        std::sort(paths_.begin(), paths_.end());
        std::vector<WString> sorted;
        for (auto& [key, path] : paths_) sorted.push_back(std::move(path));
        return sorted;
    }

private:
    std::vector<std::pair<WString, WString>> paths_;
};

std::vector<WString> TemplatesInFolder(const WString& folder) {
    PathOrder found;
    std::error_code error;
    for (fs::recursive_directory_iterator it(ToPath(folder), fs::directory_options::skip_permission_denied, error), end;
         !error && it != end; it.increment(error)) {
        std::error_code ignored;
        if (it->is_regular_file(ignored) && IsTemplateFile(it->path())) found.Add(FromPath(it->path()));
    }
    return found.Sorted();
}

std::vector<WString> TemplatesMatching(const WString& pattern) {
    PathOrder matches;
    for (arguments::Match& match : arguments::Matches(pattern)) {
        if (match.folder || IsTemplateFile(ToPath(match.path))) matches.Add(std::move(match.path));
    }
    std::vector<WString> templates;
    for (const WString& match : matches.Sorted()) {
        if (!IsFolder(match)) {
            templates.push_back(match);
            continue;
        }
        const std::vector<WString> inside = TemplatesInFolder(match);
        templates.insert(templates.end(), inside.begin(), inside.end());
    }
    return templates;
}

// A template's name, a pattern or a folder.
bool StandsForTemplates(const WString& argument) {
    return IsTemplatePath(argument) || arguments::HasPattern(argument) || IsFolder(argument);
}

}  // namespace

bool CannotBeACatalogue(const WString& argument) {
    std::error_code error;
    if (StandsForTemplates(argument)) return true;
    if (!fs::is_regular_file(ToPath(argument), error)) return false;  // a FIFO would block the read
    // A zip package or a binary Word file, whatever its name: dropped on the program, most likely.
    char start[4] = {};
    std::ifstream(ToPath(argument), std::ios::binary).read(start, sizeof start);
    const std::string_view signature(start, sizeof start);
    return signature == std::string_view("PK\3\4", 4) || signature == "\xD0\xCF\x11\xE0";
}

bool NamesAFile(const WString& argument) {
    std::error_code error;
    return StandsForTemplates(argument) || fs::exists(ToPath(argument), error);
}

std::vector<TemplateArgument> ExpandTemplateArguments(const std::vector<WString>& arguments) {
    std::vector<TemplateArgument> expanded;
    for (const WString& argument : arguments) {
        std::vector<WString> templates;
        Message none = Message::NoTemplateMatches;
        if (arguments::HasPattern(argument)) {
            templates = TemplatesMatching(argument);
        } else if (IsFolder(argument)) {
            templates = TemplatesInFolder(argument);
            none = Message::NoTemplateInFolder;
        } else if (IsLockFile(FromPath(ToPath(argument).filename()))) {
            continue;  // a shell's *.docx names Word's owner files too
        } else {
            // A missing template is the reader's to report, with the system's reason.
            const bool other = !IsTemplatePath(argument) && NamesAFile(argument);
            expanded.push_back({argument, other ? std::optional(Message::NotATemplate) : std::nullopt});
            continue;
        }
        if (templates.empty()) expanded.push_back({argument, none});
        for (WString& path : templates) expanded.push_back({std::move(path), std::nullopt});
    }
    return expanded;
}

}  // namespace quillmark
