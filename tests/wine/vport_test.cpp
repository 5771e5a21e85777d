// Virtual MIDI ports: table entries, delivery within a process and between
// processes (peers run vport_peer.exe), listener limits, shared-block mapping.
#include "midi_test_util.h"
#include "ports/MidiPortVirtual.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

using namespace miditest;

Bytes Sequence(int n)
{
    Bytes v;
    for (int i = 0; i < n; ++i)
        v.push_back(i & 0xFF);
    return v;
}
// A message array whose middle element is text that is no number.
bool SendWithTextElement(Control& c, long port)
{
    Variant array;
    MakeArray(array.get(), {0x90, 0, 100});
    Variant text;
    text->vt = VT_BSTR;
    text->bstrVal = SysAllocString(L"sixty");
    LONG at = 1;
    SafeArrayPutElement(array->parray, &at, text.get());
    return c->SendMidiEvent(port, 0, array.get());
}
const VirtualPortBlock* Block(int k) { return CMidiPortVirtual::MappedBlock(k); }

TEST(VirtualPorts, TableNamesKindsAndSearch)
{
    Control c; // no MIDI devices here: the tables hold just the virtual ports
    ASSERT_EQ(c->GetMidiInPortCount(), 32);
    ASSERT_EQ(c->GetMidiOutPortCount(), 32);
    for (int id = 1; id <= 32; ++id) {
        char name[16];
        snprintf(name, sizeof name, "Tavro %02d", id);
        EXPECT_EQ(c->GetMidiInPortName(id) + c->GetMidiOutPortName(id), std::string(name) + name);
        EXPECT_EQ(c->GetMidiInPortType(id) * 10 + c->GetMidiOutPortType(id), 44) << id;
    }
    const struct {
        const char* pattern;
        long type, id;
    } cases[] = {{"tavro 0?", 4, 1}, {"TAVRO 03", 4, 3}, {"TAVRO 03", 3, 0}, {"*", 8, 0},
                 {"*32", 7, 32},     {"tavro 1?", -5, 10}, {"tavro 33", 4, 0}};
    for (const auto& t : cases) {
        EXPECT_EQ(c->FindMidiInPort(t.pattern, t.type), t.id) << t.pattern << " type " << t.type;
        EXPECT_EQ(c->FindMidiOutPort(t.pattern, t.type), t.id) << t.pattern << " type " << t.type;
    }
}

// A listener on the sender's thread gets each message inside the send,
// stamped at reception; with nobody listening nothing is examined.
TEST(VirtualPorts, SameThreadDeliveryAndSendRules)
{
    Control c;
    const long out = c.Out(0);
    EXPECT_FALSE(c.Send(out, {0x90, 1, 2})) << "closed port";
    ASSERT_TRUE(c->OpenMidiInPort(c.In(0)));
    ASSERT_TRUE(c->OpenMidiOutPort(out));
    ASSERT_TRUE(c->OpenMidiOutPort(out)); // reopening counts the port once
    EXPECT_EQ(Block(0)->outputCount, 1u);
    for (int length : {3, 0, 1, 128, 129, 1000}) {
        const long before = c->GetMasterClockTime();
        EXPECT_EQ(c.Send(out, Sequence(length)), length <= 128) << "length " << length;
        const long after = c->GetMasterClockTime();
        // No message was handled: the event is already stored.
        ASSERT_EQ(c->GetMidiInEventCount(0), length <= 128 ? 1 : 0) << "length " << length;
        if (length > 128)
            continue;
        EXPECT_EQ(c->GetMidiInEvent(0, 0, 0), c->GetMidiInEvent(0, 1, 0)) << "port time is the reception time";
        const Received r = c.Next();
        EXPECT_EQ(r.port, c.In(0));
        EXPECT_EQ(r.data, Sequence(length));
        EXPECT_TRUE(r.time >= before && r.time <= after) << r.time << " not in [" << before << ", " << after << "]";
    }
    EXPECT_TRUE(c.Send(out, {0x1F0, -1, 0x7F})); // elements keep their low byte
    EXPECT_EQ(c.Next().data, (Bytes{0xF0, 0xFF, 0x7F}));
    EXPECT_FALSE(SendWithTextElement(c, out));
    EXPECT_TRUE(c->SetMidiOutSysLen(out, 0)) << "accepted, no effect";
    EXPECT_TRUE(c.Send(out, {0xF0, 1, 2, 3, 0xF7}));
    EXPECT_EQ(c.Next().data, (Bytes{0xF0, 1, 2, 3, 0xF7}));

    ASSERT_TRUE(c->CloseMidiInPort(0));
    EXPECT_TRUE(c.Send(out, Sequence(129))) << "nobody listens: not examined";
    EXPECT_TRUE(SendWithTextElement(c, out)) << "nobody listens: not converted";
    ASSERT_TRUE(c->CloseMidiOutPort(out));
    EXPECT_TRUE(c->CloseMidiOutPort(out)) << "closing a closed port";
    EXPECT_FALSE(c.Send(out, {0x90, 1, 2}));
}

