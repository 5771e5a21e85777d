// Variable-length quantity reading, writing and sizing.
#include "smf/SmfVarLen.h"

#include "smf/SmfArchive.h"

namespace tavro {

uint32_t VarLenSize(uint32_t v)
{
    if (v > 0x0FFFFFFF)
        return 0;
    if (v > 0x1FFFFF)
        return 4;
    if (v > 0x3FFF)
        return 3;
    if (v > 0x7F)
        return 2;
    return 1;
}

bool ReadVarLen(SmfArchive& ar, uint32_t& value, uint32_t& bytesRead)
{
    value = 0;
    bytesRead = 0;
    while (bytesRead < 4) {
        uint8_t b;
        if (ar.Read(&b, 1) != 1)
            return false;
        ++bytesRead;
        value = (value << 7) | (b & 0x7F);
        if (!(b & 0x80))
            break;
    }
    return true;
}

bool WriteVarLen(SmfArchive& ar, uint32_t v)
{
    v &= 0x0FFFFFFF;
    uint8_t bytes[4];
    int n = 0;
    do {
        bytes[n++] = static_cast<uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v != 0);
    uint8_t out[4];
    for (int i = 0; i < n; ++i)
        out[i] = static_cast<uint8_t>(bytes[n - 1 - i] | (i < n - 1 ? 0x80 : 0));
    return ar.Write(out, static_cast<size_t>(n));
}

} // namespace tavro
