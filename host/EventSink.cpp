// Finding an object's default source interface, and the sink that calls
// the script's handlers when the object fires an event.
#include "host/EventSink.h"

#include <dispex.h>
#include <olectl.h>

namespace tavro::host {

namespace {

// Type information of `iid` from the library that holds `info`.
HRESULT TypeInfoBeside(ITypeInfo* info, REFIID iid, ITypeInfo** out)
{
    ComPtr<ITypeLib> lib;
    UINT index = 0;
    HRESULT hr = info->GetContainingTypeLib(lib.out(), &index);
    return FAILED(hr) ? hr : lib->GetTypeInfoOfGuid(iid, out);
}

// The coclass's implemented interface marked [default, source].
HRESULT DefaultSourceOfClass(ITypeInfo* classInfo, IID* iid, ITypeInfo** out)
{
    TYPEATTR* attr = nullptr;
    HRESULT hr = classInfo->GetTypeAttr(&attr);
    if (FAILED(hr))
        return hr;
    const UINT count = attr->typekind == TKIND_COCLASS ? attr->cImplTypes : 0;
    classInfo->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count; ++i) {
        INT flags = 0;
        HREFTYPE ref = 0;
        const INT wanted = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
        if (FAILED(classInfo->GetImplTypeFlags(i, &flags)) || (flags & wanted) != wanted ||
            FAILED(classInfo->GetRefTypeOfImplType(i, &ref)) || FAILED(classInfo->GetRefTypeInfo(ref, out)))
            continue;
        if (SUCCEEDED((*out)->GetTypeAttr(&attr))) {
            *iid = attr->guid;
            (*out)->ReleaseTypeAttr(attr);
            return S_OK;
        }
        (*out)->Release();
        *out = nullptr;
    }
    return CONNECT_E_NOCONNECTION;
}

// A global name of the script: IDispatchEx::GetDispID first, since script
// objects need not implement GetIDsOfNames.
HRESULT FindScriptName(IDispatch* script, const std::wstring& name, bool caseSensitive, DISPID* id)
{
    Bstr bname(SysAllocStringLen(name.data(), static_cast<UINT>(name.size())));
    if (!bname.get())
        return E_OUTOFMEMORY;
    ComPtr<IDispatchEx> ex;
    if (SUCCEEDED(script->QueryInterface(__uuidof(IDispatchEx), reinterpret_cast<void**>(ex.out()))))
        return ex->GetDispID(bname.get(), caseSensitive ? fdexNameCaseSensitive : fdexNameCaseInsensitive, id);
    LPOLESTR names[] = {bname.get()};
    return script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
}

} // namespace

HRESULT FindDefaultSource(IUnknown* object, IID* iid, ITypeInfo** events, std::wstring* error)
{
    *events = nullptr;
    ComPtr<ITypeInfo> classInfo;
    ComPtr<IProvideClassInfo> provider;
    if (SUCCEEDED(object->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(provider.out()))))
        provider->GetClassInfo(classInfo.out());

    ComPtr<IProvideClassInfo2> provider2;
    if (SUCCEEDED(object->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(provider2.out()))) &&
        SUCCEEDED(provider2->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, iid))) {
        // The event names come from the library that describes the object.
        if (classInfo && SUCCEEDED(TypeInfoBeside(classInfo.get(), *iid, events)))
            return S_OK;
        ComPtr<IDispatch> dispatch;
        ComPtr<ITypeInfo> dispatchInfo;
        if (SUCCEEDED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.out()))) &&
            SUCCEEDED(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, dispatchInfo.out())) &&
            SUCCEEDED(TypeInfoBeside(dispatchInfo.get(), *iid, events)))
            return S_OK;
    }
    if (classInfo && SUCCEEDED(DefaultSourceOfClass(classInfo.get(), iid, events)))
        return S_OK;
    *error = L"The object has no default event interface with type information";
    return CONNECT_E_NOCONNECTION;
}

HRESULT EventSink::Create(ScriptHost* host, const IID& iid, ITypeInfo* events, IDispatch* script,
                          const std::wstring& prefix, bool caseSensitive, EventSink** out)
{
    *out = nullptr;
    TYPEATTR* attr = nullptr;
    HRESULT hr = events->GetTypeAttr(&attr);
    if (FAILED(hr))
        return hr;
    // Only a dispinterface can be served by IDispatch::Invoke alone.
    const bool dispatchOnly = attr->typekind == TKIND_DISPATCH;
    const UINT funcs = attr->cFuncs;
    events->ReleaseTypeAttr(attr);
    if (!dispatchOnly)
        return E_NOINTERFACE;

    std::vector<Handler> handlers;
    for (UINT i = 0; i < funcs; ++i) {
        FUNCDESC* func = nullptr;
        if (FAILED(events->GetFuncDesc(i, &func)))
            continue;
        const MEMBERID memid = func->memid;
        events->ReleaseFuncDesc(func);
        Bstr name;
        if (FAILED(events->GetDocumentation(memid, name.out(), nullptr, nullptr, nullptr)) || !name.get())
            continue;
        DISPID scriptId = DISPID_UNKNOWN;
        if (SUCCEEDED(FindScriptName(script, prefix + name.get(), caseSensitive, &scriptId)))
            handlers.push_back({memid, scriptId});
    }
    *out = new EventSink(host, iid, script, std::move(handlers));
    return S_OK;
}

EventSink::EventSink(ScriptHost* host, const IID& iid, IDispatch* script, std::vector<Handler> handlers)
    : host_(host), iid_(iid), script_(script), handlers_(std::move(handlers))
{}

STDMETHODIMP EventSink::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv && IsEqualIID(riid, iid_)) {
        AddRef();
        *ppv = static_cast<IDispatch*>(this);
        return S_OK;
    }
    return ComObject::QueryInterface(riid, ppv);
}

STDMETHODIMP EventSink::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP EventSink::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                               UINT* argErr)
{
    for (const Handler& handler : handlers_) {
        if (handler.event != dispid)
            continue;
        // The handler may disconnect this sink, releasing it.
        ComPtr<EventSink> self(this);
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        EXCEPINFO info = {};
        const unsigned errorsBefore = host_->ErrorCount();
        HRESULT hr = script_->Invoke(handler.script, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                     params ? params : &none, result, &info, argErr);
        if (FAILED(hr))
            host_->HandlerFailed(hr, &info, errorsBefore);
        return S_OK;
    }
    return S_OK;
}

} // namespace tavro::host
