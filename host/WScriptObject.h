// The `WScript` object a script sees: output, arguments, quitting,
// creating and connecting objects, and sleeping with message dispatch.
#pragma once

#include "host/ScriptHost.h"
#include "module/ComObject.h"

#include <oaidl.h>

namespace tavro::host {

class WScriptObject : public ComObject<WScriptObject, IDispatch> {
public:
    static constexpr InterfaceEntry<WScriptObject> kInterfaces[] = {
        TAVRO_INTERFACE(WScriptObject, IDispatch),
    };

    explicit WScriptObject(ScriptHost* host);
    // The host ends: later calls fail instead of reaching it.
    void Detach() { host_ = nullptr; }

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* argErr) override;

private:
    HRESULT Echo(DISPPARAMS* params, EXCEPINFO* excep);
    HRESULT CreateObject(DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep);
    HRESULT ConnectObject(VARIANT* object, VARIANT* prefix, EXCEPINFO* excep);

    ScriptHost* host_;
    ComPtr<IDispatch> arguments_;
};

} // namespace tavro::host
