// WScript and its Arguments collection.
#include "host/WScriptObject.h"

#include "host/Console.h"
#include "host/HostDispatch.h"

#include <string>
#include <vector>

namespace tavro::host {

namespace {

enum : DISPID {
    kName = DISPID_VALUE,
    kEcho = 1,
    kQuit,
    kArguments,
    kCreateObject,
    kConnectObject,
    kDisconnectObject,
    kSleep,
    kScriptName,
    kScriptFullName,
};

const MemberName kWScriptNames[] = {
    {kName, L"Name"},
    {kEcho, L"Echo"},
    {kQuit, L"Quit"},
    {kArguments, L"Arguments"},
    {kCreateObject, L"CreateObject"},
    {kConnectObject, L"ConnectObject"},
    {kDisconnectObject, L"DisconnectObject"},
    {kSleep, L"Sleep"},
    {kScriptName, L"ScriptName"},
    {kScriptFullName, L"ScriptFullName"},
};

constexpr HRESULT kSubscriptOutOfRange = static_cast<HRESULT>(0x800A0009);
constexpr HRESULT kObjectRequired = static_cast<HRESULT>(0x800A01A8);

HRESULT ToLong(VARIANT* v, long* out)
{
    Variant t;
    HRESULT hr = v ? VariantChangeType(t.get(), v, 0, VT_I4) : DISP_E_PARAMNOTFOUND;
    if (SUCCEEDED(hr))
        *out = t->lVal;
    return hr;
}

HRESULT ToText(VARIANT* v, std::wstring* out)
{
    out->clear();
    if (!v || v->vt == VT_EMPTY || v->vt == VT_ERROR) // VT_ERROR: an omitted optional argument
        return S_OK;
    if (v->vt == VT_NULL) {
        *out = L"null";
        return S_OK;
    }
    Variant t;
    HRESULT hr = VariantChangeType(t.get(), v, VARIANT_ALPHABOOL, VT_BSTR);
    if (SUCCEEDED(hr) && t->bstrVal)
        out->assign(t->bstrVal, SysStringLen(t->bstrVal));
    return hr;
}

// The object a script passed, as its controlling IUnknown; null otherwise.
ComPtr<IUnknown> ObjectOf(VARIANT* v)
{
    ComPtr<IUnknown> unknown;
    IUnknown* given = nullptr;
    if (v && v->vt == VT_DISPATCH)
        given = v->pdispVal;
    else if (v && v->vt == VT_UNKNOWN)
        given = v->punkVal;
    if (given)
        given->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(unknown.out()));
    return unknown;
}

HRESULT SetText(VARIANT* result, const std::wstring& text)
{
    if (!result)
        return S_OK;
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return result->bstrVal ? S_OK : E_OUTOFMEMORY;
}

// WScript.Arguments: Item(i) (the default member), Count and Length.
class ArgumentsObject : public ComObject<ArgumentsObject, IDispatch> {
public:
    static constexpr InterfaceEntry<ArgumentsObject> kInterfaces[] = {
        TAVRO_INTERFACE(ArgumentsObject, IDispatch),
    };

    explicit ArgumentsObject(std::vector<std::wstring> args) : args_(std::move(args)) {}

    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override
    {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        static const MemberName kNames[] = {{DISPID_VALUE, L"Item"}, {1, L"Count"}, {2, L"Length"}};
        return IdsOfNames(kNames, names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                        UINT*) override
    {
        if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)))
            return DISP_E_MEMBERNOTFOUND;
        const UINT argc = params ? params->cArgs : 0;
        if (result)
            VariantInit(result);
        switch (dispid) {
        case DISPID_VALUE: {
            long index = 0;
            if (argc != 1)
                return DISP_E_BADPARAMCOUNT;
            if (FAILED(ToLong(ArgAt(params, 0), &index)))
                return DISP_E_TYPEMISMATCH;
            if (index < 0 || static_cast<size_t>(index) >= args_.size())
                return RaiseError(excep, kSubscriptOutOfRange, L"Subscript out of range");
            return SetText(result, args_[static_cast<size_t>(index)]);
        }
        case 1:
        case 2:
            if (argc != 0)
                return DISP_E_BADPARAMCOUNT;
            if (result) {
                result->vt = VT_I4;
                result->lVal = static_cast<LONG>(args_.size());
            }
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    const std::vector<std::wstring> args_;
};

} // namespace

WScriptObject::WScriptObject(ScriptHost* host) : host_(host)
{
    arguments_ = ComPtr<IDispatch>(new ArgumentsObject(host->Arguments()));
    arguments_->Release(); // the ComPtr holds the creation reference now
}

STDMETHODIMP WScriptObject::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP WScriptObject::GetTypeInfo(UINT, LCID, ITypeInfo** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP WScriptObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    return IdsOfNames(kWScriptNames, names, count, ids);
}

