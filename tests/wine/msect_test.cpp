// Counted section: argument and count rules, and the section shared by real
// processes (peers run vport_peer.exe).
#include "test_util.h"
#include "ports/MSect.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace wt;

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
    ASSERT_TRUE(LeaveMSect(s.s, 1, nullptr));           // signals nobody
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
