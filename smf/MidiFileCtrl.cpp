// MidiFile: the dispatch table and the four methods. The control keeps no
// state between calls; each call reads or writes a whole file.
#include "smf/MidiFileCtrl.h"

#include "module/Trace.h"
#include "interface/Resources.h"
#include "smf/SmfClipboard.h"
#include "smf/SmfFile.h"
#include "smf/SmfSong.h"
#include "smf/SongVariant.h"

#include "TAVRO_h.h"

#include <olectl.h>

#include <cstring>

namespace {

const tavro::DispatchEntry kEntries[] = {
    TAVRO_DISP(DISPID_ABOUTBOX, "AboutBox", VT_EMPTY, &CMidiFileCtrl::AboutBox),
    TAVRO_DISP(1, "ReadMidiFile", VT_BOOL, &CMidiFileCtrl::ReadMidiFile),
    TAVRO_DISP(2, "WriteMidiFile", VT_BOOL, &CMidiFileCtrl::WriteMidiFile),
    TAVRO_DISP(3, "ReadMidiFilePPQ", VT_I4, &CMidiFileCtrl::ReadMidiFilePPQ),
    TAVRO_DISP(4, "WriteMidiFilePPQ", VT_BOOL, &CMidiFileCtrl::WriteMidiFilePPQ),
};

} // namespace

const tavro::ControlClass CMidiFileCtrl::kClass = {
    &CLSID_MidiFile,
    &DIID__DMidiFile,
    &DIID__DMidiFileEvents,
    L"TAVRO.MidiFileCtrl.1",
    tavro::MakeDispatchTable(kEntries),
    tavro::kControlMiscStatus | OLEMISC_ACTIVATEWHENVISIBLE,
    IDD_ABOUTBOX_MIDIFILE,
    &CLSID_MidiFilePropPage,
};

CMidiFileCtrl::CMidiFileCtrl() : ControlBase(kClass)
{}

IUnknown* CMidiFileCtrl::Create()
{
    return static_cast<IDispatch*>(new CMidiFileCtrl);
}

long CMidiFileCtrl::ReadMidiFile(VARIANT* dataArray, const std::string& sFileName)
{
    return Read("ReadMidiFile", dataArray, sFileName, tavro::kDefaultPPQ) == tavro::kDefaultPPQ;
}

long CMidiFileCtrl::WriteMidiFile(const std::string& sFileName, VARIANT* dataArray)
{
    return Write("WriteMidiFile", sFileName, dataArray, tavro::kDefaultPPQ);
}

long CMidiFileCtrl::ReadMidiFilePPQ(VARIANT* dataArray, const std::string& sFileName, long PPQ)
{
    return Read("ReadMidiFilePPQ", dataArray, sFileName, PPQ);
}

long CMidiFileCtrl::WriteMidiFilePPQ(const std::string& sFileName, VARIANT* dataArray, long PPQ)
{
    return Write("WriteMidiFilePPQ", sFileName, dataArray, PPQ);
}

namespace {

std::string TraceArgs(const char* method, const std::string& sFileName, long PPQ)
{
    std::string args = tavro::TraceQuote(sFileName);
    if (method[std::strlen(method) - 1] == 'Q')
        args += ", " + std::to_string(PPQ);
    return args;
}

// Why a file could not be opened for reading: the system's word on it.
std::string OpenFailure(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "cannot open the file: " + tavro::LastErrorText();
    CloseHandle(h);
    return "cannot open the file";
}

// The reader's stop as the trace gives it: for a read that failed, also why
// no song came of it.
std::string ReadFailure(const tavro::SmfReadStatus& status, bool failed)
{
    if (!failed)
        return tavro::DescribeSmfReadStop(status);
    if (status.stop == tavro::SmfReadStop::kEnd)
        return status.track ? "the header's division is 0, so the times have no time base"
                            : "no track: " + tavro::DescribeSmfReadStop(status);
    return tavro::DescribeSmfReadStop(status);
}

} // namespace

long CMidiFileCtrl::Read(const char* method, VARIANT* dataArray, const std::string& sFileName, long PPQ)
{
    HRESULT hr = VariantClear(dataArray);
    if (FAILED(hr)) {
        TAVRO_TRACE("MidiFile", method, TraceArgs(method, sFileName, PPQ),
                    "the array argument cannot be cleared: " + tavro::HresultText(hr));
        return 0;
    }
    // Each track becomes script arrays as soon as it is converted.
    tavro::SongVariantBuilder song;
    if (sFileName.empty()) {
        const int32_t ppq = tavro::ReadSongFromClipboard(PPQ, song, method);
        if (ppq != 0)
            song.MoveInto(dataArray);
        return ppq;
    }
    tavro::SmfReadStatus status;
    const int32_t ppq = tavro::ReadSongFromFile(sFileName, PPQ, song, &status);
    // A read that returns a song may still have lost data: say where.
    if (ppq == 0 || tavro::SmfReadLostData(status))
        TAVRO_TRACE("MidiFile", method, TraceArgs(method, sFileName, PPQ),
                    status.stop == tavro::SmfReadStop::kCannotOpen ? OpenFailure(sFileName)
                                                                   : ReadFailure(status, ppq == 0));
    if (ppq == 0)
        return 0;
    song.MoveInto(dataArray);
    return ppq;
}

long CMidiFileCtrl::Write(const char* method, const std::string& sFileName, VARIANT* dataArray, long PPQ)
{
    tavro::CSmfFile file;
    bool isSong = false;
    const bool built = tavro::SmfFromVariant(dataArray, PPQ, file, &isSong);
    if (!isSong) {
        TAVRO_TRACE("MidiFile", method, TraceArgs(method, sFileName, PPQ),
                    "the song is not an array of VARIANTs with one dimension");
        return FALSE;
    }
    if (!built) {
        TAVRO_TRACE("MidiFile", method, TraceArgs(method, sFileName, PPQ),
                    "a row holds a time or byte that is not a number, a time above 0x0FFFFFFF or a "
                    "message of the wrong length; nothing was written");
        return FALSE;
    }
    if (sFileName.empty())
        return tavro::WriteSmfToClipboard(file, method, PPQ);
    // Never overwrite: anything at the path, file or folder, refuses the write.
    if (GetFileAttributesA(sFileName.c_str()) != INVALID_FILE_ATTRIBUTES) {
        TAVRO_TRACE("MidiFile", method, TraceArgs(method, sFileName, PPQ),
                    "something exists at that path already; the method never overwrites");
        return FALSE;
    }
    if (!tavro::WriteSmfToFile(file, sFileName)) {
        TAVRO_TRACE("MidiFile", method, TraceArgs(method, sFileName, PPQ),
                    "cannot create or write the file: " + tavro::LastErrorText());
        return FALSE;
    }
    return TRUE;
}
