// Peer process for the counted-section and virtual-port tests: runs the
// command list of its command line and exits with its number of failures.
#include "test_util.h"
#include "ports/MSect.h"
#include "ports/MidiPortVirtual.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace {

using namespace wt;

int g_failures = 0;

void Fail(const std::string& what)
{
    ++g_failures;
    printf("FAIL: %s\n", what.c_str());
    fflush(stdout);
}

// "-" is the empty message, "nN" N elements 0..N-1, else a comma list.
Bytes ParseBytes(const std::string& text)
{
    Bytes values;
    if (text[0] == 'n') {
        for (int i = 0; i < atoi(text.c_str() + 1); ++i)
            values.push_back(i & 0xFF);
    } else if (text != "-") {
        for (const char* p = text.c_str(); p; p = strchr(p, ',') ? strchr(p, ',') + 1 : nullptr)
            values.push_back(atoi(p));
    }
    return values;
}

std::string Describe(const Bytes& values)
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

// Threads, each with its own handle, enter and leave one section; words of
// a shared block count holders inside (never above 1), updates (a plain
// read-modify-write: a second holder loses some) and peers ready to start.
void Hammer(const std::string& sectionName, int threads, int iterations, const std::string& checkName,
            const std::string& goName)
{
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, checkName.c_str());
    auto* check = static_cast<volatile LONG*>(mapping ? MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr);
    HANDLE go = OpenNamedEvent(goName);
    if (!check || !go)
        return Fail("hammer: cannot open " + checkName + " or " + goName);
    InterlockedIncrement(&check[2]);
    if (WaitForSingleObject(go, 60000) != WAIT_OBJECT_0)
        Fail("hammer: no go");
    std::atomic<int> overlaps{0}, timeouts{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            MSect* section = CreateMSect(1, 1, sectionName.c_str());
            for (int i = 0; i < iterations; ++i) {
                // One long wait: a lost wake-up leaves a waiter asleep
                // while nobody else is left to release, until it times out.
                if (!section || EnterMSect(section, 60000) != 0) {
                    ++timeouts;
                    continue;
                }
                overlaps += InterlockedIncrement(&check[0]) != 1;
                const LONG total = check[1];
                if ((i & 7) == 0)
                    Sleep(0);
                check[1] = total + 1;
                InterlockedDecrement(&check[0]);
                LeaveMSect(section, 1, nullptr);
            }
            CloseMSect(section);
        });
    for (auto& w : workers)
        w.join();
    if (overlaps || timeouts)
        Fail("hammer: " + std::to_string(overlaps) + " overlaps, " + std::to_string(timeouts) + " timeouts");
    CloseHandle(go);
    UnmapViewOfFile(const_cast<LONG*>(check));
    CloseHandle(mapping);
}

} // namespace

