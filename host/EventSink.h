// Event sinks: find an object's default source dispinterface and forward
// its events to the script procedures named prefix + event name.
#pragma once

#include "host/ScriptHost.h"
#include "module/ComObject.h"
#include "module/ComUtil.h"

#include <oaidl.h>

#include <string>
#include <vector>

namespace tavro::host {

// The default source dispinterface of `object` and its type information:
// from IProvideClassInfo2::GetGUID, else the coclass's [default, source]
// interface. Fills `error` on failure.
HRESULT FindDefaultSource(IUnknown* object, IID* iid, ITypeInfo** events, std::wstring* error);

class EventSink : public ComObject<EventSink, IDispatch> {
public:
    static constexpr InterfaceEntry<EventSink> kInterfaces[] = {
        TAVRO_INTERFACE(EventSink, IDispatch),
    };

    struct Handler {
        DISPID event;  // member id in the event interface
        DISPID script; // the procedure in the script's global dispatch
    };

    // Looks up a handler for every event of `events` in `script`. Events
    // without a procedure are ignored when they fire.
    static HRESULT Create(ScriptHost* host, const IID& iid, ITypeInfo* events, IDispatch* script,
                          const std::wstring& prefix, bool caseSensitive, EventSink** out);

    size_t HandlerCount() const { return handlers_.size(); }

    // The connection point asks for the event interface itself.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* argErr) override;

private:
    EventSink(ScriptHost* host, const IID& iid, IDispatch* script, std::vector<Handler> handlers);
    friend class ComObject<EventSink, IDispatch>;

    ComPtr<ScriptHost> host_;
    IID iid_;
    ComPtr<IDispatch> script_;
    std::vector<Handler> handlers_;
};

} // namespace tavro::host
