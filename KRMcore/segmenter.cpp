#include "segmenter.h"

#include "base/ResultCode.h"
#include "base/WavSeekerSeq.h"
#include "Segmenter/SectionSegmenter.h"

#include <QDebug>

SegmenterWriter::SegmenterWriter(uint32_t* numerator, uint32_t* denominator, const std::atomic<uint8_t>* stop,
                                 RkMir::IProgress* listener)
    : m_numerator(numerator), m_denominator(denominator), m_stop(stop), m_listener(listener)
{ }

void SegmenterWriter::notify()
{
    if (m_listener)
        m_listener->notify();
}

void SegmenterWriter::progress(unsigned char percent)
{
    m_latest = percent;
    emit signalProgress(percent);
    if (m_listener)
        m_listener->progress(percent);
    if (m_stop)
        abortRequest = m_stop->load();
}

void SegmenterWriter::chord(const RkMir::ChordEvent* event)
{
    if (m_listener)
        m_listener->chord(event);
}

void SegmenterWriter::timeSignature(const RkMir::BarEvent* event)
{
    if (!event)
        return;
    *m_numerator = static_cast<uint32_t>(event->beatsPerBar);
    *m_denominator = static_cast<uint32_t>(event->beatUnit);
    if (m_listener)
        m_listener->timeSignature(event);
}

void SegmenterWriter::beatPosition(const RkMir::BeatPositionEvent* event)
{
    if (m_listener)
        m_listener->beatPosition(event);
}

void SegmenterWriter::beatTime(const RkMir::BeatEvent* event)
{
    if (m_listener)
        m_listener->beatTime(event);
}

void SegmenterWriter::key(const RkMir::KeyEvent* event)
{
    if (m_listener)
        m_listener->key(event);
}

void SegmenterWriter::segment(const RkMir::SegmentRecord* record)
{
    if (m_listener)
        m_listener->segment(record);
}

MeterHint meterHintFor(const SegmenterTimeSig& ts)
{
    const int num = ts.numerator;
    if (ts.given == 1) {
        if (ts.denominator == 4 && num >= 2 && num <= 4)
            return {num, 0, -1, 2};
        if (ts.denominator == 8 && (num == 6 || num == 9 || num == 12))
            return {num / 3, 0, -1, 3};
    }
    return {-1, 0, -1, -1};
}

segmenter::segmenter(SectionSegmenterFactory makeEngine) : m_makeEngine(std::move(makeEngine))
{ }

uint32_t segmenter::run(const QString& path, SegmenterTimeSig ts)
{
    // Nothing of an earlier run survives this one, also when it fails: the
    // analysis worker runs one job over every file of a batch, and a
    // failed file must not get the previous file's beats or meter.
    m_segments.clear();
    m_beatTimes.clear();
    m_numerator = ts.numerator;
    m_denominator = ts.denominator;
    if (!m_makeEngine) {
        m_error.setError("segmenter is not available in this build");
        return krm::fail(1);
    }
    // A stop asked for an earlier run must not end this one.
    m_stop.store(0);

    WavSeekerSeq source(path);
    std::unique_ptr<ISectionSegmenter> engine = m_makeEngine();
    engine->setHyperParameterC(0.01);
    engine->setPriors(1.0, 0.01, 0.01);
    engine->setNdim(5);
    engine->setHyperParameterB(0.1);
    engine->setHyperParameterA(0.9);
    engine->setEstimatorSizeA(20);
    engine->setEstimatorSizeC(5);

    // The meter words start from the caller's bytes (above) and are
    // overwritten when the analysis reports the meter it detected.
    const MeterHint hint = meterHintFor(ts);
    engine->setTimeSignature(hint.w1, hint.w2, hint.w3, hint.w4);

    // Queued onto the job's thread when the analysis runs on another one.
    SegmenterWriter writer(&m_numerator, &m_denominator, &m_stop, m_listener);
    connect(&writer, &SegmenterWriter::signalProgress, this, &segmenter::thruProgress, Qt::AutoConnection);
    engine->setProgress(&writer);
    engine->analyze(source);

    std::vector<float> beatTimes = engine->getGeneratorIndices();
    const std::vector<RkMir::SegmentRecord> records = engine->getSegments();
    std::vector<SegmentEntry> entries;
    entries.reserve(records.size());
    for (const RkMir::SegmentRecord& r : records)
        entries.push_back({15, r.start, r.end, r.label});
    m_beatTimes.swap(beatTimes);
    m_segments.swap(entries);
    return krm::kOk;
}

int segmenter::setSegments(const std::vector<SegmentEntry>& entries)
{
    m_segments.assign(entries.begin(), entries.end());
    return static_cast<int>(m_segments.size());
}

void segmenter::dump(std::vector<float>& out, uint32_t& numerator, uint32_t& denominator)
{
    out = m_beatTimes;
    numerator = m_numerator;
    denominator = m_denominator;
    qDebug().noquote() << QString("number of information = %1 beat = %2 feature = %3 time sig. = %4/%5")
                              .arg(m_information.size())
                              .arg(m_beats.size())
                              .arg(m_features.size())
                              .arg(m_numerator)
                              .arg(m_denominator);
}

IF_segmenter* createSegmenter()
{
    return new segmenter([] { return std::make_unique<LibrarySegmenter<SectionSegmenter>>(); });
}
