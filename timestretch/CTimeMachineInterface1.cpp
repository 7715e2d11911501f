#include "CTimeMachineInterface1.h"

#include "ChannelThreads.h"
#include "SignalContinuation.h"
#include "StretchAlloc.h"
#include "StretchMath.h"
#include "VectorMath.h"

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

using P = TimeScaleParameterBlock;
using A = SMSAnalysisParams;

constexpr double kTolerance = 1e-8;
constexpr double kWhole = CEnvelope::kWholeEnvelope;
// How far a mark of the attack analysis lies before its hit: two to three
// frames of the pre-analysis (frames of 256 samples at 44100 Hz).
constexpr double kMarkLeadSeconds = 2.5 * 256.0 / 44100.0;
// The analysis never runs further than this past the input's end.
constexpr double kRunOutSeconds = 2.0;
// The continuation past the input's end: predicted by an all-pole model of
// this order fitted to the input's last window.
constexpr int32_t kContinuationOrder = 32;

// Frees a block that a stream's Read copied.
struct BlockGuard {
    float* block = nullptr;
    int copied = 0;
    ~BlockGuard()
    {
        if (copied == 1)
            SoundFileStream::FreeSamples(block);
    }
};

bool supportedRate(double rate)
{
    return rate == 44100.0 || rate == 22050.0 || rate == 11025.0;
}

int32_t clampToInt32(double v)
{
    if (!(v > 0.0))
        return 0;
    return static_cast<int32_t>(std::min(v, static_cast<double>(std::numeric_limits<int32_t>::max())));
}

// Copies `n` samples from `in` to `out`, each run of non-finite samples
// replaced by the straight line between the finite samples around it (the
// one finite neighbour held at an edge; silence where there is none).
void bridgeNonFinite(const float* in, float* out, int32_t n)
{
    int32_t k = 0;
    while (k < n) {
        if (std::isfinite(in[k])) {
            out[k] = in[k];
            ++k;
            continue;
        }
        int32_t end = k;
        while (end < n && !std::isfinite(in[end]))
            ++end;
        const bool hasBefore = k > 0, hasAfter = end < n;
        const float before = hasBefore ? out[k - 1] : (hasAfter ? in[end] : 0.0f);
        const float after = hasAfter ? in[end] : before;
        const float step = (after - before) / static_cast<float>(end - k + 1);
        for (int32_t i = k; i < end; ++i)
            out[i] = before + step * static_cast<float>(i - k + 1);
        k = end;
    }
}

}  // namespace

CTimeMachineInterface1::CTimeMachineInterface1() = default;

CTimeMachineInterface1::~CTimeMachineInterface1()
{
    Finalize();
}

int CTimeMachineInterface1::SetParameter(int code, double value, double time)
{
    return m_parameters.SetParameter(code, value, time);
}

void CTimeMachineInterface1::CreateStreams()
{
    for (int c = 0; c < 2; ++c) {
        if (c == 1 && m_map->mono)
            break;
        auto stream = std::unique_ptr<SoundFileStream>(new (std::nothrow) SoundFileStream);
        if (!stream)
            throw stretch::kAllocFailure;
        stream->SetSampleRate(static_cast<int32_t>(m_sampleRate));
        stream->SetChannels(1);
        float* samples = c == 0 ? m_io->inputLeft : m_io->inputRight;
        // A sample that is not a number, or an infinity, would spread
        // through every analysis window and every filter it meets into
        // full-scale output; it is bridged from its finite neighbours
        // instead, which a zero in the middle of a sound would not be (a
        // click that the stretch rings out past the input's range).
        // The scan is one pass over the input, far below the analysis.
        if (samples && !stretch::allFinite(samples, m_inputFrames)) {
            std::vector<float>& finite = m_finiteInputs[static_cast<size_t>(c)];
            stretch::resizeOrThrow(finite, static_cast<size_t>(m_inputFrames));
            bridgeNonFinite(samples, finite.data(), m_inputFrames);
            samples = finite.data();
        }
        stream->Attach(samples, m_inputFrames);
        m_inputs[static_cast<size_t>(c)] = std::move(stream);
    }
}

