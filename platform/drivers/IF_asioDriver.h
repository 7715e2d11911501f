#pragma once
// The interface between the program's output-driver host and an output
// driver, with the four records they exchange. A driver is either built
// into the program or a plugin library that exports one C factory
// (AsioDriverFactory, under the symbol named by kAsioDriverFactorySymbol).
//
// Lifecycle of a driver object: created by its factory, `init` once, then
// any of the queries; `createBuffers`, `start`, `stop`, `disposeBuffers`
// for each stream; `release` deletes the object (stopping and disposing
// what is left).
//
// Threads: every operation is called on the host's GUI thread, except
// `outputReady`, which the host calls from inside a buffer switch. The
// driver calls the host back (ASIOCallbacks) on a thread of its own.
#include <algorithm>
#include <cstdint>
#include <cstring>

// What the host learns about the loaded driver.
struct ASIODriverInfo {
    int32_t asioVersion;    // host interface version the caller speaks
    int32_t driverVersion;  // the driver's own version
    char name[32];
    char errorMessage[124];
    void* sysRef;  // always null here
};

// The host's callbacks, called on the driver's thread. `index` is the half
// (0 or 1) of every channel buffer that the host must fill now; the driver
// plays the other half meanwhile.
struct ASIOCallbacks {
    void (*bufferSwitch)(int32_t index, bool directProcess);
    void (*sampleRateChanged)(double sampleRate);
    // Answers a message selector (AsioMessage below); 0 means "not handled".
    int32_t (*message)(int32_t selector, int32_t value, void* message, double* options);
    // As bufferSwitch, with an optional time record; returns a time record
    // (the host answers null).
    void* (*bufferSwitchTimeInfo)(void* timeInfo, int32_t index, bool directProcess);
};

// One channel the host asks buffers for; the driver fills in both halves.
struct ASIOBufferInfo {
    bool isInput;
    int32_t channelNum;
    void* buffers[2];
};

// What the driver says about one channel; `channel` and `isInput` are set
// by the caller.
struct ASIOChannelInfo {
    int32_t channel;
    bool isInput;
    bool isActive;  // buffers exist for it
    int32_t channelGroup;
    int32_t type;  // AsioSampleType
    char name[32];
};

// Sample formats of a channel buffer: byte order (MSB = big-endian), width,
// and for the 32-bit containers how far a 16-bit sample is shifted left.
enum AsioSampleType : int32_t {
    AsioInt16MSB = 0,
    AsioInt24MSB = 1,
    AsioInt32MSB = 2,
    AsioFloat32MSB = 3,
    AsioFloat64MSB = 4,
    AsioInt32MSB16 = 8,
    AsioInt32MSB18 = 9,
    AsioInt32MSB20 = 10,
    AsioInt32MSB24 = 11,
    AsioInt16LSB = 16,
    AsioInt24LSB = 17,
    AsioInt32LSB = 18,
    AsioFloat32LSB = 19,
    AsioFloat64LSB = 20,
    AsioInt32LSB16 = 24,
    AsioInt32LSB18 = 25,
    AsioInt32LSB20 = 26,
    AsioInt32LSB24 = 27,
};

// Bytes one sample of `type` takes in a channel buffer: 2, 3, 4 or 8 for
// the formats above; types the host does not know take 4.
constexpr int asioSampleBytes(int32_t type)
{
    switch (type) {
    case AsioInt16MSB:
    case AsioInt16LSB:
        return 2;
    case AsioInt24MSB:
    case AsioInt24LSB:
        return 3;
    case AsioFloat64MSB:
    case AsioFloat64LSB:
        return 8;
    default:
        return 4;
    }
}

// Copies `text` and a zero into a text field of `size` bytes, cut to fit.
inline void asioCopyText(char* out, size_t size, const char* text)
{
    const size_t n = std::min(std::strlen(text), size - 1);
    std::memcpy(out, text, n);
    out[n] = 0;
}

