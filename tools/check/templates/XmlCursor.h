// Where a parser's events stand in the bytes of its part, so that a writer can
// change a part's text in place and leave every other byte as it was.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "common/Text.h"

namespace quillmark {

// A stretch of a part's bytes. Text is verbatim when the bytes are its own
// UTF-8; otherwise they stand for it whole (a reference such as &amp;, or a
// line end that XML turns into "\n") and cannot be cut.
struct XmlSource {
    static constexpr size_t kUnknown = static_cast<size_t>(-1);
    size_t begin = kUnknown;
    size_t end = kUnknown;
    bool verbatim = false;
    bool Known() const { return begin != kUnknown; }
};

// One piece of an event's text and the bytes it comes from.
struct XmlTextUnit {
    size_t length = 0;  // in UTF-16 units
    XmlSource source;
};

// Follows a parser through a part's bytes, one event at a time. It trusts
// the parser for well-formedness and only skips markup; the first event that
// does not match the bytes where it stands makes every later source unknown,
// as does a part that is not UTF-8, which no writer of ours changes.
class XmlCursor {
public:
    explicit XmlCursor(std::string_view bytes);

    // The start tag of an element with this local name, "<" to ">".
    XmlSource Start(WStringView name);
    // The end tag, or nothing for an element that closed itself.
    void End();
    // The text of one character-data event, split where references and line
    // ends stand; valid until the next call.
    const std::vector<XmlTextUnit>& Text(WStringView text);

private:
    bool At(std::string_view what) const { return bytes_.substr(at_, what.size()) == what; }
    void SkipComments();
    bool SkipBlanks();
    void SkipTag();
    bool ConsumeAscii(WStringView text, size_t& i);
    bool ConsumeCharacter(WStringView text, size_t& i, bool& verbatim);
    void Lose() { lost_ = true; }

    std::string_view bytes_;
    size_t at_ = 0;
    bool inCdata_ = false;
    bool selfClosed_ = false;
    bool lost_ = false;
    std::vector<XmlTextUnit> units_;  // of the last text, capacity kept
};

}  // namespace quillmark
