#pragma once
// The null output family: one output, "Null: paced output", that plays
// nothing but takes its blocks at the pace of a sound card. Listed only when
// STELVANO_AUDIO_NULL is "1" (tests and unattended runs), so a user never
// gets it as the first device. With STELVANO_AUDIO_CAPTURE naming a file,
// every block goes to that WAV file (see platform/audio/NullPlayback.h).
#include "CaudioOutStreamDevice.h"

namespace Tessaro {

class CaudioOutDeviceInfo_null : public CaudioOutStreamDeviceInfo {
public:
    QString name() const override;  // "Null: paced output"
    int index() const { return 0; }
};

class CaudioOutDevice_null final : public CaudioOutStreamDevice {
public:
    explicit CaudioOutDevice_null(QWeakPointer<CaudioOutCallbackIF> callback);

protected:
    // The capture file is the one named when the stream opens.
    std::unique_ptr<krm::platform::PcmPlayback> makePlayback() override;
};

class CaudioOutDeviceManager_null : public CaudioOutDeviceManagerIF {
public:
    bool enumerate(DeviceInfoList& list) override;
    QSharedPointer<CaudioOutDeviceIF> createDevice(QSharedPointer<CaudioOutDeviceInfoIF> info,
                                                   QWeakPointer<CaudioOutCallbackIF> callback) override;
};

}  // namespace Tessaro
