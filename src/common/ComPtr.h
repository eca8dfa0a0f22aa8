// Owners for COM references, BSTRs and VARIANTs, so that every release is
// written once, here.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

#include "common/Text.h"

namespace quillmark {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) Attach(std::exchange(other.p_, nullptr));
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out parameters: releases what is held first.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    // Takes over a reference that the caller owned.
    void Attach(T* p) {
        Reset();
        p_ = p;
    }
    void Reset() {
        if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
    }

private:
    T* p_ = nullptr;
};

// A BSTR with the same UTF-16 characters; an empty text is the null BSTR.
class Bstr {
public:
    explicit Bstr(const WString& text)
        : b_(text.empty() ? nullptr : ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (!text.empty() && b_ == nullptr) throw std::bad_alloc();
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { ::SysFreeString(b_); }
    BSTR Get() const { return b_; }

private:
    BSTR b_;
};

// A VARIANT cleared when it goes.
class Variant {
public:
    Variant() { ::VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { ::VariantClear(&v_); }
    VARIANT* Put() { return &v_; }
    const VARIANT& Get() const { return v_; }

private:
    VARIANT v_;
};

// A VARIANT holding a long: it owns nothing, so it needs no clearing.
inline VARIANT LongVariant(long value) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

// The strings an Invoke may leave in its EXCEPINFO, freed whatever happens.
class ExcepInfo {
public:
    ExcepInfo() = default;
    ExcepInfo(const ExcepInfo&) = delete;
    ExcepInfo& operator=(const ExcepInfo&) = delete;
    ~ExcepInfo() {
        ::SysFreeString(info_.bstrSource);
        ::SysFreeString(info_.bstrDescription);
        ::SysFreeString(info_.bstrHelpFile);
    }
    EXCEPINFO* Put() { return &info_; }
    EXCEPINFO& Get() { return info_; }

private:
    EXCEPINFO info_{};
};

}  // namespace quillmark
