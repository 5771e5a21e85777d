// Reader: running status, system statuses, chunk framing (RMID, long
// headers, track counts), unreadable headers and truncation at every byte.
#include "smf/SmfArchive.h"
#include "smf/SmfFile.h"
#include "smf/SmfSong.h"
#include "smf_test_util.h"

#include <gtest/gtest.h>

using namespace tavro;
using namespace smftest;

namespace {

struct TrackCase {
    const char* what;
    Bytes body;
    TrackArray rows;
};

TEST(SmfReader, RunningStatusFollowsTheLastStatusByteOfAnyKind)
{
    const TrackCase cases[] = {
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
        {"channel run survives nothing: meta resets it to 0xFF",
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
         [] { TrackArray t(1); t[0].message = {0xFF, 0x01, 300}; t[0].message.insert(t[0].message.end(), 300, 'x'); return t; }()},
    };
    for (const TrackCase& c : cases) {
        SongArray song;
        ASSERT_EQ(96, ReadBytes(Cat({Header(0, 1, 96), Track(c.body)}), 0, song)) << c.what;
        ASSERT_EQ(1u, song.tracks.size()) << c.what;
        SongArray want;
        want.tracks = {c.rows};
        EXPECT_EQ(want.tracks[0], song.tracks[0]) << c.what << "\nwant " << Dump(want) << "got  " << Dump(song);
    }
}

const Bytes kNote = {0x00, 0x90, 0x3C, 0x40};

struct FramingCase {
    const char* what;
    Bytes file;
    size_t tracks; // 0: the read fails
};

Bytes Rmid(const Bytes& smf, const char* dataId = "data")
{
    Bytes b;
    AddText(b, "RIFF");
    AddLe32(b, static_cast<uint32_t>(smf.size() + 12 + 12));
    AddText(b, "RMID");
    AddText(b, dataId);
    AddLe32(b, static_cast<uint32_t>(smf.size()));
    b.insert(b.end(), smf.begin(), smf.end());
    AddText(b, "LIST"); // a chunk after the data chunk is not read
    AddLe32(b, 4);
    AddText(b, "INFO");
    return b;
}

TEST(SmfReader, ChunkFramingDecidesHowManyTracksAreRead)
{
    const Bytes one = Track(kNote);
    const FramingCase cases[] = {
        {"header says 2, file holds 3", Cat({Header(1, 2, 96), one, one, one}), 3},
        {"header says 3, file holds 2", Cat({Header(1, 3, 96), one, one}), 2},
        {"header says 0", Cat({Header(1, 0, 96), one}), 1},
        {"no tracks at all", Header(0, 1, 96), 0},
        {"unknown chunk stops the list", Cat({Header(1, 3, 96), one, Bytes{'X', 'Y', 'Z', 'W', 0, 0, 0, 0}, one}), 1},
        {"second header stops the list", Cat({Header(1, 2, 96), one, Header(1, 1, 96), one}), 1},
        {"trailing bytes after the last track", Cat({Header(0, 1, 96), one, Bytes{0, 0}}), 1},
        {"header of length 8: surplus skipped", Cat({Header(0, 1, 96, 8), Bytes{0xAA, 0xBB}, one}), 1},
        {"header of length 4: nothing skipped", Cat({Header(0, 1, 96, 4), one}), 1},
        {"header claiming 1 MiB: skipping stops at end of data", Cat({Header(0, 1, 96, 1 << 20), one}), 0},
        {"format 2 reads like the others", Cat({Header(2, 2, 96), one, one}), 2},
        {"RIFF RMID wrapper", Rmid(Cat({Header(1, 2, 96), one, one})), 2},
        {"RIFF without RMID data", Rmid(Cat({Header(0, 1, 96), one}), "date"), 0},
        {"track chunk first: no header", Cat({one, one}), 0},
        {"RMID data without RIFF", Cat({Bytes{'R', 'M', 'I', 'D', 'd', 'a', 't', 'a', 0, 0, 0, 0}, Header(0, 1, 96), one}), 0},
        {"header cut inside its fields", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1}, 0},
        {"empty stream", Bytes{}, 0},
        {"division 0", Cat({Header(0, 1, 0), one}), 0},
    };
    for (const FramingCase& c : cases) {
        for (int32_t ppq : {0, 960}) {
            SongArray song;
            int32_t got = ReadBytes(c.file, ppq, song);
            EXPECT_EQ(c.tracks, song.tracks.size()) << c.what << " ppq " << ppq;
            EXPECT_EQ(c.tracks ? (ppq ? ppq : 96) : 0, got) << c.what << " ppq " << ppq;
            for (const TrackArray& t : song.tracks)
                EXPECT_EQ((TrackArray{{0, {0x90, 0x3C, 0x40}}}), t) << c.what;
        }
    }
    // The model keeps the header as read, whatever the outcome of scaling.
    CSmfFile file;
    const Bytes divisionZero = Cat({Header(0, 1, 0), one});
    SmfMemorySource src(divisionZero);
    file.Serialize(src);
    EXPECT_EQ(1, file.GetTrackCount());
    EXPECT_EQ(0, file.GetDivision());
}

