#include "CaudioOut_host.h"

#include "AsioDrivers.h"

namespace Tessaro {

CaudioOutDeviceInfo_host::CaudioOutDeviceInfo_host(int index, const QString& driverName, int outputs,
                                                   int bufferFrames, int maxBufferFrames)
    : m_driverIndex(index),
      m_name(QStringLiteral("ASIO: %1").arg(driverName)),
      m_outputs(outputs),
      m_bufferFrames(bufferFrames),
      m_maxBufferFrames(maxBufferFrames)
{ }

bool CaudioOutDeviceInfo_host::showControlPanel()
{
    return CasioDriverSession(m_driverIndex).showControlPanel();
}

CaudioOutDevice_host::CaudioOutDevice_host(int index, QWeakPointer<CaudioOutCallbackIF> callback)
    : m_driverIndex(index), m_callback(std::move(callback))
{ }

CaudioOutDevice_host::~CaudioOutDevice_host()
{
    CaudioOutDevice_host::close();
    m_callback.clear();
}

bool CaudioOutDevice_host::open(int leftChannel, int rightChannel, int frames, double sampleRate)
{
    if (m_opened)
        return false;
    m_opened = true;
    CasioHostEngine& engine = CasioHostEngine::instance();
    int minimum = 0, maximum = 0, preferred = 0;
    if (engine.loadDriver(m_driverIndex, sampleRate) &&
        engine.getBufferSize(m_driverIndex, minimum, maximum, preferred)) {
        int size = frames;
        if (preferred != frames) {
            notify(preferred);
            size = preferred;
        }
        if (engine.start(m_driverIndex, leftChannel, rightChannel, size, this))
            return true;
    }
    close();
    return false;
}

bool CaudioOutDevice_host::close()
{
    if (!m_opened)
        return false;
    m_opened = false;
    // During exit the engine may be gone before the device's holder; its
    // destructor has stopped the stream then.
    if (CasioHostEngine* engine = CasioHostEngine::existing())
        engine->stop(m_driverIndex);
    return true;
}

bool CaudioOutDevice_host::notify(int frames)
{
    const QSharedPointer<CaudioOutCallbackIF> client = m_callback.toStrongRef();
    return client ? client->notify(frames) : false;
}

int CaudioOutDevice_host::render(int16_t left[], int16_t right[], int frames)
{
    // Holding the client for the whole render keeps it alive meanwhile.
    const QSharedPointer<CaudioOutCallbackIF> client = m_callback.toStrongRef();
    return client ? client->render(left, right, frames) : 0;
}

bool CaudioOutDeviceManager_host::enumerate(DeviceInfoList& list)
{
    CasioHostEngine& engine = CasioHostEngine::instance();
    const int count = engine.drivers() ? engine.drivers()->count() : 0;
    list.reserve(list.size() + count);
    for (int i = 0; i < count; ++i) {
        const CasioDriverSession session(i);
        const QString name = session.driverName();
        const int outputs = session.outputChannels();
        const int preferred = session.preferredBufferFrames();
        if (!name.isEmpty() && outputs != 0 && preferred != 0)
            list.append(QSharedPointer<CaudioOutDeviceInfoIF>(
                new CaudioOutDeviceInfo_host(i, name, outputs, preferred, preferred)));
    }
    return true;
}

QSharedPointer<CaudioOutDeviceIF>
CaudioOutDeviceManager_host::createDevice(QSharedPointer<CaudioOutDeviceInfoIF> info,
                                          QWeakPointer<CaudioOutCallbackIF> callback)
{
    const auto* host = dynamic_cast<const CaudioOutDeviceInfo_host*>(info.data());
    if (!host)
        return {};
    return QSharedPointer<CaudioOutDeviceIF>(new CaudioOutDevice_host(host->index(), std::move(callback)));
}

}  // namespace Tessaro
