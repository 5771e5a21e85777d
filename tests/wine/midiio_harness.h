// Test harness for the MidiIO control under Wine: a message pump, script
// arrays, dispatch calls as a script engine makes them, and an event sink.
#pragma once

#include "midiio/MidiIOCtrl.h"
#include "module/ComUtil.h"
#include "TAVRO_h.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace midiio_test {

using tavro::ComPtr;
using tavro::Variant;
using Bytes = std::vector<int>;

enum Dispid : DISPID {
    kOpenIn = 1, kOpenOut = 6, kGetNextEvent = 9, kSendMidiEvent = 10, kCreateTimer = 17,
};

// Pumps this thread's messages until pred() holds or timeoutMs passed.
inline bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs = 5000)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (pred())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}
inline void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}
// Waits without dispatching anything (as cscript does).
inline bool PollUntil(const std::function<bool()>& pred, DWORD timeoutMs = 5000)
{
    for (DWORD waited = 0; !pred(); waited += 5) {
        if (waited > timeoutMs)
            return false;
        Sleep(5);
    }
    return true;
}

// A script array of VT_I4 values, lower bound 0.
inline VARIANT MakeArray(const Bytes& values)
{
    VARIANT v;
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        VARIANT e;
        e.vt = VT_I4;
        e.lVal = values[i];
        SafeArrayPutElement(v.parray, &i, &e);
    }
    return v;
}
inline Bytes ReadArray(const VARIANT& v)
{
    Bytes out;
    if (v.vt != (VT_ARRAY | VT_VARIANT))
        return {-1};
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(v.parray, 1, &lo);
    SafeArrayGetUBound(v.parray, 1, &hi);
    for (LONG i = lo; i <= hi; ++i) {
        Variant e;
        SafeArrayGetElement(v.parray, &i, e.get());
        out.push_back(e->vt == VT_I4 ? e->lVal : -1000 - e->vt);
    }
    return out;
}
inline std::string Hex(const Bytes& b)
{
    std::string s;
    char buf[16];
    for (int x : b) {
        snprintf(buf, sizeof buf, "%s%X", s.empty() ? "" : " ", x);
        s += buf;
    }
    return "[" + s + "]";
}
// Clock values are the low 32 bits of a larger count: differences and sums
// are taken modulo 2^32.
inline long Diff(long a, long b)
{
    return static_cast<long>(static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)));
}
inline long Plus(long t, long d)
{
    return static_cast<long>(static_cast<int32_t>(static_cast<uint32_t>(t) + static_cast<uint32_t>(d)));
}
inline VARIANT Long(long v)
{
    VARIANT r;
    r.vt = VT_I4;
    r.lVal = v;
    return r;
}
inline VARIANT ByRef(VARIANT* target)
{
    VARIANT r;
    r.vt = VT_BYREF | VT_VARIANT;
    r.pvarVal = target;
    return r;
}

// A call's result, owned.
struct Result {
    VARIANT v;
    Result() { VariantInit(&v); }
    Result(Result&& o) noexcept : v(o.v) { VariantInit(&o.v); }
    ~Result() { VariantClear(&v); }
    const VARIANT* operator->() const { return &v; }
};

// Calls a method by DISPID as a script engine does; arguments first to last.
// By-reference arguments stay owned by the caller.
inline Result Call(IDispatch* d, DISPID id, std::vector<VARIANT> args)
{
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    Result result;
    EXPECT_EQ(d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result.v, nullptr, nullptr), S_OK)
        << "DISPID " << id;
    for (VARIANT& v : args)
        if (!(v.vt & VT_BYREF))
            VariantClear(&v);
    return result;
}
// A BOOL result as the script sees it: VT_BOOL, true or false; else "bad".
inline std::string BoolOf(const Result& r)
{
    if (r->vt != VT_BOOL)
        return "vt " + std::to_string(r->vt);
    return r->boolVal == VARIANT_TRUE ? "true" : r->boolVal == VARIANT_FALSE ? "false" : "bad";
}

// Event sink counting OnMidiEvents and OnTimer; runs an action in each.
class Sink : public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID__DMidiIOEvents)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        if (id == CMidiIOCtrl::DISPID_OnMidiEvents) {
            ++midiEvents;
            if (onMidi)
                onMidi();
        } else if (id == CMidiIOCtrl::DISPID_OnTimer) {
            ++ticks;
        }
        if (onEvent)
            onEvent(id);
        return S_OK;
    }
    ULONG refs = 1;
    int midiEvents = 0, ticks = 0;
    std::function<void()> onMidi;
    std::function<void(DISPID)> onEvent;
};

// One control with an advised sink.
struct Control {
    Control()
    {
        unknown = CMidiIOCtrl::Create();
        disp = static_cast<IDispatch*>(unknown);
        c = static_cast<CMidiIOCtrl*>(disp);
        ComPtr<IConnectionPointContainer> container;
        unknown->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container.out()));
        container->FindConnectionPoint(DIID__DMidiIOEvents, point.out());
        point->Advise(&sink, &cookie);
    }
    ~Control() { Release(); }
    // Drops the connection and the control's last reference.
    void Release()
    {
        if (!unknown)
            return;
        point->Unadvise(cookie);
        point.reset();
        std::exchange(unknown, nullptr)->Release();
    }
    bool Send(long port, long time, const Bytes& bytes)
    {
        Variant a;
        *a.get() = MakeArray(bytes);
        return c->SendMidiEvent(port, time, a.get());
    }
    // Takes the oldest event through the script's three by-reference VARIANTs.
    Bytes Next(long* port = nullptr, long* time = nullptr)
    {
        Variant p, t, d;
        Result r = Call(disp, kGetNextEvent, {ByRef(p.get()), ByRef(t.get()), ByRef(d.get())});
        if (port)
            *port = p->vt == VT_I4 ? p->lVal : -1;
        if (time)
            *time = t->vt == VT_I4 ? t->lVal : -1;
        if (r->vt != VT_I4 || r->lVal == 0)
            return {};
        Bytes b = ReadArray(*d.get());
        EXPECT_EQ(static_cast<long>(b.size()), r->lVal);
        return b;
    }
    IUnknown* unknown;
    IDispatch* disp;
    CMidiIOCtrl* c;
    Sink sink;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
};

} // namespace midiio_test
