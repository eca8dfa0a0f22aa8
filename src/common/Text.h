// UTF-16 strings for every platform: wchar_t is 16 bits on Windows only.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillmark {

#ifdef _WIN32
using WChar = wchar_t;
#define QM_W(s) L##s
#else
using WChar = char16_t;
#define QM_W(s) u##s
#endif

using WString = std::basic_string<WChar>;
using WStringView = std::basic_string_view<WChar>;

// A literal as a view of known length: comparing with it does not count the
// literal's characters again on every call, which the XML readers do per element.
#define QM_WV(s) ::quillmark::WStringView(QM_W(s), sizeof(QM_W(s)) / sizeof(::quillmark::WChar) - 1)

// UTF-8 for diagnostics and console output. Lone surrogates become U+FFFD.
std::string ToUtf8(WStringView text);
// Lenient UTF-8 to UTF-16: malformed sequences become U+FFFD. For arguments and
// messages, never for catalogue files (those follow the strict rules).
WString FromUtf8(std::string_view text);

// File names where the system names files with bytes, as Linux does: a byte
// that is not part of UTF-8 stays, on its own, as a lone surrogate
// U+DC80..U+DCFF, so that a name goes back to the system as the bytes it
// came as (a CP1251 name unzipped from a Windows archive, say).
WString FromNativePath(std::string_view bytes);
std::string ToNativePath(WStringView path);
// The byte that a lone surrogate of FromNativePath keeps.
std::optional<unsigned char> KeptByte(WChar unit);

}  // namespace quillmark
