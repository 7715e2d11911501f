#include "audioFileMngr.h"

#include "AudioFormat.h"
#include "ResultCode.h"
#include "SndFileOpen.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>

using krm::fail;

namespace {

namespace audio = krm::audio;

constexpr int kCopyBlockFrames = 1024;
constexpr int kStereo = audio::kChannels;
// Frames per read of a whole-file read. Memory grows block by block with the
// frames that really arrive, never ahead of them by more than one block.
constexpr sf_count_t kReadBlockFrames = 1 << 16;

// Bytes per sample of the subtypes stored uncompressed, 0 for the others.
int storedBytesPerSample(int format)
{
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC)
        return 0;  // a FLAC stream compresses its PCM samples
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return 1;
    case SF_FORMAT_PCM_16:
        return 2;
    case SF_FORMAT_PCM_24:
        return 3;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
        return 4;
    case SF_FORMAT_DOUBLE:
        return 8;
    default:
        return 0;
    }
}

// Floating-point files are read as floats and turned into 16 bits here, with
// full scale at +-1.0: libsndfile's own integer read of them drops the
// fraction (a 0.5 sine becomes silence), and its scaling option normalises
// to the file's own peak instead of keeping the level.
bool isFloatingPoint(int format)
{
    const int subtype = format & SF_FORMAT_SUBMASK;
    return subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
}

// A float sample as a 16-bit value: times 32768, rounded, clipped at full
// scale; NaN is silence.
short floatToShort(float x)
{
    const float s = x * audio::kFloatToShort;
    if (s >= 32767.0f)
        return 32767;
    if (s <= -32768.0f)
        return -32768;
    if (s != s)
        return 0;
    return short(std::lrint(s));
}

// The kinds of audio an import takes: a container and a sample format that
// libsndfile decodes to whole frames, as many as the file announces, which
// the copy turns into 16 bits (16-bit PCM unchanged, wider integer samples
// cut to their top 16 bits, floating point as below). 16- and 24-bit PCM
// and floating point are taken in every container libsndfile reads them
// from an open file (not SD2, whose resource fork it finds only by the
// file's name), lossless compression (FLAC, Apple Lossless) at 16 to 32
// bits, and the two ADPCM codecs only in the RIFF containers, where
// another decoder agrees with libsndfile's. Refused: 8-bit and 32-bit integer PCM, u-law and A-law,
// the speech codecs, and the lossy streams: libsndfile only estimates the
// frame count of an MPEG stream, so that its copy can end short of the
// count the check reported, and Vorbis and Opus go with it.
struct ImportKind {
    int container;
    std::array<int, 8> subtypes;  // 0 ends the list
};

constexpr int k16 = SF_FORMAT_PCM_16;
constexpr int k24 = SF_FORMAT_PCM_24;
constexpr int kF32 = SF_FORMAT_FLOAT;
constexpr int kF64 = SF_FORMAT_DOUBLE;

constexpr std::array<ImportKind, 17> kImportKinds = {{
    {SF_FORMAT_WAV, {k16, k24, kF32, kF64, SF_FORMAT_IMA_ADPCM, SF_FORMAT_MS_ADPCM}},
    {SF_FORMAT_WAVEX, {k16, k24, kF32, kF64}},
    {SF_FORMAT_W64, {k16, k24, kF32, kF64, SF_FORMAT_IMA_ADPCM, SF_FORMAT_MS_ADPCM}},
    {SF_FORMAT_RF64, {k16, k24, kF32, kF64}},
    {SF_FORMAT_AIFF, {k16, k24, kF32, kF64}},
    {SF_FORMAT_CAF,
     {k16, k24, kF32, kF64, SF_FORMAT_ALAC_16, SF_FORMAT_ALAC_20, SF_FORMAT_ALAC_24, SF_FORMAT_ALAC_32}},
    {SF_FORMAT_AU, {k16, k24, kF32, kF64}},
    {SF_FORMAT_IRCAM, {k16, kF32}},
    {SF_FORMAT_NIST, {k16, k24}},
    {SF_FORMAT_FLAC, {k16, k24}},
    {SF_FORMAT_AVR, {k16}},
    {SF_FORMAT_MAT4, {k16, kF32, kF64}},
    {SF_FORMAT_MAT5, {k16, kF32, kF64}},
    {SF_FORMAT_MPC2K, {k16}},
    {SF_FORMAT_PAF, {k16, k24}},
    {SF_FORMAT_PVF, {k16}},
    {SF_FORMAT_VOC, {k16}},
}};

