// The one exception type of the program: a UTF-16 message that the default
// exception handler shows as it stands. Inner exceptions travel as
// std::nested_exception.
#pragma once

#include <exception>
#include <string>

#include "common/Text.h"

namespace quillmark {

class Exception : public std::exception {
public:
    explicit Exception(WString message) : message_(std::move(message)), what_(ToUtf8(message_)) {}

    const WString& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    WString message_;
    std::string what_;
};

}  // namespace quillmark
