// Under Wine, side by side in one run: launch to visible window against a bare
// Win32 program, and a tree click to the filled, repainted list of 10,000
// codes against a bare loop of LB_ADDSTRING into an owner-drawn list box.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "Main.h"
#include "gui/Driver.h"

using namespace quillmark;
using namespace quillmark::test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRuns = 7;
constexpr int kLaunches = 15;  // launches vary more than clicks
constexpr int kCodes = 10000;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// From CreateProcess to the program's window being visible.
double LaunchToVisible(const std::wstring& exe, const wchar_t* className) {
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION info{};
    std::wstring command = L"\"" + exe + L"\"";
    const auto start = Clock::now();
    if (!::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return -1;
    }
    HWND window = nullptr;
    while ((window = FindVisibleWindow(info.dwProcessId, className)) == nullptr) ::Sleep(0);
    const double elapsed = Milliseconds(Clock::now() - start);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    ::WaitForSingleObject(info.hProcess, 10000);
    ::CloseHandle(info.hProcess);
    ::CloseHandle(info.hThread);
    return elapsed;
}

std::string TenThousandCodes() {
    std::string text = "\xEF\xBB\xBF[Простой расчет]\r\n";
    for (int i = 0; i < kCodes; ++i) text += "#КодШаблона" + std::to_string(i) + "#=описание\r\n";
    return text;
}

LRESULT CALLBACK ListHost(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DRAWITEM) {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item.itemID == static_cast<UINT>(-1)) return TRUE;
        wchar_t text[256];
        const LRESULT length = ::SendMessageW(item.hwndItem, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(text));
        ::ExtTextOutW(item.hDC, item.rcItem.left + 17, item.rcItem.top, ETO_OPAQUE, &item.rcItem, text,
                      static_cast<UINT>(length), nullptr);
        return TRUE;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

// The floor for a click: the same strings into an owner-drawn list box, repainted once.
double BareListFill(const std::vector<std::wstring>& codes) {
    static HWND host = [] {
        WNDCLASSEXW windowClass{sizeof windowClass};
        windowClass.lpfnWndProc = ListHost;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"BareListHost";
        ::RegisterClassExW(&windowClass);
        const HWND window = ::CreateWindowExW(0, L"BareListHost", L"Bare list", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                              663, 465, nullptr, nullptr, windowClass.hInstance, nullptr);
        ::CreateWindowExW(
            WS_EX_CLIENTEDGE, L"ListBox", nullptr,
            WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT, 164, 64,
            482, 303, window, reinterpret_cast<HMENU>(1), windowClass.hInstance, nullptr);
        return window;
    }();

    const HWND list = ::GetDlgItem(host, 1);
    const auto start = Clock::now();
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (const std::wstring& code : codes)
        ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(code.c_str()));
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
    ::UpdateWindow(list);
    return Milliseconds(Clock::now() - start);
}

// From the release of the button on a kind to the list filled and painted.
double ClickToFilledList(const Quillmark& app) {
    const HWND tree = app.Control(kTreeView2Id);
    const HWND list = app.Control(kCheckListBox1Id);
    // Empty the list first through another kind.
    ClickAt(NodeCentre(app.Process(), tree, 5));
    WaitFor([&] { return ::SendMessageW(list, LB_GETCOUNT, 0, 0) == 0; });
    ::WaitForInputIdle(app.Process(), 5000);
    Settle(::GetDoubleClickTime() + 50);
    MoveMouseTo(NodeCentre(app.Process(), tree, 0));
    Settle(30);
    MouseButton(true);
    Settle(30);
    const auto start = Clock::now();
    MouseButton(false);
    while (::SendMessageW(list, LB_GETCOUNT, 0, 0) != kCodes) ::Sleep(0);
    ::WaitForInputIdle(app.Process(), 5000);  // idle again: the repaint is done
    return Milliseconds(Clock::now() - start);
}

}  // namespace

int wmain() {
    const std::wstring quillmark = ProgramBesideTests(L"Quillmark.exe");
    const std::wstring bare = ProgramBesideTests(L"bare-window.exe");
    std::vector<double> ours, floor;
    LaunchToVisible(quillmark, L"TForm21");  // warm the caches for both
    LaunchToVisible(bare, L"BareWindow");
    for (int i = 0; i < kLaunches; ++i) {
        ours.push_back(LaunchToVisible(quillmark, L"TForm21"));
        floor.push_back(LaunchToVisible(bare, L"BareWindow"));
    }
    std::printf("launch to visible window  Quillmark %7.1f ms   bare window %7.1f ms   ratio %.2fx (aim 1.2x)\n",
                Median(ours), Median(floor), Median(ours) / Median(floor));

    std::vector<std::wstring> codes;
    for (int i = 0; i < kCodes; ++i) codes.push_back(L"#КодШаблона" + std::to_wstring(i) + L"#");
    std::vector<double> clicks, fills;
    {
        Quillmark app(TenThousandCodes());
        Activate(app, app.Control(kButton5Id));
        for (int i = 0; i < kRuns; ++i) clicks.push_back(ClickToFilledList(app));
    }
    for (int i = 0; i < kRuns; ++i) fills.push_back(BareListFill(codes));
    std::printf("click to 10,000 codes     Quillmark %7.1f ms   bare LB_ADDSTRING %7.1f ms   ratio %.2fx (aim 1.2x)\n",
                Median(clicks), Median(fills), Median(clicks) / Median(fills));
    return 0;
}
