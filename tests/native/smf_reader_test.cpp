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
        {"note-on run", {0x00, 0x90, 0x3C, 0x40, 0x00, 0x3E, 0x40}, {{0, {0x90, 0x3C, 0x40}}, {0, {0x90, 0x3E, 0x40}}}},
        {"program change run", {0x00, 0xC1, 0x05, 0x10, 0x06}, {{0, {0xC1, 0x05, 0}}, {16, {0xC1, 0x06, 0}}}},
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
        {"data bytes with the top bit set are kept as read", {0x00, 0x90, 0x3C, 0x90}, {{0, {0x90, 0x3C, 0x90}}}},
        {"5-byte delta: 4 bytes give the value, the fifth is the next item",
         {0x81, 0x80, 0x80, 0x80, 0x00, 0x40},
         {{0x200000, {0x00, 0x00, 0x40}}}},
        {"end of track is an ordinary event and does not end the track",
         {0x00, 0xFF, 0x2F, 0x00, 0x10, 0x80, 0x3C, 0x00},
         {{0, {0xFF, 0x2F, 0}}, {16, {0x80, 0x3C, 0}}}},
        {"meta length above 255 stays whole",
         [] {
             Bytes b = {0x00, 0xFF, 0x01, 0x82, 0x2C};
             b.insert(b.end(), 300, 'x');
             return b;
         }(),
         [] {
             TrackArray t{{0, {0xFF, 0x01, 300}}};
             t[0].message.insert(t[0].message.end(), 300, 'x');
             return t;
         }()},
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

// A stop as its description: a failing case shows reason and offset at once.
std::string Stop(const SmfReadStatus& s)
{
    return DescribeSmfReadStop(s);
}

TEST(SmfReader, ChunkFramingDecidesHowManyTracksAreReadAndWhy)
{
    using S = SmfReadStop;
    const Bytes one = Track({0x00, 0x90, 0x3C, 0x40}); // 12 bytes
    const struct {
        const char* what;
        Bytes file;
        size_t tracks; // 0: the read fails
        SmfReadStatus stop;
    } cases[] = {
        {"header says 2, file holds 3", Cat({Header(1, 2, 96), one, one, one}), 3, {S::kEnd, 3, 50}},
        {"header says 3, file holds 2", Cat({Header(1, 3, 96), one, one}), 2, {S::kEnd, 2, 38}},
        {"no tracks at all", Header(0, 1, 96), 0, {S::kEnd, 0, 14}},
        {"empty file", Bytes{}, 0, {S::kEmpty, 0, 0}},
        {"unknown chunk stops the list",
         Cat({Header(1, 3, 96), one, Bytes{'X', 'Y', 'Z', 'W', 0, 0, 0, 0}, one}),
         1,
         {S::kUnknownChunk, 2, 26}},
        {"second header stops the list",
         Cat({Header(1, 2, 96), one, Header(1, 1, 96), one}),
         1,
         {S::kUnknownChunk, 2, 26}},
        {"trailing bytes after the last track",
         Cat({Header(0, 1, 96), one, Bytes{0, 0}}),
         1,
         {S::kChunkHeaderCut, 2, 26}},
        {"track length cut short",
         Cat({Header(0, 1, 96), Bytes{'M', 'T', 'r', 'k', 0, 0}}),
         0,
         {S::kChunkHeaderCut, 1, 14}},
        {"header of length 8: surplus skipped",
         Cat({Header(0, 1, 96, 8), Bytes{0xAA, 0xBB}, one}),
         1,
         {S::kEnd, 1, 28}},
        {"header of length 4: nothing skipped", Cat({Header(0, 1, 96, 4), one}), 1, {S::kEnd, 1, 26}},
        {"header claiming 1 MiB: skipping stops at end of data",
         Cat({Header(0, 1, 96, 1 << 20), one}),
         0,
         {S::kHeaderCut, 0, 0}},
        {"header cut inside its fields", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0}, 0, {S::kHeaderCut, 0, 0}},
        {"header cut inside its id", Bytes{'M', 'T', 'h'}, 0, {S::kHeaderCut, 0, 0}},
        {"RIFF RMID wrapper: its INFO list follows",
         Rmid(Cat({Header(1, 2, 96), one, one}), "data"),
         2,
         {S::kUnknownChunk, 3, 58}},
        {"RIFF without RMID data", Rmid(Cat({Header(0, 1, 96), one}), "date"), 0, {S::kNoHeader, 0, 0}},
        {"track chunk first: no header", Cat({one, one}), 0, {S::kNoHeader, 0, 0}},
        {"division 0", Cat({Header(0, 1, 0), one}), 0, {S::kEnd, 1, 26}},
    };
    for (const auto& c : cases) {
        for (int32_t ppq : {0, 960}) {
            SongArray song;
            SmfReadStatus got;
            got.stop = S::kCannotOpen; // must be overwritten
            EXPECT_EQ(c.tracks ? (ppq ? ppq : 96) : 0, ReadBytes(c.file, ppq, song, &got)) << c.what << " ppq " << ppq;
            EXPECT_EQ(c.tracks, song.tracks.size()) << c.what << " ppq " << ppq;
            EXPECT_EQ(Stop(c.stop), Stop(got)) << c.what;
            EXPECT_EQ(c.stop.track, got.track) << c.what;
            for (const TrackArray& t : song.tracks)
                EXPECT_EQ((TrackArray{{0, {0x90, 0x3C, 0x40}}}), t) << c.what;
        }
    }
}

