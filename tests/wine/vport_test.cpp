// Virtual MIDI ports: the port table entries, delivery within a process
// and between processes (peers run vport_peer.exe), listener limits and
// the per-process mapping of the shared blocks.
#include "midi_test_util.h"
#include "midiio/midi_in_store.h"
#include "ports/MidiPortVirtual.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

using miditest::Control;
using miditest::NamedEvent;
using miditest::Peer;
using miditest::Received;
using miditest::VirtualInId;
using miditest::VirtualOutId;

// A message array whose middle element is text that is no number.
bool SendWithTextElement(CMidiIOCtrl* c, long port)
{
    VARIANT array;
    array.vt = VT_ARRAY | VT_VARIANT;
    array.parray = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    VARIANT* elements = nullptr;
    SafeArrayAccessData(array.parray, reinterpret_cast<void**>(&elements));
    elements[0].vt = VT_I4;
    elements[0].lVal = 0x90;
    elements[1].vt = VT_BSTR;
    elements[1].bstrVal = SysAllocString(L"sixty");
    elements[2].vt = VT_I4;
    elements[2].lVal = 100;
    SafeArrayUnaccessData(array.parray);
    const bool sent = c->SendMidiEvent(port, 0, &array);
    VariantClear(&array);
    return sent;
}

std::vector<int> Sequence(int n)
{
    std::vector<int> v;
    for (int i = 0; i < n; ++i)
        v.push_back(i & 0xFF);
    return v;
}

TEST(VirtualPorts, TableNamesKindsAndSearch)
{
    Control c;
    // No MIDI devices here: both tables hold just the virtual ports.
    ASSERT_EQ(c->GetMidiInPortCount(), 32);
    ASSERT_EQ(c->GetMidiOutPortCount(), 32);
    for (int k = 0; k < 32; ++k) {
        char expected[16];
        snprintf(expected, sizeof expected, "Tavro %02d", k + 1);
        EXPECT_EQ(c->GetMidiInPortName(k + 1), expected);
        EXPECT_EQ(c->GetMidiOutPortName(k + 1), expected);
        EXPECT_EQ(c->GetMidiInPortType(k + 1), 4);
        EXPECT_EQ(c->GetMidiOutPortType(k + 1), 4);
    }
    struct Case {
        const char* pattern;
        long type, in, out;
    } cases[] = {
        {"tavro 0?", 4, 1, 1}, {"TAVRO 03", 4, 3, 3}, {"TAVRO 03", 3, 0, 0}, {"*", 0, 1, 1},
        {"*", 8, 0, 0},        {"*32", 7, 32, 32},    {"tavro 1?", -5, 10, 10}, {"tavro 33", 4, 0, 0},
    };
    for (const Case& t : cases) {
        EXPECT_EQ(c->FindMidiInPort(t.pattern, t.type), t.in) << t.pattern << " type " << t.type;
        EXPECT_EQ(c->FindMidiOutPort(t.pattern, t.type), t.out) << t.pattern << " type " << t.type;
    }
}

// A listener on the sender's own thread gets each message inside the send,
// stamped with the reception time, for every length up to 128.
TEST(VirtualPorts, SameThreadDeliveryIsSynchronous)
{
    Control c;
    const int k = 0;
    ASSERT_TRUE(c->OpenMidiInPort(VirtualInId(c.get(), k)));
    ASSERT_TRUE(c->OpenMidiOutPort(VirtualOutId(c.get(), k)));
    for (int length : {3, 0, 1, 2, 127, 128, 129, 1000}) {
        const std::vector<int> message = Sequence(length);
        const long before = c->GetMasterClockTime();
        const BOOL sent = miditest::Send(c.get(), VirtualOutId(c.get(), k), message);
        const long after = c->GetMasterClockTime();
        const bool fits = length <= 128;
        EXPECT_EQ(sent != FALSE, fits) << "length " << length;
        // No message pumping happened: the event is already stored.
        ASSERT_EQ(c->GetMidiInEventCount(0), fits ? 1 : 0) << "length " << length;
        if (!fits)
            continue;
        EXPECT_EQ(c->GetMidiInEvent(0, tavro::kFieldPortTime, 0), c->GetMidiInEvent(0, tavro::kFieldReceivedTime, 0));
        Received r;
        ASSERT_TRUE(miditest::NextEvent(c.get(), r));
        EXPECT_EQ(r.port, VirtualInId(c.get(), k));
        EXPECT_EQ(r.data, message) << "length " << length;
        EXPECT_GE(r.time, before);
        EXPECT_LE(r.time, after);
    }
    // Elements are converted as scripts pass them; out-of-range keeps the low byte.
    EXPECT_TRUE(miditest::Send(c.get(), VirtualOutId(c.get(), k), {0x1F0, -1, 0x7F}));
    Received r;
    ASSERT_TRUE(miditest::NextEvent(c.get(), r));
    EXPECT_EQ(r.data, (std::vector<int>{0xF0, 0xFF, 0x7F}));
}

