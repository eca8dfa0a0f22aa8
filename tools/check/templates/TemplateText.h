// The text of a Word or OpenDocument template, paragraph by paragraph.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/Text.h"
#include "tools/check/templates/XmlCursor.h"

namespace quillmark {

enum class Part { Body, Header, Footer, Footnote, Endnote };

// The pages of its section that a header or footer stands on.
enum class Pages { First, Even, Other };

// Where a paragraph stands: the body's paragraphs are numbered through the
// whole body, tables and text boxes included; the others within their header,
// footer or note. A header or footer is named by the first section that shows
// it (numbered from 1 in the document's order) and its pages; notes are
// numbered from 1 in the document's order.
struct Place {
    Part part = Part::Body;
    unsigned number = 0;  // the section of a header or footer, or the note
    Pages pages = Pages::Other;
    size_t paragraph = 0;
    bool operator==(const Place&) const = default;
    bool operator<(const Place& other) const {
        return std::tie(part, number, pages, paragraph) <
               std::tie(other.part, other.number, other.pages, other.paragraph);
    }
};

// A part of the package as read, kept for a writer that changes it.
struct PackagePart {
    std::string name;
    std::string bytes;
};

// Where a stretch of a paragraph's text stands in its part, for a writer
// that changes it there. Text that an element stands for (a tab, a symbol,
// a note's mark) has none.
struct TextPiece {
    size_t at = 0;  // in the paragraph's text, as its length
    size_t length = 0;
    std::shared_ptr<const PackagePart> part;
    XmlSource source;
    // Where a Word text element without xml:space="preserve" would take it:
    // the ">" of its start tag. Unknown elsewhere.
    size_t preserveAt = XmlSource::kUnknown;
    // A piece of its source's text only, as a MACROBUTTON's text is of its
    // code: it starts `skip` characters in, and may end before the source does.
    size_t skip = 0;
    bool clipped = false;
};

// A paragraph's text with its runs joined, as the reader sees it: tabs and
// line breaks as "\t" and "\n", a note's mark as kNoteMark, deleted
// revisions, field codes, comments and alt text left out.
struct Paragraph {
    Place place;
    WString text;
    std::vector<TextPiece> pieces;  // in the order of the text
};

// Stands where the page shows a note's number: no code goes on across it.
constexpr WChar kNoteMark = 0xFFFC;

enum class TemplateFormat { Word, OpenDocument };

struct TemplateText {
    TemplateFormat format = TemplateFormat::Word;
    std::vector<Paragraph> paragraphs;  // the body first, then by place
};

// ForWriting: each paragraph also knows where its text stands in the
// package (TextPiece), which costs a read a sixth of its time.
enum class TemplateReading { TextOnly, ForWriting };

// Reads a .docx, .dotx, .docm, .dotm, .odt or .ott from its bytes.
// Throws TemplateError for anything that is not such a package.
TemplateText ReadTemplateText(std::string_view bytes, TemplateReading how = TemplateReading::ForWriting);

}  // namespace quillmark
