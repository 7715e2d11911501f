#include "CaudioOut_alsa.h"

#include "audio/AlsaPlayback.h"

namespace Tessaro {

CaudioOutDeviceInfo_alsa::CaudioOutDeviceInfo_alsa(int index, const QString& pcmName)
    : m_index(index), m_pcmName(pcmName)
{ }

QString CaudioOutDeviceInfo_alsa::name() const
{
    return QStringLiteral("ALSA: %1").arg(m_pcmName);
}

CaudioOutDevice_alsa::CaudioOutDevice_alsa(const QString& pcmName, QWeakPointer<CaudioOutCallbackIF> callback)
    : CaudioOutStreamDevice(std::move(callback)), m_pcmName(pcmName)
{ }

std::unique_ptr<krm::platform::PcmPlayback> CaudioOutDevice_alsa::makePlayback()
{
    return krm::platform::makeAlsaPlayback(m_pcmName);
}

bool CaudioOutDeviceManager_alsa::enumerate(DeviceInfoList& list)
{
    if (qgetenv("STELVANO_AUDIO_ALSA") == "0")
        return true;
    const QStringList names = krm::platform::alsaPlaybackPcmNames();
    list.reserve(list.size() + names.size());
    for (int i = 0; i < names.size(); ++i)
        list.append(QSharedPointer<CaudioOutDeviceInfoIF>(new CaudioOutDeviceInfo_alsa(i, names[i])));
    return true;
}

QSharedPointer<CaudioOutDeviceIF>
CaudioOutDeviceManager_alsa::createDevice(QSharedPointer<CaudioOutDeviceInfoIF> info,
                                          QWeakPointer<CaudioOutCallbackIF> callback)
{
    const auto* alsa = dynamic_cast<const CaudioOutDeviceInfo_alsa*>(info.data());
    if (!alsa)
        return {};
    return QSharedPointer<CaudioOutDeviceIF>(new CaudioOutDevice_alsa(alsa->pcmName(), std::move(callback)));
}

}  // namespace Tessaro
