#pragma once
// Conversion of the render's 16-bit samples into a driver's channel format.
#include <cstdint>

// Writes `frames` samples of `in` to `out` in the format of sample type
// `type` (AsioSampleType): integers keep the 16 bits at the top of their
// container (the Int32*16..24 types sign-extend and shift left by 0, 2, 4
// or 8), floats are s / 32768 in single or double precision, in the type's
// byte order. False, with `out` untouched, for any other type.
bool convertToAsioSamples(const int16_t* in, int frames, int32_t type, void* out);
