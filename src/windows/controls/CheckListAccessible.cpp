#include "controls/CheckListAccessible.h"

#include "controls/CheckListBox.h"

namespace quillmark {

namespace {

HRESULT Text(const WString& text, BSTR* out) {
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// Null, empty or zero: what an [out] parameter holds after a failure.
template <class T>
void Clear(T*& out) {
    out = nullptr;
}
void Clear(VARIANT& out) { ::VariantInit(&out); }
void Clear(long& out) { out = 0; }

// Every method clears its [out] parameters before anything else, so that no
// failure leaves garbage in them for a client to free.
template <class... Out>
HRESULT Cleared(Out*... out) {
    ((out != nullptr ? Clear(*out) : void()), ...);  // the others too when one is null
    return ((out == nullptr) || ...) ? E_POINTER : S_OK;
}

}  // namespace

TCheckListAccessible::TCheckListAccessible(TCheckListBox& list, ComPtr<IAccessible> proxy)
    : list_(&list), proxy_(std::move(proxy)) {}

void TCheckListAccessible::Disconnect() {
    list_ = nullptr;
    proxy_.Reset();
}

HRESULT TCheckListAccessible::ListState(VARIANT* state) const {
    const HWND hwnd = list_->Handle();
    long bits = STATE_SYSTEM_FOCUSABLE;
    if (::GetFocus() == hwnd) bits |= STATE_SYSTEM_FOCUSED;
    if (!::IsWindowVisible(hwnd)) bits |= STATE_SYSTEM_INVISIBLE;
    if (!::IsWindowEnabled(hwnd)) bits |= STATE_SYSTEM_UNAVAILABLE;
    *state = LongVariant(bits);
    return S_OK;
}

template <class... Out>
HRESULT TCheckListAccessible::Connected(Out*... out) const {
    if (const HRESULT cleared = Cleared(out...); cleared != S_OK) return cleared;
    return Gone() ? CO_E_OBJNOTCONNECTED : S_OK;
}

template <class... Out>
HRESULT TCheckListAccessible::Reach(const VARIANT& child, int& line, Out*... out) const {
    if (const HRESULT connected = Connected(out...); connected != S_OK) return connected;
    // Compared before subtracting: LONG_MIN - 1 overflows.
    if (child.vt != VT_I4 || child.lVal < CHILDID_SELF || child.lVal > list_->Count()) return E_INVALIDARG;
    line = child.lVal - 1;  // CHILDID_SELF is 0: the list itself, -1
    return S_OK;
}

HRESULT TCheckListAccessible::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG TCheckListAccessible::AddRef() { return ++references_; }

ULONG TCheckListAccessible::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT TCheckListAccessible::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
}
HRESULT TCheckListAccessible::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    const HRESULT cleared = Cleared(info);
    return cleared != S_OK ? cleared : E_NOTIMPL;
}
HRESULT TCheckListAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) {
    for (UINT i = 0; ids != nullptr && i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return E_NOTIMPL;
}
HRESULT TCheckListAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) {
    if (result != nullptr) Clear(*result);
    return E_NOTIMPL;
}

HRESULT TCheckListAccessible::get_accParent(IDispatch** parent) {
    if (const HRESULT connected = Connected(parent); connected != S_OK) return connected;
    return proxy_ ? proxy_->get_accParent(parent) : S_FALSE;
}

HRESULT TCheckListAccessible::get_accChildCount(long* count) {
    if (const HRESULT connected = Connected(count); connected != S_OK) return connected;
    *count = list_->Count();
    return S_OK;
}

HRESULT TCheckListAccessible::get_accChild(VARIANT child, IDispatch** dispatch) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line, dispatch); reached != S_OK) return reached;
    if (line < 0) return E_INVALIDARG;
    return S_FALSE;  // the lines are simple elements of the list
}

HRESULT TCheckListAccessible::get_accName(VARIANT child, BSTR* name) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line, name); reached != S_OK) return reached;
    if (line >= 0) return Text(list_->Text(line), name);
    return proxy_ ? proxy_->get_accName(child, name) : S_FALSE;
}

HRESULT TCheckListAccessible::get_accValue(VARIANT child, BSTR* value) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line, value); reached != S_OK) return reached;
    return line < 0 && proxy_ ? proxy_->get_accValue(child, value) : S_FALSE;
}

HRESULT TCheckListAccessible::get_accDescription(VARIANT child, BSTR* description) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line, description); reached != S_OK) return reached;
    return line < 0 && proxy_ ? proxy_->get_accDescription(child, description) : S_FALSE;
}

HRESULT TCheckListAccessible::get_accRole(VARIANT child, VARIANT* role) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line, role); reached != S_OK) return reached;
    if (line < 0 && proxy_) return proxy_->get_accRole(child, role);
    *role = LongVariant(line < 0 ? ROLE_SYSTEM_LIST : ROLE_SYSTEM_CHECKBUTTON);
    return S_OK;
}

HRESULT TCheckListAccessible::get_accState(VARIANT child, VARIANT* state) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line, state); reached != S_OK) return reached;
    if (line < 0) return proxy_ ? proxy_->get_accState(child, state) : ListState(state);
    // The proxy's own state of the line where it has one, else the list box's rules.
    VARIANT base;
    ::VariantInit(&base);
    long bits = 0;
    if (proxy_ && proxy_->get_accState(child, &base) == S_OK && base.vt == VT_I4) {
        bits = base.lVal;
    } else {
        const HWND hwnd = list_->Handle();
        bits = STATE_SYSTEM_SELECTABLE | STATE_SYSTEM_FOCUSABLE;
        if (line == list_->ItemIndex()) {
            bits |= STATE_SYSTEM_SELECTED;
            if (::GetFocus() == hwnd) bits |= STATE_SYSTEM_FOCUSED;
        }
        RECT item{}, client{}, visible{};
        ::GetClientRect(hwnd, &client);
        if (::SendMessageW(hwnd, LB_GETITEMRECT, line, reinterpret_cast<LPARAM>(&item)) == LB_ERR ||
            !::IntersectRect(&visible, &item, &client)) {
            bits |= STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN;
        }
    }
    ::VariantClear(&base);
    if (list_->Checked(line)) bits |= STATE_SYSTEM_CHECKED;
    *state = LongVariant(bits);
    return S_OK;
}

