// Helpers for the MidiIO tests that span processes: a control owned by the
// test, script-style message arrays, message pumping with bounded waits,
// and peer processes started with a command list.
#pragma once

#include "midiio/MidiIOCtrl.h"
#include "module/ComUtil.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace miditest {

// A MidiIO control made as the class factory makes it, released at scope end.
class Control {
public:
    Control() : unknown_(CMidiIOCtrl::Create())
    {
        ctrl_ = static_cast<CMidiIOCtrl*>(static_cast<IDispatch*>(unknown_));
    }
    ~Control() { unknown_->Release(); }
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    CMidiIOCtrl* operator->() const { return ctrl_; }
    CMidiIOCtrl* get() const { return ctrl_; }

private:
    IUnknown* unknown_;
    CMidiIOCtrl* ctrl_;
};

// Virtual port IDs on a machine without MIDI devices: input and output k
// are the last 32 ports of each table.
inline long VirtualInId(CMidiIOCtrl* c, int k)
{
    return c->GetMidiInPortCount() - 32 + 1 + k;
}
inline long VirtualOutId(CMidiIOCtrl* c, int k)
{
    return c->GetMidiOutPortCount() - 32 + 1 + k;
}

// A script message array (VT_ARRAY | VT_VARIANT of VT_I4).
inline void MakeArray(VARIANT* out, const std::vector<int>& values)
{
    VariantInit(out);
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        VARIANT v;
        v.vt = VT_I4;
        v.lVal = values[i];
        SafeArrayPutElement(array, &i, &v);
    }
    out->vt = VT_ARRAY | VT_VARIANT;
    out->parray = array;
}

inline BOOL Send(CMidiIOCtrl* c, long portID, const std::vector<int>& values)
{
    tavro::Variant array;
    MakeArray(array.get(), values);
    return c->SendMidiEvent(portID, 0, array.get());
}

struct Received {
    long port = 0;
    long time = 0;
    std::vector<int> data;
};

// Takes the oldest stored event; false when the store is empty.
inline bool NextEvent(CMidiIOCtrl* c, Received& r)
{
    tavro::Variant port, time, data;
    long n = c->GetNextEvent(port.get(), time.get(), data.get());
    if (port->vt != VT_I4)
        return false;
    r.port = port->lVal;
    r.time = time->lVal;
    r.data.clear();
    if (data->vt == (VT_ARRAY | VT_VARIANT)) {
        for (LONG i = 0; i < n; ++i) {
            VARIANT v;
            VariantInit(&v);
            SafeArrayGetElement(data->parray, &i, &v);
            r.data.push_back(v.lVal);
            VariantClear(&v);
        }
    }
    return true;
}

// Dispatches every waiting message of this thread (sent ones included).
inline void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Pumps until done() or timeoutMs; returns done().
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs)
            return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        Pump();
    }
    return true;
}

// Waits for a kernel object while this thread keeps handling messages.
inline bool WaitPumping(HANDLE handle, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed > timeoutMs)
            return false;
        DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0)
            return true;
        if (r == WAIT_TIMEOUT)
            return false;
        Pump();
    }
}

// Names unique to this test process, so leftovers of other runs never meet.
inline std::string UniqueName(const std::string& what)
{
    static int counter = 0;
    char text[64];
    snprintf(text, sizeof text, "tvtest_%lu_%d_", GetCurrentProcessId(), ++counter);
    return text + what;
}

// A manual-reset named event created by the test, for peers to signal or wait on.
class NamedEvent {
public:
    explicit NamedEvent(const std::string& what) : name_(UniqueName(what))
    {
        handle_ = CreateEventA(nullptr, TRUE, FALSE, name_.c_str());
    }
    ~NamedEvent() { CloseHandle(handle_); }
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;
    const std::string& name() const { return name_; }
    HANDLE handle() const { return handle_; }
    void Set() { SetEvent(handle_); }
    bool WaitPumping(DWORD timeoutMs) { return miditest::WaitPumping(handle_, timeoutMs); }

private:
    std::string name_;
    HANDLE handle_;
};

// A peer process (vport_peer.exe next to the test program) running one
// command list; its output goes to a file read back after it ends.
class Peer {
public:
    explicit Peer(const std::string& arguments)
    {
        char path[MAX_PATH];
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string dir(path);
        dir.erase(dir.find_last_of("\\/") + 1);
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        outputPath_ = std::string(temp) + UniqueName("peer.txt");
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE output = CreateFileA(outputPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = output;
        si.hStdError = output;
        std::string commandLine = "\"" + dir + "vport_peer.exe\" " + arguments;
        PROCESS_INFORMATION pi = {};
        if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
            process_ = pi.hProcess;
            CloseHandle(pi.hThread);
        }
        CloseHandle(output);
    }
    ~Peer()
    {
        if (process_) {
            if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT)
                TerminateProcess(process_, 255);
            WaitForSingleObject(process_, 10000);
            CloseHandle(process_);
        }
        DeleteFileA(outputPath_.c_str());
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool started() const { return process_ != nullptr; }
    HANDLE process() const { return process_; }

    // Exit code after the peer ends (pumping meanwhile); -1 when it does not
    // end within timeoutMs (it is then terminated).
    long Finish(DWORD timeoutMs)
    {
        if (!process_)
            return -2;
        if (!miditest::WaitPumping(process_, timeoutMs)) {
            TerminateProcess(process_, 255);
            WaitForSingleObject(process_, 10000);
            return -1;
        }
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        return static_cast<long>(code);
    }

    std::string Output() const
    {
        std::string text;
        HANDLE file = CreateFileA(outputPath_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return text;
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0)
            text.append(buffer, n);
        CloseHandle(file);
        return text;
    }

private:
    HANDLE process_ = nullptr;
    std::string outputPath_;
};

} // namespace miditest
