#include "common/Text.h"

#include <cstdint>

namespace quillmark {

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(WString& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<WChar>(c);
    } else {
        c -= 0x10000;
        out += static_cast<WChar>(0xD800 + (c >> 10));
        out += static_cast<WChar>(0xDC00 + (c & 0x3FF));
    }
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// UTF-8 of the text. A lone surrogate becomes U+FFFD, or the byte it keeps
// when the text is a native path.
std::string Encode(WStringView text, bool path) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<uint16_t>(text[i]);
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(static_cast<uint16_t>(text[i + 1]))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (const auto byte = path ? KeptByte(text[i]) : std::nullopt) {
            out += static_cast<char>(*byte);
            continue;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

struct Decoded {
    std::optional<char32_t> c;  // none for a malformed sequence
    size_t length;              // of the character, or of the malformed sequence's valid start
};

Decoded DecodeAt(std::string_view text, size_t i) {
    const auto b = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t c = 0;
    char32_t least = 0;
    if (b < 0x80) return {b, 1};
    if (b >= 0xC2 && b <= 0xDF) {
        extra = 1, c = b & 0x1F, least = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        extra = 2, c = b & 0x0F, least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        extra = 3, c = b & 0x07, least = 0x10000;
    } else {
        return {std::nullopt, 1};
    }
    size_t j = i + 1;
    for (; j <= i + extra; ++j) {
        if (j >= text.size() || (static_cast<unsigned char>(text[j]) & 0xC0) != 0x80) break;
        c = (c << 6) | (static_cast<unsigned char>(text[j]) & 0x3F);
    }
    if (j != i + extra + 1 || c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return {std::nullopt, j - i};
    }
    return {c, j - i};
}

}  // namespace

std::string ToUtf8(WStringView text) { return Encode(text, false); }

WString FromUtf8(std::string_view text) {
    WString out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const Decoded d = DecodeAt(text, i);
        AppendUtf16(out, d.c.value_or(0xFFFD));
        i += d.length;
    }
    return out;
}

WString FromNativePath(std::string_view bytes) {
    WString out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const Decoded d = DecodeAt(bytes, i);
        if (d.c) {
            AppendUtf16(out, *d.c);
            i += d.length;
        } else {
            // Byte by byte: the next one may start a character of its own.
            out += static_cast<WChar>(0xDC00 | static_cast<unsigned char>(bytes[i]));
            ++i;
        }
    }
    return out;
}

std::string ToNativePath(WStringView path) { return Encode(path, true); }

std::optional<unsigned char> KeptByte(WChar unit) {
    const auto u = static_cast<uint16_t>(unit);
    if (u < 0xDC80 || u > 0xDCFF) return std::nullopt;
    return static_cast<unsigned char>(u & 0xFF);
}

}  // namespace quillmark