int CTimeMachineInterface1::CreateAnalysisParams()
{
    const double framesPerSecond = m_sampleRate / m_hop;
    for (int32_t b = 0; b < m_bandCount; ++b) {
        auto params = std::unique_ptr<SMSAnalysisParams>(new (std::nothrow) SMSAnalysisParams);
        if (!params)
            throw stretch::kAllocFailure;
        params->SetSampleRate(static_cast<float>(m_sampleRate));
        const auto set = [&](int code, double value) {
            params->SetAnalysisParameter(code, static_cast<float>(value), kWhole);
        };
        set(58, 2.0);
        set(23, 0.0);
        set(2, m_bandEdges[static_cast<size_t>(b)]);
        set(0, 0.0);
        set(4, 0.0);
        set(A::SpectrumMethod, 4.0);
        set(A::FramesPerSecond, framesPerSecond);
        set(A::BandFeatures, 0.0);
        set(12, 1300.0);
        set(A::ReferenceFrequency, 1400.0);
        set(14, 1500.0);
        set(20, 0.0);
        set(3, -100.0);
        set(A::WindowHops, m_parameters.GetParameter(P::BandWindowFactor, b));
        set(A::WindowType, m_parameters.GetParameter(P::BandWindowType, b));
        params->SetTimeMode(A::Seconds);
        m_analysisParams[static_cast<size_t>(b)] = std::move(params);
    }
    return 0;
}

int CTimeMachineInterface1::CopyBandParameters()
{
    for (int32_t b = 0; b < m_bandCount; ++b) {
        auto copy = std::unique_ptr<TimeScaleParameterBlock>(new (std::nothrow) TimeScaleParameterBlock);
        if (!copy)
            throw stretch::kAllocFailure;
        m_parameters.CopyTo(*copy);
        const double factor =
            std::min(64.0, std::max(1.0, m_parameters.GetParameter(P::BandWindowFactor, b)));
        const double type = std::min(12.0, std::max(0.0, m_parameters.GetParameter(P::BandWindowType, b)));
        copy->SetParameter(P::WindowFactor, factor, kWhole);
        copy->SetParameter(P::WindowType, type, kWhole);
        if (b == 0) {
            copy->SetParameter(P::SampleRate,
                               std::min(44100.0, std::max(10000.0, m_sampleRate / m_decimation)), kWhole);
            const double hop = std::min(65536.0, std::max(4.0, static_cast<double>(m_hop / m_decimation)));
            copy->SetParameter(
                P::Hop, static_cast<double>(stretch::largestPowerOfTwoAtMost(static_cast<int64_t>(hop))),
                kWhole);
            copy->SetDuration(m_inputSeconds);
        }
        m_bandParameters[static_cast<size_t>(b)] = std::move(copy);
    }
    return 0;
}

