// The search prefix of the check list: characters typed within half a second
// of each other add up; Backspace takes the last one away.
#pragma once

#include <cstdint>

#include "common/Text.h"

namespace quillmark {

class TypeAhead {
public:
    static constexpr uint32_t kRestartMilliseconds = 500;

    // Only printable characters extend the prefix: not the C0 controls, DEL
    // (the text of the Delete key on X11, of Ctrl+Backspace on Windows) nor C1.
    static constexpr bool Accepts(WChar c) { return c >= 0x20 && (c < 0x7F || c > 0x9F); }

    // A character that it accepts, typed at now (a millisecond tick count, wrapping freely).
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
