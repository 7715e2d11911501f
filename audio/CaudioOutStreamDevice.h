#pragma once
// What the Linux output families share: a device that runs a platform
// stream and fills each of its blocks from the client, and the routine that
// turns the client's two channel buffers into interleaved frames.
#include "CaudioOutIF.h"

#include <memory>
#include <vector>

namespace krm::platform {
class PcmPlayback;
}

namespace Tessaro {

// Interleaves `rendered` frames of `left` and `right` into `frames` stereo
// frames at `out`: the left buffer goes to sample slot `leftSlot` of each
// frame, the right one to `rightSlot` (0 or 1; any other slot is not
// written). `rendered` is clamped to 0..frames; everything not written is 0.
void fillInterleavedBlock(int16_t* out, int frames, const int16_t* left, const int16_t* right, int rendered,
                          int leftSlot, int rightSlot);

// A stereo output of a Linux family: 2 channels, blocks of 1024 frames
// preferred and up to 65536, no control panel of its own.
class CaudioOutStreamDeviceInfo : public CaudioOutDeviceInfoIF {
public:
    bool isAvailable() const override { return true; }
    int channels() const override { return 2; }
    int bufferFrames() const override { return 1024; }
    int maxBufferFrames() const override { return 65536; }
    bool hasControlPanel() const override { return false; }
    bool showControlPanel() override { return false; }
};

class CaudioOutStreamDevice : public CaudioOutDeviceIF {
public:
    ~CaudioOutStreamDevice() override;
    CaudioOutStreamDevice(const CaudioOutStreamDevice&) = delete;
    CaudioOutStreamDevice& operator=(const CaudioOutStreamDevice&) = delete;

    // frames 1..maxFrames and a positive rate. When the stream grants
    // another block size the client's notify hears it before the first
    // render.
    bool open(int leftChannel, int rightChannel, int frames, double sampleRate) override;
    // Joins the stream's thread.
    bool close() override;

    static constexpr int maxFrames = 65536;

protected:
    explicit CaudioOutStreamDevice(QWeakPointer<CaudioOutCallbackIF> callback);
    // A new, unopened stream of the family.
    virtual std::unique_ptr<krm::platform::PcmPlayback> makePlayback() = 0;

private:
    // One block, on the stream's thread.
    void fillBlock(int16_t* interleaved, int frames);

    QWeakPointer<CaudioOutCallbackIF> m_client;
    std::unique_ptr<krm::platform::PcmPlayback> m_stream;
    std::vector<int16_t> m_left;
    std::vector<int16_t> m_right;
    int m_leftSlot = 0;
    int m_rightSlot = 1;
};

}  // namespace Tessaro
