#include "word/FakeWord.h"

#include <cstdio>
#include <cstring>
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
        case VT_EMPTY:
            return "VT_EMPTY";
        default:
            return "VT_" + std::to_string(v.vt);
    }
}

struct Shared {
    FakeWordOptions options;
    FakeWordLog log;
    int selections = 0;
};

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
        const wchar_t* const members[] = {L"visible", L"Selection", L"Delete", L"InsertAfter"};
        const bool application = name_ == "Application";
        for (DISPID id = 1; id <= 4; ++id) {
            const bool ours = application ? id <= 2 : id >= 3;
            if (ours && _wcsicmp(names[0], members[id - 1]) == 0 &&
                _wcsicmp(names[0], shared_->options.unknownMember.c_str()) != 0) {
                ids[0] = id;
                return S_OK;
            }
        }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override {
        static const char* const members[] = {"?", "visible", "Selection", "Delete", "InsertAfter"};
        const char* member = id >= 1 && id <= 4 ? members[id] : "?";
        std::string line = "Invoke on=" + name_ + " member=" + member + " lcid=" + Hex(lcid, 4) +
                           " flags=" + std::to_string(flags) + " args=" + std::to_string(params->cArgs) + " named=";
        for (UINT i = 0; i < params->cNamedArgs; ++i) {
            line += (i > 0 ? "," : "") + std::to_string(params->rgdispidNamedArgs[i]);
        }
        line += std::string(" result=") + (result != nullptr ? "yes" : "no");
        for (UINT i = 0; i < params->cArgs; ++i) line += " arg" + std::to_string(i) + "=" + Describe(params->rgvarg[i]);
        shared_->log(line);

        if (_wcsicmp(ToWide(member).c_str(), shared_->options.answerSFalse.c_str()) == 0) return S_FALSE;
        if (id == 2) {
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
        if (id == 3 && shared_->options.failDelete) {
            if (exception != nullptr) {
                *exception = {};
                exception->scode = E_FAIL;
                exception->bstrSource = ::SysAllocString(L"FakeWord");
                exception->bstrDescription = ::SysAllocString(L"Delete refused");
            }
            return DISP_E_EXCEPTION;
        }
        return S_OK;
    }

    ULONG References() const { return references_; }

private:
    static std::wstring ToWide(const char* text) { return std::wstring(text, text + std::strlen(text)); }

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
    return new FakeObject(shared, "Application");
}

ULONG ReferencesOf(IDispatch* fakeWord) { return static_cast<FakeObject*>(fakeWord)->References(); }

}  // namespace quillmark::test
