// Helpers for the MidiIO tests and benchmarks under Wine: a control with an
// advised event sink, script arrays and calls, bounded waits, peer processes.
#pragma once

#include "midiio/MidiIOCtrl.h"
#include "module/ComUtil.h"
#include "TAVRO_h.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace miditest {

using tavro::Variant;
using Bytes = std::vector<int>;

// Output through a pipe is block-buffered: unbuffered, a test that dies
// still shows how far it got (peers share this stream).
inline const bool kUnbufferedOutput = (setvbuf(stdout, nullptr, _IONBF, 0), true);

inline void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}
// Handles this thread's messages until done() holds or timeoutMs passed.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000)
{
    for (const DWORD start = GetTickCount();; MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT)) {
        Pump();
        if (done())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
    }
}
inline void PumpFor(DWORD ms) { PumpUntil([] { return false; }, ms); }
inline bool WaitPumping(HANDLE h, DWORD timeoutMs)
{
    return PumpUntil([h] { return WaitForSingleObject(h, 0) == WAIT_OBJECT_0; }, timeoutMs);
}
// Waits without handling messages, as cscript does.
inline bool PollUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000)
{
    for (const DWORD start = GetTickCount(); !done(); Sleep(5))
        if (GetTickCount() - start > timeoutMs)
            return false;
    return true;
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
// A script array (VT_ARRAY | VT_VARIANT of VT_I4) and back; {-1} for a non-array.
inline VARIANT MakeArray(const Bytes& values)
{
    VARIANT v;
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        VARIANT e = Long(values[i]);
        SafeArrayPutElement(v.parray, &i, &e);
    }
    return v;
}
inline void MakeArray(VARIANT* out, const Bytes& values) { *out = MakeArray(values); }
inline Bytes ReadArray(const VARIANT& v)
{
    if (v.vt != (VT_ARRAY | VT_VARIANT))
        return {-1};
    Bytes out;
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
// Clock values are the low 32 bits of a larger count: arithmetic modulo 2^32.
inline long Diff(long a, long b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
inline long Plus(long t, long d) { return static_cast<int32_t>(static_cast<uint32_t>(t) + static_cast<uint32_t>(d)); }

enum Dispid : DISPID { kOpenIn = 1, kOpenOut = 6, kGetNextEvent = 9, kSendMidiEvent = 10, kCreateTimer = 17 };

// Calls a method by DISPID as a script engine does (arguments first to last;
// by-value ones are cleared); a failed call leaves the result empty.
inline void Call(IDispatch* d, DISPID id, std::vector<VARIANT> args, Variant& result)
{
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result.get(), nullptr, nullptr) != S_OK)
        VariantClear(result.get());
    for (VARIANT& v : args)
        if (!(v.vt & VT_BYREF))
            VariantClear(&v);
}
// A BOOL result as a script sees it: "true", "false", else what came instead.
inline std::string CallBool(IDispatch* d, DISPID id, std::vector<VARIANT> args)
{
    Variant r;
    Call(d, id, std::move(args), r);
    if (r->vt != VT_BOOL)
        return "vt " + std::to_string(r->vt);
    return r->boolVal == VARIANT_TRUE ? "true" : r->boolVal == VARIANT_FALSE ? "false" : "bad";
}

inline bool Send(CMidiIOCtrl* c, long port, const Bytes& bytes, long time = 0)
{
    Variant a;
    MakeArray(a.get(), bytes);
    return c->SendMidiEvent(port, time, a.get());
}

struct Received {
    long port = -1, time = 0;
    Bytes data;
};
// Takes the oldest event through GetNextEvent's by-reference arguments, as a
// script does; false when the store is empty. A count that disagrees with
// the array appends -1 to the data.
inline bool NextEvent(CMidiIOCtrl* c, Received& r)
{
    Variant p, t, d, n;
    Call(c, kGetNextEvent, {ByRef(p.get()), ByRef(t.get()), ByRef(d.get())}, n);
    r = Received();
    if (p->vt != VT_I4)
        return false;
    r.port = p->lVal;
    r.time = t->vt == VT_I4 ? t->lVal : -1;
    r.data = ReadArray(*d.get());
    if (n->vt != VT_I4 || n->lVal != static_cast<long>(r.data.size()))
        r.data.push_back(-1);
    return true;
}

// Virtual port k (0-based): the last 32 entries of each table.
inline long VirtualInId(CMidiIOCtrl* c, int k) { return c->GetMidiInPortCount() - 31 + k; }
inline long VirtualOutId(CMidiIOCtrl* c, int k) { return c->GetMidiOutPortCount() - 31 + k; }

