#pragma once
#include "ErrorState.h"
#include "IF_audioFileMngr.h"

// Result codes beyond the basic ones, for files that the older callers
// assumed to be well formed:
//  readFramesAsBytes   0x80000001 also when the range is empty after the end
//                      has been clamped to the file's frame count
//  readFramesFloat,
//  readFramesShort     0x80000007 file not stereo
//  loadInterleavedFloat 0x80000006 fewer frames read than the file announces
//  copyAudioFile       0x80000005 the source ended before its announced frame
//                      count, 0x80000006 source not stereo; on every failure
//                      after the destination was created it is removed, and
//                      every failure leaves its cause in the error text
//                      (the flag only for a lack of memory)
//
// checkAudioFile refuses with 0x80000005 every kind of audio outside its
// list (audioFileMngr.cpp): 8-bit and 32-bit integer PCM, u-law, A-law,
// the speech codecs, MPEG audio, Vorbis and Opus among them.
//
// Floating-point files (32- and 64-bit float samples) give 16-bit values as
// the sample times 32768, rounded and clipped at full scale. The whole-file
// reads never size a buffer by an announced frame count the file cannot
// hold: an uncompressed file too short for it fails with the short-read code
// before anything is allocated, a compressed one is read block by block.
// Only regular files are opened for reading (a named pipe fails at once with
// the open code).
class audioFileMngr : public IF_audioFileMngr {
public:
    audioFileMngr();
    ~audioFileMngr() override;

    uint32_t checkAudioFile(const std::wstring& path, uint32_t* frames) override;
    uint32_t readFramesAsBytes(const std::wstring& path, std::vector<uint8_t>& bytes, uint32_t start,
                               uint32_t end) override;
    uint32_t readFramesFloat(const std::wstring& path, std::vector<float>& samples) override;
    uint32_t readFramesShort(const std::wstring& path, std::vector<uint8_t>& bytes) override;
    uint32_t loadInterleavedFloat(const std::wstring& path, std::unique_ptr<float[]>& samples,
                                  uint32_t* count) override;
    uint32_t writeFramesFloat(std::wstring path, const std::vector<uint8_t>& frames) override;
    uint32_t copyAudioFile(const std::wstring& source, const QString& destination) override;
    QString errorText() override;
    void clearError() override;
    bool hasError() override;

private:
    // Only copyAudioFile writes a text; the flag marks a lack of memory.
    krm::ErrorState m_errorState;
};
