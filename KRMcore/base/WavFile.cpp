#include "WavFile.h"

#include "AudioFormat.h"
#include "ByteCodec.h"
#include "FileUtil.h"
#include "RegularFile.h"
#include "ResultCode.h"

#include <QDataStream>
#include <QFile>
#include <QIODevice>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>

using krm::fail;
using krm::nest;

namespace {

namespace audio = krm::audio;

constexpr uint32_t kFmtSize = 16;
constexpr uint16_t kPcm = 1;

// A chunk id as the little-endian 32-bit value of its four bytes, so that
// ids and numbers are read and compared alike (case-sensitive).
constexpr uint32_t tag(const char (&id)[5])
{
    return uint32_t(uint8_t(id[0])) | uint32_t(uint8_t(id[1])) << 8 | uint32_t(uint8_t(id[2])) << 16 |
           uint32_t(uint8_t(id[3])) << 24;
}

constexpr uint32_t kRiffId = tag("RIFF");

// The header fields from the form type to the data id, in file order: the
// writer puts exactly these, the reader requires exactly these.
struct FixedField {
    int bytes;
    uint32_t value;
};
constexpr FixedField kFixedFields[] = {
    {4, tag("WAVE")},
    {4, tag("fmt ")},
    {4, kFmtSize},
    {2, kPcm},
    {2, audio::kChannels},
    {4, audio::kSampleRate},
    {4, audio::kBytesPerSecond},
    {2, audio::kBytesPerFrame},
    {2, audio::kBitsPerSample},
    {4, tag("data")},
};

bool readField(krm::ByteReader& in, const FixedField& f, uint32_t& value)
{
    if (f.bytes == 4)
        return in.u32(value);
    uint16_t v16 = 0;
    const bool ok = in.u16(v16);
    value = v16;
    return ok;
}

}  // namespace

uint32_t readWavHeader(QDataStream& stream, uint32_t* frameCount)
{
    uint8_t bytes[kWavHeaderBytes];
    const int got = std::max(stream.readRawData(reinterpret_cast<char*>(bytes), int(kWavHeaderBytes)), 0);
    krm::ByteReader in(bytes, size_t(got), krm::Endian::Little);
    // The RIFF size is checked against the data size once that is known.
    uint32_t value = 0, riffSize = 0, dataSize = 0;
    if (!in.u32(value) || value != kRiffId)
        return fail(1);
    if (!in.u32(riffSize))
        return fail(2);
    // The fixed fields fail with their position in the header, 3 to 12.
    for (uint32_t i = 0; i < sizeof kFixedFields / sizeof kFixedFields[0]; ++i) {
        if (!readField(in, kFixedFields[i], value) || value != kFixedFields[i].value)
            return fail(i + 3);
    }
    // In 64 bits: a data size near 4 GiB must not wrap past the check.
    if (!in.u32(dataSize) || uint64_t(riffSize) < uint64_t(dataSize) + 36u)
        return fail(0xd);
    *frameCount = dataSize / audio::kBytesPerFrame;
    return krm::kOk;
}

uint32_t openWavStream(QIODevice* device, QDataStream& stream, uint32_t* frameCount)
{
    *frameCount = 0;
    if (device == nullptr)
        return fail(1);
    // A file is read only when it is a regular one: a named pipe would
    // block the open.
    auto* file = qobject_cast<QFile*>(device);
    if (file != nullptr ? !krm::platform::openRegularFile(*file) : !device->open(QIODevice::ReadOnly))
        return fail(1);
    stream.setDevice(device);
    stream.resetStatus();
    stream.setByteOrder(QDataStream::LittleEndian);
    const uint32_t r = readWavHeader(stream, frameCount);
    if (r != krm::kOk)
        return nest(r, 2);
    // Report no more frames than the device holds after the header.
    if (!device->isSequential()) {
        const qint64 held = std::max<qint64>(device->size() - device->pos(), 0) / audio::kBytesPerFrame;
        *frameCount = uint32_t(std::min<qint64>(*frameCount, held));
    }
    return krm::kOk;
}

uint32_t readWavHeaderFromDevice(QIODevice* device, uint32_t* frameCount)
{
    *frameCount = 0;
    QDataStream stream;
    const uint32_t r = openWavStream(device, stream, frameCount);
    if (r != fail(1))  // opened here, so closed here
        device->close();
    if (r != krm::kOk) {
        *frameCount = 0;
        return nest(r, 1);
    }
    return krm::kOk;
}

