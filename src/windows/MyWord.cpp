#include "MyWord.h"

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdio>
#include <span>

#include "common/ComPtr.h"
#include "common/Exception.h"
#include "common/WinHandle.h"

namespace quillmark {

namespace {

// The Word connection: empty until the first successful attach, then one
// counted reference to Word's Application object.
VARIANT g_word = {};
// Whether InitializeCom's CoInitialize succeeded, and so needs undoing.
bool g_uninitialize = false;

WString OleErrorText(HRESULT hr) {
    wchar_t* text = nullptr;
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const UniqueLocal owner(text);
    if (n > 0) return WString(text, n);
    wchar_t code[32];
    std::swprintf(code, 32, L"OLE error %.8X", static_cast<unsigned>(hr));
    return code;
}

void Check(HRESULT hr) {
    if (FAILED(hr)) throw Exception(OleErrorText(hr));
}

enum class CallKind { PropertyPut, MethodWithResult, Method };

// One late-bound call: the member looked up by name afresh, then invoked.
// Arguments come last first; a failure throws with its description.
void Invoke(const VARIANT& target, const wchar_t* member, CallKind kind, std::span<VARIANT> reversedArgs,
            VARIANT* result) {
    if (target.vt == VT_UNKNOWN) throw Exception(L"Variant does not reference an automation object");
    if (target.vt != VT_DISPATCH || target.pdispVal == nullptr) throw Exception(L"Invalid variant operation");
    if (reversedArgs.size() > 64) throw Exception(L"Dispatch methods do not support more than 64 parameters");
    IDispatch* dispatch = target.pdispVal;

    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(member);
    const HRESULT lookup = dispatch->GetIDsOfNames(IID_NULL, &name, 1, ::GetThreadLocale(), &id);
    if (lookup == DISP_E_UNKNOWNNAME) {
        throw Exception(L"Method '" + WString(member) + L"' not supported by automation object");
    }
    Check(lookup);

    if (result != nullptr) ::VariantClear(result);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversedArgs.data(), nullptr, static_cast<UINT>(reversedArgs.size()), 0};
    WORD flags = DISPATCH_METHOD;
    if (kind == CallKind::PropertyPut) {
        flags = DISPATCH_PROPERTYPUT;
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    } else if (kind == CallKind::MethodWithResult && reversedArgs.empty()) {
        flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
    }
    ExcepInfo exception;
    const HRESULT status = dispatch->Invoke(id, IID_NULL, 0, flags, &params, result, exception.Put(), nullptr);
    if (status == S_OK) return;
    if (status == DISP_E_EXCEPTION) {
        EXCEPINFO& info = exception.Get();
        if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
        throw Exception(info.bstrDescription != nullptr ? WString(info.bstrDescription) : OleErrorText(info.scode));
    }
    // S_FALSE and every other status but S_OK is a failure.
    throw Exception(OleErrorText(status));
}

// Word's wdCollapseEnd.
constexpr LONG kCollapseEnd = 0;

// What typing does to a selection of each of Word's WdSelectionType values.
enum class Replace { Nothing, Selection, Refuse };
Replace ReplacementOf(LONG type) {
    switch (type) {
        case 1:  // an insertion point: Delete would eat the next character
            return Replace::Nothing;
        case 2:  // text
        case 7:  // an inline picture, which typing replaces too
            return Replace::Selection;
        default:  // none, a frame, cells (Delete empties them), a floating shape (Delete removes it)
            return Replace::Refuse;
    }
}

// Selection.Type, compared as a long whatever integer type Word answers with.
LONG SelectionType(const VARIANT& selection) {
    Variant type;
    Invoke(selection, L"Type", CallKind::MethodWithResult, {}, type.Put());
    Check(::VariantChangeType(type.Put(), type.Put(), 0, VT_I4));
    return type.Get().lVal;
}

}  // namespace

void InitializeCom() { g_uninitialize = SUCCEEDED(::CoInitialize(nullptr)); }

bool AttachWord() noexcept {
    try {
        CLSID clsid{};
        Check(::CLSIDFromProgID(L"Word.Application", &clsid));
        ComPtr<IUnknown> running;
        Check(::GetActiveObject(clsid, nullptr, running.Put()));
        ComPtr<IDispatch> word;
        Check(running->QueryInterface(IID_IDispatch, word.PutVoid()));
        // The connection keeps its own reference; the two above go with this scope.
        ::VariantClear(&g_word);
        g_word.vt = VT_DISPATCH;
        g_word.pdispVal = word.Get();
        g_word.pdispVal->AddRef();
        return true;
    } catch (...) {
        return false;
    }
}

bool SetWordVisible(bool visible) noexcept {
    try {
        VARIANT value;
        ::VariantInit(&value);
        value.vt = VT_BOOL;
        value.boolVal = visible ? VARIANT_TRUE : VARIANT_FALSE;
        Invoke(g_word, L"visible", CallKind::PropertyPut, std::span(&value, 1), nullptr);
        return true;
    } catch (...) {
        return false;
    }
}

bool InsertCode(const WString& code) noexcept {
    try {
        Variant firstSelection;
        Invoke(g_word, L"Selection", CallKind::MethodWithResult, {}, firstSelection.Put());
        const Replace replace = ReplacementOf(SelectionType(firstSelection.Get()));
        if (replace == Replace::Refuse) return false;  // before anything in the document changes
        if (replace == Replace::Selection) Invoke(firstSelection.Get(), L"Delete", CallKind::Method, {}, nullptr);
        const Bstr text(code);
        // A fresh Selection: the first one is not reused after Delete.
        Variant secondSelection;
        Invoke(g_word, L"Selection", CallKind::MethodWithResult, {}, secondSelection.Put());
        VARIANT argument;
        ::VariantInit(&argument);
        argument.vt = VT_BSTR;
        argument.bstrVal = text.Get();  // the BSTR itself; Bstr frees it
        Invoke(secondSelection.Get(), L"InsertAfter", CallKind::Method, std::span(&argument, 1), nullptr);
        // InsertAfter leaves the new text selected; the next code must follow it, not replace it.
        VARIANT toEnd = LongVariant(kCollapseEnd);
        Invoke(secondSelection.Get(), L"Collapse", CallKind::Method, std::span(&toEnd, 1), nullptr);
        return true;
    } catch (...) {
        return false;
    }
}

void ReleaseWord() noexcept { ::VariantClear(&g_word); }

void UninitializeCom() {
    if (g_uninitialize) ::CoUninitialize();
    g_uninitialize = false;
}

ModuleHooks WordBridgeModule() {
    return {InitializeCom, [] {
                ReleaseWord();
                UninitializeCom();
            }};
}

}  // namespace quillmark
