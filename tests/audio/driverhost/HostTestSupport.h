#pragma once
// The driver registry of this test program, written before anything lists
// drivers (the host engine reads the list once), and the clients the tests
// render with.
#include "CasioHostEngine.h"
#include "CaudioOutIF.h"
#include "DriverRegistryFile.h"
#include "TestUtil.h"

#include <QThread>
#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

namespace hosttest {

// Positions of the registry's drivers in the driver list.
enum Driver {
    kDefault = 0,    // "Null Output Driver": 2048 frames, type 16, capture "audition.wav"
    kSmall = 1,      // "Null 512": 512 frames, capture "small.wav"
    kTypes = 2,      // "Null Types": 64 frames; sample types and capture set by setKeys
    kReset = 3,      // "Null Reset": 512 frames, a reset after 20 buffers, capture "reset.wav"
    kNoOutputs = 4,  // outputs 0
    kNoFrames = 5,   // buffer_frames 0
    kLongName = 6,   // a 40-character name
    kRepeated = 7,   // named "Null Output Driver" again
    kBroken = 8,     // its class's file is no library
};

// The registry file and its folder, made at start-up.
class Registry {
public:
    static Registry& instance();
    QString path(const QString& name) const { return m_dir.path(name); }
    // Replaces the extra keys of driver `d` and writes the file again; the
    // driver reads them the next time it is made.
    void setKeys(Driver d, const QVector<QPair<QString, QString>>& keys);

private:
    Registry();
    void write();

    testutil::TempDir m_dir;
    QVector<testutil::RegistryGroup> m_groups;
};

// A client of the engine or the output framework: left counts the frames
// it rendered (1 to 30000), right is the negative. It records what it was
// told and when.
class CountingClient : public Tessaro::CaudioOutCallbackIF, public Tessaro::CaudioASIOCallback {
public:
    using Clock = std::chrono::steady_clock;

    bool notify(int frames) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        events.push_back(-frames);
        notifyTimes.push_back(Clock::now());
        return true;
    }
    int render(int16_t left[], int16_t right[], int frames) override
    {
        inRender = true;
        if (sleepMs > 0 && renders == 0)
            QThread::msleep(unsigned(sleepMs));
        for (int i = 0; i < frames; ++i) {
            left[i] = constant ? int16_t(0x1234) : int16_t(1 + (next + i) % 30000);
            right[i] = constant ? int16_t(-2) : int16_t(-left[i]);
        }
        next += frames;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            events.push_back(frames);
            renderTimes.push_back(Clock::now());
        }
        ++renders;
        inRender = false;
        return answer == kWhole ? frames : answer;
    }

    std::vector<int> eventsCopy()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return events;
    }

    static constexpr int kWhole = -1000000;
    int answer = kWhole;    // the count returned
    bool constant = false;  // render 0x1234 left and -2 right
    int sleepMs = 0;        // the first render sleeps that long
    std::atomic<int> renders {0};
    std::atomic<bool> inRender {false};
    int next = 0;
    // Renders as their frame counts, notifies as minus the frames.
    std::vector<int> events;
    std::vector<Clock::time_point> notifyTimes;
    std::vector<Clock::time_point> renderTimes;

private:
    std::mutex m_mutex;
};

}  // namespace hosttest
