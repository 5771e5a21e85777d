// Class factories: one static object per class, living until the module unloads.
#include "module/ClassFactory.h"

#include "module/Module.h"

#include <new>
#include <vector>

namespace tavro {

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    IUnknown* object = nullptr;
    try {
        object = create_();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
    if (!object)
        return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock)
{
    if (lock)
        ModuleAddRef();
    else
        ModuleRelease();
    return S_OK;
}

const ServerClass* FindServerClass(REFCLSID clsid)
{
    size_t count = 0;
    const ServerClass* classes = ServerClasses(&count);
    for (size_t i = 0; i < count; ++i)
        if (IsEqualCLSID(clsid, *classes[i].clsid))
            return &classes[i];
    return nullptr;
}

HRESULT GetClassFactory(const ServerClass& cls, REFIID riid, void** ppv)
{
    if (!cls.create)
        return CLASS_E_CLASSNOTAVAILABLE;
    size_t count = 0;
    const ServerClass* classes = ServerClasses(&count);
    // One static factory per class, built once (thread-safe static init).
    static std::vector<ClassFactory> factories = [&] {
        std::vector<ClassFactory> all;
        for (size_t i = 0; i < count; ++i)
            all.emplace_back(classes[i].create);
        return all;
    }();
    size_t index = static_cast<size_t>(&cls - classes);
    if (index >= factories.size())
        return CLASS_E_CLASSNOTAVAILABLE;
    return factories[index].QueryInterface(riid, ppv);
}

} // namespace tavro
