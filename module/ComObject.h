// Reference counting and table-driven QueryInterface for the module's COM
// objects. Each object counts toward the module's unload check.
#pragma once

#include "module/Module.h"

#include <new>
#include <utility>

namespace tavro {

template <class T>
struct InterfaceEntry {
    const IID* iid;
    IUnknown* (*cast)(T*);
};

template <class T, class I>
IUnknown* CastTo(T* object)
{
    return static_cast<I*>(object);
}

// A row of a class's interface table (the first row also answers IUnknown).
#define TAVRO_INTERFACE(T, I)                                                                                          \
    tavro::InterfaceEntry<T>                                                                                           \
    {                                                                                                                  \
        &IID_##I, &tavro::CastTo<T, I>                                                                                 \
    }
#define TAVRO_INTERFACE_IID(T, I, iid)                                                                                 \
    tavro::InterfaceEntry<T>                                                                                           \
    {                                                                                                                  \
        &iid, &tavro::CastTo<T, I>                                                                                     \
    }

// Derived lists its interfaces in `static constexpr InterfaceEntry<Derived> kInterfaces[]`.
template <class Derived, class... Interfaces>
class ComObject : public Interfaces... {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        Derived* self = static_cast<Derived*>(this);
        IUnknown* found = nullptr;
        if (IsEqualIID(riid, IID_IUnknown))
            found = Derived::kInterfaces[0].cast(self);
        for (const auto& entry : Derived::kInterfaces)
            if (!found && IsEqualIID(riid, *entry.iid))
                found = entry.cast(self);
        if (found) {
            found->AddRef();
            *ppv = found;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0)
            delete static_cast<Derived*>(this);
        return static_cast<ULONG>(n);
    }

public:
    virtual ~ComObject() { ModuleRelease(); }

protected:
    ComObject() { ModuleAddRef(); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

private:
    LONG refs_ = 1;
};

// Creates a T (starting with one reference), asks it for `riid` and drops
// the creation reference, so a failed QueryInterface frees the object.
template <class T, class... Args>
HRESULT CreateObject(REFIID riid, void** ppv, Args&&... args)
{
    *ppv = nullptr;
    T* object = new (std::nothrow) T(std::forward<Args>(args)...);
    if (!object)
        return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

} // namespace tavro