TEST(VirtualPorts, SendRulesWithoutListener)
{
    Control c;
    const int k = 1;
    const long out = VirtualOutId(c.get(), k);
    EXPECT_FALSE(miditest::Send(c.get(), out, {0x90, 1, 2})) << "closed port";
    ASSERT_TRUE(c->OpenMidiOutPort(out));
    EXPECT_TRUE(miditest::Send(c.get(), out, Sequence(129))) << "nobody listens: not examined";
    EXPECT_TRUE(SendWithTextElement(c.get(), out)) << "nobody listens: elements not converted";
    EXPECT_TRUE(miditest::Send(c.get(), out, {}));
    ASSERT_TRUE(c->CloseMidiOutPort(out));
    EXPECT_TRUE(c->CloseMidiOutPort(out)) << "closing a closed port";
    EXPECT_FALSE(miditest::Send(c.get(), out, {0x90, 1, 2}));
    // Opening twice reopens: the block counts the port once.
    ASSERT_TRUE(c->OpenMidiOutPort(out));
    ASSERT_TRUE(c->OpenMidiOutPort(out));
    const VirtualPortBlock* block = CMidiPortVirtual::MappedBlock(k);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->outputCount, 1u);
    EXPECT_TRUE(c->SetMidiOutSysLen(out, 0)) << "size has no effect but is accepted";
    EXPECT_TRUE(miditest::Send(c.get(), out, {0xF0, 1, 2, 3, 0xF7}));
}

// Ten listeners of one index (here ten controls of this process) each get
// every message once; the eleventh cannot open until one closes.
TEST(VirtualPorts, TenListenersAndNoEleventh)
{
    const int k = 2;
    std::vector<std::unique_ptr<Control>> listeners;
    for (int i = 0; i < 11; ++i)
        listeners.push_back(std::make_unique<Control>());
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE((*listeners[i])->OpenMidiInPort(VirtualInId(listeners[i]->get(), k))) << "listener " << i;
    Control& eleventh = *listeners[10];
    EXPECT_FALSE(eleventh->OpenMidiInPort(VirtualInId(eleventh.get(), k)));
    const VirtualPortBlock* block = CMidiPortVirtual::MappedBlock(k);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->inputCount, 10u);

    Control sender;
    ASSERT_TRUE(sender->OpenMidiOutPort(VirtualOutId(sender.get(), k)));
    EXPECT_FALSE(miditest::Send(sender.get(), VirtualOutId(sender.get(), k), Sequence(129)));
    EXPECT_FALSE(SendWithTextElement(sender.get(), VirtualOutId(sender.get(), k)));
    ASSERT_TRUE(miditest::Send(sender.get(), VirtualOutId(sender.get(), k), {0xB0, 7, 99}));
    for (int i = 0; i < 10; ++i) {
        Received r;
        ASSERT_TRUE(miditest::NextEvent(listeners[i]->get(), r)) << "listener " << i;
        EXPECT_EQ(r.data, (std::vector<int>{0xB0, 7, 99})) << "listener " << i;
        EXPECT_FALSE(miditest::NextEvent(listeners[i]->get(), r)) << "listener " << i << " got it twice";
    }
    ASSERT_TRUE((*listeners[4])->CloseMidiInPort(VirtualInId(listeners[4]->get(), k)));
    EXPECT_TRUE(eleventh->OpenMidiInPort(VirtualInId(eleventh.get(), k)));
    ASSERT_TRUE(miditest::Send(sender.get(), VirtualOutId(sender.get(), k), {0xC0, 5}));
    Received r;
    EXPECT_TRUE(miditest::NextEvent(eleventh.get(), r));
    EXPECT_FALSE(miditest::NextEvent(listeners[4]->get(), r)) << "a closed port received";
}

