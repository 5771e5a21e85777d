// The connection point of a control's event interface: keeps the advised
// sinks and calls them all when the control fires an event.
#pragma once

#include "module/ComUtil.h"

#include <ocidl.h>
#include <olectl.h>

#include <vector>

namespace tavro {

class ConnectionPoint : public IConnectionPoint {
public:
    // `container` owns this object; reference counts go to it.
    ConnectionPoint(IConnectionPointContainer* container, const IID& eventIid);
    ~ConnectionPoint();
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    // Calls `dispid` on every sink advised at the time of the call. A sink may
    // unadvise (or release the control) from inside its handler.
    void Fire(DISPID dispid, DISPPARAMS* params);
    size_t SinkCount() const { return sinks_.size(); }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IConnectionPoint
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** out) override;

private:
    struct Sink {
        DWORD cookie;
        IDispatch* sink;
    };
    IConnectionPointContainer* container_;
    IID eventIid_;
    std::vector<Sink> sinks_;
    DWORD nextCookie_ = 1;
};

// Enumerates the single connection point of a control.
HRESULT CreateConnectionPointEnum(IConnectionPoint* point, IEnumConnectionPoints** out);

} // namespace tavro
