// Linear rescaling with rounding half away from zero (MidiTools.Scale).
#pragma once
#include <cstdint>

namespace tavro {

// Maps val from [valMin, valMax] onto [resultMin, resultMax] without clamping.
// A degenerate (or unordered) input range gives resultMin truncated.
// The 64-bit integer result is cut to its low 32 bits.
int32_t ScaleValue(double val, double valMin, double valMax, double resultMin, double resultMax);

// Truncates toward zero to 64 bits the way the x86 conversion does: NaN and
// values outside the 64-bit range give INT64_MIN (the "integer indefinite").
int64_t TruncateToInt64(double x);

} // namespace tavro