// A small two-track file whose layout the test knows byte by byte: for each
// event where its delta ends, where its first byte after the delta is (the
// status, or the first data byte under running status) and where it ends.
struct LaidOutEvent {
    size_t deltaEnd;
    size_t firstByte;
    size_t end;
    SongRow row;
};
struct LaidOutTrack {
    size_t start;
    std::vector<LaidOutEvent> events;
};

struct LaidOutFile {
    Bytes bytes;
    std::vector<LaidOutTrack> tracks;

    // body: delta bytes, then the rest of the event.
    void Event(Bytes delta, Bytes rest, SongRow row)
    {
        LaidOutEvent e;
        bytes.insert(bytes.end(), delta.begin(), delta.end());
        e.deltaEnd = bytes.size();
        e.firstByte = bytes.size();
        bytes.insert(bytes.end(), rest.begin(), rest.end());
        e.end = bytes.size();
        e.row = std::move(row);
        tracks.back().events.push_back(std::move(e));
    }
    void BeginTrack()
    {
        tracks.push_back({bytes.size(), {}});
        AddText(bytes, "MTrk");
        AddBe32(bytes, 0);
    }
    void EndTrack()
    {
        size_t at = tracks.back().start + 4;
        uint32_t len = static_cast<uint32_t>(bytes.size() - at - 4);
        for (int i = 0; i < 4; ++i)
            bytes[at + size_t(i)] = uint8_t(len >> (24 - 8 * i));
    }
};

LaidOutFile SmallFile()
{
    LaidOutFile f;
    f.bytes = Header(1, 2, 96);
    f.BeginTrack();
    f.Event({0x00}, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}, {0, {0xFF, 0x51, 3, 0x07, 0xA1, 0x20}});
    f.Event({0x81, 0x00}, {0x90, 0x3C, 0x40}, {128, {0x90, 0x3C, 0x40}});
    f.Event({0x00}, {0x3E, 0x40}, {0, {0x90, 0x3E, 0x40}}); // running status
    f.Event({0x0A}, {0xF0, 0x03, 0x7E, 0x7F, 0xF7}, {10, {0xF0, 0x7E, 0x7F, 0xF7}});
    f.Event({0x00}, {0xFF, 0x2F, 0x00}, {0, {0xFF, 0x2F, 0}});
    f.EndTrack();
    f.BeginTrack();
    f.Event({0x00}, {0xC0, 0x05}, {0, {0xC0, 0x05, 0}});
    f.Event({0x60}, {0x80, 0x3C, 0x00}, {96, {0x80, 0x3C, 0}});
    f.Event({0x00}, {0xFF, 0x2F, 0x00}, {0, {0xFF, 0x2F, 0}});
    f.EndTrack();
    return f;
}

// What a file cut to its first n bytes must give: a track is lost when the
// data ends inside a chunk header, a delta time or before an event's first
// byte; data ending later inside an event keeps the events before it, and
// nothing after that is read.
SongArray ExpectedAfterCut(const LaidOutFile& f, size_t n)
{
    SongArray song;
    if (n < 14)
        return song;
    for (const LaidOutTrack& t : f.tracks) {
        if (n < t.start + 8)
            break;
        TrackArray rows;
        bool lost = false, cut = false;
        for (const LaidOutEvent& e : t.events) {
            if (n < e.deltaEnd || n <= e.firstByte) {
                lost = true;
                break;
            }
            if (n < e.end) {
                cut = true;
                break;
            }
            rows.push_back(e.row);
        }
        if (lost)
            break;
        song.tracks.push_back(rows);
        if (cut)
            break;
    }
    return song;
}

TEST(SmfReader, FileCutAtEveryByteKeepsWhatTheRulesSay)
{
    const LaidOutFile f = SmallFile();
    ASSERT_EQ("", ChunkLayoutError(f.bytes));
    for (size_t n = 0; n <= f.bytes.size(); ++n) {
        // A heap copy of exactly n bytes lets ASan catch any read past the end.
        Bytes cut(f.bytes.begin(), f.bytes.begin() + n);
        SongArray want = ExpectedAfterCut(f, n);
        SongArray got;
        int32_t ppq = ReadBytes(cut, 0, got);
        EXPECT_EQ(want.tracks.empty() ? 0 : 96, ppq) << "cut at " << n;
        EXPECT_EQ(Dump(want), Dump(got)) << "cut at " << n << " of " << f.bytes.size();
    }
}

