// Variable-length quantities of MIDI files: 7 bits per byte, most significant
// group first, top bit set on every byte but the last, at most 4 bytes.
#pragma once
#include <cstdint>

namespace tavro {

class SmfArchive;

constexpr uint32_t kSmfMaxVarLen = 0x0FFFFFFF;

// Bytes that WriteVarLen takes for v: 1 to 4, and 0 for v above 0x0FFFFFFF
// (which does not fit).
uint32_t VarLenSize(uint32_t v);

// Reads at most 4 bytes. After a fourth byte with its top bit set the read
// stops anyway: the 28 bits gathered are the value and the next byte stays
// unread. False only when a byte cannot be read (end of data).
bool ReadVarLen(SmfArchive& ar, uint32_t& value, uint32_t& bytesRead);

// Writes the low 28 bits of v in 1 to 4 bytes.
bool WriteVarLen(SmfArchive& ar, uint32_t v);

} // namespace tavro
