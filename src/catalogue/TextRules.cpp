#include "catalogue/TextRules.h"

#include <cstdint>
#include <cstring>

namespace quillmark {

namespace {

// Index of the first unit below limit (at most 0x8000) from pos, or the size.
// Four units at a time: files are long and the units sought are rare.
size_t FindBelow(WStringView text, size_t pos, unsigned limit) {
    constexpr uint64_t kOnes = 0x0001000100010001ull;
    constexpr uint64_t kHighs = 0x8000800080008000ull;
    static_assert(sizeof(WChar) == 2);
    while (pos + 4 <= text.size()) {
        uint64_t word;
        std::memcpy(&word, text.data() + pos, sizeof word);
        if (((word - kOnes * limit) & ~word & kHighs) != 0) break;
        pos += 4;
    }
    while (pos < text.size() && static_cast<unsigned>(text[pos]) >= limit) ++pos;
    return pos;
}

}  // namespace

WStringView Trim(WStringView text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

WStringView UpToFirstNul(WStringView text) { return text.substr(0, FindBelow(text, 0, 1)); }

bool LineReader::Next(WStringView& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = FindBelow(text_, pos_, '\r' + 1);
    while (end < text_.size() && text_[end] != '\r' && text_[end] != '\n') end = FindBelow(text_, end + 1, '\r' + 1);
    line = text_.substr(pos_, end - pos_);
    pos_ = end;
    if (pos_ < text_.size()) {
        const bool crlf = text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n';
        pos_ += crlf ? 2 : 1;
    }
    ++number_;
    return true;
}

ClassifiedLine ClassifyLine(WStringView line) {
    ClassifiedLine out;
    out.text = Trim(line);
    const WStringView t = out.text;
    if (t.empty()) return out;
    if (t.front() == ';') {
        out.kind = LineKind::Comment;
    } else if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
        out.kind = LineKind::Header;
        out.name = Trim(t.substr(1, t.size() - 2));
    } else {
        out.kind = LineKind::Key;
        const size_t eq = t.find('=');
        if (eq != WStringView::npos) {
            out.hasEquals = true;
            out.name = Trim(t.substr(0, eq));
            out.value = Trim(t.substr(eq + 1));
        }
    }
    return out;
}

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