int CTimeMachineInterface1::Initialize()
{
    if (!m_map || !m_io)
        return 2;
    const uint32_t mode = m_map->mode;
    if (mode > 5)
        return 2;
    const bool split = mode == 0;
    const int32_t bands = (mode == 3 || mode == 5) ? 1 : 2;
    const double rate = m_io->sampleRate;
    if (!supportedRate(rate))
        return 2;
    if (!m_io->inputLeft || m_io->inputFrames < 1 || (!m_map->mono && !m_io->inputRight))
        return 2;
    if (m_map->segmentCount < 1 || !m_map->ratios || (m_map->segmentCount > 1 && !m_map->startFractions))
        return 2;
    m_sampleRate = rate;
    m_bitsPerSample = m_io->bitsPerSample;
    m_inputFrames = m_io->inputFrames;
    m_inputSeconds = m_inputFrames / m_sampleRate;
    m_bandCount = bands;
    m_decimation = 1;
    if (split)
        m_decimation = rate == 44100.0 ? 4 : (rate == 22050.0 ? 2 : 1);
    stretch::resizeOrThrow(m_bandEdges, static_cast<size_t>(bands));
    if (bands == 2) {
        m_bandEdges[0] = rate / 2.0 / m_decimation;
        m_bandEdges[1] = rate / 2.0;
    } else {
        m_bandEdges[0] = rate / 2.0;
    }
    for (int32_t b = 0; b < bands; ++b)
        m_edgesAsFloat[static_cast<size_t>(b)] = static_cast<float>(m_bandEdges[static_cast<size_t>(b)]);

    const auto release = [&]() {
        m_inputs[0].reset();
        m_inputs[1].reset();
        m_bandEdges.clear();
    };
    CreateStreams();
    const auto count = static_cast<int32_t>(m_map->segmentCount);
    int rc = m_parameters.ApplyPreset(mode, count, m_map->ratios, m_map->startFractions, bands, rate,
                                      m_inputSeconds);
    if (rc != 0) {
        release();
        return rc;
    }
    m_hop = static_cast<int32_t>(m_parameters.GetParameter(P::Hop));
    m_hopDuration = m_hop / m_sampleRate;

    // Room for the output: the input's length stretched along the map.
    for (int32_t i = 0; i < count; ++i) {
        if (std::isnan(m_map->ratios[i])) {
            release();
            return -2;
        }
    }
    if (count == 1) {
        m_outputCapacity = clampToInt32(stretch::truncNearWhole(m_inputFrames * m_map->ratios[0] + 1000.0));
    } else {
        double seconds = 0.0;
        for (double t = 0.0; t < m_inputSeconds; t += m_hopDuration) {
            const double factor = m_parameters.GetParameter(P::StretchFactor, t);
            if (std::isnan(factor)) {
                release();
                return -2;
            }
            seconds += m_hopDuration * factor;
        }
        m_outputCapacity = clampToInt32(std::trunc(m_sampleRate * seconds + 6000.0));
    }

    CreateAnalysisParams();
    for (int32_t b = 0; b < bands; ++b) {
        const auto bandRate = static_cast<int32_t>(2.0 * m_bandEdges[static_cast<size_t>(b)]);
        for (int c = 0; c < 2; ++c) {
            auto* analyser = new (std::nothrow) CSMSAnalysis(m_ffts[static_cast<size_t>(c)], bandRate,
                                                             *m_analysisParams[static_cast<size_t>(b)]);
            if (!analyser)
                throw stretch::kAllocFailure;
            m_analysers[static_cast<size_t>(c)][static_cast<size_t>(b)].reset(analyser);
        }
    }
    CopyBandParameters();
    for (int c = 0; c < 2; ++c) {
        for (int32_t b = 0; b < bands; ++b) {
            auto* frame = new (std::nothrow) SMSFrame;
            if (!frame)
                throw stretch::kAllocFailure;
            m_work[static_cast<size_t>(c)][static_cast<size_t>(b)].reset(frame);
        }
    }
    for (int c = 0; c < 2; ++c) {
        for (int32_t b = 0; b < bands; ++b) {
            TimeScaleParameterBlock& block = *m_bandParameters[static_cast<size_t>(b)];
            block.SetParameter(P::RangeCount, (c == 0 && b == 0) ? std::min(32, std::max(0, bands)) : 0,
                               kWhole);
            auto* stretcher =
                new (std::nothrow) BandStretcher(m_ffts[static_cast<size_t>(c)], block,
                                                 &m_outputs[static_cast<size_t>(c)][static_cast<size_t>(b)]);
            if (!stretcher)
                throw stretch::kAllocFailure;
            m_stretchers[static_cast<size_t>(c)][static_cast<size_t>(b)].reset(stretcher);
        }
    }
    // An output frame sounds its source frame's input one hop either side
    // of it (analysis frame j lies at j hops): later frames than the last
    // one with input a hop past it would sound the silence after the end.
    const int32_t lastWholeFrame = std::max(0, m_inputFrames / m_hop - 1);
    m_stretchers[0][0]->SetLatestSourceTime(static_cast<double>(lastWholeFrame) * m_hopDuration);
    m_expectedFrames = ExpectedFrames();

    m_blockSize = static_cast<int32_t>(m_sampleRate / 44100.0 * 512.0);
    m_readPosition = 0;
    m_historyLength = static_cast<uint32_t>(0.4 / m_hopDuration + 1.0);
    if (m_historyLength % 2 == 0)
        m_historyLength -= 1;
    for (AttackMarks& marks : m_marks) {
        marks = AttackMarks();
        marks.historyLength = m_historyLength;
        marks.bandCount = static_cast<uint32_t>(bands);
        marks.lastMarkTime = -1.0;
    }

    m_attackMarksOn = static_cast<int32_t>(m_parameters.GetParameter(P::AttackMarksOn, 0.0));
    if (m_attackMarksOn) {
        const bool stereo = !m_map->mono;
        rc = MarkAttacks(m_ffts[0], m_sampleRate, m_bandEdges[0], m_parameters, m_hop, *m_inputs[0],
                         stereo ? m_inputs[1].get() : nullptr, m_marks[0], stereo ? &m_marks[1] : nullptr,
                         m_attackData, stereo ? &m_ffts[1] : nullptr);
        if (rc != 0) {
            Finalize();
            return -1;
        }
        // The marks hold what they need of the pre-analysis: its frames go
        // now, and the memory serves the stretch.
        m_attackData = SMSAnalysisData();
        // A mark lies two to three analysis frames before the hit it stands
        // for; the stretcher places a mark's time at its stretched
        // time, so it gets the rise's time (on the hop grid).
        const double lead = std::round(kMarkLeadSeconds / m_hopDuration) * m_hopDuration;
        for (int c = 0; c < (stereo ? 2 : 1); ++c) {
            AttackMarks& marks = m_marks[static_cast<size_t>(c)];
            for (int32_t i = 0; i < marks.count; ++i)
                marks.times[static_cast<size_t>(i)] += lead;
        }
    }
    return 0;
}

