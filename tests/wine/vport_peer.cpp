// Peer process for the counted-section and virtual-port tests: runs the
// command list of its command line and exits with its number of failures.
#include "midi_test_util.h"
#include "ports/MSect.h"
#include "ports/MidiPortVirtual.h"

#include <cstdlib>
#include <memory>
#include <thread>

namespace {

using miditest::Control;
using miditest::Received;

int g_failures = 0;

void Fail(const std::string& what)
{
    ++g_failures;
    printf("FAIL: %s\n", what.c_str());
    fflush(stdout);
}

// "-" is the empty message, "nN" N elements 0..N-1, else a comma list.
std::vector<int> ParseBytes(const std::string& text)
{
    std::vector<int> values;
    if (text == "-")
        return values;
    if (text[0] == 'n') {
        for (int i = 0; i < atoi(text.c_str() + 1); ++i)
            values.push_back(i & 0xFF);
        return values;
    }
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        values.push_back(atoi(text.substr(start, comma - start).c_str()));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return values;
}

std::string Describe(const std::vector<int>& values)
{
    std::string text;
    for (int v : values)
        text += std::to_string(v) + " ";
    return text;
}

HANDLE OpenNamedEvent(const std::string& name)
{
    return OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name.c_str());
}

// Hammers one section from several threads, each with its own handle,
// checking through a shared word that no two holders are ever inside.
void Hammer(const std::string& sectionName, int threads, int iterations, const std::string& checkName,
            const std::string& goName)
{
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, checkName.c_str());
    auto* check = mapping ? static_cast<volatile LONG*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0))
                          : nullptr;
    if (!check) {
        Fail("cannot map " + checkName);
        return;
    }
    // Words: holders inside, total of updates, peers waiting for the go.
    HANDLE go = OpenNamedEvent(goName);
    InterlockedIncrement(&check[2]);
    if (!go || WaitForSingleObject(go, 60000) != WAIT_OBJECT_0)
        Fail("hammer: no go");
    CloseHandle(go);
    std::atomic<int> violations{0}, timeouts{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            MSect* section = CreateMSect(1, 1, sectionName.c_str());
            if (!section) {
                ++timeouts;
                return;
            }
            for (int i = 0; i < iterations; ++i) {
                if (EnterMSect(section, 60000) != 0) {
                    ++timeouts;
                    continue;
                }
                if (InterlockedIncrement(&check[0]) != 1)
                    ++violations;
                // A plain read-modify-write: lost updates show a second holder.
                LONG total = check[1];
                if ((i & 7) == 0)
                    Sleep(0);
                check[1] = total + 1;
                InterlockedDecrement(&check[0]);
                LeaveMSect(section, 1, nullptr);
            }
            CloseMSect(section);
        });
    }
    for (auto& w : workers)
        w.join();
    if (violations || timeouts)
        Fail("hammer: " + std::to_string(violations) + " overlaps, " + std::to_string(timeouts) + " timeouts");
    UnmapViewOfFile(const_cast<LONG*>(check));
    CloseHandle(mapping);
}

// Sends `count` numbered messages on output `me` while receiving those of
// the `others` indexes, then checks every sender's sequence arrived once,
// complete and in order.
void Soak(Control& c, int me, const std::vector<int>& others, int count, const std::string& readyName,
          const std::string& goName)
{
    c->SetMidiInMaxEventCount(1 << 30);
    c->EnableMidiInEventHandler(0); // no notification per message: the loop drains
    if (!c->OpenMidiOutPort(miditest::VirtualOutId(c.get(), me)))
        Fail("soak: open out");
    for (int k : others)
        if (!c->OpenMidiInPort(miditest::VirtualInId(c.get(), k)))
            Fail("soak: open in " + std::to_string(k));
    HANDLE ready = OpenNamedEvent(readyName);
    HANDLE go = OpenNamedEvent(goName);
    SetEvent(ready);
    if (!miditest::WaitPumping(go, 60000))
        Fail("soak: no go");

    std::vector<int> nextSeq(32, 0);
    long received = 0, bad = 0;
    auto drain = [&] {
        Received r;
        while (miditest::NextEvent(c.get(), r)) {
            ++received;
            int k = static_cast<int>(r.port - miditest::VirtualInId(c.get(), 0));
            if (r.data.size() < 4 || k < 0 || k >= 32 || r.data[0] != k) {
                ++bad;
                continue;
            }
            int seq = r.data[1] | (r.data[2] << 8) | (r.data[3] << 16);
            bool ok = seq == nextSeq[k] && r.data.size() == static_cast<size_t>(4 + seq % 7);
            for (size_t i = 4; ok && i < r.data.size(); ++i)
                ok = r.data[i] == ((seq * 31 + static_cast<int>(i)) & 0xFF);
            if (!ok && bad++ < 5)
                printf("from %d: got seq %d (%zu bytes), expected %d\n", k, seq, r.data.size(), nextSeq[k]);
            nextSeq[k] = seq + 1;
        }
    };
    const long outId = miditest::VirtualOutId(c.get(), me);
    long sendFailures = 0;
    for (int seq = 0; seq < count; ++seq) {
        std::vector<int> message = {me, seq & 0xFF, (seq >> 8) & 0xFF, (seq >> 16) & 0xFF};
        for (int i = 4; i < 4 + seq % 7; ++i)
            message.push_back((seq * 31 + i) & 0xFF);
        if (!miditest::Send(c.get(), outId, message))
            ++sendFailures;
        miditest::Pump();
        drain();
    }
    const long expected = static_cast<long>(count * others.size());
    miditest::PumpUntil(
        [&] {
            drain();
            return received >= expected;
        },
        60000);
    miditest::PumpUntil([] { return false; }, 100); // anything extra would show now
    drain();
    for (int k : others)
        if (nextSeq[k] != count)
            Fail("soak: from " + std::to_string(k) + " ended at " + std::to_string(nextSeq[k]));
    if (received != expected || bad || sendFailures)
        Fail("soak: received " + std::to_string(received) + " of " + std::to_string(expected) + ", " +
             std::to_string(bad) + " bad, " + std::to_string(sendFailures) + " sends failed");
    CloseHandle(ready);
    CloseHandle(go);
}

} // namespace

