// Plain winmm calls against the loopback MIDI driver: devices, short and
// system-exclusive messages from output n to input n, buffers, close/reopen.
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Data = std::vector<BYTE>;

struct Callback {
    UINT msg;
    DWORD_PTR param1, param2;
};

// Collects the callbacks of one open device.
class Inbox {
public:
    static void CALLBACK Proc(HMIDIIN, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2)
    {
        auto* self = reinterpret_cast<Inbox*>(instance);
        std::lock_guard<std::mutex> guard(self->mutex_);
        self->items_.push_back({msg, p1, p2});
    }
    std::vector<Callback> Of(UINT msg) const
    {
        std::lock_guard<std::mutex> guard(mutex_);
        std::vector<Callback> r;
        for (const Callback& i : items_)
            if (i.msg == msg)
                r.push_back(i);
        return r;
    }
    // Polls for at least n callbacks of msg; generous bound.
    bool WaitFor(UINT msg, size_t n) const
    {
        for (const DWORD start = GetTickCount(); Of(msg).size() < n; Sleep(1))
            if (GetTickCount() - start > 10000)
                return false;
        return true;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Callback> items_;
};

// One system-exclusive buffer.
struct Buffer {
    std::vector<char> bytes;
    MIDIHDR hdr{};
    explicit Buffer(size_t n) : bytes(n)
    {
        hdr.lpData = bytes.data();
        hdr.dwBufferLength = static_cast<DWORD>(n);
    }
    DWORD State() const { return hdr.dwFlags & (MHDR_DONE | MHDR_INQUEUE); }
};

HMIDIIN OpenIn(UINT dev, Inbox& box)
{
    HMIDIIN h = nullptr;
    EXPECT_EQ(midiInOpen(&h, dev, reinterpret_cast<DWORD_PTR>(&Inbox::Proc), reinterpret_cast<DWORD_PTR>(&box),
                         CALLBACK_FUNCTION),
              MMSYSERR_NOERROR)
        << "midiInOpen(" << dev << ")";
    return h;
}
HMIDIOUT OpenOut(UINT dev, Inbox& box)
{
    HMIDIOUT h = nullptr;
    EXPECT_EQ(midiOutOpen(&h, dev, reinterpret_cast<DWORD_PTR>(&Inbox::Proc), reinterpret_cast<DWORD_PTR>(&box),
                          CALLBACK_FUNCTION),
              MMSYSERR_NOERROR)
        << "midiOutOpen(" << dev << ")";
    return h;
}
void AddBuffer(HMIDIIN in, Buffer& b)
{
    ASSERT_EQ(midiInPrepareHeader(in, &b.hdr, sizeof b.hdr), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInAddBuffer(in, &b.hdr, sizeof b.hdr), MMSYSERR_NOERROR);
}
// Sends bytes as one long message and waits for the output to finish it.
void SendLong(HMIDIOUT out, Inbox& outBox, const Data& data)
{
    Buffer b(data.size());
    std::copy(data.begin(), data.end(), b.bytes.begin());
    const size_t done = outBox.Of(MOM_DONE).size();
    ASSERT_EQ(midiOutPrepareHeader(out, &b.hdr, sizeof b.hdr), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &b.hdr, sizeof b.hdr), MMSYSERR_NOERROR);
    ASSERT_TRUE(outBox.WaitFor(MOM_DONE, done + 1)) << "MOM_DONE";
    EXPECT_TRUE(b.hdr.dwFlags & MHDR_DONE);
    EXPECT_EQ(outBox.Of(MOM_DONE).back().param1, reinterpret_cast<DWORD_PTR>(&b.hdr));
    EXPECT_EQ(midiOutUnprepareHeader(out, &b.hdr, sizeof b.hdr), MMSYSERR_NOERROR);
}
Data SysEx(size_t n, BYTE seed)
{
    Data v(n, 0xF7);
    v.front() = 0xF0;
    for (size_t i = 1; i + 1 < n; ++i)
        v[i] = static_cast<BYTE>((i * 7 + seed) & 0x7F);
    return v;
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
    Inbox in0Box, in1Box, out0Box, out1Box;
    HMIDIIN in0 = OpenIn(0, in0Box), in1 = OpenIn(1, in1Box);
    HMIDIOUT out0 = OpenOut(0, out0Box), out1 = OpenOut(1, out1Box);
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
    ASSERT_TRUE(in0Box.WaitFor(MIM_DATA, expected.size()));
    ASSERT_TRUE(in1Box.WaitFor(MIM_DATA, 1));
    const DWORD elapsed = timeGetTime() - t0;
    std::vector<DWORD> got;
    DWORD lastStamp = minStamp;
    for (const Callback& c : in0Box.Of(MIM_DATA)) {
        got.push_back(static_cast<DWORD>(c.param1));
        EXPECT_TRUE(c.param2 >= lastStamp && c.param2 <= elapsed)
            << "stamp " << c.param2 << " not in [" << lastStamp << ", " << elapsed << "]";
        lastStamp = static_cast<DWORD>(c.param2);
    }
    EXPECT_EQ(got, expected);
    ASSERT_EQ(in1Box.Of(MIM_DATA).size(), 1u);
    EXPECT_EQ(in1Box.Of(MIM_DATA)[0].param1, 0x00017FB5u);

    // Nothing arrives after midiInStop.
    ASSERT_EQ(midiInStop(in1), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutShortMsg(out1, 0x00017FB5), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutShortMsg(out0, 0x00000AFE), MMSYSERR_NOERROR);
    ASSERT_TRUE(in0Box.WaitFor(MIM_DATA, expected.size() + 1));
    EXPECT_EQ(in1Box.Of(MIM_DATA).size(), 1u);
    for (HMIDIOUT out : {out0, out1})
        EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    for (HMIDIIN in : {in0, in1})
        EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
}

