// The MidiFile control: Standard MIDI Files to and from nested script arrays.
#pragma once

#include "module/ControlBase.h"

class CMidiFileCtrl : public tavro::ControlBase {
public:
    static IUnknown* Create();
    static const tavro::ControlClass kClass;

private:
    CMidiFileCtrl();
};
