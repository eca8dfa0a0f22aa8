#include "tools/check/Findings.h"

#include <algorithm>

namespace quillmark {

TemplateFindings FindCodes(const std::vector<Paragraph>& paragraphs, const CodeIndex& index,
                           std::optional<size_t> kind) {
    TemplateFindings findings;
    findings.paragraphs = paragraphs.size();
    for (size_t p = 0; p < paragraphs.size(); ++p) {
        const Paragraph& paragraph = paragraphs[p];
        for (Found& found : index.Scan(paragraph.text)) {
            Occurrence occurrence{std::move(found.text), paragraph.place, p, found.at};
            if (!found.known) {
                findings.unknown.push_back(std::move(occurrence));
                continue;
            }
            findings.used[occurrence.text].push_back(paragraph.place);
            const std::vector<size_t>& kinds = index.KindsOf(occurrence.text);
            if (kind && std::find(kinds.begin(), kinds.end(), *kind) == kinds.end()) {
                findings.otherKind.push_back(occurrence);
            }
            findings.codes.push_back(std::move(occurrence));
        }
    }
    return findings;
}

}  // namespace quillmark
