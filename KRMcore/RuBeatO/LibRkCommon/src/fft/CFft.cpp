#include "fft/CFft.h"

#include "fft/rdft.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// A float buffer used from the first 16-byte boundary of its allocation.
struct AlignedBuffer {
    void* raw = nullptr;
    int count = 0;
    float* ptr = nullptr;

    void allocate(int n)
    {
        raw = std::malloc(static_cast<size_t>(n) * sizeof(float) + 60);
        if (!raw)
            throw std::bad_alloc();
        count = n;
        const auto addr = reinterpret_cast<std::uintptr_t>(raw);
        ptr = reinterpret_cast<float*>((addr + 15) & ~static_cast<std::uintptr_t>(15));
    }
    void release()
    {
        std::free(raw);
        raw = nullptr;
        ptr = nullptr;
        count = 0;
    }
};

}  // namespace

struct CFftImpl {
    AlignedBuffer buffers[3];
    int size = 0;
    int mode = 0;
    float* window = nullptr;
    float* data = nullptr;
    float* table = nullptr;
    int* ip = nullptr;
    int ipLength = 0;

    CFftImpl(int n, int m) : size(n), mode(m)
    {
        try {
            for (AlignedBuffer& b : buffers)
                b.allocate(2 * n);
            ipLength = static_cast<int>(std::sqrt(static_cast<double>(n))) + 2;
            ip = new int[ipLength];
        } catch (...) {
            for (AlignedBuffer& b : buffers)
                b.release();
            throw;
        }
        data = buffers[0].ptr;
        window = buffers[1].ptr;
        table = buffers[2].ptr;
        std::memset(data, 0, sizeof(float) * 2 * n);
        std::memset(table, 0, sizeof(float) * 2 * n);
        for (int i = 0; i < 2 * n; ++i)
            window[i] = 1.0f;
        std::memset(ip, 0, sizeof(int) * ipLength);
    }

    ~CFftImpl()
    {
        for (AlignedBuffer& b : buffers)
            b.release();
        delete[] ip;
    }

    CFftImpl(const CFftImpl&) = delete;
    CFftImpl& operator=(const CFftImpl&) = delete;
};

CFft::CFft(int size, int mode) : m_impl(new CFftImpl(size, mode))
{ }

CFft::~CFft() = default;

int CFft::setWindow(unsigned length, int type)
{
    if (type < Hamming || type > BartlettHann)
        return -1;
    float* win = m_impl->window;
    if (length == 1) {
        // The formulas divide by N-1; a one-point window passes its sample.
        win[0] = 1.0f;
        return 0;
    }
    const float last = static_cast<float>(length - 1);
    for (unsigned i = 0; i < length; ++i) {
        const float fi = static_cast<float>(i);
        double v = 0;
        switch (type) {
        case Hamming:
            v = 0.54 - 0.46 * std::cos(6.283185307179586 * fi / last);
            break;
        case Hann:
            v = 0.5 - 0.5 * std::cos(6.283185307179586 * fi / last);
            break;
        case Blackman:
            v = 0.42 - 0.5 * std::cos(6.283185307179586 * fi / last) +
                0.08 * std::cos(12.566370614359172 * fi / last);
            break;
        default: {
            const float x = fi / last - 0.5f;
            v = 0.62 - 0.48 * std::fabs(x) + 0.38 * std::cos(6.28318 * x);
            break;
        }
        }
        win[i] = static_cast<float>(v);
    }
    return 0;
}

void CFft::transform(const float* in, int nIn, int direction, bool applyWindow, unsigned stride)
{
    CFftImpl& d = *m_impl;
    const int n = d.size;
    float* data = d.data;

    // Samples taken: the whole frame, or as many as nIn holds (none for a
    // non-positive nIn that is not a full frame compared as unsigned).
    const unsigned avail = static_cast<unsigned>(nIn);
    int taken = n;
    if (avail < static_cast<unsigned>(n) * stride) {
        taken = 0;
        if (nIn > 0) {
            while (taken < n && static_cast<unsigned>(taken) * stride < avail)
                ++taken;
        }
    }

    // Copy, window and double in one pass; the doubling is exact, so this
    // rounds as windowing first and doubling after. The rest of the frame,
    // and the second half of the buffer, are zero.
    if (applyWindow) {
        const float* win = d.window;
        for (int i = 0; i < taken; ++i)
            data[i] = in[static_cast<size_t>(i) * stride] * win[i] * 2.0f;
    } else {
        for (int i = 0; i < taken; ++i)
            data[i] = in[static_cast<size_t>(i) * stride] * 2.0f;
    }
    std::memset(data + taken, 0, sizeof(float) * static_cast<size_t>(2 * n - taken));

    rdftf(n, direction == -1 ? 1 : -1, data, d.ip, d.table);
}

void CFft::magnitude(float* out, const float* in, int nIn, int direction, bool applyWindow, unsigned stride)
{
    transform(in, nIn, direction, applyWindow, stride);
    if (!out)
        return;
    const float* data = m_impl->data;
    const int half = m_impl->size / 2;
    out[0] = std::fabs(data[0]);
    for (int k = 1; k < half; ++k) {
        const float re = data[2 * k];
        const float im = data[2 * k + 1];
        // The single-precision root: a double root rounded to single gives
        // the same value (a double holds more than twice the digits), and
        // this one runs in vector lanes.
        out[k] = std::sqrt(re * re + im * im);
    }
}

int CFft::size() const
{
    return m_impl->size;
}
int CFft::mode() const
{
    return m_impl->mode;
}
float* CFft::data() const
{
    return m_impl->data;
}
float* CFft::window() const
{
    return m_impl->window;
}
float* CFft::table() const
{
    return m_impl->table;
}
int* CFft::ip() const
{
    return m_impl->ip;
}
int CFft::ipLength() const
{
    return m_impl->ipLength;
}
