// Throughput of MidiInStore::AddInputEvent from 1, 2 and 4 producer threads
// while one consumer drains the store with GetNextEvent. Prints figures only.
#include "midiio/MidiInStore.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

struct Result {
    double seconds;
    long added, dropped, taken;
};

Result Run(int producers, int perProducer, int32_t capacity)
{
    tavro::MidiInStore store;
    store.SetMidiInMaxEventCount(capacity);
    std::atomic<long> dropped{0};
    std::atomic<int> running{producers};
    long taken = 0;

    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
        threads.emplace_back([&, p] {
            const uint8_t bytes[3] = {0x90, static_cast<uint8_t>(p), 0x40};
            long lost = 0;
            for (int i = 0; i < perProducer; ++i)
                if (store.AddInputEvent(static_cast<uint32_t>(p + 1), i, i, bytes, 3) == tavro::AddInputResult::Dropped)
                    ++lost;
            dropped.fetch_add(lost);
            running.fetch_sub(1);
        });
    }
    // The consumer drains until every producer has finished and the store is empty.
    for (;;) {
        if (store.GetNextEvent()) {
            ++taken;
        } else if (running.load() == 0) {
            if (!store.GetNextEvent())
                break;
            ++taken;
        }
    }
    for (std::thread& t : threads)
        t.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {seconds, static_cast<long>(producers) * perProducer, dropped.load(), taken};
}

} // namespace

int main()
{
    constexpr int kTotal = 2'000'000;
    std::printf("MidiInStore: %d AddInputEvent calls (3 bytes) shared by the producers, one draining consumer\n",
                kTotal);
    std::printf("%-10s %-9s %12s %14s %10s %10s\n", "producers", "capacity", "seconds", "adds/s", "dropped", "ns/add");
    for (int32_t capacity : {1000, kTotal}) {
        for (int producers : {1, 2, 4}) {
            const Result r = Run(producers, kTotal / producers, capacity);
            std::printf("%-10d %-9d %12.3f %14.0f %10ld %10.1f\n", producers, capacity, r.seconds, r.added / r.seconds,
                        r.dropped, r.seconds * 1e9 / r.added);
            if (r.taken + r.dropped != r.added)
                std::printf("  mismatch: taken %ld + dropped %ld != added %ld\n", r.taken, r.dropped, r.added);
        }
    }
    return 0;
}