// The receiving window delivers only to its own open virtual input ports:
// a closed port's identifier, another control's, a forged one or an
// oversized length are ignored.
TEST(VirtualPorts, WindowIgnoresForeignIdentifiers)
{
    const int k = 3;
    Control a, b;
    ASSERT_TRUE(a->OpenMidiInPort(VirtualInId(a.get(), k)));
    ASSERT_TRUE(a->OpenMidiOutPort(VirtualOutId(a.get(), k))); // keeps the block mapped
    const VirtualPortBlock* block = CMidiPortVirtual::MappedBlock(k);
    ASSERT_NE(block, nullptr);
    const uint32_t firstId = block->slots[0].receiverPort;
    ASSERT_EQ(block->slots[0].receiverWindow, HandleToULong(a->NotifyWindow()));
    ASSERT_TRUE(a->CloseMidiInPort(VirtualInId(a.get(), k)));
    EXPECT_EQ(block->slots[0].inUse, 0u);
    ASSERT_TRUE(a->OpenMidiInPort(VirtualInId(a.get(), k)));
    const uint32_t aId = block->slots[0].receiverPort;
    EXPECT_NE(aId, firstId) << "a reopened port gets a fresh identifier";
    ASSERT_TRUE(b->OpenMidiInPort(VirtualInId(b.get(), k)));
    const uint32_t bId = block->slots[1].receiverPort;

    struct Case {
        WPARAM id;
        LPARAM length;
        LRESULT result;
    } cases[] = {
        {aId, 3, 1},      {firstId, 3, 0}, {bId, 3, 0},       {0, 3, 0},
        {0xDEADBEEF, 3, 0}, {aId, 129, 0}, {aId, -1, 0}, {aId, 128, 1},
        {aId | static_cast<WPARAM>(static_cast<uint64_t>(1) << 40), 3, 0}, // high bits of a 64-bit wParam
    };
    for (const Case& t : cases) {
        const long stored = a->GetMidiInEventCount(0);
        EXPECT_EQ(SendMessageA(a->NotifyWindow(), WM_VIRTUALMIDI, t.id, t.length), t.result)
            << "id " << t.id << " length " << t.length;
        EXPECT_EQ(a->GetMidiInEventCount(0), stored + (t.result ? 1 : 0)) << "id " << t.id;
    }
    EXPECT_EQ(b->GetMidiInEventCount(0), 0);
}

// One message from this process reaches two peers' listeners and this
// process's own, once each, with its bytes.
TEST(VirtualPorts, EveryListenerInEveryProcessReceivesOnce)
{
    const int k = 4;
    NamedEvent ready1("ready1"), ready2("ready2"), go("go");
    const std::string tail = " wait " + go.name() + " expect 4 2 144,60,100";
    Peer p1("open-in 4 1 signal " + ready1.name() + tail);
    Peer p2("open-in 4 1 signal " + ready2.name() + tail);
    ASSERT_TRUE(p1.started() && p2.started());
    ASSERT_TRUE(ready1.WaitPumping(60000)) << p1.Output();
    ASSERT_TRUE(ready2.WaitPumping(60000)) << p2.Output();
    Control c;
    ASSERT_TRUE(c->OpenMidiInPort(VirtualInId(c.get(), k)));
    ASSERT_TRUE(c->OpenMidiOutPort(VirtualOutId(c.get(), k)));
    EXPECT_EQ(CMidiPortVirtual::MappedBlock(k)->inputCount, 3u);
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(miditest::Send(c.get(), VirtualOutId(c.get(), k), {144, 60, 100}));
    go.Set();
    EXPECT_EQ(p1.Finish(60000), 0) << p1.Output();
    EXPECT_EQ(p2.Finish(60000), 0) << p2.Output();
    EXPECT_EQ(c->GetMidiInEventCount(VirtualInId(c.get(), k)), 2);
}

