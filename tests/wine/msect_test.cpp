// Counted section: argument rules, count rules, and the section shared by
// real processes (peers started with vport_peer.exe).
#include "midi_test_util.h"
#include "ports/MSect.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using miditest::NamedEvent;
using miditest::Peer;
using miditest::UniqueName;

struct SectionOwner {
    MSect* section;
    explicit SectionOwner(MSect* s) : section(s) {}
    ~SectionOwner() { CloseMSect(section); }
};

TEST(MSect, CreateArgumentRules)
{
    struct Case {
        LONG initial, maximum;
        size_t nameLength;
        bool accepted;
    } cases[] = {
        {1, 1, 128, true}, {1, 1, 129, false}, {0, 1, 5, true},  {1, 0, 5, false},
        {-1, 1, 5, false}, {2, 1, 5, false},   {5, 5, 0, true},  {0, 0x7FFFFFFF, 5, true},
    };
    for (const Case& c : cases) {
        std::string name = UniqueName("n");
        name.resize(c.nameLength, 'x');
        SetLastError(0);
        SectionOwner s(CreateMSect(c.initial, c.maximum, name.c_str()));
        DWORD error = GetLastError();
        EXPECT_EQ(s.section != nullptr, c.accepted)
            << "initial " << c.initial << " maximum " << c.maximum << " name length " << c.nameLength;
        if (!c.accepted) {
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "name length " << c.nameLength;
        }
    }
    CloseMSect(nullptr); // accepted and ignored
}

// The kernel objects carry the documented names and the block its layout.
TEST(MSect, NamedObjectsAndLayout)
{
    const std::string name = UniqueName("layout");
    SectionOwner s(CreateMSect(2, 3, name.c_str()));
    ASSERT_NE(s.section, nullptr);
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, ("ZLK_MSECT_EVT_" + name).c_str());
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, ("ZLK_MSECT_MMF_" + name).c_str());
    ASSERT_NE(event, nullptr);
    ASSERT_NE(mapping, nullptr);
    auto* words = static_cast<const int32_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(words, nullptr);
    EXPECT_EQ(words[0], 1); // initialised
    EXPECT_EQ(words[1], 0); // spin lock
    EXPECT_EQ(words[2], 0); // waiting
    EXPECT_EQ(words[3], 2); // available
    EXPECT_EQ(words[4], 3); // maximum
    EXPECT_EQ(EnterMSect(s.section, 0), 0u);
    EXPECT_EQ(words[3], 1);
    UnmapViewOfFile(words);
    CloseHandle(mapping);
    CloseHandle(event);
}

// Counts against a plain reference model: enter takes one when available
// (else times out), leave adds when it stays within the maximum.
TEST(MSect, CountsFollowReferenceModel)
{
    SectionOwner s(CreateMSect(1, 3, UniqueName("model").c_str()));
    ASSERT_NE(s.section, nullptr);
    LONG available = 1;
    uint32_t seed = 12345;
    for (int step = 0; step < 400; ++step) {
        seed = seed * 1103515245 + 12345;
        const int op = (seed >> 16) % 3;
        if (op == 0) {
            DWORD r = EnterMSect(s.section, 0);
            ASSERT_EQ(r, available > 0 ? 0u : static_cast<DWORD>(WAIT_TIMEOUT)) << "step " << step;
            if (available > 0)
                --available;
        } else {
            const LONG release = static_cast<LONG>((seed >> 20) % 5) - 1; // -1 .. 3
            LONG previous = -7;
            SetLastError(0);
            BOOL ok = LeaveMSect(s.section, release, op == 1 ? &previous : nullptr);
            const bool valid = release >= 0 && available + release <= 3;
            ASSERT_EQ(ok != FALSE, valid) << "step " << step << " release " << release << " available " << available;
            if (op == 1) {
                ASSERT_EQ(previous, available) << "step " << step;
            }
            if (valid) {
                available += release;
            } else {
                ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
            }
        }
    }
}

