#pragma once
// The decision stage of the attack finder: a three-state peak picker over
// the frame-to-frame rise of the envelope ratio. When the picker is armed
// and the rise turns down (or dies away) while the ratio stands at or above
// a threshold relative to its long-term level, the frame before the current
// one, the peak, is marked with its ratio, at most once per 34 frames.
#include "Transient/TransientDetector.h"

#include <algorithm>
#include <climits>
#include <cstdint>

struct TransientDetector::Decision {
    int32_t marks[kMaxSamples] = {};
    int count = 0;
    int32_t R = 0;
    int32_t L = 0;
    int32_t D = 0;
    int32_t riseFloor = 80;
    int32_t T1 = 0;
    int32_t T2 = 1;
    int32_t markFactor = 35717;  // Q15
    int32_t armFactor = 38666;   // Q15
    int S = 0;                   // 0 idle, 1 rising, 2 falling
    int carriedS = 0;
    int32_t nextR = 0;
    int32_t nextL = 0;
    int32_t nextD = 0;
    int A = 0;  // armed
    int P = 0;  // pending
    int C = 0;  // frames since the last mark
    int limit = 0;

    // factor * v >> 15 on a 32-bit product that wraps like the hardware's.
    static int32_t q15(int32_t factor, int32_t v)
    {
        return static_cast<int32_t>(static_cast<uint32_t>(factor) * static_cast<uint32_t>(v)) >> 15;
    }

    void initialise(int blockSize)
    {
        limit = static_cast<int>(1102.5 / blockSize);
        C = limit;
    }

    // Marks the peak frame k - 1 (the carried frame when k is 0) with its
    // ratio when armed, the current ratio reaches T1 and the refractory
    // time has passed.
    void markStep(int k, const int32_t* ratio)
    {
        if (!A || ratio[k] < T1)
            return;
        if (C >= limit) {
            marks[k > 0 ? k - 1 : 0] = R;
            C = 0;
        }
        A = 0;
    }

    // Steps the picker over n frames (0 to 128; otherwise -1) and writes
    // one mark value per frame to out. Frame 0 looks back at the final
    // frame of the previous call.
    int process(const int32_t* ratio, const int32_t* level, const int32_t* rise, int n, int32_t* out)
    {
        if (n < 0 || n > kMaxSamples)
            return -1;
        count = n;
        std::fill(marks, marks + n, 0);
        for (int k = 0; k < n; ++k) {
            if (k == 0) {
                R = nextR;
                L = nextL;
                D = nextD;
                S = carriedS;
            } else {
                R = ratio[k - 1];
                L = level[k - 1];
                D = rise[k - 1];
            }
            T1 = q15(markFactor, L);
            T2 = std::max<int32_t>(1, q15(armFactor, L));
            const int32_t d = rise[k];
            switch (S) {
            case 0:
                if (d <= riseFloor) {
                } else if (d > D) {
                    if (R >= T2)
                        P = 1;
                    else
                        A = 1;
                    S = 1;
                } else if (d < D) {
                    S = 2;
                }
                break;
            case 1:
                if (d <= riseFloor) {
                    markStep(k, ratio);
                    S = 0;
                } else if (d > D) {
                    if (P && R < T2) {
                        A = 1;
                        P = 0;
                    }
                } else if (d < D) {
                    if (P) {
                        A = 1;
                        P = 0;
                    }
                    markStep(k, ratio);
                    S = 2;
                }
                break;
            default:
                if (d <= riseFloor) {
                    S = 0;
                } else if (d > D) {
                    if (R < T2)
                        A = 1;
                    else
                        P = 1;
                    markStep(k, ratio);
                    S = 1;
                } else if (d < D && R < T2) {
                    A = 1;
                    markStep(k, ratio);
                }
                break;
            }
            if (C < INT_MAX)
                ++C;
        }
        if (n > 0) {
            carriedS = S;
            nextR = ratio[n - 1];
            nextL = level[n - 1];
            nextD = rise[n - 1];
        }
        std::copy(marks, marks + n, out);
        return 0;
    }
};