TEST(LoopTest, LongMessagesFillThePreparedBuffersInOrder)
{
    Inbox inBox, outBox;
    HMIDIIN in = OpenIn(0, inBox);
    HMIDIOUT out = OpenOut(0, outBox);
    Buffer a(512), b(512), c(512);
    for (Buffer* buf : {&a, &b, &c}) {
        AddBuffer(in, *buf);
        EXPECT_EQ(buf->State(), DWORD{MHDR_INQUEUE});
    }
    EXPECT_EQ(midiInUnprepareHeader(in, &a.hdr, sizeof a.hdr), MIDIERR_STILLPLAYING);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    // 300 bytes fit one buffer; 600 fill the next and spill into the last.
    const Data small = SysEx(300, 1), large = SysEx(600, 2);
    SendLong(out, outBox, small);
    SendLong(out, outBox, large);
    ASSERT_TRUE(inBox.WaitFor(MIM_LONGDATA, 3));
    const auto got = inBox.Of(MIM_LONGDATA);
    ASSERT_EQ(got.size(), 3u);
    const Buffer* order[] = {&a, &b, &c};
    const DWORD lengths[] = {300, 512, 88};
    Data joined;
    for (size_t i = 0; i < 3; ++i) {
        const MIDIHDR& hdr = order[i]->hdr;
        EXPECT_EQ(got[i].param1, reinterpret_cast<DWORD_PTR>(&hdr)) << "buffer " << i;
        EXPECT_EQ(order[i]->State(), DWORD{MHDR_DONE}) << "buffer " << i;
        EXPECT_EQ(hdr.dwBytesRecorded, lengths[i]) << "buffer " << i;
        joined.insert(joined.end(), hdr.lpData, hdr.lpData + hdr.dwBytesRecorded);
    }
    Data expected = small;
    expected.insert(expected.end(), large.begin(), large.end());
    EXPECT_EQ(joined, expected);

    // No buffer queued: system exclusive is dropped; short messages carried
    // by long ones arrive as short messages.
    SendLong(out, outBox, SysEx(40, 3));
    SendLong(out, outBox, {0xC2, 0x07});
    SendLong(out, outBox, {0x91, 0x3C, 0x40, 0x3E, 0x41}); // running status inside
    SendLong(out, outBox, {0xF8});
    ASSERT_TRUE(inBox.WaitFor(MIM_DATA, 4));
    std::vector<DWORD_PTR> shorts;
    for (const Callback& cb : inBox.Of(MIM_DATA))
        shorts.push_back(cb.param1);
    EXPECT_EQ(shorts, (std::vector<DWORD_PTR>{0x000007C2, 0x00403C91, 0x00413E91, 0x000000F8}));
    EXPECT_EQ(inBox.Of(MIM_LONGDATA).size(), 3u);
    for (Buffer* buf : {&a, &b, &c})
        EXPECT_EQ(midiInUnprepareHeader(in, &buf->hdr, sizeof buf->hdr), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
}

// Device names and a buffer given back inside the callback are exercised
// through the control (its system ports work so).
TEST(LoopTest, OpenResetAndCloseHandBackQueuedBuffers)
{
    ASSERT_EQ(midiInGetNumDevs() * 10 + midiOutGetNumDevs(), 22u);
    Inbox inBox, outBox;
    HMIDIIN in = OpenIn(0, inBox);
    HMIDIOUT out = OpenOut(0, outBox);
    EXPECT_EQ(inBox.Of(MIM_OPEN).size() * 10 + outBox.Of(MOM_OPEN).size(), 11u);
    HMIDIIN second = nullptr;
    EXPECT_EQ(midiInOpen(&second, 0, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
    Buffer a(64), b(64);
    EXPECT_EQ(midiInAddBuffer(in, &a.hdr, sizeof a.hdr), MIDIERR_UNPREPARED);
    EXPECT_EQ(midiOutLongMsg(out, &a.hdr, sizeof a.hdr), MIDIERR_UNPREPARED);
    AddBuffer(in, a);
    AddBuffer(in, b);
    EXPECT_EQ(midiInAddBuffer(in, &a.hdr, sizeof a.hdr), MIDIERR_STILLPLAYING);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);
    ASSERT_TRUE(inBox.WaitFor(MIM_LONGDATA, 2));
    for (Buffer* buf : {&a, &b}) {
        EXPECT_EQ(buf->hdr.dwBytesRecorded, 0u);
        EXPECT_EQ(buf->State(), DWORD{MHDR_DONE});
        EXPECT_EQ(midiInUnprepareHeader(in, &buf->hdr, sizeof buf->hdr), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    // The close notification is delivered before the close returns.
    EXPECT_EQ(inBox.Of(MIM_CLOSE).size() * 10 + outBox.Of(MOM_CLOSE).size(), 11u);

    // Closing with a buffer still queued: Wine's winmm drops the handle
    // whatever the driver answers, so the buffer comes back (announced
    // before the close notification) and the device is free again.
    Inbox box2, box3;
    HMIDIIN again = OpenIn(0, box2);
    Buffer c(64);
    AddBuffer(again, c);
    ASSERT_EQ(midiInStart(again), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInClose(again), MIDIERR_STILLPLAYING);
    EXPECT_EQ(c.State(), DWORD{MHDR_DONE});
    EXPECT_EQ(box2.Of(MIM_LONGDATA).size() * 10 + box2.Of(MIM_CLOSE).size(), 11u) << "buffers*10 + closes";
    EXPECT_EQ(midiInClose(OpenIn(0, box3)), MMSYSERR_NOERROR);
}

} // namespace
