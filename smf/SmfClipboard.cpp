// The clipboard side of the MidiFile control: the file is read straight from
// the clipboard's global block and written into a block sized exactly.
#include "smf/SmfClipboard.h"

#include "smf/SmfArchive.h"

#include <windows.h>

#include <cstring>

namespace tavro {

const char kSmfClipboardFormat[] = "Standard MIDI File";

namespace {

// Opened without an owner window and closed on every way out.
class OpenedClipboard {
public:
    OpenedClipboard() : open_(OpenClipboard(nullptr) != FALSE) {}
    ~OpenedClipboard()
    {
        if (open_)
            CloseClipboard();
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    bool IsOpen() const { return open_; }

private:
    bool open_;
};

class LockedGlobal {
public:
    explicit LockedGlobal(HGLOBAL h) : h_(h), data_(GlobalLock(h)) {}
    ~LockedGlobal()
    {
        if (data_)
            GlobalUnlock(h_);
    }
    LockedGlobal(const LockedGlobal&) = delete;
    LockedGlobal& operator=(const LockedGlobal&) = delete;
    void* Data() const { return data_; }

private:
    HGLOBAL h_;
    void* data_;
};

} // namespace

int32_t ReadSongFromClipboard(int32_t ppq, SongTrackSink& sink)
{
    const UINT format = RegisterClipboardFormatA(kSmfClipboardFormat);
    if (format == 0 || !IsClipboardFormatAvailable(format))
        return 0;
    OpenedClipboard clipboard;
    if (!clipboard.IsOpen())
        return 0;
    HANDLE data = GetClipboardData(format);
    if (!data)
        return 0;
    LockedGlobal block(data);
    if (!block.Data())
        return 0;
    // The clipboard keeps the block; it is only read here.
    SmfMemorySource source(block.Data(), GlobalSize(data));
    return ReadSong(source, ppq, sink);
}

bool WriteSmfToClipboard(CSmfFile& file)
{
    SmfMemorySink sink;
    if (!WriteSmf(file, sink))
        return false;
    const std::vector<uint8_t>& bytes = sink.Bytes();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, bytes.size());
    if (!block)
        return false;
    {
        LockedGlobal locked(block);
        if (!locked.Data()) {
            GlobalFree(block);
            return false;
        }
        std::memcpy(locked.Data(), bytes.data(), bytes.size());
    }
    const UINT format = RegisterClipboardFormatA(kSmfClipboardFormat);
    OpenedClipboard clipboard;
    if (format == 0 || !clipboard.IsOpen()) {
        GlobalFree(block);
        return false;
    }
    EmptyClipboard();
    if (!SetClipboardData(format, block)) {
        GlobalFree(block);
        return false;
    }
    return true; // the clipboard owns the block now
}

} // namespace tavro
