// Standard MIDI File bytes on the clipboard, in the registered format
// "Standard MIDI File" (global memory, no prefix).
#pragma once

#include "smf/SmfSong.h"

namespace tavro {

extern const char kSmfClipboardFormat[];

// Reads the clipboard's file: the result of ReadSong, or 0 with an empty song
// when the format is absent or the clipboard cannot be opened or read.
// `method` names the script method in the trace.
int32_t ReadSongFromClipboard(int32_t ppq, SongTrackSink& sink, const char* method);

// Converts the song and puts the file on the clipboard, replacing its
// contents. false when the array is refused (the clipboard is untouched) or
// the clipboard cannot take the block.
bool WriteSmfToClipboard(CSmfFile& file, const char* method, long ppq);

} // namespace tavro
