#pragma once
// The one audio format the program works in: interleaved signed 16-bit PCM,
// 2 channels, 44100 Hz, 4-byte frames. Float samples are 16-bit values
// divided by 32768.
#include <cstdint>

namespace krm::audio {

constexpr uint32_t kSampleRate = 44100;
constexpr uint16_t kChannels = 2;
constexpr uint16_t kBitsPerSample = 16;
constexpr uint32_t kBytesPerSample = kBitsPerSample / 8;
constexpr uint32_t kBytesPerFrame = kChannels * kBytesPerSample;
constexpr uint32_t kBytesPerSecond = kSampleRate * kBytesPerFrame;
constexpr uint32_t kSamplesPerMinute = kSampleRate * 60;  // 2646000
constexpr float kShortToFloat = 1.0f / 32768.0f;
constexpr float kFloatToShort = 32768.0f;

}  // namespace krm::audio
