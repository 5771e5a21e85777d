// The MidiIO control end to end under Wine through the loopback MIDI driver
// (output n feeds input n), seen through an advised sink and a message pump.
#include "midiio/TimerResolution.h"
#include "tests/wine/test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace wt;

std::string Str(const Bytes& b)
{
    return ::testing::PrintToString(b);
}

// COM for one test; once the controls are gone nothing of them may remain.
struct ComScope {
    ComScope() { CoInitialize(nullptr); }
    ~ComScope()
    {
        EXPECT_FALSE(tavro::ModuleInUse()) << "an object of the control outlived it";
        CoUninitialize();
    }
};

class MidiIO : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_GE(io->GetMidiInPortCount(), 2) << "the loopback driver is not installed"; }
    // Output first: an open moves the base of input stamps.
    static void OpenCable(Control& ctl, long n)
    {
        ASSERT_TRUE(ctl->OpenMidiOutPort(n));
        ASSERT_TRUE(ctl->OpenMidiInPort(n));
    }
    static Bytes SysEx(size_t n)
    {
        Bytes b(n, 0x11);
        b.front() = 0xF0;
        b.back() = 0xF7;
        return b;
    }
    ComScope com;
    Control io;
};

TEST_F(MidiIO, PortTableNamesKindsAndNumbering)
{
    // System ports, DirectMusic's (emulations of the loopback devices, the
    // synthesizer), virtual ports.
    std::string in, out;
    for (long id = 1; id <= 5; ++id)
        in += io.InName(id) + ":" + std::to_string(io->GetMidiInPortType(id)) + ",";
    for (long id = 1; id <= 7; ++id)
        out += io.OutName(id) + ":" + std::to_string(io->GetMidiOutPortType(id)) + ",";
    EXPECT_EQ(in, "Loopback MIDI 1:1,Loopback MIDI 2:1,Loopback MIDI 1 [Emulated]:2,Loopback MIDI 2 [Emulated]:2,"
                  "Tavro 01:4,");
    EXPECT_EQ(out, "Loopback MIDI 1:1,Loopback MIDI 2:1,Wine midi mapper [Emulated]:2,Loopback MIDI 1 [Emulated]:2,"
                   "Loopback MIDI 2 [Emulated]:2,Microsoft Synthesizer:2,Tavro 01:4,");
    EXPECT_EQ(io->GetMidiInPortCount() * 100 + io->GetMidiOutPortCount(), 3638);
    for (long id : {0L, -1L, io->GetMidiInPortCount() + 1})
        EXPECT_EQ(io.InName(id) + std::to_string(io->GetMidiInPortType(id)), "0") << id;
    EXPECT_EQ(io.OutName(io->GetMidiOutPortCount() + 1), "");
    // Type 1 finds system ports only, also when a name's first match is not
    // one; adding type 2 finds that match.
    for (long type : {1L, 3L})
        EXPECT_EQ(io->FindMidiInPort("*emulated*", type) * 100 + io->FindMidiOutPort("*emulated*", type),
                  type == 1 ? 0 : 303)
            << "type " << type;
    // Wine opens no DirectMusic port without a sound device (none in this
    // prefix); a port that did not open sends nothing.
    EXPECT_FALSE(io->OpenMidiOutPort(4) || io.Send(4, {0x90, 0x3C, 0x64}));
}

TEST_F(MidiIO, OpenCloseAndReopen)
{
    const long ins = io->GetMidiInPortCount();
    // Through IDispatch, as scripts call: reopening an open port succeeds.
    for (long port : {1L, 1L, 0L, ins + 1})
        EXPECT_EQ(Call(io.disp, kOpenIn).Arg(Long(port)).Bool(), port == 1 ? "true" : "false") << port;
    EXPECT_EQ(Call(io.disp, kOpenOut).Arg(Long(2)).Bool() + Call(io.disp, kOpenOut).Arg(Long(-1)).Bool(), "truefalse");
    EXPECT_FALSE(io->CloseMidiInPort(-1));
    EXPECT_FALSE(io->CloseMidiInPort(ins + 1));
    EXPECT_TRUE(io->CloseMidiInPort(2)); // never opened
    EXPECT_TRUE(io->CloseMidiInPort(1));
    EXPECT_TRUE(io->CloseMidiInPort(1));
    EXPECT_TRUE(io->CloseMidiOutPort(0));
    EXPECT_FALSE(io.Send(2, {0x90, 1, 1})) << "sent on a closed port";

    // Closed devices are free again; an open device belongs to one control.
    Control other;
    OpenCable(other, 1);
    OpenCable(other, 2);
    EXPECT_FALSE(io->OpenMidiInPort(1));
    EXPECT_TRUE(other->CloseMidiInPort(0));
    EXPECT_TRUE(io->OpenMidiInPort(1));
}

