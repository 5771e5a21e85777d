// Conversion between the file model and the script event array, with
// time-base rescaling on read and row validation on write.
#include "smf/SmfSong.h"

#include "smf/SmfArchive.h"
#include "smf/SmfFile.h"
#include "smf/SmfVarLen.h"

#include <cmath>
#include <memory>

namespace tavro {

namespace {

int32_t ScaleDelta(uint32_t delta, double factor)
{
    double t = std::trunc(double(delta) * factor);
    // Deltas are below 2^28 but a factor can reach 65535: saturate rather
    // than overflow the 32-bit time.
    if (t >= 2147483647.0)
        return INT32_MAX;
    return static_cast<int32_t>(t);
}

// Meta and system exclusive rows (channel messages are built in place).
void MessageOf(const CSmfEventRecord& rec, SongMessage& m)
{
    if (rec.kind == kSmfEventMeta) {
        m.reserve(rec.data.size() + 3);
        m = {0xFF, rec.metaType, static_cast<int32_t>(rec.length)};
    } else { // system exclusive, whatever status the file held
        m.reserve(rec.data.size() + 1);
        m = {0xF0};
    }
    m.insert(m.end(), rec.data.begin(), rec.data.end());
}

enum class RowOutcome { Event, Skip, Fail };

uint8_t Low8(const ScriptNumber& n)
{
    return static_cast<uint8_t>(*n & 0xFF);
}

// What one script row becomes:
//   skipped:   not an array or fewer than 2 elements; message not an array
//              or fewer than 2 bytes; a channel status the event refuses
//              (0x70-0x7F, 0xF1-0xFE)
//   whole write fails: a time or message element that is not a number; a
//              time outside 0..0x0FFFFFFF (a track cannot hold it); a sysex
//              or meta message of exactly 2 elements; a meta length element
//              (low 8 bits) that does not match the element count; a
//              channel message of other than 3 elements; a sysex longer
//              than 0x0FFFFFFF bytes
RowOutcome BuildEvent(const ScriptRow& row, CSmfTrack& track, CSmfEvent*& event)
{
    event = nullptr;
    if (!row.isRow)
        return RowOutcome::Skip;
    if (!row.time || *row.time < 0 || uint32_t(*row.time) > kSmfMaxVarLen)
        return RowOutcome::Fail;
    if (!row.messageIsArray || row.message.size() < 2)
        return RowOutcome::Skip;
    for (const ScriptNumber& n : row.message) {
        if (!n)
            return RowOutcome::Fail;
    }
    const auto& msg = row.message;
    const size_t m = msg.size();
    const uint32_t delta = static_cast<uint32_t>(*row.time);
    const uint8_t status = Low8(msg[0]);

    if (status != 0xF0 && status != 0xFF) {
        if (m != 3)
            return RowOutcome::Fail;
        // What SetData would refuse for a channel event: the row is dropped.
        if ((status & 0x7F) >= 0x70)
            return RowOutcome::Skip;
        event = track.NewEvent<CSmfChannelEvent>(delta, status, Low8(msg[1]), Low8(msg[2]));
        return RowOutcome::Event;
    }
    CSmfEventRecord rec;
    std::unique_ptr<CSmfEvent> made;
    if (status == 0xF0) {
        if (m < 3 || m - 1 > kSmfMaxVarLen)
            return RowOutcome::Fail;
        made.reset(track.NewEvent<CSmfSysexEvent>(delta, status));
        made->GetData(rec);
        rec.kind = kSmfEventSysex;
        for (size_t i = 1; i < m; ++i)
            rec.data.push_back(Low8(msg[i]));
    } else {
        if (m < 3)
            return RowOutcome::Fail;
        const size_t length = Low8(msg[2]);
        if (length + 3 != m)
            return RowOutcome::Fail;
        made.reset(track.NewEvent<CSmfMetaEvent>(delta));
        made->GetData(rec);
        rec.metaType = Low8(msg[1]);
        for (size_t i = 3; i < m; ++i)
            rec.data.push_back(Low8(msg[i]));
    }
    rec.status = status;
    rec.delta = delta;
    rec.length = static_cast<uint32_t>(rec.data.size());
    if (!made->SetData(rec))
        return RowOutcome::Skip;
    event = made.release();
    return RowOutcome::Event;
}

} // namespace

ScriptSong ToScriptSong(const SongArray& song)
{
    ScriptSong out;
    out.tracks.reserve(song.tracks.size());
    for (const TrackArray& track : song.tracks) {
        ScriptTrack t;
        t.rows.reserve(track.size());
        for (const SongRow& row : track) {
            ScriptRow r;
            r.time = row.time;
            r.message.assign(row.message.begin(), row.message.end());
            t.rows.push_back(std::move(r));
        }
        out.tracks.push_back(std::move(t));
    }
    return out;
}

namespace {

// Collects the tracks into a song array.
class SongArraySink final : public SongTrackSink {
public:
    explicit SongArraySink(SongArray& song) : song_(song) {}
    void Begin(size_t trackCount) override { song_.tracks.resize(trackCount); }
    void Track(size_t index, TrackArray& rows) override { song_.tracks[index].swap(rows); }

private:
    SongArray& song_;
};

} // namespace

int32_t SongFromSmf(CSmfFile& file, int32_t ppq, SongArray& song)
{
    song.tracks.clear();
    SongArraySink sink(song);
    return SongFromSmf(file, ppq, sink);
}

int32_t SongFromSmf(CSmfFile& file, int32_t ppq, SongTrackSink& sink)
{
    const int32_t n = file.GetTrackCount();
    const uint16_t division = file.GetDivision();
    // Division 0 gives times no meaning (and no nonzero time base to report).
    if (n == 0 || division == 0)
        return 0;
    if (ppq < 1)
        ppq = division;
    const bool scale = ppq != division;
    const double factor = double(ppq) / double(division);

    sink.Begin(static_cast<size_t>(n));
    file.ResetTrackIterator();
    CSmfEventRecord rec;
    TrackArray rows;
    for (size_t index = 0; index < static_cast<size_t>(n); ++index) {
        CSmfTrack* track = file.NextTrack();
        size_t count = 0;
        for (CSmfEvent* e = track->Head()->Next(); e; e = e->Next())
            ++count;
        rows.clear();
        rows.reserve(count);
        for (CSmfEvent* e = track->Head()->Next(); e; e = e->Next()) {
            const uint32_t delta = e->GetDelta();
            const int32_t time = scale ? ScaleDelta(delta, factor) : static_cast<int32_t>(delta);
            if (e->IsChannel()) {
                const auto* c = static_cast<const CSmfChannelEvent*>(e);
                rows.emplace_back();
                rows.back().time = time;
                rows.back().message = {c->GetStatus(), c->Data1(), c->Data2()};
                continue;
            }
            e->GetData(rec);
            if (rec.kind == kSmfEventListHead)
                continue;
            rows.emplace_back();
            rows.back().time = time;
            MessageOf(rec, rows.back().message);
        }
        sink.Track(index, rows);
    }
    return ppq;
}

SmfSongBuilder::SmfSongBuilder(int32_t ppq, CSmfFile& file) : file_(file)
{
    if (ppq == 0)
        ppq = kDefaultPPQ;
    file.Reset();
    file.SetDivision(static_cast<uint16_t>(ppq & 0xFFFF));
}

bool SmfSongBuilder::AddTrack(const ScriptTrack& st)
{
    const int32_t index = index_++;
    if (failed_)
        return false;
    if (!st.isArray)
        return true;
    CSmfTrack* track = file_.Tracks().Append(index);
    CSmfEvent* last = track->Head();
    for (const ScriptRow& row : st.rows) {
        CSmfEvent* event;
        switch (BuildEvent(row, *track, event)) {
        case RowOutcome::Fail:
            failed_ = true;
            file_.Reset();
            return false;
        case RowOutcome::Skip:
            break;
        case RowOutcome::Event:
            event->LinkAfterLast(last);
            last = event;
            break;
        }
    }
    if (track->BodyLength() > 0xFFFFFFFFu) {
        failed_ = true;
        file_.Reset();
        return false;
    }
    return true;
}

bool SmfFromSong(const ScriptSong& song, int32_t ppq, CSmfFile& file)
{
    SmfSongBuilder builder(ppq, file);
    for (const ScriptTrack& track : song.tracks) {
        if (!builder.AddTrack(track))
            return false;
    }
    return true;
}

bool WriteSmf(CSmfFile& file, SmfArchive& sink)
{
    file.Serialize(sink);
    return !sink.Failed();
}

bool WriteSmfToFile(CSmfFile& file, const std::string& path)
{
    SmfFileSink sink(path);
    if (!sink.IsOpen())
        return false;
    file.Serialize(sink);
    return sink.Close();
}

int32_t ReadSong(SmfArchive& source, int32_t ppq, SongArray& song, SmfReadStatus* status)
{
    song.tracks.clear();
    SongArraySink sink(song);
    return ReadSong(source, ppq, sink, status);
}

int32_t ReadSong(SmfArchive& source, int32_t ppq, SongTrackSink& sink, SmfReadStatus* status)
{
    CSmfFile file;
    file.Serialize(source);
    if (status)
        *status = file.ReadStatus();
    return SongFromSmf(file, ppq, sink);
}

bool WriteSong(const ScriptSong& song, int32_t ppq, SmfArchive& sink)
{
    CSmfFile file;
    return SmfFromSong(song, ppq, file) && WriteSmf(file, sink);
}

int32_t ReadSongFromFile(const std::string& path, int32_t ppq, SongArray& song, SmfReadStatus* status)
{
    song.tracks.clear();
    SongArraySink sink(song);
    return ReadSongFromFile(path, ppq, sink, status);
}

int32_t ReadSongFromFile(const std::string& path, int32_t ppq, SongTrackSink& sink, SmfReadStatus* status)
{
    SmfFileSource source(path);
    if (!source.IsOpen()) {
        if (status)
            *status = {SmfReadStop::kCannotOpen, 0, 0};
        return 0;
    }
    return ReadSong(source, ppq, sink, status);
}

bool WriteSongToFile(const ScriptSong& song, int32_t ppq, const std::string& path)
{
    CSmfFile file;
    return SmfFromSong(song, ppq, file) && WriteSmfToFile(file, path);
}

} // namespace tavro