// Event sink counting OnMidiEvents and OnTimer, with an optional action.
struct Sink : IDispatch {
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        const bool known = riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__DMidiIOEvents;
        *ppv = known ? this : nullptr;
        return known ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; } // lives in its Control
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        midiEvents += id == CMidiIOCtrl::DISPID_OnMidiEvents;
        ticks += id == CMidiIOCtrl::DISPID_OnTimer;
        if (onEvent)
            onEvent(id);
        return S_OK;
    }
    int midiEvents = 0, ticks = 0;
    std::function<void(DISPID)> onEvent;
};

// A MidiIO control made as the class factory makes it, with an advised sink.
class Control {
public:
    Control()
    {
        tavro::ComPtr<IConnectionPointContainer> container;
        unknown->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container.out()));
        container->FindConnectionPoint(DIID__DMidiIOEvents, point_.out());
        point_->Advise(&sink, &cookie_);
    }
    ~Control() { Release(); }
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    // Drops the connection and the control's last reference.
    void Release()
    {
        if (!unknown)
            return;
        point_->Unadvise(cookie_);
        point_.reset();
        std::exchange(unknown, nullptr)->Release();
    }
    CMidiIOCtrl* get() const { return c; }
    CMidiIOCtrl* operator->() const { return c; }
    long In(int k) const { return VirtualInId(c, k); }
    long Out(int k) const { return VirtualOutId(c, k); }
    bool Send(long port, const Bytes& bytes, long time = 0) { return miditest::Send(c, port, bytes, time); }
    std::string InName(long id) const { return tavro::ToAnsi(tavro::Bstr(c->GetMidiInPortName(id)).get()); }
    std::string OutName(long id) const { return tavro::ToAnsi(tavro::Bstr(c->GetMidiOutPortName(id)).get()); }
    Received Next()
    {
        Received r;
        NextEvent(c, r);
        return r;
    }

    IUnknown* unknown = CMidiIOCtrl::Create();
    IDispatch* disp = static_cast<IDispatch*>(unknown);
    CMidiIOCtrl* c = static_cast<CMidiIOCtrl*>(disp);
    Sink sink;

private:
    tavro::ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

// Names unique to this test process, so leftovers of other runs never meet.
inline std::string UniqueName(const std::string& what)
{
    static int counter = 0;
    return "tvtest_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter) + "_" + what;
}

// A manual-reset named event for peers to signal or wait on.
class NamedEvent {
public:
    explicit NamedEvent(const std::string& what) : name_(UniqueName(what)) {}
    ~NamedEvent() { CloseHandle(handle_); }
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;
    const std::string& name() const { return name_; }
    void Set() { SetEvent(handle_); }
    bool WaitPumping(DWORD timeoutMs = 60000) { return miditest::WaitPumping(handle_, timeoutMs); }

private:
    std::string name_;
    HANDLE handle_ = CreateEventA(nullptr, TRUE, FALSE, name_.c_str());
};

// A peer process (vport_peer.exe next to this program) running a command
// list; it writes to this program's output, so its failures show in the log.
class Peer {
public:
    explicit Peer(const std::string& arguments)
    {
        char path[MAX_PATH];
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string commandLine(path);
        commandLine = "\"" + commandLine.erase(commandLine.find_last_of("\\/") + 1) + "vport_peer.exe\" " + arguments;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = si.hStdError = GetStdHandle(STD_OUTPUT_HANDLE);
        fflush(stdout);
        PROCESS_INFORMATION pi = {};
        if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
            CloseHandle(pi.hThread);
        process_ = pi.hProcess;
    }
    ~Peer()
    {
        if (Finish(0) != -2)
            CloseHandle(process_);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    HANDLE process() const { return process_; }
    // Exit code (the peer's failure count) once it ends, handling messages
    // meanwhile; -1 when it does not end within timeoutMs (it is then
    // terminated), -2 when it did not start.
    long Finish(DWORD timeoutMs = 60000)
    {
        DWORD code = 0;
        if (!process_)
            return -2;
        if (WaitPumping(process_, timeoutMs))
            return GetExitCodeProcess(process_, &code) ? static_cast<long>(code) : -3;
        TerminateProcess(process_, 255);
        WaitForSingleObject(process_, 10000);
        return -1;
    }

private:
    HANDLE process_ = nullptr;
};

} // namespace miditest
