// The search prefix of the check list: characters typed within half a second
// of each other add up; Backspace takes the last one away.
#pragma once

#include <cstdint>

#include "common/Text.h"

namespace quillmark {

class TypeAhead {
public:
    static constexpr uint32_t kRestartMilliseconds = 500;

    // A character typed at now (a millisecond tick count, wrapping freely).
    const WString& Type(WChar c, uint32_t now);
    // Backspace at now; the prefix may come out empty.
    const WString& Backspace(uint32_t now);
    const WString& Prefix() const { return prefix_; }

private:
    void RestartIfLate(uint32_t now);

    WString prefix_;
    uint32_t last_ = 0;
    bool started_ = false;
};

}  // namespace quillmark
