// Virtual MIDI port figures under Wine: cross-process throughput with one
// and three listeners, and latency from SendMidiEvent to the receiver's
// GetNextEvent. Run as `vport_bench.exe`; it starts its own listeners.
#include "ports/MidiPortVirtual.h"
#include "tests/wine/test_util.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

using wt::Control;

constexpr int kIndex = 30;

int64_t Ticks()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double Microseconds(int64_t ticks)
{
    static const double perTick = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return 1e6 / static_cast<double>(f.QuadPart);
    }();
    return static_cast<double>(ticks) * perTick;
}

// Listener process: receives `count` messages through the event path a
// script sees (a posted notification, then GetNextEvent) and prints the
// latency of those that carry their send time.
int Listen(int count, const char* readyName)
{
    Control c;
    c->SetMidiInMaxEventCount(1 << 30);
    if (!c->OpenMidiInPort(c.In(kIndex)))
        return 1;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, readyName);
    SetEvent(ready);
    CloseHandle(ready);
    std::vector<double> latencies;
    int received = 0;
    MSG msg;
    const DWORD start = GetTickCount();
    while (received < count && GetTickCount() - start < 120000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        wt::Received r;
        while (wt::NextEvent(c.get(), r)) {
            const int64_t now = Ticks();
            ++received;
            if (r.data.size() == 10) { // 0xF0, eight bytes of send time, 0xF7
                int64_t sent = 0;
                for (int i = 8; i >= 1; --i)
                    sent = (sent << 8) | r.data[i];
                latencies.push_back(Microseconds(now - sent));
            }
        }
    }
    if (!latencies.empty()) {
        std::sort(latencies.begin(), latencies.end());
        auto at = [&](double q) { return latencies[static_cast<size_t>(q * (latencies.size() - 1))]; };
        printf("  latency SendMidiEvent -> GetNextEvent over %zu messages: p50 %.0f us, p99 %.0f us, max %.0f us\n",
               latencies.size(), at(0.5), at(0.99), latencies.back());
    }
    if (received != count)
        printf("  listener received %d of %d\n", received, count);
    return received == count ? 0 : 1;
}

struct Listener {
    PROCESS_INFORMATION pi = {};
    ~Listener()
    {
        if (pi.hProcess) {
            wt::WaitPumping(pi.hProcess, 180000);
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
    }
};

// Starts `n` listener processes expecting `count` messages each and waits
// until they listen.
std::vector<std::unique_ptr<Listener>> StartListeners(int n, int count)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::vector<std::unique_ptr<Listener>> listeners;
    for (int i = 0; i < n; ++i) {
        wt::NamedEvent ready("ready");
        std::string commandLine = std::string("\"") + path + "\" listen " + std::to_string(count) + " " + ready.name();
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        auto listener = std::make_unique<Listener>();
        if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                            &listener->pi)) {
            printf("cannot start a listener\n");
            exit(1);
        }
        if (!ready.WaitPumping(60000)) {
            printf("listener did not start\n");
            exit(1);
        }
        listeners.push_back(std::move(listener));
    }
    return listeners;
}

void Throughput(int listenerCount, int count)
{
    // The one-listener run also sends one message after the baseline.
    auto listeners = StartListeners(listenerCount, count + (listenerCount == 1 ? 1 : 0));
    Control c;
    const long out = c.Out(kIndex);
    c->OpenMidiOutPort(out);
    tavro::Variant message;
    *message.get() = wt::MakeArray({0x90, 60, 100});
    int failed = 0;
    const long lostBefore = CMidiPortVirtual::LostMessages(kIndex);
    const int64_t start = Ticks();
    for (int i = 0; i < count; ++i)
        failed += !c->SendMidiEvent(out, 0, message.get());
    const double seconds = Microseconds(Ticks() - start) / 1e6;
    printf("throughput, %d listener process%s: %d messages in %.2f s = %.0f messages/s (%.0f deliveries/s), "
           "%d sends failed, %ld messages lost\n",
           listenerCount, listenerCount == 1 ? "" : "es", count, seconds, count / seconds,
           count * listenerCount / seconds, failed, CMidiPortVirtual::LostMessages(kIndex) - lostBefore);
    if (listenerCount == 1) {
        // Baseline: a bare cross-process SendMessageA to the same window.
        const VirtualPortBlock* block = CMidiPortVirtual::MappedBlock(kIndex);
        HWND window = static_cast<HWND>(LongToHandle(static_cast<LONG>(block->slots[0].receiverWindow)));
        const int64_t bare = Ticks();
        for (int i = 0; i < count; ++i)
            SendMessageA(window, WM_NULL, 0, 0);
        printf("  baseline: bare SendMessageA to the listener's window: %.0f messages/s\n",
               count / (Microseconds(Ticks() - bare) / 1e6));
        wt::Send(c.get(), out, {0x90, 60, 100}); // and the message that ends the listener
    }
    fflush(stdout);
}

void Latency(int count)
{
    auto listeners = StartListeners(1, count);
    Control c;
    const long out = c.Out(kIndex);
    c->OpenMidiOutPort(out);
    printf("latency, 1 listener process, one message a millisecond:\n");
    fflush(stdout);
    const long lostBefore = CMidiPortVirtual::LostMessages(kIndex);
    for (int i = 0; i < count; ++i) {
        std::vector<int> bytes = {0xF0};
        const int64_t now = Ticks();
        for (int b = 0; b < 8; ++b)
            bytes.push_back(static_cast<int>((now >> (8 * b)) & 0xFF));
        bytes.push_back(0xF7);
        wt::Send(c.get(), out, bytes);
        Sleep(1);
    }
    printf("  sender: %ld messages lost\n", CMidiPortVirtual::LostMessages(kIndex) - lostBefore);
}

void SameThread(int count)
{
    Control c;
    c->SetMidiInMaxEventCount(1 << 30);
    c->OpenMidiInPort(c.In(kIndex));
    const long out = c.Out(kIndex);
    c->OpenMidiOutPort(out);
    tavro::Variant message;
    *message.get() = wt::MakeArray({0x90, 60, 100});
    const int64_t start = Ticks();
    for (int i = 0; i < count; ++i)
        c->SendMidiEvent(out, 0, message.get());
    const double seconds = Microseconds(Ticks() - start) / 1e6;
    printf("same thread (listener on the sender's thread): %.0f messages/s\n", count / seconds);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "listen")
        return Listen(atoi(argv[2]), argv[3]);
    SameThread(20000);
    Throughput(1, 10000);
    Throughput(3, 5000);
    Latency(2000);
    return 0;
}
