#include <windows.h>

#include <algorithm>
#include <climits>
#include <string>

#include "catalogue/Decoding.h"
#include "catalogue/FileOpenError.h"
#include "catalogue/Platform.h"
#include "common/WinHandle.h"

namespace quillmark::platform {

namespace {

// Calls fill(buffer, size) with a growing buffer until the answer fits.
template <class Fill>
WString GrowingBuffer(DWORD initial, Fill fill) {
    WString buffer(initial, L'\0');
    for (;;) {
        const DWORD n = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

WString ModuleFileName() {
    // MAX_PATH + 1 is the usual size; longer paths get a larger buffer rather
    // than a cut-off name that points into the wrong directory.
    return GrowingBuffer(MAX_PATH + 1,
                         [](wchar_t* buffer, DWORD size) { return ::GetModuleFileNameW(nullptr, buffer, size); });
}

WStringView PathSeparators() { return L"\\:"; }

bool FileExists(const WString& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME) return false;
    WIN32_FIND_DATAW data{};
    const UniqueFind find(::FindFirstFileW(path.c_str(), &data));
    return find && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

FileBytes ReadWholeFile(const WString& path) {
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw FileOpenError(path, ::GetLastError());

    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size)) throw FileOpenError(path, ::GetLastError());
    // The text conversions take int lengths; no catalogue comes near 2 GB.
    if (size.QuadPart > INT_MAX) throw FileOpenError(path, ERROR_FILE_TOO_LARGE);
    FileBytes bytes(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.Size()) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.Size() - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(file.Get(), bytes.Data() + done, want, &got, nullptr)) {
            const DWORD error = ::GetLastError();  // before FullPath's calls can change it
            throw Exception(L"Cannot read file \"" + FullPath(path) + L"\". " + SystemErrorText(error));
        }
        if (got == 0) break;  // the file shrank since it was opened
        done += got;
    }
    bytes.Shrink(done);
    return bytes;
}

WString FullPath(const WString& path) {
    // A too-small buffer is answered with the size needed, so growing works.
    return GrowingBuffer(MAX_PATH + 1, [&](wchar_t* buffer, DWORD size) {
        return ::GetFullPathNameW(path.c_str(), size, buffer, nullptr);
    });
}

WString SystemErrorText(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const UniqueLocal owner(text);
    if (n == 0) return L"System error " + std::to_wstring(code);
    return WithoutTrailingBlanksAndStops(WString(text, n));
}

std::optional<Buffer<WChar>> DecodeUtf8(std::string_view bytes) {
    if (bytes.empty()) return Buffer<WChar>();
    const int length = static_cast<int>(bytes.size());
    Buffer<WChar> text(bytes.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), length, text.Data(), length);
    if (n <= 0) return std::nullopt;
    text.Shrink(static_cast<size_t>(n));
    return text;
}

bool IsValidUtf8(std::string_view bytes) {
    // With no output buffer, the conversion only counts: a pass that writes nothing.
    return bytes.empty() || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                                  static_cast<int>(bytes.size()), nullptr, 0) > 0;
}

size_t DecodeValidUtf8(std::string_view bytes, WChar* out) {
    if (bytes.empty()) return 0;
    const int length = static_cast<int>(bytes.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, out, length);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

unsigned DefaultAnsiCodePage() { return ::GetACP(); }

Buffer<WChar> DecodeAnsi(std::string_view bytes, unsigned codePage) {
    if (bytes.empty()) return Buffer<WChar>();
    const UINT cp = codePage == 0 ? CP_ACP : codePage;
    const int length = static_cast<int>(bytes.size());
    Buffer<WChar> text(bytes.size());
    const int n = ::MultiByteToWideChar(cp, 0, bytes.data(), length, text.Data(), length);
    text.Shrink(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

void UpperCaseInPlace(WString& text) {
    if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
}

}  // namespace quillmark::platform
