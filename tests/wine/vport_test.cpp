// Virtual MIDI ports: table entries, delivery within a process and between
// processes (peers run vport_peer.exe), listener limits, shared-block
// mapping; and the counted section behind them, alone and between processes.
#include "test_util.h"
#include "ports/MSect.h"
#include "ports/MidiPortVirtual.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

using namespace wt;

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
    *array.get() = MakeArray({0x90, 0, 100});
    Variant text;
    text->vt = VT_BSTR;
    text->bstrVal = SysAllocString(L"sixty");
    LONG at = 1;
    SafeArrayPutElement(array->parray, &at, text.get());
    return c->SendMidiEvent(port, 0, array.get());
}
const VirtualPortBlock* Block(int k)
{
    return CMidiPortVirtual::MappedBlock(k);
}

TEST(VirtualPorts, TableNamesKindsAndSearch)
{
    // No MIDI devices here; DirectMusic lists two outputs (a mapper and its
    // synthesizer) before the virtual ports.
    Control c;
    ASSERT_EQ(c->GetMidiInPortCount(), 32);
    ASSERT_EQ(c->GetMidiOutPortCount(), 34);
    for (int k = 0; k < 32; ++k) {
        char name[16];
        snprintf(name, sizeof name, "Tavro %02d", k + 1);
        EXPECT_EQ(c.InName(c.In(k)) + c.OutName(c.Out(k)), std::string(name) + name);
        EXPECT_EQ(c->GetMidiInPortType(c.In(k)) * 10 + c->GetMidiOutPortType(c.Out(k)), 44) << k;
    }
    const struct {
        const char* pattern;
        long type, id;
    } cases[] = {{"tavro 0?", 4, 1}, {"TAVRO 03", 4, 3},   {"TAVRO 03", 3, 0}, {"*", 8, 0},
                 {"*32", 7, 32},     {"tavro 1?", -5, 10}, {"tavro 33", 4, 0}};
    for (const auto& t : cases) {
        EXPECT_EQ(c->FindMidiInPort(t.pattern, t.type), t.id) << t.pattern << " type " << t.type;
        EXPECT_EQ(c->FindMidiOutPort(t.pattern, t.type), t.id ? t.id + 2 : 0) << t.pattern << " type " << t.type;
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
        {aId, 3, 1},
        {firstId, 3, 0},
        {Block(k)->slots[1].receiverPort, 3, 0},
        {0, 3, 0},
        {0xDEADBEEF, 3, 0},
        {aId, 129, 0},
        {aId, -1, 0},
        {aId, 128, 1},
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

// A listener whose process ended without closing leaves its slot; the next
// sender frees it, and neither hangs nor fails.
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
    EXPECT_EQ(Block(k)->slots[0].inUse * 10 + Block(k)->inputCount, 11u);
    EXPECT_TRUE(c.Send(c.Out(k), {0x90, 1, 1}));
    EXPECT_EQ(Block(k)->slots[0].inUse * 10 + Block(k)->inputCount, 0u) << "the sender freed the dead slot";
    ASSERT_TRUE(c->OpenMidiInPort(c.In(k)));
    EXPECT_TRUE(c.Send(c.Out(k), {0x90, 2, 2}));
    EXPECT_EQ(c.Next().data, (Bytes{0x90, 2, 2}));
}

// The index's listener slot published by this control's window.
uint32_t ReceiverId(int k, Control& c)
{
    for (const ListenerSlot& slot : Block(k)->slots)
        if (slot.inUse && slot.receiverWindow == HandleToULong(c->NotifyWindow()))
            return slot.receiverPort;
    return 0;
}

// A listener that answers nothing for longer than the delivery bound: the
// immediate send reports false, the queued ones are counted lost, and once it
// answers again it holds exactly the later messages, each once.
TEST(VirtualPorts, ListenerThatStopsAnsweringLosesMessagesVisibly)
{
    const int k = 10;
    NamedEvent ready("ready"), resume("resume");
    Peer p("open-in 10 1 signal " + ready.name() + " block " + resume.name() + " expect-each 10 144,1,1/240,2,3,247/-");
    ASSERT_TRUE(ready.WaitPumping());
    Control c;
    const long out = c.Out(k);
    ASSERT_TRUE(c->OpenMidiOutPort(out));
    const long lost = CMidiPortVirtual::LostMessages(k);
    EXPECT_FALSE(c.Send(out, {0x90, 0x70, 0x70}));
    EXPECT_TRUE(c.Send(out, {0x90, 0x71, 0x71}, c->GetMasterClockTime() + 10));
    EXPECT_TRUE(c.Send(out, {0x90, 0x72, 0x72, 0x72}, c->GetMasterClockTime() + 20));
    EXPECT_TRUE(PumpUntil(
        [&] { return c->GetMidiOutEventCount(0) == 0 && CMidiPortVirtual::LostMessages(k) >= lost + 3; }, 60000));
    resume.Set();
    EXPECT_TRUE(c.Send(out, {144, 1, 1}));
    EXPECT_TRUE(c.Send(out, {240, 2, 3, 247}));
    EXPECT_TRUE(c.Send(out, {}));
    EXPECT_EQ(p.Finish(), 0);
    EXPECT_EQ(CMidiPortVirtual::LostMessages(k), lost + 3);
}

// Windows still hands a timed-out message to its listener when the listener
// next answers; by then the data area holds another message. Here the window
// gets it after the sender has moved on: the listener drops it, and the next
// message arrives once with its own bytes. A pumping peer gets every one.
TEST(VirtualPorts, LateHandlingOfAWithdrawnMessageIsDropped)
{
    const int k = 11;
    NamedEvent ready("ready"), go("go");
    Peer peer("open-in 11 1 signal " + ready.name() + " wait " + go.name() +
              " expect-each 11 144,1,1/240,2,2,2,247/144,3,3");
    ASSERT_TRUE(ready.WaitPumping());
    Control c, d;
    ASSERT_TRUE(c->OpenMidiInPort(c.In(k)));
    ASSERT_TRUE(d->OpenMidiOutPort(d.Out(k)));
    const uint32_t id = ReceiverId(k, c);
    ASSERT_NE(id, 0u);
    // This thread answers nothing while another sends: both miss c.
    bool first = true, second = true;
    std::thread sender([&] {
        first = d.Send(d.Out(k), {144, 1, 1});
        second = d.Send(d.Out(k), {240, 2, 2, 2, 247});
    });
    sender.join();
    EXPECT_FALSE(first);
    EXPECT_FALSE(second);
    EXPECT_EQ(SendMessageA(c->NotifyWindow(), WM_VIRTUALMIDI, id, 3), 0) << "the late first message";
    EXPECT_EQ(c->GetMidiInEventCount(0), 0);
    EXPECT_TRUE(d.Send(d.Out(k), {144, 3, 3}));
    go.Set();
    EXPECT_EQ(c.Next().data, (Bytes{144, 3, 3}));
    EXPECT_EQ(c.Next().port, -1);
    EXPECT_EQ(peer.Finish(), 0);
}

// A listener that works up to 1 s between answering loses none of 50 queued
// messages, which arrive in order.
TEST(VirtualPorts, BusyListenerThatStillAnswersLosesNothing)
{
    const int k = 12;
    NamedEvent ready("ready");
    std::string list;
    for (int i = 0; i < 50; ++i)
        list += (i ? "/144," : "144,") + std::to_string(i) + "," + std::to_string(i + 1);
    Peer p("open-in 12 1 signal " + ready.name() + " work 3 1000 expect-each 12 " + list);
    ASSERT_TRUE(ready.WaitPumping());
    Control c;
    const long out = c.Out(k);
    ASSERT_TRUE(c->OpenMidiOutPort(out));
    const long lost = CMidiPortVirtual::LostMessages(k);
    const long now = c->GetMasterClockTime();
    for (int i = 0; i < 50; ++i)
        EXPECT_TRUE(c.Send(out, {144, i, i + 1}, now + 20 + 200 * i));
    EXPECT_TRUE(PumpUntil([&] { return c->GetMidiOutEventCount(0) == 0; }, 60000));
    EXPECT_EQ(p.Finish(), 0);
    EXPECT_EQ(CMidiPortVirtual::LostMessages(k), lost);
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
        std::atomic<bool> otherDone{false};
        std::thread other([&] {
            for (int i = 0; i < each; ++i)
                otherSent += c.Send(out, {0x91, i & 0x7F, 1});
            otherDone = true;
        });
        int sent = 0;
        for (int i = 0; i < each; ++i, Pump())
            sent += c.Send(out, {0x90, i & 0x7F, 1});
        // Joined only once done: a join answers nothing, so its sends would time out.
        PumpUntil([&] { return otherDone && c->GetMidiInEventCount(in) >= sent + otherSent; }, 60000);
        other.join();
        EXPECT_EQ(sent + otherSent, 2 * each);
        EXPECT_EQ(c->GetMidiInEventCount(in), 2 * each);

        std::thread late([&] { // until the close makes one fail
            for (int i = 0; i < 100 * each && !lateFailed; ++i)
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

// ---- the counted section ----

struct Section {
    MSect* s;
    ~Section() { CloseMSect(s); }
};

TEST(MSect, CreateArgumentRules)
{
    const struct {
        LONG initial, maximum;
        size_t nameLength;
        bool accepted;
    } cases[] = {
        {1, 1, 128, true}, {1, 1, 129, false}, {0, 1, 5, true}, {1, 0, 5, false},
        {-1, 1, 5, false}, {2, 1, 5, false},   {5, 5, 0, true}, {0, 0x7FFFFFFF, 5, true},
    };
    for (const auto& c : cases) {
        std::string name = UniqueName("n");
        name.resize(c.nameLength, 'x');
        SetLastError(0);
        Section s{CreateMSect(c.initial, c.maximum, name.c_str())};
        EXPECT_EQ(s.s ? -1L : static_cast<long>(GetLastError()), c.accepted ? -1L : ERROR_INVALID_PARAMETER)
            << "initial " << c.initial << " maximum " << c.maximum << " name length " << c.nameLength;
    }
    CloseMSect(nullptr); // accepted and ignored
}

// The kernel objects carry the agreed names and the block its layout.
TEST(MSect, NamedObjectsAndLayout)
{
    const std::string name = UniqueName("layout");
    Section s{CreateMSect(2, 3, name.c_str())};
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, ("ZLK_MSECT_EVT_" + name).c_str());
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, ("ZLK_MSECT_MMF_" + name).c_str());
    ASSERT_TRUE(s.s && event && mapping);
    auto* words = static_cast<const int32_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 20));
    ASSERT_NE(words, nullptr);
    // initialised, spin lock, waiting, available, maximum
    EXPECT_EQ(std::vector<int32_t>(words, words + 5), (std::vector<int32_t>{1, 0, 0, 2, 3}));
    EXPECT_EQ(EnterMSect(s.s, 0), 0u);
    EXPECT_EQ(words[3], 1);
    UnmapViewOfFile(words);
    CloseHandle(mapping);
    CloseHandle(event);
}

