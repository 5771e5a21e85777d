// Linear rescaling for MidiTools.Scale.
#include "tools/Scale.h"

#include <cmath>
#include <limits>

namespace tavro {

int64_t TruncateToInt64(double x)
{
    // 2^63 is exactly representable; anything at or beyond it overflows.
    constexpr double limit = 9223372036854775808.0;
    if (std::isnan(x) || x >= limit || x < -limit)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(x);
}

int32_t ScaleValue(double val, double valMin, double valMax, double resultMin, double resultMax)
{
    int64_t whole;
    if (!(valMin < valMax || valMin > valMax)) {
        whole = TruncateToInt64(resultMin);
    } else {
        double r = (val - valMin) * (resultMax - resultMin) / (valMax - valMin) + resultMin;
        whole = TruncateToInt64(r < 0 ? r - 0.5 : r + 0.5);
    }
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(whole)));
}

} // namespace tavro
