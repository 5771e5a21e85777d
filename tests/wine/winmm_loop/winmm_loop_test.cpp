// Plain winmm calls against the loopback MIDI driver: short messages from
// output n to input n with running status and stamps. Long messages, buffers
// and close/reset are exercised through the MidiIO control's system ports.
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

// Collects the messages and stamps (MIM_DATA) of one open input.
struct Inbox {
    static void CALLBACK Proc(HMIDIIN, UINT msg, DWORD_PTR instance, DWORD_PTR message, DWORD_PTR stamp)
    {
        auto* self = reinterpret_cast<Inbox*>(instance);
        std::lock_guard<std::mutex> guard(self->mutex);
        if (msg == MIM_DATA)
            self->items.push_back({static_cast<DWORD>(message), static_cast<DWORD>(stamp)});
    }
    std::vector<std::pair<DWORD, DWORD>> Items()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return items;
    }
    // Polls for at least n messages; generous bound.
    bool WaitFor(size_t n)
    {
        for (const DWORD start = GetTickCount(); Items().size() < n; Sleep(1))
            if (GetTickCount() - start > 10000)
                return false;
        return true;
    }
    std::mutex mutex;
    std::vector<std::pair<DWORD, DWORD>> items;
};

HMIDIIN OpenIn(UINT dev, Inbox& box)
{
    HMIDIIN h = nullptr;
    EXPECT_EQ(midiInOpen(&h, dev, reinterpret_cast<DWORD_PTR>(&Inbox::Proc), reinterpret_cast<DWORD_PTR>(&box),
                         CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    return h;
}
HMIDIOUT OpenOut(UINT dev)
{
    HMIDIOUT h = nullptr;
    EXPECT_EQ(midiOutOpen(&h, dev, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    return h;
}

TEST(LoopTest, ShortMessagesArriveOnTheSameCableWithTheirBytes)
{
    const struct {
        DWORD sent, received;
        const char* what;
    } cases[] = {
        {0x00643C90, 0x00643C90, "note on"},
        {0x00004A40, 0x004A4090, "running status: two data bytes"},
        {0x007F05C1, 0x000005C1, "program change: third byte is not part of it"},
        {0x00000010, 0x000010C1, "running status of a two-byte message"},
        {0x00123AF8, 0x000000F8, "real-time clock: one byte"},
        {0x00000311, 0x000011C1, "data byte after real-time keeps running status"},
        {0x00007FF3, 0x00007FF3, "song select ends running status"},
        {0x00000022, 0, "data byte without running status: dropped"},
        {0x002000E3, 0x002000E3, "pitch bend"},
    };
    Inbox in0Box, in1Box;
    HMIDIIN in0 = OpenIn(0, in0Box), in1 = OpenIn(1, in1Box);
    HMIDIOUT out0 = OpenOut(0), out1 = OpenOut(1);
    EXPECT_EQ(midiOutShortMsg(out0, 0x00403C90), MMSYSERR_NOERROR); // not started: lost
    // Stamps count from midiInStart, not from the open: the sleeps make the
    // bounds below tell the two apart.
    Sleep(20);
    const DWORD t0 = timeGetTime();
    ASSERT_EQ(midiInStart(in0), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInStart(in1), MMSYSERR_NOERROR);
    const DWORD started = timeGetTime();
    Sleep(20);
    const DWORD minStamp = timeGetTime() - started;
    std::vector<DWORD> expected;
    for (const auto& c : cases) {
        EXPECT_EQ(midiOutShortMsg(out0, c.sent), MMSYSERR_NOERROR) << c.what;
        if (c.received)
            expected.push_back(c.received);
    }
    EXPECT_EQ(midiOutShortMsg(out1, 0x00017FB5), MMSYSERR_NOERROR);
    ASSERT_TRUE(in0Box.WaitFor(expected.size()));
    ASSERT_TRUE(in1Box.WaitFor(1));
    const DWORD elapsed = timeGetTime() - t0;
    std::vector<DWORD> got;
    DWORD lastStamp = minStamp;
    for (const auto& [message, stamp] : in0Box.Items()) {
        got.push_back(message);
        EXPECT_TRUE(stamp >= lastStamp && stamp <= elapsed)
            << "stamp " << stamp << " not in [" << lastStamp << ", " << elapsed << "]";
        lastStamp = stamp;
    }
    EXPECT_EQ(got, expected);
    ASSERT_EQ(in1Box.Items().size(), 1u);
    EXPECT_EQ(in1Box.Items()[0].first, 0x00017FB5u);

    // Nothing arrives after midiInStop.
    ASSERT_EQ(midiInStop(in1), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutShortMsg(out1, 0x00017FB5), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutShortMsg(out0, 0x00000AFE), MMSYSERR_NOERROR);
    ASSERT_TRUE(in0Box.WaitFor(expected.size() + 1));
    EXPECT_EQ(in1Box.Items().size(), 1u);
    for (HMIDIOUT out : {out0, out1})
        EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    for (HMIDIIN in : {in0, in1})
        EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
}

} // namespace