TEST(SmfReader, EventClaimingMoreDataThanTheFileHoldsIsDropped)
{
    // A meta length of 0x0FFFFFFF with 3 bytes behind it: the event goes, the
    // track keeps the note before it, and no 256 MiB buffer is needed.
    Bytes body = {0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b', 'c'};
    SongArray song;
    ASSERT_EQ(96, ReadBytes(Cat({Header(0, 1, 96), Track(body)}), 0, song));
    EXPECT_EQ((TrackArray{{0, {0x90, 0x3C, 0x40}}}), song.tracks.at(0)) << Dump(song);
}

TEST(SmfArchive, PushBackReturnsTheLastByteOnce)
{
    Bytes data = {1, 2, 3};
    SmfMemorySource src(data);
    EXPECT_FALSE(src.UnreadByte()); // nothing read yet
    uint8_t b[3] = {};
    ASSERT_EQ(2u, src.Read(b, 2));
    EXPECT_TRUE(src.UnreadByte());
    EXPECT_FALSE(src.UnreadByte()); // only one byte goes back
    ASSERT_EQ(2u, src.Read(b, 3));
    EXPECT_EQ(2, b[0]);
    EXPECT_EQ(3, b[1]);
    EXPECT_EQ(0u, src.Read(b, 1));
    EXPECT_TRUE(src.UnreadByte());
    ASSERT_EQ(1u, src.Read(b, 1));
    EXPECT_EQ(3, b[0]);
    EXPECT_FALSE(src.Failed());
}

TEST(SmfArchive, FileStreamsRoundTripThroughFewBufferedReads)
{
    const std::string path = ::testing::TempDir() + "smf_archive_test.mid";
    std::remove(path.c_str());
    // About 40 KB of notes, written and read back through the file streams.
    ScriptSong in;
    in.tracks.resize(2);
    for (auto& t : in.tracks)
        for (int i = 0; i < 5000; ++i)
            t.rows.push_back(Row(i % 200, {0x90 + (i & 3), i & 0x7F, (i * 7) & 0x7F}));
    {
        SmfFileSink sink(path);
        ASSERT_TRUE(sink.IsOpen());
        ASSERT_TRUE(WriteSong(in, 480, sink));
        ASSERT_TRUE(sink.Close());
    }
    SmfFileSource src(path);
    ASSERT_TRUE(src.IsOpen());
    SongArray song;
    ASSERT_EQ(480, ReadSong(src, 0, song));
    ASSERT_EQ(2u, song.tracks.size());
    EXPECT_EQ(in.tracks[1].rows.size(), song.tracks[1].size());
    EXPECT_EQ(0x90 + (4999 & 3), song.tracks[1].back().message[0]);
    // One system read per 4096 bytes (plus the one that finds the end), not
    // one per byte.
    std::FILE* fp = std::fopen(path.c_str(), "rb");
    std::fseek(fp, 0, SEEK_END);
    size_t size = static_cast<size_t>(std::ftell(fp));
    std::fclose(fp);
    EXPECT_GT(size, 30000u);
    EXPECT_LE(src.FillCount(), size / kSmfArchiveBuffer + 2);
    std::remove(path.c_str());

    SmfFileSource missing(path);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_TRUE(missing.Failed());
    EXPECT_EQ(0, ReadSong(missing, 0, song));
    EXPECT_TRUE(song.tracks.empty());
    SmfFileSink nowhere(path + ".d/none/x.mid");
    EXPECT_FALSE(nowhere.IsOpen());
    EXPECT_FALSE(WriteSong(in, 480, nowhere));
    EXPECT_FALSE(WriteSongToFile(in, 480, path + ".d/none/x.mid"));
    EXPECT_EQ(0, ReadSongFromFile(path, 0, song));

    // A refused array creates no file; an accepted one holds the same bytes
    // as a write to memory.
    in.tracks[0].rows.push_back(Row(std::nullopt, {0x90, 1, 2}));
    EXPECT_FALSE(WriteSongToFile(in, 480, path));
    EXPECT_EQ(nullptr, std::fopen(path.c_str(), "rb"));
    in.tracks[0].rows.pop_back();
    ASSERT_TRUE(WriteSongToFile(in, 480, path));
    SmfMemorySink memory;
    ASSERT_TRUE(WriteSong(in, 480, memory));
    SmfFileSource written(path);
    Bytes onDisk(memory.Bytes().size() + 1);
    EXPECT_EQ(memory.Bytes().size(), written.Read(onDisk.data(), onDisk.size()));
    onDisk.pop_back();
    EXPECT_EQ(memory.Bytes(), onDisk);
    EXPECT_EQ(480, ReadSongFromFile(path, 0, song));
    std::remove(path.c_str());
}

} // namespace
