#include <windows.h>

#include <algorithm>
#include <string>

#include "catalogue/Platform.h"
#include "common/WinHandle.h"
#include "tools/check/TemplateFile.h"

namespace quillmark {

namespace {

// Past MAX_PATH only the extended form names a file.
std::wstring Extended(const WString& path) {
    const std::wstring full = platform::FullPath(path);
    if (full.size() < MAX_PATH || full.starts_with(L"\\\\?\\")) return full;
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

TemplateError WriteError(DWORD error) {
    return TemplateError{Message::WriteFailed, {ToUtf8(platform::SystemErrorText(error))}};
}

// The new file, removed unless it took the template's place.
class NewFile {
public:
    explicit NewFile(std::wstring path) : path_(std::move(path)) {}
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile() {
        if (!path_.empty()) ::DeleteFileW(path_.c_str());
    }
    const std::wstring& Path() const { return path_; }
    void Keep() { path_.clear(); }

private:
    std::wstring path_;
};

bool HoldsExactly(const std::wstring& path, std::string_view expected) {
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    char buffer[16 * 1024];
    size_t at = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) return false;
        if (got == 0) return at == expected.size();
        if (expected.substr(at, got) != std::string_view(buffer, got)) return false;
        at += got;
    }
}

// Beside the template, and no longer than a name may be: a long template
// name is cut, never inside a surrogate pair.
std::wstring NewFileName(const std::wstring& name, const std::wstring& suffix) {
    const std::wstring prefix = L".~quillmark.";
    size_t keep = std::min<size_t>(name.size(), 255 - prefix.size() - suffix.size());
    if (keep > 0 && keep < name.size() && name[keep] >= 0xDC00 && name[keep] <= 0xDFFF) --keep;
    return prefix + name.substr(0, keep) + suffix;
}

// A new file of a name that no other file has: two long names cut alike,
// written by two threads at once, each take a name of their own.
UniqueFile CreateNewFile(const std::wstring& folder, const std::wstring& name, std::wstring& path) {
    const std::wstring suffix = L"." + std::to_wstring(::GetCurrentProcessId());
    for (int n = 0;; ++n) {
        path = folder + NewFileName(name, n == 0 ? suffix : suffix + L"." + std::to_wstring(n));
        UniqueFile file(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr));
        if (file || ::GetLastError() != ERROR_FILE_EXISTS || n == 99) return file;
    }
}

// The file is closed on return, so that it can be read back and removed.
std::optional<TemplateError> WriteFlushed(UniqueFile out, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        if (!::WriteFile(out.Get(), bytes.data() + done, want, &written, nullptr)) return WriteError(::GetLastError());
        done += written;
    }
    if (!::FlushFileBuffers(out.Get())) return WriteError(::GetLastError());
    return std::nullopt;
}

std::optional<TemplateError> ReplaceTemplate(const WString& path, std::string_view expected, std::string_view bytes) {
    const std::wstring target = Extended(path);
    const size_t slash = target.find_last_of(L"\\/");
    std::wstring name;
    UniqueFile out = CreateNewFile(target.substr(0, slash + 1), target.substr(slash + 1), name);
    if (!out) return WriteError(::GetLastError());  // and the file of that name is not ours
    NewFile file(name);
    if (auto failed = WriteFlushed(std::move(out), bytes)) return failed;
    if (!HoldsExactly(file.Path(), bytes)) return TemplateError{Message::ReadBackDiffers, {}};
    if (!HoldsExactly(target, expected)) return TemplateError{Message::ChangedOnDisk, {}};
    // Keeps the template's attributes, security, creation time and streams;
    // fails while Word holds the file open.
    if (!::ReplaceFileW(target.c_str(), file.Path().c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                        nullptr)) {
        const DWORD error = ::GetLastError();
        // Moved aside but not replaced, or, with no backup named, removed and
        // not replaced: the new file is then the only whole copy.
        if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 ||
            (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT &&
             ::GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES)) {
            file.Keep();
        }
        return WriteError(error);
    }
    file.Keep();
    return std::nullopt;
}

}  // namespace

bool IsReadOnlyFile(const WString& path) {
    const DWORD attributes = ::GetFileAttributesW(Extended(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

std::optional<FileIdentity> IdentityOf(const WString& path) {
    const UniqueFile file(::CreateFileW(Extended(path).c_str(), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !::GetFileInformationByHandle(file.Get(), &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

std::vector<std::optional<TemplateError>> TemplateReplacements::Commit() {
    // Windows has no flush of many files at once that a user may ask for:
    // each is written, flushed and put in place in turn.
    std::vector<std::optional<TemplateError>> results;
    for (const Pending& p : pending_) results.push_back(ReplaceTemplate(p.path, p.expected, p.bytes));
    pending_.clear();
    return results;
}

}  // namespace quillmark
