#pragma once
// The records of one render of the time-stretch engine.
//
// Samples on the stretch path are floats in 16-bit units (-32768.0 ..
// 32767.0), one array per channel. Frames and positions are signed 32-bit
// sample counts of one channel.
#include <cstdint>

// The input of a render: borrowed samples, nothing owned.
struct StretchInputView {
    float* left = nullptr;
    float* right = nullptr;  // null for a mono view
    uint32_t frames = 0;
    uint32_t sampleRate = 0;
    uint32_t bitsPerSample = 0;
};

// One stretch of the input between two sync positions.
struct StretchSegment {
    double ratio = 1.0;         // output length over input length
    int32_t start = 0;          // first input frame, relative to the first sync position
    int32_t end = 0;            // end frame (exclusive), relative to the first sync position
    int32_t length = 0;         // end - start
    double segmentTempo = 0.0;  // the tempo at which the segment's bars last `length` frames
    int32_t wordA = 1;
    int32_t wordB = 0;
    int32_t wordC = 0;
    int32_t outputLength = 0;  // frames after the stretch
    double targetTempo = 0.0;
};

// The output of a render. The buffers come from the C heap (malloc family)
// and belong to the record until FreeStretchOutput releases them.
struct StretchOutput {
    float* left = nullptr;
    float* right = nullptr;
    uint32_t frames = 0;
};

// The format record of a render: tag 2 runs the spectral engine; mode 0
// selects its two-band mode, 1 its one-band mode.
struct StretchFormat {
    uint16_t tag = 0;
    uint16_t mode = 0;
    uint32_t reserved[6] = {0, 0, 0, 0, 0, 0};
};

// The stretch ratio along the input, as the engine reads it: segment i
// starts at startFractions[i] of the input (the first at 0.0) and is
// stretched by ratios[i].
struct StretchMap {
    uint32_t segmentCount = 0;
    double* ratios = nullptr;
    double* startFractions = nullptr;
    uint32_t mono = 0;  // 1: only the left channel is stretched
    uint32_t mode = 0;  // engine mode 0 .. 5
};

// Buffers, lengths, rate and outcome of one engine run. The engine
// allocates the output arrays (C heap) and stores them here.
struct StretchIo {
    float* inputLeft = nullptr;
    float* inputRight = nullptr;  // the left array again for mono
    float* outputLeft = nullptr;
    float* outputRight = nullptr;
    int32_t inputFrames = 0;
    int32_t outputFrames = 0;
    int32_t bitsPerSample = 0;
    int32_t reserved = 0;
    double sampleRate = 0.0;
    // 0 success, 1 out of memory, 2 bad mode, rate or map, -1 the attack
    // pre-analysis failed, -2 a stretch factor that is not a number.
    int32_t error = 0;
};
