// Neither cmd.exe nor PowerShell expands * and ? for a program, and cmd.exe
// passes quoted arguments on as they stand: the program expands them itself.
#include <windows.h>

#include "catalogue/Platform.h"
#include "common/WinHandle.h"
#include "tools/check/ArgumentsPlatform.h"

namespace quillmark::arguments {

namespace {

WStringView::size_type NameStart(WStringView path) {
    const size_t separator = path.find_last_of(L"\\/:");
    return separator == WStringView::npos ? 0 : separator + 1;
}

// What is left of a pattern once the name is used up matches nothing more:
// stars, and a dot that only stars follow, for cmd's dir finds every name
// with *.* and "report" with report.*.
bool MatchesNothingMore(WStringView rest) {
    const size_t dot = rest.find_first_not_of(L'*');
    return dot == WStringView::npos ||
           (rest[dot] == L'.' && dot + 1 < rest.size() && rest.find_first_not_of(L'*', dot + 1) == WStringView::npos);
}

// * for any run of characters, ? for one, without regard to case.
bool NameMatches(WStringView name, WStringView pattern) {
    size_t n = 0, p = 0, star = WStringView::npos, resumeAt = 0;
    for (;;) {
        if (n == name.size() && MatchesNothingMore(pattern.substr(p))) return true;
        if (n < name.size() && p < pattern.size() && (pattern[p] == L'?' || pattern[p] == name[n])) {
            ++n, ++p;
        } else if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            resumeAt = n;
        } else if (star != WStringView::npos && resumeAt < name.size()) {
            p = star + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
}

}  // namespace

std::filesystem::path ToPath(const WString& argument) { return std::filesystem::path(argument); }

WString FromPath(const std::filesystem::path& path) { return path.native(); }

bool HasPattern(WStringView argument) {
    return argument.find_first_of(L"*?", NameStart(argument)) != WStringView::npos;
}

bool IsLink(const std::filesystem::path& path) {
    WIN32_FIND_DATAW data{};
    const UniqueFind find(::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    // A cloud file's placeholder is a reparse point too, and no link; Wine
    // gives its links no tag.
    return find && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (data.dwReserved0 == 0 || IsReparseTagNameSurrogate(data.dwReserved0));
}

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
    // No access asked for: a file that Word holds open still answers.
    const UniqueFile file(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !::GetFileInformationByHandle(file.Get(), &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

std::vector<Match> Matches(const WString& pattern) {
    const WString folder = pattern.substr(0, NameStart(pattern));
    const WString name = platform::UpperCase(WStringView(pattern).substr(folder.size()));
    std::vector<Match> found;
    WIN32_FIND_DATAW data{};
    const UniqueFind find(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                             FIND_FIRST_EX_LARGE_FETCH));
    if (!find) return found;
    do {
        const WStringView match = data.cFileName;
        // Windows also matches the short 8.3 names, so *.doc would find .docx.
        if (match == L"." || match == L".." || !NameMatches(platform::UpperCase(match), name)) continue;
        found.push_back({folder + data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (::FindNextFileW(find.Get(), &data));
    return found;
}

}  // namespace quillmark::arguments
