// Shows the running Quillmark at work for the README's picture: clicks the
// first kind and ticks two codes (arrange), or closes it (close).
#include <windows.h>

#include <cstdio>

#include "Main.h"
#include "gui/Driver.h"

using namespace quillmark;
using namespace quillmark::test;

namespace {

HWND FindQuillmark() {
    HWND window = nullptr;
    WaitFor(
        [&] {
            window = ::FindWindowW(kForm21Class, L"Quillmark");
            return window != nullptr && ::IsWindowVisible(window);
        },
        20000);
    return window;
}

HWND Child(HWND window, int id) {
    HWND found = nullptr;
    WaitFor([&] {
        for (HWND panel : {::GetDlgItem(window, kPanel1Id), window}) {
            if (panel != nullptr && (found = ::GetDlgItem(panel, id)) != nullptr) return true;
        }
        return false;
    });
    return found;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const HWND window = FindQuillmark();
    if (window == nullptr) return 1;
    if (argc > 1 && std::wstring(argv[1]) == L"close") {
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    const UniqueKernelHandle process(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid));
    BringToFront(window);
    const HWND tree = Child(window, kTreeView2Id);
    const HWND list = Child(window, kCheckListBox1Id);
    ClickAt(NodeCentre(process.Get(), tree, 0));
    WaitFor([&] { return ::SendMessageW(list, LB_GETCOUNT, 0, 0) > 3; });
    ClickAt(LinePoint(list, 1, 5));
    ClickAt(LinePoint(list, 3, 5));
    ClickAt(LinePoint(list, 2, 40));
    Settle(300);
    RECT frame;
    ::GetWindowRect(window, &frame);
    std::printf("%ldx%ld+%ld+%ld\n", frame.right - frame.left, frame.bottom - frame.top, frame.left, frame.top);
    return 0;
}
