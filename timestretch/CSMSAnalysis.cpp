#include "CSMSAnalysis.h"

#include "SMSAnalysisParams.h"
#include "SMSBandFeatureAnalyzer.h"
#include "SMSRegion.h"
#include "SMSSpectrumAnalyzer.h"
#include "SoundFileStream.h"
#include "StretchAlloc.h"

#include <algorithm>
#include <cmath>

namespace {

template <typename T, typename... Args> std::unique_ptr<T> makeOrThrow(Args&&... args)
{
    T* p = new (std::nothrow) T(std::forward<Args>(args)...);
    if (!p)
        throw stretch::kAllocFailure;
    return std::unique_ptr<T>(p);
}

}  // namespace

CSMSAnalysis::CSMSAnalysis(SharedFft& fft, int32_t sampleRate, SMSAnalysisParams& params)
    : CSpectrum(fft),
      m_params(params),
      m_sampleRate(std::max(1, sampleRate)),
      m_halfSamplePeriod(1.0 / (2.0 * m_sampleRate))
{
    using P = SMSAnalysisParams;
    const double framesPerSecond = params.GetAnalysisParameter(P::FramesPerSecond);
    m_hopDuration = 1.0 / framesPerSecond;
    m_hop = std::max(1, static_cast<int32_t>(m_sampleRate / framesPerSecond + 0.5));
    const auto method = static_cast<int32_t>(params.GetAnalysisParameter(P::SpectrumMethod));
    const double windowHops = params.GetAnalysisParameter(P::WindowHops);
    const bool features = params.GetAnalysisParameter(P::BandFeatures) != 0.0;

    int64_t ring = static_cast<int64_t>(m_sampleRate * 0.5);
    if (method == P::kTransformMethod)
        ring += static_cast<int64_t>(m_hop * windowHops);
    else if (method != 0)
        ring += m_hop;
    stretch::resizeOrThrow(m_ring, static_cast<size_t>(ring));
    stretch::resizeOrThrow(m_silence, static_cast<size_t>(m_hop));

    int32_t slots = 1 + (params.GetAnalysisParameter(P::ExtraSlot) == 1.0 ? 1 : 0) +
                    (method != P::kTransformMethod ? 1 : 0);
    if (features)
        slots = std::max(slots - 1, SMSBandFeatureAnalyzer::kHistoryDepth) + 1;
    stretch::resizeOrThrow(m_slots, static_cast<size_t>(slots));
    for (auto& slot : m_slots)
        slot = makeOrThrow<SMSFrame>();

    m_spectrum = makeOrThrow<SMSSpectrumAnalyzer>(fft, params, m_sampleRate, m_ring.data(), BufferLength());
    if (features)
        m_features = makeOrThrow<SMSBandFeatureAnalyzer>(fft, m_sampleRate, m_ring.data(), BufferLength());

    // The look-ahead window of the reference frequency, in samples (odd),
    // kept within a quarter of a second so that it always fits the buffer.
    m_referenceFrequency = static_cast<float>(params.GetAnalysisParameter(P::ReferenceFrequency, 0.0));
    const double periods = params.GetAnalysisParameter(P::WindowPeriods, m_referenceFrequency / 1000.0);
    double size = m_referenceFrequency > 0.0f ? periods / m_referenceFrequency * m_sampleRate + 1.0
                                              : m_sampleRate * periods + 1.0;
    size = std::min(size, m_sampleRate * 0.25);
    m_lookAheadWindow = static_cast<int32_t>(size);
    if (m_lookAheadWindow % 2 == 0)
        m_lookAheadWindow -= 1;
}

CSMSAnalysis::~CSMSAnalysis() = default;

double CSMSAnalysis::TimeReceived() const
{
    return static_cast<double>(m_samplesReceived) / m_sampleRate;
}

double CSMSAnalysis::FrameTime() const
{
    return static_cast<double>(m_frameIndex) * m_hopDuration;
}

SMSFrame& CSMSAnalysis::Slot(int32_t age)
{
    return *m_slots[static_cast<size_t>((m_oldest + age) % SlotCount())];
}

void CSMSAnalysis::Restart()
{
    std::fill(m_ring.begin(), m_ring.end(), 0.0f);
    m_writePosition = 0;
    m_readPosition = 0;
    m_samplesReceived = 0;
    m_ended = false;
    m_silenceBlocks = 0;
    m_frameIndex = 0;
    m_oldest = 0;
    for (auto& slot : m_slots) {
        slot->SetTime(-1.0);
        slot->Release(SMSFrame::kAllParts, true);
    }
    m_handedOver.reset();
    if (m_features)
        m_features->Reset();
}

int CSMSAnalysis::PutSamples(const float* samples, int32_t n)
{
    if (!samples || n <= 0)
        return 0;
    const int32_t length = BufferLength();
    for (int32_t done = 0; done < n;) {
        const int32_t piece = std::min(n - done, length - m_writePosition);
        std::copy(samples + done, samples + done + piece, m_ring.begin() + m_writePosition);
        done += piece;
        m_writePosition = (m_writePosition + piece) % length;
    }
    m_samplesReceived += n;
    return 0;
}

void CSMSAnalysis::AppendSilence(int32_t n)
{
    PutSamples(m_silence.data(), n);
}

