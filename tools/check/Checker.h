// quillmark-check: shows template authors how Quillmark reads their params.ini.
#pragma once

#include <string>
#include <vector>

#include "common/Text.h"
#include "tools/check/Messages.h"
#include "tools/check/Output.h"

namespace quillmark {

// Runs the checker on its arguments (without the program name), speaking the
// given language; its UTF-8 text goes to the output as it is written.
int RunChecker(const std::vector<WString>& args, Output& output, Language language = UserLanguage());
// The same, the text gathered.
int RunChecker(const std::vector<WString>& args, std::string& out, std::string& err,
               Language language = UserLanguage());

}  // namespace quillmark