// True when libsndfile's format word names one of the kinds above; the
// byte-order bits do not matter.
bool isImportKind(int format)
{
    const int container = format & SF_FORMAT_TYPEMASK;
    const int subtype = format & SF_FORMAT_SUBMASK;
    if (subtype == 0)
        return false;
    for (const ImportKind& kind : kImportKinds) {
        if (kind.container != container)
            continue;
        return std::find(kind.subtypes.begin(), kind.subtypes.end(), subtype) != kind.subtypes.end();
    }
    return false;
}

// An open libsndfile handle with the SF_INFO it was opened with, closed
// when it goes out of scope.
class SndFile {
public:
    // Opens for reading; libsndfile fills the cleared info record.
    explicit SndFile(const std::wstring& path) : m_info(clearedInfo())
    {
        open(path, SFM_READ);
        if (m_file != nullptr)
            m_bytes = QFileInfo(QString::fromStdWString(path)).size();
    }
    // Creates a file described by `info`.
    SndFile(const std::wstring& path, const SF_INFO& info) : m_info(info) { open(path, SFM_WRITE); }
    ~SndFile() { close(); }
    SndFile(const SndFile&) = delete;
    SndFile& operator=(const SndFile&) = delete;
    SNDFILE* get() const { return m_file; }
    const SF_INFO& info() const { return m_info; }
    explicit operator bool() const { return m_file != nullptr; }
    void close()
    {
        if (m_file != nullptr)
            sf_close(m_file);
        m_file = nullptr;
    }

    // The announced frame count when the file can hold it, -1 when it is
    // negative or, for uncompressed samples, more than the file's size holds.
    sf_count_t plausibleFrames() const
    {
        const sf_count_t frames = m_info.frames;
        const int bytes = storedBytesPerSample(m_info.format);
        if (frames < 0 || m_info.channels <= 0)
            return -1;
        if (bytes > 0 && uint64_t(frames) > uint64_t(m_bytes) / (uint64_t(bytes) * uint64_t(m_info.channels)))
            return -1;
        return frames;
    }
    // True when the announced count is checked against the file's size, so
    // that a buffer for all of it can be made at once.
    bool sizeBounded() const { return storedBytesPerSample(m_info.format) > 0; }

    sf_count_t read(float* out, sf_count_t frames) { return sf_readf_float(m_file, out, frames); }
    // 16-bit frames; floating-point files are converted here (see above).
    sf_count_t read(short* out, sf_count_t frames)
    {
        if (!isFloatingPoint(m_info.format))
            return sf_readf_short(m_file, out, frames);
        const size_t channels = size_t(m_info.channels);
        m_floats.resize(size_t(std::min<sf_count_t>(frames, kCopyBlockFrames)) * channels);
        sf_count_t done = 0;
        while (done < frames) {
            const sf_count_t want = std::min<sf_count_t>(frames - done, kCopyBlockFrames);
            const sf_count_t got = sf_readf_float(m_file, m_floats.data(), want);
            if (got <= 0)
                break;
            std::transform(m_floats.begin(), m_floats.begin() + long(size_t(got) * channels),
                           out + size_t(done) * channels, floatToShort);
            done += got;
            if (got < want)
                break;
        }
        return done;
    }

private:
    static SF_INFO clearedInfo()
    {
        SF_INFO info;
        std::memset(&info, 0, sizeof info);
        return info;
    }
    void open(const std::wstring& path, int mode)
    {
        m_file = platformSfWcharOpen(path.c_str(), mode, &m_info);
    }

    SF_INFO m_info;
    SNDFILE* m_file = nullptr;
    qint64 m_bytes = 0;
    std::vector<float> m_floats;  // conversion block of a floating-point file
};

// The record of the canonical 16-bit stereo 44100 Hz WAV files written here.
SF_INFO writeInfo(sf_count_t frames)
{
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.frames = frames;
    info.samplerate = int(audio::kSampleRate);
    info.channels = kStereo;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    info.sections = 1;
    info.seekable = 1;
    return info;
}

