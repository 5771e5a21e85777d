// The MidiIO control: MIDI ports, input store, output queue, timers and
// script events. Methods join the dispatch table as they are built.
#pragma once

#include "module/ControlBase.h"

class CMidiIOCtrl : public tavro::ControlBase {
public:
    static IUnknown* Create();
    static const tavro::ControlClass kClass;

    // Event DISPIDs of _DMidiIOEvents.
    static constexpr DISPID DISPID_OnMidiEvents = 1;
    static constexpr DISPID DISPID_OnTimer = 2;

private:
    CMidiIOCtrl();
};
