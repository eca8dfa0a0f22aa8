// fakeword.exe LOG [--text TEXT] [--select START,END] [--type SELECTIONTYPE] [--fail=MEMBER]
//                  [--fail-delete] [--sfalse=MEMBER] [--unknown=MEMBER]
// Plays the running Word for the tests: publishes its Application object in
// the running object table, holding one document (TEXT, with START..END
// selected), and logs every call and the document after it to LOG.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cwchar>
#include <string>

#include "common/Text.h"
#include "word/FakeWord.h"

using namespace quillmark::test;

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    FakeWordOptions options;
    for (int i = 2; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == L"--text" && hasValue) options.text = argv[++i];
        if (arg == L"--select" && hasValue && std::swscanf(argv[++i], L"%ld,%ld", &options.start, &options.end) != 2) {
            return 2;
        }
        if (arg == L"--type" && hasValue) options.type = std::wcstol(argv[++i], nullptr, 10);
        if (arg == L"--fail-delete") options.failing = L"Delete";
        if (arg.rfind(L"--fail=", 0) == 0) options.failing = arg.substr(7);
        if (arg.rfind(L"--sfalse=", 0) == 0) options.answerSFalse = arg.substr(9);
        if (arg.rfind(L"--unknown=", 0) == 0) options.unknownMember = arg.substr(10);
    }
    const HANDLE log = ::CreateFileW(argv[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return 1;
    const auto write = [log](const std::string& line) {
        const std::string text = line + "\n";
        DWORD written = 0;
        ::WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    };

    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // a queue for WM_QUIT from the tests
    if (!RegisterWordProgId() || FAILED(::CoInitialize(nullptr))) return 1;
    IDispatch* word = CreateFakeWord(options, write);
    DWORD cookie = 0;
    if (FAILED(::RegisterActiveObject(word, kFakeWordClsid, ACTIVEOBJECT_STRONG, &cookie))) return 1;
    write("ready");
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    ::RevokeActiveObject(cookie, nullptr);
    ::CoDisconnectObject(word, 0);
    word->Release();
    ::CoUninitialize();
    write("exit");
    ::CloseHandle(log);
    return 0;
}
