#include "controls/CheckListBox.h"

#include <commctrl.h>
#include <windowsx.h>

#include "catalogue/Platform.h"
#include "common/Exception.h"
#include "common/SystemLibrary.h"
#include "controls/Window.h"

namespace quillmark {

TCheckListBox::TCheckListBox(HWND parent, int id, const RECT& bounds, int checkWidth, IExceptionSink& sink)
    : checkWidth_(checkWidth), sink_(sink) {
    hwnd_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"ListBox", nullptr,
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS |
                                  LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
                              bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (hwnd_ == nullptr) throw Exception(L"Cannot create the check list");
    Subclass(hwnd_, this);
}

void TCheckListBox::BeginUpdate() {
    if (updates_++ == 0) ::SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
}

void TCheckListBox::EndUpdate() {
    if (--updates_ == 0) {
        ::SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(hwnd_, nullptr, TRUE);
    }
}

void TCheckListBox::Clear() { ::SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0); }

void TCheckListBox::Add(const WString& item) {
    const LRESULT index = ::SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    if (index < 0) throw Exception(L"Unable to insert a line");
}

int TCheckListBox::Count() const { return static_cast<int>(::SendMessageW(hwnd_, LB_GETCOUNT, 0, 0)); }

WString TCheckListBox::Text(int index) const {
    const LRESULT length = ::SendMessageW(hwnd_, LB_GETTEXTLEN, index, 0);
    if (length < 0) return WString();
    WString text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got = ::SendMessageW(hwnd_, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(got < 0 ? 0 : static_cast<size_t>(got));
    return text;
}

bool TCheckListBox::Checked(int index) const { return ::SendMessageW(hwnd_, LB_GETITEMDATA, index, 0) == 1; }

int TCheckListBox::ItemIndex() const { return static_cast<int>(::SendMessageW(hwnd_, LB_GETCURSEL, 0, 0)); }

void TCheckListBox::Toggle(int index) {
    if (index < 0 || index >= Count()) return;
    ::SendMessageW(hwnd_, LB_SETITEMDATA, index, Checked(index) ? 0 : 1);
    RECT line{};
    if (::SendMessageW(hwnd_, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&line)) != LB_ERR) {
        ::InvalidateRect(hwnd_, &line, FALSE);
    }
    ::NotifyWinEvent(EVENT_OBJECT_STATECHANGE, hwnd_, OBJID_CLIENT, index + 1);
}

namespace {

// oleacc, loaded at the first question of a screen reader rather than imported.
struct Oleacc {
    decltype(&::CreateStdAccessibleObject) createStdAccessibleObject;
    decltype(&::LresultFromObject) lresultFromObject;
};

const Oleacc& OleaccFunctions() {
    static const Oleacc oleacc = [] {
        const HMODULE module = LoadSystemLibrary(L"oleacc.dll");
        return Oleacc{ProcAddress<decltype(Oleacc::createStdAccessibleObject)>(module, "CreateStdAccessibleObject"),
                      ProcAddress<decltype(Oleacc::lresultFromObject)>(module, "LresultFromObject")};
    }();
    return oleacc;
}

}  // namespace

LRESULT TCheckListBox::OnGetObject(WPARAM flags, LPARAM objectId) {
    if (static_cast<LONG>(objectId) != OBJID_CLIENT) return CallOriginal(hwnd_, WM_GETOBJECT, flags, objectId);
    const Oleacc& oleacc = OleaccFunctions();
    if (oleacc.lresultFromObject == nullptr) return CallOriginal(hwnd_, WM_GETOBJECT, flags, objectId);
    if (!accessible_) {
        ComPtr<IAccessible> proxy;
        // Wine has no standard proxy for a list box: the object then answers for the list too.
        if (oleacc.createStdAccessibleObject != nullptr) {
            oleacc.createStdAccessibleObject(hwnd_, OBJID_CLIENT, __uuidof(IAccessible), proxy.PutVoid());
        }
        accessible_.Attach(new TCheckListAccessible(*this, std::move(proxy)));
    }
    return oleacc.lresultFromObject(__uuidof(IAccessible), flags, static_cast<IAccessible*>(accessible_.Get()));
}

void TCheckListBox::Detach() {
    hwnd_ = nullptr;
    if (!accessible_) return;
    accessible_->Disconnect();
    ::CoDisconnectObject(accessible_.Get(), 0);  // clients in other processes are cut off too
    accessible_.Reset();
}

