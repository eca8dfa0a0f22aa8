// quillmark-check over templates: the codes a template uses, checked against
// the catalogue that Quillmark reads, and mended on request.
#pragma once

#include <optional>
#include <vector>

#include "common/Text.h"
#include "tools/check/Arguments.h"
#include "tools/check/Messages.h"
#include "tools/check/Output.h"
#include "tools/check/TemplateFix.h"

namespace quillmark {

struct TemplateCheck {
    WString catalogue;
    unsigned codePage = 0;
    std::optional<WString> kind;  // as the user typed it; matched without regard to case
    std::vector<TemplateArgument> templates;
    bool json = false;
    FixRequest fix;
};

// Writes the report (or one JSON object per template) as each template is
// read, and returns the exit code.
int RunTemplateCheck(const TemplateCheck& check, Output& output, Language language);

}  // namespace quillmark
