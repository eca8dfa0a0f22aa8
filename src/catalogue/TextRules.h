// How the catalogue reads its text: blanks, line ends and the kinds of line.
// Shared by the catalogue and by the checker, so both read a file alike. The
// rules look at ASCII characters only, so they read UTF-16 text and, alike,
// the bytes of UTF-8 or of a single-byte code page.
#pragma once

#include <cstddef>
#include <string_view>
#include <type_traits>

#include "common/Text.h"

namespace quillmark {

template <class C>
constexpr bool IsBlank(C c) {
    return static_cast<unsigned>(static_cast<std::make_unsigned_t<C>>(c)) <= 0x20;
}

// Removes U+0000..U+0020 at both ends, and nothing else.
template <class C>
std::basic_string_view<C> Trim(std::basic_string_view<C> text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}
inline WStringView Trim(WStringView text) { return Trim<WChar>(text); }

// Index of the first unit below limit (at most 0x80) from pos, or the size.
size_t FindBelow(WStringView text, size_t pos, unsigned limit);
size_t FindBelow(std::string_view text, size_t pos, unsigned limit);

// Cuts the text at its first U+0000, if any.
template <class C>
std::basic_string_view<C> UpToFirstNul(std::basic_string_view<C> text) {
    return text.substr(0, FindBelow(text, 0, 1));
}
inline WStringView UpToFirstNul(WStringView text) { return UpToFirstNul<WChar>(text); }

// Splits at CR, LF or CR LF. A last line without an end is a line; an end at
// the very end starts no further line.
template <class C>
class BasicLineReader {
public:
    explicit BasicLineReader(std::basic_string_view<C> text) : text_(text) {}

    bool Next(std::basic_string_view<C>& line) {
        if (pos_ >= text_.size()) return false;
        size_t end = FindBelow(text_, pos_, '\r' + 1);
        while (end < text_.size() && text_[end] != '\r' && text_[end] != '\n') {
            end = FindBelow(text_, end + 1, '\r' + 1);
        }
        line = text_.substr(pos_, end - pos_);
        pos_ = end;
        if (pos_ < text_.size()) {
            const bool crlf = text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n';
            pos_ += crlf ? 2 : 1;
        }
        ++number_;
        return true;
    }
    // 1-based number of the line that Next returned last.
    size_t Number() const { return number_; }

private:
    std::basic_string_view<C> text_;
    size_t pos_ = 0;
    size_t number_ = 0;
};
using LineReader = BasicLineReader<WChar>;

enum class LineKind { Blank, Comment, Header, Key };

template <class C>
struct BasicClassifiedLine {
    LineKind kind = LineKind::Blank;
    std::basic_string_view<C> text;   // the trimmed line
    std::basic_string_view<C> name;   // header: the trimmed name; key: the trimmed text before the first "="
    std::basic_string_view<C> value;  // key with "=": the trimmed text after it
    bool hasEquals = false;
};
using ClassifiedLine = BasicClassifiedLine<WChar>;

template <class C>
BasicClassifiedLine<C> ClassifyLine(std::basic_string_view<C> line) {
    BasicClassifiedLine<C> out;
    out.text = Trim(line);
    const std::basic_string_view<C> t = out.text;
    if (t.empty()) return out;
    if (t.front() == ';') {
        out.kind = LineKind::Comment;
    } else if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
        out.kind = LineKind::Header;
        out.name = Trim(t.substr(1, t.size() - 2));
    } else {
        out.kind = LineKind::Key;
        const size_t eq = t.find(C('='));
        if (eq != std::basic_string_view<C>::npos) {
            out.hasEquals = true;
            out.name = Trim(t.substr(0, eq));
            out.value = Trim(t.substr(eq + 1));
        }
    }
    return out;
}

inline ClassifiedLine ClassifyLine(WStringView line) { return ClassifyLine<WChar>(line); }

// The portable upper-case mapping, one code unit to one: Latin, Latin-1,
// Latin Extended-A, Greek and Cyrillic. Windows uses CharUpperBuffW instead.
WChar PortableUpper(WChar c);

}  // namespace quillmark
