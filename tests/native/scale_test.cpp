// ScaleValue: rounding, extrapolation, degenerate ranges and overflow.
#include "tools/Scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct Case {
    double val, valMin, valMax, resultMin, resultMax;
    int32_t expected;
};

const Case kCases[] = {
    {5, 0, 10, 0, 100, 50},       {0.25, 0, 1, 0, 10, 3}, // 2.5 rounds away from zero
    {-0.25, 0, 1, 0, 10, -3},                             // -2.5 likewise
    {0.24, 0, 1, 0, 10, 2},       {-0.24, 0, 1, 0, 10, -2},
    {20, 0, 10, 0, 100, 200},                                        // no clamping
    {-10, 0, 10, 0, 100, -100},   {3, 4, 4, 2.9, 100, 2},            // degenerate: resultMin truncated, not rounded
    {3, 4, 4, -2.9, 100, -2},     {0, 10, 0, 0, 100, 100},           // reversed input range
    {2, 0, 10, 100, 0, 80},                                          // reversed result range
    {64, 0, 127, 0, 16383, 8256}, {1, 0, 1, 0, 4294967296.0 + 7, 7}, // low 32 bits of a 64-bit result
    {1, 0, 1, 0, 1e30, 0},                                           // beyond 64 bits: integer indefinite
};

TEST(ScaleValue, Table)
{
    for (const Case& c : kCases) {
        EXPECT_EQ(tavro::ScaleValue(c.val, c.valMin, c.valMax, c.resultMin, c.resultMax), c.expected)
            << "Scale(" << c.val << ", " << c.valMin << ", " << c.valMax << ", " << c.resultMin << ", " << c.resultMax
            << ")";
    }
}

TEST(ScaleValue, NotANumberRangeIsDegenerate)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(tavro::ScaleValue(1, nan, 10, 7.9, 100), 7);
    EXPECT_EQ(tavro::ScaleValue(1, 0, nan, -7.9, 100), -7);
    EXPECT_EQ(tavro::ScaleValue(nan, 0, 10, 0, 100), 0); // NaN result: indefinite, low bits 0
}

} // namespace