// libsndfile's account of the last failure on `file` (null: of the last
// failed open) as " (text)", empty when it reports none.
QString libraryError(SNDFILE* file)
{
    if (sf_error(file) == SF_ERR_NO_ERROR)
        return QString();
    return QString(" (%1)").arg(QString::fromLocal8Bit(sf_strerror(file)));
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
// the error flag and gives false instead of an exception.
template <typename Grow> bool grows(krm::ErrorState& errors, Grow&& grow)
{
    try {
        grow();
        return true;
    } catch (const std::bad_alloc&) {
        errors.raiseFlag();
        return false;
    }
}

void appendSample(std::vector<uint8_t>& out, short s)
{
    const auto u = uint16_t(s);
    out.push_back(uint8_t(u & 0xff));
    out.push_back(uint8_t(u >> 8));
}

// Reads every frame of an open stereo file into `work` (two samples per
// frame). The announced count is not trusted with memory: a file whose
// uncompressed samples cannot fill it is refused before anything is
// allocated, and a compressed one is read block by block, so a header that
// announces billions of frames costs only the frames that are really there.
// fail(noMemoryStep) with the error flag raised when memory runs out,
// fail(shortStep) when fewer frames arrive than announced.
template <typename T>
uint32_t readWhole(SndFile& f, std::vector<T>& work, krm::ErrorState& errors, uint32_t noMemoryStep,
                   uint32_t shortStep)
{
    const sf_count_t announced = f.plausibleFrames();
    if (announced < 0)
        return fail(shortStep);
    const sf_count_t firstBlock = f.sizeBounded() ? announced : std::min(announced, kReadBlockFrames);
    if (!grows(errors, [&] { work.reserve(size_t(firstBlock) * kStereo); }))
        return fail(noMemoryStep);
    sf_count_t total = 0;
    while (total < announced) {
        const sf_count_t want = std::min(announced - total, std::max(firstBlock, kReadBlockFrames));
        if (!grows(errors, [&] { work.resize(size_t(total + want) * kStereo); }))
            return fail(noMemoryStep);
        const sf_count_t got = f.read(work.data() + size_t(total) * kStereo, want);
        total += std::max<sf_count_t>(got, 0);
        if (got < want)
            break;
    }
    work.resize(size_t(total) * kStereo);
    return total == announced ? krm::kOk : fail(shortStep);
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
    m_errorState.clearError();
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
    if (!isImportKind(info.format))
        return fail(5);
    if (info.samplerate != int(audio::kSampleRate))
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
    m_errorState.clearError();
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
    if (const uint32_t r = readWhole(f, work, m_errorState, 7, 8))
        return r;
    if (!grows(m_errorState, [&] { bytes.reserve(size_t(end - start) * audio::kBytesPerFrame); }))
        return fail(9);
    for (uint32_t i = start; i < end; ++i) {
        appendSample(bytes, work[size_t(i) * 2]);
        appendSample(bytes, work[size_t(i) * 2 + 1]);
    }
    return krm::kOk;
}

namespace {

// Reads every frame of a stereo file into `work`. Codes 3 (cannot open),
// 7 (not stereo), 4 (no memory, error flag raised) and 5 (short read).
template <typename T>
uint32_t readWholeStereo(const std::wstring& path, std::vector<T>& work, krm::ErrorState& errors)
{
    SndFile f(path);
    if (const uint32_t r = openStereo(f, 3, 7))
        return r;
    return readWhole(f, work, errors, 4, 5);
}

}  // namespace

uint32_t audioFileMngr::readFramesFloat(const std::wstring& path, std::vector<float>& samples)
{
    m_errorState.clearError();
    std::vector<float> work;
    const uint32_t r = readWholeStereo(path, work, m_errorState);
    if (r != krm::kOk)
        return r;
    if (!grows(m_errorState, [&] { samples.insert(samples.end(), work.begin(), work.end()); }))
        return fail(6);
    return krm::kOk;
}

uint32_t audioFileMngr::readFramesShort(const std::wstring& path, std::vector<uint8_t>& bytes)
{
    m_errorState.clearError();
    std::vector<short> work;
    const uint32_t r = readWholeStereo(path, work, m_errorState);
    if (r != krm::kOk)
        return r;
    if (!grows(m_errorState, [&] { bytes.reserve(bytes.size() + work.size() * 2); }))
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
    m_errorState.clearError();
    SndFile f(path);
    if (const uint32_t r = openStereo(f, 3, 4))
        return r;
    // A file whose samples are stored uncompressed holds what it announces
    // (checked against its size) and is read straight into the result; a
    // compressed one is decoded block by block first.
    const sf_count_t announced = f.plausibleFrames();
    if (announced < 0)
        return fail(6);
    std::vector<float> decoded;
    if (!f.sizeBounded()) {
        if (const uint32_t r = readWhole(f, decoded, m_errorState, 5, 6))
            return r;
    }
    // The sample count has to fit its 32-bit out-argument.
    const uint64_t n = uint64_t(announced) * kStereo;
    float* raw = n <= UINT32_MAX ? new (std::nothrow) float[n ? n : 1] : nullptr;
    if (raw == nullptr) {
        m_errorState.raiseFlag();
        return fail(5);
    }
    std::unique_ptr<float[]> owned(raw);
    if (f.sizeBounded()) {
        if (f.read(owned.get(), announced) != announced)
            return fail(6);
    } else {
        std::copy(decoded.begin(), decoded.end(), owned.get());
    }
    samples = std::move(owned);
    *count = uint32_t(n);
    return krm::kOk;
}

uint32_t audioFileMngr::writeFramesFloat(std::wstring path, const std::vector<uint8_t>& frames)
{
    const size_t frameCount = frames.size() / audio::kBytesPerFrame;
    std::vector<float> work(frameCount * kStereo);
    for (size_t i = 0; i < work.size(); ++i) {
        const auto s = int16_t(uint16_t(frames[2 * i] | frames[2 * i + 1] << 8));
        work[i] = float(s) * audio::kShortToFloat;
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
    m_errorState.clearError();
    // Every failure names its cause in the error text; the flag stays for a
    // lack of memory.
    const QString from = QString::fromStdWString(source);
    auto failWith = [&](uint32_t step, const QString& why) {
        m_errorState.setText("copyAudioFile: " + why);
        return fail(step);
    };
    SndFile src(source);
    if (!src)
        return failWith(1, QString("cannot read %1").arg(from) + libraryError(nullptr));
    // The block buffer holds stereo frames; a wider file would overrun it.
    if (src.info().channels != kStereo)
        return failWith(6, QString("%1 has %2 channels, not 2").arg(from).arg(src.info().channels));
    const sf_count_t frameCount = src.info().frames;
    SndFile dst(destination.toStdWString(), writeInfo(frameCount));
    if (!dst)
        return failWith(2, QString("cannot create %1").arg(destination) + libraryError(nullptr));
    // A partial working file must not pass for a complete one.
    auto abandon = [&](uint32_t step, const QString& why) {
        src.close();
        dst.close();
        QFile::remove(destination);
        return failWith(step, why);
    };
    std::unique_ptr<short[]> block(new (std::nothrow) short[kCopyBlockFrames * kStereo]);
    if (!block) {
        m_errorState.raiseFlag();
        return abandon(3, "no memory for the copy block");
    }
    sf_count_t total = 0;
    for (;;) {
        const sf_count_t got = src.read(block.get(), kCopyBlockFrames);
        if (got <= 0 && total < frameCount)
            return abandon(5, QString("%1 ended after %2 of the %3 frames it announces")
                                      .arg(from)
                                      .arg(total)
                                      .arg(frameCount) +
                                  libraryError(src.get()));
        if (sf_writef_short(dst.get(), block.get(), got) != got)
            return abandon(4, QString("writing %1 failed after %2 of %3 frames")
                                      .arg(destination)
                                      .arg(total)
                                      .arg(frameCount) +
                                  libraryError(dst.get()));
        total += got;
        if (total >= frameCount)
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return krm::kOk;
}

QString audioFileMngr::errorText()
{
    return m_errorState.errorText();
}

void audioFileMngr::clearError()
{
    m_errorState.clearError();
}

bool audioFileMngr::hasError()
{
    return m_errorState.hasError();
}