void TCheckListBox::OnPress(LPARAM lParam) {
    // The list has already made the pressed line current. LB_ITEMFROMPOINT
    // would give only the low 16 bits of its index.
    const int index = ItemIndex();
    const POINT press{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    RECT line{};
    if (index < 0 || ::SendMessageW(hwnd_, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&line)) == LB_ERR) return;
    if (::PtInRect(&line, press) && press.x < CheckAreaWidth()) Toggle(index);
}

void TCheckListBox::FindPrefix(const WString& prefix) {
    if (prefix.empty()) {
        ::SendMessageW(hwnd_, LB_SETCURSEL, 0, 0);
        return;
    }
    // LB_FINDSTRING's search, from the top and without regard to case; done
    // here because Wine's list box folds the case of ASCII letters only.
    const WString wanted = platform::UpperCase(prefix);
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        const WString text = Text(i);
        if (text.size() >= wanted.size() && platform::UpperCase(WStringView(text).substr(0, wanted.size())) == wanted) {
            ::SendMessageW(hwnd_, LB_SETCURSEL, i, 0);
            return;
        }
    }
}

void TCheckListBox::OnChar(WPARAM character) {
    const DWORD now = ::GetTickCount();
    if (character == VK_BACK) {
        FindPrefix(typeAhead_.Backspace(now));
        return;
    }
    if (!TypeAhead::Accepts(static_cast<WChar>(character))) return;
    if (character == L' ') Toggle(ItemIndex());
    FindPrefix(typeAhead_.Type(static_cast<WChar>(character), now));
}

void TCheckListBox::UpdateItemHeight() {
    // Every line is as high as "Wg" in the list's font.
    const WindowDC dc(hwnd_);
    const SelectInDC font(dc.Get(), reinterpret_cast<HGDIOBJ>(::SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
    SIZE size{};
    ::GetTextExtentPoint32W(dc.Get(), L"Wg", 2, &size);
    ::SendMessageW(hwnd_, LB_SETITEMHEIGHT, 0, size.cy);
}

void TCheckListBox::DrawItem(const DRAWITEMSTRUCT& item) const {
    const HDC dc = item.hDC;
    if (item.itemID == static_cast<UINT>(-1)) {
        if (item.itemState & ODS_FOCUS) ::DrawFocusRect(dc, &item.rcItem);
        return;
    }
    RECT check = item.rcItem;
    check.right = check.left + CheckAreaWidth();
    ::FillRect(dc, &check, ::GetSysColorBrush(COLOR_WINDOW));
    const int height = item.rcItem.bottom - item.rcItem.top;
    const int side = std::min(checkWidth_, height);
    RECT box{check.left + (CheckAreaWidth() - side) / 2, item.rcItem.top + (height - side) / 2, 0, 0};
    box.right = box.left + side;
    box.bottom = box.top + side;
    ::DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_FLAT | (item.itemData == 1 ? DFCS_CHECKED : 0));

    RECT text = item.rcItem;
    text.left = check.right;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    ::FillRect(dc, &text, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    const WString line = Text(static_cast<int>(item.itemID));
    RECT inner = text;
    inner.left += 2;
    ::DrawTextW(dc, line.c_str(), static_cast<int>(line.size()), &inner,
                DT_SINGLELINE | DT_NOPREFIX | DT_VCENTER | DT_LEFT | DT_EXPANDTABS);
    if (item.itemState & ODS_FOCUS) ::DrawFocusRect(dc, &text);
}

LRESULT TCheckListBox::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            const LRESULT result = CallOriginal(hwnd, message, wParam, lParam);
            OnPress(lParam);
            return result;
        }
        case WM_KEYDOWN:
            // Space ticks through WM_CHAR; the list box itself would also select with it.
            if (wParam == VK_SPACE) return 0;
            break;
        case WM_CHAR:
            OnChar(wParam);
            return 0;

        case WM_GETOBJECT:
            return OnGetObject(wParam, lParam);
        case WM_SETFONT: {
            const LRESULT result = CallOriginal(hwnd, message, wParam, lParam);
            UpdateItemHeight();
            return result;
        }
        default:
            break;
    }
    return CallOriginal(hwnd, message, wParam, lParam);
}

}  // namespace quillmark
