// What a screen reader gets of the check list: the standard proxy of the
// list box for the list itself (or the list box's rules where the system has
// no proxy), and for each line a check button named by its code, checked
// when ticked, whose default action ticks or unticks it.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include "common/ComPtr.h"

namespace quillmark {

class TCheckListBox;

class TCheckListAccessible final : public IAccessible {
public:
    // proxy may be empty.
    TCheckListAccessible(TCheckListBox& list, ComPtr<IAccessible> proxy);
    TCheckListAccessible(const TCheckListAccessible&) = delete;
    TCheckListAccessible& operator=(const TCheckListAccessible&) = delete;

    // The list is going: clients that still hold the object get CO_E_OBJNOTCONNECTED.
    void Disconnect();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch: clients call IAccessible through its vtable.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** dispatch) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override;
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override;
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override;
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    ~TCheckListAccessible() = default;
    // After the list went, nothing is reached through the object.
    bool Gone() const { return list_ == nullptr; }
    // Clears the [out] parameters, then S_OK; E_POINTER for a null one,
    // CO_E_OBJNOTCONNECTED once the list went.
    template <class... Out>
    HRESULT Connected(Out*... out) const;
    // Connected, then the line a child identifier names, -1 for the list
    // itself; E_INVALIDARG when it names nothing.
    template <class... Out>
    HRESULT Reach(const VARIANT& child, int& line, Out*... out) const;
    // The list's own state, where no standard proxy gives it (Wine).
    HRESULT ListState(VARIANT* state) const;

    ULONG references_ = 1;
    TCheckListBox* list_;
    ComPtr<IAccessible> proxy_;
};

}  // namespace quillmark
