#include "controls/CheckListAccessible.h"

#include "controls/CheckListBox.h"

namespace quillmark {

namespace {

HRESULT Text(const WString& text, BSTR* out) {
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

template <class T>
HRESULT Nothing(T** out) {
    *out = nullptr;
    return S_FALSE;
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

HRESULT TCheckListAccessible::Reach(const VARIANT& child, int& line) const {
    if (Gone()) return CO_E_OBJNOTCONNECTED;
    if (child.vt != VT_I4) return E_INVALIDARG;
    line = child.lVal - 1;  // CHILDID_SELF is 0: the list itself, -1
    return line >= -1 && line < list_->Count() ? S_OK : E_INVALIDARG;
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
    *count = 0;
    return S_OK;
}
HRESULT TCheckListAccessible::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    *info = nullptr;
    return E_NOTIMPL;
}
HRESULT TCheckListAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
HRESULT TCheckListAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

HRESULT TCheckListAccessible::get_accParent(IDispatch** parent) {
    if (Gone()) return CO_E_OBJNOTCONNECTED;
    if (!proxy_) return Nothing(parent);
    return proxy_->get_accParent(parent);
}

HRESULT TCheckListAccessible::get_accChildCount(long* count) {
    if (Gone()) return CO_E_OBJNOTCONNECTED;
    *count = list_->Count();
    return S_OK;
}

HRESULT TCheckListAccessible::get_accChild(VARIANT child, IDispatch** dispatch) {
    *dispatch = nullptr;
    int line = 0;
    if (const HRESULT reached = Reach(child, line); reached != S_OK) return reached;
    if (line < 0) return E_INVALIDARG;
    return S_FALSE;  // the lines are simple elements of the list
}

HRESULT TCheckListAccessible::get_accName(VARIANT child, BSTR* name) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line); reached != S_OK) return reached;
    if (line >= 0) return Text(list_->Text(line), name);
    return proxy_ ? proxy_->get_accName(child, name) : Nothing(name);
}

HRESULT TCheckListAccessible::get_accValue(VARIANT child, BSTR* value) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line); reached != S_OK) return reached;
    return line < 0 && proxy_ ? proxy_->get_accValue(child, value) : Nothing(value);
}

HRESULT TCheckListAccessible::get_accDescription(VARIANT child, BSTR* description) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line); reached != S_OK) return reached;
    return line < 0 && proxy_ ? proxy_->get_accDescription(child, description) : Nothing(description);
}

HRESULT TCheckListAccessible::get_accRole(VARIANT child, VARIANT* role) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line); reached != S_OK) return reached;
    if (line < 0 && proxy_) return proxy_->get_accRole(child, role);
    *role = LongVariant(line < 0 ? ROLE_SYSTEM_LIST : ROLE_SYSTEM_CHECKBUTTON);
    return S_OK;
}

HRESULT TCheckListAccessible::get_accState(VARIANT child, VARIANT* state) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line); reached != S_OK) return reached;
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
    if (Gone()) return CO_E_OBJNOTCONNECTED;
    return proxy_ ? proxy_->get_accHelp(child, help) : Nothing(help);
}

HRESULT TCheckListAccessible::get_accHelpTopic(BSTR* file, VARIANT child, long* topic) {
    if (Gone()) return CO_E_OBJNOTCONNECTED;
    if (proxy_) return proxy_->get_accHelpTopic(file, child, topic);
    *topic = 0;
    return Nothing(file);
}

HRESULT TCheckListAccessible::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line); reached != S_OK) return reached;
    return line < 0 && proxy_ ? proxy_->get_accKeyboardShortcut(child, shortcut) : Nothing(shortcut);
}

HRESULT TCheckListAccessible::get_accFocus(VARIANT* focus) {
    if (Gone()) return CO_E_OBJNOTCONNECTED;
    const int current = list_->ItemIndex();
    if (::GetFocus() != list_->Handle()) {
        if (proxy_) return proxy_->get_accFocus(focus);
        ::VariantInit(focus);
        return S_FALSE;
    }
    *focus = LongVariant(current >= 0 ? current + 1 : CHILDID_SELF);
    return S_OK;
}

HRESULT TCheckListAccessible::get_accSelection(VARIANT* selection) {
    if (Gone()) return CO_E_OBJNOTCONNECTED;
    const int current = list_->ItemIndex();
    ::VariantInit(selection);
    if (current < 0) return S_FALSE;
    *selection = LongVariant(current + 1);
    return S_OK;
}

HRESULT TCheckListAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
    int line = 0;
    if (const HRESULT reached = Reach(child, line); reached != S_OK) return reached;
    if (line < 0) return proxy_ ? proxy_->get_accDefaultAction(child, action) : Nothing(action);
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
    if (const HRESULT reached = Reach(child, line); reached != S_OK) return reached;
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
    if (const HRESULT reached = Reach(start, line); reached != S_OK) return reached;
    const int count = list_->Count();
    int to = -2;
    if (line < 0 && direction == NAVDIR_FIRSTCHILD) to = 0;
    if (line < 0 && direction == NAVDIR_LASTCHILD) to = count - 1;
    if (line >= 0 && (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN)) to = line + 1;
    if (line >= 0 && (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP)) to = line - 1;
    if (to == -2) {
        if (line < 0 && proxy_) return proxy_->accNavigate(direction, start, end);
        ::VariantInit(end);
        return S_FALSE;
    }
    ::VariantInit(end);
    if (to < 0 || to >= count) return S_FALSE;
    *end = LongVariant(to + 1);
    return S_OK;
}

HRESULT TCheckListAccessible::accHitTest(long x, long y, VARIANT* child) {
    if (Gone()) return CO_E_OBJNOTCONNECTED;
    const HWND hwnd = list_->Handle();
    POINT at{x, y};
    ::ScreenToClient(hwnd, &at);
    RECT client{};
    ::GetClientRect(hwnd, &client);
    if (!::PtInRect(&client, at)) {
        if (proxy_) return proxy_->accHitTest(x, y, child);
        ::VariantInit(child);
        return S_FALSE;
    }
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