// Messages from a peer's output arrive here: an empty one with length 0.
TEST(VirtualPorts, PeerSendsToThisProcess)
{
    const int k = 5;
    Control c;
    ASSERT_TRUE(c->OpenMidiInPort(VirtualInId(c.get(), k)));
    const long before = c->GetMasterClockTime();
    Peer p("open-out 5 1 send 5 - 1 send 5 240,1,2,3,247 1 send 5 n129 0");
    ASSERT_TRUE(p.started());
    EXPECT_EQ(p.Finish(60000), 0) << p.Output();
    Received r;
    ASSERT_TRUE(miditest::NextEvent(c.get(), r));
    EXPECT_EQ(r.port, VirtualInId(c.get(), k));
    EXPECT_TRUE(r.data.empty());
    EXPECT_GE(r.time, before);
    ASSERT_TRUE(miditest::NextEvent(c.get(), r));
    EXPECT_EQ(r.data, (std::vector<int>{240, 1, 2, 3, 247}));
    EXPECT_LE(r.time, c->GetMasterClockTime());
    EXPECT_FALSE(miditest::NextEvent(c.get(), r));
}

// Listeners in other processes count toward the ten: with nine here and
// one in a peer, neither a tenth-plus-one here nor in a second peer opens;
// 129 elements are refused while they listen.
TEST(VirtualPorts, ListenerLimitSpansProcesses)
{
    const int k = 6;
    NamedEvent ready("ready"), go("go");
    Peer p1("open-in 6 1 signal " + ready.name() + " wait " + go.name());
    ASSERT_TRUE(p1.started());
    ASSERT_TRUE(ready.WaitPumping(60000)) << p1.Output();
    std::vector<std::unique_ptr<Control>> listeners;
    for (int i = 0; i < 10; ++i) {
        listeners.push_back(std::make_unique<Control>());
        EXPECT_EQ((*listeners[i])->OpenMidiInPort(VirtualInId(listeners[i]->get(), k)), i < 9 ? TRUE : FALSE)
            << "listener " << i;
    }
    Peer p2("open-in 6 0 open-out 6 1 send 6 n129 0 send 6 n128 1");
    ASSERT_TRUE(p2.started());
    EXPECT_EQ(p2.Finish(60000), 0) << p2.Output();
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ((*listeners[i])->GetMidiInEventCount(0), 1) << "listener " << i;
    go.Set();
    EXPECT_EQ(p1.Finish(60000), 0) << p1.Output();
}

// Closing the last port of an index unmaps the block here; reopening maps
// it again and finds the counts of the other process, and once nobody
// holds it the block starts from zero.
TEST(VirtualPorts, LastCloseUnmapsAndReopenFindsOtherCounts)
{
    const int k = 7;
    NamedEvent ready("ready"), go("go");
    Peer p("open-in 7 1 open-out 7 1 signal " + ready.name() + " wait " + go.name() + " count 7 2 1");
    ASSERT_TRUE(p.started());
    ASSERT_TRUE(ready.WaitPumping(60000)) << p.Output();
    Control c;
    ASSERT_TRUE(c->OpenMidiInPort(VirtualInId(c.get(), k)));
    ASSERT_TRUE(c->OpenMidiOutPort(VirtualOutId(c.get(), k)));
    ASSERT_NE(CMidiPortVirtual::MappedBlock(k), nullptr);
    EXPECT_EQ(CMidiPortVirtual::MappedBlock(k)->inputCount, 2u);
    EXPECT_EQ(CMidiPortVirtual::MappedBlock(k)->outputCount, 2u);
    ASSERT_TRUE(c->CloseMidiInPort(VirtualInId(c.get(), k)));
    EXPECT_NE(CMidiPortVirtual::MappedBlock(k), nullptr) << "the output still holds it";
    ASSERT_TRUE(c->CloseMidiOutPort(VirtualOutId(c.get(), k)));
    EXPECT_EQ(CMidiPortVirtual::MappedBlock(k), nullptr);
    ASSERT_TRUE(c->OpenMidiInPort(VirtualInId(c.get(), k)));
    ASSERT_NE(CMidiPortVirtual::MappedBlock(k), nullptr);
    EXPECT_EQ(CMidiPortVirtual::MappedBlock(k)->inputCount, 2u);
    EXPECT_EQ(CMidiPortVirtual::MappedBlock(k)->outputCount, 1u);
    go.Set(); // the peer checks it sees this process's input, then closes
    EXPECT_EQ(p.Finish(60000), 0) << p.Output();
    EXPECT_EQ(CMidiPortVirtual::MappedBlock(k)->inputCount, 1u);
    EXPECT_EQ(CMidiPortVirtual::MappedBlock(k)->outputCount, 0u);
    ASSERT_TRUE(c->CloseMidiInPort(0));
    ASSERT_TRUE(c->OpenMidiOutPort(VirtualOutId(c.get(), k)));
    EXPECT_EQ(CMidiPortVirtual::MappedBlock(k)->inputCount, 0u);
    EXPECT_EQ(CMidiPortVirtual::MappedBlock(k)->outputCount, 1u);
    EXPECT_EQ(CMidiPortVirtual::MappedBlock(k)->slots[0].inUse, 0u);
}

