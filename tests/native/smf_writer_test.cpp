// Writer: exact bytes, running status between channel events, chunk lengths
// that always match the bytes written, variable-length quantities.
#include "smf/SmfArchive.h"
#include "smf/SmfFile.h"
#include "smf/SmfSong.h"
#include "smf/SmfVarLen.h"
#include "smf_test_util.h"

#include <gtest/gtest.h>

using namespace tavro;
using namespace smftest;

namespace {

// Builds a model track from (delta, kind, status, data...) without the
// script layer, so that the writer is tested on its own.
struct EventSpec {
    uint32_t delta;
    uint8_t status;
    std::vector<uint8_t> bytes; // channel: data1, data2; meta: type then data; sysex: data
};

void Fill(CSmfTrack* track, const std::vector<EventSpec>& events)
{
    CSmfEvent* last = track->Head();
    for (const EventSpec& s : events) {
        CSmfEvent* e;
        CSmfEventRecord rec;
        if (s.status == 0xFF) {
            e = new CSmfMetaEvent(s.delta);
            e->GetData(rec);
            rec.metaType = s.bytes.at(0);
            rec.data.assign(s.bytes.begin() + 1, s.bytes.end());
        } else if (s.status >= 0xF0) {
            e = new CSmfSysexEvent(s.delta, s.status);
            e->GetData(rec);
            rec.data = s.bytes;
        } else {
            e = new CSmfChannelEvent(s.delta, s.status);
            e->GetData(rec);
            rec.data1 = s.bytes.size() > 0 ? s.bytes[0] : 0;
            rec.data2 = s.bytes.size() > 1 ? s.bytes[1] : 0;
        }
        rec.length = static_cast<uint32_t>(rec.data.size());
        EXPECT_TRUE(e->ApplyRecord(rec));
        e->InsertAfter(last);
        last = e;
    }
}

Bytes Write(CSmfFile& file)
{
    SmfMemorySink sink;
    file.Serialize(sink);
    EXPECT_FALSE(sink.Failed());
    return sink.Bytes();
}

Bytes WriteTracks(const std::vector<std::vector<EventSpec>>& tracks, uint16_t division = 96)
{
    CSmfFile file;
    file.SetDivision(division);
    for (size_t i = 0; i < tracks.size(); ++i)
        Fill(file.Tracks().Append(int32_t(i)), tracks[i]);
    return Write(file);
}

const Bytes kExampleFile = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x03, 0xC0,
    'M', 'T', 'r', 'k', 0, 0, 0, 0x14,
    0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,
    0x00, 0x90, 0x3C, 0x64,
    0x83, 0x60, 0x80, 0x3C, 0x00,
    0x00, 0xFF, 0x2F, 0x00,
};

TEST(SmfWriter, TempoNoteEndOfTrackExampleIsByteExact)
{
    EXPECT_EQ(Hex(kExampleFile), Hex(WriteTracks({{{0, 0xFF, {0x51, 0x07, 0xA1, 0x20}},
                                                    {0, 0x90, {0x3C, 0x64}},
                                                    {480, 0x80, {0x3C, 0x00}},
                                                    {0, 0xFF, {0x2F}}}},
                                                  960)));

    // The same through the script array, and read back from those bytes.
    ScriptSong in;
    in.tracks.resize(1);
    in.tracks[0].rows = {Row(0, {255, 81, 3, 7, 161, 32}), Row(0, {144, 60, 100}),
                         Row(480, {128, 60, 0}), Row(0, {255, 47, 0})};
    SmfMemorySink sink;
    ASSERT_TRUE(WriteSong(in, 960, sink));
    EXPECT_EQ(Hex(kExampleFile), Hex(sink.Bytes()));

    SongArray song;
    ASSERT_EQ(960, ReadBytes(kExampleFile, 0, song));
    ASSERT_EQ(1u, song.tracks.size());
    TrackArray want = {{0, {255, 81, 3, 7, 161, 32}}, {0, {144, 60, 100}}, {480, {128, 60, 0}}, {0, {255, 47, 0}}};
    EXPECT_EQ(want, song.tracks[0]) << Dump(song);
    ASSERT_EQ(480, ReadBytes(kExampleFile, 480, song));
    EXPECT_EQ(240, song.tracks[0][2].time);
}

