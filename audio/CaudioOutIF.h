#pragma once
// The interfaces through which the program finds audio outputs, opens one
// and lets it pull samples. Managers, descriptions and devices are held
// through QSharedPointer; a device holds its client only through a
// QWeakPointer, so it never keeps the client alive, and a client that has
// gone simply gives silence.
#include <QSharedPointer>
#include <QString>
#include <QVector>
#include <QWeakPointer>
#include <cstdint>

namespace Tessaro {

// The client of an output: what the device asks for on its own thread.
class CaudioOutCallbackIF {
public:
    virtual ~CaudioOutCallbackIF() = default;
    // The device will use blocks of `frames` frames from now on (told before
    // a stream starts when that differs from the size asked for).
    virtual bool notify(int frames) = 0;
    // Fills up to `frames` samples of each channel buffer and returns the
    // frames written; the device plays silence for the rest of the block.
    virtual int render(int16_t left[], int16_t right[], int frames) = 0;
};

// One available output.
class CaudioOutDeviceInfoIF {
public:
    virtual ~CaudioOutDeviceInfoIF() = default;
    virtual bool isAvailable() const = 0;
    // "<family>: <device>", the name the user chooses and the settings keep.
    virtual QString name() const = 0;
    virtual int channels() const = 0;
    virtual int bufferFrames() const = 0;
    virtual int maxBufferFrames() const = 0;
    virtual bool hasControlPanel() const = 0;
    // Opens the output's own settings window; false when it has none.
    virtual bool showControlPanel() = 0;
};

// An output that can be opened. Open and close run on the GUI thread.
class CaudioOutDeviceIF {
public:
    // Closes the stream when it is open.
    virtual ~CaudioOutDeviceIF() = default;
    // Starts a stream that sends the client's left buffer to output slot
    // leftChannel and the right one to rightChannel (0 or 1; 2 or more: not
    // written), `frames` frames per block at `sampleRate` Hz. False when the
    // device is open already (the running stream goes on) or cannot start.
    virtual bool open(int leftChannel, int rightChannel, int frames, double sampleRate) = 0;
    // Stops the stream; once it returns no render is in flight and none
    // follows. False when the device is not open.
    virtual bool close() = 0;
};

using DeviceInfoList = QVector<QSharedPointer<CaudioOutDeviceInfoIF>>;

// A source of output descriptions and devices.
class CaudioOutDeviceManagerIF {
public:
    virtual ~CaudioOutDeviceManagerIF() = default;
    // Appends one description per available output to `list`.
    virtual bool enumerate(DeviceInfoList& list) = 0;
    // The device for `info`, wired to `callback`; null when `info` is null or
    // not of this manager's kind.
    virtual QSharedPointer<CaudioOutDeviceIF> createDevice(QSharedPointer<CaudioOutDeviceInfoIF> info,
                                                           QWeakPointer<CaudioOutCallbackIF> callback) = 0;
};

}  // namespace Tessaro
