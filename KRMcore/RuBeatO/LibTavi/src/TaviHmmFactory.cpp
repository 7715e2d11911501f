#include "TaviHmmFactory.h"

#include "JointHpcpPowPdf.h"
#include "BuiltinModelTexts.h"
#include "ModelTextReaders.h"
#include "OfflineHmm.h"

#include <sstream>
#include <string>

namespace tavi {

namespace {

constexpr size_t kMaxLineLength = 8191;
constexpr float kEmptySelfCount = 0.01f;

bool blank(const std::string& line)
{
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

}  // namespace

boost::shared_ptr<ITaviHmm> createOfflineHmm(int classes, int beatsPerBar, void*)
{
    return boost::shared_ptr<ITaviHmm>(new OfflineHmm(classes, beatsPerBar));
}

TaviHmmPlainTextFactory::TaviHmmPlainTextFactory(ITaviPlainTextStreamReader& reader, DecoderCreator creator,
                                                 void* user)
    : m_creator(std::move(creator)), m_user(user), m_reader(reader)
{
    buildBuiltinModelTexts();
}

// Lines "id index" up to the first blank line or the end of the text.
bool TaviHmmPlainTextFactory::loadChordList(TaviHmm& hmm)
{
    std::istream& in = m_reader.openChordListStream();
    if (!in.good())
        return false;
    std::vector<ChordListEntry> entries;
    std::string line;
    while (std::getline(in, line)) {
        if (blank(line))
            break;
        if (line.size() > kMaxLineLength)
            return false;
        std::istringstream fields(line);
        ChordListEntry e {};
        if (!(fields >> e.pdfId >> e.classIndex))
            return false;
        entries.push_back(e);
    }
    if (in.bad())
        return false;

    const int classes = static_cast<int>(entries.size());
    if (classes < 1 || classes > OfflineHmm::kMaxClasses)
        return false;
    std::vector<bool> covered(entries.size(), false);
    for (const ChordListEntry& e : entries) {
        if (e.classIndex < 0 || e.classIndex >= classes)
            return false;
        covered[static_cast<size_t>(e.classIndex)] = true;
    }
    for (bool c : covered) {
        if (!c)
            return false;  // a class with no line would have no density
    }
    hmm.setChordList(entries);
    return true;
}

bool TaviHmmPlainTextFactory::loadPdfs(const TaviHmm& hmm,
                                       std::vector<boost::shared_ptr<JointHpcpPowPdf>>& pdfs)
{
    const std::vector<int32_t>& table = hmm.classTable();
    for (size_t c = 0; c < table.size(); ++c) {
        if (table[c] < 0)
            return false;
        std::istream& in = m_reader.openPdfStream(std::to_string(table[c]));
        if (!in.good())
            return false;
        auto pdf = boost::shared_ptr<JointHpcpPowPdf>(new JointHpcpPowPdf());
        pdf->read(in);
        if (in.fail())
            return false;
        pdfs.push_back(pdf);
    }
    return true;
}

// Row 12 * fromClass + fromRoot, column 12 * toClass + toRoot. Counts at or
// below 0 add nothing, except on the diagonal, where every state keeps a
// small self transition.
bool TaviHmmPlainTextFactory::loadTransitions(const TaviHmm& hmm)
{
    ITaviHmm& decoder = *hmm.decoder();
    const int states = TaviHmm::kRoots * hmm.classCount();
    for (int m = 0; m < hmm.modes(); ++m) {
        for (int b = 0; b < hmm.beatsPerBar(); ++b) {
            std::istream& in = m_reader.openTransitionStream(m, b, hmm.beatsPerBar());
            if (!in.good())
                return false;
            for (int from = 0; from < states; ++from) {
                for (int to = 0; to < states; ++to) {
                    float count = 0.0f;
                    if (!(in >> count))
                        return false;
                    if (count > 0.0f)
                        decoder.addTransition(m, b, from, to, count);
                    else if (from == to)
                        decoder.addTransition(m, b, from, to, kEmptySelfCount);
                }
            }
        }
    }
    return true;
}

TaviHmm* TaviHmmPlainTextFactory::create(int& featureType, bool keyAndMeter, int, int beatsPerBar)
{
    auto* hmm = new TaviHmm(keyAndMeter, beatsPerBar);
    m_status = 1;
    if (!loadChordList(*hmm))
        return hmm;
    featureType = kFeatureType;

    std::vector<boost::shared_ptr<JointHpcpPowPdf>> pdfs;
    if (!loadPdfs(*hmm, pdfs))
        return hmm;

    boost::shared_ptr<ITaviHmm> decoder = m_creator(hmm->classCount(), hmm->beatsPerBar(), m_user);
    if (!decoder)
        return hmm;
    hmm->setDecoder(decoder);
    for (size_t c = 0; c < pdfs.size(); ++c)
        decoder->setObservationPdf(static_cast<int>(c), pdfs[c]);

    if (!loadTransitions(*hmm))
        return hmm;
    m_status = 0;
    return hmm;
}

}  // namespace tavi
