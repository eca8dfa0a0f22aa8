// The text of a Word or OpenDocument template, paragraph by paragraph.
#pragma once

#include <string_view>
#include <tuple>
#include <vector>

#include "common/Text.h"

namespace quillmark {

enum class Part { Body, Header, Footer, Footnote, Endnote };

// Where a paragraph stands: the body's paragraphs are numbered through the
// whole body, tables and text boxes included; the others within their header,
// footer or note, which are numbered from 1 in the document's order.
struct Place {
    Part part = Part::Body;
    unsigned number = 0;
    size_t paragraph = 0;
    bool operator==(const Place&) const = default;
    bool operator<(const Place& other) const {
        return std::tie(part, number, paragraph) < std::tie(other.part, other.number, other.paragraph);
    }
};

// A paragraph's text with its runs joined, as the reader sees it: tabs and
// line breaks as "\t" and "\n", deleted revisions and field codes left out.
struct Paragraph {
    Place place;
    WString text;
};

enum class TemplateFormat { Word, OpenDocument };

struct TemplateText {
    TemplateFormat format = TemplateFormat::Word;
    std::vector<Paragraph> paragraphs;  // the body first, then by place
};

// Reads a .docx, .dotx, .docm, .dotm, .odt or .ott from its bytes.
// Throws TemplateError for anything that is not such a package.
TemplateText ReadTemplateText(std::string_view bytes);

}  // namespace quillmark