void CTimeMachineInterface1::FreeFrameHistory()
{
    for (History& history : m_history) {
        const size_t rows = history.size();
        for (size_t r = 0; r < rows; ++r) {
            for (size_t b = 0; b < history[r].size(); ++b) {
                SMSFrame* frame = history[r][b];
                // Neighbouring rows may hold the same frame: the last one frees it.
                if (r + 1 < rows && b < history[r + 1].size() && history[r + 1][b] == frame)
                    continue;
                delete frame;
            }
        }
        history.clear();
    }
    for (AttackMarks& marks : m_marks)
        marks.history = nullptr;
    m_historyStarted = false;
}

void CTimeMachineInterface1::ForgetCurrentFrames()
{
    for (auto& channel : m_current) {
        for (auto& frame : channel)
            frame.reset();
    }
}

void CTimeMachineInterface1::Finalize()
{
    FreeFrameHistory();
    ForgetCurrentFrames();
    for (int c = 0; c < 2; ++c) {
        m_chunks[static_cast<size_t>(c)] = AnalysedChunk();
        m_synthesis[static_cast<size_t>(c)] = SynthesisQueue();
        for (int32_t b = 0; b < kMaxBands; ++b) {
            m_stretchers[static_cast<size_t>(c)][static_cast<size_t>(b)].reset();
            m_outputs[static_cast<size_t>(c)][static_cast<size_t>(b)].reset();
            m_analysers[static_cast<size_t>(c)][static_cast<size_t>(b)].reset();
            m_work[static_cast<size_t>(c)][static_cast<size_t>(b)].reset();
        }
        m_inputs[static_cast<size_t>(c)].reset();
        m_finiteInputs[static_cast<size_t>(c)] = std::vector<float>();
    }
    for (auto& params : m_analysisParams)
        params.reset();
    for (auto& block : m_bandParameters)
        block.reset();
    for (AttackMarks& marks : m_marks)
        marks = AttackMarks();
    m_attackData = SMSAnalysisData();
    m_bandEdges.clear();
    ReleaseBlockBuffers();
}

void CTimeMachineInterface1::ReleaseBlockBuffers()
{
    for (int c = 0; c < 2; ++c) {
        m_decimated[static_cast<size_t>(c)].clear();
        m_decimated[static_cast<size_t>(c)].shrink_to_fit();
        m_decimators[static_cast<size_t>(c)].reset();
        m_continuations[static_cast<size_t>(c)] = std::vector<float>();
    }
}

int CTimeMachineInterface1::PrepareBlockLoop()
{
    const int channels = Channels();
    for (int c = 0; c < channels; ++c) {
        stretch::resizeOrThrow(m_decimated[static_cast<size_t>(c)], static_cast<size_t>(m_blockSize + 100));
        auto* decimator = new (std::nothrow) CPolyphaseMultiRateProcessing(
            CPolyphaseMultiRateProcessing::Decimation, m_decimation, m_sampleRate);
        if (!decimator)
            throw stretch::kAllocFailure;
        m_decimators[static_cast<size_t>(c)].reset(decimator);
    }
    PrepareContinuations();
    for (int c = 0; c < channels; ++c) {
        for (int32_t b = 0; b < m_bandCount; ++b) {
            SoundFileStream* stream = m_outputs[static_cast<size_t>(c)][static_cast<size_t>(b)].get();
            if (stream && stream->Allocate(m_outputCapacity) != 0)
                return 1;
        }
    }
    return 0;
}

void CTimeMachineInterface1::Process(StretchMap* map, StretchIo* io)
{
    if (!map || !io)
        return;
    m_map = map;
    m_io = io;
    m_analysisTime = 0.0;
    m_outputTime = 0.0;
    int rc = Initialize();
    if (rc != 0) {
        Finalize();
        io->error = rc;
        return;
    }
    if (PrepareBlockLoop() != 0) {
        Finalize();
        io->error = 1;
        return;
    }
    RunBlockLoop();
    if (m_decimation != 1 &&
        stretch::RunPerChannel(Channels(), [this](int c) { return RestoreLowBand(c); }) != 0) {
        Finalize();
        io->error = 1;
        return;
    }
    FreeFrameHistory();
    Recombine();

    const int32_t expected = m_expectedFrames;
    const bool stereo = !m_map->mono;
    float* left = TakeOutput(m_outputs[0][0].get(), expected);
    float* right = stereo ? TakeOutput(m_outputs[1][0].get(), expected) : nullptr;
    if (!left || (stereo && !right)) {
        SoundFileStream::FreeSamples(left);
        SoundFileStream::FreeSamples(right);
        Finalize();
        io->error = 1;
        return;
    }
    io->outputFrames = expected;
    io->bitsPerSample = m_bitsPerSample;
    io->sampleRate = m_sampleRate;
    io->outputLeft = left;
    if (stereo)
        io->outputRight = right;
    ReleaseBlockBuffers();
    Finalize();
    io->error = 0;
}

