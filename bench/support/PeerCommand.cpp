#include "PeerCommand.h"

#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace peer {
namespace {

double cpuSeconds(int who)
{
    rusage u {};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

double childCpuSeconds()
{
    return cpuSeconds(RUSAGE_CHILDREN);
}

}  // namespace

double processCpuSeconds()
{
    return cpuSeconds(RUSAGE_SELF);
}

bool available(const std::string& probe)
{
    return std::system((probe + " > /dev/null 2>&1").c_str()) == 0;
}

Run run(const std::string& command)
{
    Run r;
    const auto start = std::chrono::steady_clock::now();
    const double cpu = childCpuSeconds();
    FILE* pipe = popen((command + " 2> /dev/null").c_str(), "r");
    if (!pipe)
        return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.output.append(buffer, n);
    const int status = pclose(pipe);
    r.cpu = childCpuSeconds() - cpu;
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.ok = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

bool writeMonoWave(const QString& path, const std::vector<float>& samples)
{
    SF_INFO info {};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    // Clip rather than wrap samples that reach full scale.
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const sf_count_t written = sf_writef_float(f, samples.data(), sf_count_t(samples.size()));
    return sf_close(f) == 0 && written == sf_count_t(samples.size());
}

std::vector<int64_t> secondsToSamples(const std::string& text)
{
    std::vector<int64_t> at;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        char* end = nullptr;
        const double seconds = std::strtod(line.c_str(), &end);
        if (end != line.c_str() && std::isfinite(seconds) && seconds >= 0.0)
            at.push_back(std::llround(seconds * 44100.0));
    }
    return at;
}

}  // namespace peer
