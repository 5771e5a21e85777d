// The MidiIO control end to end under Wine with the loopback MIDI driver
// (output n feeds input n): ports, the input store, scheduled output, the
// script timer and the events, seen through an advised sink and a pumped
// message loop, as a script host would see them.
#include "tests/wine/midiio_harness.h"

#include <atomic>
#include <thread>

namespace {

using namespace midiio_test;

class MidiIO : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        io = new Control;
        ASSERT_GE(io->c->GetMidiInPortCount(), 2) << "the loopback driver is not installed";
    }
    void TearDown() override
    {
        delete io;
        EXPECT_FALSE(tavro::ModuleInUse()) << "an object of the control outlived it";
        CoUninitialize();
    }
    // Opens output and input of cable n (output first: an open moves the
    // base of input stamps).
    void OpenCable(Control& ctl, long n)
    {
        ASSERT_TRUE(ctl.c->OpenMidiOutPort(n));
        ASSERT_TRUE(ctl.c->OpenMidiInPort(n));
    }
    Control* io = nullptr;
};

TEST_F(MidiIO, PortTableNamesKindsAndFind)
{
    CMidiIOCtrl* c = io->c;
    const long ins = c->GetMidiInPortCount(), outs = c->GetMidiOutPortCount();
    ASSERT_GE(outs, 2);
    for (long id = 1; id <= 2; ++id) {
        const std::string name = "Loopback MIDI " + std::to_string(id);
        EXPECT_EQ(c->GetMidiInPortName(id), name);
        EXPECT_EQ(c->GetMidiOutPortName(id), name);
        EXPECT_EQ(c->GetMidiInPortType(id), 1);
        EXPECT_EQ(c->GetMidiOutPortType(id), 1);
    }
    for (long id : {0L, -1L, ins + 1}) {
        EXPECT_EQ(c->GetMidiInPortName(id), "") << id;
        EXPECT_EQ(c->GetMidiInPortType(id), 0) << id;
    }
    EXPECT_EQ(c->GetMidiOutPortName(outs + 1), "");
    EXPECT_EQ(c->GetMidiOutPortType(outs + 1), 0);

    struct Find {
        const char* pattern;
        long mask, expected;
    };
    const Find finds[] = {
        {"*", 0, 1},  {"LOOPBACK midi 2", 1, 2}, {"*2", -5, 2},   {"loopback midi ?", 1, 1},
        {"*midi*", 7, 1}, {"loopback*", 6, 0},   {"*", 8, 0},     {"loopback midi", 0, 0},
        {"", 0, 0},   {"?oopback MIDI 2*", 3, 2},
    };
    for (const Find& f : finds) {
        EXPECT_EQ(c->FindMidiInPort(f.pattern, f.mask), f.expected) << f.pattern << " mask " << f.mask;
        EXPECT_EQ(c->FindMidiOutPort(f.pattern, f.mask), f.expected) << f.pattern << " mask " << f.mask;
    }
}

TEST_F(MidiIO, OpenCloseAndReopen)
{
    CMidiIOCtrl* c = io->c;
    const long ins = c->GetMidiInPortCount();
    struct Case {
        DISPID id;
        long port;
        const char* expected;
    };
    const Case opens[] = {
        {kOpenIn, 1, "true"}, {kOpenIn, 1, "true"}, // reopening an open port
        {kOpenIn, 0, "false"}, {kOpenIn, ins + 1, "false"}, {kOpenOut, 2, "true"}, {kOpenOut, -1, "false"},
    };
    for (const Case& k : opens)
        EXPECT_EQ(BoolOf(Call(io->disp, k.id, {Long(k.port)})), k.expected) << "DISPID " << k.id << " port " << k.port;

    EXPECT_FALSE(c->CloseMidiInPort(-1));
    EXPECT_FALSE(c->CloseMidiInPort(ins + 1));
    EXPECT_TRUE(c->CloseMidiInPort(2)); // never opened
    EXPECT_TRUE(c->CloseMidiInPort(1));
    EXPECT_TRUE(c->CloseMidiInPort(1));
    EXPECT_TRUE(c->CloseMidiOutPort(0));
    EXPECT_FALSE(io->Send(2, 0, {0x90, 1, 1})) << "sent on a closed port";

    // Closed devices are free again: a second control can open them all.
    Control other;
    for (long n = 1; n <= 2; ++n) {
        EXPECT_TRUE(other.c->OpenMidiInPort(n)) << n;
        EXPECT_TRUE(other.c->OpenMidiOutPort(n)) << n;
    }
    EXPECT_FALSE(c->OpenMidiInPort(1)) << "a device is open in one control only";
    EXPECT_TRUE(other.c->CloseMidiInPort(0));
    EXPECT_TRUE(c->OpenMidiInPort(1));
}

