// How the catalogue reads its text: blanks, line ends and the kinds of line.
// Shared by the catalogue and by the checker, so both read a file alike.
#pragma once

#include <cstddef>

#include "common/Text.h"

namespace quillmark {

constexpr bool IsBlank(WChar c) { return static_cast<unsigned>(c) <= 0x20; }

// Removes U+0000..U+0020 at both ends, and nothing else.
WStringView Trim(WStringView text);

// Cuts the text at its first U+0000, if any.
WStringView UpToFirstNul(WStringView text);

// Splits at CR, LF or CR LF. A last line without an end is a line; an end at
// the very end starts no further line.
class LineReader {
public:
    explicit LineReader(WStringView text) : text_(text) {}

    bool Next(WStringView& line);
    // 1-based number of the line that Next returned last.
    size_t Number() const { return number_; }

private:
    WStringView text_;
    size_t pos_ = 0;
    size_t number_ = 0;
};

enum class LineKind { Blank, Comment, Header, Key };

struct ClassifiedLine {
    LineKind kind = LineKind::Blank;
    WStringView text;   // the trimmed line
    WStringView name;   // header: the trimmed name; key: the trimmed text before the first "="
    WStringView value;  // key with "=": the trimmed text after it
    bool hasEquals = false;
};

ClassifiedLine ClassifyLine(WStringView line);

// The portable upper-case mapping, one code unit to one: Latin, Latin-1,
// Latin Extended-A, Greek and Cyrillic. Windows uses CharUpperBuffW instead.
WChar PortableUpper(WChar c);

}  // namespace quillmark
