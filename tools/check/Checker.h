// quillmark-check: shows template authors how Quillmark reads their params.ini.
#pragma once

#include <string>
#include <vector>

#include "common/Text.h"

namespace quillmark {

enum CheckerExit { kCheckOk = 0, kCheckCannotOpen = 1, kCheckUsage = 2, kCheckWarnings = 3 };

// Runs the checker on its arguments (without the program name). out and err
// receive UTF-8 text.
int RunChecker(const std::vector<WString>& args, std::string& out, std::string& err);

// A JSON array of strings; lone surrogates are written as \u escapes.
std::string JsonStringArray(const std::vector<WString>& items);

}  // namespace quillmark
