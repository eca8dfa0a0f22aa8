// Drives the real Quillmark.exe from another process, as a user would: real
// input through SendInput, and what the window shows read back through its
// controls' messages.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/WinHandle.h"
#include "support/TestFiles.h"
#include "support/Wait.h"

namespace quillmark::test {

// Lets the program take the input that was sent to it.
void Settle(int milliseconds = 250);

// A program built beside the tests.
std::wstring ProgramBesideTests(const wchar_t* name);

// Memory in another process, for control messages that carry pointers.
class RemoteMemory {
public:
    RemoteMemory(HANDLE process, size_t size);
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;
    ~RemoteMemory();
    void* Address() const { return address_; }
    void Write(const void* data, size_t size, size_t offset = 0) const;
    void Read(void* data, size_t size, size_t offset = 0) const;

private:
    HANDLE process_;
    void* address_;
};

// Quillmark.exe copied into a folder of its own, with or without a params.ini.
class Quillmark {
public:
    explicit Quillmark(std::optional<std::string> catalogue, int showCommand = SW_SHOWNORMAL);
    Quillmark(const Quillmark&) = delete;
    Quillmark& operator=(const Quillmark&) = delete;
    ~Quillmark();

    const std::filesystem::path& Folder() const { return dir_.Path(); }
    std::filesystem::path Catalogue() const { return dir_.Path() / "params.ini"; }
    void WriteCatalogue(std::string_view bytes) const;

    HWND Window() const { return window_; }
    HANDLE Process() const { return process_.Get(); }
    DWORD ThreadId() const { return threadId_; }
    // A control of the window by its identifier.
    HWND Control(int id) const;
    // The exit code once the process ended within the time, else nullopt.
    std::optional<DWORD> WaitForExit(int milliseconds = 5000) const;

    // The window's focused control and active window, across processes.
    HWND Focus() const;
    // The first message box the program shows within the time.
    HWND WaitForMessageBox(int milliseconds = 5000) const;

private:
    TempDir dir_;
    UniqueKernelHandle process_;
    DWORD processId_ = 0;
    DWORD threadId_ = 0;
    HWND window_ = nullptr;
};

// Input, as the user gives it.
void MoveMouseTo(POINT screen);
void MouseButton(bool down, bool right = false);
void ClickAt(POINT screen, bool right = false);
void DoubleClickAt(POINT screen);
void PressKey(WORD key, std::initializer_list<WORD> modifiers = {});
void TypeText(const std::wstring& text);
void BringToFront(HWND window);
// Brings the program's window to the front and waits until focus sits on
// firstFocus, so that input is not sent before the window is ready for it.
void Activate(const Quillmark& app, HWND firstFocus);

// Points of a window, on the screen.
POINT ScreenPoint(HWND window, int x, int y);
RECT RectInParent(HWND window);
POINT CentreOf(HWND window);
// The visible top-level window of that class in that process, or null.
HWND FindVisibleWindow(DWORD processId, const wchar_t* className);
std::wstring ClassOf(HWND window);
std::wstring TextOf(HWND window);

// The tree of kinds.
std::vector<HTREEITEM> RootNodes(HWND tree);
RECT NodeTextRect(HANDLE process, HWND tree, HTREEITEM node);
std::wstring NodeText(HANDLE process, HWND tree, HTREEITEM node);
POINT NodeCentre(HANDLE process, HWND tree, int index);

// The check list: its lines, their check states and the current line.
struct ListLine {
    std::wstring text;
    bool checked;
    friend bool operator==(const ListLine&, const ListLine&) = default;
};
std::vector<ListLine> Lines(HWND list);
std::vector<std::wstring> LineTexts(HWND list);
int CurrentLine(HWND list);
POINT LinePoint(HWND list, int index, int x);

}  // namespace quillmark::test
