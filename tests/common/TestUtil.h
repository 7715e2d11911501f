#pragma once
// Small helpers shared by the test executables.
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

namespace testutil {

// A temporary folder that lives as long as the object.
class TempDir {
public:
    TempDir();
    QString path(const QString& name) const;  // absolute path of a file inside it
    std::wstring wpath(const QString& name) const;

private:
    QTemporaryDir dir_;
};

std::vector<uint8_t> readFile(const QString& path);
bool writeFile(const QString& path, const std::vector<uint8_t>& bytes);

// Copies of `bytes` damaged in the ways a broken file is: truncated at
// several lengths and with single bits flipped. Deterministic for a seed.
std::vector<std::vector<uint8_t>> damagedCopies(const std::vector<uint8_t>& bytes, unsigned seed,
                                                int flips = 200);

// Serves the thread's events (queued signals among them) until `done`
// holds; false when `timeoutMs` passed first. Unlike Qt's QTRY_ macros it
// reports to the caller, so a gtest assertion can fail on it.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 30000);

}  // namespace testutil