int main(int argc, char** argv)
{
    std::unique_ptr<Control> control;
    auto ctrl = [&]() -> Control& {
        if (!control)
            control = std::make_unique<Control>();
        return *control;
    };
    MSect* section = nullptr;
    long startClock = 0;
    for (int i = 1; i < argc;) {
        const std::string cmd = argv[i++];
        auto arg = [&](int n) -> std::string { return i + n < argc ? argv[i + n] : ""; };
        auto num = [&](int n) { return atol(arg(n).c_str()); };
        const std::string where = cmd + " " + arg(0) + " " + arg(1);
        if (cmd == "msect") { // name initial maximum
            if (!(section = CreateMSect(num(1), num(2), arg(0).c_str())))
                Fail(where + ": error " + std::to_string(GetLastError()));
            i += 3;
        } else if (cmd == "enter") { // timeout expected-result least-ms-waited
            const DWORD start = GetTickCount();
            const DWORD r = section ? EnterMSect(section, static_cast<DWORD>(num(0))) : 999;
            const long waited = static_cast<long>(GetTickCount() - start);
            if (static_cast<long>(r) != num(1) || waited < num(2))
                Fail(where + ": got " + std::to_string(r) + " after " + std::to_string(waited) + " ms");
            i += 3;
        } else if (cmd == "leave") { // count expected-ok expected-previous (-1: any)
            LONG previous = -99;
            const BOOL ok = section && LeaveMSect(section, num(0), &previous);
            const DWORD error = GetLastError();
            if (ok != num(1) || (num(2) >= 0 && previous != num(2)) || (!ok && error != ERROR_INVALID_PARAMETER))
                Fail(where + ": got " + std::to_string(ok) + " previous " + std::to_string(previous) + " error " +
                     std::to_string(error));
            i += 3;
        } else if (cmd == "hammer") { // section threads iterations check-block go-event
            Hammer(arg(0), num(1), num(2), arg(3), arg(4));
            i += 5;
        } else if (cmd == "signal" || cmd == "wait") { // event
            HANDLE event = OpenNamedEvent(arg(0));
            if (!event || (cmd == "signal" ? !SetEvent(event) : !WaitPumping(event, 60000)))
                Fail(where + ": no such event or timed out");
            CloseHandle(event);
            i += 1;
        } else if (cmd == "block") { // event: waits for it without answering sent messages
            HANDLE event = OpenNamedEvent(arg(0));
            if (!event || WaitForSingleObject(event, 60000) != WAIT_OBJECT_0)
                Fail(where + ": no such event or timed out");
            CloseHandle(event);
            i += 1;
        } else if (cmd == "work") { // rounds ms: busy for ms without answering, then answers briefly
            for (long round = 0; round < num(0); ++round) {
                Sleep(static_cast<DWORD>(num(1)));
                PumpFor(20);
            }
            i += 2;
        } else if (cmd == "open-in" || cmd == "open-out") { // index expected-ok
            Control& c = ctrl();
            startClock = c->GetMasterClockTime();
            const BOOL ok = cmd == "open-in" ? c->OpenMidiInPort(c.In(num(0))) : c->OpenMidiOutPort(c.Out(num(0)));
            if (ok != num(1))
                Fail(where + ": got " + std::to_string(ok));
            i += 2;
        } else if (cmd == "send") { // index bytes expected-ok
            if (ctrl().Send(ctrl().Out(num(0)), ParseBytes(arg(1))) != (num(2) != 0))
                Fail(where + ": got " + std::to_string(!num(2)));
            i += 3;
        } else if (cmd == "expect") {
            // index n bytes: n events of that input with these bytes, stamped
            // with this clock at reception; nothing more within a short while.
            Control& c = ctrl();
            PumpUntil([&] { return c->GetMidiInEventCount(0) >= num(1); }, 30000);
            PumpFor(200);
            const long now = c->GetMasterClockTime();
            long got = 0;
            for (Received r; NextEvent(c.get(), r); ++got)
                if (r.port != c.In(num(0)) || r.data != ParseBytes(arg(2)) || Diff(r.time, startClock) < 0 ||
                    Diff(r.time, now) > 0)
                    Fail(where + ": event port " + std::to_string(r.port) + " time " + std::to_string(r.time) + " [" +
                         std::to_string(startClock) + ", " + std::to_string(now) + "] data " + Describe(r.data));
            if (got != num(1))
                Fail(where + ": " + std::to_string(got) + " events");
            i += 3;
        } else if (cmd == "expect-each") {
            // index list: exactly the "/"-separated messages, in this order.
            Control& c = ctrl();
            std::vector<Bytes> expected;
            for (size_t at = 0; at <= arg(1).size();) {
                const size_t end = std::min(arg(1).find('/', at), arg(1).size());
                expected.push_back(ParseBytes(arg(1).substr(at, end - at)));
                at = end + 1;
            }
            const long n = static_cast<long>(expected.size());
            PumpUntil([&] { return c->GetMidiInEventCount(0) >= n; }, 30000);
            PumpFor(200);
            long got = 0;
            for (Received r; NextEvent(c.get(), r); ++got)
                if (r.port != c.In(num(0)) || got >= n || r.data != expected[got])
                    Fail(where + ": event " + std::to_string(got) + " data " + Describe(r.data));
            if (got != n)
                Fail(where + ": " + std::to_string(got) + " events of " + std::to_string(n));
            i += 2;
        } else if (cmd == "count") { // index inputs outputs
            const VirtualPortBlock* block = CMidiPortVirtual::MappedBlock(num(0));
            const long counts = block ? static_cast<long>(block->inputCount * 10 + block->outputCount) : -1;
            if (counts != num(1) * 10 + num(2))
                Fail(where + ": inputs*10 + outputs " + std::to_string(counts) + " (-1: unmapped)");
            i += 3;
        } else if (cmd == "flood") { // index seconds: sends while the index has listeners
            Control& c = ctrl();
            const DWORD start = GetTickCount();
            DWORD heard = 0; // last time a listener was seen; ends 5 s later, or after 60 s with none
            long sent = 0;
            for (c->OpenMidiOutPort(c.Out(num(0)));
                 GetTickCount() - start < static_cast<DWORD>(num(1)) * 1000 &&
                 GetTickCount() - (heard ? heard : start) < (heard ? 5000u : 60000u);) {
                const VirtualPortBlock* block = CMidiPortVirtual::MappedBlock(num(0));
                if (block && block->inputCount > 0)
                    heard = GetTickCount();
                else
                    Sleep(1);
                sent += c.Send(c.Out(num(0)), {0x90, static_cast<int>(sent & 0x7F), 1});
            }
            printf("flood: %ld messages sent\n", sent);
            i += 2;
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
