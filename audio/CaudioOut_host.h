#pragma once
// The driver-host output family: one output per driver of the driver list
// that loads and reports a name, output channels and a preferred buffer
// size, named "ASIO: <driver name>". Listed before the other families.
//
// Enumeration loads each driver in turn (the last one listed stays loaded);
// a device opens its driver's stream on the host engine and closes it again
// without unloading the driver.
#include "CasioHostEngine.h"
#include "CaudioOutIF.h"

namespace Tessaro {

class CaudioOutDeviceInfo_host : public CaudioOutDeviceInfoIF {
public:
    // `bufferFrames` and `maxBufferFrames` are both the preferred size.
    CaudioOutDeviceInfo_host(int index, const QString& driverName, int outputs, int bufferFrames,
                             int maxBufferFrames);
    bool isAvailable() const override { return true; }
    QString name() const override { return m_name; }
    int channels() const override { return m_outputs; }
    int bufferFrames() const override { return m_bufferFrames; }
    int maxBufferFrames() const override { return m_maxBufferFrames; }
    bool hasControlPanel() const override { return true; }
    // Loads the driver (when no stream runs) and opens its own panel.
    bool showControlPanel() override;
    // The driver's position in the driver list.
    int index() const { return m_driverIndex; }

private:
    int m_driverIndex;
    QString m_name;
    int m_outputs;
    int m_bufferFrames;
    int m_maxBufferFrames;
};

class CaudioOutDevice_host : public CaudioOutDeviceIF, public CaudioASIOCallback {
public:
    CaudioOutDevice_host(int index, QWeakPointer<CaudioOutCallbackIF> callback);
    ~CaudioOutDevice_host() override;

    // Loads the driver at `sampleRate` and starts its stream on channels
    // left and right. A driver whose preferred buffer size differs from
    // `frames` runs at its preferred size, and the client hears that size
    // through notify before the first render. False when open already or
    // when any step fails (the device is then closed).
    bool open(int leftChannel, int rightChannel, int frames, double sampleRate) override;
    // Stops the stream (waiting for a render in flight); the driver stays
    // loaded. False when not open.
    bool close() override;

    // Forwarded to the client; false / 0 when the client has gone.
    bool notify(int frames) override;
    int render(int16_t left[], int16_t right[], int frames) override;

private:
    int m_driverIndex;
    QWeakPointer<CaudioOutCallbackIF> m_callback;
    bool m_opened = false;
};

class CaudioOutDeviceManager_host : public CaudioOutDeviceManagerIF {
public:
    bool enumerate(DeviceInfoList& list) override;
    QSharedPointer<CaudioOutDeviceIF> createDevice(QSharedPointer<CaudioOutDeviceInfoIF> info,
                                                   QWeakPointer<CaudioOutCallbackIF> callback) override;
};

}  // namespace Tessaro
