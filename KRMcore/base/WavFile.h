#pragma once
// The program's own WAV files: the canonical 44-byte RIFF header, PCM,
// 2 channels, 44100 Hz, 16 bits, little-endian. Nothing else is accepted.
// Every routine returns a result code (0 success, 0x80000000 | step).
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class QDataStream;
class QIODevice;

constexpr uint32_t kWavHeaderBytes = 44;
constexpr uint32_t kWavBytesPerFrame = 4;

// Validates the header read from `stream` (already little-endian) and stores
// data size >> 2 in *frameCount. The stream is left after the header.
// Codes 0x80000001..0x8000000d, one per field, in file order.
uint32_t readWavHeader(QDataStream& stream, uint32_t* frameCount);

// Opens `device` read-only, attaches `stream` little-endian and validates the
// header; the device stays open for reading the frames. 0x80000001 when the
// device cannot be opened, nest(header code, 2) for a rejected header.
uint32_t openWavStream(QIODevice* device, QDataStream& stream, uint32_t* frameCount);

// openWavStream as one step (nested as step 1), then closes the device:
// 0x80000011 when it cannot be opened, 0x80000121 for a file that does not
// begin with "RIFF".
uint32_t readWavHeaderFromDevice(QIODevice* device, uint32_t* frameCount);

// Reads the whole data chunk of the file at `path` into a new buffer handed
// to the caller at once (also when the read then fails). *byteCount is the
// data chunk's size in bytes (4 per frame). 0x80000001 open, nest(header, 2),
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
// behind a canonical header. 0x80000001 when the file cannot be created,
// 0x80000002 when a write fails (the partial file is removed).
uint32_t writeWavFile(const QString& path, const uint8_t* data, uint32_t byteCount);
