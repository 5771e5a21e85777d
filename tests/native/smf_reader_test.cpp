// Reader: running status, system statuses, chunk framing (RMID, long
// headers, track counts), truncation at every byte, and the file streams.
#include "smf/SmfArchive.h"
#include "smf/SmfSong.h"
#include "smf_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace tavro;
using namespace smftest;

namespace {

TEST(SmfReader, RunningStatusFollowsTheLastStatusByteOfAnyKind)
{
    const struct {
        const char* what;
        Bytes body;
        TrackArray rows;
    } cases[] = {
        {"note-on run", {0x00, 0x90, 0x3C, 0x40, 0x00, 0x3E, 0x40},
         {{0, {0x90, 0x3C, 0x40}}, {0, {0x90, 0x3E, 0x40}}}},
        {"program change run", {0x00, 0xC1, 0x05, 0x10, 0x06},
         {{0, {0xC1, 0x05, 0}}, {16, {0xC1, 0x06, 0}}}},
        {"data byte after a meta event is a meta event of that type",
         {0x00, 0xFF, 0x01, 0x01, 'A', 0x00, 0x05, 0x00},
         {{0, {0xFF, 0x01, 1, 'A'}}, {0, {0xFF, 0x05, 0}}}},
        {"data byte after a sysex event is a sysex length",
         {0x00, 0xF0, 0x02, 0x7E, 0xF7, 0x00, 0x01, 0x55},
         {{0, {0xF0, 0x7E, 0xF7}}, {0, {0xF0, 0x55}}}},
        {"a meta event ends a channel run",
         {0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00, 0x00, 0x03, 0x00},
         {{0, {0x90, 0x3C, 0x40}}, {0, {0xFF, 0x2F, 0}}, {0, {0xFF, 0x03, 0}}}},
        {"data byte before any status: status 0, two data bytes",
         {0x00, 0x3C, 0x40, 0x00, 0x90, 0x3C, 0x40},
         {{0, {0x00, 0x3C, 0x40}}, {0, {0x90, 0x3C, 0x40}}}},
        {"0xF7 and system statuses are sysex with a length, shown as 0xF0",
         {0x00, 0xF7, 0x02, 0x01, 0x02, 0x00, 0xF8, 0x00, 0x00, 0xF1, 0x01, 0x09},
         {{0, {0xF0, 1, 2}}, {0, {0xF0}}, {0, {0xF0, 9}}}},
        {"data bytes with the top bit set are kept as read",
         {0x00, 0x90, 0x3C, 0x90},
         {{0, {0x90, 0x3C, 0x90}}}},
        {"5-byte delta: 4 bytes give the value, the fifth is the next item",
         {0x81, 0x80, 0x80, 0x80, 0x00, 0x40},
         {{0x200000, {0x00, 0x00, 0x40}}}},
        {"end of track is an ordinary event and does not end the track",
         {0x00, 0xFF, 0x2F, 0x00, 0x10, 0x80, 0x3C, 0x00},
         {{0, {0xFF, 0x2F, 0}}, {16, {0x80, 0x3C, 0}}}},
        {"meta length above 255 stays whole",
         [] { Bytes b = {0x00, 0xFF, 0x01, 0x82, 0x2C}; b.insert(b.end(), 300, 'x'); return b; }(),
         [] { TrackArray t{{0, {0xFF, 0x01, 300}}}; t[0].message.insert(t[0].message.end(), 300, 'x'); return t; }()},
        {"meta claiming 256 MiB with 3 bytes behind it is dropped",
         {0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b', 'c'},
         {{0, {0x90, 0x3C, 0x40}}}},
    };
    for (const auto& c : cases) {
        SongArray song;
        EXPECT_EQ(96, ReadBytes(Cat({Header(0, 1, 96), Track(c.body)}), 0, song)) << c.what;
        EXPECT_EQ(Dump(SongArray{{c.rows}}), Dump(song)) << c.what;
    }
}

Bytes Rmid(const Bytes& smf, const char* dataId)
{
    auto le32 = [](Bytes& b, size_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(uint8_t(v >> 8 * i));
    };
    Bytes b;
    AddText(b, "RIFF");
    le32(b, smf.size() + 12 + 12);
    AddText(b, "RMID");
    AddText(b, dataId);
    le32(b, smf.size());
    b.insert(b.end(), smf.begin(), smf.end());
    AddText(b, "LIST"); // a chunk after the data chunk is not read
    le32(b, 4);
    AddText(b, "INFO");
    return b;
}

TEST(SmfReader, ChunkFramingDecidesHowManyTracksAreRead)
{
    const Bytes one = Track({0x00, 0x90, 0x3C, 0x40});
    const struct {
        const char* what;
        Bytes file;
        size_t tracks; // 0: the read fails
    } cases[] = {
        {"header says 2, file holds 3", Cat({Header(1, 2, 96), one, one, one}), 3},
        {"header says 3, file holds 2", Cat({Header(1, 3, 96), one, one}), 2},
        {"no tracks at all", Header(0, 1, 96), 0},
        {"unknown chunk stops the list", Cat({Header(1, 3, 96), one, Bytes{'X', 'Y', 'Z', 'W', 0, 0, 0, 0}, one}), 1},
        {"second header stops the list", Cat({Header(1, 2, 96), one, Header(1, 1, 96), one}), 1},
        {"trailing bytes after the last track", Cat({Header(0, 1, 96), one, Bytes{0, 0}}), 1},
        {"header of length 8: surplus skipped", Cat({Header(0, 1, 96, 8), Bytes{0xAA, 0xBB}, one}), 1},
        {"header of length 4: nothing skipped", Cat({Header(0, 1, 96, 4), one}), 1},
        {"header claiming 1 MiB: skipping stops at end of data", Cat({Header(0, 1, 96, 1 << 20), one}), 0},
        {"RIFF RMID wrapper", Rmid(Cat({Header(1, 2, 96), one, one}), "data"), 2},
        {"RIFF without RMID data", Rmid(Cat({Header(0, 1, 96), one}), "date"), 0},
        {"track chunk first: no header", Cat({one, one}), 0},
        {"division 0", Cat({Header(0, 1, 0), one}), 0},
    };
    for (const auto& c : cases) {
        for (int32_t ppq : {0, 960}) {
            SongArray song;
            EXPECT_EQ(c.tracks ? (ppq ? ppq : 96) : 0, ReadBytes(c.file, ppq, song)) << c.what << " ppq " << ppq;
            EXPECT_EQ(c.tracks, song.tracks.size()) << c.what << " ppq " << ppq;
            for (const TrackArray& t : song.tracks)
                EXPECT_EQ((TrackArray{{0, {0x90, 0x3C, 0x40}}}), t) << c.what;
        }
    }
}

// Where each event's delta and whole event end in a laid-out file.
struct LaidOutEvent {
    size_t deltaEnd, end;
    SongRow row;
};
struct LaidOutTrack {
    size_t start;
    std::vector<LaidOutEvent> events;
};
struct EventBytes {
    Bytes delta, rest;
    SongRow row;
};

Bytes LayOut(const std::vector<std::vector<EventBytes>>& tracks, std::vector<LaidOutTrack>& layout)
{
    Bytes file = Header(1, int(tracks.size()), 96);
    for (const auto& events : tracks) {
        LaidOutTrack t{file.size(), {}};
        Bytes body;
        for (const EventBytes& e : events) {
            body.insert(body.end(), e.delta.begin(), e.delta.end());
            size_t deltaEnd = t.start + 8 + body.size();
            body.insert(body.end(), e.rest.begin(), e.rest.end());
            t.events.push_back({deltaEnd, t.start + 8 + body.size(), e.row});
        }
        file = Cat({file, Track(body)});
        layout.push_back(t);
    }
    return file;
}

// A file cut to n bytes loses a track when the data ends in its chunk header
// or before an event's first byte after the delta; data ending inside an
// event keeps the events before it, and nothing after that is read.
SongArray ExpectedAfterCut(const std::vector<LaidOutTrack>& layout, size_t n)
{
    SongArray song;
    if (n < 14)
        return song;
    for (const LaidOutTrack& t : layout) {
        if (n < t.start + 8)
            return song;
        TrackArray rows;
        for (const LaidOutEvent& e : t.events) {
            if (n <= e.deltaEnd)
                return song;
            if (n < e.end) {
                song.tracks.push_back(rows);
                return song;
            }
            rows.push_back(e.row);
        }
        song.tracks.push_back(rows);
    }
    return song;
}

TEST(SmfReader, FileCutAtEveryByteKeepsWhatTheRulesSay)
{
    std::vector<LaidOutTrack> layout;
    const Bytes file = LayOut({{{{0x00}, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}, {0, {0xFF, 0x51, 3, 0x07, 0xA1, 0x20}}},
                                {{0x81, 0x00}, {0x90, 0x3C, 0x40}, {128, {0x90, 0x3C, 0x40}}},
                                {{0x00}, {0x3E, 0x40}, {0, {0x90, 0x3E, 0x40}}}, // running status
                                {{0x0A}, {0xF0, 0x03, 0x7E, 0x7F, 0xF7}, {10, {0xF0, 0x7E, 0x7F, 0xF7}}},
                                {{0x00}, {0xFF, 0x2F, 0x00}, {0, {0xFF, 0x2F, 0}}}},
                               {{{0x00}, {0xC0, 0x05}, {0, {0xC0, 0x05, 0}}},
                                {{0x60}, {0x80, 0x3C, 0x00}, {96, {0x80, 0x3C, 0}}},
                                {{0x00}, {0xFF, 0x2F, 0x00}, {0, {0xFF, 0x2F, 0}}}}},
                              layout);
    for (size_t n = 0; n <= file.size(); ++n) {
        // A heap copy of exactly n bytes lets ASan catch any read past the end.
        Bytes cut(file.begin(), file.begin() + long(n));
        SongArray want = ExpectedAfterCut(layout, n), got;
        EXPECT_EQ(want.tracks.empty() ? 0 : 96, ReadBytes(cut, 0, got)) << "cut at " << n;
        EXPECT_EQ(Dump(want), Dump(got)) << "cut at " << n << " of " << file.size();
    }
}

TEST(SmfArchive, PushBackReturnsTheLastByteOnce)
{
    const Bytes data = {1, 2, 3};
    SmfMemorySource src(data);
    EXPECT_FALSE(src.UnreadByte()); // nothing read yet
    uint8_t b[3] = {};
    ASSERT_EQ(2u, src.Read(b, 2));
    EXPECT_TRUE(src.UnreadByte());
    EXPECT_FALSE(src.UnreadByte()); // only one byte goes back
    ASSERT_EQ(2u, src.Read(b, 3));
    EXPECT_EQ(2, b[0]);
    EXPECT_EQ(0u, src.Read(b, 1));
    EXPECT_TRUE(src.UnreadByte()); // also after reading past the end
    ASSERT_EQ(1u, src.Read(b, 1));
    EXPECT_EQ(3, b[0]);
}

TEST(SmfArchive, FileStreamsMatchMemoryAndReadThroughTheBuffer)
{
    const std::string path = ::testing::TempDir() + "smf_archive_test.mid";
    std::remove(path.c_str());
    ScriptSong in;
    in.tracks.resize(2);
    for (auto& t : in.tracks)
        for (int i = 0; i < 5000; ++i)
            t.rows.push_back(Row(i % 200, {0x90 + (i & 3), i & 0x7F, (i * 7) & 0x7F}));

    // A refused array creates no file.
    in.tracks[0].rows.push_back(Row(std::nullopt, {0x90, 1, 2}));
    EXPECT_FALSE(WriteSongToFile(in, 480, path));
    EXPECT_FALSE(SmfFileSource(path).IsOpen());
    in.tracks[0].rows.pop_back();

    ASSERT_TRUE(WriteSongToFile(in, 480, path));
    const Bytes memory = WriteBytes(in, 480);
    ASSERT_GT(memory.size(), 30000u);
    Bytes onDisk(memory.size() + 1);
    EXPECT_EQ(memory.size(), SmfFileSource(path).Read(onDisk.data(), onDisk.size()));
    onDisk.pop_back();
    EXPECT_TRUE(memory == onDisk);

    SmfFileSource src(path);
    SongArray song;
    ASSERT_EQ(480, ReadSong(src, 0, song));
    EXPECT_EQ(in.tracks[1].rows.size(), song.tracks.at(1).size());
    // One system read per buffer (plus the one that finds the end), not per byte.
    EXPECT_LE(src.FillCount(), memory.size() / kSmfArchiveBuffer + 2);
    std::remove(path.c_str());

    EXPECT_EQ(0, ReadSongFromFile(path, 0, song));
    EXPECT_TRUE(song.tracks.empty());
    EXPECT_FALSE(WriteSongToFile(in, 480, path + ".d/none/x.mid"));
}

} // namespace