uint32_t loadWavFile(const QString& path, std::unique_ptr<uint8_t[]>& data, uint32_t* byteCount,
                     bool* outOfMemory)
{
    *outOfMemory = false;
    *byteCount = 0;
    data.reset();
    QFile file(path);
    if (!krm::platform::openRegularFile(file))
        return fail(1);
    QDataStream stream(&file);
    stream.setByteOrder(QDataStream::LittleEndian);
    uint32_t frames = 0;
    if (const uint32_t r = readWavHeader(stream, &frames))
        return nest(r, 2);
    const uint64_t bytes = uint64_t(frames) * audio::kBytesPerFrame;
    *byteCount = uint32_t(bytes);
    // A header may announce more data than the file holds; refuse before
    // allocating rather than reserve memory for bytes that are not there.
    if (file.size() < qint64(kWavHeaderBytes) || uint64_t(file.size() - kWavHeaderBytes) < bytes)
        return fail(4);
    uint8_t* raw = new (std::nothrow) uint8_t[bytes ? bytes : 1];
    if (raw == nullptr) {
        *outOfMemory = true;
        return fail(3);
    }
    data.reset(raw);
    for (uint64_t done = 0; done < bytes;) {
        const int chunk = int(std::min<uint64_t>(bytes - done, 1u << 30));
        if (stream.readRawData(reinterpret_cast<char*>(raw) + done, chunk) != chunk)
            return fail(4);
        done += uint64_t(chunk);
    }
    file.close();
    return krm::kOk;
}

uint32_t readWavFrames(QDataStream& stream, uint32_t frames, float* buffer, uint32_t* framesRead,
                       bool* outOfMemory, uint32_t* framesLeft, std::vector<char>& work)
{
    *framesRead = 0;
    // One read is limited to what a single readRawData call can take.
    const uint32_t want = std::min({frames, *framesLeft, uint32_t(INT32_MAX / audio::kBytesPerFrame)});
    const size_t bytes = size_t(want) * audio::kBytesPerFrame;
    if (work.size() < bytes) {
        try {
            work.resize(bytes);
        } catch (const std::bad_alloc&) {
            *outOfMemory = true;
            return fail(1);
        }
    }
    uint32_t got = 0;
    if (bytes > 0) {
        const int n = stream.readRawData(work.data(), int(bytes));
        got = n > 0 ? uint32_t(n) / audio::kBytesPerFrame : 0;
    }
    const auto* u = reinterpret_cast<const unsigned char*>(work.data());
    for (uint32_t i = 0; i < got; ++i) {
        const unsigned char* f = u + size_t(i) * audio::kBytesPerFrame;
        buffer[2 * size_t(i)] = float(int16_t(uint16_t(f[0] | f[1] << 8))) * audio::kShortToFloat;
        buffer[2 * size_t(i) + 1] = float(int16_t(uint16_t(f[2] | f[3] << 8))) * audio::kShortToFloat;
    }
    if (got < frames)
        std::fill(buffer + 2 * size_t(got), buffer + 2 * size_t(frames), 0.0f);
    *framesRead = got;
    *framesLeft -= got;
    return krm::kOk;
}

uint32_t readWavFrames(QDataStream& stream, uint32_t frames, float* buffer, uint32_t* framesRead,
                       bool* outOfMemory)
{
    uint32_t unbounded = UINT32_MAX;
    std::vector<char> work;
    return readWavFrames(stream, frames, buffer, framesRead, outOfMemory, &unbounded, work);
}

uint32_t writeWavFile(const QString& path, const uint8_t* data, uint32_t byteCount)
{
    // The same fields that the reader requires, with the sizes of this data.
    std::vector<uint8_t> header;
    krm::ByteWriter out(header, krm::Endian::Little);
    out.u32(kRiffId);
    out.u32(byteCount + 36u);
    for (const FixedField& f : kFixedFields) {
        if (f.bytes == 2)
            out.u16(uint16_t(f.value));
        else
            out.u32(f.value);
    }
    out.u32(byteCount);
    // A short file would pass for a valid one with missing audio, and a
    // failed save must not cost the previous file.
    switch (krm::saveFileReplacing(path, {{header.data(), header.size()}, {data, byteCount}})) {
    case krm::SaveOutcome::CannotOpen:
        return fail(1);
    case krm::SaveOutcome::WriteFailed:
        return fail(2);
    case krm::SaveOutcome::Saved:
        break;
    }
    return krm::kOk;
}
