#include "CBeatDetect.h"

#include "DomainCheck.h"

#include "fft/CFft.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace RuBeatO {

namespace {

constexpr int kBands = 10;
// Longest recording accepted, in seconds.
constexpr float kMaxSeconds = 36000.0f;

void checkFrameAndHop(int framelen, int hopsize)
{
    requireDomain(hopsize >= 1, "hopsize must be positive");
    requireDomain(hopsize <= framelen, "framelen must be greater than or equal to hopsize");
}

bool isPowerOfTwo(int n)
{
    return n >= 2 && (n & (n - 1)) == 0;
}

}  // namespace

CBeatDetect::CBeatDetect(int framelen, int hopsize, float fs, int decimation, float bpm_min, float bpm_max,
                         bool doubleRate)
    : m_hopsize(0),
      m_framelen(0),
      m_doubleRate(doubleRate ? 1 : 0),
      m_fs(0.0f),
      m_decimation(0),
      m_bpmMin(0.0f),
      m_bpmMax(0.0f)
{
    // The pair is checked as given, before either is stored.
    checkFrameAndHop(framelen, hopsize);
    m_framelen = framelen;
    checkFrameAndHop(m_framelen, hopsize);
    m_hopsize = hopsize;
    requireDomain(fs > 0.0f, "fs must be positive");
    m_fs = fs;
    requireDomain(bpm_min > 30.0f, "bpm_min must be greater than 30");
    requireDomain(bpm_min < bpm_max, "bpm_min must be less than bpm_max");
    m_bpmMin = bpm_min;
    m_bpmMax = bpm_max;
    requireDomain(decimation >= 1, "decimation must be a natural number");
    m_decimation = decimation;
    // The transform runs on framelen / 2 pair sums.
    requireDomain(isPowerOfTwo(framelen / 2), "framelen / 2 must be a power of two");
    reset();
}

CBeatDetect::~CBeatDetect() = default;

void CBeatDetect::reset()
{
    m_window.assign(static_cast<size_t>(m_framelen / 2), 0.0f);
    m_spectrum.assign(static_cast<size_t>(m_framelen), 0.0f);
    initialize();
}

void CBeatDetect::initialize()
{
    m_inferred = 0;
    m_fill = 0;
    m_received = 0;
    const int half = m_framelen / 2;
    m_fft = std::make_shared<CFft>(half, 0);
    m_fft->setWindow(static_cast<unsigned>(half), CFft::Hamming);
    m_tracker = std::make_shared<RKBeatTrackOffline>(m_framelen, m_fs, m_fs / static_cast<float>(m_hopsize),
                                                     kBands, m_decimation, m_bpmMin, m_bpmMax);
    std::fill(m_window.begin(), m_window.end(), 0.0f);
    std::fill(m_spectrum.begin(), m_spectrum.end(), 0.0f);
}

void CBeatDetect::addData(const float* data, int lenData)
{
    m_inferred = 0;
    if (lenData % 2 != 0)
        throw std::invalid_argument("lenData must be even");
    // A negative length is refused before it is counted, so the count of
    // values received never goes down.
    if (lenData < 0)
        throw std::invalid_argument("lenData must be positive");
    m_received += lenData;
    if (static_cast<float>(m_received) >= m_fs * kMaxSeconds)
        throw std::out_of_range("Input audio exceeds max. allowed duration");
    if (!data || lenData == 0)
        return;

    std::fill(m_spectrum.begin(), m_spectrum.end(), 0.0f);
    // An odd hop cannot be split into pairs exactly; it still moves the
    // window by at least one pair sum per frame.
    const int hopPairs = std::max(1, m_hopsize / 2);
    const int newest = static_cast<int>(m_window.size()) - hopPairs;
    for (int i = 0; i + 1 < lenData; i += 2) {
        m_window[static_cast<size_t>(newest + m_fill)] = data[i] + data[i + 1];
        if (++m_fill == hopPairs)
            analyseFrame();
    }
}

