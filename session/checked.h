#pragma once
// Arithmetic of the session's counters: an overflow is a run-time error, never a silent wrap.

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/runtime_error.h"

namespace vigie::checked {

template <typename T>
T fit(double value) {
    if (!std::isfinite(value) || value < std::numeric_limits<T>::min() ||
        value > std::numeric_limits<T>::max())
        throw RuntimeError(err::Overflow, "vigie-k7", "Overflow");
    return static_cast<T>(value);
}

inline std::int16_t add16(std::int16_t a, int b) {
    return fit<std::int16_t>(double(a) + b);
}
inline std::int32_t add32(std::int32_t a, std::int32_t b) {
    return fit<std::int32_t>(double(a) + b);
}

}  // namespace vigie::checked
