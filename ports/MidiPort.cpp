// Behaviour shared by every port kind.
#include "ports/MidiPort.h"

#include "module/ComUtil.h"

CMidiPort::CMidiPort(MidiPortOwner* owner, uint32_t portNumber, uint32_t deviceIndex, bool isInput, uint32_t kind)
    : portNumber(portNumber), deviceIndex(deviceIndex), kind(kind), isInput(isInput), owner(owner)
{
}

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
    return ReadMessageBytes(array, bytes) && SendBytes(bytes);
}

BSTR CMidiPort::GetNameBSTR()
{
    return tavro::ToBstr(GetName());
}

bool ReadMessageBytes(SAFEARRAY* array, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    LONG upper = 0;
    VARTYPE vt = VT_EMPTY;
    // Elements are copied out as VARIANTs: any other element type is refused.
    if (!array || FAILED(SafeArrayGetVartype(array, &vt)) || vt != VT_VARIANT
        || FAILED(SafeArrayGetUBound(array, 1, &upper)))
        return false;
    if (upper < 0)
        return true;
    bytes.reserve(static_cast<size_t>(upper) + 1);
    for (LONG i = 0; i <= upper; ++i) {
        tavro::Variant element;
        if (FAILED(SafeArrayGetElement(array, &i, element.get())))
            return false;
        if (element->vt != VT_I4 && FAILED(VariantChangeType(element.get(), element.get(), 0, VT_I4)))
            return false;
        bytes.push_back(static_cast<uint8_t>(element->lVal & 0xFF));
    }
    return true;
}
