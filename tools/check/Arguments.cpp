#include "tools/check/Arguments.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string_view>
#include <tuple>
#include <utility>

#include "catalogue/Kinds.h"
#include "catalogue/Platform.h"
#include "tools/check/ArgumentsPlatform.h"

namespace quillmark {

bool IsTemplatePath(WStringView path) {
    const size_t dot = path.find_last_of('.');
    if (dot == WStringView::npos) return false;
    const WString extension = platform::UpperCase(path.substr(dot));
    // Binary Word files too, so that they are told why they cannot be read.
    for (const WStringView known : {QM_W(".DOCX"), QM_W(".DOTX"), QM_W(".DOCM"), QM_W(".DOTM"), QM_W(".ODT"),
                                    QM_W(".OTT"), QM_W(".DOC"), QM_W(".DOT")}) {
        if (extension == known) return true;
    }
    return false;
}

std::optional<WString> FindKind(WStringView name) {
    const WString upper = platform::UpperCase(name);
    for (const WStringView kind : kCalculationKinds) {
        if (platform::UpperCase(kind) == upper) return WString(kind);
    }
    return std::nullopt;
}

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
    void Add(TemplateArgument argument) {
        WString key = platform::UpperCase(argument.path);
        for (WChar& c : key) {
            if (c == '/' || c == fs::path::preferred_separator) c = 1;
        }
        paths_.emplace_back(std::move(key), std::move(argument));
    }

    std::vector<TemplateArgument> Sorted() {
        std::sort(paths_.begin(), paths_.end(), [](const auto& a, const auto& b) {
            return std::tie(a.first, a.second.path) < std::tie(b.first, b.second.path);
        });
        std::vector<TemplateArgument> sorted;
        for (auto& [key, argument] : paths_) sorted.push_back(std::move(argument));
        return sorted;
    }

private:
    std::vector<std::pair<WString, TemplateArgument>> paths_;
};

// A file that links lead to by several paths is read once, at the first.
std::vector<TemplateArgument> OncePerFile(std::vector<TemplateArgument> templates) {
    std::set<arguments::FileIdentity> seen;
    std::vector<TemplateArgument> once;
    for (TemplateArgument& found : templates) {
        const auto identity = found.problem ? std::nullopt : arguments::IdentityOf(ToPath(found.path));
        if (!identity || seen.insert(*identity).second) once.push_back(std::move(found));
    }
    return once;
}

// Folder by folder, so that one that cannot be read (a path too long for
// the system, say) is named in its place and the walk goes on. A link to a
// folder is not walked: it may lead back up. A subfolder the user may not
// read is passed over, as Windows keeps several in every profile.
std::vector<TemplateArgument> TemplatesInFolder(const WString& folder) {
    PathOrder found;
    const fs::path top = ToPath(folder);
    std::vector<fs::path> pending{top};
    while (!pending.empty()) {
        const fs::path next = std::move(pending.back());
        pending.pop_back();
        const auto options = next == top ? fs::directory_options::none : fs::directory_options::skip_permission_denied;
        std::error_code error;
        for (fs::directory_iterator it(next, options, error), end; !error && it != end; it.increment(error)) {
            std::error_code ignored;
            if (it->is_directory(ignored)) {
                if (!arguments::IsLink(it->path())) pending.push_back(it->path());
            } else if (it->is_regular_file(ignored) && IsTemplateFile(it->path())) {
                found.Add({FromPath(it->path()), std::nullopt});
            }
        }
        if (error) found.Add({FromPath(next), Message::FolderNotRead});
    }
    return OncePerFile(found.Sorted());
}

std::vector<TemplateArgument> TemplatesMatching(const WString& pattern) {
    PathOrder matches;
    for (arguments::Match& match : arguments::Matches(pattern)) {
        if (match.folder || IsTemplateFile(ToPath(match.path))) matches.Add({std::move(match.path), std::nullopt});
    }
    std::vector<TemplateArgument> templates;
    for (TemplateArgument& match : matches.Sorted()) {
        if (!IsFolder(match.path)) {
            templates.push_back(std::move(match));
            continue;
        }
        std::vector<TemplateArgument> inside = TemplatesInFolder(match.path);
        std::move(inside.begin(), inside.end(), std::back_inserter(templates));
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
    std::vector<TemplateArgument> lockFiles;
    for (const WString& argument : arguments) {
        std::vector<TemplateArgument> templates;
        Message none = Message::NoTemplateMatches;
        if (arguments::HasPattern(argument)) {
            templates = TemplatesMatching(argument);
        } else if (IsFolder(argument)) {
            templates = TemplatesInFolder(argument);
            none = Message::NoTemplateInFolder;
        } else if (IsLockFile(FromPath(ToPath(argument).filename()))) {
            // A shell's *.docx names Word's owner files too; alone, they are all there was to check.
            lockFiles.push_back({argument, Message::LockFile});
            continue;
        } else {
            // A missing template is the reader's to report, with the system's reason.
            const bool other = !IsTemplatePath(argument) && NamesAFile(argument);
            expanded.push_back({argument, other ? std::optional(Message::NotATemplate) : std::nullopt});
            continue;
        }
        if (templates.empty()) expanded.push_back({argument, none});
        std::move(templates.begin(), templates.end(), std::back_inserter(expanded));
    }
    return expanded.empty() ? lockFiles : expanded;
}

}  // namespace quillmark
