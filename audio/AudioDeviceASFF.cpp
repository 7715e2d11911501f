#include "AudioDeviceASFF.h"

#include "AudioOutDeviceCallbackSeq.h"
#include "CaudioOutFactory.h"
#include "ResultCode.h"
#include "WavSeeker_libSndFile.h"

using krm::fail;
using krm::kOk;

namespace {

QSharedPointer<AudioDeviceASFF>& processHolder()
{
    static QSharedPointer<AudioDeviceASFF> holder;
    return holder;
}

}  // namespace

AudioDeviceASFF::AudioDeviceASFF(WavSeeker_libSndFile* song, WavSeeker_libSndFile* click1,
                                 WavSeeker_libSndFile* click2, uint8_t* clickFlag, uint8_t* songLevel,
                                 uint8_t* secondClickFlag)
    : m_songReader(song),
      m_clickReader1(click1),
      m_clickReader2(click2),
      m_clickFlag(clickFlag),
      m_songLevel(songLevel),
      m_secondClickFlag(secondClickFlag)
{ }

AudioDeviceASFF::~AudioDeviceASFF()
{
    // No render may emit while the holder goes: stop first, then the device
    // (its close joins the render thread), then the rest.
    stop();
    if (m_device)
        m_device->close();
    m_callback.reset();
    m_device.reset();
    m_devices.clear();
    m_manager.reset();
}

uint32_t AudioDeviceASFF::create(WavSeeker_libSndFile* song, WavSeeker_libSndFile* click1,
                                 WavSeeker_libSndFile* click2, uint8_t* clickFlag, uint8_t* songLevel,
                                 uint8_t* secondClickFlag)
{
    QSharedPointer<AudioDeviceASFF>& holder = processHolder();
    if (holder)
        return kOk;
    holder.reset(new AudioDeviceASFF(song, click1, click2, clickFlag, songLevel, secondClickFlag));
    if (!holder)
        return fail(1);
    const uint32_t r = holder->init();
    return int32_t(r) < 0 ? krm::nest(r, 2) : kOk;
}

QSharedPointer<AudioDeviceASFF> AudioDeviceASFF::instance()
{
    return processHolder();
}

uint32_t AudioDeviceASFF::init()
{
    const QSharedPointer<Tessaro::CaudioOutFactory> factory = Tessaro::CaudioOutFactory::instance();
    if (!factory)
        return fail(1);
    return init(factory->createDeviceManager());
}

uint32_t AudioDeviceASFF::init(QSharedPointer<Tessaro::CaudioOutDeviceManagerIF> manager)
{
    m_manager = std::move(manager);
    if (!m_manager)
        return fail(2);
    m_manager->enumerate(m_devices);
    if (m_devices.isEmpty())
        return fail(3);
    selectDevice(0);
    return kOk;
}

uint32_t AudioDeviceASFF::deviceCount(int& count) const
{
    count = m_devices.size();
    return kOk;
}

uint32_t AudioDeviceASFF::deviceName(int index, QString& name) const
{
    if (index < 0 || index >= m_devices.size() || !m_devices[index])
        return fail(1);
    name = m_devices[index]->name();
    return kOk;
}

uint32_t AudioDeviceASFF::findDeviceByName(const QString& name, bool& found, int& index) const
{
    for (int i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i] && m_devices[i]->name() == name) {
            found = true;
            index = i;
        }
    }
    return kOk;
}

uint32_t AudioDeviceASFF::selectDeviceByName(const QString& name)
{
    bool found = false;
    int index = 0;
    findDeviceByName(name, found, index);
    return found ? selectDevice(index) : kOk;
}

uint32_t AudioDeviceASFF::selectDevice(int index)
{
    if (index < 0 || index >= m_devices.size() || !m_manager)
        return fail(1);
    m_selected = index;
    // The old device goes first, so that both never hold the output at once.
    if (m_device)
        m_device->close();
    m_device = m_manager->createDevice(m_devices[index], m_callback.toWeakRef());
    return m_device ? kOk : fail(2);
}

uint32_t AudioDeviceASFF::open(int frames, double sampleRate)
{
    if (!m_device)
        return fail(1);
    return m_device->open(0, 1, frames, sampleRate) ? kOk : fail(2);
}

uint32_t AudioDeviceASFF::close()
{
    if (!m_device)
        return fail(1);
    m_device->close();
    return kOk;
}

uint32_t AudioDeviceASFF::play()
{
    if (m_callback)
        m_callback->setPlaying(true);
    m_playing = true;
    return kOk;
}

uint32_t AudioDeviceASFF::stop()
{
    m_playing = false;
    if (m_callback)
        m_callback->setPlaying(false);
    return kOk;
}

void AudioDeviceASFF::setLoop(bool loop)
{
    if (m_callback)
        m_callback->setLoop(loop);
}

int AudioDeviceASFF::getLocation() const
{
    return m_callback ? m_callback->currentFrame() : 0;
}

uint32_t AudioDeviceASFF::prepareCallback(int loopStart, int loopEnd, int startFrame,
                                          const std::vector<int32_t>& triggers1,
                                          const std::vector<int32_t>& triggers2)
{
    if (!m_callback)
        m_callback.reset(new AudioOutDeviceCallbackSeq(this, m_songReader, m_clickReader1, m_clickReader2,
                                                       m_clickFlag, m_songLevel, m_secondClickFlag));
    if (!m_callback)
        return fail(1);
    const int end = loopEnd == -1 ? (m_songReader ? m_songReader->length() : 0) : loopEnd;
    m_callback->setRange(loopStart, end, startFrame);
    m_callback->setTriggers(triggers1, triggers2);
    return kOk;
}

void AudioDeviceASFF::setSources(WavSeeker_libSndFile* song, WavSeeker_libSndFile* click1,
                                 WavSeeker_libSndFile* click2, uint8_t* clickFlag, uint8_t* songLevel,
                                 uint8_t* secondClickFlag)
{
    m_songReader = song;
    m_clickReader1 = click1;
    m_clickReader2 = click2;
    m_clickFlag = clickFlag;
    m_songLevel = songLevel;
    m_secondClickFlag = secondClickFlag;
    if (m_callback)
        m_callback->setSources(song, click1, click2, clickFlag, songLevel, secondClickFlag);
}
