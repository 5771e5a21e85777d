// MidiOutQueue: time order with stable ties, the due rule with its lead,
// per-port counts and clears, and the send timer's start/stop answers.
#include "midiio/MidiOutQueue.h"

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

std::vector<uint8_t> Tagged(int tag)
{
    return {0x90, static_cast<uint8_t>(tag), 0x40};
}

// Flushes at clockNow and returns the tags sent, in sending order, as text.
std::string Flush(MidiOutQueue& q, int64_t clockNow, bool* keepRunning = nullptr)
{
    std::string tags;
    const bool running = q.FlushDueOutEvents(clockNow, [&tags](const MidiOutEvent& ev) {
        tags += (tags.empty() ? "" : ",") + std::to_string(ev.data.at(1));
    });
    if (keepRunning)
        *keepRunning = running;
    return tags;
}

TEST(MidiOutQueue, IsDueAllowsHalfAMillisecondOfLead)
{
    const struct {
        int64_t sendTime, clockNow;
        bool due;
    } cases[] = {
        {10000, 5000, true},  {10000, 4999, false},
        {-1000, 0, true},     {1000, -4000, true},
        {1001, -4000, false}, {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max() - 1, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MidiOutQueue::IsDue(c.sendTime, c.clockNow), c.due)
            << "IsDue(" << c.sendTime << ", " << c.clockNow << ")";
}

// Random times with many ties on three ports, then one port or all cleared: counts
// follow the ports, and the rest is sent in the order of a stable sort of the
// insertions by time, whether each went in at the front, the back or between.
TEST(MidiOutQueue, SendsInTimeOrderWithTiesInCallOrder)
{
    std::mt19937 rng(777);
    for (int round = 0; round < 50; ++round) {
        MidiOutQueue q;
        struct Ins {
            int64_t time;
            int tag;
            uint32_t port;
        };
        std::vector<Ins> ins;
        for (int i = 0, n = 1 + static_cast<int>(rng() % 60); i < n; ++i) {
            ins.push_back({static_cast<int64_t>(rng() % 8) * 10000, i, 1 + static_cast<uint32_t>(rng() % 3)});
            q.AddOutEvent(ins.back().port, ins.back().time, Tagged(i));
        }
        auto onPort = [](uint32_t port) { return [port](const Ins& e) { return port == 0 || e.port == port; }; };
        auto count = [&](uint32_t port) {
            return static_cast<uint32_t>(std::count_if(ins.begin(), ins.end(), onPort(port)));
        };
        for (uint32_t port = 0; port <= 4; ++port)
            EXPECT_EQ(q.GetMidiOutEventCount(port), count(port)) << "port " << port;
        const uint32_t cleared = static_cast<uint32_t>(rng() % 5); // 0: every port; 4: a port with no entries
        EXPECT_EQ(q.ClearMidiOutBuffer(cleared), count(cleared));
        ins.erase(std::remove_if(ins.begin(), ins.end(), onPort(cleared)), ins.end());
        std::stable_sort(ins.begin(), ins.end(), [](const Ins& a, const Ins& b) { return a.time < b.time; });
        std::string expected;
        for (const Ins& e : ins)
            expected += (expected.empty() ? "" : ",") + std::to_string(e.tag);
        EXPECT_EQ(Flush(q, kFarFuture), expected) << "round " << round;
    }
}

TEST(MidiOutQueue, FlushSendsOnlyDueEntriesAndReportsWhetherToKeepTicking)
{
    MidiOutQueue q;
    EXPECT_EQ(q.AddOutEvent(1, 20000, Tagged(1)), AddOutResult::StartTimer);
    EXPECT_EQ(q.AddOutEvent(1, 30000, Tagged(2)), AddOutResult::Queued) << "timer already runs";
    EXPECT_EQ(q.AddOutEvent(1, 30001, Tagged(3)), AddOutResult::Queued);

    bool running = false;
    EXPECT_EQ(Flush(q, 14999, &running), "");
    EXPECT_TRUE(running);
    EXPECT_EQ(Flush(q, 25000, &running), "1,2"); // 30000 is due 0.5 ms early
    EXPECT_TRUE(running);
    // The last entry goes, and the same tick finds the queue empty: stop.
    EXPECT_EQ(Flush(q, 25001, &running), "3");
    EXPECT_FALSE(running);
    EXPECT_EQ(q.AddOutEvent(1, 40000, Tagged(4)), AddOutResult::StartTimer) << "a stopped timer is started again";

    // A clear leaves the timer to its next tick, which stops it.
    q.ClearMidiOutBuffer(0);
    EXPECT_EQ(q.AddOutEvent(1, 40000, Tagged(5)), AddOutResult::Queued);
    q.ClearMidiOutBuffer(1);
    EXPECT_EQ(Flush(q, 0, &running), "");
    EXPECT_FALSE(running);

    // A failed timer start is reported back, so the next add asks again.
    EXPECT_EQ(q.AddOutEvent(1, 40000, Tagged(6)), AddOutResult::StartTimer);
    q.SendTimerStopped();
    EXPECT_EQ(q.AddOutEvent(1, 40000, Tagged(7)), AddOutResult::StartTimer);
}

// Sending runs without the lock: the send callback may use the queue, and a
// clear made while a tick is sending stops that port's remaining entries.
TEST(MidiOutQueue, SendRunsOutsideTheLock)
{
    MidiOutQueue q;
    q.AddOutEvent(1, 1000, Tagged(1));
    q.AddOutEvent(2, 2000, Tagged(2));
    q.AddOutEvent(2, 3000, Tagged(3));
    q.AddOutEvent(1, 4000, Tagged(4));
    std::string sent;
    const bool running = q.FlushDueOutEvents(5000, [&](const MidiOutEvent& ev) {
        sent += std::to_string(ev.data[1]);
        if (ev.data[1] == 1) {
            q.AddOutEvent(1, 4500, Tagged(5));  // due in this same tick
            q.AddOutEvent(1, 20000, Tagged(6)); // not due
        }
        if (ev.data[1] == 2)
            q.ClearMidiOutBuffer(2); // like CloseMidiOutPort on the script's thread
    });
    EXPECT_EQ(sent, "1245");
    EXPECT_TRUE(running);
    EXPECT_EQ(q.GetMidiOutEventCount(0), 1u);
}

// The script's thread queues and clears while the timer thread flushes. The
// timer runs as the control runs it: started on StartTimer, ticking while it
// runs, stopped when a tick reports an empty queue. Every message is sent
// once or cleared, in time order, and none is left without a running timer.
TEST(MidiOutQueue, ConcurrentQueueingClearingAndFlushingKeepTheTimerInvariant)
{
    constexpr int kMessages = 20000;
    MidiOutQueue q;
    std::atomic<int> liveTimers{0}, maxLive{0};
    std::atomic<bool> quit{false};
    std::atomic<int64_t> clock{0};
    std::vector<int64_t> sentTimes;
    uint32_t cleared = 0;
    std::thread timer([&] {
        while (!quit.load()) {
            if (liveTimers.load() == 0) {
                std::this_thread::yield();
            } else if (!q.FlushDueOutEvents(clock.load(),
                                            [&](const MidiOutEvent& ev) { sentTimes.push_back(ev.sendTime); })) {
                liveTimers.fetch_sub(1);
            }
        }
    });
    std::mt19937 rng(99);
    for (int i = 0; i < kMessages; ++i) {
        const int64_t t = int64_t{i} * 100;
        const AddOutResult r = q.AddOutEvent(1 + rng() % 3, t, Tagged(i & 0x7F));
        ASSERT_NE(r, AddOutResult::Failed) << i;
        if (r == AddOutResult::StartTimer)
            maxLive.store(std::max(maxLive.load(), liveTimers.fetch_add(1) + 1));
        if (rng() % 500 == 0)
            cleared += q.ClearMidiOutBuffer(rng() % 4);
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
    EXPECT_LE(maxLive.load(), 2); // a new timer may start while the old one is on its way out
}

} // namespace