// The receiving window delivers only to its own open virtual inputs: a closed
// port's identifier, another control's, a forged one or a bad length are ignored.
TEST(VirtualPorts, WindowIgnoresForeignIdentifiers)
{
    const int k = 3;
    Control a, b;
    ASSERT_TRUE(a->OpenMidiInPort(a.In(k)));
    ASSERT_TRUE(a->OpenMidiOutPort(a.Out(k))); // keeps the block mapped
    const uint32_t firstId = Block(k)->slots[0].receiverPort;
    ASSERT_EQ(Block(k)->slots[0].receiverWindow, HandleToULong(a->NotifyWindow()));
    ASSERT_TRUE(a->CloseMidiInPort(a.In(k)));
    EXPECT_EQ(Block(k)->slots[0].inUse, 0u);
    ASSERT_TRUE(a->OpenMidiInPort(a.In(k)));
    const uint32_t aId = Block(k)->slots[0].receiverPort;
    EXPECT_NE(aId, firstId) << "a reopened port gets a fresh identifier";
    ASSERT_TRUE(b->OpenMidiInPort(b.In(k)));
    const struct {
        WPARAM id;
        LPARAM length;
        LRESULT result;
    } cases[] = {
        {aId, 3, 1},        {firstId, 3, 0},  {Block(k)->slots[1].receiverPort, 3, 0}, {0, 3, 0},
        {0xDEADBEEF, 3, 0}, {aId, 129, 0},    {aId, -1, 0},                            {aId, 128, 1},
        // High bits of a 64-bit wParam; a 32-bit wParam drops them (then it is aId).
        {static_cast<WPARAM>(aId | static_cast<uint64_t>(1) << 40), 3, sizeof(WPARAM) == 4},
    };
    for (const auto& t : cases) {
        const long stored = a->GetMidiInEventCount(0);
        EXPECT_EQ(SendMessageA(a->NotifyWindow(), WM_VIRTUALMIDI, t.id, t.length), t.result)
            << "id " << t.id << " length " << t.length;
        EXPECT_EQ(a->GetMidiInEventCount(0), stored + t.result) << "id " << t.id;
    }
    EXPECT_EQ(b->GetMidiInEventCount(0), 0);
}

