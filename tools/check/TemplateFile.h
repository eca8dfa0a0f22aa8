// A template's file as a whole: put new bytes in its place in one step.
#pragma once

#include <optional>
#include <string_view>

#include "common/Text.h"
#include "tools/check/templates/TemplateError.h"

namespace quillmark {

// Read-only by its attribute (Windows) or its mode (elsewhere, where root
// could still write it).
bool IsReadOnlyFile(const WString& path);

// Writes bytes to a new file beside the template and puts it in the
// template's place in one step, keeping what the system keeps of the file
// (attributes and security on Windows; mode and owner elsewhere), but only if
// the template still holds `expected`. On failure the template is as it was,
// no new file is left, and the error says why.
std::optional<TemplateError> ReplaceTemplateFile(const WString& path, std::string_view expected,
                                                 std::string_view bytes);

}  // namespace quillmark
