// Class factories: one static object per class, living until the module unloads.
#include "module/ClassFactory.h"

#include "module/ControlBase.h"
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

const CLSID& ServerClass::Clsid() const
{
    return control ? *control->clsid : *pageClsid;
}

const wchar_t* ServerClass::ProgId() const
{
    return control ? control->progId : nullptr;
}

DWORD ServerClass::MiscStatus() const
{
    return control ? control->miscStatus : 0;
}

HRESULT ServerGetClassObject(const ServerModule& server, REFCLSID clsid, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    // One static factory per class, built once (thread-safe static init); a
    // module serves exactly one class list.
    static std::vector<ClassFactory> factories = [&] {
        std::vector<ClassFactory> all;
        for (size_t i = 0; i < server.count; ++i)
            all.emplace_back(server.classes[i].create);
        return all;
    }();
    for (size_t i = 0; i < server.count && i < factories.size(); ++i)
        if (IsEqualCLSID(clsid, server.classes[i].Clsid()))
            return server.classes[i].create ? factories[i].QueryInterface(riid, ppv) : CLASS_E_CLASSNOTAVAILABLE;
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ServerCanUnloadNow()
{
    if (ModuleInUse() || ModuleCodeRunning())
        return S_FALSE;
    ReleaseTypeLibCache();
    return S_OK;
}

} // namespace tavro
