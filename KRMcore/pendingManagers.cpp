// Factories of the managers whose work is not part of this build yet: the
// time-stretch manager, the segmenter job and the onset analyser. Each
// returns a manager that keeps the settings it is given but refuses every
// piece of real work with a failure code and an error text, so that no
// caller mistakes a missing manager for a successful one.
#include "IF_onsetAnalyzer.h"
#include "IF_segmenter.h"
#include "IF_timeStretch.h"
#include "base/ResultCode.h"

#include <QDebug>

namespace {

// The error trio shared by the managers below.
class ErrorState {
public:
    explicit ErrorState(const char* unavailable) : unavailableText(unavailable) { }

    uint32_t refuse()
    {
        text = unavailableText;
        flag = 1;
        return krm::fail(1);
    }
    QString errorText() const { return text; }
    void clearError()
    {
        text.clear();
        flag = 0;
    }
    bool hasError() const { return flag != 0; }

private:
    QString unavailableText;
    QString text;
    uint8_t flag = 0;
};

class PendingTimeStretch : public IF_timeStretch {
public:
    // Storing the request is all this operation does; it cannot fail.
    uint32_t setInfo(const TimeStretchInfo& i) override
    {
        info = i;
        return krm::kOk;
    }
    uint32_t stretch(const std::vector<uint8_t>&, std::vector<uint8_t>&) override { return err.refuse(); }
    uint32_t stretchRange(const std::vector<uint8_t>&, std::vector<uint8_t>&,
                          const std::vector<uint32_t>&) override
    {
        return err.refuse();
    }
    uint32_t getEngineOutput(uint8_t&, std::vector<double>&) override { return err.refuse(); }

    QString errorText() override { return err.errorText(); }
    void clearError() override { err.clearError(); }
    bool hasError() override { return err.hasError(); }

private:
    ErrorState err {"time-stretch manager is not available in this build"};
    TimeStretchInfo info;
};

class PendingSegmenter : public IF_segmenter {
public:
    QObject* qobject() override { return this; }
    uint32_t run(const QString&, SegmenterTimeSig) override { return err.refuse(); }
    std::vector<SegmentEntry>& segments() override { return segs; }
    int setSegments(const std::vector<SegmentEntry>& entries) override
    {
        segs.assign(entries.begin(), entries.end());
        return static_cast<int>(segs.size());
    }
    void dump(std::vector<uint32_t>& out, uint32_t& num, uint32_t& den) override
    {
        out.clear();  // no run has produced an index list
        num = numerator;
        den = denominator;
        qDebug().noquote() << QString("number of information = %1 beat = %2 feature = %3 time sig. = %4/%5")
                                  .arg(0)
                                  .arg(0)
                                  .arg(0)
                                  .arg(numerator)
                                  .arg(denominator);
    }
    QString errorText() override { return err.errorText(); }
    void clearError() override { err.clearError(); }
    bool hasError() override { return err.hasError(); }
    void stop() override { stopRequest = 1; }
    void thruProgress(const unsigned char val) override { emit signalProgress(val); }

private:
    ErrorState err {"segmenter is not available in this build"};
    std::vector<SegmentEntry> segs;
    uint32_t numerator = 4;
    uint32_t denominator = 4;
    uint8_t stopRequest = 0;
};

class PendingOnsetAnalyzer : public IF_onsetAnalyzer {
public:
    uint32_t analyze(const QString&, uint32_t&, std::vector<float>&) override { return err.refuse(); }
    QString errorText() override { return err.errorText(); }
    void clearError() override { err.clearError(); }
    bool hasError() override { return err.hasError(); }

private:
    ErrorState err {"onset analyser is not available in this build"};
};

}  // namespace

IF_timeStretch* createTimeStretch()
{
    return new PendingTimeStretch();
}
IF_segmenter* createSegmenter()
{
    return new PendingSegmenter();
}
IF_onsetAnalyzer* createOnsetAnalyzer()
{
    return new PendingOnsetAnalyzer();
}
