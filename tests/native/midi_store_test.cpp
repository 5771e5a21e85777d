// MidiInStore: capacity, record fields, per-port operations against a plain
// reference model, and concurrent producers with one consumer.
#include "midiio/MidiInStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using tavro::AddInputResult;
using tavro::MidiInEvent;
using tavro::MidiInStore;

// Adds a 3-byte message whose first data byte tags it.
AddInputResult Add(MidiInStore& s, uint32_t port, int tag)
{
    const uint8_t bytes[3] = {0x90, static_cast<uint8_t>(tag), 0x40};
    return s.AddInputEvent(port, 0, 0, bytes, 3);
}

int TagAt(const MidiInStore& s, int32_t pos)
{
    return s.GetMidiInEvent(pos, tavro::kFieldDataByte, 1);
}

TEST(MidiInStore, FullStoreDropsTheNewestAndCapacityNeverRemovesRecords)
{
    MidiInStore s;
    EXPECT_EQ(s.GetMidiInMaxEventCount(), 1000);
    for (int i = 0; i < 1001; ++i)
        Add(s, 1, i);
    EXPECT_EQ(s.GetMidiInEventCount(0), 1000u);
    EXPECT_EQ(TagAt(s, 999), 999 & 0xFF);

    // Lowered below the stored count: new input is refused until the store
    // has shrunk below it.
    s.SetMidiInMaxEventCount(998);
    EXPECT_EQ(s.GetMidiInEventCount(0), 1000u);
    s.DeleteMidiInEvents(0, 2);
    EXPECT_EQ(Add(s, 1, 0), AddInputResult::Dropped);
    s.DeleteMidiInEvents(0, 1);
    EXPECT_EQ(Add(s, 1, 0), AddInputResult::StoredNotify);
    EXPECT_EQ(TagAt(s, 0), 3);

    // The handler switch decides whether an add asks for a notification.
    s.EnableMidiInEventHandler(false);
    s.SetMidiInMaxEventCount(1000);
    EXPECT_EQ(Add(s, 1, 0), AddInputResult::Stored);

    s.SetMidiInMaxEventCount(-5);
    EXPECT_EQ(s.GetMidiInMaxEventCount(), 0);
    s.ClearMidiInBuffer(0);
    EXPECT_EQ(Add(s, 1, 1), AddInputResult::Dropped);
}

