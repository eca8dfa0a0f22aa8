// Console entry point: arguments in, UTF-8 (or the console's UTF-16) out.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/check/Checker.h"

#ifdef _WIN32
#include <windows.h>

namespace {

void Write(DWORD which, const std::string& text) {
    if (text.empty()) return;
    const HANDLE out = ::GetStdHandle(which);
    DWORD mode = 0;
    if (::GetConsoleMode(out, &mode)) {
        const std::wstring wide = quillmark::FromUtf8(text);
        DWORD written = 0;
        ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        DWORD written = 0;
        ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<quillmark::WString> args(argv + 1, argv + argc);
    std::string out;
    std::string err;
    const int code = quillmark::RunChecker(args, out, err);
    Write(STD_OUTPUT_HANDLE, out);
    Write(STD_ERROR_HANDLE, err);
    return code;
}

#else

int main(int argc, char** argv) {
    std::vector<quillmark::WString> args;
    for (int i = 1; i < argc; ++i) args.push_back(quillmark::FromUtf8(argv[i]));
    std::string out;
    std::string err;
    const int code = quillmark::RunChecker(args, out, err);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fwrite(err.data(), 1, err.size(), stderr);
    return code;
}

#endif
