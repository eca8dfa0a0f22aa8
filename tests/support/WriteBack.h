// The writer against the reader: every code-like token of a template that
// the writer takes is changed to a new text, and the package written must
// read as the old text with exactly those changes. For tests and fuzzing.
#pragma once

#include <string_view>
#include <vector>

#include "tools/check/templates/CodeScan.h"
#include "tools/check/templates/TemplateError.h"
#include "tools/check/templates/TemplateText.h"
#include "tools/check/templates/TemplateWriter.h"

namespace quillmark::test {

// False when the package written reads otherwise than planned, or when it is
// refused and refusal is not allowed (a package with nothing odd about its zip);
// `text` is the package read for writing.
inline bool WritesBackAsPlanned(std::string_view package, const TemplateText& text, const CodeIndex& index,
                                bool mayRefuse = true) {
    // A check reads without following the bytes, and must read the same.
    const TemplateText plain = ReadTemplateText(package, TemplateReading::TextOnly);
    if (plain.paragraphs.size() != text.paragraphs.size()) return false;
    for (size_t p = 0; p < text.paragraphs.size(); ++p) {
        if (plain.paragraphs[p].text != text.paragraphs[p].text ||
            plain.paragraphs[p].place != text.paragraphs[p].place)
            return false;
    }
    // Characters that must be escaped, and one beyond U+FFFF.
    const WString replacement = QM_W("#Ист&<ец>\U0001F600#");
    std::vector<TextChange> changes;
    for (size_t p = 0; p < text.paragraphs.size(); ++p) {
        for (const Found& found : index.Scan(text.paragraphs[p].text)) {
            const TextChange change{p, found.at, found.text.size(), replacement};
            if (CanWrite(text, change)) changes.push_back(change);
        }
    }
    if (changes.empty()) return true;
    std::string written;
    try {
        written = WriteChanges(package, text, changes);
    } catch (const TemplateError&) {
        return mayRefuse;
    }
    return ReadsBackAsPlanned(written, text, changes);
}

}  // namespace quillmark::test
