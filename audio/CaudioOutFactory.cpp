#include "CaudioOutFactory.h"

namespace Tessaro {

CaudioOutDeviceManager_linux::CaudioOutDeviceManager_linux() : m_families {&m_host, &m_alsa, &m_null}
{ }

bool CaudioOutDeviceManager_linux::enumerate(DeviceInfoList& list)
{
    list.clear();
    for (CaudioOutDeviceManagerIF* family : m_families)
        family->enumerate(list);
    return true;
}

QSharedPointer<CaudioOutDeviceIF>
CaudioOutDeviceManager_linux::createDevice(QSharedPointer<CaudioOutDeviceInfoIF> info,
                                           QWeakPointer<CaudioOutCallbackIF> callback)
{
    QSharedPointer<CaudioOutDeviceIF> device;
    for (CaudioOutDeviceManagerIF* family : m_families) {
        device = family->createDevice(info, callback);
        if (device)
            break;
    }
    return device;
}

QSharedPointer<CaudioOutFactory> CaudioOutFactory::instance()
{
    static const QSharedPointer<CaudioOutFactory> factory(new CaudioOutFactory);
    return factory;
}

QSharedPointer<CaudioOutDeviceManagerIF> CaudioOutFactory::createDeviceManager()
{
    static const QSharedPointer<CaudioOutDeviceManagerIF> manager(new CaudioOutDeviceManager_linux);
    return manager;
}

}  // namespace Tessaro
