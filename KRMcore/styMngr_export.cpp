// The export of the style manager: attack, beat and cut points of every
// section's audio, the template style fitted to the sections, and the file
// written as style part followed by audio part.
#include "styMngr.h"

#include "CAudioInfo.h"
#include "CAudioStyle.h"
#include "CSmfStyle.h"
#include "ExportText.h"
#include "Onset/SyncAnalyze.h"
#include "ResultCode.h"
#include "Transient/TransientDetector.h"
#include "base/AudioFormat.h"
#include "base/FileUtil.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

using krm::fail;
using krm::kOk;
using krm::kSectionCount;
using krm::nest;

namespace {

constexpr int kAttackBlock = 32;     // samples per detector call
constexpr int64_t kAttackLead = 80;  // an attack is reported this far before its block
constexpr double kTicksPerBeat = 1920.0;
constexpr int kSyncSampleRate = int(krm::audio::kSampleRate);
constexpr int kSyncActivityMode = 1;  // spread of each frame's spectrum

// The order in which the template's sections are laid end to end.
constexpr uint8_t kTemplateOrder[15] = {3, 1, 0, 7, 6, 13, 12, 19, 18, 8, 4, 9, 10, 15, 16};

uint16_t bit(uint8_t s)
{
    return static_cast<uint16_t>(1u << s);
}

uint16_t tickOf(uint32_t position, uint32_t spb)
{
    return static_cast<uint16_t>(static_cast<double>(position % spb) / spb * kTicksPerBeat);
}

// The detector of the export behind the sink interface.
class DetectorSink : public TransientSink {
public:
    explicit DetectorSink(TransientDetector* detector) : m_detector(detector) { }
    ~DetectorSink() override { TransientDetector::Free(m_detector); }
    int processBlock(const int16_t* samples, int n) override
    {
        return TransientDetector::ProcessBlock(m_detector, samples, n);
    }
    bool hasDetection() override { return TransientDetector::HasDetection(m_detector, 0) != 0; }

private:
    TransientDetector* m_detector;
};

int16_t sampleAt(const std::vector<uint8_t>& bytes, size_t offset)
{
    return static_cast<int16_t>(uint16_t(bytes[offset]) | (uint16_t(bytes[offset + 1]) << 8));
}

// Nearest integer, halves away from zero.
int64_t nearest(double x)
{
    return static_cast<int64_t>(std::llround(x));
}

}  // namespace

uint32_t detectTransients(const int16_t* left, const int16_t* right, uint32_t n,
                          std::vector<uint32_t>& onsets, bool* outOfMemory, TransientSink* sink)
{
    if (!left || !right)
        return fail(1);
    std::unique_ptr<DetectorSink> own;
    if (!sink) {
        TransientDetector* detector = TransientDetector::Create();
        if (!detector)
            return fail(2);
        own.reset(new (std::nothrow) DetectorSink(detector));
        if (!own) {
            TransientDetector::Free(detector);
            return fail(2);
        }
        sink = own.get();
    }
    int16_t block[kAttackBlock];
    try {
        for (uint32_t b = 0; b < n; b += kAttackBlock) {
            const int m = static_cast<int>(std::min<uint32_t>(kAttackBlock, n - b));
            for (int k = 0; k < m; ++k)
                block[k] = static_cast<int16_t>((int32_t(left[b + k]) + int32_t(right[b + k])) / 2);
            if (sink->processBlock(block, m) != 0)
                break;
            if (sink->hasDetection()) {
                const int64_t p = std::clamp<int64_t>(int64_t(b) - kAttackLead, 0, n);
                onsets.push_back(static_cast<uint32_t>(p));
            }
        }
    } catch (const std::bad_alloc&) {
        if (outOfMemory)
            *outOfMemory = true;
        return fail(3);
    }
    return kOk;
}

// ---------------------------------------------------------------- section audio

