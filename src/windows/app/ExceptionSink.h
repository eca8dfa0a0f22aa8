#pragma once

#include <exception>

namespace quillmark {

// Where an exception that escaped the handling of a window message goes.
class IExceptionSink {
public:
    virtual void HandleException(const std::exception_ptr& error) noexcept = 0;

protected:
    ~IExceptionSink() = default;
};

}  // namespace quillmark
