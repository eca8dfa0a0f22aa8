#include "catalogue/Decoding.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "catalogue/Platform.h"

namespace quillmark {

namespace {

bool StartsWith(std::string_view bytes, std::string_view mark) {
    return bytes.size() >= mark.size() && std::memcmp(bytes.data(), mark.data(), mark.size()) == 0;
}

// Length of the well-formed sequence at bytes[i], 0 when malformed; code point in cp.
size_t Utf8SequenceAt(std::string_view bytes, size_t i, char32_t& cp) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    const unsigned b0 = s[i];
    auto cont = [&](size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) {
        return i + k < n && s[i + k] >= lo && s[i + k] <= hi;
    };
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (!cont(1)) return 0;
        cp = ((b0 & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu);
        return 2;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        const unsigned lo = b0 == 0xE0 ? 0xA0 : 0x80;
        const unsigned hi = b0 == 0xED ? 0x9F : 0xBF;
        if (!cont(1, lo, hi) || !cont(2)) return 0;
        cp = ((b0 & 0x0Fu) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu);
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        const unsigned lo = b0 == 0xF0 ? 0x90 : 0x80;
        const unsigned hi = b0 == 0xF4 ? 0x8F : 0xBF;
        if (!cont(1, lo, hi) || !cont(2) || !cont(3)) return 0;
        cp = ((b0 & 0x07u) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) | (s[i + 3] & 0x3Fu);
        return 4;
    }
    return 0;
}

// Eight ASCII bytes at a time: the common case of codes and key names.
bool EightAscii(const unsigned char* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return (word & 0x8080808080808080ull) == 0;
}

// Eight bytes that are four well-formed two-byte sequences (lead C2..DF,
// then a continuation byte), each starting at an even offset.
bool FourTwoByteLetters(const unsigned char* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    const bool leads = (word & 0x00E000E000E000E0ull) == 0x00C000C000C000C0ull;
    const bool continuations = (word & 0xC000C000C000C000ull) == 0x8000800080008000ull;
    // C0 and C1 would be overlong: some bit of 1E must be set in each lead.
    const uint64_t low = word & 0x001E001E001E001Eull;
    const bool notOverlong = ((low + 0x7FFF7FFF7FFF7FFFull) & 0x8000800080008000ull) == 0x8000800080008000ull;
    return leads && continuations && notOverlong;
}

#if defined(__SSE2__)
// Passes ASCII and whole two-byte letters sixteen bytes at a time, from a
// sequence boundary i, and returns the boundary where that stops. A letter
// may straddle two blocks: its lead is carried into the next one. Blocks are
// taken at a fixed stride, so that each load waits on no earlier block.
size_t SkipSimpleUtf8(const unsigned char* s, size_t i, size_t n) {
    const __m128i c2 = _mm_set1_epi8(static_cast<char>(0xC2));
    const __m128i span = _mm_set1_epi8(0x1D);
    const __m128i top = _mm_set1_epi8(static_cast<char>(0xC0));
    const __m128i continuationBits = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i zero = _mm_setzero_si128();
    unsigned carry = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        // Leads C2..DF: at most 1D above C2, wrapping; continuations 80..BF.
        const __m128i leads = _mm_cmpeq_epi8(_mm_subs_epu8(_mm_sub_epi8(bytes, c2), span), zero);
        const __m128i continuations = _mm_cmpeq_epi8(_mm_and_si128(bytes, top), continuationBits);
        const auto high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
        const auto lead = static_cast<unsigned>(_mm_movemask_epi8(leads));
        const auto continuation = static_cast<unsigned>(_mm_movemask_epi8(continuations));
        // Every high byte a lead or a continuation, each continuation right after a lead.
        if ((lead | continuation) != high || (((lead << 1) | carry) & 0xFFFF) != continuation) break;
        carry = lead >> 15;
    }
    return i - carry;
}
#endif

}  // namespace

ByteOrderMark DetectByteOrderMark(std::string_view bytes) {
    if (StartsWith(bytes, "\xFF\xFE")) return {TextEncoding::Utf16Le, 2};
    if (StartsWith(bytes, "\xFE\xFF")) return {TextEncoding::Utf16Be, 2};
    if (StartsWith(bytes, "\xEF\xBB\xBF")) return {TextEncoding::Utf8, 3};
    return {TextEncoding::Ansi, 0};
}