uint32_t styMngr::sectionBytes(CAudioWaveForm* form, std::vector<uint8_t>& bytes, uint32_t base)
{
    // The attack points number these steps from 2, the sync points from 1.
    if (!form)
        return fail(base);
    CAudioWaveData* data = form->getData();
    if (!data)
        return fail(base + 1);
    uint32_t size = 0;
    if (data->getDataSize(&size) != kOk)
        return fail(base + 2);
    if (size == 0) {
        std::string name;
        data->getFileName(name);
        CAudioStyleDecorator reader;
        const uint32_t r = reader.readWaveFile(bytes, name);
        if (r == kOk)
            return kOk;
        m_error.setTextOnce(krm::waveReadErrorText(QString::fromStdString(name)));
        return nest(r, base + 5);
    }
    std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[size]);
    if (!copy) {
        m_error.setError(QString());
        return fail(base + 3);
    }
    data->getData(copy.get(), size);
    try {
        bytes.assign(copy.get(), copy.get() + size);
    } catch (...) {
        m_error.setError(QString());
        return fail(base + 4);
    }
    return kOk;
}

// ---------------------------------------------------------------- attack points

uint32_t styMngr::makeAttackPoints(uint8_t s, CAudioWaveForm* form, uint16_t& attackMask, TransientSink* sink)
{
    std::vector<uint8_t> bytes;
    if (const uint32_t r = sectionBytes(form, bytes, 2))
        return r;
    return attackPointsFrom(s, form, bytes, attackMask, sink);
}

uint32_t styMngr::attackPointsFrom(uint8_t s, CAudioWaveForm* form, const std::vector<uint8_t>& bytes,
                                   uint16_t& attackMask, TransientSink* sink)
{
    const uint32_t n = static_cast<uint32_t>(bytes.size() / 4);
    std::vector<uint32_t> onsets;
    if (n > 0) {
        std::vector<int16_t> left, right;
        try {
            left.resize(n);
            right.resize(n);
        } catch (const std::bad_alloc&) {
            m_error.setError(QString());
            return fail(8);
        }
        for (uint32_t i = 0; i < n; ++i) {
            left[i] = sampleAt(bytes, 4 * size_t(i));
            right[i] = sampleAt(bytes, 4 * size_t(i) + 2);
        }
        bool outOfMemory = false;
        const uint32_t r = detectTransients(left.data(), right.data(), n, onsets, &outOfMemory, sink);
        if (outOfMemory)
            m_error.setError(QString());
        if (r != kOk)
            return fail(9);
    }
    CAudioWaveInfo* info = form->getInfo();
    if (!info)
        return fail(0xA);
    const uint32_t spb = samplesPerBeat(m_info.sectionLength[s], m_info.sectionBars[s], m_info.beatsPerBar);
    return addAttackPoints(s, onsets, spb, info, attackMask);
}

uint32_t styMngr::addAttackPoints(uint8_t s, const std::vector<uint32_t>& onsets, uint32_t spb,
                                  CAudioWaveInfo* info, uint16_t& attackMask)
{
    // A section of 0 bars or 0 beats per bar has no beat to place points in.
    if (spb == 0)
        return fail(0xB);
    for (size_t i = 0; i < onsets.size(); ++i) {
        if (int64_t(i) >= m_maxPoints) {
            attackMask |= bit(s);
            return kOk;
        }
        const uint32_t p = onsets[i];
        CAudioPoint* point =
            new (std::nothrow) CAudioPoint(p, static_cast<uint16_t>(p / spb), tickOf(p, spb));
        if (!point) {
            m_error.setError(QString());
            return fail(0xC);
        }
        if (info->addAttackPoint(point) != kOk) {
            delete point;
            return fail(0xD);
        }
    }
    return kOk;
}

// ---------------------------------------------------------------- beat points

uint32_t styMngr::makeBeatPoints(uint8_t s, CAudioWaveForm* form, uint16_t& beatMask)
{
    CAudioWaveInfo* info = form ? form->getInfo() : nullptr;
    if (!info)
        return kOk;
    if (info->clearBeatPoints() != kOk)
        return fail(1);
    const uint64_t beats = uint64_t(m_info.beatsPerBar) * m_info.sectionBars[s];
    const uint32_t length = m_info.sectionLength[s];
    for (uint64_t i = 0; i <= beats; ++i) {
        if (int64_t(i) >= m_limitB) {
            beatMask |= bit(s);
            return kOk;
        }
        uint32_t position = 0;
        if (i == beats)
            position = length;
        else if (i > 0)
            position = static_cast<uint32_t>(static_cast<double>(length) / double(beats) * double(i));
        CAudioPoint* point = new (std::nothrow) CAudioPoint(position, static_cast<uint16_t>(i), 0);
        if (!point) {
            m_error.setError(QString());
            return fail(2);
        }
        if (info->addBeatPoint(point) != kOk) {
            delete point;
            return fail(3);
        }
    }
    return kOk;
}

