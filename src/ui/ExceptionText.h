// What the default exception handler shows, without showing it.
#pragma once

#include <exception>

#include "common/Text.h"

namespace quillmark {

// Appends "." when the text ends in a character above "." (a letter, a digit...).
WString WithFullStop(WString text);

// The message of an exception; for a nested one, that of the innermost
// exception when it is not empty.
WString MessageOf(const std::exception_ptr& error);

// The executable's name without its directory, cut at its first ".", every
// character after the first lowered by lower: MyTool.exe gives Mytool.
WString ApplicationTitleFrom(WStringView modulePath, WStringView separators, void (*lower)(WString&));

}  // namespace quillmark