// A listener whose process ended without closing leaves its slot; sending
// to it neither hangs nor fails.
TEST(VirtualPorts, StaleSlotOfEndedProcessDoesNotBlockSenders)
{
    const int k = 8;
    NamedEvent ready("ready"), never("never");
    Control c;
    ASSERT_TRUE(c->OpenMidiOutPort(VirtualOutId(c.get(), k))); // keeps the block alive
    {
        Peer p("open-in 8 1 signal " + ready.name() + " wait " + never.name());
        ASSERT_TRUE(p.started());
        ASSERT_TRUE(ready.WaitPumping(60000)) << p.Output();
        TerminateProcess(p.process(), 1);
        WaitForSingleObject(p.process(), 30000);
    }
    EXPECT_EQ(CMidiPortVirtual::MappedBlock(k)->slots[0].inUse, 1u);
    EXPECT_TRUE(miditest::Send(c.get(), VirtualOutId(c.get(), k), {0x90, 1, 1}));
    ASSERT_TRUE(c->OpenMidiInPort(VirtualInId(c.get(), k)));
    EXPECT_TRUE(miditest::Send(c.get(), VirtualOutId(c.get(), k), {0x90, 2, 2}));
    Received r;
    ASSERT_TRUE(miditest::NextEvent(c.get(), r));
    EXPECT_EQ(r.data, (std::vector<int>{0x90, 2, 2}));
}

// The send timer's thread and the control's thread may send on one port at
// once while the control listens on the same index: a thread that waits
// for the port must still take the messages sent to its window, or the
// two block each other for good. Closing in the middle must not either.
TEST(VirtualPorts, SendsFromTwoThreadsOfOneControlDoNotBlockEachOther)
{
    const int k = 9;
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
        const long in = VirtualInId(c.get(), k), out = VirtualOutId(c.get(), k);
        ASSERT_TRUE(c->OpenMidiInPort(in));
        ASSERT_TRUE(c->OpenMidiOutPort(out));
        c->SetMidiInMaxEventCount(100000);
        const int perThread = 300;
        std::atomic<int> otherSent{0};
        std::thread other([&] {
            for (int i = 0; i < perThread; ++i)
                otherSent += miditest::Send(c.get(), out, {0x91, i & 0x7F, 1}) ? 1 : 0;
        });
        int sent = 0;
        for (int i = 0; i < perThread; ++i) {
            sent += miditest::Send(c.get(), out, {0x90, i & 0x7F, 1}) ? 1 : 0;
            miditest::Pump();
        }
        // Wait for the other thread while taking its deliveries.
        miditest::PumpUntil([&] { return c->GetMidiInEventCount(in) >= sent + otherSent; }, 60000);
        other.join();
        EXPECT_EQ(sent, perThread);
        EXPECT_EQ(otherSent.load(), perThread);
        EXPECT_EQ(c->GetMidiInEventCount(in), 2 * perThread);

        // Close while the other thread keeps sending: later sends fail, none hangs.
        std::atomic<int> failures{0};
        std::thread late([&] {
            for (int i = 0; i < perThread; ++i)
                failures += miditest::Send(c.get(), out, {0x92, 0, 0}) ? 0 : 1;
        });
        miditest::PumpUntil([&] { return c->GetMidiInEventCount(in) >= 2 * perThread + 20; }, 60000);
        EXPECT_TRUE(c->CloseMidiOutPort(out));
        miditest::PumpUntil([&] { return false; }, 50);
        late.join();
        EXPECT_GT(failures.load(), 0);
    }
    finished = true;
    watchdog.join();
}

} // namespace
