// MidiInStore: capacity, positions, per-port operations against a plain
// reference model, and concurrent producers with one consumer.
#include "midiio/midi_in_store.h"

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
AddInputResult Add(MidiInStore& s, uint32_t port, uint8_t tag, int64_t t = 0) {
    const uint8_t bytes[3] = {0x90, tag, 0x40};
    return s.AddInputEvent(port, t, t, bytes, 3);
}

// Tags of the stored records, oldest first, read through GetMidiInEvent.
std::vector<int> Tags(const MidiInStore& s) {
    std::vector<int> tags;
    const int32_t n = static_cast<int32_t>(s.GetMidiInEventCount(0));
    for (int32_t i = 0; i < n; ++i) tags.push_back(s.GetMidiInEvent(i, tavro::kFieldDataByte, 1));
    return tags;
}

std::string Str(const std::vector<int>& v) {
    std::string s = "[";
    for (size_t i = 0; i < v.size(); ++i) s += (i ? "," : "") + std::to_string(v[i]);
    return s + "]";
}

TEST(MidiInStore, DefaultCapacityAndLoweringBelowTheStoredCount) {
    MidiInStore s;
    EXPECT_EQ(s.GetMidiInMaxEventCount(), 1000);
    for (int i = 0; i < 1001; ++i) Add(s, 1, static_cast<uint8_t>(i));
    EXPECT_EQ(s.GetMidiInEventCount(0), 1000u);

    // Lower capacity: nothing stored is removed, new input is refused until
    // the store has shrunk below it.
    s.SetMidiInMaxEventCount(998);
    EXPECT_EQ(s.GetMidiInEventCount(0), 1000u);
    s.DeleteMidiInEvents(0, 2);
    EXPECT_EQ(Add(s, 1, 0), AddInputResult::Dropped);
    s.DeleteMidiInEvents(0, 1);
    EXPECT_EQ(Add(s, 1, 0), AddInputResult::StoredNotify);
    EXPECT_EQ(s.GetMidiInEventCount(0), 998u);
    // The oldest stay; the newest were dropped.
    EXPECT_EQ(s.GetMidiInEvent(0, tavro::kFieldDataByte, 1), 3);

    for (int32_t capacity : {0, -5}) {
        MidiInStore none;
        none.SetMidiInMaxEventCount(capacity);
        EXPECT_EQ(none.GetMidiInMaxEventCount(), 0);
        EXPECT_EQ(Add(none, 1, 1), AddInputResult::Dropped) << "capacity " << capacity;
    }
}

TEST(MidiInStore, NotificationFollowsTheHandlerSwitch) {
    MidiInStore s;
    EXPECT_EQ(Add(s, 1, 1), AddInputResult::StoredNotify);
    s.EnableMidiInEventHandler(false);
    EXPECT_EQ(Add(s, 1, 2), AddInputResult::Stored);
    s.SetMidiInMaxEventCount(2);
    EXPECT_EQ(Add(s, 1, 3), AddInputResult::Dropped);
    s.EnableMidiInEventHandler(true);
    EXPECT_EQ(s.GetMidiInEventCount(0), 2u);
}

TEST(MidiInStore, GetNextEventReturnsOwnedCopiesOldestFirst) {
    MidiInStore s;
    EXPECT_FALSE(s.GetNextEvent().has_value());

    uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    s.AddInputEvent(3, 123456789, 987654321, sysex, sizeof sysex);
    sysex[1] = 0;  // the caller's buffer is reused at once
    s.AddInputEvent(4, 5, 6, nullptr, 0);

    std::optional<MidiInEvent> a = s.GetNextEvent();
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->portId, 3u);
    EXPECT_EQ(a->receivedTime, 123456789);
    EXPECT_EQ(a->portTime, 987654321);
    EXPECT_EQ(a->data, (std::vector<uint8_t>{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));

    // A message of no bytes is still a record with its port.
    std::optional<MidiInEvent> b = s.GetNextEvent();
    ASSERT_TRUE(b.has_value());
    EXPECT_EQ(b->portId, 4u);
    EXPECT_TRUE(b->data.empty());
    EXPECT_FALSE(s.GetNextEvent().has_value());
}

