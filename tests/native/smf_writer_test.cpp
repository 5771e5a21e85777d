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

TEST(SmfWriter, TempoNoteEndOfTrackExampleIsByteExact)
{
    const Bytes example = {
        'M',  'T',  'h',  'd',  0,    0,    0,    6,    0,    0,    0,    1,    0x03, 0xC0,
        'M',  'T',  'r',  'k',  0,    0,    0,    0x14, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1,
        0x20, 0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00,
    };
    const TrackArray rows = {
        {0, {255, 81, 3, 7, 161, 32}}, {0, {144, 60, 100}}, {480, {128, 60, 0}}, {0, {255, 47, 0}}};
    SongArray song{{rows}};
    EXPECT_EQ(Hex(example), Hex(WriteBytes(ToScriptSong(song), 960)));
    ASSERT_EQ(960, ReadBytes(example, 0, song));
    EXPECT_EQ(Dump(SongArray{{rows}}), Dump(song));
}

std::vector<ScriptNumber> Meta55(int length)
{
    std::vector<ScriptNumber> m = {0xFF, 0x01, length};
    m.insert(m.end(), size_t(length), 0x55);
    return m;
}

// Each case: the rows of one track and the exact body the writer must
// produce; the MTrk length must be the body's size.
TEST(SmfWriter, RunningStatusOnlyBetweenChannelEventsOfTheSameStatus)
{
    const struct {
        const char* what;
        std::vector<ScriptRow> rows;
        Bytes body;
    } cases[] = {
        {"two note-ons, same channel: second without status",
         {Row(0, {0x90, 60, 100}), Row(10, {0x90, 62, 100})},
         {0x00, 0x90, 60, 100, 0x0A, 62, 100}},
        {"different channel: status again",
         {Row(0, {0x90, 60, 100}), Row(0, {0x91, 62, 100})},
         {0x00, 0x90, 60, 100, 0x00, 0x91, 62, 100}},
        {"meta in between: both note-ons carry status",
         {Row(0, {0x90, 60, 100}), Row(0, {0xFF, 0x01, 1, 'x'}), Row(0, {0x90, 62, 100})},
         {0x00, 0x90, 60, 100, 0x00, 0xFF, 0x01, 0x01, 'x', 0x00, 0x90, 62, 100}},
        {"sysex in between: status again; 0xF7 inside data stays data",
         {Row(0, {0xB0, 7, 100}), Row(0, {0xF0, 0x7E, 0xF7}), Row(0, {0xB0, 7, 90})},
         {0x00, 0xB0, 7, 100, 0x00, 0xF0, 0x02, 0x7E, 0xF7, 0x00, 0xB0, 7, 90}},
        {"program change and pressure write one data byte",
         {Row(0, {0xC3, 5, 99}), Row(0, {0xC3, 6, 99}), Row(0, {0xD3, 40, 99})},
         {0x00, 0xC3, 5, 0x00, 6, 0x00, 0xD3, 40}},
        {"two sysex of the same status both carry it",
         {Row(0, {0xF0, 1, 0xF7}), Row(0, {0xF0, 2, 0xF7})},
         {0x00, 0xF0, 2, 1, 0xF7, 0x00, 0xF0, 2, 2, 0xF7}},
        {"meta of length 200 writes its length as 0x81 0x48",
         {Row(0, Meta55(200))},
         [] {
             Bytes b = {0x00, 0xFF, 0x01, 0x81, 0x48};
             b.insert(b.end(), 200, 0x55);
             return b;
         }()},
        {"no end-of-track event is added", {Row(5, {0x80, 60, 0})}, {0x05, 0x80, 60, 0}},
        {"empty track", {}, {}},
        {"status 0 first: the list head counts as status 0",
         {Row(0, {0x00, 1, 2}), Row(0, {0x00, 3, 4})},
         {0x00, 1, 2, 0x00, 3, 4}},
    };
    for (const auto& c : cases) {
        Bytes got = WriteBytes(OneTrack(c.rows), 96);
        EXPECT_EQ(Hex(Cat({Header(0, 1, 96), Track(c.body)})), Hex(got)) << c.what;
        EXPECT_EQ("", ChunkLayoutError(got)) << c.what;
    }
}

