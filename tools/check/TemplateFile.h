// A template's file as a whole: new bytes put in its place in one step.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Text.h"
#include "tools/check/templates/TemplateError.h"

namespace quillmark {

// Read-only by its attribute (Windows) or its mode (elsewhere, where root
// could still write it).
bool IsReadOnlyFile(const WString& path);

// The file a path names, whatever the path: two paths (or a link and its
// target) to one file have the same identity.
using FileIdentity = std::pair<std::uint64_t, std::uint64_t>;
std::optional<FileIdentity> IdentityOf(const WString& path);

// New bytes for templates, each to be written to a new file beside its
// template and put in the template's place in one step. They are written
// together, since on Linux making many files durable costs one flush of the
// disk, as one file does.
class TemplateReplacements {
public:
    // Nothing is written yet.
    void Add(const WString& path, std::string_view expected, std::string bytes) {
        pending_.push_back({path, std::string(expected), std::move(bytes)});
    }
    size_t Size() const { return pending_.size(); }

    // For each template in the order added: writes the new file, keeping what
    // the system keeps of a file (mode and owner on Linux; attributes and
    // security on Windows), reads it back, makes it durable, and puts it in
    // the template's place, but only if the template still holds `expected`.
    // One result for each; a template that fails is as it was, and no new
    // file is left beside it.
    std::vector<std::optional<TemplateError>> Commit();

private:
    struct Pending {
        WString path;
        std::string expected;
        std::string bytes;
    };
    std::vector<Pending> pending_;
};

}  // namespace quillmark
