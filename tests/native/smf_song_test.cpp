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

Bytes NotesFile(int division, const std::vector<int>& deltas)
{
    Bytes body;
    for (int d : deltas) {
        Bytes delta;
        if (d > 0x7F)
            Add(delta, {0x80 | (d >> 7), d & 0x7F});
        else
            Add(delta, {d});
        body.insert(body.end(), delta.begin(), delta.end());
        Add(body, {0x90, 0x3C, 0x40});
    }
    return Cat({Header(0, 1, division), Track(body)});
}

std::vector<int32_t> Times(const SongArray& song)
{
    std::vector<int32_t> t;
    for (const SongRow& r : song.tracks.at(0))
        t.push_back(r.time);
    return t;
}

TEST(SmfSong, EachDeltaIsRescaledOnItsOwnAndTruncated)
{
    struct {
        int division;
        std::vector<int> deltas;
        int32_t ppq;
        int32_t returned;
        std::vector<int32_t> times;
    } cases[] = {
        {480, {0, 1, 240, 479}, 960, 960, {0, 2, 480, 958}},
        {480, {0, 1, 240, 479}, 0, 480, {0, 1, 240, 479}},
        {480, {0, 1, 240, 479}, -5, 480, {0, 1, 240, 479}},
        {960, {1, 3, 480, 959}, 480, 480, {0, 1, 240, 479}},
        {960, {5, 5, 5, 5}, 96, 96, {0, 0, 0, 0}}, // no remainder carried
        {960, {10, 19, 20}, 96, 96, {1, 1, 2}},
        {96, {7, 100}, 96, 96, {7, 100}},
        {3, {1, 2}, 2, 2, {0, 1}},                  // 0.666.. and 1.333.. truncated
        {0x8000, {100}, 0x4000, 0x4000, {50}},      // top bit set: still ticks
    };
    for (const auto& c : cases) {
        Bytes file = NotesFile(c.division, c.deltas);
        SongArray song;
        EXPECT_EQ(c.returned, ReadBytes(file, c.ppq, song)) << c.division << " -> " << c.ppq;
        EXPECT_EQ(c.times, Times(song)) << c.division << " -> " << c.ppq;
    }
    // A rescaled time that would not fit 32 bits saturates.
    Bytes big = Cat({Header(0, 1, 1), Track({0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x40})});
    SongArray song;
    ASSERT_EQ(65535, ReadBytes(big, 65535, song));
    EXPECT_EQ(INT32_MAX, song.tracks[0][0].time);
}

// Each case is a one-track script array written with PPQ 96. result false:
// the write must fail with nothing written. Otherwise the file read back
// must hold exactly `rows`.
struct WriteCase {
    const char* what;
    std::vector<ScriptRow> rows;
    bool result;
    TrackArray read;
};

ScriptRow NotARow()
{
    ScriptRow r = Row(0, {0x90, 1, 2});
    r.isRow = false;
    return r;
}

ScriptRow MessageNotArray(ScriptNumber time)
{
    ScriptRow r = Row(time, {});
    r.messageIsArray = false;
    return r;
}

std::vector<ScriptNumber> Meta(int type, int length, int dataCount)
{
    std::vector<ScriptNumber> m = {0xFF, type, length};
    for (int i = 0; i < dataCount; ++i)
        m.push_back('a' + i % 26);
    return m;
}

