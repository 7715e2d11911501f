#include "audioFileMngr.h"

#include "ResultCode.h"
#include "SndFileOpen.h"

#include <QCoreApplication>
#include <QFile>
#include <cstring>
#include <new>

using krm::fail;

namespace {

constexpr int kCopyBlockFrames = 1024;
constexpr int kStereo = 2;
constexpr int kRate = 44100;
constexpr float kSampleScale = 1.0f / 32768.0f;

// An open libsndfile handle with the SF_INFO it was opened with, closed
// when it goes out of scope.
class SndFile {
public:
    // Opens for reading; libsndfile fills the cleared info record.
    explicit SndFile(const std::wstring& path) : info_(clearedInfo()) { open(path, SFM_READ); }
    // Creates a file described by `info`.
    SndFile(const std::wstring& path, const SF_INFO& info) : info_(info) { open(path, SFM_WRITE); }
    ~SndFile() { close(); }
    SndFile(const SndFile&) = delete;
    SndFile& operator=(const SndFile&) = delete;
    SNDFILE* get() const { return f_; }
    const SF_INFO& info() const { return info_; }
    explicit operator bool() const { return f_ != nullptr; }
    void close()
    {
        if (f_ != nullptr)
            sf_close(f_);
        f_ = nullptr;
    }

private:
    static SF_INFO clearedInfo()
    {
        SF_INFO info;
        std::memset(&info, 0, sizeof info);
        return info;
    }
    void open(const std::wstring& path, int mode) { f_ = platformSfWcharOpen(path.c_str(), mode, &info_); }

    SF_INFO info_;
    SNDFILE* f_ = nullptr;
};

// The record of the canonical 16-bit stereo 44100 Hz WAV files written here.
SF_INFO writeInfo(sf_count_t frames)
{
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.frames = frames;
    info.samplerate = kRate;
    info.channels = kStereo;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    info.sections = 1;
    info.seekable = 1;
    return info;
}

// Requires `f` to be a stereo file open for reading: fail(openStep) when it
// could not be opened, fail(channelStep) when it has another channel count.
// Buffers of two samples per frame rely on the second check.
uint32_t openStereo(SndFile& f, uint32_t openStep, uint32_t channelStep)
{
    if (!f)
        return fail(openStep);
    if (f.info().channels != kStereo)
        return fail(channelStep);
    return krm::kOk;
}

// Runs `grow` (a resize, reserve or insert); a failed allocation raises
// `errorFlag` and gives false instead of an exception.
template <typename Grow> bool grows(bool& errorFlag, Grow&& grow)
{
    try {
        grow();
        return true;
    } catch (const std::bad_alloc&) {
        errorFlag = true;
        return false;
    }
}

void appendSample(std::vector<uint8_t>& out, short s)
{
    const auto u = uint16_t(s);
    out.push_back(uint8_t(u & 0xff));
    out.push_back(uint8_t(u >> 8));
}

}  // namespace

IF_audioFileMngr* createAudioFileMngr()
{
    return new (std::nothrow) audioFileMngr();
}

audioFileMngr::audioFileMngr() = default;
audioFileMngr::~audioFileMngr() = default;

uint32_t audioFileMngr::checkAudioFile(const std::wstring& path, uint32_t* frames)
{
    error_ = false;
    *frames = 0;
    SF_INFO info;
    {
        SndFile f(path);
        if (!f)
            return fail(3);
        info = f.info();
    }
    if (info.channels != kStereo)
        return fail(4);
    if ((info.format & 0x0002) == 0)
        return fail(5);
    if (info.samplerate != kRate)
        return fail(6);
    if (info.sections != 1)
        return fail(7);
    if (info.seekable != 1)
        return fail(8);
    *frames = uint32_t(info.frames);
    return krm::kOk;
}

uint32_t audioFileMngr::readFramesAsBytes(const std::wstring& path, std::vector<uint8_t>& bytes,
                                          uint32_t start, uint32_t end)
{
    if (start >= end)
        return fail(1);
    bytes.clear();
    error_ = false;
    SndFile f(path);
    if (const uint32_t r = openStereo(f, 4, 5))
        return r;
    const sf_count_t frameCount = f.info().frames;
    // The end is clamped one frame short of the file's frame count, so the
    // final frame is never part of a range that reaches the end.
    if (frameCount <= 0)
        return fail(1);
    if (sf_count_t(end) >= frameCount)
        end = uint32_t(frameCount - 1);
    if (start >= end)
        return fail(1);
    std::vector<short> work;
    if (!grows(error_, [&] { work.resize(size_t(frameCount) * kStereo); }))
        return fail(7);
    if (sf_readf_short(f.get(), work.data(), frameCount) != frameCount)
        return fail(8);
    if (!grows(error_, [&] { bytes.reserve(size_t(end - start) * 4); }))
        return fail(9);
    for (uint32_t i = start; i < end; ++i) {
        appendSample(bytes, work[size_t(i) * 2]);
        appendSample(bytes, work[size_t(i) * 2 + 1]);
    }
    return krm::kOk;
}

