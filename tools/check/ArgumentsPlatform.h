// The file-system side of argument expansion: ArgumentsWin.cpp, ArgumentsPosix.cpp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <tuple>
#include <vector>

#include "common/Text.h"

namespace quillmark::arguments {

std::filesystem::path ToPath(const WString& argument);
WString FromPath(const std::filesystem::path& path);

// Whether the argument's file name holds * or ?, which this platform leaves
// to the program to expand.
bool HasPattern(WStringView argument);

// A symbolic link or a junction: a folder reached through it may hold the
// link itself.
bool IsLink(const std::filesystem::path& path);

// What tells a file from every other, whatever link or name leads to it.
struct FileIdentity {
    uint64_t volume;
    uint64_t index;
    bool operator<(const FileIdentity& other) const {
        return std::tie(volume, index) < std::tie(other.volume, other.index);
    }
};

// None when the file cannot be asked.
std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path);

struct Match {
    WString path;
    bool folder;
};

// What the pattern's file name matches in its folder, in no set order.
std::vector<Match> Matches(const WString& pattern);

}  // namespace quillmark::arguments
