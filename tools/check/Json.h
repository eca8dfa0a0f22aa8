// JSON strings for quillmark-check's machine-readable output.
#pragma once

#include <string>
#include <vector>

#include "common/Text.h"

namespace quillmark {

// A JSON string; control characters and lone surrogates are written as \u escapes.
void AppendJsonString(std::string& out, WStringView text);
// A file's path as a JSON string, spelt as SpeltName spells it.
void AppendJsonPath(std::string& out, WStringView path);
// A JSON array of strings; lone surrogates are written as \u escapes.
std::string JsonStringArray(const std::vector<WString>& items);

}  // namespace quillmark