TEST(SmfSong, WriteSkipsUnusableRowsAndFailsOnBadValues)
{
    const ScriptRow note = Row(5, {0x90, 60, 100});
    const SongRow noteRead = {5, {0x90, 60, 100}};
    const std::nullopt_t nan = std::nullopt;
    const WriteCase cases[] = {
        // skipped rows; the rest is written
        {"row not an array", {NotARow(), note}, true, {noteRead}},
        {"message not an array", {MessageNotArray(1), note}, true, {noteRead}},
        {"message of 1 element, even a non-number", {Row(1, {nan}), note}, true, {noteRead}},
        {"message of 0 elements", {Row(1, {}), note}, true, {noteRead}},
        {"channel status 0x70-0x7F refused", {Row(1, {0x75, 1, 2}), note}, true, {noteRead}},
        {"status 0xF1 refused", {Row(1, {0xF1, 1, 2}), note}, true, {noteRead}},
        {"status 0xFE refused", {Row(1, {0xFE, 1, 2}), note}, true, {noteRead}},
        {"skipped row that is not a row ignores its time", {[] { ScriptRow r = Row(std::nullopt, {0x90, 1, 2}); r.isRow = false; return r; }(), note}, true, {noteRead}},
        // accepted rows
        {"only the low 8 bits of message values count", {Row(0, {0x190, 0x13C, -156})}, true, {{0, {0x90, 0x3C, 100}}}},
        {"program change: 3 elements, the third ignored", {Row(0, {0xC2, 7, 99})}, true, {{0, {0xC2, 7, 0}}}},
        {"meta with no data", {Row(0, Meta(0x2F, 0, 0))}, true, {{0, {0xFF, 0x2F, 0}}}},
        {"meta with 255 data bytes", {Row(0, Meta(1, 255, 255))}, true, {{0, [] { std::vector<int32_t> v = {0xFF, 1, 255}; for (int i = 0; i < 255; ++i) v.push_back('a' + i % 26); return v; }()}}},
        {"sysex with data", {Row(3, {0xF0, 0x7E, 0xF7})}, true, {{3, {0xF0, 0x7E, 0xF7}}}},
        {"sysex status from 0x1F0", {Row(3, {0x1F0, 1, 2})}, true, {{3, {0xF0, 1, 2}}}},
        {"extra row elements are ignored", {[] { ScriptRow r = Row(2, {0x80, 1, 2}); return r; }()}, true, {{2, {0x80, 1, 2}}}},
        {"largest time", {Row(0x0FFFFFFF, {0x90, 1, 2})}, true, {{0x0FFFFFFF, {0x90, 1, 2}}}},
        {"no rows", {}, true, {}},
        // the whole write fails
        {"time not a number", {note, Row(nan, {0x90, 1, 2})}, false, {}},
        {"time not a number with a message that is not an array", {MessageNotArray(nan)}, false, {}},
        {"negative time", {Row(-1, {0x90, 1, 2})}, false, {}},
        {"time 0x10000000", {Row(0x10000000, {0x90, 1, 2})}, false, {}},
        {"status not a number", {Row(0, {nan, 1, 2})}, false, {}},
        {"data byte not a number", {Row(0, {0x90, 1, nan})}, false, {}},
        {"non-number in a row that would be refused", {Row(0, {0x75, nan, 2})}, false, {}},
        {"channel with 2 elements", {Row(0, {0xC0, 5})}, false, {}},
        {"channel with 4 elements", {Row(0, {0x90, 1, 2, 3})}, false, {}},
        {"meta with 2 elements", {Row(0, {0xFF, 0x2F})}, false, {}},
        {"sysex with 2 elements", {Row(0, {0xF0, 0xF7})}, false, {}},
        {"meta length not matching", {Row(0, Meta(1, 3, 2))}, false, {}},
        {"meta of 300 bytes (length 300 is 44 in 8 bits)", {Row(0, Meta(1, 300, 300))}, false, {}},
        {"meta data not a number", {Row(0, {0xFF, 1, 1, nan})}, false, {}},
        {"sysex data not a number", {Row(0, {0xF0, 1, nan})}, false, {}},
    };
    for (const WriteCase& c : cases) {
        ScriptSong in;
        in.tracks.resize(1);
        in.tracks[0].rows = c.rows;
        SmfMemorySink sink;
        ASSERT_EQ(c.result, WriteSong(in, 96, sink)) << c.what;
        if (!c.result) {
            EXPECT_TRUE(sink.Bytes().empty()) << c.what << ": wrote " << Hex(sink.Bytes());
            continue;
        }
        EXPECT_EQ("", ChunkLayoutError(sink.Bytes())) << c.what;
        SongArray song;
        ASSERT_EQ(96, ReadBytes(sink.Bytes(), 0, song)) << c.what;
        SongArray want;
        want.tracks = {c.read};
        EXPECT_EQ(Dump(want), Dump(song)) << c.what;
    }
}