TEST(MidiInStore, RecordsAreOwnedCopiesWithScriptTimeFields)
{
    MidiInStore s;
    uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0xF7};
    s.AddInputEvent(3, 25'000'000, 12'345'678, sysex, sizeof sysex);
    sysex[1] = 0; // the caller's buffer is reused at once
    // Negative times truncate toward zero; a large time keeps its low 32 bits.
    s.AddInputEvent(7, -1999, (int64_t{1} << 32) * 1000 + 5000, nullptr, 0);

    const struct {
        int32_t eventID, type, index, expected;
    } cases[] = {
        {0, 0, 0, 12345}, {0, 1, 0, 25000}, {0, 2, 0, 3}, {0, 3, 0, 4},  {0, 4, 0, 0xF0}, {0, 4, 1, 0x7E},
        {0, 4, 4, 0},     {0, 4, -1, 0},    {0, 5, 0, 0}, {0, -1, 0, 0}, {1, 0, 0, 5},    {1, 1, 0, -1},
        {1, 2, 0, 7},     {1, 3, 0, 0},     {1, 4, 0, 0}, {2, 3, 0, 0},  {-1, 3, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(s.GetMidiInEvent(c.eventID, c.type, c.index), c.expected)
            << "GetMidiInEvent(" << c.eventID << ", " << c.type << ", " << c.index << ")";

    ASSERT_TRUE(s.GetNextEvent().has_value());
    std::optional<MidiInEvent> b = s.GetNextEvent(); // no bytes: still a record
    ASSERT_TRUE(b.has_value());
    EXPECT_EQ(b->portId, 7u);
    EXPECT_FALSE(s.GetNextEvent().has_value());
}

// Random operations against a plain vector model: capacity, per-port counts,
// clears keeping the order of the rest, positional access and deletes (with
// extreme positions and counts), take-oldest.
TEST(MidiInStore, MatchesAReferenceModelUnderRandomOperations)
{
    struct Ref {
        uint32_t port;
        int tag;
    };
    auto pick = [](std::mt19937& rng, int32_t lo, int32_t hi) {
        return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
    };
    std::mt19937 rng(12345);
    MidiInStore s;
    s.SetMidiInMaxEventCount(16);
    std::vector<Ref> ref;
    for (int step = 0; step < 4000; ++step) {
        const uint32_t port = static_cast<uint32_t>(pick(rng, 1, 4));
        const std::string where = "step " + std::to_string(step);
        switch (pick(rng, 0, 7)) {
        case 0:
        case 1:
        case 2: {
            const int tag = step % 128;
            const bool fits = ref.size() < 16;
            ASSERT_EQ(Add(s, port, tag), fits ? AddInputResult::StoredNotify : AddInputResult::Dropped) << where;
            if (fits)
                ref.push_back({port, tag});
            break;
        }
        case 3: {
            std::optional<MidiInEvent> ev = s.GetNextEvent();
            ASSERT_EQ(ev.has_value(), !ref.empty()) << where;
            if (ev) {
                ASSERT_EQ(ev->portId, ref.front().port) << where;
                ASSERT_EQ(ev->data[1], ref.front().tag) << where;
                ref.erase(ref.begin());
            }
            break;
        }
        case 4: {
            const uint32_t which = pick(rng, 0, 7) == 0 ? 0 : port;
            auto match = [which](const Ref& r) { return which == 0 || r.port == which; };
            ASSERT_EQ(s.ClearMidiInBuffer(which), static_cast<uint32_t>(std::count_if(ref.begin(), ref.end(), match)))
                << where;
            ref.erase(std::remove_if(ref.begin(), ref.end(), match), ref.end());
            break;
        }
        case 5: {
            const int32_t id = pick(rng, 0, 19) ? pick(rng, -5, 20) : pick(rng, 0, 1) ? INT32_MIN : INT32_MAX;
            const int32_t count = pick(rng, 0, 9) ? pick(rng, -1, 4) : INT32_MAX;
            s.DeleteMidiInEvents(id, count);
            for (int64_t pos = int64_t(ref.size()) - 1; pos >= 0; --pos)
                if (count >= 1 && pos >= id && pos < int64_t{id} + count)
                    ref.erase(ref.begin() + pos);
            break;
        }
        default: {
            const int32_t id = pick(rng, 0, 20);
            const bool in = static_cast<size_t>(id) < ref.size();
            ASSERT_EQ(s.GetMidiInEvent(id, tavro::kFieldPortId, 0), in ? int32_t(ref[size_t(id)].port) : 0) << where;
            ASSERT_EQ(TagAt(s, id), in ? ref[size_t(id)].tag : 0) << where << " id " << id;
        }
        }
        for (uint32_t p = 0; p <= 5; ++p)
            ASSERT_EQ(s.GetMidiInEventCount(p),
                      static_cast<uint32_t>(
                          std::count_if(ref.begin(), ref.end(), [p](const Ref& r) { return p == 0 || r.port == p; })))
                << where << " port " << p;
    }
}

// Several producer threads and one consumer: below capacity nothing is lost,
// and each producer's messages come out in the order it added them.
TEST(MidiInStore, ConcurrentProducersLoseNothingAndKeepTheirOrder)
{
    constexpr int kProducers = 4;
    constexpr int kPerProducer = 2500;
    MidiInStore s;
    s.SetMidiInMaxEventCount(kProducers * kPerProducer);
    std::atomic<int> dropped{0};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&s, &dropped, p] {
            for (int i = 0; i < kPerProducer; ++i) {
                // Lengths vary so that copies of different sizes are made.
                const uint8_t bytes[4] = {uint8_t(p), uint8_t(i), uint8_t(i >> 8), 0xF7};
                if (s.AddInputEvent(uint32_t(p + 1), i, i, bytes, 3 + uint32_t(i % 2)) == AddInputResult::Dropped)
                    dropped.fetch_add(1);
            }
        });
    }
    std::vector<int> next(kProducers, 0);
    int received = 0;
    std::string firstError;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (received < kProducers * kPerProducer && std::chrono::steady_clock::now() < deadline) {
        std::optional<MidiInEvent> ev = s.GetNextEvent();
        if (!ev) {
            std::this_thread::yield();
            continue;
        }
        ++received;
        const int p = static_cast<int>(ev->portId) - 1;
        const int seq = ev->data[1] | ev->data[2] << 8;
        if (p >= 0 && p < kProducers && ev->data[0] == p && seq == next[p] && ev->receivedTime == seq &&
            ev->data.size() == 3u + size_t(seq % 2))
            ++next[p];
        else if (firstError.empty())
            firstError = "port " + std::to_string(ev->portId) + " seq " + std::to_string(seq);
    }
    for (std::thread& t : producers)
        t.join();
    EXPECT_EQ(dropped.load(), 0);
    EXPECT_EQ(received, kProducers * kPerProducer);
    EXPECT_EQ(firstError, "");
}

} // namespace
