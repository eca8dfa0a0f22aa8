// What a module runs when the application initialises, and at shutdown.
#pragma once

#include <vector>

namespace quillmark {

struct ModuleHooks {
    void (*initialize)() = nullptr;
    void (*shutdown)() = nullptr;
};

// The modules of an application: started in the order they were added,
// shut down in the reverse order, each only if it was started.
class ModuleChain {
public:
    void Add(ModuleHooks hooks) { modules_.push_back(hooks); }
    void Initialize() {
        for (; started_ < modules_.size(); ++started_) {
            if (modules_[started_].initialize != nullptr) modules_[started_].initialize();
        }
    }
    void Shutdown() {
        while (started_ > 0) {
            --started_;
            if (modules_[started_].shutdown != nullptr) modules_[started_].shutdown();
        }
    }

private:
    std::vector<ModuleHooks> modules_;
    size_t started_ = 0;
};

}  // namespace quillmark
