// Variable-length quantities of MIDI files: 7 bits per byte, most significant
// group first, top bit set on every byte but the last, at most 4 bytes.
#pragma once
#include "smf/SmfArchive.h"

#include <cstdint>

namespace tavro {

constexpr uint32_t kSmfMaxVarLen = 0x0FFFFFFF;

// Bytes that WriteVarLen takes for v: 1 to 4, and 0 for v above 0x0FFFFFFF
// (which does not fit).
inline uint32_t VarLenSize(uint32_t v)
{
    if (v <= 0x7F)
        return 1;
    if (v <= 0x3FFF)
        return 2;
    if (v <= 0x1FFFFF)
        return 3;
    return v <= 0x0FFFFFFF ? 4 : 0;
}

// Reads at most 4 bytes. After a fourth byte with its top bit set the read
// stops anyway: the 28 bits gathered are the value and the next byte stays
// unread. False only when a byte cannot be read (end of data).
inline bool ReadVarLen(SmfArchive& ar, uint32_t& value, uint32_t& bytesRead)
{
    value = 0;
    bytesRead = 0;
    while (bytesRead < 4) {
        uint8_t b;
        if (!ar.ReadByte(b))
            return false;
        ++bytesRead;
        value = (value << 7) | (b & 0x7F);
        if (!(b & 0x80))
            break;
    }
    return true;
}

// Encodes the low 28 bits of v into out (1 to 4 bytes); returns the count.
inline size_t EncodeVarLen(uint8_t* out, uint32_t v)
{
    v &= 0x0FFFFFFF;
    if (v <= 0x7F) {
        out[0] = static_cast<uint8_t>(v);
        return 1;
    }
    size_t n = VarLenSize(v);
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<uint8_t>(((v >> (7 * (n - 1 - i))) & 0x7F) | (i + 1 < n ? 0x80 : 0));
    return n;
}

// Writes the low 28 bits of v in 1 to 4 bytes.
inline bool WriteVarLen(SmfArchive& ar, uint32_t v)
{
    uint8_t out[4];
    return ar.Write(out, EncodeVarLen(out, v));
}

} // namespace tavro
