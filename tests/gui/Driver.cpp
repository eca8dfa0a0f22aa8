#include "gui/Driver.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace quillmark::test {

void Settle(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

std::wstring ProgramBesideTests(const wchar_t* name) {
    wchar_t module[MAX_PATH * 4];
    const DWORD length = ::GetModuleFileNameW(nullptr, module, MAX_PATH * 4);
    std::wstring path(module, length);
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

RemoteMemory::RemoteMemory(HANDLE process, size_t size)
    : process_(process), address_(::VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {
    if (address_ == nullptr) throw std::runtime_error("VirtualAllocEx failed");
}

RemoteMemory::~RemoteMemory() { ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE); }

void RemoteMemory::Write(const void* data, size_t size, size_t offset) const {
    ::WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, nullptr);
}

void RemoteMemory::Read(void* data, size_t size, size_t offset) const {
    ::ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, nullptr);
}

namespace {

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    HWND found = nullptr;
};

BOOL CALLBACK FindTopLevel(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<WindowSearch*>(data);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid == search.processId && ::IsWindowVisible(window) && ClassOf(window) == search.className) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

struct ChildSearch {
    int id;
    HWND found = nullptr;
};

BOOL CALLBACK FindChild(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<ChildSearch*>(data);
    if (::GetDlgCtrlID(window) == search.id) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

void SendOne(INPUT input) { ::SendInput(1, &input, sizeof input); }

}  // namespace

Quillmark::Quillmark(std::optional<std::string> catalogue, int showCommand) {
    const std::filesystem::path exe = dir_.Path() / "Quillmark.exe";
    std::filesystem::copy_file(ProgramBesideTests(L"Quillmark.exe"), exe);
    if (catalogue) WriteCatalogue(*catalogue);

    STARTUPINFOW startup{sizeof startup};
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    PROCESS_INFORMATION info{};
    std::wstring command = L"\"" + exe.wstring() + L"\"";
    // Started from another folder: params.ini must be found beside the executable.
    if (!::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        throw std::runtime_error("cannot start Quillmark.exe");
    }
    process_.Reset(info.hProcess);
    ::CloseHandle(info.hThread);
    processId_ = info.dwProcessId;
    threadId_ = info.dwThreadId;
    WaitFor([&] { return (window_ = FindVisibleWindow(processId_, L"TForm21")) != nullptr; }, 15000);
    if (window_ == nullptr) throw std::runtime_error("Quillmark's window did not appear");
    ::WaitForInputIdle(process_.Get(), 5000);
}

Quillmark::~Quillmark() {
    if (!WaitForExit(0)) {
        ::TerminateProcess(process_.Get(), 99);
        ::WaitForSingleObject(process_.Get(), 5000);
    }
}

void Quillmark::WriteCatalogue(std::string_view bytes) const { dir_.Write("params.ini", bytes); }

