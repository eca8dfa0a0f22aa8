#include "ui/TypeAhead.h"

namespace quillmark {

void TypeAhead::RestartIfLate(uint32_t now) {
    if (!started_ || now - last_ >= kRestartMilliseconds) prefix_.clear();
    started_ = true;
    last_ = now;
}

const WString& TypeAhead::Type(WChar c, uint32_t now) {
    RestartIfLate(now);
    prefix_ += c;
    return prefix_;
}

const WString& TypeAhead::Backspace(uint32_t now) {
    RestartIfLate(now);
    if (!prefix_.empty()) prefix_.pop_back();
    return prefix_;
}

}  // namespace quillmark
