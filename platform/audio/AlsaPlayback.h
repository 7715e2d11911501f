#pragma once
// ALSA playback: interleaved S16_LE stereo with ALSA's resampling allowed,
// two periods of the block size; the first two blocks are silence, then a
// thread writes the pulled blocks, recovering from underruns.
#include "PcmPlayback.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace krm::platform {

// Playback on the PCM of that ALSA name (e.g. "default", "hw:0,0").
std::unique_ptr<PcmPlayback> makeAlsaPlayback(const QString& pcmName);

// The PCMs that can play now, in the order they are offered to the user:
// "default" first, then the playback hints of the ALSA configuration, with
// "null" and repeated names left out; each is probed by a non-blocking open.
QStringList alsaPlaybackPcmNames();

// The ordering rule of alsaPlaybackPcmNames on given hint names and a given
// probe (the probe is asked once per candidate that survives the filters).
QStringList orderPlaybackPcmNames(const QStringList& hintNames,
                                  const std::function<bool(const QString&)>& opens);

}  // namespace krm::platform
