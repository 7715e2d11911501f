#include "TaviSemiOffline.h"

#include "BeatSliceFeatureGenerator.h"
#include "TaviOffline.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <stdexcept>

namespace tavi {

namespace {

constexpr int kPassEvery = 3;  // blocks; an intermediate pass starts only on such a block

// The inner recogniser reports to these; each passes the report on to the
// same entry of the outer table, when set.
TaviSemiOffline& outer(void* user)
{
    return *static_cast<TaviSemiOffline*>(user);
}

void forwardChord(int beat, int root, int type, int bass, int reserved, double confidence, void* user)
{
    TaviSemiOffline& t = outer(user);
    if (t.chordCallback)
        t.chordCallback(beat, root, type, bass, reserved, confidence, t.chordUser);
}

void forwardBar(int beat, int bar, int beatsPerBar, int beatUnit, double confidence, void* user)
{
    TaviSemiOffline& t = outer(user);
    if (t.barCallback)
        t.barCallback(beat, bar, beatsPerBar, beatUnit, confidence, t.barUser);
}

void forwardBeatPosition(int position, int beat, void* user)
{
    TaviSemiOffline& t = outer(user);
    if (t.beatPositionCallback)
        t.beatPositionCallback(position, beat, t.beatPositionUser);
}

void forwardBeat(int beat, int same, double confidence, void* user)
{
    TaviSemiOffline& t = outer(user);
    if (t.beatCallback)
        t.beatCallback(beat, same, confidence, t.beatUser);
}

void forwardKey(int beat, int key, int mode, double confidence, void* user)
{
    TaviSemiOffline& t = outer(user);
    if (t.keyCallback)
        t.keyCallback(beat, key, mode, confidence, t.keyUser);
}

// The end of an inner pass is not the end of the recording.
void ignoreEnd(int, void*)
{ }

void forwardBeatFeature(int beat, const float* values, int count, void* user)
{
    TaviSemiOffline& t = outer(user);
    if (t.beatFeatureCallback)
        t.beatFeatureCallback(beat, values, count, t.beatFeatureUser);
}

}  // namespace

TaviSemiOffline::TaviSemiOffline() = default;

TaviSemiOffline::~TaviSemiOffline() = default;

boost::shared_ptr<TaviOffline> TaviSemiOffline::createInner() const
{
    return boost::make_shared<TaviOffline>();
}

void TaviSemiOffline::connectInner()
{
    TaviOffline& in = *m_inner;
    in.chordCallback = forwardChord;
    in.barCallback = forwardBar;
    in.beatPositionCallback = forwardBeatPosition;
    in.beatCallback = forwardBeat;
    in.keyCallback = forwardKey;
    in.endCallback = ignoreEnd;
    in.beatFeatureCallback = forwardBeatFeature;
    in.chordUser = in.barUser = in.beatPositionUser = in.beatUser = in.keyUser = in.beatFeatureUser = this;
    in.endUser = nullptr;
}

uint32_t TaviSemiOffline::initialize(int first, const std::wstring& modelFolder, int blockSize,
                                     int maxBeatsPerBar)
{
    boost::shared_ptr<TaviOffline> inner = createInner();
    if (!inner)
        throw std::logic_error("TaviSemiOffline::initialize: no inner recogniser");
    m_inner = inner;
    connectInner();
    m_buffer.fill(0.0f);
    m_fill = 0;
    m_samplesSincePass = 0;
    const uint32_t status = m_inner->initialize(first, modelFolder, blockSize, maxBeatsPerBar);
    if (status == kTaviOk)
        m_initialized = 1;
    return status;
}

uint32_t TaviSemiOffline::setUpdateInterval(int x)
{
    const double blocks = std::trunc((x - 1.09) / 0.4923 * 1000.0);
    if (blocks <= kMinUpdateInterval)
        m_updateInterval = kMinUpdateInterval;
    else
        m_updateInterval = blocks >= INT_MAX ? INT_MAX : static_cast<int>(blocks);
    return kTaviOk;
}

uint32_t TaviSemiOffline::setParams(int level, int hypothesis, int meterType)
{
    if (!m_initialized)
        return kTaviNotInitialized;
    return m_inner->setParams(level, hypothesis, meterType);
}

void TaviSemiOffline::forwardBlock(const float* block)
{
    m_inner->pushData(block, kBlock);
    ++m_blockCount;
}

uint32_t TaviSemiOffline::pushData(const float* samples, unsigned count)
{
    if (!m_initialized)
        return kTaviNotInitialized;
    if (count > 0 && samples == nullptr)
        return kTaviInvalidParameter;

    size_t at = 0;
    const size_t n = count;
    if (m_fill > 0) {
        const size_t take = std::min(n, static_cast<size_t>(kBlock - m_fill));
        std::copy(samples, samples + take, m_buffer.begin() + m_fill);
        m_fill += static_cast<int>(take);
        at = take;
        if (m_fill < kBlock)
            return kTaviOk;
        forwardBlock(m_buffer.data());
        m_fill = 0;
    }
    const int64_t passAfter = static_cast<int64_t>(m_updateInterval) * kBlock;
    for (; n - at >= static_cast<size_t>(kBlock); at += kBlock) {
        forwardBlock(samples + at);
        m_samplesSincePass += kBlock;
        if (m_blockCount % kPassEvery == 0 && m_samplesSincePass > passAfter) {
            m_inner->decodePartial();
            m_samplesSincePass = 0;
        }
    }
    std::copy(samples + at, samples + n, m_buffer.begin());
    m_fill = static_cast<int>(n - at);
    return kTaviOk;
}

uint32_t TaviSemiOffline::finish()
{
    if (!m_initialized)
        return kTaviNotInitialized;
    const uint32_t status = m_inner->run();
    if (endCallback)
        endCallback(0, endUser);
    return status;
}

void TaviSemiOffline::reset()
{
    if (m_initialized) {
        m_inner->reset();
        m_inner->featureGenerator()->reset(false);
    }
    m_samplesSincePass = 0;
}

}  // namespace tavi