HRESULT TCheckListAccessible::get_accHelp(VARIANT child, BSTR* help) {
    if (const HRESULT connected = Connected(help); connected != S_OK) return connected;
    return proxy_ ? proxy_->get_accHelp(child, help) : S_FALSE;
}

HRESULT TCheckListAccessible::get_accHelpTopic(BSTR* file, VARIANT child, long* topic) {
    if (const HRESULT connected = Connected(file, topic); connected != S_OK) return connected;
    return proxy_ ? proxy_->get_accHelpTopic(file, child, topic) : S_FALSE;
}

HRESULT TCheckListAccessible::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line, shortcut); reached != S_OK) return reached;
    return line < 0 && proxy_ ? proxy_->get_accKeyboardShortcut(child, shortcut) : S_FALSE;
}

HRESULT TCheckListAccessible::get_accFocus(VARIANT* focus) {
    if (const HRESULT connected = Connected(focus); connected != S_OK) return connected;
    const int current = list_->ItemIndex();
    if (::GetFocus() != list_->Handle()) return proxy_ ? proxy_->get_accFocus(focus) : S_FALSE;
    *focus = LongVariant(current >= 0 ? current + 1 : CHILDID_SELF);
    return S_OK;
}

HRESULT TCheckListAccessible::get_accSelection(VARIANT* selection) {
    if (const HRESULT connected = Connected(selection); connected != S_OK) return connected;
    const int current = list_->ItemIndex();
    if (current < 0) return S_FALSE;
    *selection = LongVariant(current + 1);
    return S_OK;
}

HRESULT TCheckListAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line, action); reached != S_OK) return reached;
    if (line < 0) return proxy_ ? proxy_->get_accDefaultAction(child, action) : S_FALSE;
    return Text(list_->Checked(line) ? L"Uncheck" : L"Check", action);
}

HRESULT TCheckListAccessible::accSelect(long flags, VARIANT child) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line); reached != S_OK) return reached;
    if (line < 0 && proxy_) return proxy_->accSelect(flags, child);
    if (flags & SELFLAG_TAKEFOCUS) ::SetFocus(list_->Handle());
    if (line < 0) return S_OK;
    if (flags & SELFLAG_TAKESELECTION) ::SendMessageW(list_->Handle(), LB_SETCURSEL, line, 0);
    return S_OK;
}

HRESULT TCheckListAccessible::accLocation(long* left, long* top, long* width, long* height, VARIANT child) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line, left, top, width, height); reached != S_OK) return reached;
    if (line < 0 && proxy_) return proxy_->accLocation(left, top, width, height, child);
    RECT r{};
    if (line < 0) {
        ::GetWindowRect(list_->Handle(), &r);
    } else if (::SendMessageW(list_->Handle(), LB_GETITEMRECT, line, reinterpret_cast<LPARAM>(&r)) != LB_ERR) {
        ::MapWindowPoints(list_->Handle(), nullptr, reinterpret_cast<POINT*>(&r), 2);
    } else {
        return E_FAIL;
    }
    *left = r.left;
    *top = r.top;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return S_OK;
}

HRESULT TCheckListAccessible::accNavigate(long direction, VARIANT start, VARIANT* end) {
    int line = 0;
    if (const HRESULT reached = Reach(start, line, end); reached != S_OK) return reached;
    const int count = list_->Count();
    int to = -2;
    if (line < 0 && direction == NAVDIR_FIRSTCHILD) to = 0;
    if (line < 0 && direction == NAVDIR_LASTCHILD) to = count - 1;
    if (line >= 0 && (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN)) to = line + 1;
    if (line >= 0 && (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP)) to = line - 1;
    if (to == -2) return line < 0 && proxy_ ? proxy_->accNavigate(direction, start, end) : S_FALSE;
    if (to < 0 || to >= count) return S_FALSE;
    *end = LongVariant(to + 1);
    return S_OK;
}

HRESULT TCheckListAccessible::accHitTest(long x, long y, VARIANT* child) {
    if (const HRESULT connected = Connected(child); connected != S_OK) return connected;
    const HWND hwnd = list_->Handle();
    POINT at{x, y};
    ::ScreenToClient(hwnd, &at);
    RECT client{};
    ::GetClientRect(hwnd, &client);
    if (!::PtInRect(&client, at)) return proxy_ ? proxy_->accHitTest(x, y, child) : S_FALSE;
    // From the top line and the line height: LB_ITEMFROMPOINT answers in 16 bits.
    const int height = static_cast<int>(::SendMessageW(hwnd, LB_GETITEMHEIGHT, 0, 0));
    const int line = static_cast<int>(::SendMessageW(hwnd, LB_GETTOPINDEX, 0, 0)) + (height > 0 ? at.y / height : 0);
    *child = LongVariant(line < list_->Count() ? line + 1 : CHILDID_SELF);
    return S_OK;
}

HRESULT TCheckListAccessible::accDoDefaultAction(VARIANT child) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line); reached != S_OK) return reached;
    if (line < 0) return proxy_ ? proxy_->accDoDefaultAction(child) : DISP_E_MEMBERNOTFOUND;
    list_->Toggle(line);
    return S_OK;
}

}  // namespace quillmark
