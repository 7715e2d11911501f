#pragma once
// Small routines of section rendering and export preparation that need no
// engine: the fade, the bar length at a tempo, the default wave-info text
// and the UTF-8 conversion of paths.
#include <cstdint>
#include <string>
#include <vector>

// Fades a buffer of 16-bit stereo frames in place. Mask 1 fades in the
// first n frames, mask 2 fades out the last n: frame k (k = 0 .. n-1, from
// the start or from the end) becomes trunc(sample x g x g), g = k / n, so
// the first and the last frame are silent. A buffer of fewer than n frames
// (or n = 0) is left alone. Always 0.
uint32_t applyFade(std::vector<uint8_t>& buffer, uint32_t n, uint8_t mask);

// Frames of one bar of `beatsPerBar` beats of 1/`beatUnit` notes at `tempo`
// quarter notes per minute: ceil(B x 2646000 x 4 / U / T). 0 when the beat
// unit or the tempo is 0.
int32_t barSamplesAt(uint8_t beatsPerBar, uint8_t beatUnit, uint32_t tempo);

// The wave-info text the engine hands the audio model for every section:
// the twelve keys with their default values, 221 bytes.
const std::string& defaultWaveInfoText();

// UTF-8 bytes of a wide text (empty for an empty text).
void toUtf8String(const std::wstring& text, std::string& out);
