#pragma once
// Builders of small chord-model texts for the chord tests.
#include "JointHpcpPowPdf.h"
#include "ModelTextReaders.h"
#include "OfflineHmm.h"
#include "TaviHmmFactory.h"

#include <boost/shared_ptr.hpp>

#include <array>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace taviTest {

struct Component {
    double weight;
    double kappa;
    double logNormalizer;
    std::array<double, 12> mean;
};

inline std::string vectorText(const std::vector<double>& v)
{
    std::ostringstream out;
    out.precision(17);
    out << "[" << v.size() << "](";
    for (size_t i = 0; i < v.size(); ++i)
        out << (i ? "," : "") << v[i];
    out << ")";
    return out.str();
}

inline std::string mixtureText(const std::vector<Component>& comps)
{
    std::vector<double> w;
    for (const Component& c : comps)
        w.push_back(c.weight);
    std::ostringstream out;
    out.precision(17);
    out << vectorText(w) << "\n";
    for (const Component& c : comps)
        out << c.kappa << " " << c.logNormalizer << "\n"
            << vectorText(std::vector<double>(c.mean.begin(), c.mean.end())) << "\n";
    return out.str();
}

// A mean with `peak` at pitch class `at` and `rest` elsewhere.
inline std::array<double, 12> peaked(int at, double peak = 1.0, double rest = 0.0)
{
    std::array<double, 12> m;
    m.fill(rest);
    m[static_cast<size_t>(at)] = peak;
    return m;
}

inline boost::shared_ptr<tavi::JointHpcpPowPdf> pdfFrom(const std::vector<Component>& bass,
                                                        const std::vector<Component>& treble)
{
    auto pdf = boost::shared_ptr<tavi::JointHpcpPowPdf>(new tavi::JointHpcpPowPdf());
    std::istringstream in(mixtureText(bass) + mixtureText(treble));
    pdf->read(in);
    return pdf;
}

// Naive reference: log of sum_k w_k exp(kappa_k cos + L_k), cos 0 for a zero
// vector.
inline double naiveMixture(const std::vector<Component>& comps, const double* x)
{
    double sum = 0.0;
    for (const Component& c : comps) {
        double dot = 0.0, nm = 0.0, nx = 0.0;
        for (int i = 0; i < 12; ++i) {
            dot += c.mean[i] * x[i];
            nm += c.mean[i] * c.mean[i];
            nx += x[i] * x[i];
        }
        const double t = nm * nx > 0.0 ? c.kappa * dot / std::sqrt(nm * nx) + c.logNormalizer : 0.0;
        sum += c.weight * std::exp(t);
    }
    return std::log(sum);
}

// The built-in chord model with key and meter, loaded through the factory.
struct BuiltinModel {
    tavi::TaviPlainTextResourceStreamReader reader;
    std::unique_ptr<tavi::TaviHmm> hmm;
    int feature = -1;
    int status = -1;

    explicit BuiltinModel(int beatsPerBar = 4)
    {
        tavi::TaviHmmPlainTextFactory factory(reader);
        hmm.reset(factory.create(feature, true, 0, beatsPerBar));
        status = factory.status();
    }
    tavi::OfflineHmm& decoder() { return dynamic_cast<tavi::OfflineHmm&>(*hmm->decoder()); }
};

}  // namespace taviTest
