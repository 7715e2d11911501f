#include "CAudioStyle.h"

#include "GlobalMessage.h"
#include "WarningSink.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <new>

using krm::fail;
using krm::nest;
using krm::nestOnFail;
using krm::Result;

namespace {

constexpr uint32_t kWaveBlockBytes = 1u << 20;  // read straight into the output
constexpr uint8_t kFormatFlagWithAttacks2 = 4;

}  // namespace

Result CAudioStyle::clear()
{
    if (Result r = CSmfStyle::clear())
        return nest(r, 1);
    return audioInfo.clear();
}

// ---------------------------------------------------------------- the whole part

namespace {

// Room for the whole part: the wave bytes of every file (taken from where
// loadWaveData will find them; a WAV file's size bounds its data chunk)
// and the small chunks around them. Reserving it once keeps the output
// from being copied as it grows, so the part needs about its own size in
// memory. Sizes come from the file system, not from file contents.
size_t estimatedFileSize(const CAudioFile* f)
{
    constexpr size_t kPerFile = 1024;
    constexpr size_t kPerPoint = 10;
    size_t total = kPerFile;
    const CAudioWaveForm* form = f ? f->getWaveForm() : nullptr;
    const CAudioWaveData* data = form ? form->getData() : nullptr;
    if (data) {
        uint32_t n = 0;
        data->getDataSize(&n);
        if (n == 0 && data->getTempFileSize(&n) != krm::kOk) {
            std::string path;
            data->getFileName(path);
            n = uint32_t(std::min<qint64>(QFileInfo(QString::fromStdString(path)).size(), UINT32_MAX));
        }
        total += n;
    }
    if (const CAudioWaveInfo* in = form ? form->getInfo() : nullptr)
        total += kPerPoint * (in->getBeatPoints().size() + in->getOnsetPoints().size() +
                              in->getAttackPoints().size() + in->getTempoList().size());
    if (const CAudioStyleWaveFormat* sf = form ? form->getStyleFormat() : nullptr)
        total += kPerPoint * sf->getSyncroPoints().size();
    return total;
}

size_t estimatedPartSize(const CAudioInfo& info)
{
    constexpr size_t kPerSection = 512;
    size_t total = info.sections.size() * kPerSection;
    for (const auto& f : info.files)
        total += estimatedFileSize(f.get());
    return total;
}

}  // namespace

Result CAudioStyle::writeAudioPart(CAudioInfo* info, std::vector<uint8_t>& out)
{
    if (!info)
        return fail(1);
    out.clear();
    out.reserve(estimatedPartSize(*info));
    if (Result r = writeAASM(out, info)) {
        out.clear();
        return nest(r, 2);
    }
    if (Result r = writeAFil(out, info)) {
        out.clear();
        return nest(r, 3);
    }
    return krm::kOk;
}

Result CAudioStyle::writeAudioPart(CAudioInfo* info, PartSink& sink, uint64_t& written)
{
    written = 0;
    if (!info)
        return fail(1);
    auto append = [&](const std::vector<uint8_t>& bytes) {
        if (!bytes.empty() && !sink.append(bytes.data(), bytes.size()))
            return false;
        written += bytes.size();
        return true;
    };
    std::vector<uint8_t> piece;
    if (Result r = writeAASM(piece, info))
        return nest(r, 2);
    if (!append(piece))
        return fail(4);
    if (info->files.empty())
        return krm::kOk;

    // "AFil" as writeChunk frames it, its length known only after the last
    // file; each file's chunk goes out before the next one is built, in
    // one buffer reused from file to file.
    piece.clear();
    if (appendChunkTag(piece, kChunkAFil))
        return nest(fail(2), 3);
    appendUInt32BE(piece, 0);
    const uint64_t lengthAt = written + 4;
    if (!append(piece))
        return fail(4);
    uint64_t body = 0;
    for (const auto& f : info->files) {
        piece.clear();
        piece.reserve(estimatedFileSize(f.get()));
        if (Result r = writeADSg(piece, f.get()))
            return nest(nest(r, 4), 3);
        body += piece.size();
        if (body > 0xFFFFFFFFu)
            return nest(fail(3), 3);
        if (!append(piece))
            return fail(4);
    }
    return sink.patchU32(lengthAt, static_cast<uint32_t>(body)) ? krm::kOk : fail(4);
}

CAudioStyle::FilePartSink::FilePartSink(QFileDevice& file) : m_file(file), m_start(uint64_t(file.pos()))
{ }

