// Console entry point: arguments in, UTF-8 (or the console's UTF-16) out.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/check/Checker.h"
#include "tools/check/Output.h"

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

class ConsoleOutput : public quillmark::Output {
public:
    void Out(std::string_view text) override { Write(STD_OUTPUT_HANDLE, std::string(text)); }
    void Err(std::string_view text) override { Write(STD_ERROR_HANDLE, std::string(text)); }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<quillmark::WString> args(argv + 1, argv + argc);
    const quillmark::Language language = quillmark::UserLanguage();
    ConsoleOutput output;
    const int code = quillmark::RunChecker(args, output, language);
    if (ConsoleClosesWithUs()) {
        Write(STD_OUTPUT_HANDLE, quillmark::Say(language, quillmark::Message::PressAnyKey) + "\n");
        WaitForKey();
    }
    return code;
}

#else

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// Flushed at once: the report before its warnings, as on Windows, when both
// go to one file, and a template's lines out before the next is read.
class StandardOutput : public quillmark::Output {
public:
    void Out(std::string_view text) override { Put(text, stdout); }
    void Err(std::string_view text) override { Put(text, stderr); }

private:
    static void Put(std::string_view text, std::FILE* stream) {
        std::fwrite(text.data(), 1, text.size(), stream);
        std::fflush(stream);
    }
};

}  // namespace

int main(int argc, char** argv) {
#ifdef __GLIBC__
    // Each template's parts are unpacked, parsed and packed in turn: the heap
    // keeps its pages instead of giving them back and asking again each time.
    ::mallopt(M_TRIM_THRESHOLD, 64 << 20);
    ::mallopt(M_MMAP_THRESHOLD, 64 << 20);
#endif
    std::vector<quillmark::WString> args;
    for (int i = 1; i < argc; ++i) args.push_back(quillmark::FromNativePath(argv[i]));
    StandardOutput output;
    return quillmark::RunChecker(args, output);
}

#endif
