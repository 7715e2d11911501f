#pragma once
// The real FFT of one time-scale engine run.
//
// Every analysis frame and every synthesis frame of a stretch goes through
// one `SharedFft` of its channel: the frame spectra and band features
// (forward) and the spectrum window's synthesis (inverse). The engine makes
// one object per channel and run and hands it by reference to that
// channel's analysers and spectrum windows, so the work tables are built
// once per run, and neither two stretches nor the two channels' threads
// share them.
//
// The transform is the toolkit's single-precision split-radix `rdftf`, run
// in place on the caller's floats: the frames are floats from end to end,
// so nothing is converted or copied.
//
// Layout and sign (forward, n real samples x[j]):
//   data[0] = R[0], data[1] = R[n/2], data[2k] = R[k], data[2k+1] = I[k]
//   for 0 < k < n/2, with R[k] = sum x[j] cos(2 pi jk/n) and
//   I[k] = sum x[j] sin(2 pi jk/n).
// The sine term has a positive sign, so the usual complex spectrum's
// imaginary part is -I[k]: callers negate it.
// Inverse: takes the same layout and returns
//   y[j] = (R[0] + R[n/2] cos(pi j)) / 2 + sum_{k=1}^{n/2-1} (R[k] cos(2 pi jk/n) + I[k] sin(2 pi jk/n)),
// unscaled: forward then inverse gives n/2 times the input.
//
// Not thread-safe: one object serves one thread. Allocation-free per call.
#include <cstdint>
#include <vector>

class SharedFft {
public:
    static constexpr int32_t kMaxSize = 8192;

    // Allocates the work tables (throws the integer -1 when it cannot).
    SharedFft();

    // Transforms data[0 .. n-1] in place: direction >= 0 forward, < 0
    // inverse. n must be a power of two from 2 to 8192; any other size (and
    // a null data pointer) is refused: the data is left untouched and an
    // error line naming the size goes to the standard error stream.
    void Transform(int32_t n, int32_t direction, float* data);

    // True for the sizes `Transform` accepts.
    static bool IsValidSize(int32_t n);

private:
    void PrepareTables(int32_t n);

    std::vector<int> m_work;     // rdftf's bit-reversal area; [0], [1] = built table sizes
    std::vector<float> m_table;  // rdftf's twiddle and cosine tables
    bool m_firstUse[6] = {true, true, true, true, true, true};  // 512 .. 8192, then any other size
    int32_t m_lastOtherSize = 0;
};