TEST_F(MidiIO, MessagesLoopBackWithPortAndTime)
{
    OpenCable(io, 1);
    OpenCable(io, 2);
    const struct {
        long port;
        Bytes sent, received;
    } cases[] = {
        {1, {0x90, 0x3C, 0x64}, {0x90, 0x3C, 0x64}},
        {2, {0x190, 0x13C, -156}, {0x90, 0x3C, 0x64}}, // low 8 bits
        {2, {0xC1, 0x07}, {0xC1, 0x07, 0x00}},         // short messages arrive as 3 bytes
        {1, {0xF8}, {0xF8, 0x00, 0x00}},
        {2, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
    };
    for (const auto& k : cases) {
        const long before = io->GetMasterClockTime(), sysBefore = io->GetSystemTime();
        Variant array; // the script's form: an array variable passed by reference
        *array.get() = MakeArray(k.sent);
        EXPECT_EQ(Call(io.disp, kSendMidiEvent).Arg(Long(k.port)).Arg(Long(0)).Arg(ByRef(array.get())).Bool(), "true");
        ASSERT_TRUE(PumpUntil([&] { return io->GetMidiInEventCount(0) == 1; })) << Str(k.sent) << " did not arrive";
        EXPECT_EQ(io->GetMidiInEventCount(k.port), 1);
        // The port stamp is on the system clock in 0.1 ms (later opens move
        // its base: a wide bound).
        const long stamp = io->GetMidiInEvent(0, 0, 0);
        EXPECT_GE(Diff(stamp, sysBefore * 10u), -10000) << Str(k.sent);
        EXPECT_LE(Diff(stamp, io->GetSystemTime() * 10u), 10000) << Str(k.sent);
        const long received = io->GetMidiInEvent(0, 1, 0);

        const Received e = io.Next();
        EXPECT_EQ(e.data, k.received) << "sent " << Str(k.sent);
        EXPECT_EQ(e.port, k.port);
        EXPECT_EQ(e.time, received);
        EXPECT_GE(Diff(e.time, before), 0);
        EXPECT_LE(Diff(e.time, io->GetMasterClockTime()), 0);
    }
    // Empty store: 0 and three empty VARIANTs.
    Variant p, t, d;
    *p.get() = Long(7);
    Call empty(io.disp, kGetNextEvent);
    empty.Ref(p.get()).Ref(t.get()).Ref(d.get()).Run();
    EXPECT_TRUE(empty.result->vt == VT_I4 && empty.result->lVal == 0);
    EXPECT_TRUE(p->vt == VT_EMPTY && t->vt == VT_EMPTY && d->vt == VT_EMPTY);
}

TEST_F(MidiIO, SysExLimitsOnBothSides)
{
    for (long bad : {65536L, -2L})
        EXPECT_FALSE(io->SetMidiInSysLen(1, bad) || io->SetMidiOutSysLen(1, bad)) << bad;
    EXPECT_FALSE(io->SetMidiInSysLen(0, 16) || io->SetMidiOutSysLen(io->GetMidiOutPortCount() + 1, 16));
    OpenCable(io, 1);

    // Sizes set on open ports reopen them; what arrives is a round trip.
    const struct {
        long outSize, inSize;
        size_t length;
        bool sent, arrives;
    } trips[] = {
        {8, 512, 8, true, true},   {8, 512, 9, false, false},   {0, 512, 6, false, false},
        {-1, -1, 512, true, true}, {-1, -1, 513, false, false}, {65535, 65535, 4000, true, true},
        {512, 0, 6, true, false},
    };
    for (const auto& t : trips) {
        ASSERT_TRUE(io->SetMidiOutSysLen(1, t.outSize));
        ASSERT_TRUE(io->SetMidiInSysLen(1, t.inSize));
        EXPECT_EQ(io.Send(1, SysEx(t.length)), t.sent) << t.length << " bytes, out size " << t.outSize;
        // A note behind it tells when the cable has delivered everything.
        EXPECT_TRUE(io.Send(1, {0x80, 1, 0}));
        ASSERT_TRUE(PumpUntil([&] { return io->GetMidiInEvent(io->GetMidiInEventCount(0) - 1, 4, 0) == 0x80; }));
        EXPECT_EQ(io->GetMidiInEventCount(1), t.arrives ? 2 : 1) << t.length << " bytes, in size " << t.inSize;
        if (t.arrives) {
            EXPECT_EQ(io.Next().data, SysEx(t.length)) << t.length << " bytes";
        }
        io->ClearMidiInBuffer(0);
    }
}

TEST_F(MidiIO, StoredMessagesRaiseOneEventAndTheHandlerCanRead)
{
    Control other; // on the same thread: gets none of these events
    OpenCable(io, 1);
    OpenCable(other, 2);
    std::vector<long> countsInHandler;
    io.sink.onEvent = [&](DISPID id) {
        if (id != CMidiIOCtrl::DISPID_OnMidiEvents)
            return;
        countsInHandler.push_back(io->GetMidiInEventCount(0));
        while (io.Next().port > 0) {}
    };
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(io.Send(1, {0x90, i, 100}));
    ASSERT_TRUE(PollUntil([&] { return io->GetMidiInEventCount(0) == 10; }));
    PumpFor(300);
    EXPECT_EQ(countsInHandler, std::vector<long>({10}));
    EXPECT_EQ(io->GetMidiInEventCount(0), 0);

    // Disabled: stored, no event; enabling announces nothing old.
    io->EnableMidiInEventHandler(0);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(io.Send(1, {0x90, i, 100}));
    ASSERT_TRUE(PumpUntil([&] { return io->GetMidiInEventCount(1) == 3; }));
    PumpFor(200);
    io->EnableMidiInEventHandler(1);
    PumpFor(200);
    EXPECT_EQ(io.sink.midiEvents, 1);
    ASSERT_TRUE(io.Send(1, {0x90, 1, 1}));
    EXPECT_TRUE(PumpUntil([&] { return io.sink.midiEvents == 2; }));
    EXPECT_EQ(countsInHandler.back(), 4);
    EXPECT_EQ(other.sink.midiEvents, 0);
}

TEST_F(MidiIO, ScheduledMessagesLeaveInTimeOrder)
{
    OpenCable(io, 1);
    // Offsets in 0.1 ms from now, by note number; 0 sends at once.
    const long offsets[] = {0, 3000, 1000, 2000, 1000, 500, 2000, 0, -50};
    const Bytes expectedOrder = {7, 8, 5, 2, 4, 3, 6, 1}; // immediate first, then by time, ties in call order
    Variant reused;                                       // one script array for every call: the queue keeps a copy
    *reused.get() = MakeArray({0x90, 0, 1});
    const long now = io->GetMasterClockTime();
    for (int note = 1; note <= 8; ++note) {
        LONG index = 1;
        VARIANT v = Long(note);
        SafeArrayPutElement(reused->parray, &index, &v);
        EXPECT_TRUE(io->SendMidiEvent(1, offsets[note] ? Plus(now, offsets[note]) : 0, reused.get())) << note;
    }
    EXPECT_EQ(io->GetMidiOutEventCount(0), 6);
    EXPECT_EQ(io->GetMidiOutEventCount(1), 6);
    EXPECT_EQ(io->GetMidiOutEventCount(2), 0);

    ASSERT_TRUE(PumpUntil([&] { return io->GetMidiInEventCount(0) == 8; }, 10000));
    Bytes order;
    for (int i = 0; i < 8; ++i) {
        const Received e = io.Next();
        ASSERT_EQ(e.data.size(), 3u);
        const int note = e.data[1];
        order.push_back(note);
        // Not before its time less the 0.5 ms lead (and 0.1 ms truncation).
        if (offsets[note] > 0) {
            EXPECT_GE(Diff(e.time, Plus(now, offsets[note])), -10) << "note " << note;
        }
    }
    EXPECT_EQ(order, expectedOrder);
    EXPECT_TRUE(PumpUntil([&] { return io->GetMidiOutEventCount(0) == 0; }));
}

TEST_F(MidiIO, LongMessagesFromTheTimerAndTheScriptDoNotMix)
{
    // The send timer and this thread share the port's one header: a batch
    // falls due at once while this thread sends its own.
    OpenCable(io, 1);
    constexpr int kEach = 100;
    auto sysex = [](int source, int i) { return Bytes{0xF0, 0x7D, source, i, i, i, i, i, i, 0xF7}; };
    const long due = Plus(io->GetMasterClockTime(), 500);
    for (int i = 0; i < kEach; ++i)
        ASSERT_TRUE(io.Send(1, sysex(1, i), due));
    PollUntil([&] { return Diff(io->GetMasterClockTime(), due) >= -2; });
    for (int i = 0; i < kEach; ++i)
        EXPECT_TRUE(io.Send(1, sysex(2, i))) << i;
    ASSERT_TRUE(PumpUntil([&] { return io->GetMidiOutEventCount(0) == 0; }));
    PumpFor(100);
    // The input has one buffer, so some may be lost; none may be mixed.
    std::vector<bool> seen(2 * kEach, false);
    int received = 0;
    for (Received e = io.Next(); e.port > 0; e = io.Next(), ++received) {
        const Bytes& b = e.data;
        ASSERT_TRUE(b.size() == 10 && (b[2] == 1 || b[2] == 2) && b[3] < kEach) << Str(b);
        EXPECT_EQ(b, sysex(b[2], b[3]));
        EXPECT_FALSE(seen[(b[2] - 1) * kEach + b[3]]) << "twice: " << Str(b);
        seen[(b[2] - 1) * kEach + b[3]] = true;
    }
    EXPECT_GT(received, 0);
}

TEST_F(MidiIO, SendRefusesBadArgumentsAndClosedPorts)
{
    OpenCable(io, 1);
    SAFEARRAYBOUND bounds[2] = {{3, 0}, {1, 0}};
    VARIANT twoDim = Of(VT_ARRAY | VT_VARIANT);
    twoDim.parray = SafeArrayCreate(VT_VARIANT, 2, bounds);
    const long later = Plus(io->GetMasterClockTime(), 50000);
    struct {
        const char* what;
        long port, time;
        VARIANT arg;
    } cases[] = {
        {"port past the end", io->GetMidiOutPortCount() + 1, 0, MakeArray({0x90, 1, 1})},
        {"two dimensions", 1, 0, twoDim},
        {"unconvertible element", 1, 0, Arr({Long(0x90), Text(L"x"), Long(1)})},
        {"closed port now", 2, 0, MakeArray({0x90, 1, 1})},
        {"closed port later", 2, later, MakeArray({0x90, 1, 1})},
    };
    for (auto& k : cases) {
        EXPECT_EQ(Call(io.disp, kSendMidiEvent).Arg(Long(k.port)).Arg(Long(k.time)).Arg(ByRef(&k.arg)).Bool(), "false")
            << k.what;
        VariantClear(&k.arg);
    }
    EXPECT_EQ(io->GetMidiOutEventCount(0), 0);
    PumpFor(100);
    EXPECT_EQ(io->GetMidiInEventCount(0), 0);
}

TEST_F(MidiIO, ClearAndCloseDropQueuedMessages)
{
    OpenCable(io, 1);
    OpenCable(io, 2);
    const long at = Plus(io->GetMasterClockTime(), 3000);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(io.Send(1, {0x90, i, 1}, Plus(at, i)));
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(io.Send(2, {0x90, i, 1}, at));
    io->ClearMidiOutBuffer(2);
    EXPECT_EQ(io->GetMidiOutEventCount(2) * 10 + io->GetMidiOutEventCount(1), 3);
    EXPECT_TRUE(io->CloseMidiOutPort(1));
    EXPECT_EQ(io->GetMidiOutEventCount(0), 0);
    ASSERT_TRUE(io->OpenMidiOutPort(1));
    ASSERT_TRUE(io.Send(2, {0x90, 9, 1}, at));
    io->ClearMidiOutBuffer(0);
    EXPECT_EQ(io->GetMidiOutEventCount(0), 0);
    PumpUntil([&] { return Diff(io->GetMasterClockTime(), at) > 3000; });
    EXPECT_EQ(io->GetMidiInEventCount(0), 0) << "a dropped message was sent";
    // The timer, left running by the clears, still serves new messages.
    ASSERT_TRUE(io.Send(1, {0x90, 5, 1}, Plus(io->GetMasterClockTime(), 200)));
    EXPECT_TRUE(PumpUntil([&] { return io->GetMidiInEventCount(1) == 1; }));
    // Closing an input discards what that port stored, and only that.
    ASSERT_TRUE(io.Send(2, {0x90, 6, 1}));
    ASSERT_TRUE(PumpUntil([&] { return io->GetMidiInEventCount(2) == 1; }));
    EXPECT_TRUE(io->CloseMidiInPort(1));
    EXPECT_EQ(io->GetMidiInEventCount(1) * 10 + io->GetMidiInEventCount(0), 1);
}

TEST_F(MidiIO, ScriptTimerTicksAndStops)
{
    Control other; // on the same thread: gets none of these ticks
    EXPECT_EQ(Call(io.disp, kCreateTimer).Arg(Long(100)).Bool(), "true");
    PumpFor(1000);
    EXPECT_GT(io.sink.ticks, 0);
    EXPECT_LT(io.sink.ticks, 40);
    EXPECT_EQ(other.sink.ticks, 0);
    for (long bad : {0L, -1L}) {
        EXPECT_EQ(Call(io.disp, kCreateTimer).Arg(Long(bad)).Bool(), "false") << bad;
        const int ticks = io.sink.ticks;
        PumpFor(300);
        EXPECT_EQ(io.sink.ticks, ticks) << "a timer still runs after CreateTimer(" << bad << ")";
    }
    // Ticks waiting in the queue when KillTimer returns never fire.
    ASSERT_TRUE(io->CreateTimer(10));
    Sleep(300);
    io->KillTimer();
    const int ticks = io.sink.ticks;
    PumpFor(300);
    EXPECT_EQ(io.sink.ticks, ticks);
    io->KillTimer(); // without a timer: nothing
}

// The first control opts the process out of timer throttling, the last one
// restores what was there; without the functions nothing is called.
ULONG g_throttleMasks = 0; // control mask << 8 | state mask, as last set
int g_throttleSets = 0;
BOOL WINAPI FakeGetThrottling(HANDLE, PROCESS_INFORMATION_CLASS cls, LPVOID info, DWORD size)
{
    auto* state = static_cast<PROCESS_POWER_THROTTLING_STATE*>(info);
    if (cls != ProcessPowerThrottling || size != sizeof *state)
        return FALSE;
    state->ControlMask = PROCESS_POWER_THROTTLING_EXECUTION_SPEED | PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
    state->StateMask = PROCESS_POWER_THROTTLING_EXECUTION_SPEED | PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
    return TRUE;
}
BOOL WINAPI FakeSetThrottling(HANDLE, PROCESS_INFORMATION_CLASS cls, LPVOID info, DWORD size)
{
    const auto* state = static_cast<const PROCESS_POWER_THROTTLING_STATE*>(info);
    if (cls != ProcessPowerThrottling || size != sizeof *state ||
        state->Version != PROCESS_POWER_THROTTLING_CURRENT_VERSION)
        return FALSE;
    g_throttleMasks = state->ControlMask << 8 | state->StateMask;
    ++g_throttleSets;
    return TRUE;
}

TEST_F(MidiIO, TimerThrottlingOptOutLastsWhileAControlExists)
{
    io.Release(); // no control may exist while the functions change
    tavro::ProcessPowerApi& api = tavro::TimerThrottlingApi();
    const tavro::ProcessPowerApi real = api;
    api = {&FakeGetThrottling, &FakeSetThrottling};
    {
        Control first, second;
        EXPECT_EQ(g_throttleSets, 1);
        EXPECT_EQ(g_throttleMasks, 0x501u) << "speed throttled as before, timer requests always honoured";
    }
    EXPECT_EQ(g_throttleSets, 2);
    EXPECT_EQ(g_throttleMasks, 0x505u) << "the previous state is back";
    api = {};
    {
        Control alone;
        EXPECT_TRUE(alone->CreateTimer(5));
        EXPECT_TRUE(PumpUntil([&] { return alone.sink.ticks > 2; })) << "the timer ticks without the functions";
    }
    EXPECT_EQ(g_throttleSets, 2);
    api = real;
}

// A host that frees unused libraries all the time (browsers, mshta and office
// applications do) while the OCX's timers tick and its input flows: nothing
// crashes, the OCX stays while it runs, and it goes once all has stopped.
TEST_F(MidiIO, UnusedLibrariesAreFreedOnlyWhenIdle)
{
    auto loaded = [] { return GetModuleHandleW(L"TAVRO.OCX") != nullptr; };
    for (int round = 0; round < 2; ++round) {
        {
            tavro::ComPtr<IDispatch> ctl;
            ASSERT_EQ(CoCreateInstance(CLSID_MidiIO, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                       reinterpret_cast<void**>(ctl.out())),
                      S_OK)
                << "the OCX is not registered in the loopback prefix";
            ASSERT_EQ(Call(ctl.get(), kOpenOut).Long(2).Bool(), "true");
            ASSERT_EQ(Call(ctl.get(), kOpenIn).Long(2).Bool(), "true");
            ASSERT_EQ(Call(ctl.get(), kCreateTimer).Long(1).Bool(), "true");
            for (int i = 0; i < 200; ++i) {
                Variant message;
                *message.get() = MakeArray({0x90, i % 128, 1});
                Call(ctl.get(), kSendMidiEvent).Long(2).Long(0).Ref(message.get()).Run();
                CoFreeUnusedLibraries();
                PumpFor(2);
            }
            EXPECT_TRUE(loaded());
            // Dropped with its timer running and messages on their way in.
        }
        EXPECT_TRUE(PumpUntil(
            [&] {
                CoFreeUnusedLibraries();
                return !loaded();
            },
            20000))
            << "the OCX stays loaded with nothing running";
    }
}

TEST_F(MidiIO, DestroyingABusyControlNeitherHangsNorLeaks)
{
    for (int round = 0; round < 3; ++round, PumpFor(50)) {
        Control busy;
        OpenCable(busy, 2);
        ASSERT_TRUE(busy->CreateTimer(5));
        for (int i = 0; i < 20; ++i)
            ASSERT_TRUE(busy.Send(2, {0x90, i, 1}, i % 2 ? Plus(busy->GetMasterClockTime(), 100000) : 0));
        ASSERT_TRUE(busy.Send(2, {0xF0, 1, 2, 3, 0xF7}));
        Sleep(50); // ticks and input notifications wait in the queue
    }
    OpenCable(io, 2); // the devices were released

    // A script may drop the control inside its own event handler.
    for (DISPID which : {CMidiIOCtrl::DISPID_OnMidiEvents, CMidiIOCtrl::DISPID_OnTimer}) {
        Control doomed, sender;
        ASSERT_TRUE(doomed->OpenMidiInPort(1));
        ASSERT_TRUE(doomed->CreateTimer(5));
        doomed.sink.onEvent = [&](DISPID id) {
            if (id == which)
                doomed.Release();
        };
        ASSERT_TRUE(sender->OpenMidiOutPort(1));
        ASSERT_TRUE(sender.Send(1, {0x90, 2, 2}));
        EXPECT_TRUE(PumpUntil([&] { return doomed.unknown == nullptr; })) << "event " << which;
        PumpFor(50);
    }
}

TEST_F(MidiIO, ClosingAnInputWhileSysExArrivesNeverWaitsOutItsBound)
{
    // Another control sends from a worker thread (an immediate send touches
    // only the port) while this one closes and reopens the input.
    Control sender;
    ASSERT_TRUE(sender->OpenMidiOutPort(1));
    ASSERT_TRUE(io->OpenMidiInPort(1));
    const Bytes sysex = {0xF0, 1, 2, 3, 4, 5, 6, 0xF7};
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        CoInitialize(nullptr);
        for (; !stop; Sleep(1))
            sender.Send(1, sysex);
        CoUninitialize();
    });
    // A close waits at most 4 s for the driver to hand back its buffer; one
    // that runs into that bound lost track of the buffer.
    int stalled = 0;
    for (int i = 0; i < 200 && stalled == 0; ++i) {
        Sleep(i % 4);
        const DWORD start = GetTickCount();
        io->CloseMidiInPort(1);
        stalled += GetTickCount() - start >= 3000;
        ASSERT_TRUE(io->OpenMidiInPort(1));
    }
    stop = true;
    worker.join();
    EXPECT_EQ(stalled, 0) << "a close waited for a buffer given back after its reset";
    io->ClearMidiInBuffer(0);
    ASSERT_TRUE(sender.Send(1, sysex));
    ASSERT_TRUE(PumpUntil([&] { return io->GetMidiInEventCount(0) > 0; }));
    EXPECT_EQ(io.Next().data, sysex);
}

} // namespace
