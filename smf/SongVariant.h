// Conversion between script arrays (nested VT_ARRAY | VT_VARIANT) and the
// neutral song forms of SmfSong.h. The only code that knows both.
#pragma once

#include "smf/SmfSong.h"

#include <windows.h>
#include <oleauto.h>

namespace tavro {

// Stores the song into *out (which the caller has cleared) as
// song -> tracks -> rows {time, message} -> VT_I4 bytes, all with lower
// bound 0. Throws std::bad_alloc when an array cannot be created; *out is
// then left empty.
void SongToVariant(const SongArray& song, VARIANT* out);

// Reads a script's song array into the neutral write form. false when `in`
// is not VT_ARRAY | VT_VARIANT (or a reference to one) holding a
// one-dimensional array of VARIANTs. Song and track arrays are walked from
// index 0 to their upper bound, skipping indices that do not exist; rows and
// messages are read at fixed indices from 0. Numbers that are not VT_I4 are
// converted with VariantChangeType; the caller's array is never modified.
bool ScriptSongFromVariant(const VARIANT* in, ScriptSong& song);

} // namespace tavro
