#pragma once
// Result codes of the engine, the managers, the jobs and the audition.
// 0 is success; 0x80000000 | step is the failure of a step. A failure passed
// up from a called operation is nested as (inner << 4) | 0x80000000 | step,
// so every level adds one hexadecimal digit (the top digit of the inner code
// drops out in 32-bit arithmetic).
#include <QString>

#include <cstdint>

namespace krm {

using Result = uint32_t;

constexpr Result kOk = 0;
constexpr Result kFailBit = 0x80000000u;

constexpr Result fail(uint32_t step)
{
    return kFailBit | step;
}

constexpr Result nest(Result inner, uint32_t step)
{
    return static_cast<Result>((inner << 4) | kFailBit | step);
}

// The "call, and on failure nest the step code" pattern in one expression:
//   if (Result r = krm::nestOnFail(load(), 3)) return r;
constexpr Result nestOnFail(Result inner, uint32_t step)
{
    return inner == kOk ? kOk : nest(inner, step);
}

constexpr bool failed(Result r)
{
    return r != kOk;
}

// The code in words for log lines: its lower-case hexadecimal digits (as the
// user sees them in "[%1]") and the step of each level, from the outermost
// call in, e.g. "80000121 (failed at step 1 > 2 > 1, outermost first)";
// "0 (success)". Steps above 15 cannot be told apart from nesting and read
// as two levels.
QString describeResult(Result code);

}  // namespace krm