namespace {

sf_count_t readFrames(SNDFILE* f, float* buf, sf_count_t n)
{
    return sf_readf_float(f, buf, n);
}
sf_count_t readFrames(SNDFILE* f, short* buf, sf_count_t n)
{
    return sf_readf_short(f, buf, n);
}

// Reads every frame of a stereo file into `work`. Codes 3 (cannot open),
// 7 (not stereo), 4 (no memory, error flag raised) and 5 (short read).
template <typename T>
uint32_t readWholeStereo(const std::wstring& path, std::vector<T>& work, bool& errorFlag)
{
    SndFile f(path);
    if (const uint32_t r = openStereo(f, 3, 7))
        return r;
    const sf_count_t frameCount = f.info().frames;
    if (!grows(errorFlag, [&] { work.resize(size_t(frameCount) * kStereo); }))
        return fail(4);
    if (readFrames(f.get(), work.data(), frameCount) != frameCount)
        return fail(5);
    return krm::kOk;
}

}  // namespace

uint32_t audioFileMngr::readFramesFloat(const std::wstring& path, std::vector<float>& samples)
{
    error_ = false;
    std::vector<float> work;
    const uint32_t r = readWholeStereo(path, work, error_);
    if (r != krm::kOk)
        return r;
    if (!grows(error_, [&] { samples.insert(samples.end(), work.begin(), work.end()); }))
        return fail(6);
    return krm::kOk;
}

uint32_t audioFileMngr::readFramesShort(const std::wstring& path, std::vector<uint8_t>& bytes)
{
    error_ = false;
    std::vector<short> work;
    const uint32_t r = readWholeStereo(path, work, error_);
    if (r != krm::kOk)
        return r;
    if (!grows(error_, [&] { bytes.reserve(bytes.size() + work.size() * 2); }))
        return fail(6);
    for (short s : work)
        appendSample(bytes, s);
    return krm::kOk;
}

uint32_t audioFileMngr::loadInterleavedFloat(const std::wstring& path, std::unique_ptr<float[]>& samples,
                                             uint32_t* count)
{
    samples.reset();
    *count = 0;
    error_ = false;
    SndFile f(path);
    if (const uint32_t r = openStereo(f, 3, 4))
        return r;
    const sf_count_t frameCount = f.info().frames;
    // The sample count has to fit its 32-bit out-argument.
    const uint64_t n = uint64_t(frameCount) * kStereo;
    float* raw = n <= UINT32_MAX ? new (std::nothrow) float[n ? n : 1] : nullptr;
    if (raw == nullptr) {
        error_ = true;
        return fail(5);
    }
    std::unique_ptr<float[]> owned(raw);
    if (sf_readf_float(f.get(), owned.get(), frameCount) != frameCount)
        return fail(6);
    samples = std::move(owned);
    *count = uint32_t(n);
    return krm::kOk;
}

uint32_t audioFileMngr::writeFramesFloat(std::wstring path, const std::vector<uint8_t>& frames)
{
    const size_t frameCount = frames.size() / 4;
    std::vector<float> work(frameCount * kStereo);
    for (size_t i = 0; i < work.size(); ++i) {
        const auto s = int16_t(uint16_t(frames[2 * i] | frames[2 * i + 1] << 8));
        work[i] = float(s) * kSampleScale;
    }
    SndFile f(path, writeInfo(sf_count_t(frameCount)));
    if (!f)
        return fail(4);
    if (sf_writef_float(f.get(), work.data(), sf_count_t(frameCount)) != sf_count_t(frameCount))
        return fail(5);
    return krm::kOk;
}

uint32_t audioFileMngr::copyAudioFile(const std::wstring& source, const QString& destination)
{
    error_ = false;
    SndFile src(source);
    // The block buffer holds stereo frames; a wider file would overrun it.
    if (const uint32_t r = openStereo(src, 1, 6))
        return r;
    const sf_count_t frameCount = src.info().frames;
    SndFile dst(destination.toStdWString(), writeInfo(frameCount));
    if (!dst)
        return fail(2);
    // A partial working file must not pass for a complete one.
    auto abandon = [&](uint32_t code) {
        src.close();
        dst.close();
        QFile::remove(destination);
        return code;
    };
    std::unique_ptr<short[]> block(new (std::nothrow) short[kCopyBlockFrames * kStereo]);
    if (!block) {
        error_ = true;
        return abandon(fail(3));
    }
    sf_count_t total = 0;
    for (;;) {
        const sf_count_t got = sf_readf_short(src.get(), block.get(), kCopyBlockFrames);
        if (got <= 0 && total < frameCount)
            return abandon(fail(5));
        if (sf_writef_short(dst.get(), block.get(), got) != got)
            return abandon(fail(4));
        total += got;
        if (total >= frameCount)
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return krm::kOk;
}

QString audioFileMngr::errorText()
{
    return errorText_;
}

void audioFileMngr::clearError()
{
    errorText_.clear();
    error_ = false;
}

bool audioFileMngr::hasError()
{
    return error_;
}
