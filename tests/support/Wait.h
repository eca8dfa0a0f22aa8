#pragma once

#include <chrono>
#include <thread>

namespace quillmark::test {

// Waits until condition() holds, for at most the given time.
template <class Condition>
bool WaitFor(Condition condition, int milliseconds = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
}

}  // namespace quillmark::test