double CSMSAnalysis::NeededTime() const
{
    const double t = FrameTime();
    double needed = std::max(t + m_lookAheadWindow * m_halfSamplePeriod, t + 0.5 * m_hopDuration);
    if (m_features)
        needed = std::max(needed, t + m_features->FrameLength() * m_halfSamplePeriod);
    const SMSFrame& oldest = *m_slots[static_cast<size_t>(m_oldest)];
    if (oldest.Time() != -1.0)
        needed = std::max(needed, oldest.Time() + m_spectrum->AnalysisWindowLength() * m_halfSamplePeriod);
    return needed;
}

int CSMSAnalysis::FrameReady() const
{
    return (m_ended || TimeReceived() >= NeededTime()) ? 1 : 0;
}

int CSMSAnalysis::AnalyzeFrame()
{
    const int32_t slots = SlotCount();
    SMSFrame& newest = Slot(slots - 1);
    newest.SetTime(FrameTime());
    const double needed = NeededTime();
    if (TimeReceived() < needed) {
        if (!m_ended)
            return 1;
        while (TimeReceived() < needed) {
            AppendSilence(m_hop);
            ++m_silenceBlocks;
        }
    }
    const int32_t length = BufferLength();
    m_readPosition = static_cast<int32_t>((m_frameIndex * m_hop) % length);
    if (m_features) {
        newest.Allocate(SMSFrame::Features, 0, false);
        m_features->ComputeBandValues(newest, m_readPosition);
    }
    SMSFrame& oldest = Slot(0);
    if (oldest.Time() != -1.0) {
        const int64_t index = m_frameIndex - (slots - 1);
        m_spectrum->SetReadPosition(static_cast<int32_t>((index * m_hop) % length));
        m_spectrum->Analyze(oldest);
        if (m_features && oldest.Has(SMSFrame::Features)) {
            const SMSFrame* later[SMSBandFeatureAnalyzer::kHistoryDepth];
            for (int32_t k = 1; k <= SMSBandFeatureAnalyzer::kHistoryDepth; ++k)
                later[k - 1] = &Slot(k);
            m_features->ComputeSlopes(oldest, later);
        }
        std::unique_ptr<SMSFrame> empty = makeOrThrow<SMSFrame>();
        m_handedOver = std::move(m_slots[static_cast<size_t>(m_oldest)]);
        m_slots[static_cast<size_t>(m_oldest)] = std::move(empty);
    } else {
        oldest.Release(SMSFrame::kAllParts, true);
    }
    m_oldest = (m_oldest + 1) % slots;
    ++m_frameIndex;
    return 0;
}

std::unique_ptr<SMSFrame> CSMSAnalysis::TakeFrame()
{
    return std::move(m_handedOver);
}

int CSMSAnalysis::NewRegion()
{
    if (!m_regions)
        return 3;
    m_regions->NewRegion();
    return 0;
}

int CSMSAnalysis::StoreFrame(std::unique_ptr<SMSFrame>& frame)
{
    return m_regions ? m_regions->StoreFrame(frame) : 3;
}

int CSMSAnalysis::ExtendRegion()
{
    if (!m_regions)
        return 3;
    m_regions->ExtendLast(m_hopDuration);
    return 0;
}

int CSMSAnalysis::AnalyzeStream(SoundFileStream* stream, SMSAnalysisData& data)
{
    if (!stream)
        return 2;
    Restart();
    m_regions = nullptr;
    try {
        auto channel = makeOrThrow<SMSChannelData>();
        auto list = makeOrThrow<SMSRegionList>();
        list->SetHopDuration(m_hopDuration);
        list->NewRegion();
        SMSRegionList* regions = list.get();
        if (channel->Insert(-1, std::move(list)) != 0 || data.Insert(-1, std::move(channel)) != 0)
            return -1;
        m_regions = regions;
    } catch (int) {
        return -1;
    }

    const int64_t frames = stream->Length();
    m_params.SetTimeMode(SMSAnalysisParams::Seconds);
    m_params.SetDuration(static_cast<double>(frames) / m_sampleRate);
    if (frames < 2)
        return 0;
    const double from = m_params.GetAnalysisParameter(SMSAnalysisParams::StartFraction);
    const double to = m_params.GetAnalysisParameter(SMSAnalysisParams::EndFraction);
    const int64_t start = std::min(frames - 2, std::max<int64_t>(0, static_cast<int64_t>(frames * from)));
    const int64_t end = std::min(frames - 1, std::max(start + 1, static_cast<int64_t>(frames * to)));
    const int64_t stop = end + static_cast<int64_t>(SlotCount() + 1) * m_hop;

    std::vector<float> block(kStreamBlock);
    int64_t position = start;
    while (position <= stop) {
        if (!m_ended) {
            const auto n = static_cast<int32_t>(std::min<int64_t>(kStreamBlock, end + 1 - position));
            stream->Read(block.data(), n, static_cast<int32_t>(position));
            PutSamples(block.data(), n);
        }
        const int64_t silenceBefore = m_silenceBlocks;
        // Before the end every ready frame is analysed; after it one frame
        // per step, zeros being appended as it needs them.
        do {
            if (AnalyzeFrame() != 0)
                break;
            if (std::unique_ptr<SMSFrame> frame = TakeFrame())
                StoreFrame(frame);
        } while (!m_ended);
        position += m_ended ? (m_silenceBlocks - silenceBefore) * m_hop : kStreamBlock;
        if (position > end)
            m_ended = true;
    }
    ExtendRegion();
    return 0;
}
