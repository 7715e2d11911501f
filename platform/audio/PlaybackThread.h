#pragma once
// The pulling thread of an output stream: started once, told to stop and
// joined by stop(), with a wait that a stop cuts short.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace krm::platform {

class PlaybackThread {
public:
    PlaybackThread() = default;
    ~PlaybackThread() { stop(); }
    PlaybackThread(const PlaybackThread&) = delete;
    PlaybackThread& operator=(const PlaybackThread&) = delete;

    // Runs `body` on a new thread; false when one was started already.
    bool start(std::function<void()> body)
    {
        if (m_thread.joinable() || !body)
            return false;
        m_stopping = false;
        m_thread = std::thread(std::move(body));
        return true;
    }

    // Asks the body to end and waits for it. Nothing runs once it returns.
    void stop()
    {
        if (!m_thread.joinable())
            return;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    bool stopping() const { return m_stopping; }

    // Sleeps until `due`; false when woken by stop.
    bool sleepUntil(std::chrono::steady_clock::time_point due)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return !m_wake.wait_until(lock, due, [this] { return m_stopping.load(); });
    }

private:
    std::atomic<bool> m_stopping {false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
};

}  // namespace krm::platform
