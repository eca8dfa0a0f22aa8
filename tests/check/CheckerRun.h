// The checker run in the test's process, its exit code and output kept.
#pragma once

#include <string>
#include <vector>

#include "tools/check/Checker.h"

namespace quillmark::test {

struct CheckResult {
    int code;
    std::string out, err;
};

inline CheckResult Check(const std::vector<WString>& args, Language language = Language::English) {
    CheckResult r{};
    r.code = RunChecker(args, r.out, r.err, language);
    return r;
}

}  // namespace quillmark::test