// The input goes through in chunks of blocks. For each chunk both channels
// (each on its own thread) first synthesise the output frames that the
// last chunk left queued, then read and analyse the chunk's blocks; then
// the caller's thread takes the analysed frames block by block, exactly as
// if each block had been analysed on its own, and builds the output frames
// (the stretchers' joint step with the channel link), queueing their
// synthesis. The end test runs after every block, as the output's length
// will be once the queue is synthesised; the frames analysed past the
// block that ends the loop are dropped.
void CTimeMachineInterface1::RunBlockLoop()
{
    constexpr int32_t kChunkBlocks = 32;
    const int channels = Channels();
    const double lastRead = m_inputFrames + kRunOutSeconds * m_sampleRate;
    for (bool done = false; !done;) {
        int32_t blocks = 1;
        while (blocks < kChunkBlocks &&
               static_cast<double>(m_readPosition) + static_cast<double>(blocks) * m_blockSize <= lastRead)
            ++blocks;
        stretch::RunPerChannel(channels, [&](int c) {
            SynthesizeQueued(c);
            AnalyseChunk(c, blocks);
            return 0;
        });
        for (int32_t block = 0; block < blocks && !done; ++block) {
            UseChunkFrames(block);
            m_readPosition += m_blockSize;
            done = ShouldStop() || m_readPosition > lastRead;
        }
        for (AnalysedChunk& chunk : m_chunks)
            chunk = AnalysedChunk();
    }
    stretch::RunPerChannel(channels, [&](int c) {
        SynthesizeQueued(c);
        return 0;
    });
}

// Reads one channel's blocks of the chunk from the read position on, feeds
// its analysers and analyses every frame that becomes ready after each
// block (as long as each band hands one over).
void CTimeMachineInterface1::AnalyseChunk(int channel, int32_t blocks)
{
    const size_t at = static_cast<size_t>(channel);
    AnalysedChunk& chunk = m_chunks[at];
    chunk = AnalysedChunk();
    for (int32_t k = 0; k < blocks; ++k) {
        {
            BlockGuard block;
            const int32_t position = m_readPosition + k * m_blockSize;
            block.copied = m_inputs[at]->Read(&block.block, m_blockSize, position, SoundFileStream::View);
            // A block reaching past the end is a copy of the stream's own.
            if (block.block && block.copied == 1 &&
                static_cast<int64_t>(position) + m_blockSize > m_inputFrames)
                ContinuePastEnd(channel, block.block, position);
            if (block.block) {
                CSMSAnalysis& low = *m_analysers[at][0];
                if (m_decimation != 1) {
                    int32_t produced = 0;
                    m_decimators[at]->Decimate(m_blockSize, block.block, m_decimated[at].data(), produced);
                    low.PutSamples(m_decimated[at].data(), produced);
                } else {
                    low.PutSamples(block.block, m_blockSize);
                }
                if (m_bandCount == 2)
                    m_analysers[at][1]->PutSamples(block.block, m_blockSize);
            }
        }
        for (;;) {
            bool ready = true;
            for (int32_t b = 0; b < m_bandCount; ++b)
                ready = ready && m_analysers[at][static_cast<size_t>(b)]->FrameReady();
            if (!ready)
                break;
            BandFrames row;
            bool missing = false;
            for (int32_t b = 0; b < m_bandCount; ++b) {
                CSMSAnalysis& analyser = *m_analysers[at][static_cast<size_t>(b)];
                analyser.AnalyzeFrame();
                row[static_cast<size_t>(b)] = analyser.TakeFrame();
                missing = missing || !row[static_cast<size_t>(b)];
            }
            if (missing)
                break;
            chunk.rows.push_back(std::move(row));
        }
        chunk.rowsAfterBlock.push_back(chunk.rows.size());
    }
}

// The frames that both channels' analysis gave after `block`, one row after
// the other, become the current frames and are used.
void CTimeMachineInterface1::UseChunkFrames(int32_t block)
{
    const int channels = Channels();
    size_t last = m_chunks[0].rowsAfterBlock[static_cast<size_t>(block)];
    for (int c = 1; c < channels; ++c)
        last = std::min(last, m_chunks[static_cast<size_t>(c)].rowsAfterBlock[static_cast<size_t>(block)]);
    for (size_t i = m_chunks[0].used; i < last; ++i) {
        for (int c = 0; c < channels; ++c) {
            AnalysedChunk& chunk = m_chunks[static_cast<size_t>(c)];
            for (int32_t b = 0; b < m_bandCount; ++b)
                m_current[static_cast<size_t>(c)][static_cast<size_t>(b)] =
                    std::move(chunk.rows[i][static_cast<size_t>(b)]);
        }
        UseCurrentFrames();
    }
    for (int c = 0; c < channels; ++c)
        m_chunks[static_cast<size_t>(c)].used = std::max(m_chunks[static_cast<size_t>(c)].used, last);
}