// Counts against a plain model: enter takes one when available (else times
// out), leave adds when the result stays within the maximum (else error 87).
TEST(MSect, CountsFollowReferenceModel)
{
    Section s{CreateMSect(1, 3, UniqueName("model").c_str())};
    ASSERT_NE(s.s, nullptr);
    LONG available = 1;
    uint32_t seed = 12345;
    for (int step = 0; step < 400; ++step) {
        seed = seed * 1103515245 + 12345;
        const int op = (seed >> 16) % 3;
        if (op == 0) {
            ASSERT_EQ(EnterMSect(s.s, 0), available > 0 ? 0u : DWORD{WAIT_TIMEOUT}) << "step " << step;
            available -= available > 0;
            continue;
        }
        const LONG release = static_cast<LONG>((seed >> 20) % 5) - 1; // -1 .. 3
        const bool valid = release >= 0 && available + release <= 3;
        LONG previous = -7;
        SetLastError(0);
        ASSERT_EQ(LeaveMSect(s.s, release, op == 1 ? &previous : nullptr) != FALSE, valid)
            << "step " << step << " release " << release << " available " << available;
        ASSERT_EQ(valid ? 0 : GetLastError(), valid ? 0u : DWORD{ERROR_INVALID_PARAMETER}) << "step " << step;
        ASSERT_EQ(previous, op == 1 ? available : -7) << "step " << step;
        available += valid ? release : 0;
    }
}