// One message reaches two peers' listeners and this process's own, once each.
TEST(VirtualPorts, EveryListenerInEveryProcessReceivesOnce)
{
    const int k = 4;
    NamedEvent ready1("ready1"), ready2("ready2"), go("go");
    const std::string tail = " wait " + go.name() + " expect 4 2 144,60,100";
    Peer p1("open-in 4 1 signal " + ready1.name() + tail), p2("open-in 4 1 signal " + ready2.name() + tail);
    ASSERT_TRUE(ready1.WaitPumping());
    ASSERT_TRUE(ready2.WaitPumping());
    Control c;
    ASSERT_TRUE(c->OpenMidiInPort(c.In(k)));
    ASSERT_TRUE(c->OpenMidiOutPort(c.Out(k)));
    EXPECT_EQ(Block(k)->inputCount, 3u);
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(c.Send(c.Out(k), {144, 60, 100}));
    go.Set();
    EXPECT_EQ(p1.Finish(), 0);
    EXPECT_EQ(p2.Finish(), 0);
    EXPECT_EQ(c->GetMidiInEventCount(c.In(k)), 2);
}

// Messages from a peer's output arrive here: an empty one with length 0.
TEST(VirtualPorts, PeerSendsToThisProcess)
{
    const int k = 5;
    Control c;
    ASSERT_TRUE(c->OpenMidiInPort(c.In(k)));
    const long before = c->GetMasterClockTime();
    Peer p("open-out 5 1 send 5 - 1 send 5 240,1,2,3,247 1 send 5 n129 0");
    EXPECT_EQ(p.Finish(), 0);
    Received r = c.Next();
    EXPECT_EQ(r.port, c.In(k));
    EXPECT_EQ(r.data, Bytes());
    EXPECT_GE(Diff(r.time, before), 0);
    r = c.Next();
    EXPECT_EQ(r.data, (Bytes{240, 1, 2, 3, 247}));
    EXPECT_LE(Diff(r.time, c->GetMasterClockTime()), 0);
    EXPECT_EQ(c.Next().port, -1) << "the 129-element message was delivered";
}

// Listeners in every process count toward the ten: with one in a peer and
// nine here, a tenth here and one in a second peer are refused, and 129
// elements are refused while they listen; a closed slot is free again.
TEST(VirtualPorts, ListenerLimitSpansProcesses)
{
    const int k = 6;
    NamedEvent ready("ready"), go("go");
    Peer peer("open-in 6 1 signal " + ready.name() + " wait " + go.name());
    ASSERT_TRUE(ready.WaitPumping());
    // The peer's listener and nine here make ten: the tenth here is refused.
    std::vector<std::unique_ptr<Control>> listeners;
    for (int i = 0; i < 10; ++i) {
        listeners.push_back(std::make_unique<Control>());
        EXPECT_EQ((*listeners[i])->OpenMidiInPort(listeners[i]->In(k)), i < 9) << "listener " << i;
    }
    // 129 bytes are refused while anyone listens; 128 reach every listener,
    // the peer's included (it handles sent messages while it waits).
    Control sender;
    ASSERT_TRUE(sender->OpenMidiOutPort(sender.Out(k)));
    EXPECT_FALSE(sender.Send(sender.Out(k), Sequence(129)));
    EXPECT_TRUE(sender.Send(sender.Out(k), Sequence(128)));
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ((*listeners[i])->GetMidiInEventCount(0), 1) << "listener " << i;
    ASSERT_TRUE((*listeners[0])->CloseMidiInPort(0));
    EXPECT_TRUE((*listeners[9])->OpenMidiInPort(listeners[9]->In(k)));
    go.Set();
    EXPECT_EQ(peer.Finish(), 0);
}

