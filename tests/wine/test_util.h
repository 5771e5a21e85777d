// Helpers of the Windows tests: dispatch calls as a script engine makes them,
// script arrays, bounded waits, scratch folders, MidiIO controls with an
// advised sink, and peer processes.
#pragma once

#include "midiio/MidiIOCtrl.h"
#include "module/ComUtil.h"
#include "module/Module.h"
#include "TAVRO_h.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace wt {

using tavro::Variant;
using Bytes = std::vector<int>;

// Output through a pipe is block-buffered: unbuffered, a test that dies
// still shows how far it got (peers share this stream).
inline const bool kUnbufferedOutput = (setvbuf(stdout, nullptr, _IONBF, 0), true);

// ---- waits ----

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
inline void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}
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

// ---- VARIANTs and script arrays (each builder's result is owned by its receiver) ----

inline VARIANT Of(VARTYPE vt) // a zero value (a null pointer for objects and arrays)
{
    VARIANT r = {};
    r.vt = vt;
    return r;
}
inline VARIANT Long(long v)
{
    VARIANT r = Of(VT_I4);
    r.lVal = v;
    return r;
}
inline VARIANT Dbl(double v)
{
    VARIANT r = Of(VT_R8);
    r.dblVal = v;
    return r;
}
inline VARIANT Text(const std::wstring& s)
{
    VARIANT r = Of(VT_BSTR);
    r.bstrVal = SysAllocStringLen(s.data(), UINT(s.size()));
    return r;
}
inline VARIANT ByRef(VARIANT* target)
{
    VARIANT r = Of(VT_BYREF | VT_VARIANT);
    r.pvarVal = target;
    return r;
}
// An array of VARIANTs indexed from `lower`, taking over the elements.
inline VARIANT Arr(const std::vector<VARIANT>& elements, LONG lower = 0)
{
    VARIANT r = Of(VT_ARRAY | VT_VARIANT);
    r.parray = SafeArrayCreateVector(VT_VARIANT, lower, static_cast<ULONG>(elements.size()));
    VARIANT* data = nullptr;
    SafeArrayAccessData(r.parray, reinterpret_cast<void**>(&data));
    std::copy(elements.begin(), elements.end(), data);
    SafeArrayUnaccessData(r.parray);
    return r;
}
// A script array of VT_I4 values.
inline VARIANT MakeArray(const Bytes& values, LONG lower = 0)
{
    std::vector<VARIANT> e;
    for (int v : values)
        e.push_back(Long(v));
    return Arr(e, lower);
}
// The values of a script array of VT_I4; another element type shows as
// -1000 - vt, anything but an array as {-1}.
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

// One IDispatch::Invoke, as a script engine makes it: arguments are added
// first to last; by-value ones are owned (cleared) by the call.
class Call {
public:
    Call(IDispatch* target, DISPID dispid) : target_(target), dispid_(dispid) {}
    ~Call()
    {
        for (VARIANT& v : args_)
            VariantClear(&v);
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrDescription);
        SysFreeString(excep.bstrHelpFile);
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    Call& Arg(VARIANT v)
    {
        args_.push_back(v);
        return *this;
    }
    Call& Text(const std::string& ansi)
    {
        VARIANT v = Of(VT_BSTR);
        v.bstrVal = tavro::ToBstr(ansi);
        return Arg(v);
    }
    Call& Long(LONG value) { return Arg(wt::Long(value)); }
    Call& Ref(VARIANT* variable) { return Arg(ByRef(variable)); } // as VBScript passes variables

    HRESULT Run(WORD flags = DISPATCH_METHOD)
    {
        std::vector<VARIANT> reversed(args_.rbegin(), args_.rend()); // rgvarg is last to first
        DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        hr = target_->Invoke(dispid_, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.get(), &excep, &argErr);
        return hr;
    }
    // A BOOL result as a script sees it: "true", "false", else what came instead.
    std::string Bool()
    {
        if (Run() != S_OK)
            return "hr " + std::to_string(hr);
        if (result->vt != VT_BOOL)
            return "vt " + std::to_string(result->vt);
        return result->boolVal == VARIANT_TRUE ? "true" : result->boolVal == VARIANT_FALSE ? "false" : "bad";
    }

    Variant result;
    EXCEPINFO excep{};
    UINT argErr = 0xFFFF;
    HRESULT hr = E_FAIL;

private:
    IDispatch* target_;
    DISPID dispid_;
    std::vector<VARIANT> args_;
};

