// A command run through the system's shell, as an author runs it: cmd /c on
// Windows, which leaves patterns to the program, sh elsewhere.
#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/Text.h"

#ifdef _WIN32
#include <chrono>
#include <thread>
#else
#include <sys/wait.h>
#endif

namespace quillmark::test {

struct Outcome {
    int code;
    std::string out;  // stdout then stderr, with / for every separator
};

inline Outcome InShell(const std::filesystem::path& dir, const std::string& command) {
#ifdef _WIN32
    const std::wstring line = L"cd /d \"" + dir.wstring() + L"\" && " + FromUtf8(command) + L" 2>&1";
    FILE* pipe = ::_wpopen(line.c_str(), L"rb");
#else
    const std::string line = "cd '" + dir.string() + "' && " + command + " 2>&1";
    FILE* pipe = ::popen(line.c_str(), "r");
#endif
    Outcome run{};
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
#ifdef _WIN32
    run.code = ::_pclose(pipe);
#else
    run.code = WEXITSTATUS(::pclose(pipe));
#endif
    std::replace(run.out.begin(), run.out.end(), '\\', '/');
    return run;
}

#ifdef _WIN32
// Wine makes no links, and the runtime removes no tree past MAX_PATH: the
// Unix side does both, with %p for the tree. start /wait returns before a
// Unix program ends, so each waits for what the program does: the runtime's
// own removal racing the rm spun for ever on a file that vanished under it.
struct OnUnixSide {
    const std::filesystem::path& tree;
    template <class Done>
    void Run(const std::wstring& command, Done done) const {
        const std::wstring unixPath = L"for /f \"delims=\" %p in ('winepath -u \"" + tree.wstring() + L"\"') do ";
        ::_wsystem((unixPath + L"start /wait /unix " + command).c_str());
        for (int i = 0; i < 3000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~OnUnixSide() {
        Run(L"/bin/rm -rf \"%p\"", [&] { return !std::filesystem::exists(tree); });
    }
};
#endif

}  // namespace quillmark::test
