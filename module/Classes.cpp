// The six creatable classes of the module with their registration data.
#include "module/ClassFactory.h"

#include "midiio/MidiIOCtrl.h"
#include "module/Resources.h"
#include "smf/MidiFileCtrl.h"
#include "tools/MidiToolsCtrl.h"
#include "TAVRO_h.h"

#include <olectl.h>

namespace tavro {

namespace {

constexpr DWORD kControlMisc = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE
                               | OLEMISC_RECOMPOSEONRESIZE;

const ServerClass kClasses[] = {
    {&CLSID_MidiIO, "TAVRO.MidiIOCtrl.1", IDS_MIDIIO, IDB_MIDIIO, kControlMisc, &CMidiIOCtrl::Create},
    {&CLSID_MidiFile, "TAVRO.MidiFileCtrl.1", IDS_MIDIFILE, IDB_MIDIFILE, kControlMisc | OLEMISC_ACTIVATEWHENVISIBLE,
     &CMidiFileCtrl::Create},
    {&CLSID_MidiTools, "TAVRO.MidiToolsCtrl.1", IDS_MIDITOOLS, IDB_MIDITOOLS,
     kControlMisc | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INVISIBLEATRUNTIME, &CMidiToolsCtrl::Create},
    // Property pages: registered, not yet creatable (no page object in this build).
    {&CLSID_MidiIOPropPage, nullptr, IDS_MIDIIO_PPG, 0, 0, nullptr},
    {&CLSID_MidiFilePropPage, nullptr, IDS_MIDIFILE_PPG, 0, 0, nullptr},
    {&CLSID_MidiToolsPropPage, nullptr, IDS_MIDITOOLS_PPG, 0, 0, nullptr},
};

static_assert(kControlMisc == 0x20091, "misc status of the controls");

} // namespace

const ServerClass* ServerClasses(size_t* count)
{
    *count = sizeof kClasses / sizeof kClasses[0];
    return kClasses;
}

} // namespace tavro