// Each case: the events of one track and the exact body the writer must
// produce; the MTrk length must be the body's size.
struct BodyCase {
    const char* what;
    std::vector<EventSpec> events;
    Bytes body;
};

TEST(SmfWriter, RunningStatusOnlyBetweenChannelEventsOfTheSameStatus)
{
    const BodyCase cases[] = {
        {"two note-ons, same channel: second without status",
         {{0, 0x90, {60, 100}}, {10, 0x90, {62, 100}}},
         {0x00, 0x90, 60, 100, 0x0A, 62, 100}},
        {"different channel: status again",
         {{0, 0x90, {60, 100}}, {0, 0x91, {62, 100}}},
         {0x00, 0x90, 60, 100, 0x00, 0x91, 62, 100}},
        {"meta in between: both note-ons carry status",
         {{0, 0x90, {60, 100}}, {0, 0xFF, {0x01, 'x'}}, {0, 0x90, {62, 100}}},
         {0x00, 0x90, 60, 100, 0x00, 0xFF, 0x01, 0x01, 'x', 0x00, 0x90, 62, 100}},
        {"sysex in between: status again; 0xF7 inside data stays data",
         {{0, 0xB0, {7, 100}}, {0, 0xF0, {0x7E, 0xF7}}, {0, 0xB0, {7, 90}}},
         {0x00, 0xB0, 7, 100, 0x00, 0xF0, 0x02, 0x7E, 0xF7, 0x00, 0xB0, 7, 90}},
        {"program change writes one data byte whatever data2 holds",
         {{0, 0xC3, {5, 99}}, {0, 0xC3, {6, 99}}, {0, 0xD3, {40, 99}}},
         {0x00, 0xC3, 5, 0x00, 6, 0x00, 0xD3, 40}},
        {"two sysex of the same status both carry it",
         {{0, 0xF0, {1, 0xF7}}, {0, 0xF0, {2, 0xF7}}},
         {0x00, 0xF0, 2, 1, 0xF7, 0x00, 0xF0, 2, 2, 0xF7}},
        {"meta of length 200 writes its length as 0x81 0x48",
         {{0, 0xFF, [] { std::vector<uint8_t> v(201, 0x55); v[0] = 0x01; return v; }()}},
         [] { Bytes b = {0x00, 0xFF, 0x01, 0x81, 0x48}; b.insert(b.end(), 200, 0x55); return b; }()},
        {"no end-of-track event is added", {{5, 0x80, {60, 0}}}, {0x05, 0x80, 60, 0}},
        {"empty track", {}, {}},
        {"status 0 first: the list head counts as status 0",
         {{0, 0x00, {1, 2}}, {0, 0x00, {3, 4}}},
         {0x00, 1, 2, 0x00, 3, 4}},
    };
    for (const BodyCase& c : cases) {
        Bytes want = Cat({Header(0, 1, 96), Track(c.body)});
        Bytes got = WriteTracks({c.events});
        EXPECT_EQ(Hex(want), Hex(got)) << c.what;
        EXPECT_EQ("", ChunkLayoutError(got)) << c.what;
    }
}

TEST(SmfWriter, FormatAndTrackCountFollowTheTrackList)
{
    struct {
        int tracks;
        Bytes header;
    } cases[] = {
        {0, Header(0, 0, 96)},
        {1, Header(0, 1, 96)},
        {2, Header(1, 2, 96)},
        {5, Header(1, 5, 96)},
    };
    for (const auto& c : cases) {
        Bytes got = WriteTracks(std::vector<std::vector<EventSpec>>(size_t(c.tracks)));
        Bytes want = c.header;
        for (int i = 0; i < c.tracks; ++i)
            want = Cat({want, Track({})});
        EXPECT_EQ(Hex(want), Hex(got)) << c.tracks << " tracks";
    }
}

