#include "controls/TreeView.h"

#include <windowsx.h>

#include "common/Exception.h"
#include "controls/Window.h"

namespace quillmark {

TTreeView::TTreeView(HWND parent, int id, const RECT& bounds, IExceptionSink& sink, std::function<void()> onClick)
    : sink_(sink), onClick_(std::move(onClick)) {
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT |
                        TVS_SHOWSELALWAYS | TVS_EDITLABELS | TVS_DISABLEDRAGDROP | TVS_INFOTIP;
    hwnd_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, nullptr, style, bounds.left, bounds.top,
                              bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (hwnd_ == nullptr) throw Exception(L"Cannot create the tree");
    TreeView_SetIndent(hwnd_, 19);
    Subclass(hwnd_, this);
}

void TTreeView::AddNode(const WString& text) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    if (TreeView_InsertItem(hwnd_, &insert) == nullptr) throw Exception(L"Cannot add a node to the tree");
}

HTREEITEM TTreeView::Selected() const { return TreeView_GetSelection(hwnd_); }

WString TTreeView::NodeText(HTREEITEM node) const {
    // No message tells a node's text length: grow until the text fits.
    WString text(256, L'\0');
    for (;;) {
        TVITEMW item{};
        item.mask = TVIF_TEXT;
        item.hItem = node;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        if (!TreeView_GetItem(hwnd_, &item)) return WString();
        const size_t length = wcsnlen(text.c_str(), text.size());
        if (length + 1 < text.size()) {
            text.resize(length);
            return text;
        }
        text.assign(text.size() * 2, L'\0');
    }
}

void TTreeView::ClickIfInside(POINT client) {
    RECT area;
    ::GetClientRect(hwnd_, &area);
    if (::PtInRect(&area, client)) onClick_();
}

LRESULT TTreeView::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_LBUTTONDOWN: {
            pressed_ = true;
            // The tree tracks the press in a loop of its own, which takes the
            // release away; when it returns with the button up, that was the release.
            const LRESULT result = CallOriginal(hwnd, message, wParam, lParam);
            if (pressed_ && (::GetKeyState(VK_LBUTTON) & 0x8000) == 0) {
                pressed_ = false;
                POINT cursor;
                ::GetCursorPos(&cursor);
                ::ScreenToClient(hwnd_, &cursor);
                ClickIfInside(cursor);
            }
            return result;
        }
        case WM_LBUTTONUP: {
            const LRESULT result = CallOriginal(hwnd, message, wParam, lParam);
            if (pressed_) {
                pressed_ = false;
                ClickIfInside({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            }
            return result;
        }
        case WM_LBUTTONDBLCLK:
            pressed_ = false;  // the second press of a double click is no click
            break;
        default:
            break;
    }
    return CallOriginal(hwnd, message, wParam, lParam);
}

}  // namespace quillmark
