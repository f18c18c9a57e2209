// Conversions from floating point to integers that are defined for every value.
#pragma once

#include <cstdint>
#include <limits>

// Truncates toward zero like a plain conversion; values beyond the range of a
// 32-bit integer saturate and NaN gives 0.
constexpr std::int32_t truncToInt32(double v) noexcept {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}