// ---------------------------------------------------------------- sync points

uint32_t styMngr::findCutPoints(uint32_t part, uint32_t parts, uint8_t s, const std::vector<uint8_t>& bytes,
                                std::vector<uint32_t>& cuts)
{
    const uint64_t frames = bytes.size() / 4;
    if (frames == 0 || parts == 0)
        return fail(1);
    const double q = double(frames) / parts;
    const uint64_t first = static_cast<uint64_t>(part * q);
    const uint64_t end = part + 1 >= parts ? frames : std::min<uint64_t>(frames, uint64_t((part + 1) * q));
    if (end <= first)
        return fail(2);
    std::vector<int16_t> mono(end - first);
    for (uint64_t f = first; f < end; ++f) {
        const int left = sampleAt(bytes, 4 * f);
        const int right = sampleAt(bytes, 4 * f + 2);
        mono[f - first] = static_cast<int16_t>((right + left) * 0.5);
    }

    const uint64_t beats = uint64_t(m_info.beatsPerBar) * m_info.sectionBars[s];
    if (beats == 0)
        return fail(3);
    const uint32_t length = m_info.sectionLength[s];
    const double a = double(length) / double(beats);
    const double b = double(length) / parts;
    const int64_t low = nearest(part * b);
    const int64_t high = nearest((part + 1) * b);
    // Markers are taken relative to the part's first frame, and one closer
    // than the analysis margin allows to the previous kept one is merged
    // into it, so that every interval leaves the analysis a choice.
    const SyncAnalyzeSettings settings = syncAnalyzeSettings(kSyncSampleRate);
    const int64_t minGap = 2 * int64_t(settings.margin) + 2;
    std::vector<uint32_t> markers;
    bool used = false;
    for (uint64_t k = 0; k <= beats; ++k) {
        int64_t pos = nearest(double(k) * a);
        if (pos < low || pos > high)
            continue;
        used = true;
        if (k == 0)
            pos = 0;
        if (k == beats)
            pos = length;
        const int64_t rel = std::max<int64_t>(0, pos - int64_t(first));
        if (!markers.empty() && rel - int64_t(markers.back()) < minGap)
            continue;
        markers.push_back(static_cast<uint32_t>(rel));
    }
    if (!used)
        return fail(4);

    uint32_t* results = nullptr;
    uint32_t count = 0;
    syncAnalyze(&results, &count, mono.data(), static_cast<uint32_t>(mono.size()), markers.data(),
                static_cast<uint32_t>(markers.size()), kSyncSampleRate, kSyncActivityMode);
    struct Release {
        uint32_t** p;
        ~Release() { syncAnalyzeRelease(p); }
    } release {&results};
    for (uint32_t k = 0; k < count; ++k)
        cuts.push_back(static_cast<uint32_t>(results[k] + first));
    return kOk;
}

uint32_t styMngr::makeSyncPoints(uint8_t s, CAudioWaveForm* form, uint16_t& syncMask)
{
    std::vector<uint8_t> bytes;
    if (const uint32_t r = sectionBytes(form, bytes, 1))
        return r;
    return syncPointsFrom(s, form, bytes, syncMask);
}

