// Conversion between script arrays (nested VT_ARRAY | VT_VARIANT) and the
// neutral song forms of SmfSong.h. The only code that knows both.
#pragma once

#include "module/ScriptArray.h"
#include "smf/SmfSong.h"

#include <windows.h>
#include <oleauto.h>

namespace tavro {

// Builds the script's song array from a read, track by track, as
// song -> tracks -> rows {time, message} -> VT_I4 numbers, all with lower
// bound 0. Throws std::bad_alloc when an array cannot be created.
class SongVariantBuilder final : public SongTrackSink {
public:
    void Begin(size_t trackCount) override;
    void Track(size_t index, TrackArray& rows) override;
    // Stores the song into *out, which the caller has cleared.
    void MoveInto(VARIANT* out);

private:
    std::optional<NewScriptArray> song_;
};

// Builds the file model for a write from a script's song array, one track
// at a time through the neutral form (SmfSongBuilder). *isSong is false, and
// so is the result, when `in` is not VT_ARRAY | VT_VARIANT (or a reference to
// one) holding a one-dimensional array of VARIANTs; the result alone is false
// when the write must fail. Song and track arrays are walked from index 0 to
// their upper bound, skipping indices that do not exist; rows and messages
// are read at fixed indices from 0. Numbers that are not VT_I4 are converted
// with VariantChangeType; the caller's array is never modified.
bool SmfFromVariant(const VARIANT* in, int32_t ppq, CSmfFile& file, bool* isSong);

} // namespace tavro
