#pragma once
// Small helpers shared by the test executables.
#include <QString>
#include <QTemporaryDir>
#include <atomic>
#include <cstdint>
#include <functional>
#include <random>
#include <thread>
#include <vector>

namespace testutil {

// A temporary folder that lives as long as the object.
class TempDir {
public:
    TempDir();
    QString path(const QString& name) const;  // absolute path of a file inside it
    std::wstring wpath(const QString& name) const;

private:
    QTemporaryDir m_dir;
};

std::vector<uint8_t> readFile(const QString& path);
bool writeFile(const QString& path, const std::vector<uint8_t>& bytes);

// Copies of `bytes` damaged in the ways a broken file is: truncated at
// several lengths and with single bits flipped. Deterministic for a seed.
std::vector<std::vector<uint8_t>> damagedCopies(const std::vector<uint8_t>& bytes, unsigned seed,
                                                int flips = 200);

// Runs `f` with the process's file-size limit lowered to `bytes` (and
// SIGXFSZ ignored), so that writes beyond it fail as on a full disk.
void withFileSizeLimit(uint64_t bytes, const std::function<void()>& f);

// A named pipe in a folder. Opening it for reading blocks until a writer
// appears; should the code under test do so, a watchdog opens the writing
// end (and closes it again) so that the test finishes and reports it. The
// watchdog starts looking only after a grace time, so that a reader that
// opens the pipe without blocking and lets go at once is not counted.
class NamedPipe {
public:
    explicit NamedPipe(const QString& path, int graceMs = 2000);
    ~NamedPipe();
    bool made() const { return m_made; }
    // How many blocked readers the watchdog had to release.
    int releasedReaders() const { return m_released; }

private:
    QString m_path;
    bool m_made = false;
    std::atomic<bool> m_stop {false};
    std::atomic<int> m_released {0};
    std::thread m_watchdog;
};

// Serves the thread's events (queued signals among them) until `done`
// holds; false when `timeoutMs` passed first. Unlike Qt's QTRY_ macros it
// reports to the caller, so a gtest assertion can fail on it.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 30000);

}  // namespace testutil
