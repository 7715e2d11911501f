#include "KRMAudition.h"

#include "AudioDeviceASFF.h"
#include "BeatGrid.h"
#include "CKRMcore.h"
#include "ResultCode.h"
#include "WavSeeker_libSndFile.h"

#include <QDebug>
#include <algorithm>
#include <limits>

using krm::fail;
using krm::kOk;
using krm::nest;
using krm::nestOnFail;

namespace {

int32_t clampToI32(int64_t v)
{
    return int32_t(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// A click file must be read as interleaved stereo frames at the output's
// rate; anything else would be misread, so its click stays silent.
void openClickSound(WavSeeker_libSndFile& reader, const QString& path)
{
    if (!reader.reopen(path.toStdWString())) {
        qDebug() << "click sound cannot be opened:" << path;
        return;
    }
    if (reader.hasFile() &&
        (reader.channels() != 2 || reader.sampleRate() != float(KRMAudition::kSampleRate))) {
        qDebug() << "click sound ignored, it is not 2 channels at 44100 Hz:" << path << reader.channels()
                 << reader.sampleRate();
        reader.reopen(std::wstring());
    }
}

}  // namespace

KRMAudition::KRMAudition(uint8_t* clickFlag, uint8_t* songLevel, uint8_t* secondClickFlag)
    : m_clickFlag(clickFlag),
      m_songLevel(songLevel),
      m_secondClickFlag(secondClickFlag),
      m_songReader(std::make_unique<WavSeeker_libSndFile>()),
      m_clickReader1(std::make_unique<WavSeeker_libSndFile>()),
      m_clickReader2(std::make_unique<WavSeeker_libSndFile>())
{ }

KRMAudition::~KRMAudition()
{
    // The holder outlives this player: it must not keep rendering from the
    // readers and bytes about to go.
    const QSharedPointer<AudioDeviceASFF> holder = AudioDeviceASFF::instance();
    if (holder && holder->usesSongReader(m_songReader.get())) {
        holder->stop();
        holder->close();
        holder->setSources(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    }
}

uint32_t KRMAudition::openDevice(const QString& name)
{
    m_deviceName = name;
    if (m_songReader && m_clickReader1 && m_clickReader2) {
        const uint32_t r =
            AudioDeviceASFF::create(m_songReader.get(), m_clickReader1.get(), m_clickReader2.get(),
                                    m_clickFlag, m_songLevel, m_secondClickFlag);
        if (r != kOk)
            return nest(r, 1);
    }
    const QSharedPointer<AudioDeviceASFF> holder = AudioDeviceASFF::instance();
    if (!holder)
        return kOk;
    m_deviceName = resolveDeviceName(*holder);
    holder->selectDeviceByName(m_deviceName);
    holder->open(kBufferFrames, kSampleRate);
    connect(holder.data(), &AudioDeviceASFF::signalStop, this, &KRMAudition::stopped, Qt::UniqueConnection);
    return kOk;
}

QString KRMAudition::resolveDeviceName(AudioDeviceASFF& holder) const
{
    if (!m_deviceName.isEmpty())
        return m_deviceName;
    QString first;
    holder.deviceName(0, first);
    return first;
}

uint32_t KRMAudition::closeDevice()
{
    const QSharedPointer<AudioDeviceASFF> holder = AudioDeviceASFF::instance();
    if (!holder)
        return fail(1);
    disconnect(holder.data(), &AudioDeviceASFF::signalStop, this, &KRMAudition::stopped);
    holder->close();
    return kOk;
}

void KRMAudition::setClickSounds(const QString& first, const QString& second)
{
    m_clickPath1 = first;
    m_clickPath2 = second;
    openClickSound(*m_clickReader1, first);
    openClickSound(*m_clickReader2, second);
}

QSharedPointer<AudioDeviceASFF> KRMAudition::audioDevice() const
{
    return AudioDeviceASFF::instance();
}

uint32_t KRMAudition::updateDeviceName()
{
    const QSharedPointer<AudioDeviceASFF> holder = AudioDeviceASFF::instance();
    if (!holder)
        return fail(1);
    QString name;
    if (holder->deviceName(holder->selectedDevice(), name) != kOk)
        return fail(2);
    m_deviceName = name;
    return kOk;
}

uint32_t KRMAudition::play(CKRMcore* core, uint8_t waveIndex, uint8_t sectionIndex, int startFrame,
                           int endFrame, bool loop, uint8_t halfBeat, uint8_t pickup, uint8_t reserved,
                           uint8_t mode)
{
    (void)reserved;
    if (!core)
        return nest(fail(1), 1);
    core->clearError();
    const QSharedPointer<AudioDeviceASFF> holder = AudioDeviceASFF::instance();
    if (holder && holder->isPlaying()) {
        holder->stop();
        return kOk;
    }
    const uint32_t e =
        startPlayback(*core, waveIndex, sectionIndex, startFrame, endFrame, loop, halfBeat, pickup, mode);
    if (e == kOk)
        return kOk;
    core->setErrorText(QStringLiteral("#0077 audition process returns some error! [%1]").arg(e, 0, 16));
    if (holder)
        holder->stop();
    return nest(e, 1);
}

uint32_t KRMAudition::playLoop(CKRMcore* core, uint8_t waveIndex, uint8_t sectionIndex, int startFrame,
                               int endFrame, uint8_t halfBeat, uint8_t pickup, uint8_t reserved, uint8_t mode)
{
    return play(core, waveIndex, sectionIndex, startFrame, endFrame, true, halfBeat, pickup, reserved, mode);
}

uint32_t KRMAudition::startPlayback(CKRMcore& core, uint8_t waveIndex, uint8_t sectionIndex, int startFrame,
                                    int endFrame, bool loop, uint8_t halfBeat, uint8_t pickup, uint8_t mode)
{
    const QSharedPointer<AudioDeviceASFF> holder = AudioDeviceASFF::instance();
    if (!holder)
        return fail(0xb);
    if (holder->isPlaying()) {
        holder->stop();
        return kOk;
    }
    WaveInfoRecord* wave = nullptr;
    if (const uint32_t r = core.getWavInfo(waveIndex, &wave))
        return nest(r, 1);
    if (!wave)
        return fail(1);
    if (const uint32_t r = holder->close())
        return nest(r, 2);
    uint8_t beatsPerBar = 4;
    uint8_t beatUnit = 4;
    if (const uint32_t r = core.getTimeSig(&beatsPerBar, &beatUnit))
        return nest(r, 3);
    m_songReader->reopen(wave->path);

    std::vector<int32_t> list1;
    std::vector<int32_t> list2;
    if (mode == 0) {
        const uint32_t r = buildClickTriggers(core, waveIndex, sectionIndex, *wave, beatsPerBar, halfBeat,
                                              pickup, startFrame, endFrame, list1, list2);
        if (r != kOk)
            return nest(r, 4);
    }
    attachSources(*holder);
    if (const uint32_t r = holder->prepareCallback(startFrame, endFrame, startFrame, list1, list2))
        return nest(r, 7);
    return selectAndStart(*holder, loop, 8);
}

void KRMAudition::attachSources(AudioDeviceASFF& holder)
{
    holder.setSources(m_songReader.get(), m_clickReader1.get(), m_clickReader2.get(), m_clickFlag,
                      m_songLevel, m_secondClickFlag);
}

uint32_t KRMAudition::selectAndStart(AudioDeviceASFF& holder, bool loop, uint32_t selectStep)
{
    // A fresh device object wired to the reprogrammed render. A stored name
    // that is not listed (the output went away) keeps the selected output
    // rather than opening one that renders nothing.
    bool found = false;
    int index = holder.selectedDevice();
    holder.findDeviceByName(m_deviceName, found, index);
    if (const uint32_t r = holder.selectDevice(index))
        return nest(r, selectStep);
    if (const uint32_t r = holder.open(kBufferFrames, kSampleRate))
        return nest(r, selectStep + 1);
    holder.setLoop(loop);
    if (holder.play() != kOk)
        return fail(selectStep + 2);
    return kOk;
}

uint32_t KRMAudition::stop()
{
    const QSharedPointer<AudioDeviceASFF> holder = AudioDeviceASFF::instance();
    if (!holder)
        return fail(1);
    holder->stop();
    return kOk;
}

int KRMAudition::getLocation() const
{
    const QSharedPointer<AudioDeviceASFF> holder = AudioDeviceASFF::instance();
    return holder ? holder->getLocation() : -1;
}

uint32_t KRMAudition::togglePlayStretched(const std::wstring& path, int startFrame, int endFrame, bool loop,
                                          const std::vector<int32_t>& triggers1,
                                          const std::vector<int32_t>& triggers2)
{
    const QSharedPointer<AudioDeviceASFF> holder = AudioDeviceASFF::instance();
    if (holder && holder->isPlaying()) {
        holder->stop();
        return kOk;
    }
    return nestOnFail(playStretchedFile(path, startFrame, endFrame, loop, triggers1, triggers2), 1);
}

uint32_t KRMAudition::playStretchedFile(const std::wstring& path, int startFrame, int endFrame, bool loop,
                                        const std::vector<int32_t>& triggers1,
                                        const std::vector<int32_t>& triggers2)
{
    const QSharedPointer<AudioDeviceASFF> holder = AudioDeviceASFF::instance();
    if (!holder)
        return fail(6);
    if (holder->isPlaying()) {
        holder->stop();
        return kOk;
    }
    if (const uint32_t r = holder->close())
        return nest(r, 1);
    m_songReader->reopen(path);
    attachSources(*holder);
    if (const uint32_t r = holder->prepareCallback(startFrame, endFrame, startFrame, triggers1, triggers2))
        return nest(r, 2);
    return selectAndStart(*holder, loop, 3);
}

uint32_t KRMAudition::buildClickTriggers(CKRMcore& core, uint8_t waveIndex, uint8_t sectionIndex,
                                         const WaveInfoRecord& wave, uint8_t beatsPerBar, uint8_t halfBeat,
                                         uint8_t pickup, int startFrame, int endFrame,
                                         std::vector<int32_t>& list1, std::vector<int32_t>& list2)
{
    list1.clear();
    list2.clear();
    const uint8_t grid = halfBeat ? 1 : 0;
    uint32_t s = 0;
    uint32_t t = 0;
    // A negative end means "to the end of the wave": the last beat.
    if (const uint32_t r = core.beatIndexAtAddress(waveIndex, grid, uint32_t(std::max(startFrame, 0)), s))
        return nest(r, 1);
    if (const uint32_t r = core.beatIndexAtAddress(waveIndex, grid, uint32_t(endFrame), t))
        return nest(r, 2);
    if (beatsPerBar == 0)
        return fail(3);

    const int64_t b = beatsPerBar;
    const int64_t u = pickup ? (int64_t(t) - int64_t(s)) % b : 0;
    const BeatGridLayout layout(wave.beats.size(), wave.beatStep, grid);
    for (uint64_t k = s, e = layout.entryOf(s); layout.holds(e); ++k, e += layout.stride) {
        const int32_t offset = clampToI32(int64_t(secondsToSamples(wave.beats[size_t(e)])) - startFrame);
        const int64_t fromStart = int64_t(k - s);
        if (krm::isIntro(sectionIndex) && fromStart < u)
            list2.push_back(offset);  // the pickup of an intro
        else if ((fromStart - u) % b != 0)
            list2.push_back(offset);
        else
            list1.push_back(offset);
    }
    return kOk;
}

void KRMAudition::stopped()
{
    if (const QSharedPointer<AudioDeviceASFF> holder = AudioDeviceASFF::instance())
        holder->stop();
    emit signalStop();
}

void KRMAudition::location()
{
    const QSharedPointer<AudioDeviceASFF> holder = AudioDeviceASFF::instance();
    if (holder && holder->isPlaying())
        emit signalLocation();
}
