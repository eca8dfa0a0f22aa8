// --fix and --rename: the changes an author asks of the templates' codes, and
// their writing into the template files, as safely as a careful person would.
#pragma once

#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "common/Text.h"
#include "tools/check/Findings.h"
#include "tools/check/templates/CodeScan.h"
#include "tools/check/templates/TemplateError.h"
#include "tools/check/templates/TemplateText.h"
#include "tools/check/templates/TemplateWriter.h"

namespace quillmark {

struct FixRequest {
    bool fix = false;                    // an unknown code becomes the one code nearest to it
    std::map<WString, WString> renames;  // every use of a code becomes another
    bool dryRun = false;                 // told, never written
    bool Any() const { return fix || !renames.empty(); }
};

// A change as the report tells it.
struct ToldChange {
    WString from;
    WString to;
    Place place;
};

struct FixPlan {
    std::vector<TextChange> changes;  // in the order of the text
    std::vector<ToldChange> told;     // the same, for the report
    std::vector<Occurrence> refused;  // asked for where the text cannot be cut
};

FixPlan PlanFixes(const TemplateText& text, const TemplateFindings& findings, const CodeIndex& index,
                  const FixRequest& request);

// Writes the changes into the template's file, whose bytes were read as
// `bytes`: refused while the template is open in Word or LibreOffice, signed
// or read-only; the new package must read back as the old text with the
// changes made before it replaces the file. A dry run does all but the
// replacing, so that it tells what the run would refuse.
std::optional<TemplateError> WriteFixes(const WString& path, std::string_view bytes, const TemplateText& text,
                                        const std::vector<TextChange>& changes, bool dryRun);

}  // namespace quillmark
