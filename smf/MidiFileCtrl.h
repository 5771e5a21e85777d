// The MidiFile control: Standard MIDI Files to and from nested script arrays.
#pragma once

#include "module/ControlBase.h"

#include <string>

class CMidiFileCtrl : public tavro::ControlBase {
public:
    static IUnknown* Create();
    static const tavro::ControlClass kClass;

    // An empty file name means the clipboard. Failures are results: FALSE,
    // or 0 for ReadMidiFilePPQ.
    long ReadMidiFile(VARIANT* dataArray, const std::string& sFileName);
    long WriteMidiFile(const std::string& sFileName, VARIANT* dataArray);
    long ReadMidiFilePPQ(VARIANT* dataArray, const std::string& sFileName, long PPQ);
    long WriteMidiFilePPQ(const std::string& sFileName, VARIANT* dataArray, long PPQ);

private:
    CMidiFileCtrl();
    // The methods with the name and arguments that their trace lines show.
    long Read(const char* method, VARIANT* dataArray, const std::string& sFileName, long PPQ);
    long Write(const char* method, const std::string& sFileName, VARIANT* dataArray, long PPQ);
};
