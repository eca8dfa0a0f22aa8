// The few operating-system services the catalogue needs. Windows serves them
// with the Win32 calls the program is known by; other platforms with
// portable code that gives the same answers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/Buffer.h"
#include "common/Text.h"

namespace quillmark::platform {

// The full file name of the running executable, however long.
WString ModuleFileName();

// Characters after which the directory part of a path ends.
WStringView PathSeparators();

// False for a missing file, a missing directory on the path, an invalid name
// or a directory; true otherwise.
bool FileExists(const WString& path);

// All bytes of the file, read with writing by others denied where the
// platform can deny it. Throws the file-open error when it cannot be opened.
FileBytes ReadWholeFile(const WString& path);

// The absolute, normalised form of a path, for messages.
WString FullPath(const WString& path);

// The system's text for an error code, trailing blanks and full stops removed.
WString SystemErrorText(unsigned long code);

std::optional<Buffer<WChar>> DecodeUtf8(std::string_view bytes);
// Whether DecodeUtf8 would accept the bytes, without decoding them.
bool IsValidUtf8(std::string_view bytes);
// Decodes bytes that IsValidUtf8 accepted into out, which has room for
// bytes.size() units, with no buffer of its own; the units written.
size_t DecodeValidUtf8(std::string_view bytes, WChar* out);

// The code page that decodes unmarked files by default: the system's ANSI
// code page on Windows.
unsigned DefaultAnsiCodePage();

// 0 chooses the platform's default code page.
Buffer<WChar> DecodeAnsi(std::string_view bytes, unsigned codePage);

void UpperCaseInPlace(WString& text);
// The same on a copy: the case folding of the catalogue's section lookup.
inline WString UpperCase(WStringView text) {
    WString upper(text);
    UpperCaseInPlace(upper);
    return upper;
}

}  // namespace quillmark::platform