void CBeatDetect::analyseFrame()
{
    const int half = m_framelen / 2;
    m_fft->magnitude(m_spectrum.data(), m_window.data(), half, -1, true, 1);
    m_tracker->pushData(m_spectrum.data(), half);
    const size_t hopPairs = static_cast<size_t>(m_fill);
    std::copy(m_window.begin() + static_cast<std::ptrdiff_t>(hopPairs), m_window.end(), m_window.begin());
    m_fill = 0;
}

void CBeatDetect::infer()
{
    m_tracker->infer();
    m_inferred = 1;
}

void CBeatDetect::decodedAt(int frame, int& P, int& j) const
{
    if (frame >= getNumFrames())
        throw std::domain_error("frame index must be less than the number of times addData was called");
    if (frame < 0)
        throw std::domain_error("frame index must be positive");
    if (!m_inferred)
        throw std::logic_error("getInfoAtFrame wa scalled before calling infer()");
    const int state = m_tracker->getFrameResult(frame / m_decimation);
    m_tracker->decoder().decodeState(state, P, j);
}

void CBeatDetect::carriedState(int frame, int P, int j, int D, bool doubleRate, int& period, int& countdown)
{
    const int r = frame % D;
    countdown = (j + 1) * D - r;
    period = P * D;
    if (doubleRate) {
        period /= 2;
        if (period > 0)
            countdown %= period;
    }
    if (countdown == 0 && r != 0)
        countdown = 1;
}

int CBeatDetect::listedPhase(int frame, int P, int j, int D, bool doubleRate)
{
    if (doubleRate) {
        const int halfBeat = P / (2 * D);
        if (j >= halfBeat)
            j -= halfBeat;
    }
    if (j == 0 && frame % D != 0)
        j = 1;
    return j;
}

void CBeatDetect::getInfoAtFrame(int frame, int& period, int& countdown) const
{
    int P = 0;
    int j = 0;
    decodedAt(frame, P, j);
    carriedState(frame, P, j, m_decimation, m_doubleRate != 0, period, countdown);
}

CBeatDetect::BeatFrameInfo CBeatDetect::getInfoAtFrame(int frame) const
{
    BeatFrameInfo info;
    int j = 0;
    decodedAt(frame, info.period, j);
    info.phase = listedPhase(frame, info.period, j, m_decimation, m_doubleRate != 0);
    info.beat = info.phase == 0;
    return info;
}

void CBeatDetect::setInitialState(int period, int countdown)
{
    // With doubleRate the carried period is P * D halved, rounded down; P
    // is the one whole number of decimated periods in {2h, 2h + 1}, so it
    // is taken back rounding up, which keeps the tempo from dropping a
    // step at every pass when P * D is odd.
    const int64_t D = m_decimation;
    const int64_t whole = m_doubleRate ? 2 * static_cast<int64_t>(period) : period;
    const int64_t P = whole >= 0 ? (whole + D - 1) / D : whole / D;
    const int64_t limit = std::numeric_limits<int>::max();
    m_tracker->setStartState(static_cast<int>(std::max(-limit, std::min(P, limit))),
                             countdown / m_decimation);
}

void CBeatDetect::getBeatFrames(std::vector<int>& list, int every, int offset) const
{
    if (every < 1)
        throw std::invalid_argument("every must be positive");
    list.clear();
    int64_t counter = -static_cast<int64_t>(offset) % every;
    if (counter < 0)
        counter += every;
    const int frames = getNumFrames();
    for (int f = 0; f < frames; ++f) {
        if (!getInfoAtFrame(f).beat)
            continue;
        if (counter == 0)
            list.push_back(f);
        counter = (counter + 1) % every;
    }
}

int CBeatDetect::getNumFrames() const
{
    return m_tracker->getNumFrames();
}

const float* CBeatDetect::getBandEnergies(int& count) const
{
    count = m_tracker->bandCount();
    return m_tracker->bandEnergies();
}

}  // namespace RuBeatO
