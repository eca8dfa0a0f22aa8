// What a module runs when the application initialises, and at shutdown.
#pragma once

namespace quillmark {

struct ModuleHooks {
    void (*initialize)() = nullptr;
    void (*shutdown)() = nullptr;
};

}  // namespace quillmark
