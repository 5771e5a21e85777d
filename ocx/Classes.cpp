// The six creatable classes of TAVRO.OCX with their registration data.
#include "ocx/Classes.h"

#include "midiio/MidiIOCtrl.h"
#include "ocx/PropertyPages.h"
#include "interface/Resources.h"
#include "smf/MidiFileCtrl.h"
#include "tools/MidiToolsCtrl.h"
#include "TAVRO_h.h"

namespace tavro {

namespace {

const ServerClass kClasses[] = {
    {&CMidiIOCtrl::kClass, nullptr, IDS_MIDIIO, IDB_MIDIIO, &CMidiIOCtrl::Create},
    {&CMidiFileCtrl::kClass, nullptr, IDS_MIDIFILE, IDB_MIDIFILE, &CMidiFileCtrl::Create},
    {&CMidiToolsCtrl::kClass, nullptr, IDS_MIDITOOLS, IDB_MIDITOOLS, &CMidiToolsCtrl::Create},
    {nullptr, &CLSID_MidiIOPropPage, IDS_MIDIIO_PPG, 0, &CMidiIOPropPage::Create},
    {nullptr, &CLSID_MidiFilePropPage, IDS_MIDIFILE_PPG, 0, &CMidiFilePropPage::Create},
    {nullptr, &CLSID_MidiToolsPropPage, IDS_MIDITOOLS_PPG, 0, &CMidiToolsPropPage::Create},
};

static_assert(tavro::kControlMiscStatus == 0x20091, "misc status common to the controls");

} // namespace

const ServerModule kTavroServer = {kClasses, sizeof kClasses / sizeof kClasses[0], &LIBID_TAVROLib};

} // namespace tavro
