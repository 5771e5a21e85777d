// MidiFile: the dispatch table. The control keeps no state between calls.
#include "smf/MidiFileCtrl.h"

#include "TAVRO_h.h"

namespace {

// No method is bound yet: every call answers DISP_E_MEMBERNOTFOUND.
const tavro::DispatchTable kDispatch = {nullptr, 0};

} // namespace

const tavro::ControlClass CMidiFileCtrl::kClass = {
    &CLSID_MidiFile, &DIID__DMidiFile, &DIID__DMidiFileEvents, L"TAVRO.MidiFileCtrl.1", kDispatch,
};

CMidiFileCtrl::CMidiFileCtrl() : ControlBase(kClass) {}

IUnknown* CMidiFileCtrl::Create()
{
    return static_cast<IDispatch*>(new CMidiFileCtrl);
}