TEST(SmfWriter, DeltaBeyond28BitsNeverBreaksTheChunkLength)
{
    CSmfFile file;
    file.SetDivision(96);
    CSmfTrack* track = file.Tracks().Append(0);
    // The constructor keeps 28 bits; SetDelta refuses larger values.
    auto* e = new CSmfChannelEvent(0x10000005, 0x90);
    EXPECT_EQ(5u, e->GetDelta());
    EXPECT_FALSE(e->SetDelta(0x10000000));
    EXPECT_EQ(5u, e->GetDelta());
    EXPECT_TRUE(e->SetDelta(0x0FFFFFFF));
    e->InsertAfter(track->Head());
    auto* m = new CSmfMetaEvent(0xFFFFFFFF);
    m->InsertAfter(e);
    Bytes got = Write(file);
    EXPECT_EQ("", ChunkLayoutError(got)) << Hex(got);
    EXPECT_EQ(Hex(Cat({Header(0, 1, 96), Track({0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0, 0})})),
              Hex(got));
}

TEST(SmfWriter, UnlinkHandsTheDeltaToTheNextEvent)
{
    CSmfTrack track(1);
    auto* a = new CSmfChannelEvent(10, 0x90);
    auto* b = new CSmfChannelEvent(100, 0x90);
    auto* c = new CSmfChannelEvent(30, 0x80);
    a->InsertAfter(track.Head());
    b->InsertAfter(a);
    c->InsertAfter(b);
    b->Unlink();
    EXPECT_EQ(130u, c->GetDelta());
    EXPECT_EQ(2u + 3u, c->GetEncodedSize()); // delta 130 takes two bytes now
    EXPECT_EQ(c, a->Next());
    delete b;
    EXPECT_EQ(4u + 5u, track.ComputeSize());
}

struct VarLenCase {
    uint32_t value;
    Bytes bytes;
};

TEST(SmfVarLen, WriteReadAndSizeAgree)
{
    const VarLenCase cases[] = {
        {0, {0x00}},
        {0x7F, {0x7F}},
        {0x80, {0x81, 0x00}},
        {0x3FFF, {0xFF, 0x7F}},
        {0x4000, {0x81, 0x80, 0x00}},
        {0x1FFFFF, {0xFF, 0xFF, 0x7F}},
        {0x200000, {0x81, 0x80, 0x80, 0x00}},
        {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const VarLenCase& c : cases) {
        SmfMemorySink sink;
        ASSERT_TRUE(WriteVarLen(sink, c.value));
        EXPECT_EQ(Hex(c.bytes), Hex(sink.Bytes())) << std::hex << c.value;
        EXPECT_EQ(c.bytes.size(), VarLenSize(c.value)) << std::hex << c.value;
        SmfMemorySource src(c.bytes);
        uint32_t v = 1, n = 0;
        ASSERT_TRUE(ReadVarLen(src, v, n)) << std::hex << c.value;
        EXPECT_EQ(c.value, v);
        EXPECT_EQ(c.bytes.size(), n);
    }
    // Beyond 28 bits: no size, and the write keeps the low 28 bits.
    EXPECT_EQ(0u, VarLenSize(0x10000000));
    SmfMemorySink sink;
    WriteVarLen(sink, 0x10000081);
    EXPECT_EQ(Hex({0x81, 0x01}), Hex(sink.Bytes()));
}

TEST(SmfVarLen, FifthByteIsLeftForTheNextItemAndShortDataFails)
{
    Bytes five = {0x81, 0x80, 0x80, 0x80, 0x05};
    SmfMemorySource src(five);
    uint32_t v = 0, n = 0;
    ASSERT_TRUE(ReadVarLen(src, v, n));
    EXPECT_EQ(0x200000u, v);
    EXPECT_EQ(4u, n);
    uint8_t next = 0;
    ASSERT_EQ(1u, src.Read(&next, 1));
    EXPECT_EQ(0x05, next);

    for (size_t len = 0; len < 3; ++len) {
        Bytes cut(five.begin(), five.begin() + len);
        SmfMemorySource s(cut);
        EXPECT_FALSE(ReadVarLen(s, v, n)) << "after " << len << " bytes";
    }
}

} // namespace
