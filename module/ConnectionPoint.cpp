// Connection point and its enumerator.
#include "module/ConnectionPoint.h"

#include "module/ComObject.h"

namespace tavro {

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, const IID& eventIid)
    : container_(container), eventIid_(eventIid)
{}

ConnectionPoint::~ConnectionPoint()
{
    for (Sink& s : sinks_)
        s.sink->Release();
}

void ConnectionPoint::Fire(DISPID dispid, DISPPARAMS* params)
{
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    // Snapshot: handlers may advise, unadvise or drop the last reference.
    std::vector<ComPtr<IDispatch>> targets;
    targets.reserve(sinks_.size());
    for (const Sink& s : sinks_)
        targets.emplace_back(s.sink);
    ComPtr<IConnectionPointContainer> keepAlive(container_);
    for (auto& target : targets) {
        Variant result;
        target->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params ? params : &none, result.get(),
                       nullptr, nullptr);
    }
}

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ConnectionPoint::AddRef()
{
    return container_->AddRef();
}

STDMETHODIMP_(ULONG) ConnectionPoint::Release()
{
    return container_->Release();
}

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid)
{
    if (!iid)
        return E_POINTER;
    *iid = eventIid_;
    return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out)
{
    if (!out)
        return E_POINTER;
    *out = container_;
    container_->AddRef();
    return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!sink || !cookie)
        return E_POINTER;
    *cookie = 0;
    IDispatch* target = nullptr;
    // Script engines answer the event interface itself; a plain IDispatch
    // sink is accepted too, since events are late-bound calls anyway.
    if (FAILED(sink->QueryInterface(eventIid_, reinterpret_cast<void**>(&target))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&target))))
        return CONNECT_E_CANNOTCONNECT;
    try {
        sinks_.push_back({nextCookie_, target});
    } catch (...) {
        target->Release();
        return E_OUTOFMEMORY;
    }
    *cookie = nextCookie_++;
    return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie)
{
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
        if (it->cookie == cookie) {
            IDispatch* sink = it->sink;
            sinks_.erase(it);
            sink->Release();
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** out)
{
    // Optional for connection points; no caller of a control needs it.
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

namespace {

class ConnectionPointEnum final : public ComObject<ConnectionPointEnum, IEnumConnectionPoints> {
public:
    ConnectionPointEnum(IConnectionPoint* point, ULONG position) : point_(point), position_(position) {}

    static constexpr InterfaceEntry<ConnectionPointEnum> kInterfaces[] = {
        TAVRO_INTERFACE(ConnectionPointEnum, IEnumConnectionPoints),
    };

    STDMETHODIMP Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override
    {
        if (!points || (count != 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        if (count > 0 && position_ == 0) {
            points[0] = point_.get();
            points[0]->AddRef();
            position_ = n = 1;
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        if (count == 0)
            return S_OK;
        bool skipped = position_ == 0 && count == 1;
        position_ = 1;
        return skipped ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override
    {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumConnectionPoints** out) override
    {
        if (!out)
            return E_POINTER;
        return CreateObject<ConnectionPointEnum>(IID_IEnumConnectionPoints, reinterpret_cast<void**>(out), point_.get(),
                                                 position_);
    }

private:
    ComPtr<IConnectionPoint> point_;
    ULONG position_;
};

} // namespace

HRESULT CreateConnectionPointEnum(IConnectionPoint* point, IEnumConnectionPoints** out)
{
    if (!out)
        return E_POINTER;
    return CreateObject<ConnectionPointEnum>(IID_IEnumConnectionPoints, reinterpret_cast<void**>(out), point, 0UL);
}

} // namespace tavro
