#pragma once

// Circular row index: a position in 0 .. size-1 that wraps around. The comb
// filter bank and the beat tracker's moving statistics address their
// history rows through it, so no data moves when a new frame arrives.
class RingIndex {
public:
    explicit RingIndex(int size) : m_position(0), m_size(size) { }

    // Advances by one, wrapping to 0 at size; returns the index itself.
    RingIndex& increment()
    {
        if (++m_position >= m_size)
            m_position = 0;
        return *this;
    }

    // Advances like increment() and returns the position before the advance.
    int postIncrement()
    {
        const int before = m_position;
        increment();
        return before;
    }

    // (position + k) modulo size, in 0 .. size-1 also for negative k.
    int offset(int k) const { return positiveModulo(m_position + k, m_size); }

    int position() const { return m_position; }
    int size() const { return m_size; }

    // a modulo n with a result in 0 .. n-1 whatever the sign of a; an empty
    // ring (n < 1) has only the position 0.
    static int positiveModulo(int a, int n)
    {
        if (n < 1)
            return 0;
        const int r = a % n;
        return r < 0 ? r + n : r;
    }

private:
    int m_position;
    int m_size;
};