bool CAudioStyle::FilePartSink::append(const uint8_t* data, size_t size)
{
    m_failed = m_failed || m_file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size);
    return !m_failed;
}

bool CAudioStyle::FilePartSink::patchU32(uint64_t offset, uint32_t value)
{
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    const qint64 end = m_file.pos();
    m_failed = m_failed || !m_file.seek(qint64(m_start + offset)) || m_file.write(bytes, 4) != 4 ||
               !m_file.seek(end);
    return !m_failed;
}

// ---------------------------------------------------------------- sections

Result CAudioStyle::writeAASM(std::vector<uint8_t>& out, CAudioInfo* info)
{
    if (!info)
        return fail(1);
    if (info->sections.empty())
        return krm::kOk;
    return writeChunk(out, kChunkAASM, [&](std::vector<uint8_t>& body) {
        for (const auto& s : info->sections) {
            std::vector<uint8_t> joined;
            if (s->joinNames(joined))
                return fail(4);
            if (joined.empty())
                continue;
            if (Result r = writeASEG(body, s.get()))
                return nest(r, 5);
        }
        return krm::kOk;
    });
}

Result CAudioStyle::writeASEG(std::vector<uint8_t>& out, CAudioSection* section)
{
    if (!section)
        return fail(1);
    return writeChunk(out, kChunkASEG, [&](std::vector<uint8_t>& body) {
        if (Result r = writeAdec(body, section))
            return nest(r, 3);
        for (const auto& t : section->atabList) {
            uint8_t tag[4];
            uint32_t size = sizeof tag;
            if (!t)
                return nest(fail(1), 5);
            if (Result r = t->getTag(tag, &size))
                return nest(r, 5);
            if (!isChunkTag(tag, size, kChunkAtab))
                return fail(8);
            if (Result r = writeAtab(body, t.get()))
                return nest(r, 6);
        }
        return nestOnFail(writeAMix(body, section->getMixer(), section), 0xA);
    });
}

Result CAudioStyle::writeAdec(std::vector<uint8_t>& out, const CAudioSection* section)
{
    if (!section)
        return fail(1);
    return writeChunk(out, kChunkAdec, [&](std::vector<uint8_t>& body) {
        return section->joinNames(body) ? fail(4) : krm::kOk;
    });
}

Result CAudioStyle::writeAtab(std::vector<uint8_t>& out, const CAtabData* table)
{
    if (!table)
        return fail(1);
    return writeChunk(out, kChunkAtab, [&](std::vector<uint8_t>& body) {
        table->encodeAtabBody(body);
        return krm::kOk;
    });
}

Result CAudioStyle::writeAMix(std::vector<uint8_t>& out, CAMixData* mixer, const CAudioSection* section)
{
    if (!mixer || !section)
        return fail(1);
    if (Result r = mixer->ensureEndOfTrack())
        return nest(r, 7);
    const CTrk* track = mixer->getTrack();
    if (!track)
        return fail(4);
    return writeChunk(out, kChunkAMix, [&](std::vector<uint8_t>& body) {
        uint16_t ppq = 0;
        if (section->getPpq(&ppq))
            return fail(8);
        appendUInt16BE(body, ppq);
        return nestOnFail(writeTrackEvents(body, track), 5);
    });
}

// ---------------------------------------------------------------- files

Result CAudioStyle::writeAFil(std::vector<uint8_t>& out, CAudioInfo* info)
{
    if (!info)
        return fail(1);
    if (info->files.empty())
        return krm::kOk;
    return writeChunk(out, kChunkAFil, [&](std::vector<uint8_t>& body) {
        for (const auto& f : info->files)
            if (Result r = writeADSg(body, f.get()))
                return nest(r, 4);
        return krm::kOk;
    });
}

Result CAudioStyle::writeADSg(std::vector<uint8_t>& out, CAudioFile* file)
{
    if (!file)
        return fail(1);
    return writeChunk(out, kChunkADSg, [&](std::vector<uint8_t>& body) {
        if (Result r = writeANdc(body, file))
            return nest(r, 3);
        CAudioWaveForm* form = file->getWaveForm();
        // The format is read again from the WAV file; a file that cannot be
        // read leaves what the record held.
        if (form && form->getFormat() && form->getData()) {
            std::string path;
            form->getData()->getFileName(path);
            readWaveFormat(form->getFormat(), path);
        }
        return nestOnFail(writeAWav(body, form), 4);
    });
}

