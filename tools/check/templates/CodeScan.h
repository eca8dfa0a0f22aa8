// Finds the catalogue's codes, and what looks like a code, in a template's text.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/Text.h"

namespace quillmark {

struct KindCodes {
    WString kind;
    std::vector<WString> codes;
};

struct Found {
    WString text;
    bool known = false;  // a code of the catalogue; otherwise a token that looks like one
    size_t at = 0;       // where it starts in the text scanned
};

class CodeIndex {
public:
    explicit CodeIndex(std::vector<KindCodes> kinds);

    const std::vector<KindCodes>& Kinds() const { return kinds_; }
    // The indexes of the kinds that list the code.
    const std::vector<size_t>& KindsOf(const WString& code) const { return codes_.at(code); }
    // "#" and "#", or "{{" and "}}", when every code starts and ends with the
    // same run of punctuation.
    bool HasDelimiters() const { return delimiters_.has_value(); }

    // Codes and code-like tokens in the order they stand. The longest code
    // wins where codes overlap, so codes may hold blanks.
    std::vector<Found> Scan(WStringView text) const;

    // The code nearest to a token, ignoring case, when it is close enough to
    // be a slip of the keyboard; the first in the catalogue of those as near.
    std::optional<WString> Nearest(WStringView token) const;
    // The same, but only when no other code is as near: what a fix may take.
    std::optional<WString> OnlyNearest(WStringView token) const;
    bool IsCode(const WString& text) const { return codes_.find(text) != codes_.end(); }

private:
    struct Delimiters {
        WString start;
        WString end;
    };

    std::optional<WString> Nearest(WStringView token, bool onlyOne) const;
    size_t LongestCodeAt(WStringView text, size_t at) const;
    size_t TokenAt(WStringView text, size_t at) const;
    bool FenceAt(WStringView text, size_t at) const;

    std::vector<KindCodes> kinds_;
    std::map<WString, std::vector<size_t>, std::less<>> codes_;
    std::vector<WString> order_;       // each code once, in the catalogue's order
    std::vector<WString> upperOrder_;  // the same, upper-cased
    std::vector<size_t> lengths_;      // of the codes, longest first
    std::optional<Delimiters> delimiters_;
};

// Edits (insertions, deletions, substitutions) that turn a into b.
size_t EditDistance(WStringView a, WStringView b);

}  // namespace quillmark