void CTimeMachineInterface1::UseCurrentFrames()
{
    const int channels = Channels();
    const double frameTime = m_current[0][0]->Time();
    double factor = m_parameters.GetParameter(P::StretchFactor, frameTime);
    if (frameTime * m_sampleRate >= m_inputFrames)
        factor = m_map->ratios[m_map->segmentCount - 1];
    AdvanceHistory(channels);

    const double half = static_cast<double>(m_historyLength / 2) * m_hopDuration;
    const double centre = m_history[0].back()[0]->Time() - half;
    for (int c = 0; c < channels; ++c) {
        m_marks[static_cast<size_t>(c)].centreTime = centre;
        m_marks[static_cast<size_t>(c)].firstRowTime = centre - half;
    }
    if (centre < kTolerance) {
        ForgetCurrentFrames();
        return;
    }
    while (centre > m_outputTime) {
        ProduceOutputFrame(factor, centre);
    }
    ForgetCurrentFrames();
}

// Synthesises one channel's queued output frames in order, band by band.
void CTimeMachineInterface1::SynthesizeQueued(int channel)
{
    SynthesisQueue& queue = m_synthesis[static_cast<size_t>(channel)];
    for (size_t i = 0; i < queue.count; ++i) {
        for (int32_t b = 0; b < m_bandCount; ++b) {
            SMSFrame& frame = *queue.frames[i][static_cast<size_t>(b)];
            m_stretchers[static_cast<size_t>(channel)][static_cast<size_t>(b)]->SynthesizeFrame(
                frame, m_edgesAsFloat[static_cast<size_t>(b)], 0);
            frame.Release(SMSFrame::kSpectrum, true);
        }
    }
    queue.count = 0;
}

void CTimeMachineInterface1::AdvanceHistory(int channels)
{
    const auto bands = static_cast<size_t>(m_bandCount);
    if (!m_historyStarted) {
        for (int c = 0; c < channels; ++c) {
            History& history = m_history[static_cast<size_t>(c)];
            history.assign(m_historyLength, Row(bands, nullptr));
            for (size_t b = 0; b < bands; ++b) {
                SMSFrame* frame = m_current[static_cast<size_t>(c)][b].release();
                for (Row& row : history)
                    row[b] = frame;
            }
            m_marks[static_cast<size_t>(c)].history = &history;
        }
        m_historyStarted = true;
        return;
    }
    const double frameTime = m_current[0][0]->Time();
    if (!(frameTime > m_history[0].back()[0]->Time() + kTolerance)) {
        ForgetCurrentFrames();
        return;
    }
    for (int c = 0; c < channels; ++c) {
        History& history = m_history[static_cast<size_t>(c)];
        for (size_t b = 0; b < bands; ++b) {
            SMSFrame* old = history[0][b];
            if (history.size() < 2 || history[1][b] != old)
                delete old;
            history[0][b] = nullptr;
        }
        std::rotate(history.begin(), history.begin() + 1, history.end());
        for (size_t b = 0; b < bands; ++b)
            history.back()[b] = m_current[static_cast<size_t>(c)][b].release();
    }
}

void CTimeMachineInterface1::ProduceOutputFrame(double factor, double centre)
{
    const int channels = Channels();
    const double step = m_hopDuration / factor;
    const AttackMarks& marks = m_marks[0];
    const auto rows = static_cast<int32_t>(m_history[0].size());
    int32_t row = -1;
    for (int32_t r = 0; r < rows; ++r) {
        if (r * m_hopDuration + marks.firstRowTime + kTolerance >= m_outputTime) {
            row = r;
            break;
        }
    }
    SMSFrame* work[2][kMaxBands] = {};
    for (int c = 0; c < 2; ++c) {
        for (int32_t b = 0; b < m_bandCount; ++b)
            work[c][b] = m_work[static_cast<size_t>(c)][static_cast<size_t>(b)].get();
    }
    if (row >= 0) {
        for (int c = 0; c < channels; ++c) {
            const Row& frames = m_history[static_cast<size_t>(c)][static_cast<size_t>(row)];
            for (int32_t b = 0; b < m_bandCount; ++b)
                frames[static_cast<size_t>(b)]->CopyTo(*work[c][b], SMSFrame::kSpectrum, true);
        }
    }
    const bool mono = channels == 1;
    m_stretchers[0][0]->ProcessFrame(m_marks[0], mono ? nullptr : &m_marks[1], m_outputTime, step, work[0],
                                     mono ? nullptr : work[1], m_hopDuration, m_edgesAsFloat.data(),
                                     mono ? 1 : 0);
    for (int c = 0; c < channels; ++c) {
        SynthesisQueue& queue = m_synthesis[static_cast<size_t>(c)];
        if (queue.count == queue.frames.size()) {
            BandFrames frames;
            for (auto& frame : frames) {
                frame.reset(new (std::nothrow) SMSFrame);
                if (!frame)
                    throw stretch::kAllocFailure;
            }
            queue.frames.push_back(std::move(frames));
        }
        for (int32_t b = 0; b < m_bandCount; ++b)
            work[c][b]->CopyTo(*queue.frames[queue.count][static_cast<size_t>(b)], SMSFrame::kSpectrum, true);
        ++queue.count;
    }
    m_analysisTime = centre;
    m_outputTime += step;
    for (int c = 0; c < channels; ++c) {
        for (int32_t b = 0; b < m_bandCount; ++b)
            work[c][b]->Release(SMSFrame::kSpectrum, true);
    }
}

