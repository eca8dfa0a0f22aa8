// Turning the bytes of params.ini into UTF-16, by its byte-order mark.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "common/Buffer.h"
#include "common/Text.h"

namespace quillmark {

using TextBuffer = Buffer<WChar>;

enum class TextEncoding { Utf16Le, Utf16Be, Utf8, Ansi };

struct ByteOrderMark {
    TextEncoding encoding;
    size_t length;
};

ByteOrderMark DetectByteOrderMark(std::string_view bytes);

// Each pair of bytes is one code unit; a last odd byte is ignored.
TextBuffer DecodeUtf16(std::string_view bytes, bool bigEndian);

// Strict UTF-8: nullopt when any sequence is malformed (overlong, surrogate,
// above U+10FFFF, truncated, stray continuation byte).
std::optional<TextBuffer> DecodeUtf8Strict(std::string_view bytes);
// The same into out, which has room for bytes.size() units: the units written.
std::optional<size_t> DecodeUtf8StrictTo(std::string_view bytes, WChar* out);

// Offset of the first malformed sequence, or nullopt when the bytes are well formed.
std::optional<size_t> FindMalformedUtf8(std::string_view bytes);

// The whole text of a catalogue file, mark removed. Strict UTF-8 that fails
// yields an empty text. Unmarked bytes use the given legacy code page on
// platforms without an ANSI code page; 0 means the platform's default.
TextBuffer DecodeCatalogueText(std::string_view bytes, unsigned legacyCodePage = 0);

}  // namespace quillmark