TEST(SmfSong, TracksThatAreNotArraysAreLeftOutAndEmptyTracksStay)
{
    ScriptSong in;
    in.tracks.resize(4);
    in.tracks[0].rows = {Row(0, {0x90, 1, 2})};
    in.tracks[1].isArray = false;
    in.tracks[1].rows = {Row(std::nullopt, {0x90, 1, 2})}; // never looked at
    in.tracks[3].rows = {NotARow()};
    CSmfFile file;
    ASSERT_TRUE(SmfFromSong(in, 96, file));
    ASSERT_EQ(3, file.GetTrackCount());
    file.ResetTrackIterator();
    std::vector<int32_t> numbers;
    while (CSmfTrack* t = file.NextTrack())
        numbers.push_back(t->Number());
    EXPECT_EQ((std::vector<int32_t>{0, 2, 3}), numbers);

    SmfMemorySink sink;
    ASSERT_TRUE(WriteSong(in, 96, sink));
    SongArray song;
    ASSERT_EQ(96, ReadBytes(sink.Bytes(), 0, song));
    EXPECT_EQ("track 0: [0: 144 1 2]\ntrack 1:\ntrack 2:\n", Dump(song));

    // An empty song writes a header alone (format 0, no tracks) that reads as nothing.
    SmfMemorySink empty;
    ASSERT_TRUE(WriteSong(ScriptSong{}, 96, empty));
    EXPECT_EQ(Hex(Header(0, 0, 96)), Hex(empty.Bytes()));
    EXPECT_EQ(0, ReadBytes(empty.Bytes(), 0, song));
}

TEST(SmfSong, WrittenDivisionIsTheLow16BitsOfPpq)
{
    struct {
        int32_t ppq;
        uint16_t division;
    } cases[] = {{0, 960}, {1, 1}, {96, 96}, {65535, 65535}, {70000, 4464}, {-1, 0xFFFF}, {65536, 0}};
    for (const auto& c : cases) {
        ScriptSong in;
        in.tracks.resize(1);
        in.tracks[0].rows = {Row(10, {0x90, 1, 2})};
        SmfMemorySink sink;
        ASSERT_TRUE(WriteSong(in, c.ppq, sink)) << c.ppq;
        const Bytes& b = sink.Bytes();
        EXPECT_EQ(c.division, b.at(12) << 8 | b.at(13)) << c.ppq;
        SongArray song;
        // Division 0 cannot be read back: no time base.
        EXPECT_EQ(c.division, ReadBytes(b, 0, song)) << c.ppq;
    }
}

// Statuses that running status cannot carry faithfully.
TEST(SmfSong, RunningStatusLimitsOfTheRoundTrip)
{
    auto roundTrip = [](std::vector<ScriptRow> rows, Bytes& bytes) {
        ScriptSong in;
        in.tracks.resize(1);
        in.tracks[0].rows = std::move(rows);
        SmfMemorySink sink;
        EXPECT_TRUE(WriteSong(in, 96, sink));
        bytes = sink.Bytes();
        EXPECT_EQ("", ChunkLayoutError(bytes));
        SongArray song;
        EXPECT_EQ(96, ReadBytes(bytes, 0, song));
        return song;
    };
    Bytes bytes;

    // A data byte >= 0x80 after an omitted status is read as a new status.
    SongArray song = roundTrip({Row(0, {0x90, 0x3C, 0x40}), Row(0, {0x90, 0x85, 0x10}), Row(0, {0xFF, 0x2F, 0})}, bytes);
    EXPECT_EQ(Hex(Cat({Header(0, 1, 96), Track({0, 0x90, 0x3C, 0x40, 0, 0x85, 0x10, 0, 0xFF, 0x2F, 0})})), Hex(bytes));
    ASSERT_GE(song.tracks[0].size(), 2u) << Dump(song);
    EXPECT_EQ((std::vector<int32_t>{0x85, 0x10, 0x00}), song.tracks[0][1].message) << Dump(song);

    // A channel status below 0x80 is written, then read as a data byte under
    // the running status before it.
    song = roundTrip({Row(0, {0x90, 0x3C, 0x40}), Row(0, {0x10, 0x20, 0x30}), Row(0, {0xFF, 0x2F, 0})}, bytes);
    EXPECT_EQ(Hex(Cat({Header(0, 1, 96), Track({0, 0x90, 0x3C, 0x40, 0, 0x10, 0x20, 0x30, 0, 0xFF, 0x2F, 0})})), Hex(bytes));
    ASSERT_GE(song.tracks[0].size(), 2u) << Dump(song);
    EXPECT_EQ((std::vector<int32_t>{0x90, 0x10, 0x20}), song.tracks[0][1].message) << Dump(song);

    // Status 0 at the very start matches the list head and comes back as is.
    song = roundTrip({Row(0, {0x00, 0x20, 0x30}), Row(1, {0x00, 0x21, 0x31})}, bytes);
    EXPECT_EQ((TrackArray{{0, {0, 0x20, 0x30}}, {1, {0, 0x21, 0x31}}}), song.tracks[0]) << Dump(song);
}

