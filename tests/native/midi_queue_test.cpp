// MidiOutQueue: time order with stable ties, the due rule with its lead,
// per-port counts and clears, and the send timer's start/stop answers.
#include "midiio/midi_out_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using tavro::AddOutResult;
using tavro::MidiOutEvent;
using tavro::MidiOutQueue;

constexpr int64_t kFarFuture = int64_t{1} << 60;

std::vector<uint8_t> Tagged(int tag) { return {0x90, static_cast<uint8_t>(tag), 0x40}; }

// Flushes at clockNow and returns the tags sent, in sending order.
std::vector<int> FlushTags(MidiOutQueue& q, int64_t clockNow, bool* keepRunning = nullptr) {
    std::vector<int> tags;
    const bool running = q.FlushDueOutEvents(clockNow, [&tags](const MidiOutEvent& ev) {
        tags.push_back(ev.data.at(1));
    });
    if (keepRunning) *keepRunning = running;
    return tags;
}

std::string Str(const std::vector<int>& v) {
    std::string s = "[";
    for (size_t i = 0; i < v.size(); ++i) s += (i ? "," : "") + std::to_string(v[i]);
    return s + "]";
}

TEST(MidiOutQueue, IsDueAllowsHalfAMillisecondOfLead) {
    struct Case {
        int64_t sendTime, clockNow;
        bool due;
    };
    const Case cases[] = {
        {10000, 5000, true},   {10000, 4999, false}, {10001, 5000, false},
        {0, 0, true},          {-1000, 0, true},     {5000, 0, true},
        {5001, 0, false},      {1000, -4000, true},  {1001, -4000, false},
        {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max() - 1, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MidiOutQueue::IsDue(c.sendTime, c.clockNow), c.due)
            << "IsDue(" << c.sendTime << ", " << c.clockNow << ")";
}

// Random times with many ties: the queue sends in the order of a stable sort
// of the insertions by time (ties keep call order; earlier times go before,
// whether inserted at the front, the back or in between).
TEST(MidiOutQueue, SendsInTimeOrderWithTiesInCallOrder) {
    std::mt19937 rng(777);
    for (int round = 0; round < 50; ++round) {
        MidiOutQueue q;
        struct Ins {
            int64_t time;
            int tag;
        };
        std::vector<Ins> ins;
        const int n = 1 + static_cast<int>(rng() % 60);
        for (int i = 0; i < n; ++i) {
            ins.push_back({static_cast<int64_t>(rng() % 8) * 10000, i});
            q.AddOutEvent(1, ins.back().time, Tagged(i));
        }
        std::stable_sort(ins.begin(), ins.end(), [](const Ins& a, const Ins& b) { return a.time < b.time; });
        std::vector<int> expected;
        for (const Ins& e : ins) expected.push_back(e.tag);
        EXPECT_EQ(Str(FlushTags(q, kFarFuture)), Str(expected)) << "round " << round;
    }
}

TEST(MidiOutQueue, EarlierThanAllGoesToTheFrontLaterThanAllToTheBack) {
    MidiOutQueue q;
    q.AddOutEvent(1, 50000, Tagged(1));
    q.AddOutEvent(1, 60000, Tagged(2));
    q.AddOutEvent(1, 10000, Tagged(3));  // front
    q.AddOutEvent(1, 90000, Tagged(4));  // back
    q.AddOutEvent(1, 50000, Tagged(5));  // behind the other 50000
    EXPECT_EQ(Str(FlushTags(q, kFarFuture)), Str({3, 1, 5, 2, 4}));
}

TEST(MidiOutQueue, FlushSendsOnlyDueEntriesAndReportsWhetherToKeepTicking) {
    MidiOutQueue q;
    EXPECT_EQ(q.AddOutEvent(1, 20000, Tagged(1)), AddOutResult::StartTimer) << "first entry starts the timer";
    EXPECT_EQ(q.AddOutEvent(1, 30000, Tagged(2)), AddOutResult::Queued) << "timer already runs";
    EXPECT_EQ(q.AddOutEvent(1, 30001, Tagged(3)), AddOutResult::Queued);

    bool running = false;
    EXPECT_EQ(Str(FlushTags(q, 14999, &running)), Str({}));
    EXPECT_TRUE(running);
    EXPECT_EQ(Str(FlushTags(q, 25000, &running)), Str({1, 2}));  // 30000 is due 0.5 ms early
    EXPECT_TRUE(running);
    EXPECT_EQ(q.GetMidiOutEventCount(0), 1u);
    // The last entry goes, and the same tick finds the queue empty: stop.
    EXPECT_EQ(Str(FlushTags(q, 25001, &running)), Str({3}));
    EXPECT_FALSE(running);
    EXPECT_EQ(q.AddOutEvent(1, 40000, Tagged(4)), AddOutResult::StartTimer) << "a stopped timer is started again";

    // A clear leaves the timer to its next tick, which stops it.
    EXPECT_EQ(q.ClearMidiOutBuffer(0), 1u);
    EXPECT_EQ(q.AddOutEvent(1, 40000, Tagged(5)), AddOutResult::Queued);
    q.ClearMidiOutBuffer(1);
    EXPECT_EQ(Str(FlushTags(q, 0, &running)), Str({}));
    EXPECT_FALSE(running);

    // A failed timer start is reported back, so the next add asks again.
    EXPECT_EQ(q.AddOutEvent(1, 40000, Tagged(6)), AddOutResult::StartTimer);
    q.SendTimerStopped();
    EXPECT_EQ(q.AddOutEvent(1, 40000, Tagged(7)), AddOutResult::StartTimer);
}

TEST(MidiOutQueue, CountsAndClearsPerPortKeepingTheOrderOfTheRest) {
    MidiOutQueue q;
    const uint32_t ports[] = {1, 2, 3, 2, 1, 2, 3, 1};
    for (int i = 0; i < 8; ++i) q.AddOutEvent(ports[i], 10000 * (8 - i % 3), Tagged(i));

    struct CountCase {
        uint32_t port, expected;
    };
    for (const CountCase& c : {CountCase{0, 8}, {1, 3}, {2, 3}, {3, 2}, {4, 0}})
        EXPECT_EQ(q.GetMidiOutEventCount(c.port), c.expected) << "port " << c.port;

    EXPECT_EQ(q.ClearMidiOutBuffer(2), 3u);
    EXPECT_EQ(q.GetMidiOutEventCount(2), 0u);
    EXPECT_EQ(q.GetMidiOutEventCount(0), 5u);
    EXPECT_EQ(q.ClearMidiOutBuffer(9), 0u);  // no entries of that port
    // Times 80000, 70000, 60000 by i % 3; ties in call order.
    EXPECT_EQ(Str(FlushTags(q, kFarFuture)), Str({2, 4, 7, 0, 6}));
}

// Sending runs without the lock: the send callback may use the queue, and a
// clear made while a tick is sending stops that port's remaining entries.
TEST(MidiOutQueue, SendRunsOutsideTheLock) {
    MidiOutQueue q;
    q.AddOutEvent(1, 1000, Tagged(1));
    q.AddOutEvent(2, 2000, Tagged(2));
    q.AddOutEvent(2, 3000, Tagged(3));
    q.AddOutEvent(1, 4000, Tagged(4));

    std::vector<int> sent;
    bool added = false;
    const bool running = q.FlushDueOutEvents(5000, [&](const MidiOutEvent& ev) {
        sent.push_back(ev.data[1]);
        if (ev.data[1] == 2) {
            q.ClearMidiOutBuffer(2);  // like CloseMidiOutPort on the script's thread
            EXPECT_EQ(q.GetMidiOutEventCount(0), 3u);  // tags 4, 5, 6
        }
        if (!added) {
            added = true;
            q.AddOutEvent(1, 4500, Tagged(5));  // due in this same tick
            q.AddOutEvent(1, 20000, Tagged(6)); // not due
        }
    });
    EXPECT_EQ(Str(sent), Str({1, 2, 4, 5}));
    EXPECT_TRUE(running);
    EXPECT_EQ(q.GetMidiOutEventCount(1), 1u);
}

// The script's thread queues and clears while the timer thread flushes. The
// timer is modelled as the control runs it: started on StartTimer, ticking
// while it runs, stopped when a tick reports an empty queue. Every message is
// sent once or cleared, in time order, and no queued message is left without
// a running timer.
TEST(MidiOutQueue, ConcurrentQueueingClearingAndFlushingKeepTheTimerInvariant) {
    constexpr int kMessages = 20000;
    MidiOutQueue q;
    std::atomic<int> liveTimers{0};
    std::atomic<int> maxLive{0};
    std::atomic<bool> quit{false};
    std::atomic<int64_t> clock{0};
    std::vector<int64_t> sentTimes;
    uint32_t cleared = 0;

    std::thread timer([&] {
        while (!quit.load()) {
            if (liveTimers.load() == 0) {
                std::this_thread::yield();
                continue;
            }
            const bool keep = q.FlushDueOutEvents(clock.load(), [&](const MidiOutEvent& ev) {
                sentTimes.push_back(ev.sendTime);
            });
            if (!keep) liveTimers.fetch_sub(1);
        }
    });

    std::mt19937 rng(99);
    for (int i = 0; i < kMessages; ++i) {
        const int64_t t = int64_t{i} * 100;
        switch (q.AddOutEvent(1 + rng() % 3, t, Tagged(i & 0x7F))) {
        case AddOutResult::StartTimer: {
            const int live = liveTimers.fetch_add(1) + 1;
            if (live > maxLive.load()) maxLive.store(live);
            break;
        }
        case AddOutResult::Queued: break;
        case AddOutResult::Failed: FAIL() << "out of memory at " << i;
        }
        if (rng() % 500 == 0) cleared += q.ClearMidiOutBuffer(rng() % 4);
        clock.store(t - 5000 * static_cast<int64_t>(rng() % 3));
    }
    clock.store(int64_t{kMessages} * 100);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (liveTimers.load() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    const bool stopped = liveTimers.load() == 0;
    quit.store(true);
    timer.join();

    ASSERT_TRUE(stopped) << "the send timer never stopped";
    EXPECT_EQ(q.GetMidiOutEventCount(0), 0u) << "messages left with no timer running";
    EXPECT_EQ(sentTimes.size() + cleared, static_cast<size_t>(kMessages));
    EXPECT_TRUE(std::is_sorted(sentTimes.begin(), sentTimes.end()));
    // A new timer may be started while the old one is on its way out.
    EXPECT_LE(maxLive.load(), 2);
}

} // namespace
