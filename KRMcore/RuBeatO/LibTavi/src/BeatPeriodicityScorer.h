#pragma once
// Decides how tracked beats group into bars from how strongly a per-beat
// feature repeats: cell (r, c) of a small grid stands for groups of r
// tracked beats, c groups to a bar, and scores the periodicity at r beats
// plus the periodicity at r x c beats on top of a prior. The chord
// recogniser reads the winning cell as (meter type, beats per bar).
//
// Lifecycle: construct; optionally setKappa and setPrior; score a feature
// sequence; bestCell. score may be called again for another sequence.
#include "fft/CFft.h"

#include <Eigen/Dense>

#include <vector>

namespace tavi {

class BeatPeriodicityScorer : public CFft {
public:
    // size: the transform length in beats (a power of two; the recogniser
    // uses 1024). Beats past the first `size` are ignored.
    explicit BeatPeriodicityScorer(int size);

    // Sharpness of the period templates (100 at construction). A value of
    // 0 or less is ignored and the previous kappa kept.
    BeatPeriodicityScorer& setKappa(float kappa);
    // The log prior of every cell (R rows x C columns); the periodicity
    // vector then covers periods 0 .. (R + 1)(C + 1) - 1 beats.
    BeatPeriodicityScorer& setPrior(const Eigen::MatrixXd& prior);

    // Scores the cells from a sequence of per-beat vectors, all of the same
    // dimension: each dimension's magnitude spectrum (bins 0 to size / 2,
    // the last being a period of two beats) is weighted by one template
    // per period. Without a prior of R x C (none set yet), the prior becomes
    // a zero matrix of the template shape (4 x 5 at construction). An empty
    // sequence leaves the score equal to the prior. Cells with r x c of 17
    // or more keep their prior. Throws std::bad_alloc when the template
    // would not fit a 32-bit element count.
    void score(const std::vector<std::vector<double>>& beats);

    // The winning cell: r > 0 fixes the row (limited to R - 1), else rows
    // 1 .. R - 1 are searched; c > 0 fixes the column (limited to C - 1),
    // else columns 1 .. C - 1. Rows ascending, then columns; the first
    // strictly greatest score wins. When nothing beats -1e20, r and c keep
    // their start values (1 and 4 when searched).
    void bestCell(int& r, int& c) const;

    float kappa() const { return m_kappa; }
    const Eigen::MatrixXd& prior() const { return m_prior; }
    const Eigen::MatrixXd& scores() const { return m_score; }
    int templateRows() const { return m_templateRows; }
    int templateColumns() const { return m_templateColumns; }
    // Entry i: the strength of a period of i beats in the latest score.
    const std::vector<float>& periodicity() const { return m_periodicity; }

private:
    void buildTemplates(Eigen::MatrixXd& templates) const;

    Eigen::MatrixXd m_prior;
    Eigen::MatrixXd m_score;
    float m_kappa = 100.0f;
    int m_templateRows = 4;
    int m_templateColumns = 5;
    std::vector<float> m_periodicity;
};

}  // namespace tavi