TEST_F(MidiIO, MessagesLoopBackWithPortAndTime)
{
    OpenCable(*io, 1);
    OpenCable(*io, 2);
    struct Case {
        long port;
        Bytes sent, received;
    };
    const Case cases[] = {
        {1, {0x90, 0x3C, 0x64}, {0x90, 0x3C, 0x64}},                 // note on
        {2, {0x190, 0x13C, -156}, {0x90, 0x3C, 0x64}},               // low 8 bits
        {1, {0xC0, 0x05, 0x00}, {0xC0, 0x05, 0x00}},                 // program change as 3
        {2, {0xC1, 0x07}, {0xC1, 0x07, 0x00}},                       // 2 bytes: long path
        {1, {0xF8}, {0xF8, 0x00, 0x00}},                             // real time: 3 bytes
        {2, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
        {1, {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}},
    };
    for (const Case& k : cases) {
        const long before = io->c->GetMasterClockTime();
        const long sysBefore = io->c->GetSystemTime();
        // The script's form: an array variable passed by reference.
        Variant array;
        *array.get() = MakeArray(k.sent);
        EXPECT_EQ(BoolOf(Call(io->disp, kSendMidiEvent, {Long(k.port), Long(0), ByRef(array.get())})), "true")
            << Hex(k.sent);
        ASSERT_TRUE(PumpUntil([&] { return io->c->GetMidiInEventCount(0) == 1; })) << Hex(k.sent) << " did not arrive";
        EXPECT_EQ(io->c->GetMidiInEventCount(k.port), 1);
        EXPECT_EQ(io->c->GetMidiInEventCount(3 - k.port), 0);
        EXPECT_EQ(io->c->GetMidiInEvent(0, 2, 0), k.port);
        EXPECT_EQ(io->c->GetMidiInEvent(0, 3, 0), static_cast<long>(k.received.size()));
        EXPECT_EQ(io->c->GetMidiInEvent(0, 4, -1), 0);
        EXPECT_EQ(io->c->GetMidiInEvent(0, 4, static_cast<long>(k.received.size())), 0);
        EXPECT_EQ(io->c->GetMidiInEvent(0, 5, 0), 0);
        EXPECT_EQ(io->c->GetMidiInEvent(1, 3, 0), 0);
        // The port's stamp is on the system millisecond clock, in 0.1 ms
        // (shifted by the later opens, which move its base: a wide bound).
        const long stamp = io->c->GetMidiInEvent(0, 0, 0);
        const long sysAfter = io->c->GetSystemTime();
        EXPECT_GE(Diff(stamp, sysBefore * 10u), -10000) << Hex(k.sent);
        EXPECT_LE(Diff(stamp, sysAfter * 10u), 10000) << Hex(k.sent);
        const long received = io->c->GetMidiInEvent(0, 1, 0);

        long port = 0, time = 0;
        EXPECT_EQ(Hex(io->Next(&port, &time)), Hex(k.received)) << "sent " << Hex(k.sent);
        EXPECT_EQ(port, k.port);
        EXPECT_EQ(time, received);
        EXPECT_GE(Diff(time, before), 0);
        EXPECT_LE(Diff(time, io->c->GetMasterClockTime()), 0);
    }
    // Empty store: 0 and three empty VARIANTs.
    Variant p, t, d;
    *p.get() = Long(7);
    Result r = Call(io->disp, kGetNextEvent, {ByRef(p.get()), ByRef(t.get()), ByRef(d.get())});
    EXPECT_EQ(r->vt, VT_I4);
    EXPECT_EQ(r->lVal, 0);
    EXPECT_EQ(p->vt, VT_EMPTY);
    EXPECT_EQ(t->vt, VT_EMPTY);
    EXPECT_EQ(d->vt, VT_EMPTY);
    EXPECT_EQ(io->c->GetMidiInEvent(0, 3, 0), 0);
}

TEST_F(MidiIO, SysExLimitsOnBothSides)
{
    CMidiIOCtrl* c = io->c;
    struct Limit {
        long size;
        bool accepted;
    };
    const Limit limits[] = {{-1, true}, {65535, true}, {65536, false}, {-2, false}, {0, true}, {512, true}};
    for (bool open : {false, true}) {
        if (open)
            OpenCable(*io, 1);
        for (const Limit& l : limits) {
            EXPECT_EQ(c->SetMidiInSysLen(1, l.size) != 0, l.accepted) << l.size << (open ? " open" : " closed");
            EXPECT_EQ(c->SetMidiOutSysLen(1, l.size) != 0, l.accepted) << l.size << (open ? " open" : " closed");
        }
    }
    EXPECT_FALSE(c->SetMidiInSysLen(0, 16));
    EXPECT_FALSE(c->SetMidiOutSysLen(c->GetMidiOutPortCount() + 1, 16));

    auto sysex = [](size_t n) {
        Bytes b(n, 0x11);
        b.front() = 0xF0;
        b.back() = 0xF7;
        return b;
    };
    // Sizes set on open ports reopen them; what arrives is a round trip.
    struct Trip {
        long outSize, inSize;
        size_t length;
        bool sent, arrives;
    };
    const Trip trips[] = {
        {8, 512, 8, true, true},      {8, 512, 9, false, false}, {0, 512, 6, false, false},
        {-1, -1, 512, true, true},    {-1, -1, 513, false, false}, {65535, 65535, 4000, true, true},
        {512, 0, 6, true, false},
    };
    for (const Trip& t : trips) {
        ASSERT_TRUE(c->SetMidiOutSysLen(1, t.outSize));
        ASSERT_TRUE(c->SetMidiInSysLen(1, t.inSize));
        const Bytes b = sysex(t.length);
        EXPECT_EQ(io->Send(1, 0, b), t.sent) << t.length << " bytes, out size " << t.outSize;
        // A note behind it tells when the cable has delivered everything.
        EXPECT_TRUE(io->Send(1, 0, {0x80, 1, 0}));
        ASSERT_TRUE(PumpUntil([&] { return c->GetMidiInEvent(c->GetMidiInEventCount(0) - 1, 4, 0) == 0x80; }));
        EXPECT_EQ(c->GetMidiInEventCount(1), t.arrives ? 2 : 1) << t.length << " bytes, in size " << t.inSize;
        if (t.arrives) {
            EXPECT_EQ(io->Next(), b) << t.length << " bytes";
        }
        c->ClearMidiInBuffer(0);
    }
}

TEST_F(MidiIO, FullStoreDropsTheNewest)
{
    // Both cables share the driver's one delivery thread: a note of the
    // second control, sent last, arrives after all of the first's.
    Control other;
    OpenCable(*io, 1);
    OpenCable(other, 2);
    auto sendBurst = [&](int n) {
        for (int i = 0; i < n; ++i)
            EXPECT_TRUE(io->Send(1, 0, {0x90, i, 1}));
        other.c->ClearMidiInBuffer(0);
        EXPECT_TRUE(other.Send(2, 0, {0x80, 0, 0}));
        ASSERT_TRUE(PollUntil([&] { return other.c->GetMidiInEventCount(0) == 1; }));
    };
    io->c->SetMidiInMaxEventCount(5);
    sendBurst(8);
    ASSERT_EQ(io->c->GetMidiInEventCount(0), 5);
    for (long i = 0; i < 5; ++i)
        EXPECT_EQ(io->c->GetMidiInEvent(i, 4, 1), i) << "the oldest stay";

    io->c->SetMidiInMaxEventCount(3); // lowering keeps what is stored
    EXPECT_EQ(io->c->GetMidiInEventCount(0), 5);
    io->Next();
    sendBurst(1);
    EXPECT_EQ(io->c->GetMidiInEventCount(0), 4);

    io->c->SetMidiInMaxEventCount(-5);
    io->c->ClearMidiInBuffer(0);
    sendBurst(2);
    EXPECT_EQ(io->c->GetMidiInEventCount(0), 0);
}

TEST_F(MidiIO, StoredMessagesRaiseOneEventAndTheHandlerCanRead)
{
    OpenCable(*io, 1);
    std::vector<long> countsInHandler;
    io->sink.onMidi = [&] {
        countsInHandler.push_back(io->c->GetMidiInEventCount(0));
        while (!io->Next().empty()) {
        }
    };
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(io->Send(1, 0, {0x90, i, 100}));
    ASSERT_TRUE(PollUntil([&] { return io->c->GetMidiInEventCount(0) == 10; }));
    PumpFor(300);
    EXPECT_EQ(countsInHandler, std::vector<long>({10}));
    EXPECT_EQ(io->c->GetMidiInEventCount(0), 0);

    // Disabled: stored and counted, no event; enabling announces nothing old.
    io->c->EnableMidiInEventHandler(0);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(io->Send(1, 0, {0x90, i, 100}));
    ASSERT_TRUE(PumpUntil([&] { return io->c->GetMidiInEventCount(1) == 3; }));
    PumpFor(200);
    io->c->EnableMidiInEventHandler(1);
    PumpFor(200);
    EXPECT_EQ(io->sink.midiEvents, 1);
    ASSERT_TRUE(io->Send(1, 0, {0x90, 1, 1}));
    EXPECT_TRUE(PumpUntil([&] { return io->sink.midiEvents == 2; }));
    EXPECT_EQ(countsInHandler.back(), 4);
}

TEST_F(MidiIO, ScheduledMessagesLeaveInTimeOrder)
{
    OpenCable(*io, 1);
    CMidiIOCtrl* c = io->c;
    // Offsets in 0.1 ms from now; note numbers tell the calls apart.
    struct Scheduled {
        long offset;
        int note;
    };
    const Scheduled plan[] = {{3000, 1}, {1000, 2}, {2000, 3}, {1000, 4}, {500, 5}, {2000, 6}, {0, 7}, {-50, 8}};
    const Bytes expectedOrder = {7, 8, 5, 2, 4, 3, 6, 1}; // immediate first, then by time, ties in call order
    Variant reused;
    *reused.get() = MakeArray({0x90, 0, 1});
    const long now = c->GetMasterClockTime();
    std::vector<long> due(16, 0);
    for (const Scheduled& s : plan) {
        // The same script array for every call: the queue keeps a copy.
        LONG index = 1;
        VARIANT note = Long(s.note);
        SafeArrayPutElement(reused->parray, &index, &note);
        const long time = s.offset == 0 ? 0 : Plus(now, s.offset);
        due[s.note] = s.offset <= 0 ? 0 : time;
        EXPECT_TRUE(c->SendMidiEvent(1, time, reused.get())) << "note " << s.note;
    }
    EXPECT_EQ(c->GetMidiOutEventCount(0), 6);
    EXPECT_EQ(c->GetMidiOutEventCount(1), 6);
    EXPECT_EQ(c->GetMidiOutEventCount(2), 0);
    EXPECT_EQ(c->GetMidiOutEventCount(c->GetMidiOutPortCount() + 1), 0);

    ASSERT_TRUE(PumpUntil([&] { return c->GetMidiInEventCount(0) == 8; }, 10000));
    Bytes order;
    for (int i = 0; i < 8; ++i) {
        long time = 0;
        Bytes b = io->Next(nullptr, &time);
        ASSERT_EQ(b.size(), 3u);
        order.push_back(b[1]);
        // Not before its time less the 0.5 ms lead (and the clock's 0.1 ms
        // truncation); a generous bound above.
        if (due[b[1]]) {
            EXPECT_GE(Diff(time, due[b[1]]), -10) << "note " << b[1];
            EXPECT_LT(Diff(time, due[b[1]]), 10000) << "note " << b[1];
        }
    }
    EXPECT_EQ(Hex(order), Hex(expectedOrder));
    EXPECT_TRUE(PumpUntil([&] { return c->GetMidiOutEventCount(0) == 0; }));
}

TEST_F(MidiIO, LongMessagesFromTheTimerAndTheScriptDoNotMix)
{
    // The send timer and the control's thread share the port's one header:
    // one tick sends a batch that is all due at once while this thread sends
    // its own batch.
    OpenCable(*io, 1);
    CMidiIOCtrl* c = io->c;
    constexpr int kEach = 100;
    auto sysex = [](int source, int i) { return Bytes{0xF0, 0x7D, source, i, i, i, i, i, i, 0xF7}; };
    const long due = Plus(c->GetMasterClockTime(), 500);
    for (int i = 0; i < kEach; ++i)
        ASSERT_TRUE(io->Send(1, due, sysex(1, i)));
    PollUntil([&] { return Diff(c->GetMasterClockTime(), due) >= -2; });
    for (int i = 0; i < kEach; ++i)
        EXPECT_TRUE(io->Send(1, 0, sysex(2, i))) << i;
    ASSERT_TRUE(PumpUntil([&] { return c->GetMidiOutEventCount(0) == 0; }));
    PumpFor(100);
    // The input has one buffer, so some may be lost; none may be mixed.
    std::vector<bool> seen(2 * kEach, false);
    int received = 0;
    for (Bytes b = io->Next(); !b.empty(); b = io->Next(), ++received) {
        ASSERT_EQ(b.size(), 10u) << Hex(b);
        const int source = b[2], i = b[3];
        EXPECT_EQ(Hex(b), Hex(sysex(source, i)));
        ASSERT_TRUE((source == 1 || source == 2) && i < kEach) << Hex(b);
        EXPECT_FALSE(seen[(source - 1) * kEach + i]) << "twice: " << Hex(b);
        seen[(source - 1) * kEach + i] = true;
    }
    EXPECT_GT(received, 0);
}

TEST_F(MidiIO, SendRefusesBadArgumentsAndClosedPorts)
{
    OpenCable(*io, 1);
    CMidiIOCtrl* c = io->c;
    const long later = Plus(c->GetMasterClockTime(), 50000);
    SAFEARRAYBOUND bounds[2] = {{3, 0}, {1, 0}};
    VARIANT twoDim;
    twoDim.vt = VT_ARRAY | VT_VARIANT;
    twoDim.parray = SafeArrayCreate(VT_VARIANT, 2, bounds);
    VARIANT unconvertible = MakeArray({0x90, 1, 1});
    {
        Variant text;
        text->vt = VT_BSTR;
        text->bstrVal = SysAllocString(L"x");
        LONG i = 2;
        SafeArrayPutElement(unconvertible.parray, &i, text.get());
    }
    struct Case {
        const char* what;
        long port, time;
        VARIANT arg;
    };
    std::vector<Case> cases = {
        {"port 0", 0, 0, MakeArray({0x90, 1, 1})},
        {"port past the end", c->GetMidiOutPortCount() + 1, 0, MakeArray({0x90, 1, 1})},
        {"a number", 1, 0, Long(5)},
        {"two dimensions", 1, 0, twoDim},
        {"unconvertible element", 1, 0, unconvertible},
        {"closed port now", 2, 0, MakeArray({0x90, 1, 1})},
        {"closed port later", 2, later, MakeArray({0x90, 1, 1})},
    };
    for (Case& k : cases) {
        EXPECT_EQ(BoolOf(Call(io->disp, kSendMidiEvent, {Long(k.port), Long(k.time), ByRef(&k.arg)})), "false")
            << k.what;
        VariantClear(&k.arg);
    }
    EXPECT_EQ(c->GetMidiOutEventCount(0), 0);
    PumpFor(100);
    EXPECT_EQ(c->GetMidiInEventCount(0), 0);
}

TEST_F(MidiIO, ClearAndCloseDropQueuedMessages)
{
    CMidiIOCtrl* c = io->c;
    OpenCable(*io, 1);
    OpenCable(*io, 2);
    const long at = Plus(c->GetMasterClockTime(), 3000);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(io->Send(1, Plus(at, i), {0x90, i, 1}));
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(io->Send(2, at, {0x90, i, 1}));
    c->ClearMidiOutBuffer(2);
    EXPECT_EQ(c->GetMidiOutEventCount(2), 0);
    EXPECT_EQ(c->GetMidiOutEventCount(1), 3);
    EXPECT_TRUE(c->CloseMidiOutPort(1));
    EXPECT_EQ(c->GetMidiOutEventCount(0), 0);
    ASSERT_TRUE(c->OpenMidiOutPort(1));
    ASSERT_TRUE(io->Send(2, at, {0x90, 9, 1}));
    c->ClearMidiOutBuffer(0);
    EXPECT_EQ(c->GetMidiOutEventCount(0), 0);
    // Well past their time nothing has arrived.
    PumpUntil([&] { return Diff(c->GetMasterClockTime(), at) > 3000; });
    EXPECT_EQ(c->GetMidiInEventCount(0), 0);
    // The timer, left running by the clears, still serves new messages.
    ASSERT_TRUE(io->Send(1, Plus(c->GetMasterClockTime(), 200), {0x90, 5, 1}));
    EXPECT_TRUE(PumpUntil([&] { return c->GetMidiInEventCount(1) == 1; }));
}

TEST_F(MidiIO, ScriptTimerTicksAndStops)
{
    Sink& sink = io->sink;
    EXPECT_EQ(BoolOf(Call(io->disp, kCreateTimer, {Long(100)})), "true");
    PumpFor(1000);
    EXPECT_GT(sink.ticks, 0);
    EXPECT_LT(sink.ticks, 40);

    for (long bad : {0L, -1L}) {
        EXPECT_EQ(BoolOf(Call(io->disp, kCreateTimer, {Long(bad)})), "false") << bad;
        const int ticks = sink.ticks;
        PumpFor(300);
        EXPECT_EQ(sink.ticks, ticks) << "a timer still runs after CreateTimer(" << bad << ")";
    }

    // Ticks waiting in the queue when KillTimer returns never fire.
    ASSERT_TRUE(io->c->CreateTimer(10));
    Sleep(300);
    io->c->KillTimer();
    const int ticks = sink.ticks;
    PumpFor(300);
    EXPECT_EQ(sink.ticks, ticks);
    io->c->KillTimer(); // without a timer: nothing
}

TEST_F(MidiIO, TwoControlsGetOnlyTheirOwnEvents)
{
    Control other;
    OpenCable(*io, 1);
    OpenCable(other, 2);
    ASSERT_TRUE(other.c->CreateTimer(50));
    ASSERT_TRUE(io->Send(1, 0, {0x90, 1, 1}));
    ASSERT_TRUE(PumpUntil([&] { return io->sink.midiEvents == 1 && other.sink.ticks >= 2; }));
    ASSERT_TRUE(other.Send(2, 0, {0x90, 2, 2}));
    ASSERT_TRUE(PumpUntil([&] { return other.sink.midiEvents == 1; }));
    PumpFor(100);
    EXPECT_EQ(io->sink.midiEvents, 1);
    EXPECT_EQ(io->sink.ticks, 0);
    EXPECT_EQ(io->c->GetMidiInEventCount(0), 1);
    EXPECT_EQ(other.c->GetMidiInEventCount(0), 1);
}

TEST_F(MidiIO, DestroyingABusyControlNeitherHangsNorLeaks)
{
    for (int round = 0; round < 3; ++round) {
        auto* busy = new Control;
        OpenCable(*busy, 2);
        ASSERT_TRUE(busy->c->CreateTimer(5));
        for (int i = 0; i < 20; ++i)
            ASSERT_TRUE(busy->Send(2, i % 2 ? Plus(busy->c->GetMasterClockTime(), 100000) : 0, {0x90, i, 1}));
        ASSERT_TRUE(busy->Send(2, 0, {0xF0, 1, 2, 3, 0xF7}));
        Sleep(50); // ticks and input notifications wait in the queue
        delete busy;
        PumpFor(50);
    }
    // The devices were released: this control opens them.
    OpenCable(*io, 2);

    // A script may drop the control inside its own event handler.
    for (DISPID which : {CMidiIOCtrl::DISPID_OnMidiEvents, CMidiIOCtrl::DISPID_OnTimer}) {
        Control doomed;
        ASSERT_TRUE(doomed.c->OpenMidiInPort(1));
        ASSERT_TRUE(doomed.c->CreateTimer(5));
        doomed.sink.onEvent = [&](DISPID id) {
            if (id == which)
                doomed.Release();
        };
        Control sender;
        ASSERT_TRUE(sender.c->OpenMidiOutPort(1));
        ASSERT_TRUE(sender.Send(1, 0, {0x90, 2, 2}));
        EXPECT_TRUE(PumpUntil([&] { return doomed.unknown == nullptr; })) << "event " << which;
        PumpFor(50);
    }
}

TEST_F(MidiIO, ClosingAnInputWhileSysExArrivesNeverWaitsOutItsBound)
{
    // A second control sends system-exclusive messages from a worker thread
    // (an immediate send touches only the port, which any thread may use)
    // while this one closes and reopens the receiving input again and again.
    Control sender;
    ASSERT_TRUE(sender.c->OpenMidiOutPort(1));
    ASSERT_TRUE(io->c->OpenMidiInPort(1));
    const Bytes sysex = {0xF0, 1, 2, 3, 4, 5, 6, 0xF7};
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        CoInitialize(nullptr);
        while (!stop) {
            sender.Send(1, 0, sysex);
            Sleep(1);
        }
        CoUninitialize();
    });
    // A close waits at most 4 s for the driver to hand back its buffer; one
    // that runs into that bound lost track of the buffer.
    int stalled = 0;
    for (int i = 0; i < 200 && stalled == 0; ++i) {
        Sleep(i % 4);
        const DWORD start = GetTickCount();
        io->c->CloseMidiInPort(1);
        if (GetTickCount() - start >= 3000)
            ++stalled;
        ASSERT_TRUE(io->c->OpenMidiInPort(1));
    }
    stop = true;
    worker.join();
    EXPECT_EQ(stalled, 0) << "a close waited for a buffer given back after its reset";
    io->c->ClearMidiInBuffer(0);
    ASSERT_TRUE(sender.Send(1, 0, sysex));
    ASSERT_TRUE(PumpUntil([&] { return io->c->GetMidiInEventCount(0) > 0; }));
    EXPECT_EQ(io->Next(), sysex);
}

} // namespace
