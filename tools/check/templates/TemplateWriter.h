// Changes a template's text where the reader found it: each changed part is
// its old bytes with the new text spliced in, and every other entry of the
// package is copied byte for byte.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/Text.h"
#include "tools/check/templates/TemplateText.h"

namespace quillmark {

// The characters [at, at + length) of a paragraph become text.
struct TextChange {
    size_t paragraph = 0;  // in TemplateText::paragraphs
    size_t at = 0;
    size_t length = 0;
    WString text;
};

// Whether the change can be made in the part's bytes: every character it
// replaces is the part's own text (no tab, symbol or field stands among
// them), cut only where the bytes can be cut, and the new text can stand
// there as plain text.
bool CanWrite(const TemplateText& text, const TextChange& change);

// The package with the changes made, all of which CanWrite accepted. The new
// text takes the formatting of the first character it replaces; whatever
// stands between the old characters (run boundaries, bookmarks, proofing
// marks) stays, after it. Throws TemplateError when the package cannot be
// rewritten safely (Zip64, entries that overlap).
std::string WriteChanges(std::string_view package, const TemplateText& text, const std::vector<TextChange>& changes);

// The paragraphs' texts with the changes made, as the written package must
// read back.
std::vector<WString> ChangedTexts(const TemplateText& text, const std::vector<TextChange>& changes);

// Whether the written package reads as the old text with the changes made,
// in the same places, and nothing else.
bool ReadsBackAsPlanned(std::string_view written, const TemplateText& text, const std::vector<TextChange>& changes);

}  // namespace quillmark
