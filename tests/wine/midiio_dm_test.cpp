// DirectMusic ports against a stand-in DirectMusic registered in this
// process: what Wine's cannot show (sent buffers, input, failing listing).
#include "tests/wine/midi_test_util.h"

#include <dmusicc.h>
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

namespace {

using namespace miditest;

#define STUB(...) override { return E_NOTIMPL; }
template <class I>
struct Unknown : I {
    std::atomic<long> refs{1};
    STDMETHODIMP QueryInterface(REFIID, void** out) override { return *out = this, this->AddRef(), S_OK; }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const long n = --refs;
        if (n == 0)
            delete this;
        return n;
    }
    virtual ~Unknown() = default;
};

// Events are written as DirectMusic lays them out: a 20-byte header, the
// bytes, padding to 8.
struct Buffer : Unknown<IDirectMusicBuffer> {
    explicit Buffer(DWORD size) : mem(size) {}
    std::vector<BYTE> mem;
    DWORD used = 0, readAt = 0;
    STDMETHODIMP Flush() override { return used = 0, S_OK; }
    STDMETHODIMP ResetReadPtr() override { return readAt = 0, S_OK; }
    STDMETHODIMP GetNextEvent(REFERENCE_TIME* t, DWORD* group, DWORD* length, BYTE** data) override
    {
        if (readAt >= used)
            return S_FALSE;
        DMUS_EVENTHEADER h;
        memcpy(&h, &mem[readAt], 20);
        *t = h.rtDelta, *group = h.dwChannelGroup, *length = h.cbEvent, *data = &mem[readAt + 20];
        readAt += (20 + h.cbEvent + 7) & ~7u;
        return S_OK;
    }
    STDMETHODIMP GetRawBufferPtr(BYTE** p) override { return *p = mem.data(), S_OK; }
    STDMETHODIMP SetStartTime(REFERENCE_TIME) override { return S_OK; }
    STDMETHODIMP SetUsedBytes(DWORD n) override { return n > mem.size() ? DMUS_E_BUFFER_FULL : (used = n, S_OK); }
    STDMETHODIMP TotalTime(REFERENCE_TIME*) STUB() STDMETHODIMP PackStructured(REFERENCE_TIME, DWORD, DWORD) STUB()
    STDMETHODIMP PackUnstructured(REFERENCE_TIME, DWORD, DWORD, BYTE*) STUB()
    STDMETHODIMP GetStartTime(REFERENCE_TIME*) STUB() STDMETHODIMP GetUsedBytes(DWORD*) STUB()
    STDMETHODIMP GetMaxBytes(DWORD*) STUB() STDMETHODIMP GetBufferFormat(GUID*) STUB()
};

struct Played {
    DWORD used, flags;
    Bytes bytes;
};

struct Port : Unknown<IDirectMusicPort> {
    static inline std::atomic<int> live{0};
    Port() { ++live; }
    ~Port() override { --live; }
    std::mutex lock;
    std::vector<Played> played;
    std::deque<Bytes> pending;
    std::atomic<HANDLE> notify{nullptr};
    void Deliver(const Bytes& b)
    {
        std::lock_guard<std::mutex> hold(lock);
        pending.push_back(b);
        SetEvent(notify);
    }
    STDMETHODIMP PlayBuffer(IDirectMusicBuffer* b) override
    {
        auto* buf = static_cast<Buffer*>(b);
        DMUS_EVENTHEADER h;
        memcpy(&h, buf->mem.data(), 20);
        played.push_back({buf->used, h.dwFlags, Bytes(&buf->mem[20], &buf->mem[20] + h.cbEvent)});
        return S_OK;
    }
    STDMETHODIMP SetReadNotificationHandle(HANDLE h) override { return notify = h, S_OK; }
    STDMETHODIMP Read(IDirectMusicBuffer* b) override
    {
        std::lock_guard<std::mutex> hold(lock);
        auto* buf = static_cast<Buffer*>(b);
        buf->used = 0;
        for (; !pending.empty(); pending.pop_front()) {
            const Bytes& e = pending.front();
            const DWORD at = buf->used, size = (20 + static_cast<DWORD>(e.size()) + 7) & ~7u;
            if (at + size > buf->mem.size())
                break;
            DMUS_EVENTHEADER h = {static_cast<DWORD>(e.size()), 1, 10000000, e.size() == 3 ? 0u : 1u};
            memcpy(&buf->mem[at], &h, 20);
            std::copy(e.begin(), e.end(), &buf->mem[at + 20]);
            buf->used += size;
        }
        return buf->used ? S_OK : S_FALSE;
    }
    STDMETHODIMP Activate(BOOL) override { return S_OK; }
    STDMETHODIMP DownloadInstrument(IDirectMusicInstrument*, IDirectMusicDownloadedInstrument**, DMUS_NOTERANGE*,
                                    DWORD) STUB()
    STDMETHODIMP UnloadInstrument(IDirectMusicDownloadedInstrument*) STUB()
    STDMETHODIMP GetLatencyClock(IReferenceClock**) STUB() STDMETHODIMP GetRunningStats(DMUS_SYNTHSTATS*) STUB()
    STDMETHODIMP Compact() STUB() STDMETHODIMP GetCaps(DMUS_PORTCAPS*) STUB()
    STDMETHODIMP DeviceIoControl(DWORD, void*, DWORD, void*, DWORD, DWORD*, OVERLAPPED*) STUB()
    STDMETHODIMP SetNumChannelGroups(DWORD) STUB() STDMETHODIMP GetNumChannelGroups(DWORD*) STUB()
    STDMETHODIMP SetChannelPriority(DWORD, DWORD, DWORD) STUB()
    STDMETHODIMP GetChannelPriority(DWORD, DWORD, DWORD*) STUB()
    STDMETHODIMP SetDirectSound(IDirectSound*, IDirectSoundBuffer*) STUB()
    STDMETHODIMP GetFormat(WAVEFORMATEX*, DWORD*, DWORD*) STUB()
};