// Closing the last port of an index unmaps the block here; reopening finds
// the other process's counts, and a block nobody holds starts from zero.
TEST(VirtualPorts, LastCloseUnmapsAndReopenFindsOtherCounts)
{
    const int k = 7;
    NamedEvent ready("ready"), go("go");
    Peer p("open-in 7 1 open-out 7 1 signal " + ready.name() + " wait " + go.name() + " count 7 2 1");
    ASSERT_TRUE(ready.WaitPumping());
    Control c;
    auto counts = [&] { return Block(k) ? Block(k)->inputCount * 10 + Block(k)->outputCount : 999u; };
    ASSERT_TRUE(c->OpenMidiInPort(c.In(k)));
    ASSERT_TRUE(c->OpenMidiOutPort(c.Out(k)));
    EXPECT_EQ(counts(), 22u);
    ASSERT_TRUE(c->CloseMidiInPort(c.In(k)));
    EXPECT_EQ(counts(), 12u) << "the output still holds it";
    ASSERT_TRUE(c->CloseMidiOutPort(c.Out(k)));
    EXPECT_EQ(Block(k), nullptr);
    ASSERT_TRUE(c->OpenMidiInPort(c.In(k)));
    EXPECT_EQ(counts(), 21u);
    go.Set(); // the peer checks it sees this process's input, then closes
    EXPECT_EQ(p.Finish(), 0);
    EXPECT_EQ(counts(), 10u);
    ASSERT_TRUE(c->CloseMidiInPort(0));
    ASSERT_TRUE(c->OpenMidiOutPort(c.Out(k)));
    EXPECT_EQ(counts(), 1u);
    EXPECT_EQ(Block(k)->slots[0].inUse, 0u);
}

// A listener whose process ended without closing leaves its slot; sending
// to it neither hangs nor fails.
TEST(VirtualPorts, StaleSlotOfEndedProcessDoesNotBlockSenders)
{
    const int k = 8;
    NamedEvent ready("ready"), never("never");
    Control c;
    ASSERT_TRUE(c->OpenMidiOutPort(c.Out(k))); // keeps the block alive
    {
        Peer p("open-in 8 1 signal " + ready.name() + " wait " + never.name());
        ASSERT_TRUE(ready.WaitPumping());
        TerminateProcess(p.process(), 1);
    }
    EXPECT_EQ(Block(k)->slots[0].inUse, 1u);
    EXPECT_TRUE(c.Send(c.Out(k), {0x90, 1, 1}));
    ASSERT_TRUE(c->OpenMidiInPort(c.In(k)));
    EXPECT_TRUE(c.Send(c.Out(k), {0x90, 2, 2}));
    EXPECT_EQ(c.Next().data, (Bytes{0x90, 2, 2}));
}

// The send timer's thread and the control's thread may send on one port at
// once while the control listens on that index: a thread waiting for the port
// must still take the messages sent to its window, or both block for good.
// Closing in the middle must not block either.
TEST(VirtualPorts, SendsFromTwoThreadsOfOneControlDoNotBlockEachOther)
{
    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 1200 && !finished; ++i)
            Sleep(100);
        if (!finished) {
            printf("FAIL: threads blocked each other for 120 s\n");
            fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    });
    {
        Control c;
        const long in = c.In(9), out = c.Out(9);
        ASSERT_TRUE(c->OpenMidiInPort(in));
        ASSERT_TRUE(c->OpenMidiOutPort(out));
        c->SetMidiInMaxEventCount(100000);
        const int each = 300;
        std::atomic<int> otherSent{0}, lateFailed{0};
        std::thread other([&] {
            for (int i = 0; i < each; ++i)
                otherSent += c.Send(out, {0x91, i & 0x7F, 1});
        });
        int sent = 0;
        for (int i = 0; i < each; ++i, Pump())
            sent += c.Send(out, {0x90, i & 0x7F, 1});
        PumpUntil([&] { return c->GetMidiInEventCount(in) >= sent + otherSent; }, 60000);
        other.join();
        EXPECT_EQ(sent + otherSent, 2 * each);
        EXPECT_EQ(c->GetMidiInEventCount(in), 2 * each);

        std::thread late([&] {
            for (int i = 0; i < each; ++i)
                lateFailed += !c.Send(out, {0x92, 0, 0});
        });
        PumpUntil([&] { return c->GetMidiInEventCount(in) >= 2 * each + 20; }, 60000);
        EXPECT_TRUE(c->CloseMidiOutPort(out));
        PumpFor(50);
        late.join();
        EXPECT_GT(lateFailed.load(), 0) << "sends after the close succeeded";
    }
    finished = true;
    watchdog.join();
}

} // namespace