// A release with nobody waiting leaves the event set; the next waiter must
// still find no count and time out.
TEST(MSect, StaleSignalDoesNotLetAWaiterThrough)
{
    Section s{CreateMSect(1, 1, UniqueName("stale").c_str())};
    ASSERT_EQ(EnterMSect(s.s, 0), 0u);
    EXPECT_EQ(EnterMSect(s.s, 10), DWORD{WAIT_TIMEOUT}); // waiting becomes 1
    ASSERT_TRUE(LeaveMSect(s.s, 1, nullptr));            // signals nobody
    EXPECT_EQ(s.s->view->waiting, 0);
    EXPECT_EQ(EnterMSect(s.s, 0), 0u);
    EXPECT_EQ(EnterMSect(s.s, 50), DWORD{WAIT_TIMEOUT});
}

TEST(MSect, JoinKeepsCreatorsCounts)
{
    const std::string name = UniqueName("join");
    Section s{CreateMSect(3, 5, name.c_str())};
    ASSERT_EQ(EnterMSect(s.s, 0), 0u); // 2 of 5 left
    // The joiner asks for (1, 1) but sees 2 available and may give back 3
    // more (the maximum is 5), not a sixth.
    Peer peer("msect " + name + " 1 1 leave 0 1 2 leave 3 1 2 leave 1 0 5 enter 0 0 0");
    EXPECT_EQ(peer.Finish(), 0);
    LONG previous = 0;
    EXPECT_TRUE(LeaveMSect(s.s, 0, &previous));
    EXPECT_EQ(previous, 4);
}