// Lists an input and an output port (index = the port GUID's first field),
// or nothing when failEnum is set; the clock is Wine's own.
struct Music : Unknown<IDirectMusic8> {
    static inline bool failEnum = false;
    static inline IReferenceClock* clock = nullptr;
    static inline Port* ports[2] = {};
    STDMETHODIMP EnumPort(DWORD i, DMUS_PORTCAPS* caps) override
    {
        if (failEnum || i > 1)
            return failEnum ? E_FAIL : S_FALSE;
        caps->guidPort.Data1 = i;
        caps->dwClass = i == 0 ? DMUS_PC_INPUTCLASS : DMUS_PC_OUTPUTCLASS;
        wcscpy(caps->wszDescription, i == 0 ? L"Stand-in in" : L"Stand-in out \u266A \u00FC");
        return S_OK;
    }
    STDMETHODIMP CreateMusicBuffer(DMUS_BUFFERDESC* d, IDirectMusicBuffer** b, IUnknown*) override
    {
        return *b = new Buffer(d->cbBuffer), S_OK;
    }
    STDMETHODIMP CreatePort(REFCLSID id, DMUS_PORTPARAMS*, IDirectMusicPort** p, IUnknown*) override
    {
        return *p = ports[id.Data1] = new Port, S_OK;
    }
    STDMETHODIMP GetMasterClock(GUID*, IReferenceClock** c) override { return *c = clock, clock->AddRef(), S_OK; }
    STDMETHODIMP SetDirectSound(IDirectSound*, HWND) override { return S_OK; }
    STDMETHODIMP EnumMasterClock(DWORD, DMUS_CLOCKINFO*) STUB() STDMETHODIMP SetMasterClock(REFGUID) STUB()
    STDMETHODIMP Activate(BOOL) STUB() STDMETHODIMP GetDefaultPort(GUID*) STUB()
    STDMETHODIMP SetExternalMasterClock(IReferenceClock*) STUB()
};

struct Factory : Unknown<IClassFactory> {
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, void** out) override { return *out = new Music, S_OK; }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

// Stands in for DirectMusic while it lives; ports: input 3, output 3 (after
// the two loopback devices).
class StandIn : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CoCreateInstance(CLSID_DirectMusic, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectMusic8,
                                   reinterpret_cast<void**>(real_.out())), S_OK);
        real_->GetMasterClock(nullptr, &Music::clock);
        ASSERT_EQ(CoRegisterClassObject(CLSID_DirectMusic, factory_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                        &cookie_), S_OK);
    }
    void TearDown() override
    {
        CoRevokeClassObject(cookie_);
        factory_->Release();
        if (Music::clock)
            Music::clock->Release();
        Music::failEnum = false;
    }
    struct Com {
        Com() { CoInitialize(nullptr); }
        ~Com() { CoUninitialize(); }
    } com_;
    tavro::ComPtr<IDirectMusic8> real_;
    Factory* factory_ = new Factory;
    DWORD cookie_ = 0;
};

