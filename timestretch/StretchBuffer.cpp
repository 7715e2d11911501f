#include "StretchBuffer.h"

#include "CTimeMachineInterface1.h"
#include "SoundFileStream.h"

#include <cstdarg>
#include <memory>

namespace {

constexpr int kRefused = -2;
constexpr int kFailed = -1;

}  // namespace

int StretchResultOf(int32_t engineError)
{
    if (engineError == -1)
        return 0;
    if (engineError == 1)
        return kFailed;
    return kRefused;
}

void LogError(std::FILE* stream, const char* format, ...)
{
    if (!stream || !format)
        return;
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stream, format, arguments);
    va_end(arguments);
}

int StretchBuffer(const StretchInputView* view, std::vector<StretchSegment*> segments, StretchFormat* format,
                  StretchOutput* output)
{
    if (!view || !view->left || !format || !output)
        return kRefused;
    uint32_t mode = 0;
    if (format->mode == 0)
        mode = 0;
    else if (format->mode == 1)
        mode = 3;
    else
        return kRefused;
    if (segments.empty() || view->frames == 0)
        throw kRefused;

    const size_t n = segments.size();
    std::unique_ptr<double[]> ratios;
    std::unique_ptr<double[]> fractions;
    StretchMap map;
    StretchIo io;
    try {
        ratios.reset(new double[n]);
        fractions.reset(new double[n]);
        const auto frames = static_cast<int32_t>(view->frames);
        for (size_t i = 0; i < n; ++i) {
            ratios[i] = segments[i]->ratio;
            fractions[i] = static_cast<double>(segments[i]->start) / static_cast<double>(frames);
        }
        map.segmentCount = static_cast<uint32_t>(n);
        map.ratios = ratios.get();
        map.startFractions = fractions.get();
        map.mono = view->right ? 0 : 1;
        map.mode = mode;

        io.inputLeft = view->left;
        io.inputRight = view->right ? view->right : view->left;
        io.inputFrames = frames;
        io.bitsPerSample = static_cast<int32_t>(view->bitsPerSample);
        io.sampleRate = static_cast<double>(static_cast<int32_t>(view->sampleRate));

        auto engine = std::make_unique<CTimeMachineInterface1>();
        engine->Process(&map, &io);
    } catch (...) {
        SoundFileStream::FreeSamples(io.outputLeft);
        SoundFileStream::FreeSamples(io.outputRight);
        throw kFailed;
    }
    if (io.error != 0) {
        SoundFileStream::FreeSamples(io.outputLeft);
        SoundFileStream::FreeSamples(io.outputRight);
        return StretchResultOf(io.error);
    }
    output->frames = static_cast<uint32_t>(io.outputFrames);
    output->left = io.outputLeft;
    if (view->right)
        output->right = io.outputRight;
    return io.outputFrames;
}
