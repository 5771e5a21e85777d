// Test-only winmm MIDI driver for Wine: two loopback cables, where whatever
// output device n receives is delivered by input device n to its client.
//
// Wine's winmm loads it as the audio driver named in HKCU\Software\Wine\Drivers
// "Audio" (see install.sh). It offers no audio endpoints, only MIDI.
// Notifications run on one delivery thread, like a real driver's callback
// thread; a close waits until the device's pending notifications are out, so
// no callback reaches a client after its close returned.
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>

#include <algorithm>
#include <cstddef>
#include <deque>
#include <string>

extern "C" {
// Exported by winmm but not declared by mingw-w64's headers.
__declspec(dllimport) BOOL WINAPI DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD msg,
                                                 DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);
}

namespace {

constexpr UINT kCables = 2;

struct Client {
    bool open = false;
    MIDIOPENDESC desc{};
    WORD callbackType = DCB_NULL; // DCB_* from the CALLBACK_* flags of the open
};

struct InDevice {
    Client client;
    bool started = false;
    DWORD startTime = 0; // timeGetTime() at midiInStart; stamps are relative to it
    std::deque<MIDIHDR*> buffers;
};

struct Notification {
    int device; // inputs 0..kCables-1, outputs kCables..
    DWORD_PTR callback, instance;
    DWORD callbackType;
    HDRVR handle;
    DWORD msg;
    DWORD_PTR param1, param2;
};

CRITICAL_SECTION g_lock;
Client g_out[kCables];
InDevice g_in[kCables];
std::deque<Notification> g_pending;
int g_inFlight = -1; // device whose notification the delivery thread is making
HANDLE g_wake = nullptr;
DWORD g_threadId = 0;

struct Lock {
    Lock() { EnterCriticalSection(&g_lock); }
    ~Lock() { LeaveCriticalSection(&g_lock); }
};

Notification MakeNotification(int device, const Client& c, DWORD msg, DWORD_PTR p1, DWORD_PTR p2)
{
    return {
        device, c.desc.dwCallback, c.desc.dwInstance, c.callbackType, reinterpret_cast<HDRVR>(c.desc.hMidi), msg, p1,
        p2};
}

void Call(const Notification& n)
{
    DriverCallback(n.callback, n.callbackType, n.handle, n.msg, n.instance, n.param1, n.param2);
}

DWORD WINAPI DeliveryThread(void*)
{
    for (;;) {
        WaitForSingleObject(g_wake, INFINITE);
        for (;;) {
            Notification n;
            {
                Lock lock;
                g_inFlight = -1;
                if (g_pending.empty())
                    break;
                n = g_pending.front();
                g_pending.pop_front();
                g_inFlight = n.device;
            }
            Call(n);
        }
    }
}

// Under g_lock.
void Post(const Notification& n)
{
    g_pending.push_back(n);
    SetEvent(g_wake);
}

// Called with g_lock held and the device already marked closed: lets the
// delivery thread hand out what is pending for the device (bounded), or drops
// it when the close comes from a callback on the delivery thread itself.
void DrainDevice(int device)
{
    auto busy = [device] {
        if (g_inFlight == device)
            return true;
        for (const Notification& n : g_pending)
            if (n.device == device)
                return true;
        return false;
    };
    for (int i = 0; i < 5000 && GetCurrentThreadId() != g_threadId && busy(); ++i) {
        LeaveCriticalSection(&g_lock);
        Sleep(1);
        EnterCriticalSection(&g_lock);
    }
    for (auto it = g_pending.begin(); it != g_pending.end();)
        it = it->device == device ? g_pending.erase(it) : it + 1;
}

DWORD OpenClient(Client& c, int device, DWORD_PTR param1, DWORD_PTR flags, DWORD openMsg)
{
    const auto* desc = reinterpret_cast<const MIDIOPENDESC*>(param1);
    if (!desc)
        return MMSYSERR_INVALPARAM;
    Notification n;
    {
        Lock lock;
        if (c.open)
            return MMSYSERR_ALLOCATED;
        // The first open starts the delivery thread.
        if (!g_wake && !(g_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr)))
            return MMSYSERR_NOMEM;
        if (!g_threadId && !CreateThread(nullptr, 0, DeliveryThread, nullptr, 0, &g_threadId))
            return MMSYSERR_NOMEM;
        c.desc = *desc;
        c.callbackType = HIWORD(flags & CALLBACK_TYPEMASK);
        c.open = true;
        n = MakeNotification(device, c, openMsg, 0, 0);
    }
    Call(n);
    return MMSYSERR_NOERROR;
}