// The model keeps 28 bits of any delta, so the chunk length always matches.
TEST(SmfWriter, DeltaBeyond28BitsNeverBreaksTheChunkLength)
{
    CSmfFile file;
    file.SetDivision(96);
    CSmfTrack* track = file.Tracks().Append(0);
    auto* e = new CSmfChannelEvent(0x10000005, 0x90);
    EXPECT_EQ(5u, e->GetDelta());
    EXPECT_FALSE(e->SetDelta(0x10000000));
    EXPECT_TRUE(e->SetDelta(0x0FFFFFFF));
    e->InsertAfter(track->Head());
    (new CSmfMetaEvent(0xFFFFFFFF))->InsertAfter(e);
    SmfMemorySink sink;
    file.Serialize(sink);
    EXPECT_EQ(
        Hex(Cat({Header(0, 1, 96), Track({0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0, 0})})),
        Hex(sink.Bytes()));
}

// InsertAfter moves a linked event; Unlink hands its delta to the next event
// (saturating at 28 bits), so the events after it keep their time.
TEST(SmfWriter, InsertAfterMovesAndUnlinkKeepsLaterTimes)
{
    CSmfFile file;
    file.SetDivision(96);
    CSmfTrack* track = file.Tracks().Append(0);
    auto* a = new CSmfChannelEvent(10, 0x90);
    auto* b = new CSmfChannelEvent(20, 0x80);
    auto* c = new CSmfChannelEvent(0x0FFFFFF0, 0x90);
    a->InsertAfter(track->Head());
    b->InsertAfter(a);
    c->InsertAfter(b);
    a->InsertAfter(c); // moves: b c a
    EXPECT_EQ(b, track->Head()->Next());
    EXPECT_EQ(a, track->LastEvent());
    EXPECT_EQ(c, a->Prev());
    b->Unlink();
    EXPECT_FALSE(b->IsLinked());
    EXPECT_EQ(0x0FFFFFFFu, c->GetDelta()); // 0x0FFFFFF0 + 20, saturated
    EXPECT_EQ(4u + 3u, c->GetEncodedSize());
    c->Unlink();
    EXPECT_EQ(0x0FFFFFFFu, a->GetDelta());
    a->Unlink(); // the last event: nothing follows to take its delta
    EXPECT_EQ(nullptr, track->Head()->Next());
    delete a;
    delete b;
    delete c;
}

// The header's 16-bit track count wraps; every track is still written.
TEST(SmfWriter, HeaderTrackCountIsTheCountModulo65536)
{
    for (uint32_t count : {65535u, 65537u}) {
        Bytes bytes = Header(1, 0, 96);
        for (uint32_t i = 0; i < count; ++i)
            bytes.insert(bytes.end(), {'M', 'T', 'r', 'k', 0, 0, 0, 0});
        SmfMemorySource source(bytes);
        CSmfFile file;
        file.Serialize(source);
        ASSERT_EQ(int32_t(count), file.GetTrackCount());
        SmfMemorySink sink;
        file.Serialize(sink);
        const Bytes& out = sink.Bytes();
        ASSERT_EQ(bytes.size(), out.size());
        EXPECT_EQ(count & 0xFFFF, uint32_t(out[10] << 8 | out[11])) << count;
    }
}

TEST(SmfVarLen, WriteReadAndSizeAgree)
{
    const struct {
        uint32_t value;
        Bytes bytes;
    } cases[] = {
        {0, {0x00}},
        {0x7F, {0x7F}},
        {0x80, {0x81, 0x00}},
        {0x3FFF, {0xFF, 0x7F}},
        {0x4000, {0x81, 0x80, 0x00}},
        {0x1FFFFF, {0xFF, 0xFF, 0x7F}},
        {0x200000, {0x81, 0x80, 0x80, 0x00}},
        {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& c : cases) {
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

} // namespace
