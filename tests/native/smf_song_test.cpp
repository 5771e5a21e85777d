// Script event array: time-base rescaling on read, the row rules of the
// write path (skip a row or fail the whole write), and write-then-read
// round trips of random arrays.
#include "smf/SmfArchive.h"
#include "smf/SmfFile.h"
#include "smf/SmfSong.h"
#include "smf_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

using namespace tavro;
using namespace smftest;

namespace {

TEST(SmfSong, EachDeltaIsRescaledOnItsOwnAndTruncated)
{
    const struct {
        int division;
        std::vector<int> deltas; // each below 0x4000
        int32_t ppq, returned;
        std::vector<int32_t> times;
    } cases[] = {
        {480, {0, 1, 240, 479}, 960, 960, {0, 2, 480, 958}},
        {480, {0, 1, 240, 479}, -5, 480, {0, 1, 240, 479}}, // below 1: the file's own
        {960, {5, 5, 5, 5}, 96, 96, {0, 0, 0, 0}},          // no remainder carried
        {960, {10, 19, 20}, 96, 96, {1, 1, 2}},
        {3, {1, 2}, 2, 2, {0, 1}},
        {0x8000, {100}, 0x4000, 0x4000, {50}}, // top bit set: still ticks
    };
    for (const auto& c : cases) {
        Bytes body;
        for (int d : c.deltas) {
            if (d > 0x7F)
                body.push_back(uint8_t(0x80 | d >> 7));
            body.insert(body.end(), {uint8_t(d & 0x7F), 0x90, 0x3C, 0x40});
        }
        SongArray song;
        EXPECT_EQ(c.returned, ReadBytes(Cat({Header(0, 1, c.division), Track(body)}), c.ppq, song))
            << c.division << " -> " << c.ppq;
        std::vector<int32_t> times;
        for (const SongRow& r : song.tracks.at(0))
            times.push_back(r.time);
        EXPECT_EQ(c.times, times) << c.division << " -> " << c.ppq;
    }
    // A rescaled time that would not fit 32 bits saturates.
    SongArray song;
    ASSERT_EQ(65535, ReadBytes(Cat({Header(0, 1, 1), Track({0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x40})}), 65535, song));
    EXPECT_EQ(INT32_MAX, song.tracks[0][0].time);
}

std::vector<ScriptNumber> Meta(int length, int dataCount)
{
    std::vector<ScriptNumber> m = {0xFF, 1, length};
    for (int i = 0; i < dataCount; ++i)
        m.push_back('a' + i % 26);
    return m;
}

// One-track arrays written with PPQ 96. Where the write must fail nothing is
// written; otherwise the file read back holds exactly `read`.
TEST(SmfSong, WriteSkipsUnusableRowsAndFailsOnBadValues)
{
    const ScriptRow note = Row(5, {0x90, 60, 100});
    const SongRow noteRead = {5, {0x90, 60, 100}};
    const std::nullopt_t nan = std::nullopt;
    ScriptRow notARow = Row(nan, {0x90, 1, 2});
    notARow.isRow = false;
    ScriptRow messageNotArray = Row(1, {});
    messageNotArray.messageIsArray = false;
    ScriptRow badTimeMessageNotArray = messageNotArray;
    badTimeMessageNotArray.time = nan;
    const TrackArray fails = {{-1, {}}};
    const struct {
        const char* what;
        std::vector<ScriptRow> rows;
        TrackArray read;
    } cases[] = {
        // skipped rows; the rest is written
        {"row not an array, its time not a number", {notARow, note}, {noteRead}},
        {"message not an array", {messageNotArray, note}, {noteRead}},
        {"message of 1 element, even a non-number", {Row(1, {nan}), note}, {noteRead}},
        {"channel status 0x70-0x7F refused", {Row(1, {0x75, 1, 2}), note}, {noteRead}},
        {"status 0xF1 refused", {Row(1, {0xF1, 1, 2}), note}, {noteRead}},
        // accepted rows
        {"only the low 8 bits of message values count", {Row(0, {0x190, 0x13C, -156})}, {{0, {0x90, 0x3C, 100}}}},
        {"sysex status from 0x1F0", {Row(3, {0x1F0, 1, 2})}, {{3, {0xF0, 1, 2}}}},
        // the whole write fails
        {"time not a number", {note, Row(nan, {0x90, 1, 2})}, fails},
        {"time not a number with a message that is not an array", {badTimeMessageNotArray}, fails},
        {"negative time", {Row(-1, {0x90, 1, 2})}, fails},
        {"time 0x10000000", {Row(0x10000000, {0x90, 1, 2})}, fails},
        {"status not a number", {Row(0, {nan, 1, 2})}, fails},
        {"non-number in a row that would be refused", {Row(0, {0x75, nan, 2})}, fails},
        {"channel with 2 elements", {Row(0, {0xC0, 5})}, fails},
        {"channel with 4 elements", {Row(0, {0x90, 1, 2, 3})}, fails},
        {"meta with 2 elements", {Row(0, {0xFF, 0x2F})}, fails},
        {"sysex with 2 elements", {Row(0, {0xF0, 0xF7})}, fails},
        {"meta length not matching", {Row(0, Meta(3, 2))}, fails},
        {"meta of 300 bytes (length 300 is 44 in 8 bits)", {Row(0, Meta(300, 300))}, fails},
        {"meta data not a number", {Row(0, {0xFF, 1, 1, nan})}, fails},
        {"sysex data not a number", {Row(0, {0xF0, 1, nan})}, fails},
    };
    for (const auto& c : cases) {
        bool ok = false;
        const Bytes bytes = WriteBytes(OneTrack(c.rows), 96, &ok);
        if (c.read == fails) {
            EXPECT_FALSE(ok) << c.what;
            EXPECT_TRUE(bytes.empty()) << c.what << ": wrote " << Hex(bytes);
            continue;
        }
        ASSERT_TRUE(ok) << c.what;
        EXPECT_EQ("", ChunkLayoutError(bytes)) << c.what;
        SongArray song;
        ASSERT_EQ(96, ReadBytes(bytes, 0, song)) << c.what;
        EXPECT_EQ(Dump(SongArray{{c.read}}), Dump(song)) << c.what;
    }
}

// The track count and format follow the tracks written.
TEST(SmfSong, TracksThatAreNotArraysAreLeftOutAndEmptyTracksStay)
{
    ScriptSong in;
    in.tracks.resize(4);
    in.tracks[0].rows = {Row(0, {0x90, 1, 2})};
    in.tracks[1].isArray = false;
    in.tracks[1].rows = {Row(std::nullopt, {0x90, 1, 2})}; // never looked at
    in.tracks[3].rows = {Row(0, {0x90})};                  // skipped row
    const Bytes bytes = WriteBytes(in, 96);
    EXPECT_EQ(Hex(Header(1, 3, 96)), Hex(Bytes(bytes.begin(), bytes.begin() + 14)));
    SongArray song;
    ASSERT_EQ(96, ReadBytes(bytes, 0, song));
    EXPECT_EQ("track 0: [0: 144 1 2]\ntrack 1:\ntrack 2:\n", Dump(song));

    // An empty song writes a header alone (format 0, no tracks) that reads as nothing.
    const Bytes empty = WriteBytes(ScriptSong{}, 96);
    EXPECT_EQ(Hex(Header(0, 0, 96)), Hex(empty));
    EXPECT_EQ(0, ReadBytes(empty, 0, song));

    // Many tracks: each is numbered by its song index and they stay in order.
    ScriptSong many;
    many.tracks.resize(70000);
    for (size_t i = 0; i < many.tracks.size(); i += 7)
        many.tracks[i].isArray = false;
    CSmfFile model;
    ASSERT_TRUE(SmfFromSong(many, 96, model));
    int32_t expected = 1, count = 0;
    for (CSmfTrack* t = model.Tracks().First(); t; t = t->NextTrack(), ++count, ++expected) {
        expected += expected % 7 == 0;
        ASSERT_EQ(expected, t->Number()) << "track " << count;
    }
    EXPECT_EQ(60000, count);
    EXPECT_EQ(model.Tracks().Last()->Number(), 69999);
}

TEST(SmfSong, WrittenDivisionIsTheLow16BitsOfPpq)
{
    const struct {
        int32_t ppq;
        int division;
    } cases[] = {{0, 960}, {1, 1}, {65535, 65535}, {70000, 4464}, {-1, 0xFFFF}, {65536, 0}};
    for (const auto& c : cases) {
        const Bytes b = WriteBytes(OneTrack({Row(10, {0x90, 1, 2})}), c.ppq);
        ASSERT_GE(b.size(), 14u) << c.ppq;
        EXPECT_EQ(c.division, b[12] << 8 | b[13]) << c.ppq;
        SongArray song; // division 0 cannot be read back: no time base
        EXPECT_EQ(c.division, ReadBytes(b, 0, song)) << c.ppq;
    }
}

// The two rows running status cannot carry back, pinned by their bytes and
// by what a read makes of them.
TEST(SmfSong, RunningStatusLimitsOfTheRoundTrip)
{
    const struct {
        const char* what;
        std::vector<ScriptNumber> second;
        Bytes written;
        std::vector<int32_t> read;
    } cases[] = {
        {"data byte >= 0x80 after an omitted status reads as a new status",
         {0x90, 0x85, 0x10},
         {0x85, 0x10},
         {0x85, 0x10, 0x00}},
        {"channel status below 0x80 is written, then read as data under the run",
         {0x10, 0x20, 0x30},
         {0x10, 0x20, 0x30},
         {0x90, 0x10, 0x20}},
    };
    for (const auto& c : cases) {
        const Bytes bytes =
            WriteBytes(OneTrack({Row(0, {0x90, 0x3C, 0x40}), Row(0, c.second), Row(0, {0xFF, 0x2F, 0})}), 96);
        Bytes body = {0, 0x90, 0x3C, 0x40, 0};
        body.insert(body.end(), c.written.begin(), c.written.end());
        body.insert(body.end(), {0, 0xFF, 0x2F, 0});
        EXPECT_EQ(Hex(Cat({Header(0, 1, 96), Track(body)})), Hex(bytes)) << c.what;
        SongArray song;
        EXPECT_EQ(96, ReadBytes(bytes, 0, song)) << c.what;
        ASSERT_GE(song.tracks.at(0).size(), 2u) << c.what << "\n" << Dump(song);
        EXPECT_EQ(c.read, song.tracks[0][1].message) << c.what << "\n" << Dump(song);
    }
}

// A random well-formed song (1-8 tracks, channel statuses 0x80-0xEF with
// 7-bit data, meta and sysex rows, edge times) and what a read gives back.
SongArray RandomSong(std::mt19937& rng)
{
    auto pick = [&](uint32_t lo, uint32_t hi) { return int(std::uniform_int_distribution<uint32_t>(lo, hi)(rng)); };
    const int times[] = {0, 0x7F, 0x3FFF, 0x4000, 0x0FFFFFFF};
    SongArray song;
    song.tracks.resize(size_t(pick(1, 8)));
    for (TrackArray& track : song.tracks) {
        for (int r = 0, rows = pick(0, 3) ? pick(1, 60) : 0; r < rows; ++r) {
            SongRow row;
            row.time = pick(0, 1) ? times[pick(0, 4)] : pick(0, 0x0FFFFFFF);
            int kind = pick(0, 9);
            if (kind < 6) {
                // Runs of one status exercise running status.
                int last = track.empty() ? 0xF0 : track.back().message[0];
                row.message = {kind < 3 && last < 0xF0 ? last : pick(0x80, 0xEF), pick(0, 0x7F), pick(0, 0x7F)};
            } else if (kind < 8) {
                int len = pick(0, 3) ? pick(0, 4) : pick(0, 255);
                row.message = {0xFF, pick(0, 255), len};
                for (int i = 0; i < len; ++i)
                    row.message.push_back(pick(0, 255));
            } else {
                row.message = {0xF0};
                for (int i = 0, len = pick(0, 5) ? pick(2, 6) : pick(2, 400); i < len; ++i)
                    row.message.push_back(pick(0, 255));
            }
            track.push_back(row);
        }
    }
    return song;
}

TEST(SmfSong, RandomArraysComeBackRowForRow)
{
    const uint32_t seed = 20261205;
    std::printf("random song seed %u\n", seed);
    std::mt19937 rng(seed);
    for (int iteration = 0; iteration < 300; ++iteration) {
        SongArray want = RandomSong(rng);
        const int32_t ppq =
            iteration % 4 == 0 ? (iteration % 8 ? 65535 : 1) : std::uniform_int_distribution<int32_t>(1, 65535)(rng);
        const Bytes bytes = WriteBytes(ToScriptSong(want), ppq);
        ASSERT_EQ("", ChunkLayoutError(bytes)) << "iteration " << iteration;
        // Program change and channel pressure have no second data byte in the file.
        for (TrackArray& track : want.tracks)
            for (SongRow& row : track)
                if (row.message[0] >= 0xC0 && row.message[0] <= 0xDF)
                    row.message[2] = 0;
        SongArray got;
        ASSERT_EQ(ppq, ReadBytes(bytes, 0, got)) << "iteration " << iteration;
        ASSERT_EQ(Dump(want), Dump(got)) << "iteration " << iteration; // one line per track
        // Writing what was read gives the same bytes again.
        ASSERT_TRUE(bytes == WriteBytes(ToScriptSong(got), ppq)) << "iteration " << iteration;
    }
}

} // namespace