STDMETHODIMP WScriptObject::Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* argErr)
{
    if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)))
        return DISP_E_MEMBERNOTFOUND;
    if (!host_)
        return E_UNEXPECTED;
    const UINT argc = params ? params->cArgs : 0;
    if (result)
        VariantInit(result);
    switch (dispid) {
    case kName:
        return argc ? DISP_E_BADPARAMCOUNT : SetText(result, L"tavrorun");
    case kEcho:
        return Echo(params, excep);
    case kQuit: {
        long code = 0;
        if (argc > 1)
            return DISP_E_BADPARAMCOUNT;
        VARIANT* arg = ArgAt(params, 0);
        if (arg && arg->vt != VT_ERROR && FAILED(ToLong(arg, &code)))
            return DISP_E_TYPEMISMATCH;
        host_->Terminate(static_cast<int>(code));
        return S_OK;
    }
    case kArguments:
        // WScript.Arguments(i) arrives here with the index: pass it on.
        if (argc)
            return arguments_->Invoke(DISPID_VALUE, riid, lcid, DISPATCH_METHOD | DISPATCH_PROPERTYGET, params, result,
                                      excep, argErr);
        if (result) {
            result->vt = VT_DISPATCH;
            result->pdispVal = arguments_.get();
            result->pdispVal->AddRef();
        }
        return S_OK;
    case kCreateObject:
        return CreateObject(params, result, excep);
    case kConnectObject:
        if (argc != 2)
            return DISP_E_BADPARAMCOUNT;
        return ConnectObject(ArgAt(params, 0), ArgAt(params, 1), excep);
    case kDisconnectObject: {
        if (argc != 1)
            return DISP_E_BADPARAMCOUNT;
        ComPtr<IUnknown> object = ObjectOf(ArgAt(params, 0));
        if (!object)
            return RaiseError(excep, kObjectRequired, L"Object required");
        host_->Disconnect(object.get());
        return S_OK;
    }
    case kSleep: {
        long ms = 0;
        if (argc != 1)
            return DISP_E_BADPARAMCOUNT;
        if (FAILED(ToLong(ArgAt(params, 0), &ms)))
            return DISP_E_TYPEMISMATCH;
        host_->Sleep(ms);
        return S_OK;
    }
    case kScriptName:
        return argc ? DISP_E_BADPARAMCOUNT : SetText(result, host_->ScriptName());
    case kScriptFullName:
        return argc ? DISP_E_BADPARAMCOUNT : SetText(result, host_->ScriptFullName());
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT WScriptObject::Echo(DISPPARAMS* params, EXCEPINFO* excep)
{
    std::wstring line;
    const UINT argc = params ? params->cArgs : 0;
    for (UINT i = 0; i < argc; ++i) {
        std::wstring text;
        if (FAILED(ToText(ArgAt(params, i), &text)))
            return RaiseError(excep, DISP_E_TYPEMISMATCH, L"WScript.Echo: an argument has no text value");
        if (i)
            line += L' ';
        line += text;
    }
    WriteLine(STD_OUTPUT_HANDLE, line);
    return S_OK;
}

HRESULT WScriptObject::CreateObject(DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep)
{
    const UINT argc = params ? params->cArgs : 0;
    std::wstring progId;
    std::wstring prefix;
    if (argc < 1 || argc > 2)
        return DISP_E_BADPARAMCOUNT;
    if (FAILED(ToText(ArgAt(params, 0), &progId)) || FAILED(ToText(ArgAt(params, 1), &prefix)))
        return DISP_E_TYPEMISMATCH;

    CLSID clsid;
    HRESULT hr = progId.size() && progId[0] == L'{' ? CLSIDFromString(progId.c_str(), &clsid)
                                                    : CLSIDFromProgID(progId.c_str(), &clsid);
    ComPtr<IDispatch> object;
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(object.out()));
    if (FAILED(hr))
        return RaiseError(excep, hr, L"Could not create object named \"" + progId + L"\"");
    if (!prefix.empty()) {
        std::wstring error;
        hr = host_->Connect(object.get(), prefix, &error);
        if (FAILED(hr))
            return RaiseError(excep, hr, L"Could not connect object \"" + progId + L"\": " + error);
    }
    if (result) {
        result->vt = VT_DISPATCH;
        result->pdispVal = object.detach();
    }
    return S_OK;
}

HRESULT WScriptObject::ConnectObject(VARIANT* object, VARIANT* prefix, EXCEPINFO* excep)
{
    ComPtr<IUnknown> unknown = ObjectOf(object);
    std::wstring text;
    if (!unknown)
        return RaiseError(excep, kObjectRequired, L"Object required");
    if (FAILED(ToText(prefix, &text)))
        return DISP_E_TYPEMISMATCH;
    std::wstring error;
    HRESULT hr = host_->Connect(unknown.get(), text, &error);
    return FAILED(hr) ? RaiseError(excep, hr, L"Could not connect object: " + error) : S_OK;
}

} // namespace tavro::host