// ---- property: random well-formed arrays survive write then read ----

struct Generated {
    ScriptSong script;
    SongArray expected;
    int32_t ppq;
};

Generated RandomSong(std::mt19937& rng)
{
    auto pick = [&](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
    Generated g;
    // Edge values of the time base and of times come up often.
    const uint32_t ppqs[] = {1, 65535, 96, 960};
    g.ppq = int32_t(pick(0, 3) == 0 ? ppqs[pick(0, 3)] : pick(1, 65535));
    size_t tracks = pick(1, 8);
    g.expected.tracks.resize(tracks);
    for (size_t t = 0; t < tracks; ++t) {
        size_t rows = pick(0, 3) == 0 ? 0 : pick(1, 60);
        for (size_t r = 0; r < rows; ++r) {
            SongRow row;
            switch (pick(0, 3)) {
            case 0: row.time = 0; break;
            case 1: row.time = int32_t(pick(0, 0x7F)); break;
            case 2: row.time = int32_t(pick(0, 0x0FFFFFFF)); break;
            default: row.time = int32_t(pick(0, 1) ? 0x0FFFFFFF : pick(0x3FFF, 0x4000)); break;
            }
            uint32_t kind = pick(0, 9);
            if (kind < 6) {
                // Runs of one status exercise running status.
                int status = kind < 3 && r > 0 && g.expected.tracks[t].back().message[0] < 0xF0
                                 ? g.expected.tracks[t].back().message[0]
                                 : int(pick(0x80, 0xEF));
                int d1 = int(pick(0, 0x7F)), d2 = int(pick(0, 0x7F));
                row.message = {status, d1, d2};
            } else if (kind < 8) {
                uint32_t len = pick(0, 3) == 0 ? pick(0, 255) : pick(0, 4);
                row.message = {0xFF, int(pick(0, 255)), int(len)};
                for (uint32_t i = 0; i < len; ++i)
                    row.message.push_back(int(pick(0, 255)));
            } else {
                uint32_t len = pick(0, 5) == 0 ? pick(2, 400) : pick(2, 6);
                row.message = {0xF0};
                for (uint32_t i = 0; i < len; ++i)
                    row.message.push_back(int(pick(0, 255)));
            }
            g.expected.tracks[t].push_back(row);
        }
    }
    g.script = ToScriptSong(g.expected);
    // What a read gives back: program change and channel pressure have no
    // second data byte in the file.
    for (TrackArray& track : g.expected.tracks)
        for (SongRow& row : track)
            if (row.message[0] >= 0xC0 && row.message[0] <= 0xDF)
                row.message[2] = 0;
    return g;
}

TEST(SmfSong, RandomArraysComeBackRowForRow)
{
    const uint32_t seed = 20261205;
    std::printf("random song seed %u\n", seed);
    std::mt19937 rng(seed);
    for (int iteration = 0; iteration < 300; ++iteration) {
        Generated g = RandomSong(rng);
        SmfMemorySink sink;
        ASSERT_TRUE(WriteSong(g.script, g.ppq, sink)) << "iteration " << iteration;
        ASSERT_EQ("", ChunkLayoutError(sink.Bytes())) << "iteration " << iteration;
        SongArray back;
        ASSERT_EQ(g.ppq, ReadBytes(sink.Bytes(), 0, back)) << "iteration " << iteration;
        ASSERT_EQ(g.expected.tracks.size(), back.tracks.size()) << "iteration " << iteration;
        for (size_t t = 0; t < back.tracks.size(); ++t) {
            const TrackArray& want = g.expected.tracks[t];
            const TrackArray& got = back.tracks[t];
            ASSERT_EQ(want.size(), got.size()) << "iteration " << iteration << " track " << t;
            for (size_t r = 0; r < got.size(); ++r) {
                ASSERT_EQ(want[r], got[r]) << "iteration " << iteration << " track " << t << " row " << r
                                           << "\nwant " << Dump(SongArray{{TrackArray{want[r]}}})
                                           << "got  " << Dump(SongArray{{TrackArray{got[r]}}});
            }
        }
        // Writing what was read gives the same bytes again.
        SmfMemorySink again;
        ASSERT_TRUE(WriteSong(ToScriptSong(back), g.ppq, again));
        ASSERT_EQ(sink.Bytes(), again.Bytes()) << "iteration " << iteration;
    }
}

} // namespace