int main(int argc, char** argv)
{
    std::unique_ptr<Control> control;
    auto ctrl = [&]() -> CMidiIOCtrl* {
        if (!control)
            control = std::make_unique<Control>();
        return control->get();
    };
    MSect* section = nullptr;
    int64_t startClock = 0;

    for (int i = 1; i < argc;) {
        const std::string cmd = argv[i++];
        auto arg = [&](int n) -> std::string { return i + n < argc ? argv[i + n] : ""; };
        auto num = [&](int n) { return atol(arg(n).c_str()); };
        const std::string where = cmd + " " + arg(0) + " " + arg(1);
        if (cmd == "msect") {
            section = CreateMSect(num(1), num(2), arg(0).c_str());
            if (!section)
                Fail(where + ": error " + std::to_string(GetLastError()));
            i += 3;
        } else if (cmd == "enter") {
            DWORD start = GetTickCount();
            DWORD r = section ? EnterMSect(section, static_cast<DWORD>(num(0))) : 999;
            printf("enter %lu after %lu ms\n", r, GetTickCount() - start);
            if (static_cast<long>(r) != num(1))
                Fail(where + ": got " + std::to_string(r));
            i += 2;
        } else if (cmd == "leave") {
            LONG previous = -99;
            BOOL ok = section && LeaveMSect(section, num(0), &previous);
            DWORD error = GetLastError();
            printf("leave %d previous %ld error %lu\n", ok, previous, error);
            if (ok != num(1) || (num(2) >= 0 && previous != num(2)) || (!ok && error != ERROR_INVALID_PARAMETER))
                Fail(where + ": got " + std::to_string(ok) + " previous " + std::to_string(previous));
            i += 3;
        } else if (cmd == "hammer") {
            Hammer(arg(0), num(1), num(2), arg(3), arg(4));
            i += 5;
        } else if (cmd == "signal" || cmd == "wait") {
            HANDLE event = OpenNamedEvent(arg(0));
            if (!event)
                Fail(where + ": no such event");
            else if (cmd == "signal")
                SetEvent(event);
            else if (!miditest::WaitPumping(event, 60000))
                Fail(where + ": timed out");
            CloseHandle(event);
            i += 1;
        } else if (cmd == "open-in" || cmd == "open-out") {
            ctrl();
            startClock = ctrl()->GetMasterClockTime();
            long id = cmd == "open-in" ? miditest::VirtualInId(ctrl(), num(0)) : miditest::VirtualOutId(ctrl(), num(0));
            BOOL ok = cmd == "open-in" ? ctrl()->OpenMidiInPort(id) : ctrl()->OpenMidiOutPort(id);
            if (ok != num(1))
                Fail(where + ": got " + std::to_string(ok));
            i += 2;
        } else if (cmd == "send") {
            BOOL ok = miditest::Send(ctrl(), miditest::VirtualOutId(ctrl(), num(0)), ParseBytes(arg(1)));
            if (ok != num(2))
                Fail(where + ": got " + std::to_string(ok));
            i += 3;
        } else if (cmd == "expect") {
            // N events of input k, each with the given bytes, stamped with the
            // receiver's clock at reception; nothing more within a short while.
            CMidiIOCtrl* c = ctrl();
            const long id = miditest::VirtualInId(c, num(0));
            const long n = num(1);
            const std::vector<int> bytes = ParseBytes(arg(2));
            miditest::PumpUntil([&] { return c->GetMidiInEventCount(0) >= n; }, 30000);
            miditest::PumpUntil([] { return false; }, 200);
            const long now = c->GetMasterClockTime();
            long got = 0;
            Received r;
            while (miditest::NextEvent(c, r)) {
                ++got;
                printf("event port %ld time %ld data %s\n", r.port, r.time, Describe(r.data).c_str());
                if (r.port != id || r.data != bytes || r.time < startClock || r.time > now)
                    Fail(where + ": event port " + std::to_string(r.port) + " time " + std::to_string(r.time) +
                         " [" + std::to_string(startClock) + ", " + std::to_string(now) + "] data " +
                         Describe(r.data));
            }
            if (got != n)
                Fail(where + ": " + std::to_string(got) + " events");
            i += 3;
        } else if (cmd == "count") {
            const VirtualPortBlock* block = CMidiPortVirtual::MappedBlock(num(0));
            if (!block || static_cast<long>(block->inputCount) != num(1)
                || static_cast<long>(block->outputCount) != num(2))
                Fail(where + ": counts " + (block ? std::to_string(block->inputCount) + " " +
                                                        std::to_string(block->outputCount)
                                                  : std::string("unmapped")));
            i += 3;
        } else if (cmd == "soak") {
            std::vector<int> others = ParseBytes(arg(1));
            ctrl();
            Soak(*control, num(0), others, num(2), arg(3), arg(4));
            i += 5;
        } else {
            Fail("unknown command " + cmd);
            break;
        }
    }
    CloseMSect(section);
    control.reset();
    fflush(stdout);
    return g_failures;
}
