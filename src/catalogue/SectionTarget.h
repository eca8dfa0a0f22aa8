// What ReadSection needs of the list it fills: the check list of the window,
// or a plain vector in the checker and the tests.
#pragma once

#include <vector>

#include "common/Text.h"

namespace quillmark {

class ISectionTarget {
public:
    virtual ~ISectionTarget() = default;
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;  // must not throw: it runs while unwinding
    virtual void Clear() = 0;
    virtual void Add(const WString& item) = 0;
};

class StringListTarget final : public ISectionTarget {
public:
    void BeginUpdate() override { ++updates_; }
    void EndUpdate() override { --updates_; }
    void Clear() override { items_.clear(); }
    void Add(const WString& item) override { items_.push_back(item); }

    const std::vector<WString>& Items() const { return items_; }
    // Suspensions not yet resumed: 0 whenever the list is idle.
    int PendingUpdates() const { return updates_; }

private:
    std::vector<WString> items_;
    int updates_ = 0;
};

}  // namespace quillmark
