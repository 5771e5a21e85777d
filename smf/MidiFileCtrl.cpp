// MidiFile: the dispatch table and the four methods. The control keeps no
// state between calls; each call reads or writes a whole file.
#include "smf/MidiFileCtrl.h"

#include "ocx/Resources.h"
#include "smf/SmfClipboard.h"
#include "smf/SmfFile.h"
#include "smf/SmfSong.h"
#include "smf/SongVariant.h"

#include "TAVRO_h.h"

#include <olectl.h>

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
    &CLSID_MidiFile, &DIID__DMidiFile, &DIID__DMidiFileEvents, L"TAVRO.MidiFileCtrl.1",
    tavro::MakeDispatchTable(kEntries),
    tavro::kControlMiscStatus | OLEMISC_ACTIVATEWHENVISIBLE, IDD_ABOUTBOX_MIDIFILE, &CLSID_MidiFilePropPage,
};

CMidiFileCtrl::CMidiFileCtrl() : ControlBase(kClass) {}

IUnknown* CMidiFileCtrl::Create()
{
    return static_cast<IDispatch*>(new CMidiFileCtrl);
}

long CMidiFileCtrl::ReadMidiFile(VARIANT* dataArray, const std::string& sFileName)
{
    return ReadMidiFilePPQ(dataArray, sFileName, tavro::kDefaultPPQ) == tavro::kDefaultPPQ;
}

long CMidiFileCtrl::WriteMidiFile(const std::string& sFileName, VARIANT* dataArray)
{
    return WriteMidiFilePPQ(sFileName, dataArray, tavro::kDefaultPPQ);
}

long CMidiFileCtrl::ReadMidiFilePPQ(VARIANT* dataArray, const std::string& sFileName, long PPQ)
{
    if (FAILED(VariantClear(dataArray)))
        return 0;
    // Each track becomes script arrays as soon as it is converted.
    tavro::SongVariantBuilder song;
    const int32_t ppq = sFileName.empty() ? tavro::ReadSongFromClipboard(PPQ, song, "ReadMidiFilePPQ")
                                          : tavro::ReadSongFromFile(sFileName, PPQ, song);
    if (ppq == 0)
        return 0;
    song.MoveInto(dataArray);
    return ppq;
}

long CMidiFileCtrl::WriteMidiFilePPQ(const std::string& sFileName, VARIANT* dataArray, long PPQ)
{
    tavro::CSmfFile file;
    bool isSong = false;
    const bool built = tavro::SmfFromVariant(dataArray, PPQ, file, &isSong);
    if (!isSong)
        return FALSE;
    if (sFileName.empty())
        return built && tavro::WriteSmfToClipboard(file, "WriteMidiFilePPQ", PPQ);
    // Never overwrite: anything at the path, file or folder, refuses the write.
    if (GetFileAttributesA(sFileName.c_str()) != INVALID_FILE_ATTRIBUTES)
        return FALSE;
    return built && tavro::WriteSmfToFile(file, sFileName);
}
