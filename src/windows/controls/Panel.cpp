#include "controls/Panel.h"

#include "controls/Window.h"

namespace quillmark {

namespace {

constexpr wchar_t kPanelClass[] = L"QuillmarkPanel";

void Paint(HWND hwnd) {
    PAINTSTRUCT paint;
    const HDC dc = ::BeginPaint(hwnd, &paint);
    RECT client;
    ::GetClientRect(hwnd, &client);
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
    ::DrawEdge(dc, &client, BDR_RAISEDINNER, BF_RECT);
    ::EndPaint(hwnd, &paint);
}

LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint(hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // painted whole in WM_PAINT
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            return ::SendMessageW(::GetParent(hwnd), message, wParam, lParam);
        default:
            return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

HWND CreatePanel(HWND parent, int id, const RECT& bounds) {
    const auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    WNDCLASSEXW windowClass = WindowClass(instance, kPanelClass, PanelProc, IDC_ARROW);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    RegisterClassOnce(windowClass);
    // Tab and the focus go through the panel to its children.
    return ::CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                             bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

}  // namespace quillmark