HWND Quillmark::Control(int id) const {
    ChildSearch search{id};
    ::EnumChildWindows(window_, FindChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::optional<DWORD> Quillmark::WaitForExit(int milliseconds) const {
    if (::WaitForSingleObject(process_.Get(), static_cast<DWORD>(milliseconds)) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(process_.Get(), &code);
    return code;
}

HWND Quillmark::Focus() const {
    GUITHREADINFO info{sizeof info};
    ::GetGUIThreadInfo(threadId_, &info);
    return info.hwndFocus;
}

HWND Quillmark::WaitForMessageBox(int milliseconds) const {
    HWND box = nullptr;
    WaitFor([&] { return (box = FindVisibleWindow(processId_, L"#32770")) != nullptr; }, milliseconds);
    return box;
}

HWND FindVisibleWindow(DWORD processId, const wchar_t* className) {
    WindowSearch search{processId, className};
    ::EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void MoveMouseTo(POINT screen) {
    ::SetCursorPos(screen.x, screen.y);
    INPUT input{INPUT_MOUSE};
    input.mi.dx = screen.x * 65535 / (::GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = screen.y * 65535 / (::GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendOne(input);
}

void MouseButton(bool down, bool right) {
    INPUT input{INPUT_MOUSE};
    input.mi.dwFlags = right ? (down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP)
                             : (down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
    SendOne(input);
}

void ClickAt(POINT screen, bool right) {
    // Two clicks in a row at one place must not make a double click.
    static auto last = std::chrono::steady_clock::time_point();
    const auto apart = std::chrono::milliseconds(::GetDoubleClickTime() + 50);
    const auto since = std::chrono::steady_clock::now() - last;
    if (since < apart) std::this_thread::sleep_for(apart - since);
    MoveMouseTo(screen);
    Settle(30);
    MouseButton(true, right);
    Settle(30);
    MouseButton(false, right);
    last = std::chrono::steady_clock::now();
}

void DoubleClickAt(POINT screen) {
    MoveMouseTo(screen);
    Settle(30);
    for (int i = 0; i < 2; ++i) {
        MouseButton(true);
        MouseButton(false);
    }
}

void PressKey(WORD key, std::initializer_list<WORD> modifiers) {
    std::vector<INPUT> inputs;
    auto add = [&](WORD vk, bool up) {
        INPUT input{INPUT_KEYBOARD};
        input.ki.wVk = vk;
        input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    for (const WORD m : modifiers) add(m, false);
    add(key, false);
    add(key, true);
    for (auto m = std::rbegin(modifiers); m != std::rend(modifiers); ++m) add(*m, true);
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void TypeText(const std::wstring& text) {
    for (const wchar_t c : text) {
        INPUT input[2]{{INPUT_KEYBOARD}, {INPUT_KEYBOARD}};
        input[0].ki.wScan = c;
        input[0].ki.dwFlags = KEYEVENTF_UNICODE;
        input[1].ki.wScan = c;
        input[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        ::SendInput(2, input, sizeof(INPUT));
    }
}

void BringToFront(HWND window) {
    ::SetForegroundWindow(window);
    WaitFor([&] { return ::GetForegroundWindow() == window; }, 2000);
}

void Activate(const Quillmark& app, HWND firstFocus) {
    BringToFront(app.Window());
    WaitFor([&] { return app.Focus() == firstFocus; });
}

POINT ScreenPoint(HWND window, int x, int y) {
    POINT p{x, y};
    ::ClientToScreen(window, &p);
    return p;
}

POINT CentreOf(HWND window) {
    RECT r;
    ::GetWindowRect(window, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

RECT RectInParent(HWND window) {
    RECT r;
    ::GetWindowRect(window, &r);
    ::MapWindowPoints(nullptr, ::GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[128] = {};
    ::GetClassNameW(window, name, 128);
    return name;
}

std::wstring TextOf(HWND window) {
    // WM_GETTEXT, not GetWindowText: across processes that gives captions only.
    std::wstring text(static_cast<size_t>(::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

std::vector<HTREEITEM> RootNodes(HWND tree) {
    std::vector<HTREEITEM> nodes;
    for (HTREEITEM node = TreeView_GetRoot(tree); node != nullptr; node = TreeView_GetNextSibling(tree, node)) {
        nodes.push_back(node);
    }
    return nodes;
}

RECT NodeTextRect(HANDLE process, HWND tree, HTREEITEM node) {
    const RemoteMemory memory(process, sizeof(RECT));
    RECT rect{};
    *reinterpret_cast<HTREEITEM*>(&rect) = node;
    memory.Write(&rect, sizeof rect);
    ::SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(memory.Address()));
    memory.Read(&rect, sizeof rect);
    return rect;
}

std::wstring NodeText(HANDLE process, HWND tree, HTREEITEM node) {
    constexpr int kLength = 512;
    const RemoteMemory memory(process, sizeof(TVITEMW) + kLength * sizeof(wchar_t));
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = node;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(memory.Address()) + sizeof(TVITEMW));
    item.cchTextMax = kLength;
    memory.Write(&item, sizeof item);
    ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory.Address()));
    std::wstring text(kLength, L'\0');
    memory.Read(text.data(), kLength * sizeof(wchar_t), sizeof(TVITEMW));
    text.resize(wcsnlen(text.c_str(), kLength));
    return text;
}

POINT NodeCentre(HANDLE process, HWND tree, int index) {
    const RECT r = NodeTextRect(process, tree, RootNodes(tree).at(static_cast<size_t>(index)));
    return ScreenPoint(tree, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

std::vector<ListLine> Lines(HWND list) {
    std::vector<ListLine> lines;
    const int count = static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        // The list may be refilled between two of these messages: room to
        // spare, and a failed read is an empty line, which the caller's wait
        // reads again.
        const LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, i, 0);
        std::wstring text(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 4096, L'\0');
        const LRESULT got = ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(std::max<LRESULT>(got, 0)));
        lines.push_back({text, ::SendMessageW(list, LB_GETITEMDATA, i, 0) == 1});
    }

    return lines;
}

std::vector<std::wstring> LineTexts(HWND list) {
    std::vector<std::wstring> texts;
    for (const ListLine& line : Lines(list)) texts.push_back(line.text);
    return texts;
}

int CurrentLine(HWND list) { return static_cast<int>(::SendMessageW(list, LB_GETCURSEL, 0, 0)); }

POINT LinePoint(HWND list, int index, int x) {
    RECT r{};
    ::SendMessageW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
    return ScreenPoint(list, r.left + x, (r.top + r.bottom) / 2);
}

}  // namespace quillmark::test
