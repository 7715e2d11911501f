#pragma once
// Running a peer program on the same input as our code, for the benchmarks
// that print figures side by side with it.
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace peer {

// User and system seconds of this process so far, all its threads: our
// side of a comparison, counted as `Run::cpu` counts the peer's.
double processCpuSeconds();

// Whether `probe` (a shell command) runs and ends with status 0.
bool available(const std::string& probe);

struct Run {
    bool ok = false;
    double wall = 0.0;   // seconds
    double cpu = 0.0;    // user and system seconds of the command's processes
    std::string output;  // its standard output
};
// Runs `command` through the shell with its standard output captured.
Run run(const std::string& command);

// Writes mono samples in -1 .. 1 as a 16-bit 44100 Hz mono WAV file.
bool writeMonoWave(const QString& path, const std::vector<float>& samples);

// The first number of each line of `text`, taken as seconds and turned into
// samples at 44100 Hz; lines that start with no number are skipped.
std::vector<int64_t> secondsToSamples(const std::string& text);

}  // namespace peer