// One event of a laid-out file: its bytes, its row, and where in the file
// its delta and the whole event end (filled in by LayOut).
struct LaidOutEvent {
    Bytes delta, rest;
    SongRow row;
    size_t deltaEnd = 0, end = 0;
};
using LaidOutTracks = std::vector<std::vector<LaidOutEvent>>;

Bytes LayOut(LaidOutTracks& tracks)
{
    Bytes file = Header(1, int(tracks.size()), 96);
    for (auto& events : tracks) {
        const size_t bodyStart = file.size() + 8;
        Bytes body;
        for (LaidOutEvent& e : events) {
            body.insert(body.end(), e.delta.begin(), e.delta.end());
            e.deltaEnd = bodyStart + body.size();
            body.insert(body.end(), e.rest.begin(), e.rest.end());
            e.end = bodyStart + body.size();
        }
        file = Cat({file, Track(body)});
    }
    return file;
}

// A file cut to n bytes loses a track when the data ends before the first
// byte after an event's delta (so also inside any header before it, as no
// track is empty); data ending inside an event keeps the events before it,
// and nothing after that is read. *stop gets where and why the read stopped.
SongArray ExpectedAfterCut(const LaidOutTracks& tracks, size_t n, SmfReadStatus* stop)
{
    using S = SmfReadStop;
    SongArray song;
    *stop = {n == 0 ? S::kEmpty : S::kHeaderCut, 0, 0};
    size_t end = 14; // the header chunk
    for (const auto& events : tracks) {
        const int32_t number = int32_t(song.tracks.size()) + 1;
        if (n < end)
            return song;
        *stop = {n == end ? S::kEnd : S::kChunkHeaderCut, n == end ? number - 1 : number, end};
        if (n < end + 8)
            return song;
        TrackArray rows;
        for (const LaidOutEvent& e : events) {
            const size_t start = e.deltaEnd - e.delta.size();
            if (n <= e.deltaEnd) {
                *stop = {n == e.deltaEnd ? S::kCutBeforeStatus : S::kCutInDelta, number, start};
                return song;
            }
            if (n < e.end) {
                *stop = {S::kCutInEvent, number, start};
                song.tracks.push_back(rows);
                return song;
            }
            rows.push_back(e.row);
            end = e.end;
        }
        song.tracks.push_back(rows);
    }
    *stop = {S::kEnd, int32_t(tracks.size()), end};
    return song;
}

TEST(SmfReader, FileCutAtEveryByteKeepsWhatTheRulesSayAndSaysWhere)
{
    LaidOutTracks tracks = {{{{0x00}, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}, {0, {0xFF, 0x51, 3, 0x07, 0xA1, 0x20}}},
                             {{0x81, 0x00}, {0x90, 0x3C, 0x40}, {128, {0x90, 0x3C, 0x40}}},
                             {{0x00}, {0x3E, 0x40}, {0, {0x90, 0x3E, 0x40}}}, // running status
                             {{0x0A}, {0xF0, 0x03, 0x7E, 0x7F, 0xF7}, {10, {0xF0, 0x7E, 0x7F, 0xF7}}},
                             {{0x00}, {0xFF, 0x2F, 0x00}, {0, {0xFF, 0x2F, 0}}}},
                            {{{0x00}, {0xC0, 0x05}, {0, {0xC0, 0x05, 0}}},
                             {{0x60}, {0x80, 0x3C, 0x00}, {96, {0x80, 0x3C, 0}}},
                             {{0x00}, {0xFF, 0x2F, 0x00}, {0, {0xFF, 0x2F, 0}}}}};
    const Bytes file = LayOut(tracks);
    for (size_t n = 0; n <= file.size(); ++n) {
        // A heap copy of exactly n bytes lets ASan catch any read past the end.
        Bytes cut(file.begin(), file.begin() + long(n));
        SmfReadStatus wantStop, gotStop;
        SongArray want = ExpectedAfterCut(tracks, n, &wantStop), got;
        EXPECT_EQ(want.tracks.empty() ? 0 : 96, ReadBytes(cut, 0, got, &gotStop)) << "cut at " << n;
        EXPECT_EQ(Dump(want), Dump(got)) << "cut at " << n << " of " << file.size();
        EXPECT_EQ(Stop(wantStop), Stop(gotStop)) << "cut at " << n << " of " << file.size();
        EXPECT_EQ(wantStop.track, gotStop.track) << "cut at " << n;
    }
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

    SmfReadStatus stop;
    EXPECT_EQ(0, ReadSongFromFile(path, 0, song, &stop));
    EXPECT_TRUE(song.tracks.empty());
    EXPECT_EQ(SmfReadStop::kCannotOpen, stop.stop);
    EXPECT_FALSE(WriteSongToFile(in, 480, path + ".d/none/x.mid"));
}

} // namespace
