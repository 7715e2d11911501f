#include "CaudioOut_null.h"

#include "audio/NullPlayback.h"

namespace Tessaro {

QString CaudioOutDeviceInfo_null::name() const
{
    return QStringLiteral("Null: paced output");
}

CaudioOutDevice_null::CaudioOutDevice_null(QWeakPointer<CaudioOutCallbackIF> callback)
    : CaudioOutStreamDevice(std::move(callback))
{ }

std::unique_ptr<krm::platform::PcmPlayback> CaudioOutDevice_null::makePlayback()
{
    return krm::platform::makeNullPlayback(qEnvironmentVariable("STELVANO_AUDIO_CAPTURE"));
}

bool CaudioOutDeviceManager_null::enumerate(DeviceInfoList& list)
{
    if (qgetenv("STELVANO_AUDIO_NULL") == "1")
        list.append(QSharedPointer<CaudioOutDeviceInfoIF>(new CaudioOutDeviceInfo_null));
    return true;
}

QSharedPointer<CaudioOutDeviceIF>
CaudioOutDeviceManager_null::createDevice(QSharedPointer<CaudioOutDeviceInfoIF> info,
                                          QWeakPointer<CaudioOutCallbackIF> callback)
{
    if (!dynamic_cast<const CaudioOutDeviceInfo_null*>(info.data()))
        return {};
    return QSharedPointer<CaudioOutDeviceIF>(new CaudioOutDevice_null(std::move(callback)));
}

}  // namespace Tessaro