Result CAudioStyle::writeANdc(std::vector<uint8_t>& out, const CAudioFile* file)
{
    if (!file)
        return fail(1);
    return writeChunk(out, kChunkANdc, [&](std::vector<uint8_t>& body) {
        uint8_t name[CAudioFile::kNameBytes];
        uint32_t size = sizeof name;
        if (file->getName(name, &size))
            return fail(4);
        body.insert(body.end(), name, name + sizeof name);
        return krm::kOk;
    });
}

Result CAudioStyle::writeAWav(std::vector<uint8_t>& out, CAudioWaveForm* form)
{
    if (!form)
        return fail(1);
    return writeChunk(out, kChunkAWav, [&](std::vector<uint8_t>& body) {
        uint8_t id[4];
        if (form->getId(id))
            return fail(4);
        body.insert(body.end(), id, id + 4);
        if (Result r = writeAfmt(body, form->getFormat()))
            return nest(r, 5);
        if (Result r = writeSfmt(body, form->getStyleFormat()))
            return nest(r, 6);
        if (Result r = writeAdat(body, form->getData()))
            return nest(r, 7);
        return nestOnFail(writeAInf(body, form->getInfo()), 8);
    });
}

Result CAudioStyle::writeAfmt(std::vector<uint8_t>& out, const CAudioWaveFormat* format)
{
    if (!format)
        return fail(1);
    return writeChunk(out, kChunkAfmt, [&](std::vector<uint8_t>& body) {
        uint16_t tag = 0, channels = 0, align = 0, bits = 0;
        uint32_t rate = 0, bytesPerSec = 0;
        if (format->getFormatTag(&tag) || format->getChannels(&channels) || format->getSampleRate(&rate) ||
            format->getAvgBytesPerSec(&bytesPerSec) || format->getBlockAlign(&align) ||
            format->getBitsPerSample(&bits))
            return fail(4);
        krm::ByteWriter w(body);
        w.u16(tag);
        w.u16(channels);
        w.u32(rate);
        w.u32(bytesPerSec);
        w.u16(align);
        w.u16(bits);
        return krm::kOk;
    });
}

Result CAudioStyle::writeSfmt(std::vector<uint8_t>& out, const CAudioStyleWaveFormat* format)
{
    if (!format)
        return fail(1);
    return writeChunk(out, kChunkSfmt, [&](std::vector<uint8_t>& body) {
        format->encodeHead(body);
        if (Result r = writeSPnt(body, format))
            return nest(r, 5);
        return nestOnFail(writeSdec(body, format->getSection()), 6);
    });
}

Result CAudioStyle::writeSPnt(std::vector<uint8_t>& out, const CAudioStyleWaveFormat* format)
{
    if (!format)
        return fail(1);
    return writeChunk(out, kChunkSPnt, [&](std::vector<uint8_t>& body) {
        krm::ByteWriter w(body);
        for (const auto& p : format->getSyncroPoints()) {
            if (!p)
                return nest(fail(1), 4);
            uint32_t position = 0;
            uint16_t index = 0, offset = 0;
            uint8_t flagA = 0, flagB = 0;
            p->getPosition(&position);
            p->getIndex(&index);
            p->getFlagA(&flagA);
            p->getFlagB(&flagB);
            p->getOffset(&offset);
            w.u32(position);
            w.u16(index);
            w.u8(flagA);
            w.u8(flagB);
            w.u16(offset);
        }
        return krm::kOk;
    });
}

Result CAudioStyle::writeAdat(std::vector<uint8_t>& out, const CAudioWaveData* data)
{
    if (!data)
        return fail(1);
    return writeChunk(out, kChunkAdat,
                      [&](std::vector<uint8_t>& body) { return nestOnFail(loadWaveData(body, data), 4); });
}

// ---------------------------------------------------------------- analysis points

Result CAudioStyle::writeAInf(std::vector<uint8_t>& out, const CAudioWaveInfo* info)
{
    if (!info)
        return fail(1);
    return writeChunk(out, kChunkAInf, [&](std::vector<uint8_t>& body) {
        if (Result r = writeBPnt(body, info))
            return nest(r, 4);
        if (Result r = writeOPnt(body, info))
            return nest(r, 5);
        if (Result r = writeAPnt(body, info))
            return nest(r, 6);
        if (Result r = writeATmp(body, info))
            return nest(r, 7);
        if (formatFlag == kFormatFlagWithAttacks2)
            return nestOnFail(writeAPt2(body, info), 6);
        return krm::kOk;
    });
}

