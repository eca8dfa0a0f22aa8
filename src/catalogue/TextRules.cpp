#include "catalogue/TextRules.h"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillmark {

namespace {

// Sixteen bytes at a time (eight bytes without SSE2), as UTF-16 units or
// single bytes: files are long and the units sought are rare. Finds the first
// unit below limit, which is at least 1.
template <class C>
size_t FindBelowIn(std::basic_string_view<C> text, size_t pos, unsigned limit) {
#if defined(__SSE2__)
    constexpr size_t kPerBlock = 16 / sizeof(C);
    const bool bytes = sizeof(C) == 1;
    // A unit is below limit when taking limit - 1 from it, saturating, leaves 0.
    const __m128i floor =
        bytes ? _mm_set1_epi8(static_cast<char>(limit - 1)) : _mm_set1_epi16(static_cast<short>(limit - 1));
    const __m128i zero = _mm_setzero_si128();
    while (pos + kPerBlock <= text.size()) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos));
        const __m128i left = bytes ? _mm_subs_epu8(units, floor) : _mm_subs_epu16(units, floor);
        const auto below =
            static_cast<unsigned>(_mm_movemask_epi8(bytes ? _mm_cmpeq_epi8(left, zero) : _mm_cmpeq_epi16(left, zero)));
        if (below != 0) return pos + static_cast<size_t>(std::countr_zero(below)) / sizeof(C);
        pos += kPerBlock;
    }
#else
    constexpr size_t kPerWord = 8 / sizeof(C);
    constexpr uint64_t kOnes = sizeof(C) == 1 ? 0x0101010101010101ull : 0x0001000100010001ull;
    constexpr uint64_t kHighs = sizeof(C) == 1 ? 0x8080808080808080ull : 0x8000800080008000ull;
    while (pos + kPerWord <= text.size()) {
        uint64_t word;
        std::memcpy(&word, text.data() + pos, sizeof word);
        if (((word - kOnes * limit) & ~word & kHighs) != 0) break;
        pos += kPerWord;
    }
#endif
    while (pos < text.size() && static_cast<std::make_unsigned_t<C>>(text[pos]) >= limit) ++pos;
    return pos;
}

}  // namespace

size_t FindBelow(WStringView text, size_t pos, unsigned limit) { return FindBelowIn(text, pos, limit); }
size_t FindBelow(std::string_view text, size_t pos, unsigned limit) { return FindBelowIn(text, pos, limit); }

WChar PortableUpper(WChar c) {
    const auto u = static_cast<unsigned>(c);
    if (u < 0x80) return (u >= 'a' && u <= 'z') ? static_cast<WChar>(u - 0x20) : c;
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<WChar>(u - 0x20);
    if (u == 0xFF) return static_cast<WChar>(0x178);
    if (u >= 0x100 && u <= 0x17F) {
        // Pairs: even upper, odd lower, except where the block shifts by one.
        if (u == 0x131 || u == 0x138 || u == 0x149 || u == 0x17F) return c;
        const bool oddPairs = (u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E);
        if (oddPairs) return (u % 2 == 0) ? static_cast<WChar>(u - 1) : c;
        return (u % 2 == 1) ? static_cast<WChar>(u - 1) : c;
    }
    if (u >= 0x3AC && u <= 0x3CE) {
        if (u == 0x3AC) return static_cast<WChar>(0x386);
        if (u <= 0x3AF) return static_cast<WChar>(u - 0x25);
        if (u == 0x3C2) return c;  // final sigma: Windows leaves it
        if (u >= 0x3B1 && u <= 0x3CB) return static_cast<WChar>(u - 0x20);
        if (u == 0x3CC) return static_cast<WChar>(0x38C);
        if (u >= 0x3CD) return static_cast<WChar>(u - 0x3F);
        return c;
    }
    if (u >= 0x430 && u <= 0x44F) return static_cast<WChar>(u - 0x20);
    if (u >= 0x450 && u <= 0x45F) return static_cast<WChar>(u - 0x50);
    const bool cyrillicPairs = (u >= 0x460 && u <= 0x481) || (u >= 0x48A && u <= 0x4BF) || (u >= 0x4D0 && u <= 0x52F);
    if (cyrillicPairs) return (u % 2 == 1) ? static_cast<WChar>(u - 1) : c;
    if (u >= 0x4C1 && u <= 0x4CE) return (u % 2 == 0) ? static_cast<WChar>(u - 1) : c;
    if (u == 0x4CF) return static_cast<WChar>(0x4C0);
    return c;
}

}  // namespace quillmark
