// The file-system side of argument expansion: ArgumentsWin.cpp, ArgumentsPosix.cpp.
#pragma once

#include <filesystem>
#include <vector>

#include "common/Text.h"

namespace quillmark::arguments {

std::filesystem::path ToPath(const WString& argument);
WString FromPath(const std::filesystem::path& path);

// Whether the argument's file name holds * or ?, which this platform leaves
// to the program to expand.
bool HasPattern(WStringView argument);

struct Match {
    WString path;
    bool folder;
};

// What the pattern's file name matches in its folder, in no set order.
std::vector<Match> Matches(const WString& pattern);

}  // namespace quillmark::arguments
