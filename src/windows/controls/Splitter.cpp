#include "controls/Splitter.h"

#include <windowsx.h>

#include "common/Exception.h"
#include "controls/Window.h"
#include "ui/SplitterMath.h"

namespace quillmark {

namespace {

constexpr wchar_t kSplitterClass[] = L"QuillmarkSplitter";

// The halftone that the hatched line is drawn with.
UniqueGdiObject HalftoneBrush() {
    static const WORD pattern[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
    const UniqueGdiObject bitmap(::CreateBitmap(8, 8, 1, 1, pattern));
    return UniqueGdiObject(::CreatePatternBrush(static_cast<HBITMAP>(bitmap.Get())));
}

}  // namespace

TSplitter::TSplitter(HWND parent, int id, const RECT& bounds, ISplitterHost& host, IExceptionSink& sink)
    : host_(host), sink_(sink) {
    const auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    WNDCLASSEXW windowClass = WindowClass(instance, kSplitterClass, WindowProcOf<TSplitter>, IDC_SIZEWE);
    windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    RegisterClassOnce(windowClass);
    if (!::CreateWindowExW(0, kSplitterClass, nullptr, WS_CHILD | WS_VISIBLE, bounds.left, bounds.top,
                           bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, this)) {
        throw Exception(L"Cannot create the splitter");
    }
}

void TSplitter::ToggleLine() {
    // Drawn on the parent over its children, so the parent's DC must not clip them.
    const HWND parent = ::GetParent(hwnd_);
    const HDC dc = ::GetDCEx(parent, nullptr, DCX_CACHE | DCX_LOCKWINDOWUPDATE);
    RECT bar;
    ::GetWindowRect(hwnd_, &bar);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&bar), 2);
    const UniqueGdiObject brush = HalftoneBrush();
    {
        const SelectInDC select(dc, brush.Get());
        ::PatBlt(dc, lineX_, bar.top, bar.right - bar.left, bar.bottom - bar.top, PATINVERT);
    }
    ::ReleaseDC(parent, dc);
    lineShown_ = !lineShown_;
}

void TSplitter::OnPress(int x) {
    dragging_ = true;
    pressX_ = x;
    startWidth_ = host_.ResizedWidth();
    largest_ = host_.LargestResizedWidth();
    newWidth_ = LimitedTreeWidth(startWidth_, largest_);  // the press alone opens a collapsed tree
    ::SetCapture(hwnd_);
    lineX_ = newWidth_;
    ToggleLine();
}

void TSplitter::OnMove(int x) {
    if (!dragging_) return;
    const int width = DraggedTreeWidth(startWidth_ + (x - pressX_), largest_);
    if (width == newWidth_) return;
    ToggleLine();
    newWidth_ = width;
    lineX_ = width;
    ToggleLine();
}

void TSplitter::EndDrag() {
    if (lineShown_) ToggleLine();
    dragging_ = false;  // before the release, whose WM_CAPTURECHANGED would cancel
    if (::GetCapture() == hwnd_) ::ReleaseCapture();
}

void TSplitter::OnRelease() {
    if (!dragging_) return;
    EndDrag();
    if (newWidth_ != startWidth_) host_.SetResizedWidth(newWidth_);
}

void TSplitter::Cancel() {
    if (dragging_) EndDrag();
}

LRESULT TSplitter::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_LBUTTONDOWN:
            OnPress(GET_X_LPARAM(lParam));
            return 0;
        case WM_MOUSEMOVE:
            OnMove(GET_X_LPARAM(lParam));
            return 0;
        case WM_LBUTTONUP:
            OnRelease();
            return 0;
        case WM_CAPTURECHANGED:
        case WM_CANCELMODE:
            Cancel();
            break;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace quillmark
