// Input path of the real MidiIO control under Wine: AddInputEvent from
// several producer threads (clock read, copy, lock, posted notification)
// while the control's thread pumps messages and drains with GetNextEvent.
// Prints figures only.
#include "midiio/MidiIOCtrl.h"
#include "ports/MidiPortMM.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

struct Result {
    double seconds;
    long added, taken;
};

Result Run(CMidiIOCtrl* io, CMidiPort* port, int producers, long perProducer)
{
    std::atomic<int> running{producers};
    long taken = 0;
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
        threads.emplace_back([&, p] {
            const uint8_t bytes[3] = {0x90, static_cast<uint8_t>(p), 0x40};
            for (long i = 0; i < perProducer; ++i) {
                const int64_t now = io->ReadMasterClock(); // as a port's callback does
                io->AddInputEvent(port, now, now, 3, bytes);
            }
            running.fetch_sub(1);
        });
    }
    VARIANT id, time, data;
    VariantInit(&id);
    VariantInit(&time);
    VariantInit(&data);
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        long n = 0;
        while (io->GetNextEvent(&id, &time, &data) > 0)
            ++n;
        taken += n;
        if (n == 0 && running.load() == 0 && io->GetMidiInEventCount(0) == 0)
            break;
    }
    VariantClear(&id);
    VariantClear(&time);
    VariantClear(&data);
    for (std::thread& t : threads)
        t.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {seconds, producers * perProducer, taken};
}

} // namespace

int main()
{
    CoInitialize(nullptr);
    IUnknown* unknown = CMidiIOCtrl::Create();
    auto* io = static_cast<CMidiIOCtrl*>(static_cast<IDispatch*>(unknown));
    {
        // A closed port object serves as the sender: only its ID is read.
        CMidiPortMM port(io, 1, 0, true);
        constexpr long kTotal = 200000;
        std::printf("MidiIO AddInputEvent: %ld messages (3 bytes) shared by the producers; the control's\n"
                    "thread pumps its messages and drains with GetNextEvent (a full store drops)\n",
                    kTotal);
        std::printf("%-10s %-9s %-13s %9s %12s %10s %10s\n", "producers", "capacity", "notification", "seconds",
                    "adds/s", "stored", "dropped");
        for (long capacity : {kTotal, 1000L}) {
            io->SetMidiInMaxEventCount(capacity);
            for (int enabled : {1, 0}) {
                io->EnableMidiInEventHandler(enabled);
                for (int producers : {1, 2, 4}) {
                    const Result r = Run(io, &port, producers, kTotal / producers);
                    std::printf("%-10d %-9ld %-13s %9.3f %12.0f %10ld %10ld\n", producers, capacity,
                                enabled ? "posted" : "disabled", r.seconds, r.added / r.seconds, r.taken,
                                r.added - r.taken);
                }
            }
        }
    }
    unknown->Release();
    CoUninitialize();
    return 0;
}
