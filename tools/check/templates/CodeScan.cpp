#include "tools/check/templates/CodeScan.h"

#include <algorithm>
#include <numeric>

#include "catalogue/Platform.h"

namespace quillmark {

namespace {

// Blanks, and the object replacement character that stands for a note's mark.
bool IsBlank(WChar c) {
    return c <= 0x20 || c == 0xA0 || (c >= 0x2000 && c <= 0x200B) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000 || c == 0xFEFF || c == 0xFFFC;
}

// Punctuation that can fence a code: ASCII symbols, guillemets and the
// general punctuation block. Letters and digits never delimit.
bool IsFence(WChar c) {
    const bool ascii =
        (c >= 0x21 && c <= 0x2F) || (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7E);
    return ascii || c == 0xAB || c == 0xBB || (c >= 0x2010 && c <= 0x205E);
}

// How many of a's first characters b starts with.
template <class It>
size_t Shared(It a, It aEnd, It b, It bEnd) {
    return static_cast<size_t>(std::mismatch(a, aEnd, b, bEnd).first - a);
}

}  // namespace

CodeIndex::CodeIndex(std::vector<KindCodes> kinds) : kinds_(std::move(kinds)) {
    for (size_t k = 0; k < kinds_.size(); ++k) {
        for (const WString& code : kinds_[k].codes) {
            if (code.empty()) continue;
            std::vector<size_t>& listed = codes_[code];
            if (listed.empty()) {
                order_.push_back(code);
                upperOrder_.push_back(platform::UpperCase(code));
                lengths_.push_back(code.size());
            }
            if (listed.empty() || listed.back() != k) listed.push_back(k);
        }
    }
    std::sort(lengths_.begin(), lengths_.end(), std::greater<>());
    lengths_.erase(std::unique(lengths_.begin(), lengths_.end()), lengths_.end());

    if (order_.empty()) return;
    // The longest runs of punctuation that all codes start and end with, with
    // at least one character between the two in every code.
    const WString& first = order_.front();
    size_t start = 0, end = 0;
    while (start < first.size() && IsFence(first[start])) ++start;
    while (end < first.size() && IsFence(first[first.size() - 1 - end])) ++end;
    size_t shortest = first.size();
    for (const WString& code : order_) {
        start = Shared(first.begin(), first.begin() + start, code.begin(), code.end());
        end = Shared(first.rbegin(), first.rbegin() + end, code.rbegin(), code.rend());
        shortest = std::min(shortest, code.size());
    }
    if (start > 0 && end > 0 && start + end < shortest) {
        delimiters_ = Delimiters{first.substr(0, start), first.substr(first.size() - end)};
    }
}

size_t CodeIndex::LongestCodeAt(WStringView text, size_t at) const {
    for (const size_t length : lengths_) {
        if (length <= text.size() - at && codes_.find(text.substr(at, length)) != codes_.end()) return length;
    }
    return 0;
}

bool CodeIndex::FenceAt(WStringView text, size_t at) const {
    const WStringView rest = text.substr(at);
    return rest.starts_with(delimiters_->start) || rest.starts_with(delimiters_->end);
}

// Start fence, at least one character that is not blank, up to the first
// fence, end fence. A fence's character alone may stand in the name, as "_"
// in "__FIRST_NAME__".
size_t CodeIndex::TokenAt(WStringView text, size_t at) const {
    const size_t name = at + delimiters_->start.size();
    size_t end = name;
    while (end < text.size() && !IsBlank(text[end]) && !FenceAt(text, end)) ++end;
    if (end == name || !text.substr(end).starts_with(delimiters_->end)) return 0;
    return end + delimiters_->end.size() - at;
}

std::vector<Found> CodeIndex::Scan(WStringView text) const {
    std::vector<Found> found;
    size_t at = 0;
    while (at < text.size()) {
        if (delimiters_ && !text.substr(at).starts_with(delimiters_->start)) {
            ++at;
            continue;
        }
        if (const size_t length = LongestCodeAt(text, at)) {
            found.push_back({WString(text.substr(at, length)), true, at});
            at += length;
        } else if (const size_t length = delimiters_ ? TokenAt(text, at) : 0) {
            found.push_back({WString(text.substr(at, length)), false, at});
            at += length;
        } else {
            ++at;
        }
    }
    return found;
}

std::optional<WString> CodeIndex::Nearest(WStringView token) const { return Nearest(token, false); }

std::optional<WString> CodeIndex::OnlyNearest(WStringView token) const { return Nearest(token, true); }

std::optional<WString> CodeIndex::Nearest(WStringView token, bool onlyOne) const {
    const WString upper = platform::UpperCase(token);
    // Up to one edit in four letters of the name between the fences, and never more than three.
    const size_t fences = delimiters_ ? delimiters_->start.size() + delimiters_->end.size() : 0;
    const size_t inner = token.size() > fences ? token.size() - fences : token.size();
    const size_t allowed = std::min<size_t>(3, std::max<size_t>(1, inner / 4));
    std::optional<size_t> best;
    size_t bestDistance = allowed + 1;
    bool tie = false;
    for (size_t i = 0; i < upperOrder_.size(); ++i) {
        const WString& code = upperOrder_[i];
        const size_t apart = code.size() > upper.size() ? code.size() - upper.size() : upper.size() - code.size();
        if (apart > bestDistance || (apart == bestDistance && !onlyOne)) continue;
        const size_t distance = EditDistance(upper, code);
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
            tie = false;
        } else if (distance == bestDistance && best) {
            tie = true;
        }
    }
    if (!best || (onlyOne && tie)) return std::nullopt;
    return order_[*best];
}

size_t EditDistance(WStringView a, WStringView b) {
    std::vector<size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), size_t{0});
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace quillmark
