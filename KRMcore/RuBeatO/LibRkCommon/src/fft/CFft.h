#pragma once

#include <memory>

struct CFftImpl;

// Magnitude spectrum of one fixed-size frame through the single-precision
// real FFT. Owns aligned work buffers, an analysis window and the FFT tables;
// one object serves one frame at a time and allocates nothing per frame.
//
// Derived classes (other spectral front ends) reach the work buffers, the
// window and the FFT tables through the protected accessors.
class CFft {
public:
    enum WindowType { Hamming = 0, Hann = 1, Blackman = 2, BartlettHann = 3 };

    // size: a power of two >= 2. mode is kept with the object only.
    CFft(int size, int mode);
    virtual ~CFft();

    CFft(const CFft&) = delete;
    CFft& operator=(const CFft&) = delete;

    // Fills the first `length` window entries (at most 2*size) with the
    // window of `type` (0 Hamming, 1 Hann, 2 Blackman, 3 Bartlett-Hann) and
    // returns 0; any other type returns -1 and keeps the window as it was.
    int setWindow(unsigned length, int type);

    // Transforms the frame taken from `in` (every stride-th sample, nIn
    // samples available, zero-padded at the end when short; a negative nIn
    // counts as a full frame) and, if out is not null, writes size/2
    // magnitudes: twice the DFT magnitude of the (windowed) frame, bins
    // 0 .. size/2-1. direction -1 is the forward transform.
    void magnitude(float* out, const float* in, int nIn, int direction, bool applyWindow, unsigned stride);

    int size() const;
    int mode() const;

protected:
    // Zero, copy, window, double and transform one frame into data().
    void transform(const float* in, int nIn, int direction, bool applyWindow, unsigned stride);

    float* data() const;    // 2*size floats, 16-byte aligned
    float* window() const;  // 2*size floats, 16-byte aligned
    float* table() const;   // FFT tables w, 2*size floats
    int* ip() const;        // FFT work area
    int ipLength() const;

private:
    std::unique_ptr<CFftImpl> m_impl;
};
