// Why a template could not be read, in words the report puts in the
// author's language.
#pragma once

#include <string>
#include <vector>

#include "tools/check/Messages.h"

namespace quillmark {

struct TemplateError {
    Message message;
    std::vector<std::string> arguments;
};

}  // namespace quillmark