Result CAudioStyle::writePointList(std::vector<uint8_t>& out, uint8_t id,
                                   const CAudioWaveInfo::PointList* list)
{
    if (!list)
        return fail(1);
    return writeChunk(out, id, [&](std::vector<uint8_t>& body) {
        krm::ByteWriter w(body);
        for (const auto& p : *list) {
            if (!p)
                return nest(fail(1), 4);
            uint32_t position = 0;
            uint16_t value1 = 0, value2 = 0;
            p->getPosition(&position);
            p->getValue1(&value1);
            p->getValue2(&value2);
            w.u32(position);
            w.u16(value1);
            w.u16(value2);
        }
        return krm::kOk;
    });
}

Result CAudioStyle::writeBPnt(std::vector<uint8_t>& out, const CAudioWaveInfo* info)
{
    return writePointList(out, kChunkBPnt, info ? &info->getBeatPoints() : nullptr);
}

Result CAudioStyle::writeOPnt(std::vector<uint8_t>& out, const CAudioWaveInfo* info)
{
    return writePointList(out, kChunkOPnt, info ? &info->getOnsetPoints() : nullptr);
}

Result CAudioStyle::writeAPnt(std::vector<uint8_t>& out, const CAudioWaveInfo* info)
{
    return writePointList(out, kChunkAPnt, info ? &info->getAttackPoints() : nullptr);
}

Result CAudioStyle::writeAPt2(std::vector<uint8_t>& out, const CAudioWaveInfo* info)
{
    return writePointList(out, kChunkAPt2, info ? &info->getAttackPoints2() : nullptr);
}

Result CAudioStyle::writeATmp(std::vector<uint8_t>& out, const CAudioWaveInfo* info)
{
    if (!info)
        return fail(1);
    return writeChunk(out, kChunkATmp, [&](std::vector<uint8_t>& body) {
        krm::ByteWriter w(body);
        for (const auto& t : info->getTempoList()) {
            if (!t)
                return nest(fail(1), 4);
            uint32_t position = 0;
            uint8_t tempo[3] = {0, 0, 0};
            uint32_t size = sizeof tempo;
            t->getPosition(&position);
            t->getTempo(tempo, &size);
            w.u32(position);
            w.bytes(tempo, 3);
        }
        return krm::kOk;
    });
}

// ---------------------------------------------------------------- wave bytes

Result CAudioStyle::loadWaveData(std::vector<uint8_t>& out, const CAudioWaveData* data)
{
    if (!data)
        return fail(1);
    const size_t start = out.size();
    uint32_t size = 0;
    data->getDataSize(&size);
    if (size > 0) {
        out.resize(start + size);
        if (Result r = data->getData(out.data() + start, size)) {
            out.resize(start);
            return nest(r, 3);
        }
        return krm::kOk;
    }
    uint32_t tempSize = 0;
    if (data->getTempFileSize(&tempSize) == krm::kOk && tempSize > 0) {
        out.resize(start + tempSize);
        if (Result r = data->readTempFile(out.data() + start, tempSize)) {
            out.resize(start);
            return nest(r, 4);
        }
        return krm::kOk;
    }
    std::string path;
    if (data->getFileName(path))
        return fail(5);
    if (Result r = readWaveFile(out, path)) {
        out.resize(start);
        krm::showWarning(GlobalMessage(26), GlobalMessage(25) + QString::fromStdString(path));
        return nest(r, 6);
    }
    return krm::kOk;
}

// ---------------------------------------------------------------- WAV files

namespace {

// Reads up to n bytes; the count actually read (0 at the end or on error).
uint32_t readUpTo(QFile& f, uint8_t* buf, uint32_t n)
{
    const qint64 got = f.read(reinterpret_cast<char*>(buf), n);
    return got > 0 ? static_cast<uint32_t>(got) : 0;
}

// The RIFF header ("RIFF", size, "WAVE", "fmt ", fmt size) in the first
// `size` bytes of `head`. `steps` gives the step of each check in order:
// tag read, tag, size read, size 0, "WAVE", fmt tag read, fmt tag, fmt size
// read, fmt size 0.
Result readRiffHeader(const uint8_t* head, uint32_t size, const uint32_t steps[9], uint32_t* fmtSize)
{
    uint32_t pos = 0;
    uint8_t id = kChunkNone;
    if (Result r = CChunkBase::readChunkTag(head, size, &pos, &id))
        return nest(r, steps[0]);
    if (id != kChunkRIFF)
        return fail(steps[1]);
    uint32_t riffSize = 0;
    if (Result r = CChunkBase::readUInt32LE(head, size, &pos, &riffSize))
        return nest(r, steps[2]);
    if (riffSize == 0)
        return fail(steps[3]);
    if (size - pos < 4 || std::memcmp(head + pos, "WAVE", 4) != 0)
        return fail(steps[4]);
    pos += 4;
    if (Result r = CChunkBase::readChunkTag(head, size, &pos, &id))
        return nest(r, steps[5]);
    if (id != kChunkFmt)
        return fail(steps[6]);
    if (Result r = CChunkBase::readUInt32LE(head, size, &pos, fmtSize))
        return nest(r, steps[7]);
    if (*fmtSize == 0)
        return fail(steps[8]);
    return krm::kOk;
}

constexpr uint32_t kRiffHeaderBytes = 20;

}  // namespace

