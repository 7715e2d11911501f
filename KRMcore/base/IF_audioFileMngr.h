#pragma once
// Gateway to audio files of any format libsndfile reads: format check,
// working copy as a canonical 16-bit stereo 44100 Hz WAV file, and
// whole-file reads and writes. Paths are wide-character strings.
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class IF_audioFileMngr {
public:
    virtual ~IF_audioFileMngr() { }
    // Requires 2 channels, one of the kinds of audio the import takes (a
    // container with a sample format that copyAudioFile turns into 16 bits
    // whole: 16- and 24-bit PCM and floating point, FLAC, Apple Lossless,
    // ADPCM in WAV and Wave64), 44100 Hz, one section, seekable.
    // *frames is the frame count, 0 on failure.
    virtual uint32_t checkAudioFile(const std::wstring& path, uint32_t* frames) = 0;
    // Frames start up to (not including) end of a stereo file as 16-bit
    // little-endian bytes, left then right.
    virtual uint32_t readFramesAsBytes(const std::wstring& path, std::vector<uint8_t>& bytes, uint32_t start,
                                       uint32_t end) = 0;
    // Appends all frames of a stereo file as floats, left then right.
    virtual uint32_t readFramesFloat(const std::wstring& path, std::vector<float>& samples) = 0;
    // Appends all frames of a stereo file as 16-bit little-endian bytes.
    virtual uint32_t readFramesShort(const std::wstring& path, std::vector<uint8_t>& bytes) = 0;
    // All frames of a stereo file in a new array of *count floats.
    virtual uint32_t loadInterleavedFloat(const std::wstring& path, std::unique_ptr<float[]>& samples,
                                          uint32_t* count) = 0;
    // Writes 16-bit stereo frames (bytes, low byte first) as a 16-bit stereo
    // 44100 Hz WAV file.
    virtual uint32_t writeFramesFloat(std::wstring path, const std::vector<uint8_t>& frames) = 0;
    // Copies a stereo 44100 Hz file to a canonical 16-bit WAV file in blocks
    // of 1024 frames, serving the thread's events between blocks. A failure
    // leaves its cause in errorText.
    virtual uint32_t copyAudioFile(const std::wstring& source, const QString& destination) = 0;
    // What made the last copyAudioFile fail; empty after the other
    // operations.
    virtual QString errorText() = 0;
    virtual void clearError() = 0;
    // True after an operation could not allocate its buffers.
    virtual bool hasError() = 0;
};

// A new manager owned by the caller, or null when it cannot be allocated.
IF_audioFileMngr* createAudioFileMngr();
