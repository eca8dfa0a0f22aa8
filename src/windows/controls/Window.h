// Plumbing shared by the program's windows: owners for GDI objects, the
// object behind a window procedure, and the guard that hands an exception
// escaping a message to the application.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <exception>

#include "app/ExceptionSink.h"
#include "common/WinHandle.h"

namespace quillmark {

struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::DeleteObject(h); }
};
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;

struct WindowTraits {
    using Handle = HWND;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::DestroyWindow(h); }
};
using UniqueWindow = UniqueHandle<WindowTraits>;

// A device context of a window, released with it.
class WindowDC {
public:
    explicit WindowDC(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() { ::ReleaseDC(hwnd_, dc_); }
    HDC Get() const { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

// Selects an object into a DC for one scope.
class SelectInDC {
public:
    SelectInDC(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
    SelectInDC(const SelectInDC&) = delete;
    SelectInDC& operator=(const SelectInDC&) = delete;
    ~SelectInDC() { ::SelectObject(dc_, old_); }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// Runs one message's handling; an exception goes to the sink, and the
// message is answered with 0.
template <class Handler>
LRESULT Guarded(IExceptionSink& sink, Handler&& handler) noexcept {
    try {
        return handler();
    } catch (...) {
        sink.HandleException(std::current_exception());
        return 0;
    }
}

// The window procedure of a class of ours: T is created with its window
// (CreateWindowEx's last argument) and answers HandleMessage.
template <class T>
LRESULT CALLBACK WindowProcOf(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->Attach(hwnd);
    }
    auto* self = reinterpret_cast<T*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->Attach(nullptr);
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return Guarded(self->Sink(), [&] { return self->HandleMessage(hwnd, message, wParam, lParam); });
}

// A system control whose behaviour we extend, by replacing its window
// procedure: Wine runs comctl32's SetWindowSubclass some fifty times slower
// per message, which a list of ten thousand lines feels.
class SubclassedControl {
protected:
    template <class T>
    void Subclass(HWND hwnd, T* self) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        original_ = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassedControl::Proc<T>)));
    }
    LRESULT CallOriginal(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) const {
        return ::CallWindowProcW(original_, hwnd, message, wParam, lParam);
    }

private:
    template <class T>
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<T*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (message == WM_NCDESTROY) {
            // The control goes; hand it back its own procedure for its last message.
            const WNDPROC original = static_cast<SubclassedControl*>(self)->original_;

            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->Detach();
            return ::CallWindowProcW(original, hwnd, message, wParam, lParam);
        }
        return Guarded(self->Sink(), [&] { return self->HandleMessage(hwnd, message, wParam, lParam); });
    }

    WNDPROC original_ = nullptr;
};

// A window class of ours with what they all share; callers add the rest.
WNDCLASSEXW WindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, const wchar_t* cursor);

// Registers a window class once per process; later calls do nothing.
void RegisterClassOnce(const WNDCLASSEXW& windowClass);

}  // namespace quillmark