// A release with nobody waiting leaves the event set; the next waiter must
// still find no count and time out, and a later count is taken at once.
TEST(MSect, StaleSignalDoesNotLetAWaiterThrough)
{
    SectionOwner s(CreateMSect(1, 1, UniqueName("stale").c_str()));
    ASSERT_EQ(EnterMSect(s.section, 0), 0u);
    EXPECT_EQ(EnterMSect(s.section, 10), static_cast<DWORD>(WAIT_TIMEOUT)); // waiting becomes 1
    ASSERT_TRUE(LeaveMSect(s.section, 1, nullptr));                          // signals nobody
    EXPECT_EQ(s.section->view->waiting, 0);
    EXPECT_EQ(EnterMSect(s.section, 0), 0u);
    EXPECT_EQ(EnterMSect(s.section, 50), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(MSect, JoinKeepsCreatorsCounts)
{
    const std::string name = UniqueName("join");
    SectionOwner s(CreateMSect(3, 5, name.c_str()));
    ASSERT_NE(s.section, nullptr);
    ASSERT_EQ(EnterMSect(s.section, 0), 0u); // 2 of 5 left
    // The joiner asks for (1, 1) but sees 2 available, may give back 3 more
    // (the maximum is 5) and not a sixth.
    Peer peer("msect " + name + " 1 1 leave 0 1 2 leave 3 1 2 leave 1 0 5 enter 0 0");
    ASSERT_TRUE(peer.started());
    EXPECT_EQ(peer.Finish(60000), 0) << peer.Output();
    LONG previous = 0;
    EXPECT_TRUE(LeaveMSect(s.section, 0, &previous));
    EXPECT_EQ(previous, 4);
}

TEST(MSect, SecondHolderTimesOutAcrossProcesses)
{
    const std::string name = UniqueName("timeout");
    SectionOwner s(CreateMSect(1, 1, name.c_str()));
    ASSERT_EQ(EnterMSect(s.section, 0), 0u);
    // The peer's wait runs out while this process keeps the count.
    Peer peer("msect " + name + " 1 1 enter 1000 258");
    ASSERT_TRUE(peer.started());
    EXPECT_EQ(peer.Finish(60000), 0) << peer.Output();
    const std::string out = peer.Output();
    const size_t at = out.find("after ");
    ASSERT_NE(at, std::string::npos) << out;
    const long waited = atol(out.c_str() + at + 6);
    EXPECT_GE(waited, 900) << "the wait ended early: " << out; // no upper bound: machine load
    LONG previous = -1;
    EXPECT_TRUE(LeaveMSect(s.section, 1, &previous));
    EXPECT_EQ(previous, 0);
}

// A waiter in another process is woken by the release rather than by its
// time-out (which is far beyond the test's bound).
TEST(MSect, ReleaseWakesWaiterInAnotherProcess)
{
    const std::string name = UniqueName("wake");
    SectionOwner s(CreateMSect(1, 1, name.c_str()));
    ASSERT_EQ(EnterMSect(s.section, 0), 0u);
    Peer peer("msect " + name + " 1 1 enter 600000 0 leave 1 1 0");
    ASSERT_TRUE(peer.started());
    ASSERT_TRUE(miditest::PumpUntil([&] { return s.section->view->waiting >= 1; }, 60000)) << peer.Output();
    ASSERT_TRUE(LeaveMSect(s.section, 1, nullptr));
    EXPECT_EQ(peer.Finish(60000), 0) << peer.Output();
    LONG previous = -1;
    EXPECT_TRUE(LeaveMSect(s.section, 0, &previous));
    EXPECT_EQ(previous, 1);
}

// Threads of three processes, each with its own handle, never hold a
// count-1 section together, and none of their updates is lost.
TEST(MSect, HammeringKeepsHoldersExclusive)
{
    const std::string name = UniqueName("hammer");
    const std::string checkName = UniqueName("hammercheck");
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 12, checkName.c_str());
    ASSERT_NE(mapping, nullptr);
    auto* check = static_cast<volatile LONG*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(check, nullptr);
    SectionOwner s(CreateMSect(1, 1, name.c_str()));
    NamedEvent go("go");
    const int iterations = 5000;
    const std::string args =
        "hammer " + name + " 2 " + std::to_string(iterations) + " " + checkName + " " + go.name();
    Peer a(args), b(args);
    ASSERT_TRUE(a.started() && b.started());
    // Start together once both peers are waiting for the go.
    ASSERT_TRUE(miditest::PumpUntil([&] { return check[2] == 2; }, 60000)) << a.Output() << b.Output();
    go.Set();
    std::atomic<int> overlaps{0};
    std::thread local([&] {
        for (int i = 0; i < iterations; ++i) {
            ASSERT_EQ(EnterMSect(s.section, 60000), 0u);
            if (InterlockedIncrement(&check[0]) != 1)
                ++overlaps;
            LONG total = check[1];
            check[1] = total + 1;
            InterlockedDecrement(&check[0]);
            LeaveMSect(s.section, 1, nullptr);
        }
    });
    local.join();
    EXPECT_EQ(a.Finish(120000), 0) << a.Output();
    EXPECT_EQ(b.Finish(120000), 0) << b.Output();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(check[1], 5 * iterations);
    LONG previous = -1;
    EXPECT_TRUE(LeaveMSect(s.section, 0, &previous));
    EXPECT_EQ(previous, 1);
    EXPECT_EQ(s.section->view->spinLock, 0);
    UnmapViewOfFile(const_cast<LONG*>(check));
    CloseHandle(mapping);
}

} // namespace
