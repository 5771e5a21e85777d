// Small RAII owners for COM resources and the BSTR <-> ANSI text conversions.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>

namespace tavro {

// Owns a BSTR; SysFreeString on destruction.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(BSTR s) : s_(s) {}
    ~Bstr() { SysFreeString(s_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
    BSTR get() const { return s_; }
    BSTR* out()
    {
        SysFreeString(s_);
        s_ = nullptr;
        return &s_;
    }
    BSTR release() { return std::exchange(s_, nullptr); }

private:
    BSTR s_ = nullptr;
};

// Owns a VARIANT; VariantClear on destruction.
class Variant {
public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &v_; }
    const VARIANT* get() const { return &v_; }
    VARIANT* operator->() { return &v_; }
    VARIANT release()
    {
        VARIANT r = v_;
        VariantInit(&v_);
        return r;
    }

private:
    VARIANT v_;
};

// Holds one reference to a COM interface.
template <class I>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(I* p) : p_(p)
    {
        if (p_)
            p_->AddRef();
    }
    ~ComPtr()
    {
        if (p_)
            p_->Release();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o)
    {
        std::swap(p_, o.p_);
        return *this;
    }
    I* get() const { return p_; }
    I* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    I** out()
    {
        reset();
        return &p_;
    }
    void reset()
    {
        if (p_)
            p_->Release();
        p_ = nullptr;
    }
    I* detach() { return std::exchange(p_, nullptr); }

private:
    I* p_ = nullptr;
};

// Wide text of a script to 8-bit text of the system's ANSI code page.
// Embedded NULs survive; a null BSTR is an empty text.
std::string ToAnsi(BSTR s);
std::string ToAnsi(const wchar_t* s, size_t length);

// 8-bit ANSI text to a new BSTR (never null: an empty text gives "").
BSTR ToBstr(const std::string& s);
std::wstring ToWide(const std::string& s);

} // namespace tavro
