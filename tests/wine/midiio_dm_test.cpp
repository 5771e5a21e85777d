// DirectMusic ports against a stand-in DirectMusic registered in this
// process: what Wine's cannot show (sent buffers, input, failing listing).
#include "tests/wine/test_util.h"

#include <dmusicc.h>
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <mutex>

namespace {

using namespace wt;

#define STUB(...)                                                                                                      \
    override                                                                                                           \
    {                                                                                                                  \
        return E_NOTIMPL;                                                                                              \
    }
#define OK(...)                                                                                                        \
    override                                                                                                           \
    {                                                                                                                  \
        return S_OK;                                                                                                   \
    }
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

// Sends fill the raw memory; reads hand out what Read put here, stamped 1 s.
struct Buffer : Unknown<IDirectMusicBuffer> {
    explicit Buffer(DWORD size) : mem(size) {}
    std::vector<BYTE> mem, event;
    DWORD used = 0;
    std::deque<std::vector<BYTE>> events;
    STDMETHODIMP GetNextEvent(REFERENCE_TIME* t, DWORD* group, DWORD* length, BYTE** data) override
    {
        if (events.empty())
            return S_FALSE;
        event = std::move(events.front()), events.pop_front();
        return *t = 10000000, *group = 1, *length = static_cast<DWORD>(event.size()), *data = event.data(), S_OK;
    }
    STDMETHODIMP Flush() override { return used = 0, S_OK; }
    STDMETHODIMP GetRawBufferPtr(BYTE** p) override { return *p = mem.data(), S_OK; }
    STDMETHODIMP ResetReadPtr() OK() STDMETHODIMP SetStartTime(REFERENCE_TIME) OK() STDMETHODIMP
        SetUsedBytes(DWORD n) override
    {
        return n > mem.size() ? DMUS_E_BUFFER_FULL : (used = n, S_OK);
    }
    STDMETHODIMP TotalTime(REFERENCE_TIME*) STUB() STDMETHODIMP PackStructured(REFERENCE_TIME, DWORD, DWORD)
        STUB() STDMETHODIMP PackUnstructured(REFERENCE_TIME, DWORD, DWORD, BYTE*) STUB() STDMETHODIMP
        GetUsedBytes(DWORD*) STUB() STDMETHODIMP GetStartTime(REFERENCE_TIME*) STUB() STDMETHODIMP GetMaxBytes(DWORD*)
            STUB() STDMETHODIMP GetBufferFormat(GUID*) STUB()
};

// Records what it plays as "used bytes/flags/length/last byte"; Deliver queues input.
struct Port : Unknown<IDirectMusicPort> {
    std::mutex lock;
    std::vector<std::string> played;
    std::deque<std::vector<BYTE>> pending;
    std::atomic<HANDLE> notify{nullptr};
    void Deliver(std::vector<BYTE> b)
    {
        std::lock_guard<std::mutex> hold(lock);
        pending.push_back(b), SetEvent(notify);
    }
    STDMETHODIMP PlayBuffer(IDirectMusicBuffer* b) override
    {
        const auto* buf = static_cast<Buffer*>(b);
        const auto* h = reinterpret_cast<const DMUS_EVENTHEADER*>(buf->mem.data());
        played.push_back(std::to_string(buf->used) + "/" + std::to_string(h->dwFlags) + "/" +
                         std::to_string(h->cbEvent) + "/" + std::to_string(buf->mem[20 + h->cbEvent - 1]));
        return S_OK;
    }
    STDMETHODIMP Read(IDirectMusicBuffer* b) override
    {
        std::lock_guard<std::mutex> hold(lock);
        static_cast<Buffer*>(b)->events.swap(pending);
        return static_cast<Buffer*>(b)->events.empty() ? S_FALSE : S_OK;
    }
    STDMETHODIMP SetReadNotificationHandle(HANDLE h) override { return notify = h, S_OK; }
    STDMETHODIMP DownloadInstrument(IDirectMusicInstrument*, IDirectMusicDownloadedInstrument**, DMUS_NOTERANGE*, DWORD)
        STUB() STDMETHODIMP UnloadInstrument(IDirectMusicDownloadedInstrument*) STUB() STDMETHODIMP
        GetLatencyClock(IReferenceClock**) STUB() STDMETHODIMP GetRunningStats(DMUS_SYNTHSTATS*) STUB() STDMETHODIMP
        Compact() STUB() STDMETHODIMP GetCaps(DMUS_PORTCAPS*) STUB() STDMETHODIMP Activate(BOOL) OK() STDMETHODIMP
        SetNumChannelGroups(DWORD) STUB() STDMETHODIMP
        DeviceIoControl(DWORD, void*, DWORD, void*, DWORD, DWORD*, OVERLAPPED*) STUB() STDMETHODIMP
        GetNumChannelGroups(DWORD*) STUB() STDMETHODIMP SetChannelPriority(DWORD, DWORD, DWORD) STUB() STDMETHODIMP
        GetChannelPriority(DWORD, DWORD, DWORD*) STUB() STDMETHODIMP SetDirectSound(IDirectSound*, IDirectSoundBuffer*)
            STUB() STDMETHODIMP GetFormat(WAVEFORMATEX*, DWORD*, DWORD*) STUB()
};

// Lists an input and an output, or fails at once with failEnum; Wine's clock.
struct Music : Unknown<IDirectMusic8> {
    static inline bool failEnum = false;
    static inline IReferenceClock* clock = nullptr;
    static inline Port* ports[2] = {};
    STDMETHODIMP EnumPort(DWORD i, DMUS_PORTCAPS* caps) override
    {
        if (failEnum || i > 1)
            return failEnum ? E_FAIL : S_FALSE;
        caps->guidPort.Data1 = caps->dwClass = i; // 0 input, 1 output
        return wcscpy(caps->wszDescription, i == 0 ? L"Stand-in in" : L"Stand-in out \u266A \u00FC"), S_OK;
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
    STDMETHODIMP SetDirectSound(IDirectSound*, HWND) OK() STDMETHODIMP EnumMasterClock(DWORD, DMUS_CLOCKINFO*)
        STUB() STDMETHODIMP SetMasterClock(REFGUID) STUB() STDMETHODIMP Activate(BOOL) STUB() STDMETHODIMP
        GetDefaultPort(GUID*) STUB() STDMETHODIMP SetExternalMasterClock(IReferenceClock*) STUB()
};

struct Factory : Unknown<IClassFactory> {
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, void** out) override { return *out = new Music, S_OK; }
    STDMETHODIMP LockServer(BOOL) OK()
};

// Serves CoCreateInstance here during a test: ports input 3 and output 3.
class StandIn : public ::testing::Test {
protected:
    void SetUp() override
    {
        tavro::ComPtr<IDirectMusic8> real;
        ASSERT_EQ(CoCreateInstance(CLSID_DirectMusic, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectMusic8,
                                   reinterpret_cast<void**>(real.out())),
                  S_OK);
        real->GetMasterClock(nullptr, &Music::clock);
        CoRegisterClassObject(CLSID_DirectMusic, &factory_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
    }
    void TearDown() override
    {
        CoRevokeClassObject(cookie_);
        if (Music::clock)
            Music::clock->Release();
    }
    struct Com {
        Com() { CoInitialize(nullptr); }
        ~Com() { CoUninitialize(); }
    } com_;
    Factory factory_; // outlives its registration
    DWORD cookie_ = 0;
};

TEST_F(StandIn, ListsPortsAndSendsOneEventPerBuffer)
{
    Music::failEnum = true; // a listing failing at once leaves the clock
    {
        Control bare;
        EXPECT_EQ(bare->GetMidiInPortCount() * 100 + bare->GetMidiOutPortCount(), 3434);
        const long t = bare->GetMasterClockTime();
        EXPECT_TRUE(PollUntil([&] { return Diff(bare->GetMasterClockTime(), t) > 100; }));
    }
    Music::failEnum = false;
    Control io;
    EXPECT_EQ(io->GetMidiInPortCount() * 100 + io->GetMidiOutPortCount(), 3535);
    EXPECT_EQ(io.InName(3) + std::to_string(io->GetMidiInPortType(3) * 10 + io->GetMidiOutPortType(3)),
              "Stand-in in22");
    EXPECT_STREQ(tavro::Bstr(io->GetMidiOutPortName(3)).get(), L"Stand-in out \u266A \u00FC");

    ASSERT_TRUE(io->OpenMidiOutPort(3));
    std::string played;
    for (int length : {3, 6, 2, 492, 493})
        played += (io.Send(3, Bytes(length, length % 100)) ? "" : "refused ") + std::to_string(length) + ",";
    for (const std::string& p : Music::ports[1]->played)
        played += " " + p;
    EXPECT_EQ(played, "3,6,2,492,refused 493, 24/0/3/3 32/1/6/6 24/1/2/2 512/1/492/92");
    Music::ports[1]->AddRef();
    EXPECT_TRUE(io->CloseMidiOutPort(3));
    EXPECT_FALSE(io.Send(3, {0x90, 1, 1}));
    EXPECT_EQ(Music::ports[1]->Release(), 0u) << "a closed port was not released";
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
    // thread is gone. Closing or destroying while input flows ends it.
    for (bool destroy : {false, true}) {
        Port* port = Music::ports[0];
        for (int i = 0; i < 2000; ++i)
            port->Deliver({0x90, 1, 1});
        port->AddRef();
        if (destroy)
            io.Release();
        else
            EXPECT_TRUE(io->CloseMidiInPort(3) && io->OpenMidiInPort(3));
        EXPECT_EQ(port->Release(), 0u) << "the reader outlived " << (destroy ? "its control" : "the close");
    }
}

} // namespace