// The ANSI text of a VT_BSTR result; "<vt N>" for any other type.
inline std::string ResultText(const VARIANT& v)
{
    return v.vt == VT_BSTR ? tavro::ToAnsi(v.bstrVal) : "<vt " + std::to_string(v.vt) + ">";
}

// A control made as its class factory makes it, released with the holder.
template <class Ctrl>
class Made {
public:
    Made() : unknown_(Ctrl::Create()) {}
    ~Made() { unknown_->Release(); }
    Made(const Made&) = delete;
    Made& operator=(const Made&) = delete;
    IDispatch* dispatch() const { return static_cast<IDispatch*>(unknown_); }
    Ctrl* operator->() const { return static_cast<Ctrl*>(dispatch()); }

private:
    IUnknown* unknown_;
};

// ---- files ----

// The OCX, built next to the test programs.
inline std::wstring OcxPath()
{
    std::wstring path = tavro::ModulePath();
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"TAVRO.OCX";
}

inline void WriteRaw(const std::string& name, const std::string& bytes)
{
    std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}
inline std::string ReadRaw(const std::string& name) // "<missing>" when it cannot be opened
{
    std::ifstream in(name, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) : "<missing>";
}

// A new empty folder under the temporary folder, with a trailing backslash;
// removed with everything in it when the holder goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const char* tag)
    {
        static std::atomic<int> serial{0};
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        path_ = std::string(temp) + "tavro_" + tag + "_" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(++serial) + "\\";
        RemoveTree(path_);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~ScratchFolder() { RemoveTree(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    static void RemoveTree(const std::string& folder)
    {
        WIN32_FIND_DATAA data;
        HANDLE h = FindFirstFileA((folder + "*").c_str(), &data);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = data.cFileName;
                if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileA((folder + name).c_str());
                else if (name != "." && name != "..")
                    RemoveTree(folder + name + "\\");
            } while (FindNextFileA(h, &data));
            FindClose(h);
        }
        RemoveDirectoryA(folder.c_str());
    }

    std::string path_;
};

// ---- MidiIO ----

// Clock values are the low 32 bits of a larger count: arithmetic modulo 2^32.
inline long Diff(long a, long b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline long Plus(long t, long d)
{
    return static_cast<int32_t>(static_cast<uint32_t>(t) + static_cast<uint32_t>(d));
}

enum Dispid : DISPID { kOpenIn = 1, kOpenOut = 6, kGetNextEvent = 9, kSendMidiEvent = 10, kCreateTimer = 17 };

inline bool Send(CMidiIOCtrl* c, long port, const Bytes& bytes, long time = 0)
{
    Variant a;
    *a.get() = MakeArray(bytes);
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
    Variant p, t, d;
    Call call(c, kGetNextEvent);
    call.Ref(p.get()).Ref(t.get()).Ref(d.get()).Run();
    r = Received();
    if (p->vt != VT_I4)
        return false;
    r.port = p->lVal;
    r.time = t->vt == VT_I4 ? t->lVal : -1;
    r.data = ReadArray(*d.get());
    if (call.result->vt != VT_I4 || call.result->lVal != static_cast<long>(r.data.size()))
        r.data.push_back(-1);
    return true;
}

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
    // Virtual port k (0-based): the last 32 entries of each table.
    long In(int k) const { return c->GetMidiInPortCount() - 31 + k; }
    long Out(int k) const { return c->GetMidiOutPortCount() - 31 + k; }
    bool Send(long port, const Bytes& bytes, long time = 0) { return wt::Send(c, port, bytes, time); }
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

// ---- peer processes ----

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
    bool WaitPumping(DWORD timeoutMs = 60000) { return wt::WaitPumping(handle_, timeoutMs); }

private:
    std::string name_;
    HANDLE handle_ = CreateEventA(nullptr, TRUE, FALSE, name_.c_str());
};

// A peer process (vport_peer.exe, or another program next to this one)
// running a command list; it writes to this program's output, so its
// failures show in the log.
class Peer {
public:
    explicit Peer(const std::string& arguments, const char* program = "vport_peer.exe")
    {
        char path[MAX_PATH];
        std::string commandLine(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
        commandLine = "\"" + commandLine.erase(commandLine.find_last_of("\\/") + 1) + program + "\" " + arguments;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = si.hStdError = GetStdHandle(STD_OUTPUT_HANDLE);
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

} // namespace wt