uint32_t styMngr::syncPointsFrom(uint8_t s, CAudioWaveForm* form, const std::vector<uint8_t>& bytes,
                                 uint16_t& syncMask)
{
    CAudioStyleWaveFormat* format = form->getStyleFormat();
    if (!format)
        return kOk;
    if (format->clearSyncroPoints() != kOk)
        return fail(7);

    std::vector<uint32_t> cuts;
    const uint64_t frames = bytes.size() / 4;
    uint32_t parts = 1;
    while (!bytes.empty()) {
        try {
            for (uint32_t j = 0; j < parts; ++j) {
                if (findCutPoints(j, parts, s, bytes, cuts) != kOk)
                    return fail(8);
                if (int64_t(cuts.size()) > m_limitC)
                    break;
            }
            syncMask &= static_cast<uint16_t>(~bit(s));
            break;
        } catch (...) {
            // Out of memory inside the analysis: try again on parts half as
            // long, from a clean list so that no cut is counted twice.
            syncMask |= bit(s);
            m_error.setError(QString());
            parts *= 2;
            if (2 * uint64_t(parts) > frames)
                return fail(0xC);
            cuts.clear();
        }
    }

    const uint32_t spb = samplesPerBeat(m_info.sectionLength[s], m_info.sectionBars[s], m_info.beatsPerBar);
    if (spb == 0)
        return fail(9);
    bool havePrevious = false;
    uint32_t previousBeat = 0;
    for (uint32_t c : cuts) {
        const uint32_t beat = c / spb;
        // One cut point per beat: a later one in the same beat replaces
        // the earlier, which keeps the running numbers consecutive.
        if (havePrevious && beat == previousBeat)
            format->dropFinalSyncroPoint();
        CSyncroPoint* point = new (std::nothrow) CSyncroPoint;
        if (!point) {
            m_error.setError(QString());
            return fail(0xA);
        }
        point->setPosition(c);
        point->setIndex(static_cast<uint16_t>(format->getSyncroPoints().size()));
        point->setOffset(tickOf(c, spb));
        if (format->addSyncroPoint(point) != kOk) {
            delete point;
            return fail(0xB);
        }
        havePrevious = true;
        previousBeat = beat;
        if (int64_t(format->getSyncroPoints().size()) >= m_limitC) {
            syncMask |= bit(s);
            return kOk;
        }
    }
    return kOk;
}

// ---------------------------------------------------------------- all sections

uint32_t styMngr::analyzeSections(uint16_t& attackMask, uint16_t& beatMask, uint16_t& syncMask)
{
    for (uint8_t s = 0; s < kSectionCount; ++s) {
        CAudioFile* file = m_audioInfo->findFileForSection(sectionToStyleId(s));
        CAudioWaveForm* form = file ? file->getWaveForm() : nullptr;
        CAudioWaveData* data = form ? form->getData() : nullptr;
        if (!data)
            continue;
        std::string name;
        if (const uint32_t r = data->getFileName(name))
            return nest(r, 1);
        // The frames are read once for the attack and the sync points: a
        // failed read is the attack points' failure, which comes first.
        std::vector<uint8_t> bytes;
        if (const uint32_t r = sectionBytes(form, bytes, 2))
            return nest(r, 2);
        if (const uint32_t r = attackPointsFrom(s, form, bytes, attackMask, nullptr))
            return nest(r, 2);
        if (const uint32_t r = makeBeatPoints(s, form, beatMask))
            return nest(r, 3);
        if (const uint32_t r = syncPointsFrom(s, form, bytes, syncMask))
            return nest(r, 4);
    }
    return kOk;
}

// ---------------------------------------------------------------- template style

uint32_t styMngr::templateTimeSignature(uint32_t& word)
{
    word = 0x04021808u;  // 4/4, 24 clocks per click, 8 32nd notes per quarter
    if (!m_audioInfo || m_audioInfo->files.empty())
        return kOk;
    const CAudioFile* file = m_audioInfo->files.front().get();
    if (!file)
        return fail(2);
    const CAudioWaveForm* form = file->getWaveForm();
    if (!form)
        return fail(3);
    const CAudioStyleWaveFormat* format = form->getStyleFormat();
    if (!format)
        return fail(4);
    uint8_t bytes[4] = {0, 0, 0, 0};
    uint32_t count = sizeof bytes;
    if (const uint32_t r = format->getTimeSignature(bytes, &count))
        return nest(r, 5);
    word = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
    return kOk;
}

uint32_t styMngr::templateFailure(uint32_t code)
{
    m_error.setTextOnce(krm::templateErrorText(m_templatePath));
    return code;
}

