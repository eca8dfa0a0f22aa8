// What one template holds: the catalogue's codes it uses, where, and what
// only looks like a code.
#pragma once

#include <map>
#include <optional>
#include <vector>

#include "common/Text.h"
#include "tools/check/templates/CodeScan.h"
#include "tools/check/templates/TemplateText.h"

namespace quillmark {

struct Occurrence {
    WString text;
    Place place;
    size_t paragraph = 0;  // in the template's paragraphs
    size_t at = 0;         // in the paragraph's text
};

struct TemplateFindings {
    std::vector<Occurrence> codes;  // of the catalogue, in the order they stand
    std::map<WString, std::vector<Place>> used;
    std::vector<Occurrence> unknown;
    std::vector<Occurrence> otherKind;  // codes not of the kind asked for
    size_t paragraphs = 0;
};

// kind: the index in the catalogue's kinds of the kind the templates are for.
TemplateFindings FindCodes(const std::vector<Paragraph>& paragraphs, const CodeIndex& index,
                           std::optional<size_t> kind);

}  // namespace quillmark
