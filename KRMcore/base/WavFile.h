#pragma once
// The program's own WAV files: the canonical 44-byte RIFF header, PCM,
// 2 channels, 44100 Hz, 16 bits, little-endian. Nothing else is accepted.
// Every routine returns a result code (0 success, 0x80000000 | step).
#include "AudioFormat.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class QDataStream;
class QIODevice;

constexpr uint32_t kWavHeaderBytes = 44;
// The frame size of the working format (krm::audio::kBytesPerFrame).
constexpr uint32_t kWavBytesPerFrame = krm::audio::kBytesPerFrame;

// Validates the header read from `stream` (already little-endian) and stores
// data size >> 2 in *frameCount, as the header states it. The stream is left
// after the header. Codes 0x80000001..0x8000000d, one per field, in file
// order; the RIFF size must be at least the data size + 36 (in 64 bits).
uint32_t readWavHeader(QDataStream& stream, uint32_t* frameCount);

// Opens `device` read-only, attaches `stream` little-endian and validates the
// header; the device stays open for reading the frames. *frameCount is no
// more than the device holds after the header (when its size is known), so
// a header that claims more than a short file holds cannot make a reader
// expect frames that are not there. 0x80000001 when the device cannot be
// opened (a QFile also when it is not a regular file, such as a named pipe),
// nest(header code, 2) for a rejected header.
uint32_t openWavStream(QIODevice* device, QDataStream& stream, uint32_t* frameCount);

// openWavStream as one step (nested as step 1, with its bounded frame
// count), then closes the device:
// 0x80000011 when it cannot be opened, 0x80000121 for a file that does not
// begin with "RIFF".
uint32_t readWavHeaderFromDevice(QIODevice* device, uint32_t* frameCount);

// Reads the whole data chunk of the file at `path` into a new buffer handed
// to the caller at once (also when the read then fails). *byteCount is the
// data chunk's size in bytes (4 per frame). 0x80000001 open (also for a path
// that is not a regular file), nest(header, 2),
// 0x80000003 allocation (with *outOfMemory raised), 0x80000004 when the file
// holds fewer data bytes than its header announces.
uint32_t loadWavFile(const QString& path, std::unique_ptr<uint8_t[]>& data, uint32_t* byteCount,
                     bool* outOfMemory);

// Reads the next `frames` frames from `stream`, converting each 16-bit sample
// to a float times 1/32768 into `buffer` (2 x frames floats, left then
// right), and sets *framesRead. Reading stops at the end of the file and at
// the end of the data chunk: *framesLeft holds the frames of the data chunk
// not yet read and is lowered by the frames read. The frames past
// *framesRead are filled with 0.0. `work` is a byte buffer kept by the caller
// between calls so that steady reading does not allocate. 0x80000001 with
// *outOfMemory raised when the work buffer cannot grow (buffer untouched).
uint32_t readWavFrames(QDataStream& stream, uint32_t frames, float* buffer, uint32_t* framesRead,
                       bool* outOfMemory, uint32_t* framesLeft, std::vector<char>& work);

// The same without a data-chunk bound: reads until the end of the stream,
// with a work buffer of its own for this call.
uint32_t readWavFrames(QDataStream& stream, uint32_t frames, float* buffer, uint32_t* framesRead,
                       bool* outOfMemory);

// Writes `byteCount` bytes of 16-bit stereo frames (already little-endian)
// behind a canonical header, through a temporary file in the same folder
// that replaces the old file only when complete. 0x80000001 when the file
// cannot be created, 0x80000002 when a write fails; on either the old file
// is left as it was.
uint32_t writeWavFile(const QString& path, const uint8_t* data, uint32_t byteCount);
