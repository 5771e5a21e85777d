// The clipboard side of the MidiFile control: the file is read straight from
// the clipboard's global block and written into a block sized exactly.
#include "smf/SmfClipboard.h"

#include "module/Clipboard.h"
#include "module/Trace.h"
#include "smf/SmfArchive.h"

#include <windows.h>

#include <cstring>

namespace tavro {

const char kSmfClipboardFormat[] = "Standard MIDI File";

int32_t ReadSongFromClipboard(int32_t ppq, SongTrackSink& sink, const char* method)
{
    auto args = [ppq] { return "..., \"\", " + std::to_string(ppq); };
    const UINT format = RegisterClipboardFormatA(kSmfClipboardFormat);
    if (format == 0 || !IsClipboardFormatAvailable(format)) {
        TAVRO_TRACE("MidiFile", method, args(), "no \"Standard MIDI File\" data on the clipboard");
        return 0;
    }
    ClipboardSession clipboard;
    if (!clipboard.IsOpen()) {
        TAVRO_TRACE("MidiFile", method, args(), clipboard.FailureText());
        return 0;
    }
    HANDLE data = GetClipboardData(format);
    GlobalLockGuard block(data);
    if (!block.data()) {
        TAVRO_TRACE("MidiFile", method, args(), "cannot read the clipboard's file: " + LastErrorText());
        return 0;
    }
    // The clipboard keeps the block; it is only read here.
    SmfMemorySource source(block.data(), GlobalSize(data));
    return ReadSong(source, ppq, sink);
}

bool WriteSmfToClipboard(CSmfFile& file, const char* method, long ppq)
{
    auto args = [ppq] { return "\"\", ..., " + std::to_string(ppq); };
    SmfMemorySink sink;
    if (!WriteSmf(file, sink))
        return false;
    const std::vector<uint8_t>& bytes = sink.Bytes();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, bytes.size());
    if (!block) {
        TAVRO_TRACE("MidiFile", method, args(), "no memory for " + std::to_string(bytes.size()) + " bytes");
        return false;
    }
    {
        GlobalLockGuard locked(block);
        if (!locked.data()) {
            GlobalFree(block);
            return false;
        }
        std::memcpy(locked.data(), bytes.data(), bytes.size());
    }
    const UINT format = RegisterClipboardFormatA(kSmfClipboardFormat);
    if (format == 0) {
        TAVRO_TRACE("MidiFile", method, args(), "cannot register the clipboard format: " + LastErrorText());
        GlobalFree(block);
        return false;
    }
    ClipboardSession clipboard;
    if (!clipboard.IsOpen()) {
        TAVRO_TRACE("MidiFile", method, args(), clipboard.FailureText());
        GlobalFree(block);
        return false;
    }
    EmptyClipboard();
    if (!SetClipboardData(format, block)) {
        TAVRO_TRACE("MidiFile", method, args(), "the clipboard refused the file: " + LastErrorText());
        GlobalFree(block);
        return false;
    }
    return true; // the clipboard owns the block now
}

} // namespace tavro
