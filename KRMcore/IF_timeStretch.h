#pragma once
// The time-stretch manager: stretches a block of 16-bit stereo frames
// (4 bytes a frame, left then right, little-endian) from one tempo and
// bar count onto the stored tempo.
#include <QString>
#include <cstdint>
#include <vector>

// What a stretch is computed from.
struct TimeStretchInfo {
    uint32_t tempo = 120;
    uint8_t numerator = 4;
    uint8_t denominator = 4;
    uint32_t barCount = 0;
};

class IF_timeStretch {
public:
    virtual ~IF_timeStretch() { }
    virtual uint32_t setInfo(const TimeStretchInfo& info) = 0;
    // Stretches the whole block as one segment of the stored bar count.
    virtual uint32_t stretch(const std::vector<uint8_t>& frames, std::vector<uint8_t>& out) = 0;
    // Stretches between the given sync positions (in frames).
    virtual uint32_t stretchRange(const std::vector<uint8_t>& frames, std::vector<uint8_t>& out,
                                  const std::vector<uint32_t>& syncPositions) = 0;
    // The last plan's out-of-range flag and its stretch ratios.
    virtual uint32_t getEngineOutput(uint8_t& outOfRange, std::vector<double>& ratios) = 0;
    virtual QString errorText() = 0;
    virtual void clearError() = 0;
    virtual bool hasError() = 0;
};

IF_timeStretch* createTimeStretch();
