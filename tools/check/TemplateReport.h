// quillmark-check over templates: the codes a template uses, checked against
// the catalogue that Quillmark reads.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/Text.h"
#include "tools/check/Arguments.h"
#include "tools/check/Messages.h"

namespace quillmark {

struct TemplateCheck {
    WString catalogue;
    unsigned codePage = 0;
    std::optional<WString> kind;  // as the user typed it; matched without regard to case
    std::vector<TemplateArgument> templates;
    bool json = false;
};

// Whether an argument names a template (or a binary Word file), by its extension.
bool IsTemplatePath(WStringView path);

// The kind of calculation that a name means, if any.
std::optional<WString> FindKind(WStringView name);

// Writes the report (or one JSON object per template) and returns the exit code.
int RunTemplateCheck(const TemplateCheck& check, std::string& out, Language language);

}  // namespace quillmark