uint32_t styMngr::buildTemplateStyle(std::vector<uint8_t>& out)
{
    out.clear();
    if (m_templatePath.isEmpty())
        return templateFailure(fail(1));
    QFile file(m_templatePath);
    if (!file.open(QIODevice::ReadOnly))
        return templateFailure(fail(2));
    const qint64 size = file.size();
    if (size < 1)
        return templateFailure(fail(3));
    const QByteArray raw = file.readAll();
    if (raw.size() != size)
        return templateFailure(fail(4));
    file.close();

    CSmfStyleDecoratorForASFF style;
    const std::vector<uint8_t> bytes(raw.begin(), raw.end());
    if (const uint32_t r = style.load(bytes))
        return templateFailure(nest(r, 5));
    const uint32_t tempo = m_info.tempo ? m_info.tempo : 120;
    if (const uint32_t r = style.setTempo(60000000u / tempo))
        return nest(r, 6);
    if (m_info.beatUnit == 0 || m_info.beatUnit > 16 || (m_info.beatUnit & (m_info.beatUnit - 1)) != 0)
        return fail(7);
    uint32_t word = 0;
    if (const uint32_t r = templateTimeSignature(word))
        return nest(r, 8);
    if (const uint32_t r = style.setTimeSignature(word))
        return nest(r, 9);

    // Ticks at 960 per quarter note; the template's first bar stays in
    // front of the sections.
    const uint32_t ticksPerBar = (3840u / m_info.beatUnit) * m_info.beatsPerBar;
    uint32_t start = ticksPerBar;
    for (uint8_t slot : kTemplateOrder) {
        uint16_t bars = 0;
        if (const uint32_t r = getSlotBarCount(slot, bars))
            return nest(r, 0xA);
        if (bars == 0) {
            if (const uint32_t r = style.removeSectionMarker(slot))
                return nest(r, 0xC);
        } else if (const uint32_t r = style.moveSectionMarker(slot, start)) {
            return nest(r, 0xB);
        }
        start += bars * ticksPerBar;
    }
    if (const uint32_t r = style.setEndOfTrackTime(start))
        return nest(r, 0xD);
    if (const uint32_t r = style.save(out))
        return nest(r, 0xE);
    if (out.size() > kExportBufferBytes) {
        out.clear();
        return fail(0xF);
    }
    return kOk;
}

// ---------------------------------------------------------------- audio part and file

uint32_t styMngr::appendAudioPart(QFileDevice& file, uint64_t& bytes)
{
    bytes = 0;
    if (!m_audioInfo)
        return fail(1);
    // One chunk at a time, so the export never holds the whole part (every
    // section's audio) in memory at once.
    CAudioStyle::FilePartSink sink(file);
    CAudioStyleDecorator writer;
    const uint32_t r = writer.writeAudioPart(m_audioInfo.get(), sink, bytes);
    if (sink.failed()) {
        m_error.setTextOnce(krm::writeErrorText(file.fileName()));
        return nest(fail(1), 3);
    }
    // Judged by what comes out, as a part built whole would be: a failed
    // or empty part is no part.
    return r == kOk && bytes > 0 ? kOk : fail(2);
}

uint32_t styMngr::exportStyle(const std::wstring& path, uint32_t& size, uint16_t& attackMask,
                              uint16_t& beatMask, uint16_t& syncMask)
{
    size = 0;
    if (path.empty() || !m_audioInfo)
        return fail(1);
    if (const uint32_t r = analyzeSections(attackMask, beatMask, syncMask))
        return nest(r, 2);

    std::vector<uint8_t> style;
    {
        const uint32_t r = buildTemplateStyle(style);
        if (r != kOk || style.empty())
            return nest(r, 3);
    }
    CSmfStyleDecorator document;
    if (const uint32_t r = document.load(style))
        return nest(r, 4);
    if (const uint32_t r = document.keepSections(0xFFFFFFFFu))
        return nest(r, 5);
    if (const uint32_t r = document.save(style))
        return nest(r, 6);

    // Everything goes into a temporary file beside the target, which
    // replaces the target only once all of it is written: a failed export
    // leaves an existing file as it was and no partial file behind.
    const QString target = QString::fromStdWString(path);
    // What cannot be written names the target, whether the target itself,
    // its folder or the disk refused it.
    const auto writeFailure = [this, &target](uint32_t code) {
        m_error.setTextOnce(krm::writeErrorText(target));
        return code;
    };
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() && (!targetInfo.isFile() || !targetInfo.isWritable()))
        return writeFailure(fail(7));
    krm::SafeSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return writeFailure(fail(7));
    if (file.write(reinterpret_cast<const char*>(style.data()), qint64(style.size())) !=
            qint64(style.size()) ||
        !file.flush())
        return writeFailure(fail(7));

    uint64_t audioBytes = 0;
    if (const uint32_t r = appendAudioPart(file, audioBytes))
        return nest(r, 8);
    if (!file.flush())
        return writeFailure(nest(nest(fail(1), 3), 8));
    if (!file.commit())
        return writeFailure(fail(0xA));
    size = static_cast<uint32_t>(style.size() + audioBytes);
    return kOk;
}
