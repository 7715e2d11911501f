#pragma once
// The ALSA output family: one description per PCM that opens for playback
// ("ALSA: default" first), each played through the common stream device.
// The whole family is hidden when STELVANO_AUDIO_ALSA is "0".
#include "CaudioOutStreamDevice.h"

namespace Tessaro {

class CaudioOutDeviceInfo_alsa : public CaudioOutStreamDeviceInfo {
public:
    CaudioOutDeviceInfo_alsa(int index, const QString& pcmName);
    QString name() const override;  // "ALSA: <PCM name>"
    // Position in the family's list.
    int index() const { return m_index; }
    QString pcmName() const { return m_pcmName; }

private:
    int m_index;
    QString m_pcmName;
};

class CaudioOutDevice_alsa final : public CaudioOutStreamDevice {
public:
    CaudioOutDevice_alsa(const QString& pcmName, QWeakPointer<CaudioOutCallbackIF> callback);

protected:
    std::unique_ptr<krm::platform::PcmPlayback> makePlayback() override;

private:
    QString m_pcmName;
};

class CaudioOutDeviceManager_alsa : public CaudioOutDeviceManagerIF {
public:
    bool enumerate(DeviceInfoList& list) override;
    QSharedPointer<CaudioOutDeviceIF> createDevice(QSharedPointer<CaudioOutDeviceInfoIF> info,
                                                   QWeakPointer<CaudioOutCallbackIF> callback) override;
};

}  // namespace Tessaro
