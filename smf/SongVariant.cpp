// Script arrays <-> neutral song forms: builds the nested arrays handed to a
// script after a read and walks a script's arrays defensively for a write.
#include "smf/SongVariant.h"

#include "module/ScriptArray.h"

namespace tavro {

namespace {

ScriptRow RowOf(const VARIANT* element)
{
    ScriptRow row;
    ScriptArrayView fields(element);
    if (!fields.IsArray() || fields.Upper() < 1) {
        row.isRow = false;
        return row;
    }
    row.time = ScriptInt32(fields.At(0));
    ScriptArrayView message(fields.At(1));
    if (!message.IsArray()) {
        row.messageIsArray = false;
        return row;
    }
    if (message.Upper() < 1)
        return row; // fewer than 2 bytes: skipped
    // Read at fixed indices from 0; the first element that is missing or not
    // a number already fails the write, so reading stops there.
    for (int64_t k = 0; k <= message.Upper(); ++k) {
        row.message.push_back(ScriptInt32(message.At(k)));
        if (!row.message.back()) {
            // Still a message of at least 2 elements, so that the write
            // fails instead of skipping it as too short.
            if (row.message.size() < 2)
                row.message.resize(2);
            break;
        }
    }
    return row;
}

} // namespace

void SongVariantBuilder::Begin(size_t trackCount)
{
    song_.emplace(trackCount);
}

void SongVariantBuilder::Track(size_t index, TrackArray& rows)
{
    NewScriptArray trackArray(rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        const SongRow& row = rows[r];
        NewScriptArray message(row.message.size());
        VARIANT* bytes = message.data();
        for (size_t k = 0; k < row.message.size(); ++k)
            SetI4(bytes[k], row.message[k]);
        NewScriptArray rowArray(2);
        SetI4(rowArray[0], row.time);
        message.MoveInto(rowArray[1]);
        rowArray.MoveInto(trackArray[r]);
    }
    trackArray.MoveInto((*song_)[index]);
}

void SongVariantBuilder::MoveInto(VARIANT* out)
{
    song_->MoveInto(*out);
}

bool SmfFromVariant(const VARIANT* in, int32_t ppq, CSmfFile& file, bool* isSong)
{
    ScriptArrayView tracks(in);
    *isSong = tracks.IsArray();
    if (!*isSong)
        return false;
    SmfSongBuilder builder(ppq, file);
    ScriptTrack track;
    for (int64_t i = tracks.FirstFrom0(); i <= tracks.Upper(); ++i) {
        ScriptArrayView rows(tracks.At(i));
        track.isArray = rows.IsArray();
        track.rows.clear();
        for (int64_t r = rows.FirstFrom0(); track.isArray && r <= rows.Upper(); ++r)
            track.rows.push_back(RowOf(rows.At(r)));
        if (!builder.AddTrack(track))
            return false;
    }
    return true;
}

} // namespace tavro
