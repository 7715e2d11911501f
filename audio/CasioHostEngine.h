#pragma once
// The output-driver host: one object for the process that loads one driver
// at a time from the driver list, creates a two-channel output buffer set,
// fills each half-buffer from its client on the driver's thread (converting
// the 16-bit samples to each channel's sample type), answers the driver's
// messages and restarts the stream on a driver's reset request from a
// 1000 ms timer on the GUI thread.
//
// States: no driver, driver loaded (current and initialised), running.
// Everything runs on the GUI thread except the render step and the message
// answer, which run on the driver's thread. The client, the buffer set and
// the flags are written on the GUI thread only while no stream runs;
// values the driver's thread reads are atomics.
#include "IF_asioDriver.h"

#include <QString>
#include <atomic>
#include <memory>
#include <vector>

class AsioDrivers;

namespace Tessaro {

// The engine's client: the same contract as CaudioOutCallbackIF.
class CaudioASIOCallback {
public:
    virtual ~CaudioASIOCallback() = default;
    virtual bool notify(int frames) = 0;
    virtual int render(int16_t left[], int16_t right[], int frames) = 0;
};

}  // namespace Tessaro

// The two output channels' driver buffers and the render's staging buffers.
class CasioBufferSet {
public:
    // No buffers (create result -1).
    CasioBufferSet() = default;
    // ASIOCreateBuffers for output channels left and right with `frames`
    // frames; on success reads both channels' info and makes the staging
    // buffers (zeroed).
    CasioBufferSet(int leftChannel, int rightChannel, int frames, const ASIOCallbacks* callbacks);
    // ASIODisposeBuffers when the buffers were created.
    ~CasioBufferSet();
    CasioBufferSet(const CasioBufferSet&) = delete;
    CasioBufferSet& operator=(const CasioBufferSet&) = delete;

    int32_t createResult() const { return m_createResult; }
    int frames() const { return m_frames; }
    const ASIOChannelInfo& channelInfo(int i) const { return m_channelInfos[i]; }

    // The render step for half `half` (driver thread): see CasioHostEngine.
    void render(Tessaro::CaudioASIOCallback* client, int32_t half);

private:
    int32_t m_createResult = -1;
    ASIOBufferInfo m_bufferInfos[2] {};
    ASIOChannelInfo m_channelInfos[2] {};
    std::vector<int16_t> m_left;
    std::vector<int16_t> m_right;
    int m_leftChannel = 0;
    int m_rightChannel = 0;
    int m_frames = 0;
};

class CasioHostEngine {
public:
    // The process's engine, made on first use (on the GUI thread, after the
    // application object) and destroyed at exit.
    static CasioHostEngine& instance();
    // The engine when it exists and is not destroyed yet; null otherwise.
    // For callers that may run during exit.
    static CasioHostEngine* existing();

    // Loads and initialises driver `index` (releasing any other) unless it
    // is the one loaded already, sets the rate (0.0: keeps the driver's),
    // and checks that channels and buffer sizes can be read. Any failure
    // leaves no driver of `index` loaded. False at once while running.
    bool loadDriver(int index, double sampleRate);
    // Releases driver `index` when it is loaded and not running.
    bool unloadDriver(int index);
    // The listed name (local 8-bit text), empty for an index not listed.
    QString driverName(int index) const;
    // Only for the loaded driver (the granularity is dropped).
    bool getChannels(int index, int& inputs, int& outputs) const;
    bool getBufferSize(int index, int& minimum, int& maximum, int& preferred) const;

    // Starts a stream of `frames` frames per half on output channels left
    // and right of the loaded driver `index`, rendered by `client` (not
    // owned; it must stay until stop). Fails without touching the driver
    // when the channels are equal, frames is 0 or less, `index` is not
    // loaded or a stream runs; a later failure stops and disposes.
    bool start(int index, int leftChannel, int rightChannel, int frames, Tessaro::CaudioASIOCallback* client);
    // Stops the running stream of driver `index` and disposes its buffers.
    // Once it returns no render is in flight and none follows.
    bool stop(int index);

    bool isRunning() const { return m_running; }
    // The loaded (initialised) driver's index, -1 for none.
    int loadedDriver() const { return m_loadedIndex; }
    // The stream's driver index, -1 while stopped.
    int runningDriver() const { return m_driverIndex; }
    const ASIODriverInfo& driverInfo() const { return m_driverInfo; }
    // The process's driver list.
    AsioDrivers* drivers() const { return m_drivers.get(); }
    bool resetRequested() const { return m_resetRequested; }

    // The watchdog tick (every 1000 ms on the GUI thread): a requested reset
    // stops the stream, releases and reloads the driver, tells the client
    // the preferred buffer size and restarts on the same channels. When the
    // reload fails the stream stays stopped and the client hears nothing.
    void onTimer();

    // The driver's message answer (driver thread).
    int32_t message(int32_t selector, int32_t value);
    // The render step for half `half` (driver thread): the client renders
    // into the staging buffers (frames it leaves are silence), which are
    // converted into the driver's half; then ASIOOutputReady when the driver
    // uses it.
    void bufferSwitch(int32_t half);

    static constexpr int kResetTimerMs = 1000;

private:
    CasioHostEngine();
    ~CasioHostEngine();
    CasioHostEngine(const CasioHostEngine&) = delete;
    CasioHostEngine& operator=(const CasioHostEngine&) = delete;

    // Stops the stream and releases the driver; deletes the reset timer (a
    // child of the application object, made by the constructor). Runs when
    // the application is about to quit, so that the destructor touches no
    // Qt object.
    void shutDown();
    bool isLoaded(int index) const;
    // Releases whatever driver the list holds current.
    void releaseCurrent();

    std::atomic<bool> m_running {false};
    std::atomic<bool> m_outputReady {false};
    ASIODriverInfo m_driverInfo {};
    ASIOCallbacks m_callbacks {};
    std::unique_ptr<CasioBufferSet> m_bufferSet;
    std::atomic<Tessaro::CaudioASIOCallback*> m_client {nullptr};
    std::atomic<bool> m_resetRequested {false};
    int m_driverIndex = -1;
    int m_leftChannel = 0;
    int m_rightChannel = 0;
    // The index this engine initialised. A failed load may leave the list
    // with its previous driver created again but not initialised; that one
    // is loaded afresh before use.
    int m_loadedIndex = -1;
    std::unique_ptr<AsioDrivers> m_drivers;
};

// A short-lived loader for the device list and the control panel: loads
// driver `index` (keeping its rate) and reports what it found; it does not
// unload.
class CasioDriverSession {
public:
    explicit CasioDriverSession(int index);
    bool loaded() const { return m_loaded; }
    // Empty / 0 when the driver did not load.
    QString driverName() const;
    int outputChannels() const;
    int preferredBufferFrames() const;
    // Opens the driver's own panel when it is loaded and not running.
    bool showControlPanel() const;

private:
    int32_t m_driverIndex;
    bool m_loaded;
};
