// libFuzzer target for the MIDI file reader: any input must read without a
// fault, write back with exact chunk lengths, and, when its events can be
// written faithfully, read back to the same events and the same script array.
#include "smf/SmfArchive.h"
#include "smf/SmfFile.h"
#include "smf/SmfSong.h"
#include "tests/native/smf_test_util.h"

#include <cstdint>
#include <cstdlib>
#include <tuple>
#include <vector>

using namespace tavro;

namespace {

using EventValues = std::tuple<int32_t, uint32_t, uint8_t, uint8_t, uint8_t, uint8_t, std::vector<uint8_t>>;
using TrackValues = std::vector<EventValues>;

std::vector<TrackValues> Values(CSmfFile& file)
{
    std::vector<TrackValues> out;
    CSmfEventRecord rec;
    file.ResetTrackIterator();
    while (CSmfTrack* t = file.NextTrack()) {
        out.emplace_back();
        for (CSmfEvent* e = t->Head()->Next(); e; e = e->Next()) {
            e->GetData(rec);
            out.back().emplace_back(rec.kind, rec.delta, rec.status, rec.data1, rec.data2, rec.metaType, rec.data);
        }
    }
    return out;
}

// Running status can carry the events back only when every channel event
// has a real status byte and 7-bit data.
bool WritesFaithfully(const std::vector<TrackValues>& tracks)
{
    for (const TrackValues& t : tracks)
        for (const EventValues& e : t)
            if (std::get<0>(e) == kSmfEventChannel &&
                (std::get<2>(e) < 0x80 || std::get<3>(e) >= 0x80 || std::get<4>(e) >= 0x80))
                return false;
    return true;
}

// The script array can carry them back when, in addition, every meta event
// fits a length element of 8 bits and every sysex has at least 2 bytes.
bool ScriptCarries(const std::vector<TrackValues>& tracks)
{
    for (const TrackValues& t : tracks)
        for (const EventValues& e : t) {
            size_t n = std::get<6>(e).size();
            if ((std::get<0>(e) == kSmfEventMeta && n > 255) || (std::get<0>(e) == kSmfEventSysex && n < 2))
                return false;
        }
    return true;
}

void CheckLayout(const std::vector<uint8_t>& b)
{
    if (!smftest::ChunkLayoutError(b).empty())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CSmfFile a;
    SmfMemorySource src(data, size);
    a.Serialize(src);
    std::vector<TrackValues> av = Values(a);
    // The stop lies inside the data, and a read that lost nothing used it all.
    const SmfReadStatus& stop = a.ReadStatus();
    if (stop.offset > size || (stop.stop == SmfReadStop::kEnd && stop.track > 0 && stop.offset != size))
        std::abort();

    SmfMemorySink sink;
    a.Serialize(sink);
    CheckLayout(sink.Bytes());

    CSmfFile c;
    SmfMemorySource again(sink.Bytes());
    c.Serialize(again);
    if (WritesFaithfully(av)) {
        if (c.GetDivision() != a.GetDivision() || Values(c) != av)
            std::abort();
    }

    SongArray song;
    SongFromSmf(a, 960, song);
    int32_t ppq = SongFromSmf(a, 0, song);
    if (ppq == 0)
        return 0;
    SmfMemorySink scriptSink;
    if (!WriteSong(ToScriptSong(song), ppq, scriptSink)) {
        if (WritesFaithfully(av) && ScriptCarries(av))
            std::abort();
        return 0;
    }
    CheckLayout(scriptSink.Bytes());
    SongArray back;
    SmfMemorySource scriptSource(scriptSink.Bytes());
    int32_t backPpq = ReadSong(scriptSource, 0, back);
    if (WritesFaithfully(av) && ScriptCarries(av)) {
        if (backPpq != ppq || back.tracks != song.tracks)
            std::abort();
    }
    return 0;
}