TextBuffer DecodeUtf16(std::string_view bytes, bool bigEndian) {
    TextBuffer buffer(bytes.size() / 2);
    WChar* text = buffer.Data();
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const int hi = bigEndian ? 0 : 1;
    for (size_t i = 0; i < buffer.Size(); ++i) {
        text[i] = static_cast<WChar>((s[2 * i + hi] << 8) | s[2 * i + (1 - hi)]);
    }
    return buffer;
}

std::optional<size_t> DecodeUtf8StrictTo(std::string_view bytes, WChar* text) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t i = 0;
    size_t out = 0;
    while (i < bytes.size()) {
        const unsigned b0 = s[i];
        if (b0 < 0x80) {
            // Runs of ASCII (codes, digits, blanks) go eight bytes at a time.
            if (i + 8 <= bytes.size() && EightAscii(s + i)) {
                for (int k = 0; k < 8; ++k) text[out++] = static_cast<WChar>(s[i + k]);
                i += 8;
            } else {
                text[out++] = static_cast<WChar>(b0);
                ++i;
            }
            continue;
        }
        // Two-byte sequences: all of Cyrillic, the common case after ASCII.
        if (b0 >= 0xC2 && b0 <= 0xDF && i + 1 < bytes.size() && (s[i + 1] & 0xC0) == 0x80) {
            text[out++] = static_cast<WChar>(((b0 & 0x1F) << 6) | (s[i + 1] & 0x3F));
            i += 2;
            continue;
        }
        char32_t cp = 0;
        const size_t len = Utf8SequenceAt(bytes, i, cp);
        if (len == 0) return std::nullopt;
        if (cp < 0x10000) {
            text[out++] = static_cast<WChar>(cp);
        } else {
            cp -= 0x10000;
            text[out++] = static_cast<WChar>(0xD800 + (cp >> 10));
            text[out++] = static_cast<WChar>(0xDC00 + (cp & 0x3FF));
        }
        i += len;
    }
    return out;
}

std::optional<TextBuffer> DecodeUtf8Strict(std::string_view bytes) {
    TextBuffer buffer(bytes.size());  // never more units than bytes
    const std::optional<size_t> units = DecodeUtf8StrictTo(bytes, buffer.Data());
    if (!units) return std::nullopt;
    buffer.Shrink(*units);
    return buffer;
}

std::optional<size_t> FindMalformedUtf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    const auto twoByteLetterAt = [&](size_t i) {
        return i + 1 < n && s[i] >= 0xC2 && s[i] <= 0xDF && (s[i + 1] & 0xC0) == 0x80;
    };
    size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        i = SkipSimpleUtf8(s, i, n);
#endif
        // A run of ASCII, then a run of two-byte letters (Cyrillic, Greek,
        // Latin-1): whole words while they last, then one by one.
        while (i + 8 <= n && EightAscii(s + i)) i += 8;
        while (i < n && s[i] < 0x80) ++i;
        while (i + 8 <= n && FourTwoByteLetters(s + i)) i += 8;
        while (twoByteLetterAt(i)) i += 2;
        if (i < n && s[i] >= 0x80) {
            char32_t cp = 0;
            const size_t len = Utf8SequenceAt(bytes, i, cp);
            if (len == 0) return i;
            i += len;
        }
    }
    return std::nullopt;
}

TextBuffer DecodeCatalogueText(std::string_view bytes, unsigned legacyCodePage) {
    const ByteOrderMark mark = DetectByteOrderMark(bytes);
    const std::string_view body = bytes.substr(mark.length);
    switch (mark.encoding) {
        case TextEncoding::Utf16Le:
            return DecodeUtf16(body, false);
        case TextEncoding::Utf16Be:
            return DecodeUtf16(body, true);
        case TextEncoding::Utf8:
            return platform::DecodeUtf8(body).value_or(TextBuffer());
        case TextEncoding::Ansi:
            break;
    }
    return platform::DecodeAnsi(body, legacyCodePage);
}

}  // namespace quillmark