TEST_F(StandIn, ListsNamesAndSendsOneEventPerBuffer)
{
    Control io;
    EXPECT_EQ(io->GetMidiInPortCount() * 100 + io->GetMidiOutPortCount(), 3535);
    EXPECT_EQ(io.InName(3) + std::to_string(io->GetMidiInPortType(3) * 10 + io->GetMidiOutPortType(3)), "Stand-in in22");
    Variant name;
    VARIANT id = Long(3);
    DISPPARAMS params = {&id, nullptr, 1, 0};
    ASSERT_EQ(io.disp->Invoke(5, IID_NULL, 0, DISPATCH_METHOD, &params, name.get(), nullptr, nullptr), S_OK);
    EXPECT_TRUE(name->vt == VT_BSTR && wcscmp(name->bstrVal, L"Stand-in out \u266A \u00FC") == 0) << "lost characters";

    ASSERT_TRUE(io->OpenMidiOutPort(3));
    const struct {
        size_t length;
        bool sent;
        DWORD used, flags;
    } cases[] = {{3, true, 24, 0}, {6, true, 32, 1}, {2, true, 24, 1}, {492, true, 512, 1}, {493, false, 0, 0}};
    for (const auto& k : cases) {
        Port* port = Music::ports[1];
        const size_t before = port->played.size();
        const Bytes bytes(k.length, 0x7F);
        EXPECT_EQ(io.Send(3, bytes), k.sent) << k.length;
        ASSERT_EQ(port->played.size(), before + k.sent) << k.length;
        if (k.sent) {
            const Played& p = port->played.back();
            EXPECT_EQ(p.used * 10 + p.flags, k.used * 10 + k.flags) << k.length;
            EXPECT_EQ(p.bytes, bytes) << k.length;
        }
    }
    EXPECT_TRUE(io->CloseMidiOutPort(3));
    EXPECT_FALSE(io.Send(3, {0x90, 1, 1}));
    EXPECT_EQ(Port::live, 0) << "a closed port was not released";
}

TEST_F(StandIn, ReaderDeliversUntilCloseAndEndsWithIt)
{
    Control io;
    for (long sysLen : {512L, 0L}) {
        ASSERT_TRUE(io->SetMidiInSysLen(3, sysLen));
        ASSERT_TRUE(io->OpenMidiInPort(3)); // reopens
        Music::ports[0]->Deliver({0xF0, 1, 2, 3, 4, 0xF7});
        Music::ports[0]->Deliver({0x90, 0x3C, 0x64});
        ASSERT_TRUE(PumpUntil([&] { return io->GetMidiInEvent(io->GetMidiInEventCount(3) - 1, 4, 0) == 0x90; }));
        EXPECT_EQ(io->GetMidiInEventCount(3), sysLen ? 2 : 1) << "system-exclusive size " << sysLen;
        EXPECT_EQ(io->GetMidiInEvent(0, 0, 0), 10000) << "the event's own time, 1 s";
        io->ClearMidiInBuffer(0);
    }
    // The reader holds the port until it ends: a released port means the
    // thread is gone. A flood of input does not hold up the close.
    std::atomic<bool> stop{false};
    Port* port = Music::ports[0];
    port->AddRef();
    std::thread flood([&] {
        while (!stop)
            port->Deliver({0x90, 1, 1}), Sleep(0);
    });
    Sleep(100);
    EXPECT_TRUE(io->CloseMidiInPort(3));
    stop = true;
    flood.join();
    EXPECT_EQ(port->Release(), 0u) << "the reader did not end with the close";
    EXPECT_TRUE(io->OpenMidiInPort(3));
    io.Release(); // destroying with an open input ends its reader too
    EXPECT_EQ(Port::live, 0);
}

TEST_F(StandIn, FailingListingKeepsTheClock)
{
    Music::failEnum = true;
    Control io;
    EXPECT_EQ(io->GetMidiInPortCount() * 100 + io->GetMidiOutPortCount(), 3434);
    EXPECT_EQ(io.OutName(3), "Tavro 01");
    const long t = io->GetMasterClockTime();
    EXPECT_TRUE(PollUntil([&] { return Diff(io->GetMasterClockTime(), t) > 100; }));
}

} // namespace
