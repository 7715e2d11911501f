// Writes the audition's two click sounds, "Metro1.wav" (the first beat of a
// bar) and "Metro2.wav" (the other beats), into the folder given as the only
// argument. Each is a short decaying tone, 16-bit stereo at 44100 Hz, short
// enough to end well before the next beat even at 500 beats per minute
// (120 ms). The checked-in files are this program's output.
#include "WavFile.h"

#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Tone {
    const char* file;
    double frequency;  // Hz
    double amplitude;  // of full scale
    double decay;      // seconds, time constant of the exponential decay
    double duration;   // seconds
};

constexpr double kRate = 44100.0;
constexpr double kAttack = 0.002;  // seconds of linear rise, so the tone does not start with a step
constexpr double kPi = 3.14159265358979323846;

// Attack ramp, exponential decay and a linear taper that reaches 0 at the end.
std::vector<uint8_t> render(const Tone& tone)
{
    const int frames = int(std::lround(tone.duration * kRate));
    std::vector<uint8_t> bytes;
    bytes.reserve(size_t(frames) * 4);
    for (int i = 0; i < frames; ++i) {
        const double t = i / kRate;
        const double envelope =
            std::min(1.0, t / kAttack) * std::exp(-t / tone.decay) * (1.0 - double(i) / frames);
        // A touch of the octave makes the tone cut through a dense mix.
        const double wave =
            0.8 * std::sin(2.0 * kPi * tone.frequency * t) + 0.2 * std::sin(4.0 * kPi * tone.frequency * t);
        const auto sample = int16_t(std::lround(32767.0 * tone.amplitude * envelope * wave));
        for (int channel = 0; channel < 2; ++channel) {
            bytes.push_back(uint8_t(uint16_t(sample) & 0xFF));
            bytes.push_back(uint8_t(uint16_t(sample) >> 8));
        }
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const Tone tones[] = {
        {"Metro1.wav", 1760.0, 0.9, 0.012, 0.060},
        {"Metro2.wav", 1320.0, 0.7, 0.009, 0.045},
    };
    for (const Tone& tone : tones) {
        const std::vector<uint8_t> bytes = render(tone);
        const QString path = QString::fromLocal8Bit(argv[1]) + "/" + tone.file;
        if (writeWavFile(path, bytes.data(), uint32_t(bytes.size())) != 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