// The output covers the expected frames in every band once the queued
// frames are synthesised: the full-rate band up to them, the low band up to
// them and one hop beyond once it is back at the full rate (shifted by its
// path's delay), so that the interpolation of the last expected samples
// reads synthesised samples only. A band without an output stream makes
// nothing to wait for.
bool CTimeMachineInterface1::ShouldStop() const
{
    const auto queued = static_cast<int32_t>(m_synthesis[0].count);
    for (int32_t b = 0; b < m_bandCount; ++b) {
        const BandStretcher* stretcher = m_stretchers[0][static_cast<size_t>(b)].get();
        if (!stretcher || !m_outputs[0][static_cast<size_t>(b)])
            continue;
        const bool low = b == 0 && m_decimation != 1;
        const int64_t covered = stretcher->StreamLengthAfter(queued) * (low ? m_decimation : 1);
        const int64_t needed = static_cast<int64_t>(m_expectedFrames) + (low ? LowBandShift() + m_hop : 0);
        if (covered < needed)
            return false;
    }
    return true;
}

// The low band's whole path delay in full-rate samples: both filters'
// centres less the decimator's lead (its output follows the newest input of
// each group). Removing it lines the low band up with the full-rate band
// to the sample, so that a partial moving between the bands keeps its
// phase.
int32_t CTimeMachineInterface1::LowBandShift() const
{
    if (m_decimation == 1)
        return 0;
    const int32_t decimatorTaps = CPolyphaseMultiRateProcessing::TapsFor(
        CPolyphaseMultiRateProcessing::Decimation, m_decimation, m_sampleRate);
    const int32_t interpolatorTaps = CPolyphaseMultiRateProcessing::TapsFor(
        CPolyphaseMultiRateProcessing::Interpolation, m_decimation, m_sampleRate);
    const double delay = (decimatorTaps - 1) / 2.0 + (interpolatorTaps - 1) / 2.0 - (m_decimation - 1);
    return static_cast<int32_t>(std::max<long>(std::lround(delay), 0));
}

int CTimeMachineInterface1::RestoreLowBand(int c)
{
    // The low band comes back to the full rate piece by piece and is added
    // straight into the full-rate band, which then takes the low band's
    // place: the same sum as restoring the low band into its own stream and
    // adding the other band to it, without a second full-length buffer.
    constexpr int32_t kPiece = 2048;
    {
        auto& outputs = m_outputs[static_cast<size_t>(c)];
        SoundFileStream* low = outputs[0].get();
        SoundFileStream* full = m_bandCount == 2 ? outputs[1].get() : nullptr;
        if (!low || !full || !full->Buffer())
            return 0;
        const int64_t n = static_cast<int64_t>(low->Length()) * m_decimation;
        if (n > std::numeric_limits<int32_t>::max())
            return 1;
        CPolyphaseMultiRateProcessing interpolator(CPolyphaseMultiRateProcessing::Interpolation, m_decimation,
                                                   m_sampleRate);
        const int64_t shift = std::min<int64_t>(LowBandShift(), n);
        std::vector<float> piece;
        try {
            piece.resize(static_cast<size_t>(kPiece) * static_cast<size_t>(m_decimation));
        } catch (...) {
            return 1;
        }
        // Output sample j of the restored band is interpolated sample j +
        // shift. The band's last `shift` samples are left out, which costs
        // no output: the block loop stops once the low band reaches `shift`
        // and a hop past the expected frames (ShouldStop), and the only
        // other way out, two seconds of run-out past the input's end, leaves
        // the band ending in the silence after the continuation.
        int64_t produced = 0;
        const auto mix = [&](int32_t made) {
            const int64_t first = std::max<int64_t>(0, shift - produced);
            const int64_t end = std::min<int64_t>(made, n + shift - produced);
            const int64_t to = produced + first - shift;
            produced += made;
            return first >= end || full->MixAt(piece.data() + first, static_cast<int32_t>(end - first),
                                               static_cast<int32_t>(to)) == 0;
        };
        for (int32_t at = 0; at < low->Length(); at += kPiece) {
            const int32_t count = std::min(kPiece, low->Length() - at);
            int32_t made = 0;
            interpolator.Interpolate(count, low->Buffer() + at, piece.data(), made);
            if (!mix(made))
                return 1;
        }
        outputs[0] = std::move(outputs[1]);
    }
    return 0;
}

