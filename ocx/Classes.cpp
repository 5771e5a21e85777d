// The six creatable classes of TAVRO.OCX with their registration data.
#include "ocx/Classes.h"

#include "midiio/MidiIOCtrl.h"
#include "ocx/Resources.h"
#include "smf/MidiFileCtrl.h"
#include "tools/MidiToolsCtrl.h"
#include "TAVRO_h.h"

#include <olectl.h>

namespace tavro {

namespace {

constexpr DWORD kControlMisc = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE
                               | OLEMISC_RECOMPOSEONRESIZE;

const ServerClass kClasses[] = {
    {&CMidiIOCtrl::kClass, nullptr, IDS_MIDIIO, IDB_MIDIIO, kControlMisc, &CMidiIOCtrl::Create},
    {&CMidiFileCtrl::kClass, nullptr, IDS_MIDIFILE, IDB_MIDIFILE, kControlMisc | OLEMISC_ACTIVATEWHENVISIBLE,
     &CMidiFileCtrl::Create},
    {&CMidiToolsCtrl::kClass, nullptr, IDS_MIDITOOLS, IDB_MIDITOOLS,
     kControlMisc | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INVISIBLEATRUNTIME, &CMidiToolsCtrl::Create},
    // Property pages: registered, not yet creatable (no page object in this build).
    {nullptr, &CLSID_MidiIOPropPage, IDS_MIDIIO_PPG, 0, 0, nullptr},
    {nullptr, &CLSID_MidiFilePropPage, IDS_MIDIFILE_PPG, 0, 0, nullptr},
    {nullptr, &CLSID_MidiToolsPropPage, IDS_MIDITOOLS_PPG, 0, 0, nullptr},
};

static_assert(kControlMisc == 0x20091, "misc status of the controls");

} // namespace

const ServerModule kTavroServer = {kClasses, sizeof kClasses / sizeof kClasses[0], &LIBID_TAVROLib};

} // namespace tavro