void CloseClient(Client& c, int device, DWORD closeMsg)
{
    Notification n;
    {
        Lock lock;
        c.open = false;
        DrainDevice(device);
        n = MakeNotification(device, c, closeMsg, 0, 0);
    }
    Call(n);
}

// ---- input side (under g_lock) ----

void DeliverShort(UINT dev, DWORD packed)
{
    InDevice& in = g_in[dev];
    if (in.client.open && in.started)
        Post(MakeNotification(int(dev), in.client, MIM_DATA, packed, timeGetTime() - in.startTime));
}

void ReturnBuffer(UINT dev, MIDIHDR* hdr)
{
    InDevice& in = g_in[dev];
    hdr->dwFlags = (hdr->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    Post(MakeNotification(int(dev), in.client, MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(hdr),
                          timeGetTime() - in.startTime));
}

void ReturnAllBuffers(UINT dev)
{
    InDevice& in = g_in[dev];
    for (; !in.buffers.empty(); in.buffers.pop_front())
        ReturnBuffer(dev, in.buffers.front());
}

// Fills the queued buffers in order, returning each when full and the last
// one at the end. Bytes for which no buffer is queued are lost.
void DeliverSysex(UINT dev, const BYTE* bytes, size_t n)
{
    InDevice& in = g_in[dev];
    if (!in.client.open || !in.started)
        return;
    while (n > 0 && !in.buffers.empty()) {
        MIDIHDR* hdr = in.buffers.front();
        const size_t k = std::min<size_t>(n, hdr->dwBufferLength - hdr->dwBytesRecorded);
        CopyMemory(hdr->lpData + hdr->dwBytesRecorded, bytes, k);
        hdr->dwBytesRecorded += static_cast<DWORD>(k);
        bytes += k;
        n -= k;
        in.buffers.pop_front();
        ReturnBuffer(dev, hdr);
    }
}

// ---- output side (under g_lock) ----

// Bytes in a message with this status; 0 for data bytes and for F0/F7.
int ShortLength(BYTE status)
{
    if (status < 0x80 || status == 0xF0 || status == 0xF7)
        return 0;
    if ((status >= 0xC0 && status < 0xE0) || status == 0xF1 || status == 0xF3)
        return 2;
    return status < 0xF0 || status == 0xF2 ? 3 : 1;
}

// The bytes of a message as a device would receive them: a system-exclusive
// run goes to the input's buffers, other messages arrive as short messages;
// stray data bytes are dropped.
void SendBytes(UINT dev, const BYTE* data, size_t n)
{
    for (size_t i = 0; i < n;) {
        if (data[i] == 0xF0) {
            size_t end = i + 1;
            while (end < n && data[end] < 0x80)
                ++end;
            end += end < n && data[end] == 0xF7;
            DeliverSysex(dev, data + i, end - i);
            i = end;
            continue;
        }
        const size_t len = size_t(ShortLength(data[i]));
        if (len == 0 || i + len > n) {
            ++i;
            continue;
        }
        DWORD packed = 0;
        for (size_t k = 0; k < len; ++k)
            packed |= DWORD(data[i + k]) << (8 * k);
        DeliverShort(dev, packed);
        i += len;
    }
}

DWORD Prepare(DWORD_PTR param1, DWORD_PTR size, bool prepare)
{
    auto* hdr = reinterpret_cast<MIDIHDR*>(param1);
    if (!hdr || size < offsetof(MIDIHDR, dwOffset) || (prepare && !hdr->lpData))
        return MMSYSERR_INVALPARAM;
    Lock lock; // the input side changes the flags of queued buffers
    if (prepare && !(hdr->dwFlags & MHDR_PREPARED))
        hdr->dwFlags = (hdr->dwFlags | MHDR_PREPARED) & ~(MHDR_DONE | MHDR_INQUEUE);
    else if (!prepare && (hdr->dwFlags & MHDR_INQUEUE))
        return MIDIERR_STILLPLAYING;
    else if (!prepare)
        hdr->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

template <class Caps>
DWORD GetCaps(UINT dev, DWORD_PTR p1, DWORD_PTR p2)
{
    if (!p1)
        return MMSYSERR_INVALPARAM;
    Caps caps{};
    caps.wMid = 0xFF;
    caps.vDriverVersion = 0x100;
    lstrcpynW(caps.szPname, (L"Loopback MIDI " + std::to_wstring(dev + 1)).c_str(), MAXPNAMELEN);
    CopyMemory(reinterpret_cast<void*>(p1), &caps, p2 < sizeof caps ? p2 : sizeof caps);
    return MMSYSERR_NOERROR;
}

DWORD OutMessage(UINT dev, UINT msg, DWORD_PTR p1, DWORD_PTR p2)
{
    if (msg == MODM_GETNUMDEVS)
        return kCables;
    if (msg == DRVM_INIT || msg == DRVM_EXIT || msg == DRVM_ENABLE || msg == DRVM_DISABLE)
        return MMSYSERR_NOERROR;
    if (dev >= kCables)
        return MMSYSERR_BADDEVICEID;
    Client& out = g_out[dev];
    const int device = int(kCables + dev);
    switch (msg) {
    case MODM_GETDEVCAPS:
        return GetCaps<MIDIOUTCAPSW>(dev, p1, p2);
    case MODM_OPEN:
        return OpenClient(out, device, p1, p2, MOM_OPEN);
    case MODM_CLOSE:
        CloseClient(out, device, MOM_CLOSE);
        return MMSYSERR_NOERROR;
    case MODM_PREPARE:
    case MODM_UNPREPARE:
        return Prepare(p1, p2, msg == MODM_PREPARE);
    case MODM_DATA: {
        Lock lock;
        if (!out.open)
            return MMSYSERR_INVALHANDLE;
        const BYTE bytes[3] = {BYTE(p1), BYTE(p1 >> 8), BYTE(p1 >> 16)};
        SendBytes(dev, bytes, size_t(ShortLength(bytes[0])));
        return MMSYSERR_NOERROR;
    }
    case MODM_LONGDATA: {
        auto* hdr = reinterpret_cast<MIDIHDR*>(p1);
        if (!hdr || p2 < offsetof(MIDIHDR, dwOffset))
            return MMSYSERR_INVALPARAM;
        Lock lock;
        if (!out.open)
            return MMSYSERR_INVALHANDLE;
        if (!(hdr->dwFlags & MHDR_PREPARED))
            return MIDIERR_UNPREPARED;
        if (hdr->dwFlags & MHDR_INQUEUE)
            return MIDIERR_STILLPLAYING;
        SendBytes(dev, reinterpret_cast<const BYTE*>(hdr->lpData), hdr->dwBufferLength);
        hdr->dwFlags = (hdr->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        Post(MakeNotification(device, out, MOM_DONE, p1, 0));
        return MMSYSERR_NOERROR;
    }
    case MODM_RESET: // sounds nothing: a note-off sweep would reach the looped input
        return MMSYSERR_NOERROR;
    default:
        return MMSYSERR_NOTSUPPORTED;
    }
}

DWORD InMessage(UINT dev, UINT msg, DWORD_PTR p1, DWORD_PTR p2)
{
    if (msg == MIDM_GETNUMDEVS)
        return kCables;
    if (msg == DRVM_INIT || msg == DRVM_EXIT || msg == DRVM_ENABLE || msg == DRVM_DISABLE)
        return MMSYSERR_NOERROR;
    if (dev >= kCables)
        return MMSYSERR_BADDEVICEID;
    InDevice& in = g_in[dev];
    switch (msg) {
    case MIDM_GETDEVCAPS:
        return GetCaps<MIDIINCAPSW>(dev, p1, p2);
    case MIDM_OPEN: {
        {
            Lock lock;
            if (!in.client.open) {
                in.started = false;
                in.buffers.clear();
            }
        }
        return OpenClient(in.client, int(dev), p1, p2, MIM_OPEN);
    }
    case MIDM_CLOSE: {
        // Wine's winmm frees the handle whatever the close returns, so the
        // device closes in any case: queued buffers come back first, done,
        // and the result says that they were still queued, as on Windows.
        bool hadBuffers;
        {
            Lock lock;
            in.started = false;
            hadBuffers = !in.buffers.empty();
            ReturnAllBuffers(dev);
        }
        CloseClient(in.client, int(dev), MIM_CLOSE);
        return hadBuffers ? MIDIERR_STILLPLAYING : MMSYSERR_NOERROR;
    }
    case MIDM_PREPARE:
    case MIDM_UNPREPARE:
        return Prepare(p1, p2, msg == MIDM_PREPARE);
    case MIDM_ADDBUFFER: {
        auto* hdr = reinterpret_cast<MIDIHDR*>(p1);
        if (!hdr || p2 < offsetof(MIDIHDR, dwOffset) || !hdr->lpData)
            return MMSYSERR_INVALPARAM;
        Lock lock;
        if (!in.client.open)
            return MMSYSERR_INVALHANDLE;
        if (!(hdr->dwFlags & MHDR_PREPARED))
            return MIDIERR_UNPREPARED;
        if (hdr->dwFlags & MHDR_INQUEUE)
            return MIDIERR_STILLPLAYING;
        hdr->dwFlags = (hdr->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
        hdr->dwBytesRecorded = 0;
        in.buffers.push_back(hdr);
        return MMSYSERR_NOERROR;
    }
    case MIDM_START: {
        Lock lock;
        if (!in.client.open)
            return MMSYSERR_INVALHANDLE;
        if (!in.started) {
            in.started = true;
            in.startTime = timeGetTime();
        }
        return MMSYSERR_NOERROR;
    }
    case MIDM_STOP:
    case MIDM_RESET: { // a reset also hands every queued buffer back, empty and done
        Lock lock;
        in.started = false;
        if (msg == MIDM_RESET)
            ReturnAllBuffers(dev);
        return MMSYSERR_NOERROR;
    }
    default:
        return MMSYSERR_NOTSUPPORTED;
    }
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(module);
        InitializeCriticalSection(&g_lock);
    }
    return TRUE;
}

LRESULT CALLBACK DriverProc(DWORD_PTR id, HDRVR drv, UINT msg, LPARAM p1, LPARAM p2)
{
    if (msg == DRV_INSTALL || msg == DRV_REMOVE)
        return DRV_OK;
    if (msg == DRV_LOAD || msg == DRV_FREE || msg == DRV_OPEN || msg == DRV_CLOSE || msg == DRV_ENABLE ||
        msg == DRV_DISABLE || msg == DRV_QUERYCONFIGURE || msg == DRV_CONFIGURE)
        return 1;
    return DefDriverProc(id, drv, msg, p1, p2);
}

DWORD WINAPI modMessage(UINT dev, UINT msg, DWORD_PTR, DWORD_PTR p1, DWORD_PTR p2)
{
    return OutMessage(dev, msg, p1, p2);
}

DWORD WINAPI midMessage(UINT dev, UINT msg, DWORD_PTR, DWORD_PTR p1, DWORD_PTR p2)
{
    return InMessage(dev, msg, p1, p2);
}

// The audio-endpoint side that Wine's device enumerator asks every driver
// for: preferred, with no endpoints at all.
int WINAPI GetPriority()
{
    return 3;
}

HRESULT WINAPI GetEndpointIDs(int, WCHAR*** ids, GUID** guids, UINT* count, UINT* defaultIndex)
{
    if (ids)
        *ids = nullptr;
    if (guids)
        *guids = nullptr;
    if (count)
        *count = 0;
    if (defaultIndex)
        *defaultIndex = 0;
    return S_OK;
}

HRESULT WINAPI GetAudioEndpoint(void*, void*, void** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

HRESULT WINAPI GetAudioSessionManager(void*, void** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

} // extern "C"
