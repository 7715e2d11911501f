#pragma once
// An output without a sound card: a thread paced by a steady clock takes one
// block every frames / sampleRate seconds. When given a capture path it
// appends every block to that 16-bit stereo WAV file. The first stream of the
// process that uses a path starts the file afresh; later streams append to
// it, and the file is complete and readable after every close.
#include "PcmPlayback.h"

#include <QString>
#include <memory>

namespace krm::platform {

// `capturePath` empty: nothing is written.
std::unique_ptr<PcmPlayback> makeNullPlayback(const QString& capturePath);

// True the first time this process asks about `path` (the caller then
// starts the capture file afresh), false afterwards (it appends). Any
// thread.
bool firstUseOfCapture(const QString& path);

}  // namespace krm::platform