Result CAudioStyle::readWaveFile(std::vector<uint8_t>& out, const std::string& path)
{
    try {
        QFile f(QString::fromStdString(path));
        if (!f.open(QIODevice::ReadOnly))
            return fail(1);
        uint8_t head[kRiffHeaderBytes];
        static const uint32_t kSteps[9] = {3, 4, 5, 6, 7, 3, 4, 5, 6};
        uint32_t fmtSize = 0;
        if (Result r = readRiffHeader(head, readUpTo(f, head, sizeof head), kSteps, &fmtSize))
            return r;
        // The fmt body is not needed here: it is passed over, never held, so
        // a size beyond the file costs nothing and leaves no data header.
        uint8_t dataHead[8];
        uint32_t got = 0;
        if (f.seek(qint64(kRiffHeaderBytes) + fmtSize))
            got = readUpTo(f, dataHead, sizeof dataHead);
        uint32_t pos = 0;
        uint8_t id = kChunkNone;
        if (Result r = readChunkTag(dataHead, got, &pos, &id))
            return nest(r, 3);
        if (id != kChunkData)
            return fail(4);
        uint32_t dataSize = 0;
        if (Result r = readUInt32LE(dataHead, got, &pos, &dataSize))
            return nest(r, 5);
        if (dataSize == 0)
            return fail(6);
        // The bytes go straight into the output, a large block at a time,
        // with room for all the file can hold made first: no staging copy,
        // no regrowth. A size beyond the file reserves no more than it has.
        if (!f.isSequential())
            out.reserve(out.size() +
                        size_t(std::min<qint64>(dataSize, std::max<qint64>(0, f.size() - f.pos()))));
        for (uint32_t left = dataSize; left > 0;) {
            const uint32_t want = std::min(left, kWaveBlockBytes);
            const size_t at = out.size();
            out.resize(at + want);
            const uint32_t n = readUpTo(f, out.data() + at, want);
            out.resize(at + n);
            if (n < want)
                return fail(8);
            left -= n;
        }
        return krm::kOk;
    } catch (const std::bad_alloc&) {
        return fail(2);
    }
}

Result CAudioStyle::readWaveFormat(CAudioWaveFormat* format, const std::string& path)
{
    if (!format)
        return fail(1);
    try {
        QFile f(QString::fromStdString(path));
        if (!f.open(QIODevice::ReadOnly))
            return fail(2);
        uint8_t head[kRiffHeaderBytes];
        static const uint32_t kSteps[9] = {2, 2, 3, 3, 4, 5, 5, 6, 6};
        uint32_t fmtSize = 0;
        if (Result r = readRiffHeader(head, readUpTo(f, head, sizeof head), kSteps, &fmtSize))
            return r;
        // Only the six fields are used; never more than the file holds is read.
        uint8_t body[16];
        const uint32_t n = readUpTo(f, body, std::min<uint32_t>(fmtSize, sizeof body));
        uint32_t pos = 0;
        uint16_t v16 = 0;
        uint32_t v32 = 0;
        if (Result r = readUInt16LE(body, n, &pos, &v16))
            return nest(r, 7);
        format->setFormatTag(v16);
        if (Result r = readUInt16LE(body, n, &pos, &v16))
            return nest(r, 8);
        format->setChannels(v16);
        if (Result r = readUInt32LE(body, n, &pos, &v32))
            return nest(r, 9);
        format->setSampleRate(v32);
        if (Result r = readUInt32LE(body, n, &pos, &v32))
            return nest(r, 0xA);
        format->setAvgBytesPerSec(v32);
        if (Result r = readUInt16LE(body, n, &pos, &v16))
            return nest(r, 0xB);
        format->setBlockAlign(v16);
        if (Result r = readUInt16LE(body, n, &pos, &v16))
            return nest(r, 0xC);
        format->setBitsPerSample(v16);
        return krm::kOk;
    } catch (const std::bad_alloc&) {
        return fail(3);
    }
}