// The continuation of each channel past the input's end. The frames that
// make output lie a hop or more before the end, so they read at most half
// the longest analysis window (in input samples) past it; the continuation
// runs two such windows, so that a steady sound stays whole over that reach
// before it fades.
void CTimeMachineInterface1::PrepareContinuations()
{
    int32_t window = m_hop;
    for (int32_t b = 0; b < m_bandCount; ++b) {
        const BandStretcher* stretcher = m_stretchers[0][static_cast<size_t>(b)].get();
        if (stretcher)
            window = std::max(window, stretcher->WindowLength() * (b == 0 ? m_decimation : 1));
    }
    for (int c = 0; c < Channels(); ++c) {
        std::vector<float>& continuation = m_continuations[static_cast<size_t>(c)];
        stretch::resizeOrThrow(continuation, static_cast<size_t>(2 * window));
        const SoundFileStream& input = *m_inputs[static_cast<size_t>(c)];
        stretch::ContinueSignal(input.Buffer(), input.Length(), window, kContinuationOrder,
                                continuation.data(), static_cast<int32_t>(continuation.size()));
    }
}

// The samples of a block from `position` on that lie past the input's end
// become the channel's continuation, and silence after it.
void CTimeMachineInterface1::ContinuePastEnd(int channel, float* block, int64_t position) const
{
    const std::vector<float>& continuation = m_continuations[static_cast<size_t>(channel)];
    const auto length = static_cast<int64_t>(continuation.size());
    for (int32_t i = 0; i < m_blockSize; ++i) {
        const int64_t past = position + i - m_inputFrames;
        if (past >= 0)
            block[i] = past < length ? continuation[static_cast<size_t>(past)] : 0.0f;
    }
}

void CTimeMachineInterface1::Recombine()
{
    for (int c = 0; c < Channels(); ++c) {
        auto& outputs = m_outputs[static_cast<size_t>(c)];
        SoundFileStream* low = outputs[0].get();
        for (int32_t b = 1; b < m_bandCount; ++b) {
            SoundFileStream* band = outputs[static_cast<size_t>(b)].get();
            if (low && band && band->Buffer()) {
                const int32_t n = std::min(low->Length(), band->Length());
                low->MixAt(band->Buffer(), n, 0);
            }
            outputs[static_cast<size_t>(b)].reset();
        }
    }
}

int32_t CTimeMachineInterface1::ExpectedFrames() const
{
    const uint32_t n = m_map->segmentCount;
    double scale = m_map->ratios[0];
    if (n >= 2) {
        scale = 0.0;
        for (uint32_t i = 0; i + 1 < n; ++i) {
            const double from = i == 0 ? 0.0 : m_map->startFractions[i];
            scale += (m_map->startFractions[i + 1] - from) * m_map->ratios[i];
        }
        scale += (1.0 - m_map->startFractions[n - 1]) * m_map->ratios[n - 1];
    }
    return clampToInt32(stretch::truncNearWhole(m_inputFrames * scale));
}

float* CTimeMachineInterface1::TakeOutput(SoundFileStream* stream, int32_t expected)
{
    expected = std::max(expected, 0);
    if (!stream || !stream->Buffer()) {
        if (expected > 0)
            qDebug() << "Stretch data is too less rather than expect";
        return static_cast<float*>(std::calloc(static_cast<size_t>(std::max(expected, 1)), sizeof(float)));
    }
    const int32_t length = stream->Length();
    if (length > expected) {
        qDebug() << "Stretch data is too much rather than expect";
    } else if (length < expected) {
        qDebug() << "Stretch data is too less rather than expect";
        try {
            std::vector<float> zeros(static_cast<size_t>(std::min(expected - length, 65536)), 0.0f);
            for (int32_t at = length; at < expected;) {
                const int32_t n = std::min(expected - at, static_cast<int32_t>(zeros.size()));
                stream->WriteBlock(zeros.data(), n, at);
                at += n;
            }
        } catch (...) {
            return nullptr;
        }
    }
    return stream->ReleaseBuffer();
}
