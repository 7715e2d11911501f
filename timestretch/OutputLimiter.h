#pragma once
// The output limiter of the stretch path.
//
// The spectral engine can produce samples beyond the range of the output
// format. `LimitPeaks` finds every run of samples beyond the limits and
// hands it to `RepairClippedHalfWave`, which reshapes the half-wave holding
// the run (between the zero crossings around it) so that its top becomes a
// smooth curve touching the limit instead of a flat clipped top. Short runs
// and short half-waves are simply clipped. Samples are floats in 16-bit
// units; the limits are 32767.0 and -32768.0 for 16-bit output.
//
// Nothing here throws: work arrays that cannot be had leave the half-wave
// as it is (the caller's final clamp still bounds it).
#include <cstddef>
#include <cstdint>
#include <vector>

// A polynomial of order n fitted by solving a square linear system of n + 1
// rows (points, and optionally a zero slope in the last row).
class PolyFit {
public:
    explicit PolyFit(int16_t order);

    // False when the work arrays could not be allocated.
    bool Usable() const { return m_usable; }
    int16_t Order() const { return m_order; }

    // Rows 0 .. count - 1: x^n ... x^0 of each point, right-hand side y.
    // Rows beyond the system are ignored.
    void AddPoints(const double* x, const double* y, int16_t count);
    // The last row: the derivative at x equals 0.
    void AddZeroSlope(double x);
    // Gauss-Jordan elimination with full pivoting. A zero pivot or a column
    // chosen twice stops the elimination; the coefficients are then the
    // partly reduced right-hand side (so they may be useless or not finite).
    // Returns false in that case.
    bool Solve();
    // The polynomial at x.
    double Evaluate(double x) const;
    // Highest power first.
    const std::vector<double>& Coefficients() const { return m_coefficients; }

private:
    double& At(int row, int column) { return m_matrix[static_cast<size_t>(row * m_columns + column)]; }

    int16_t m_order;
    int16_t m_rows;
    int16_t m_columns;
    std::vector<double> m_matrix;
    std::vector<double> m_rightHandSide;
    std::vector<double> m_coefficients;
    std::vector<int> m_work;
    bool m_usable = false;
};

// Limits buffer[start .. end - 1] in place to [low, high]; returns 1 when a
// sample lay beyond the limits, else 0. Fewer than 6 samples are clipped;
// otherwise each run beyond a limit is repaired, and the last five samples
// are left to the caller's final clamp. Not-a-number samples are left alone.
int LimitPeaks(float* buffer, int32_t start, int32_t end, double high, double low);

// Repairs the half-wave around the run of `runLength` samples centred at
// `centre`, reading and writing only buffer[start .. end - 1].
void RepairClippedHalfWave(float* buffer, int32_t start, int32_t end, int32_t centre, int32_t runLength,
                           double high, double low);
