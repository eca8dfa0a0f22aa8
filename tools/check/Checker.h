// quillmark-check: shows template authors how Quillmark reads their params.ini.
#pragma once

#include <string>
#include <vector>

#include "common/Text.h"
#include "tools/check/Messages.h"

namespace quillmark {

enum CheckerExit { kCheckOk = 0, kCheckCannotOpen = 1, kCheckUsage = 2, kCheckWarnings = 3 };

// Runs the checker on its arguments (without the program name), speaking the
// given language. out and err receive UTF-8 text.
int RunChecker(const std::vector<WString>& args, std::string& out, std::string& err,
               Language language = UserLanguage());

// A JSON string; control characters and lone surrogates are written as \u escapes.
void AppendJsonString(std::string& out, WStringView text);
// A file's path as a JSON string, spelt as SpeltName spells it.
void AppendJsonPath(std::string& out, WStringView path);
// A JSON array of strings; lone surrogates are written as \u escapes.
std::string JsonStringArray(const std::vector<WString>& items);

}  // namespace quillmark
