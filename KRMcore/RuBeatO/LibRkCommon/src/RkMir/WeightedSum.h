#pragma once

namespace RkMir {

// Sum of weights[j] * values[j] for j < count, accumulated in single
// precision in index order. The sparse filter banks apply each band through
// it, so every bank rounds its band values the same way.
inline float weightedSum(const float* weights, const float* values, int count)
{
    float acc = 0.0f;
    for (int j = 0; j < count; ++j)
        acc += weights[j] * values[j];
    return acc;
}

}  // namespace RkMir
