#pragma once
// The one place the program gets its output manager from. The Linux manager
// merges the output families in a fixed order: the drivers of the driver
// host ("ASIO: ..."), ALSA, then the null output.
#include "CaudioOut_alsa.h"
#include "CaudioOut_host.h"
#include "CaudioOut_null.h"

#include <array>

namespace Tessaro {

class CaudioOutDeviceManager_linux : public CaudioOutDeviceManagerIF {
public:
    CaudioOutDeviceManager_linux();
    // Empties `list`, then appends every family's outputs in family order,
    // so enumerating twice gives the same list.
    bool enumerate(DeviceInfoList& list) override;
    // Asks each family in order; the first device made wins.
    QSharedPointer<CaudioOutDeviceIF> createDevice(QSharedPointer<CaudioOutDeviceInfoIF> info,
                                                   QWeakPointer<CaudioOutCallbackIF> callback) override;

private:
    CaudioOutDeviceManager_host m_host;
    CaudioOutDeviceManager_alsa m_alsa;
    CaudioOutDeviceManager_null m_null;
    std::array<CaudioOutDeviceManagerIF*, 3> m_families;
};

class CaudioOutFactory {
public:
    // The one factory, made on first use and released at exit.
    static QSharedPointer<CaudioOutFactory> instance();
    // The one platform manager; every call returns the same one.
    QSharedPointer<CaudioOutDeviceManagerIF> createDeviceManager();
};

}  // namespace Tessaro