TEST(MidiInStore, GetMidiInEventFields) {
    MidiInStore s;
    const uint8_t pc[3] = {0xC1, 0x05, 0x00};
    s.AddInputEvent(2, 25'000'000, 12'345'678, pc, 3);
    // Negative times truncate toward zero; a large time keeps its low 32 bits.
    const uint8_t one[1] = {0xF8};
    s.AddInputEvent(7, -1999, (int64_t{1} << 32) * 1000 + 5000, one, 1);

    struct Case {
        int32_t eventID, type, index, expected;
    };
    const Case cases[] = {
        {0, 0, 0, 12345},  {0, 1, 0, 25000}, {0, 2, 0, 2},   {0, 3, 0, 3},
        {0, 4, 0, 0xC1},   {0, 4, 1, 5},     {0, 4, 2, 0},   {0, 4, 3, 0},
        {0, 4, -1, 0},     {0, 5, 0, 0},     {0, -1, 0, 0},  {1, 0, 0, 5},
        {1, 1, 0, -1},     {1, 2, 0, 7},     {1, 3, 0, 1},   {1, 4, 0, 0xF8},
        {2, 3, 0, 0},      {-1, 3, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(s.GetMidiInEvent(c.eventID, c.type, c.index), c.expected)
            << "GetMidiInEvent(" << c.eventID << ", " << c.type << ", " << c.index << ")";
    EXPECT_EQ(s.GetMidiInEventCount(0), 2u);  // reading removes nothing
}

TEST(MidiInStore, DeleteMidiInEventsRemovesAtMostCountByPosition) {
    struct Case {
        int32_t eventID, count;
        std::vector<int> remaining;  // of tags 0..4
    };
    const Case cases[] = {
        {0, 1, {1, 2, 3, 4}},
        {0, 5, {}},
        {0, 100, {}},
        {1, 2, {0, 3, 4}},
        {4, 1, {0, 1, 2, 3}},
        {4, 9, {0, 1, 2, 3}},
        {5, 1, {0, 1, 2, 3, 4}},   // past the end
        {2, 0, {0, 1, 2, 3, 4}},   // count < 1
        {2, -3, {0, 1, 2, 3, 4}},
        {-2, 4, {2, 3, 4}},        // window -2..1 clipped to 0..1
        {-3, 4, {1, 2, 3, 4}},     // window -3..0
        {-3, 3, {0, 1, 2, 3, 4}},  // window -3..-1 lies before the first record
        {-10, 3, {0, 1, 2, 3, 4}},
        {2, 2147483647, {0, 1}},
        {-2147483647 - 1, 2147483647, {0, 1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        MidiInStore s;
        for (int i = 0; i < 5; ++i) Add(s, 1, static_cast<uint8_t>(i));
        s.DeleteMidiInEvents(c.eventID, c.count);
        EXPECT_EQ(Str(Tags(s)), Str(c.remaining))
            << "DeleteMidiInEvents(" << c.eventID << ", " << c.count << ") on 5";
    }
    MidiInStore empty;
    empty.DeleteMidiInEvents(0, 1);
    EXPECT_EQ(empty.GetMidiInEventCount(0), 0u);
}

// Random operations against a plain vector model: per-port counts, clears
// keeping the order of the rest, positional access and deletes, take-oldest.
TEST(MidiInStore, MatchesAReferenceModelUnderRandomOperations) {
    struct Ref {
        uint32_t port;
        int tag;
    };
    std::mt19937 rng(12345);
    MidiInStore s;
    s.SetMidiInMaxEventCount(40);
    std::vector<Ref> ref;
    int nextTag = 0;
    for (int step = 0; step < 4000; ++step) {
        const uint32_t port = 1 + rng() % 4;
        const std::string where = "step " + std::to_string(step);
        switch (rng() % 8) {
        case 0: case 1: case 2: {
            const int tag = nextTag++ % 128;
            const AddInputResult r = Add(s, port, static_cast<uint8_t>(tag));
            if (ref.size() < 40) {
                ref.push_back({port, tag});
                ASSERT_EQ(r, AddInputResult::StoredNotify) << where;
            } else {
                ASSERT_EQ(r, AddInputResult::Dropped) << where;
            }
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
            const uint32_t which = rng() % 8 == 0 ? 0 : port;
            const auto expected = std::count_if(ref.begin(), ref.end(),
                                                [which](const Ref& r) { return which == 0 || r.port == which; });
            ASSERT_EQ(s.ClearMidiInBuffer(which), static_cast<uint32_t>(expected)) << where;
            ref.erase(std::remove_if(ref.begin(), ref.end(),
                                     [which](const Ref& r) { return which == 0 || r.port == which; }),
                      ref.end());
            break;
        }
        case 5: {
            const int32_t id = static_cast<int32_t>(rng() % 50) - 5;
            const int32_t count = static_cast<int32_t>(rng() % 6) - 1;
            s.DeleteMidiInEvents(id, count);
            const int64_t n = static_cast<int64_t>(ref.size());
            for (int64_t pos = n - 1; pos >= 0; --pos)
                if (id <= n - 1 && count >= 1 && pos >= id && pos < int64_t{id} + count)
                    ref.erase(ref.begin() + pos);
            break;
        }
        default: {
            const int32_t id = static_cast<int32_t>(rng() % 45);
            const bool inRange = static_cast<size_t>(id) < ref.size();
            ASSERT_EQ(s.GetMidiInEvent(id, tavro::kFieldPortId, 0),
                      inRange ? static_cast<int32_t>(ref[id].port) : 0) << where << " id " << id;
            ASSERT_EQ(s.GetMidiInEvent(id, tavro::kFieldDataByte, 1), inRange ? ref[id].tag : 0)
                << where << " id " << id;
            break;
        }
        }
        for (uint32_t p = 0; p <= 5; ++p) {
            const auto expected = std::count_if(ref.begin(), ref.end(),
                                                [p](const Ref& r) { return p == 0 || r.port == p; });
            ASSERT_EQ(s.GetMidiInEventCount(p), static_cast<uint32_t>(expected)) << where << " port " << p;
        }
    }
}

// Several producer threads and one consumer: below capacity nothing is lost,
// and each producer's messages come out in the order it added them.
TEST(MidiInStore, ConcurrentProducersLoseNothingAndKeepTheirOrder) {
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
                const uint8_t bytes[4] = {static_cast<uint8_t>(p), static_cast<uint8_t>(i & 0xFF),
                                          static_cast<uint8_t>(i >> 8), 0xF7};
                const uint32_t len = 3 + static_cast<uint32_t>(i % 2);
                if (s.AddInputEvent(static_cast<uint32_t>(p + 1), i, i, bytes, len) ==
                    AddInputResult::Dropped)
                    dropped.fetch_add(1);
            }
        });
    }

    std::vector<int> next(kProducers, 0);
    int received = 0;
    bool orderOk = true;
    std::string firstError;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (received < kProducers * kPerProducer && std::chrono::steady_clock::now() < deadline) {
        std::optional<MidiInEvent> ev = s.GetNextEvent();
        if (!ev) {
            std::this_thread::yield();
            continue;
        }
        const int p = static_cast<int>(ev->portId) - 1;
        const int seq = ev->data[1] | (ev->data[2] << 8);
        if (p < 0 || p >= kProducers || ev->data[0] != p || seq != next[p] ||
            ev->receivedTime != seq || ev->data.size() != 3u + static_cast<size_t>(seq % 2)) {
            if (orderOk)
                firstError = "port " + std::to_string(ev->portId) + " seq " + std::to_string(seq) +
                             " expected " + (p >= 0 && p < kProducers ? std::to_string(next[p]) : "?");
            orderOk = false;
        } else {
            ++next[p];
        }
        ++received;
    }
    for (std::thread& t : producers) t.join();

    EXPECT_EQ(dropped.load(), 0);
    EXPECT_EQ(received, kProducers * kPerProducer);
    EXPECT_TRUE(orderOk) << firstError;
    EXPECT_EQ(s.GetMidiInEventCount(0), 0u);
}

} // namespace
