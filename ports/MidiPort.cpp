// Behaviour shared by every port kind.
#include "ports/MidiPort.h"

#include "module/ComUtil.h"
#include "module/ScriptArray.h"
#include "module/Trace.h"

CMidiPort::CMidiPort(MidiPortOwner* owner, uint32_t portNumber, uint32_t deviceIndex, bool isInput, uint32_t kind)
    : portNumber(portNumber), deviceIndex(deviceIndex), kind(kind), isInput(isInput), owner(owner)
{}

bool CMidiPort::SetSysExSize(uint32_t size)
{
    if (size == 0xFFFFFFFFu)
        size = 512;
    else if (size >= 65536)
        return false;
    if (!isOpen) {
        sysExSize = size;
        return true;
    }
    Close();
    sysExSize = size;
    Open();
    return true;
}

bool CMidiPort::Send(SAFEARRAY* array)
{
    if (!array)
        return CanSend();
    std::vector<uint8_t> bytes;
    if (!tavro::ReadScriptBytes(array, bytes)) {
        TAVRO_NOTE("an element of the message is not a number");
        return false;
    }
    return SendBytes(bytes);
}

BSTR CMidiPort::GetNameBSTR()
{
    return tavro::ToBstr(GetName());
}
