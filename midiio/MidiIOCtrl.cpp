// MidiIO: construction and the dispatch table.
#include "midiio/MidiIOCtrl.h"

#include "TAVRO_h.h"

namespace {

// No method is bound yet: every call answers DISP_E_MEMBERNOTFOUND.
const tavro::DispatchTable kDispatch = {nullptr, 0};

} // namespace

const tavro::ControlClass CMidiIOCtrl::kClass = {
    &CLSID_MidiIO, &DIID__DMidiIO, &DIID__DMidiIOEvents, L"TAVRO.MidiIOCtrl.1", kDispatch,
};

CMidiIOCtrl::CMidiIOCtrl() : ControlBase(kClass) {}

IUnknown* CMidiIOCtrl::Create()
{
    return static_cast<IDispatch*>(new CMidiIOCtrl);
}
