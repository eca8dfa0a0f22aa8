#include "word/FakeWord.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "common/Text.h"

namespace quillmark::test {

namespace {

std::string Utf8(const wchar_t* text) { return text == nullptr ? std::string() : ToUtf8(WStringView(text)); }

std::string Hex(unsigned value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

std::string Describe(const VARIANT& v) {
    switch (v.vt) {
        case VT_BOOL:
            return "VT_BOOL:" + std::to_string(v.boolVal);
        case VT_BSTR:
            return "VT_BSTR:" + (v.bstrVal == nullptr ? std::string("(null)") : Utf8(v.bstrVal));
        case VT_I4:
            return "VT_I4:" + std::to_string(v.lVal);
        case VT_EMPTY:
            return "VT_EMPTY";
        default:
            return "VT_" + std::to_string(v.vt);
    }
}

// Word's one document and its selection, which every Selection object reads.
struct Document {
    std::wstring text;
    size_t start = 0, end = 0;
    long type = -1;

    std::string Marked() const {
        const std::wstring marked =
            start == end ? text.substr(0, start) + L"|" + text.substr(start)
                         : text.substr(0, start) + L"[" + text.substr(start, end - start) + L"]" + text.substr(end);
        return "Document " + Utf8(marked.c_str());
    }
    // wdSelectionIP or wdSelectionNormal, unless told otherwise.
    long Type() const { return type >= 0 ? type : start == end ? 1 : 2; }
    // Selection.Delete with no Unit: the selection, whatever it holds, or one character at a caret.
    void Delete() {
        if (start == end && end < text.size()) ++end;
        text.erase(start, end - start);
        end = start;
    }
    // Selection.InsertAfter: the selection grows to include the new text.
    void InsertAfter(const std::wstring& code) {
        text.insert(end, code);
        end += code.size();
    }
    // Selection.Collapse: wdCollapseEnd (0), or wdCollapseStart (1) by default.
    void Collapse(long direction) {
        if (direction == 0)
            start = end;
        else
            end = start;
    }
};

struct Shared {
    FakeWordOptions options;
    FakeWordLog log;
    Document document;
    int selections = 0;
};

enum Member : DISPID { kVisible = 1, kSelection, kDelete, kInsertAfter, kType, kCollapse, kMembers };
const wchar_t* const kMemberNames[] = {L"?", L"visible", L"Selection", L"Delete", L"InsertAfter", L"Type", L"Collapse"};

bool SameName(const wchar_t* a, const std::wstring& b) { return _wcsicmp(a, b.c_str()) == 0; }

// An optional integer argument, as Word converts it; fallback when absent.
long IntegerArgument(const DISPPARAMS& params, long fallback) {
    if (params.cArgs == 0) return fallback;
    VARIANT value;
    ::VariantInit(&value);
    if (FAILED(::VariantChangeType(&value, &params.rgvarg[params.cArgs - 1], 0, VT_I4))) return fallback;
    return value.lVal;
}

// One object of the automation model: the Application, or a Selection.
class FakeObject final : public IDispatch {
public:
    FakeObject(std::shared_ptr<Shared> shared, std::string name) : shared_(std::move(shared)), name_(std::move(name)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            if (name_ != "Application") shared_->log("Release " + name_);
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        shared_->log("GetIDsOfNames on=" + name_ + " name=" + Utf8(names[0]) + " lcid=" + Hex(lcid, 4) +
                     " count=" + std::to_string(count));
        const bool application = name_ == "Application";
        for (DISPID id = kVisible; id < kMembers; ++id) {
            const bool ours = application == (id == kVisible || id == kSelection);
            if (ours && SameName(names[0], kMemberNames[id]) && !SameName(names[0], shared_->options.unknownMember)) {
                ids[0] = id;
                return S_OK;
            }
        }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override {
        const wchar_t* member = id >= kVisible && id < kMembers ? kMemberNames[id] : kMemberNames[0];
        std::string line = "Invoke on=" + name_ + " member=" + Utf8(member) + " lcid=" + Hex(lcid, 4) +
                           " flags=" + std::to_string(flags) + " args=" + std::to_string(params->cArgs) + " named=";
        for (UINT i = 0; i < params->cNamedArgs; ++i) {
            line += (i > 0 ? "," : "") + std::to_string(params->rgdispidNamedArgs[i]);
        }
        line += std::string(" result=") + (result != nullptr ? "yes" : "no");
        for (UINT i = 0; i < params->cArgs; ++i) line += " arg" + std::to_string(i) + "=" + Describe(params->rgvarg[i]);
        shared_->log(line);

        const HRESULT status = Answer(id, *params, result, exception);
        shared_->log(shared_->document.Marked());
        return status;
    }

    ULONG References() const { return references_; }

private:
    HRESULT Answer(DISPID id, const DISPPARAMS& params, VARIANT* result, EXCEPINFO* exception) {
        if (id < kVisible || id >= kMembers) return DISP_E_MEMBERNOTFOUND;
        if (SameName(kMemberNames[id], shared_->options.answerSFalse)) return S_FALSE;
        if (SameName(kMemberNames[id], shared_->options.failing)) {
            if (exception != nullptr) {
                *exception = {};
                exception->scode = E_FAIL;
                exception->bstrSource = ::SysAllocString(L"FakeWord");
                exception->bstrDescription = ::SysAllocString(L"Refused");
            }
            return DISP_E_EXCEPTION;
        }
        Document& document = shared_->document;
        switch (id) {
            case kSelection: {
                auto* selection = new FakeObject(shared_, "Selection#" + std::to_string(++shared_->selections));
                shared_->log("Create " + selection->name_);
                if (result == nullptr) {
                    selection->Release();
                    return S_OK;
                }
                ::VariantInit(result);
                result->vt = VT_DISPATCH;
                result->pdispVal = selection;
                return S_OK;
            }
            case kType:
                if (result != nullptr) {
                    ::VariantInit(result);
                    result->vt = VT_I4;
                    result->lVal = document.Type();
                    ::VariantChangeType(result, result, 0, shared_->options.typeAs);
                }
                return S_OK;
            case kDelete:
                document.Delete();
                return S_OK;
            case kInsertAfter:
                if (params.cArgs != 1 || params.rgvarg[0].vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
                document.InsertAfter(params.rgvarg[0].bstrVal == nullptr ? L"" : params.rgvarg[0].bstrVal);
                return S_OK;
            case kCollapse:
                document.Collapse(IntegerArgument(params, 1));
                return S_OK;
            default:
                return S_OK;
        }
    }

    std::shared_ptr<Shared> shared_;
    std::string name_;
    ULONG references_ = 1;
};

}  // namespace

bool RegisterWordProgId() {
    wchar_t clsid[64];
    ::StringFromGUID2(kFakeWordClsid, clsid, 64);
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Word.Application\\CLSID", 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LSTATUS status = ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid),
                                            static_cast<DWORD>((wcslen(clsid) + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

IDispatch* CreateFakeWord(const FakeWordOptions& options, FakeWordLog log) {
    auto shared = std::make_shared<Shared>();
    shared->options = options;
    shared->log = std::move(log);
    Document& document = shared->document;
    document.text = options.text;
    document.end = std::min<size_t>(static_cast<size_t>(std::max(options.end, 0L)), document.text.size());
    document.start = std::min<size_t>(static_cast<size_t>(std::max(options.start, 0L)), document.end);
    document.type = options.type;
    return new FakeObject(shared, "Application");
}

ULONG ReferencesOf(IDispatch* fakeWord) { return static_cast<FakeObject*>(fakeWord)->References(); }

}  // namespace quillmark::test