// Message selectors a driver may send through ASIOCallbacks::message.
enum AsioMessage : int32_t {
    AsioSelectorSupported = 1,  // value: the selector asked about
    AsioEngineVersion = 2,
    AsioResetRequest = 3,  // the driver wants to be stopped, released and loaded again
    AsioBufferSizeChange = 4,
    AsioResyncRequest = 5,
    AsioLatenciesChanged = 6,
    AsioSupportsTimeInfo = 7,
    AsioSupportsTimeCode = 8,
    AsioSupportsInputMonitor = 10,
};

// Results: 0 success, negative codes for failures.
constexpr int32_t kAsioOk = 0;
constexpr int32_t kAsioNotPresent = -1000;  // no driver, or it failed to initialise
constexpr int32_t kAsioInvalidParameter = -1001;
constexpr int32_t kAsioInvalidMode = -1002;  // not in a state that allows the call
constexpr int32_t kAsioDeviceFailure = -1003;

class IF_asioDriver {
public:
    // True when the driver can serve; otherwise getErrorMessage says why.
    virtual bool init(void* sysRef) = 0;
    // Writes the driver's name, at most 31 characters and a zero.
    virtual int32_t getDriverName(char* name) = 0;
    virtual int32_t getDriverVersion(int32_t* version) = 0;
    // Writes the last error, at most 123 characters and a zero.
    virtual int32_t getErrorMessage(char* text) = 0;
    // Starts calling the host's buffer switch; buffers must exist.
    virtual int32_t start() = 0;
    // Returns only when no buffer switch is in flight and none follows.
    virtual int32_t stop() = 0;
    virtual int32_t getChannels(int32_t* inputs, int32_t* outputs) = 0;
    virtual int32_t getBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred,
                                  int32_t* granularity) = 0;
    virtual int32_t setSampleRate(double sampleRate) = 0;
    virtual int32_t getChannelInfo(ASIOChannelInfo* info) = 0;
    // Makes two halves of `frames` samples for each of `count` channels and
    // keeps `callbacks` (which must outlive the buffers).
    virtual int32_t createBuffers(ASIOBufferInfo* infos, int32_t count, int32_t frames,
                                  const ASIOCallbacks* callbacks) = 0;
    virtual int32_t disposeBuffers() = 0;
    virtual int32_t controlPanel() = 0;
    // The host has filled the current half; 0 when the driver uses this.
    virtual int32_t outputReady() = 0;
    // Stops, disposes and deletes the object; it must not be used after.
    virtual int32_t release() = 0;

protected:
    virtual ~IF_asioDriver() = default;
};

// The check a driver makes of a createBuffers request: 0 when `count`
// (1 to `outputs`) distinct output channels below `outputs` are asked for
// with the driver's own positive buffer size `driverFrames`, else
// kAsioInvalidParameter.
inline int32_t asioCheckBufferRequest(const ASIOBufferInfo* infos, int32_t count, int32_t frames,
                                      const ASIOCallbacks* callbacks, int32_t outputs, int32_t driverFrames)
{
    if (!infos || !callbacks || count < 1 || count > outputs || frames != driverFrames || frames <= 0)
        return kAsioInvalidParameter;
    for (int32_t i = 0; i < count; ++i) {
        const ASIOBufferInfo& b = infos[i];
        if (b.isInput || b.channelNum < 0 || b.channelNum >= outputs)
            return kAsioInvalidParameter;
        for (int32_t j = 0; j < i; ++j) {
            if (infos[j].channelNum == b.channelNum)
                return kAsioInvalidParameter;
        }
    }
    return kAsioOk;
}

// What a plugin library exports under kAsioDriverFactorySymbol. The host
// refuses a factory of another interface version. `create` gets the driver
// registry file and the driver's group in it, where the driver finds its
// own keys; it returns null when it cannot make a driver.
constexpr int32_t kAsioDriverInterfaceVersion = 1;
constexpr const char* kAsioDriverFactorySymbol = "stelvanoDriverFactory";

struct AsioDriverFactory {
    int32_t interfaceVersion;
    IF_asioDriver* (*create)(const char* registryPath, const char* group);
};
