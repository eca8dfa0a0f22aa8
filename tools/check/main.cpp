// Console entry point: arguments in, UTF-8 (or the console's UTF-16) out.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/check/Checker.h"

#ifdef _WIN32
#include <windows.h>

#include "common/WinHandle.h"

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

// A console opened for this program alone, as Explorer opens one for a drop
// or a double click, closes with it, before anyone has read the report. A
// console that was open before, a pipe or a file stays; a hidden console has
// nobody to press a key (Wine gives one to a program started from a Unix
// terminal).
bool ConsoleClosesWithUs() {
    DWORD processes[2];
    DWORD mode = 0;
    return ::GetConsoleProcessList(processes, 2) == 1 && ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) &&
           ::IsWindowVisible(::GetConsoleWindow());
}

// Shift, Ctrl, Alt and the Windows keys go with another key: Alt+Tab to
// Word is no answer, and would take the report away.
bool AnswersTheQuestion(const INPUT_RECORD& record) {
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) return false;
    switch (record.Event.KeyEvent.wVirtualKeyCode) {
        case VK_SHIFT:
        case VK_CONTROL:
        case VK_MENU:
        case VK_LWIN:
        case VK_RWIN:
            return false;
        default:
            return true;
    }
}

void WaitForKey() {
    const quillmark::UniqueFile input(::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                                    nullptr));
    // Keys pressed while the check ran are not the answer to the question.
    if (input) ::FlushConsoleInputBuffer(input.Get());
    INPUT_RECORD record{};
    DWORD read = 0;
    while (input && ::ReadConsoleInputW(input.Get(), &record, 1, &read) && read == 1) {
        if (AnswersTheQuestion(record)) return;
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<quillmark::WString> args(argv + 1, argv + argc);
    std::string out;
    std::string err;
    const quillmark::Language language = quillmark::UserLanguage();
    const int code = quillmark::RunChecker(args, out, err, language);
    Write(STD_OUTPUT_HANDLE, out);
    Write(STD_ERROR_HANDLE, err);
    if (ConsoleClosesWithUs()) {
        Write(STD_OUTPUT_HANDLE, quillmark::Say(language, quillmark::Message::PressAnyKey) + "\n");
        WaitForKey();
    }
    return code;
}

#else

int main(int argc, char** argv) {
    std::vector<quillmark::WString> args;
    for (int i = 1; i < argc; ++i) args.push_back(quillmark::FromNativePath(argv[i]));
    std::string out;
    std::string err;
    const int code = quillmark::RunChecker(args, out, err);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);  // the report before its warnings, as on Windows, when both go to one file
    std::fwrite(err.data(), 1, err.size(), stderr);
    return code;
}

#endif