// A peer's wait runs out (not early) while this process holds the count;
// its next wait, far beyond the test's bound, ends with this one's release.
TEST(MSect, TimeoutAndWakeAcrossProcesses)
{
    const std::string name = UniqueName("wake");
    Section s{CreateMSect(1, 1, name.c_str())};
    ASSERT_EQ(EnterMSect(s.s, 0), 0u);
    NamedEvent timedOut("timedout");
    Peer peer("msect " + name + " 1 1 enter 1000 258 900 signal " + timedOut.name() + " enter 600000 0 0 leave 1 1 0");
    ASSERT_TRUE(timedOut.WaitPumping());
    ASSERT_TRUE(PumpUntil([&] { return s.s->view->waiting >= 1; }, 60000));
    ASSERT_TRUE(LeaveMSect(s.s, 1, nullptr));
    EXPECT_EQ(peer.Finish(), 0);
    LONG previous = -1;
    EXPECT_TRUE(LeaveMSect(s.s, 0, &previous));
    EXPECT_EQ(previous, 1);
}

// A holder killed inside the section: a waiter goes on when it dies, and an
// entrant that comes after the death takes the count (and the spin lock) at once.
TEST(MSect, KilledHolderIsDetectedAndRecovered)
{
    const std::string name = UniqueName("killed");
    Section s{CreateMSect(1, 1, name.c_str())};
    NamedEvent held("held"), never("never");
    for (int round = 0; round < 2; ++round) {
        Peer holder("msect " + name + " 1 1 enter 0 0 0 signal " + held.name() + " block " + never.name());
        ASSERT_TRUE(held.WaitPumping());
        std::unique_ptr<Peer> waiter;
        if (round == 0) {
            waiter = std::make_unique<Peer>("msect " + name + " 1 1 enter 60000 0 0 leave 1 1 0");
            ASSERT_TRUE(PumpUntil([&] { return s.s->view->waiting >= 1; }, 60000));
        }
        TerminateProcess(holder.process(), 1);
        ASSERT_EQ(WaitForSingleObject(holder.process(), 10000), WAIT_OBJECT_0);
        if (waiter) {
            EXPECT_EQ(waiter->Finish(), 0) << "the waiter's wait ended with the holder";
        } else {
            // As if it had been killed inside the spin lock as well.
            s.s->view->spinLock = static_cast<int32_t>(GetProcessId(holder.process()));
        }
        EXPECT_EQ(EnterMSect(s.s, round == 0 ? 10000 : 0), 0u) << "round " << round;
        ASSERT_TRUE(LeaveMSect(s.s, 1, nullptr));
        EXPECT_EQ(s.s->view->spinLock, 0);
    }
}

// Threads of three processes, each with its own handle, never hold a
// count-1 section together, and none of their updates is lost.
TEST(MSect, HammeringKeepsHoldersExclusive)
{
    const std::string name = UniqueName("hammer"), checkName = UniqueName("hammercheck");
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 12, checkName.c_str());
    auto* check = static_cast<volatile LONG*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(check, nullptr);
    Section s{CreateMSect(1, 1, name.c_str())};
    NamedEvent go("go");
    const int iterations = 5000;
    const std::string args = "hammer " + name + " 2 " + std::to_string(iterations) + " " + checkName + " " + go.name();
    Peer a(args), b(args);
    // Words: holders inside, updates, peers waiting for the go.
    ASSERT_TRUE(PumpUntil([&] { return check[2] == 2; }, 60000));
    go.Set();
    int overlaps = 0;
    for (int i = 0; i < iterations; ++i) {
        ASSERT_EQ(EnterMSect(s.s, 60000), 0u);
        overlaps += InterlockedIncrement(&check[0]) != 1;
        const LONG total = check[1];
        check[1] = total + 1;
        InterlockedDecrement(&check[0]);
        LeaveMSect(s.s, 1, nullptr);
    }
    EXPECT_EQ(a.Finish(120000), 0);
    EXPECT_EQ(b.Finish(120000), 0);
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(check[1], 5 * iterations);
    LONG previous = -1;
    EXPECT_TRUE(LeaveMSect(s.s, 0, &previous));
    EXPECT_EQ(previous, 1);
    EXPECT_EQ(s.s->view->spinLock, 0);
    UnmapViewOfFile(const_cast<LONG*>(check));
    CloseHandle(mapping);
}

} // namespace
