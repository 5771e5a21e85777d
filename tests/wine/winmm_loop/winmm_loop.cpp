// Test-only winmm MIDI driver for Wine: N loopback cables, where whatever
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

#include <cstddef>
#include <deque>
#include <string>

extern "C" {
// Exported by winmm but not declared by mingw-w64's headers.
__declspec(dllimport) BOOL WINAPI DriverCallback(DWORD_PTR callback, DWORD flags,
                                                 HDRVR device, DWORD msg, DWORD_PTR instance,
                                                 DWORD_PTR param1, DWORD_PTR param2);
}

namespace {

constexpr UINT kCables = 2;

struct Client {
    bool open = false;
    MIDIOPENDESC desc{};
    WORD callbackType = DCB_NULL;  // DCB_* from the CALLBACK_* flags of the open
};

struct OutDevice {
    Client client;
    BYTE runningStatus = 0;
    // Parser state of the byte stream of long messages.
    bool inSysex = false;
    std::string sysex;
    BYTE partial[3] = {};
    int partialLen = 0;
};

struct InDevice {
    Client client;
    bool started = false;
    DWORD startTime = 0;  // timeGetTime() at midiInStart; stamps are relative to it
    std::deque<MIDIHDR*> buffers;
};

// Device key for the delivery queue: direction and index.
struct Key {
    bool input;
    UINT dev;
    bool operator==(const Key& o) const { return input == o.input && dev == o.dev; }
};

struct Notification {
    Key key;
    DWORD_PTR callback, instance;
    DWORD callbackType;
    HDRVR handle;
    DWORD msg;
    DWORD_PTR param1, param2;
};

CRITICAL_SECTION g_lock;
OutDevice g_out[kCables];
InDevice g_in[kCables];
std::deque<Notification> g_pending;
bool g_inFlight = false;
Key g_inFlightKey{false, 0};
HANDLE g_wake = nullptr;
HANDLE g_thread = nullptr;
DWORD g_threadId = 0;

class Lock {
public:
    Lock() { EnterCriticalSection(&g_lock); }
    ~Lock() { LeaveCriticalSection(&g_lock); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
};

Notification MakeNotification(Key key, const Client& c, DWORD msg, DWORD_PTR p1, DWORD_PTR p2) {
    return Notification{key, c.desc.dwCallback, c.desc.dwInstance, c.callbackType,
                        reinterpret_cast<HDRVR>(c.desc.hMidi), msg, p1, p2};
}

void Call(const Notification& n) {
    DriverCallback(n.callback, n.callbackType, n.handle, n.msg, n.instance, n.param1, n.param2);
}

DWORD WINAPI DeliveryThread(void*) {
    for (;;) {
        WaitForSingleObject(g_wake, INFINITE);
        for (;;) {
            Notification n;
            {
                Lock lock;
                if (g_pending.empty()) {
                    g_inFlight = false;
                    break;
                }
                n = g_pending.front();
                g_pending.pop_front();
                g_inFlight = true;
                g_inFlightKey = n.key;
            }
            Call(n);
        }
    }
}

// Under g_lock.
void Post(const Notification& n) {
    g_pending.push_back(n);
    SetEvent(g_wake);
}

// Under g_lock. The first open starts the delivery thread.
bool EnsureDeliveryThread() {
    if (g_thread) return true;
    if (!g_wake) g_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!g_wake) return false;
    g_thread = CreateThread(nullptr, 0, DeliveryThread, nullptr, 0, &g_threadId);
    return g_thread != nullptr;
}

// Called with g_lock held and the device already marked closed: lets the
// delivery thread hand out what is pending for the device (bounded), or drops
// it when the close comes from a callback on the delivery thread itself.
void DrainDevice(Key key) {
    auto busy = [key] {
        if (g_inFlight && g_inFlightKey == key) return true;
        for (const Notification& n : g_pending)
            if (n.key == key) return true;
        return false;
    };
    if (GetCurrentThreadId() != g_threadId) {
        for (int i = 0; i < 5000 && busy(); ++i) {
            LeaveCriticalSection(&g_lock);
            Sleep(1);
            EnterCriticalSection(&g_lock);
        }
    }
    for (auto it = g_pending.begin(); it != g_pending.end();)
        it = it->key == key ? g_pending.erase(it) : it + 1;
}

DWORD OpenClient(Client& c, Key key, DWORD_PTR param1, DWORD_PTR flags, DWORD openMsg) {
    const auto* desc = reinterpret_cast<const MIDIOPENDESC*>(param1);
    if (!desc) return MMSYSERR_INVALPARAM;
    Notification n;
    {
        Lock lock;
        if (c.open) return MMSYSERR_ALLOCATED;
        if (!EnsureDeliveryThread()) return MMSYSERR_NOMEM;
        c.desc = *desc;
        c.callbackType = HIWORD(flags & CALLBACK_TYPEMASK);
        c.open = true;
        n = MakeNotification(key, c, openMsg, 0, 0);
    }
    Call(n);
    return MMSYSERR_NOERROR;
}

void CloseClient(Client& c, Key key, DWORD closeMsg) {
    Notification n;
    {
        Lock lock;
        c.open = false;
        DrainDevice(key);
        n = MakeNotification(key, c, closeMsg, 0, 0);
    }
    Call(n);
}

// ---- input side (under g_lock) ----

void DeliverShort(UINT dev, DWORD packed) {
    InDevice& in = g_in[dev];
    if (!in.client.open || !in.started) return;
    Post(MakeNotification(Key{true, dev}, in.client, MIM_DATA, packed, timeGetTime() - in.startTime));
}

void ReturnBuffer(UINT dev, MIDIHDR* hdr) {
    InDevice& in = g_in[dev];
    hdr->dwFlags = (hdr->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    Post(MakeNotification(Key{true, dev}, in.client, MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(hdr),
                          timeGetTime() - in.startTime));
}

// Fills the queued buffers in order, returning each when full and the last
// one at the end of the chunk. Bytes for which no buffer is queued are lost.
void DeliverSysex(UINT dev, const BYTE* bytes, size_t n) {
    InDevice& in = g_in[dev];
    if (!in.client.open || !in.started || n == 0) return;
    while (n > 0 && !in.buffers.empty()) {
        MIDIHDR* hdr = in.buffers.front();
        const size_t room = hdr->dwBufferLength - hdr->dwBytesRecorded;
        const size_t k = room < n ? room : n;
        CopyMemory(hdr->lpData + hdr->dwBytesRecorded, bytes, k);
        hdr->dwBytesRecorded += static_cast<DWORD>(k);
        bytes += k;
        n -= k;
        in.buffers.pop_front();
        ReturnBuffer(dev, hdr);
    }
}

// ---- output side ----

// Bytes in a short message with this status; 0 for data bytes and for the
// system-exclusive bytes F0/F7, which only travel in long messages.
int ShortLength(BYTE status) {
    if (status < 0x80) return 0;
    if (status < 0xC0) return 3;
    if (status < 0xE0) return 2;
    if (status < 0xF0) return 3;
    switch (status) {
    case 0xF0: case 0xF7: return 0;
    case 0xF1: case 0xF3: return 2;
    case 0xF2: return 3;
    default: return 1;
    }
}

DWORD Pack(const BYTE* b, int len) {
    DWORD v = 0;
    for (int i = 0; i < len; ++i) v |= static_cast<DWORD>(b[i]) << (8 * i);
    return v;
}

// Under g_lock. A short message as midiOutShortMsg packs it; bytes beyond the
// message's length are cleared, a leading data byte uses the running status.
void SendShort(UINT dev, DWORD msg) {
    OutDevice& out = g_out[dev];
    BYTE b[4] = {static_cast<BYTE>(msg), static_cast<BYTE>(msg >> 8), static_cast<BYTE>(msg >> 16), 0};
    if (b[0] < 0x80) {
        if (!out.runningStatus) return;
        b[2] = b[1];
        b[1] = b[0];
        b[0] = out.runningStatus;
    }
    const int len = ShortLength(b[0]);
    if (len == 0) return;
    if (b[0] < 0xF0) out.runningStatus = b[0];
    else if (b[0] < 0xF8) out.runningStatus = 0;
    DeliverShort(dev, Pack(b, len));
}

void FlushSysex(UINT dev) {
    OutDevice& out = g_out[dev];
    DeliverSysex(dev, reinterpret_cast<const BYTE*>(out.sysex.data()), out.sysex.size());
    out.sysex.clear();
}

// Under g_lock. A long message is a byte stream as a device would receive it:
// system-exclusive runs go to the input's buffers, other messages arrive as
// short messages, real-time bytes wherever they occur.
void SendLong(UINT dev, const BYTE* data, size_t n) {
    OutDevice& out = g_out[dev];
    for (size_t i = 0; i < n; ++i) {
        const BYTE b = data[i];
        if (b >= 0xF8) {
            DeliverShort(dev, b);
            continue;
        }
        if (out.inSysex) {
            if (b < 0x80 || b == 0xF7) {
                out.sysex.push_back(static_cast<char>(b));
                if (b == 0xF7) {
                    out.inSysex = false;
                    FlushSysex(dev);
                }
                continue;
            }
            out.inSysex = false;  // any other status ends it
            FlushSysex(dev);
        }
        if (b == 0xF0) {
            out.inSysex = true;
            out.partialLen = 0;
            out.runningStatus = 0;
            out.sysex.assign(1, static_cast<char>(b));
            continue;
        }
        if (b >= 0x80) {
            out.partial[0] = b;
            out.partialLen = 1;
            out.runningStatus = b < 0xF0 ? b : 0;
        } else if (out.partialLen == 0) {
            if (!out.runningStatus) continue;  // stray data byte
            out.partial[0] = out.runningStatus;
            out.partial[1] = b;
            out.partialLen = 2;
        } else {
            out.partial[out.partialLen++] = b;
        }
        const int len = ShortLength(out.partial[0]);
        if (len == 0) {
            out.partialLen = 0;  // a lone F7
        } else if (out.partialLen >= len) {
            DeliverShort(dev, Pack(out.partial, len));
            out.partialLen = 0;
        }
    }
    // A system-exclusive run continued in the next buffer is delivered in parts.
    if (out.inSysex) FlushSysex(dev);
}

DWORD Prepare(DWORD_PTR param1, DWORD_PTR size) {
    auto* hdr = reinterpret_cast<MIDIHDR*>(param1);
    if (!hdr || size < offsetof(MIDIHDR, dwOffset) || !hdr->lpData) return MMSYSERR_INVALPARAM;
    if (hdr->dwFlags & MHDR_PREPARED) return MMSYSERR_NOERROR;
    hdr->dwFlags = (hdr->dwFlags | MHDR_PREPARED) & ~(MHDR_DONE | MHDR_INQUEUE);
    return MMSYSERR_NOERROR;
}

DWORD Unprepare(DWORD_PTR param1, DWORD_PTR size) {
    auto* hdr = reinterpret_cast<MIDIHDR*>(param1);
    if (!hdr || size < offsetof(MIDIHDR, dwOffset)) return MMSYSERR_INVALPARAM;
    Lock lock;  // the input side changes the flags of queued buffers
    if (hdr->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
    hdr->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

void FillName(WCHAR* dst, size_t cap, UINT dev) {
    const std::wstring name = L"Loopback MIDI " + std::to_wstring(dev + 1);
    lstrcpynW(dst, name.c_str(), static_cast<int>(cap));
}

DWORD OutMessage(UINT dev, UINT msg, DWORD_PTR p1, DWORD_PTR p2) {
    switch (msg) {
    case DRVM_INIT: case DRVM_EXIT: case DRVM_ENABLE: case DRVM_DISABLE:
        return MMSYSERR_NOERROR;
    case MODM_GETNUMDEVS:
        return kCables;
    }
    if (dev >= kCables) return MMSYSERR_BADDEVICEID;
    OutDevice& out = g_out[dev];
    switch (msg) {
    case MODM_GETDEVCAPS: {
        if (!p1) return MMSYSERR_INVALPARAM;
        MIDIOUTCAPSW caps{};
        caps.wMid = 0xFF;
        caps.wPid = 1;
        caps.vDriverVersion = 0x100;
        FillName(caps.szPname, MAXPNAMELEN, dev);
        caps.wTechnology = MOD_MIDIPORT;
        caps.wChannelMask = 0xFFFF;
        CopyMemory(reinterpret_cast<void*>(p1), &caps, p2 < sizeof caps ? p2 : sizeof caps);
        return MMSYSERR_NOERROR;
    }
    case MODM_OPEN: {
        const DWORD r = OpenClient(out.client, Key{false, dev}, p1, p2, MOM_OPEN);
        if (r == MMSYSERR_NOERROR) {
            Lock lock;
            out.runningStatus = 0;
            out.inSysex = false;
            out.partialLen = 0;
            out.sysex.clear();
        }
        return r;
    }
    case MODM_CLOSE:
        CloseClient(out.client, Key{false, dev}, MOM_CLOSE);
        return MMSYSERR_NOERROR;
    case MODM_PREPARE:
        return Prepare(p1, p2);
    case MODM_UNPREPARE:
        return Unprepare(p1, p2);
    case MODM_DATA: {
        Lock lock;
        if (!out.client.open) return MMSYSERR_INVALHANDLE;
        SendShort(dev, static_cast<DWORD>(p1));
        return MMSYSERR_NOERROR;
    }
    case MODM_LONGDATA: {
        auto* hdr = reinterpret_cast<MIDIHDR*>(p1);
        if (!hdr || p2 < offsetof(MIDIHDR, dwOffset)) return MMSYSERR_INVALPARAM;
        Lock lock;
        if (!out.client.open) return MMSYSERR_INVALHANDLE;
        if (!(hdr->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
        if (hdr->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
        SendLong(dev, reinterpret_cast<const BYTE*>(hdr->lpData), hdr->dwBufferLength);
        hdr->dwFlags = (hdr->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        Post(MakeNotification(Key{false, dev}, out.client, MOM_DONE, p1, 0));
        return MMSYSERR_NOERROR;
    }
    case MODM_RESET: {
        // Sounds nothing: a note-off sweep would reach the looped input.
        Lock lock;
        out.runningStatus = 0;
        out.inSysex = false;
        out.partialLen = 0;
        out.sysex.clear();
        return MMSYSERR_NOERROR;
    }
    default:
        return MMSYSERR_NOTSUPPORTED;
    }
}

DWORD InMessage(UINT dev, UINT msg, DWORD_PTR p1, DWORD_PTR p2) {
    switch (msg) {
    case DRVM_INIT: case DRVM_EXIT: case DRVM_ENABLE: case DRVM_DISABLE:
        return MMSYSERR_NOERROR;
    case MIDM_GETNUMDEVS:
        return kCables;
    }
    if (dev >= kCables) return MMSYSERR_BADDEVICEID;
    InDevice& in = g_in[dev];
    switch (msg) {
    case MIDM_GETDEVCAPS: {
        if (!p1) return MMSYSERR_INVALPARAM;
        MIDIINCAPSW caps{};
        caps.wMid = 0xFF;
        caps.wPid = 2;
        caps.vDriverVersion = 0x100;
        FillName(caps.szPname, MAXPNAMELEN, dev);
        CopyMemory(reinterpret_cast<void*>(p1), &caps, p2 < sizeof caps ? p2 : sizeof caps);
        return MMSYSERR_NOERROR;
    }
    case MIDM_OPEN: {
        {
            Lock lock;
            if (!in.client.open) {
                in.started = false;
                in.buffers.clear();
            }
        }
        return OpenClient(in.client, Key{true, dev}, p1, p2, MIM_OPEN);
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
            while (!in.buffers.empty()) {
                MIDIHDR* hdr = in.buffers.front();
                in.buffers.pop_front();
                ReturnBuffer(dev, hdr);
            }
        }
        CloseClient(in.client, Key{true, dev}, MIM_CLOSE);
        return hadBuffers ? MIDIERR_STILLPLAYING : MMSYSERR_NOERROR;
    }
    case MIDM_PREPARE:
        return Prepare(p1, p2);
    case MIDM_UNPREPARE:
        return Unprepare(p1, p2);
    case MIDM_ADDBUFFER: {
        auto* hdr = reinterpret_cast<MIDIHDR*>(p1);
        if (!hdr || p2 < offsetof(MIDIHDR, dwOffset) || !hdr->lpData) return MMSYSERR_INVALPARAM;
        Lock lock;
        if (!in.client.open) return MMSYSERR_INVALHANDLE;
        if (!(hdr->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
        if (hdr->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
        hdr->dwFlags = (hdr->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
        hdr->dwBytesRecorded = 0;
        in.buffers.push_back(hdr);
        return MMSYSERR_NOERROR;
    }
    case MIDM_START: {
        Lock lock;
        if (!in.client.open) return MMSYSERR_INVALHANDLE;
        if (!in.started) {
            in.started = true;
            in.startTime = timeGetTime();
        }
        return MMSYSERR_NOERROR;
    }
    case MIDM_STOP: {
        Lock lock;
        in.started = false;
        return MMSYSERR_NOERROR;
    }
    case MIDM_RESET: {
        // Stops input and hands every queued buffer back, empty and done.
        Lock lock;
        in.started = false;
        while (!in.buffers.empty()) {
            MIDIHDR* hdr = in.buffers.front();
            in.buffers.pop_front();
            ReturnBuffer(dev, hdr);
        }
        return MMSYSERR_NOERROR;
    }
    default:
        return MMSYSERR_NOTSUPPORTED;
    }
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(module);
        InitializeCriticalSection(&g_lock);
    }
    return TRUE;
}

LRESULT CALLBACK DriverProc(DWORD_PTR id, HDRVR drv, UINT msg, LPARAM p1, LPARAM p2) {
    switch (msg) {
    case DRV_LOAD: case DRV_FREE: case DRV_OPEN: case DRV_CLOSE:
    case DRV_ENABLE: case DRV_DISABLE: case DRV_QUERYCONFIGURE: case DRV_CONFIGURE:
        return 1;
    case DRV_INSTALL: case DRV_REMOVE:
        return DRV_OK;
    default:
        return DefDriverProc(id, drv, msg, p1, p2);
    }
}

DWORD WINAPI modMessage(UINT dev, UINT msg, DWORD_PTR, DWORD_PTR p1, DWORD_PTR p2) {
    return OutMessage(dev, msg, p1, p2);
}

DWORD WINAPI midMessage(UINT dev, UINT msg, DWORD_PTR, DWORD_PTR p1, DWORD_PTR p2) {
    return InMessage(dev, msg, p1, p2);
}

// The audio-endpoint side that Wine's device enumerator asks every driver
// for: preferred, with no endpoints at all.
int WINAPI GetPriority() { return 3; }

HRESULT WINAPI GetEndpointIDs(int, WCHAR*** ids, GUID** guids, UINT* count, UINT* defaultIndex) {
    if (ids) *ids = nullptr;
    if (guids) *guids = nullptr;
    if (count) *count = 0;
    if (defaultIndex) *defaultIndex = 0;
    return S_OK;
}

HRESULT WINAPI GetAudioEndpoint(void*, void*, void** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

HRESULT WINAPI GetAudioSessionManager(void*, void** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

} // extern "C"
