#include "prjMngr.h"

#include "CKRMcore.h"
#include "ProjectInfo.h"
#include "base/ByteCodec.h"
#include "base/FileUtil.h"
#include "base/ResultCode.h"
#include "RegularFile.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <new>

// Result codes of the manager. Each operation numbers its own steps; a
// failure of a called encoder or decoder is nested with krm::nest.
//
// saveProject:  nest(A,1) nest(B,2) nest(C,3) encoders of blocks A, B, C;
//               0x80000001 cannot open; 0x80000003 a write or the final
//               commit failed (the old file is then left as it was).
// saveWaveInfo: the same encoder codes; 0x80000002 cannot open;
//               0x80000003 a write or the final commit failed. The old file
//               is replaced only by a complete new one, never deleted first,
//               so 0x80000001 no longer occurs.
// load:         0x80000001 cannot open; 2 wrong magic; 3 wrong version;
//               5 header size not 32; 6, 8, 0xa no memory for block A, B, C;
//               nest(.,7), nest(.,9), nest(.,0xb) decoder of A, B, C failed;
//               0x8000000c the header's block lengths run past the end of
//               the file (checked before any block is read).
//
// Every encoder writes its fields through a krm::ByteWriter and the matching
// decoder reads them back through a krm::ByteReader in the same order, so a
// decoder never reads outside its block.

using krm::ByteReader;
using krm::ByteWriter;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kHeaderSize = 32;
constexpr uint32_t kSectionDirEnd = 1 + 8 * krm::kSectionCount;  // 121
constexpr uint32_t kSectionBodyBase = 30;
constexpr size_t kBlockCSize = 11;

const char kVersion[4] = {'T', '0', '1', '2'};
const char kMagicProject[4] = {'K', 'R', 'M', 'P'};
const char kMagicWaveInfo[4] = {'A', 'W', 'I', ' '};

// Where the audio file of a wave-info file at `awiPath` is looked for: beside
// it, under the stored file name. The name is the part after the last '/';
// when no file of that name is there, a name stored by a Windows build
// (E:\old\song.wav) is cut at its last backslash as well. On this system a
// backslash is an ordinary character of a file name, so a name that holds
// one is kept whole when that file exists.
QString rebasedAudioPath(const QString& awiPath, const QString& stored)
{
    const QString folder = QFileInfo(awiPath).path() + QLatin1Char('/');
    const QString name = stored.mid(stored.lastIndexOf(QLatin1Char('/')) + 1);
    const QString whole = folder + name;
    if (!name.contains(QLatin1Char('\\')) || QFileInfo::exists(whole))
        return whole;
    return folder + name.mid(name.lastIndexOf(QLatin1Char('\\')) + 1);
}

// ---- wave item ------------------------------------------------------------

size_t waveItemSize(const WaveInfoRecord& rec, const QByteArray& path)
{
    return 26 + size_t(path.size()) + 4 * (rec.beats.size() + rec.onsets.size()) +
           6 * (rec.detectedMarks.size() + rec.fittedMarks.size());
}

// Encodes one wave with the given path bytes. 1 no memory for the fixed
// fields, 2 for the lists, 3 for the marks.
uint32_t encodeWaveItem(const WaveInfoRecord& rec, const QByteArray& path, ByteWriter& out)
{
    uint32_t step = 1;
    try {
        out.buffer().reserve(out.size() + waveItemSize(rec, path));
        out.u32(uint32_t(path.size()));
        out.bytes(path.constData(), size_t(path.size()));
        step = 2;
        for (const std::vector<float>* list : {&rec.beats, &rec.onsets}) {
            out.u32(uint32_t(list->size()));
            out.f32Array(list->data(), list->size());
        }
        out.f32(rec.barLength);
        out.u16(rec.beatStep);
        step = 3;
        for (const auto* marks : {&rec.detectedMarks, &rec.fittedMarks}) {
            out.u32(uint32_t(marks->size()));
            for (const SegmentMark& m : *marks) {
                out.f32(m.time);
                out.u16(m.label);
            }
        }
    } catch (const std::bad_alloc&) {
        return krm::fail(step);
    }
    return krm::kOk;
}

// Reserves room for `count` entries of `list`; false (with the flag raised)
// when memory runs out.
template <typename T> bool reserveList(std::vector<T>& list, uint32_t count, bool& outOfMemory)
{
    try {
        list.clear();
        list.reserve(count);
        return true;
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
        return false;
    }
}

// Makes `list` exactly `count` entries long, to be filled in one pass;
// false (with the flag raised) when memory runs out.
bool sizeList(std::vector<float>& list, uint32_t count, bool& outOfMemory)
{
    if (!reserveList(list, count, outOfMemory))
        return false;
    list.resize(count);  // within the reserved room: cannot throw
    return true;
}

// Decodes one wave item into rec, field by field in the order the encoder
// writes them. Every count is checked against the bytes left before a list
// is made for it. A beat step of 0 is refused (0x8000000a): the beat grid
// divides by it.
uint32_t decodeWaveItem(ByteReader in, WaveInfoRecord& rec, bool& outOfMemory)
{
    uint32_t pathLength = 0;
    if (!in.u32(pathLength))
        return krm::fail(1);
    if (in.remaining() < pathLength)
        return krm::fail(2);
    try {
        const char* s = reinterpret_cast<const char*>(in.cursor());
        const void* zero = std::memchr(s, 0, pathLength);
        const int n = zero ? int(static_cast<const char*>(zero) - s) : int(pathLength);
        rec.path = QString::fromUtf8(s, n).toStdWString();
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
        return krm::fail(3);
    }
    in.skip(pathLength);

    // beats (5, 6, 7 no memory) then onsets (7, 8, 9 no memory)
    struct FloatList {
        std::vector<float>* list;
        uint32_t noCount, noRoom, noMemory;
    };
    for (const FloatList& l : {FloatList {&rec.beats, 5, 6, 7}, FloatList {&rec.onsets, 7, 8, 9}}) {
        uint32_t count = 0;
        if (!in.u32(count))
            return krm::fail(l.noCount);
        if (in.remaining() / 4 < count)
            return krm::fail(l.noRoom);
        if (!sizeList(*l.list, count, outOfMemory))
            return krm::fail(l.noMemory);
        in.f32Array(l.list->data(), count);  // fits: checked above
    }

    if (!in.f32(rec.barLength))
        return krm::fail(0xd);
    if (!in.u16(rec.beatStep))
        return krm::fail(0xe);
    if (rec.beatStep == 0)
        return krm::fail(0xa);

    for (auto* marks : {&rec.detectedMarks, &rec.fittedMarks}) {
        uint32_t count = 0;
        if (!in.u32(count) || in.remaining() / 6 < count || !reserveList(*marks, count, outOfMemory))
            return krm::fail(0xf);
        for (uint32_t k = 0; k < count; ++k) {
            SegmentMark m;
            in.f32(m.time);
            in.u16(m.label);
            marks->push_back(m);
        }
    }
    // Bytes after the fitted marks are ignored.
    return krm::kOk;
}

// ---- section body ---------------------------------------------------------

uint64_t sectionBodySize(uint16_t barCount)
{
    return kSectionBodyBase + (barCount >= 2 ? 8ull * (barCount - 1) : 0);
}

// Encodes one section. In the wave-info file the only wave is wave 0, so
// every assigned section is written with wave index 0. A record whose arrays
// are missing while barCount >= 2 is written with zeros in their places.
// 1 no memory for the fields, 3 for the bar points.
uint32_t encodeSectionBody(const SectionRecord& s, bool foldWaveIndex, ByteWriter& out)
{
    uint32_t step = 1;
    try {
        out.u8(s.used);
        out.u8(foldWaveIndex && s.waveIndex != krm::kNoWave ? 0 : s.waveIndex);
        out.u32(s.startAdrs);
        out.i32(s.startOffset);
        out.u32(s.endAdrs);
        out.i32(s.endOffset);
        out.u16(s.barCount);
        out.u8(s.tempoFromBeats);
        out.u8(s.manualBars);
        out.u8(s.fadeOn);
        out.u8(s.pickupOn);
        out.u8(s.pickupHalfBeats);
        out.i32(s.pickupOffset);
        step = 3;
        for (size_t k = 0; k + 1 < s.barCount; ++k) {
            out.u32(k < s.barPoints.size() ? s.barPoints[k] : 0);
            out.i32(k < s.barPointOffsets.size() ? s.barPointOffsets[k] : 0);
        }
        out.u8(s.toggle);
    } catch (const std::bad_alloc&) {
        return krm::fail(step);
    }
    return krm::kOk;
}

// Decodes one section body onto s (renderedFrames keeps its value); s is
// changed only when the whole body is valid. 1 the length does not match
// the bar count; 2 a toggle other than 0 or 1.
uint32_t decodeSectionBody(ByteReader in, SectionRecord& s)
{
    SectionRecord d;
    uint16_t barCount = 0;
    const bool fixed = in.u8(d.used) && in.u8(d.waveIndex) && in.u32(d.startAdrs) && in.i32(d.startOffset) &&
                       in.u32(d.endAdrs) && in.i32(d.endOffset) && in.u16(barCount);
    if (!fixed || in.size() != sectionBodySize(barCount))
        return krm::fail(1);
    d.setPointCount(barCount);
    in.u8(d.tempoFromBeats);
    in.u8(d.manualBars);
    in.u8(d.fadeOn);
    in.u8(d.pickupOn);
    in.u8(d.pickupHalfBeats);
    in.i32(d.pickupOffset);
    for (size_t k = 0; k + 1 < barCount; ++k) {
        in.u32(d.barPoints[k]);
        in.i32(d.barPointOffsets[k]);
    }
    in.u8(d.toggle);
    if (d.toggle > 1)
        return krm::fail(2);
    d.renderedFrames = s.renderedFrames;
    s = std::move(d);
    return krm::kOk;
}

bool validCommon(const CommonInfo& c)
{
    return c.tempo != 0 && c.beatsPerBar >= 1 && c.beatsPerBar <= 12 &&
           (c.beatUnit == 2 || c.beatUnit == 4 || c.beatUnit == 8);
}

}  // namespace

// ---- the manager --------------------------------------------------------------

prjMngr::prjMngr(CKRMcore* engine) : m_engine(engine)
{ }

prjMngr::~prjMngr() = default;

QString prjMngr::errorText()
{
    return m_errorState.errorText();
}

void prjMngr::clearError()
{
    m_errorState.clearError();
}

bool prjMngr::hasError()
{
    return m_errorState.hasError();
}

uint32_t prjMngr::saveProject(const std::wstring& path)
{
    return save(path, Kind::Project, 0);
}

uint32_t prjMngr::saveWaveInfo(const std::wstring& path, uint8_t w)
{
    return save(path, Kind::WaveInfo, w);
}

uint32_t prjMngr::loadProject(const std::wstring& path)
{
    return load(path, Kind::Project, 0);
}

uint32_t prjMngr::loadWaveInfo(const std::wstring& path, uint8_t w)
{
    return load(path, Kind::WaveInfo, w);
}

uint32_t prjMngr::save(const std::wstring& path, Kind kind, uint8_t w)
{
    const bool waveInfo = kind == Kind::WaveInfo;
    Bytes a, b, c;
    if (const uint32_t rc =
            krm::nestOnFail(waveInfo ? encodeBlockAWaveInfo(a, w) : encodeBlockAProject(a), 1))
        return rc;
    if (const uint32_t rc = krm::nestOnFail(encodeBlockB(b, waveInfo), 2))
        return rc;
    if (const uint32_t rc = krm::nestOnFail(encodeBlockC(c), 3))
        return rc;

    Bytes header;
    ByteWriter h(header);
    h.tag(waveInfo ? kMagicWaveInfo : kMagicProject);
    h.tag(kVersion);
    const uint32_t lenA = uint32_t(a.size()), lenB = uint32_t(b.size()), lenC = uint32_t(c.size());
    for (uint32_t v : {kHeaderSize, lenA, kHeaderSize + lenA, lenB, kHeaderSize + lenA + lenB, lenC})
        h.u32(v);

    // The file is written beside the target and renamed over it only when
    // every byte went out, so a failed save keeps the old file.
    QString why;
    switch (krm::saveFileReplacing(
        QString::fromStdWString(path),
        {{header.data(), header.size()}, {a.data(), a.size()}, {b.data(), b.size()}, {c.data(), c.size()}},
        &why)) {
    case krm::SaveOutcome::CannotOpen:
        m_errorState.setText(why);
        return krm::fail(waveInfo ? 2 : 1);
    case krm::SaveOutcome::WriteFailed:
        m_errorState.setText(why);
        return krm::fail(3);
    case krm::SaveOutcome::Saved:
        break;
    }
    return krm::kOk;
}

uint32_t prjMngr::load(const std::wstring& path, Kind kind, uint8_t w)
{
    const bool waveInfo = kind == Kind::WaveInfo;
    const QString qpath = QString::fromStdWString(path);
    QFile f(qpath);
    // Only a regular file is read: a named pipe would block the open.
    if (!krm::platform::openRegularFile(f))
        return krm::fail(1);

    const QByteArray headerBytes = f.read(kHeaderSize);
    ByteReader header(reinterpret_cast<const uint8_t*>(headerBytes.constData()), size_t(headerBytes.size()));
    if (!header.expect(waveInfo ? kMagicWaveInfo : kMagicProject, 4))
        return krm::fail(2);
    if (!header.expect(kVersion, 4))
        return krm::fail(3);
    uint32_t headerSize = 0;
    if (!header.u32(headerSize) || headerSize != kHeaderSize)
        return krm::fail(5);
    uint32_t len[3] = {}, unusedOffset = 0;  // the offset fields are not used
    if (!header.u32(len[0]) || !header.u32(unusedOffset) || !header.u32(len[1]) ||
        !header.u32(unusedOffset) || !header.u32(len[2]))
        return krm::fail(0xc);

    // Refuse lengths that the file does not hold before reading anything.
    const uint64_t needed = uint64_t(kHeaderSize) + len[0] + len[1] + len[2];
    if (needed > uint64_t(f.size()))
        return krm::fail(0xc);
    // The blocks are read into memory rather than mapped: a mapped file that
    // another program shortens while we decode it would crash the program.

    static const uint32_t kNoMemory[3] = {6, 8, 0xa};
    static const uint32_t kDecoder[3] = {7, 9, 0xb};
    for (int i = 0; i < 3; ++i) {
        if (len[i] == 0)
            continue;
        // One buffer serves every block of every load: it only grows, so
        // loading a project again neither zero-fills nor faults in fresh
        // memory for its largest block.
        try {
            if (m_readBuffer.size() < len[i])
                m_readBuffer.resize(len[i]);
        } catch (const std::bad_alloc&) {
            m_errorState.raiseFlag();
            return krm::fail(kNoMemory[i]);
        }
        if (f.read(reinterpret_cast<char*>(m_readBuffer.data()), qint64(len[i])) != qint64(len[i]))
            return krm::fail(0xc);
        const ByteReader reader(m_readBuffer.data(), len[i]);
        uint32_t rc;
        if (i == 0)
            rc = waveInfo ? decodeBlockAWaveInfo(reader, w, qpath) : decodeBlockAProject(reader);
        else if (i == 1)
            rc = decodeBlockB(reader);
        else
            rc = decodeBlockC(reader);
        if (rc != krm::kOk)
            return krm::nest(rc, kDecoder[i]);
    }
    return krm::kOk;
}

// ---- encoders -------------------------------------------------------------------

uint32_t prjMngr::encodeBlockAProject(Bytes& out)
{
    if (!m_engine)
        return krm::fail(1);
    const size_t n = m_engine->getProjectInfo()->waveCount();
    if (n >= 256)
        return krm::fail(2);
    std::vector<WaveInfoRecord*> recs(n, nullptr);
    std::vector<QByteArray> paths;
    try {
        paths.resize(n);
    } catch (const std::bad_alloc&) {
        m_errorState.raiseFlag();
        return krm::fail(3);
    }
    for (size_t w = 0; w < n; ++w) {
        const uint32_t rc = m_engine->getWavInfo(uint8_t(w), &recs[w]);
        if (rc != krm::kOk || !recs[w])
            return krm::nest(rc, 4);
        try {
            paths[w] = QString::fromStdWString(recs[w]->path).toUtf8();
        } catch (const std::bad_alloc&) {
            m_errorState.raiseFlag();
            return krm::fail(6);
        }
    }
    // The directory needs every item's length before the items follow it.
    std::vector<size_t> lengths(n);
    size_t total = 1 + 8 * n;
    for (size_t w = 0; w < n; ++w) {
        lengths[w] = waveItemSize(*recs[w], paths[w]);
        total += lengths[w];
    }
    ByteWriter writer(out);
    try {
        out.reserve(total);
        writer.u8(uint8_t(n));
        uint32_t offset = uint32_t(1 + 8 * n);
        for (size_t len : lengths) {
            writer.u32(offset);
            writer.u32(uint32_t(len));
            offset += uint32_t(len);
        }
    } catch (const std::bad_alloc&) {
        m_errorState.raiseFlag();
        return krm::fail(7);
    }
    for (size_t w = 0; w < n; ++w) {
        if (const uint32_t rc = encodeWaveItem(*recs[w], paths[w], writer)) {
            m_errorState.raiseFlag();  // the item encoder fails only for lack of memory
            return krm::nest(rc, 5);
        }
    }
    return krm::kOk;
}

uint32_t prjMngr::encodeBlockAWaveInfo(Bytes& out, uint8_t w)
{
    if (!m_engine)
        return krm::fail(1);
    const size_t n = m_engine->getProjectInfo()->waveCount();
    if (n >= 256)
        return krm::fail(2);
    if (w >= n)
        return krm::fail(4);
    WaveInfoRecord* rec = nullptr;
    const uint32_t rc = m_engine->getWavInfo(w, &rec);
    if (rc != krm::kOk || !rec)
        return krm::nest(rc, 5);
    Bytes item;
    ByteWriter itemWriter(item);
    QByteArray name;
    try {
        // The plain file name: on this system a backslash is an ordinary
        // character of a name, so only '/' separates folders here.
        name = QFileInfo(QString::fromStdWString(rec->path)).fileName().toUtf8();
    } catch (const std::bad_alloc&) {
        m_errorState.raiseFlag();
        return krm::fail(3);
    }
    if (const uint32_t itemRc = encodeWaveItem(*rec, name, itemWriter)) {
        m_errorState.raiseFlag();
        return krm::nest(itemRc, 6);
    }
    try {
        // Count and offset are those of the whole project; readers take the
        // item at byte 9 whatever they say.
        ByteWriter writer(out);
        writer.u8(uint8_t(n));
        writer.u32(uint32_t(8 * n + 1));
        writer.u32(uint32_t(item.size()));
        writer.bytes(item);
    } catch (const std::bad_alloc&) {
        m_errorState.raiseFlag();
        return krm::fail(7);
    }
    return krm::kOk;
}

uint32_t prjMngr::encodeBlockB(Bytes& out, bool foldWaveIndex)
{
    if (!m_engine)
        return krm::fail(1);
    Bytes bodies;
    ByteWriter dir(out), body(bodies);
    try {
        out.reserve(kSectionDirEnd);
        dir.u8(krm::kSectionCount);
        for (uint8_t i = 0; i < krm::kSectionCount; ++i) {
            SectionRecord* s = nullptr;
            uint32_t rc = m_engine->getSecInfo(i, &s);
            if (rc != krm::kOk || !s)
                return krm::nest(rc, 2);
            const size_t before = bodies.size();
            if ((rc = encodeSectionBody(*s, foldWaveIndex, body)) != krm::kOk) {
                m_errorState.raiseFlag();
                return krm::nest(rc, 3);
            }
            dir.u32(uint32_t(kSectionDirEnd + before));
            dir.u32(uint32_t(bodies.size() - before));
        }
        dir.bytes(bodies);
    } catch (const std::bad_alloc&) {
        m_errorState.raiseFlag();
        return krm::fail(2);
    }
    return krm::kOk;
}

uint32_t prjMngr::encodeBlockC(Bytes& out)
{
    if (!m_engine)
        return krm::fail(1);
    CommonInfo* c = nullptr;
    const uint32_t rc = m_engine->getProjectInfo()->getCommonInfo(&c);
    if (rc != krm::kOk || !c)
        return krm::nest(rc, 2);
    try {
        ByteWriter writer(out);
        writer.u8(c->volume);
        writer.u8(c->pan);
        writer.u8(c->reverb);
        writer.u32(c->tempo);
        writer.u8(c->beatsPerBar);
        writer.u8(c->beatUnit);
        writer.u8(c->normalizeBlend);
        writer.u8(c->normalizeOn);
    } catch (const std::bad_alloc&) {
        m_errorState.raiseFlag();
        return krm::fail(3);
    }
    return krm::kOk;
}

// ---- decoders -------------------------------------------------------------------

// What the decoders of blocks A and B check first: 1 no engine to load
// into, 2 an empty block.
uint32_t prjMngr::checkBlock(const ByteReader& block) const
{
    if (!m_engine)
        return krm::fail(1);
    if (block.size() == 0)
        return krm::fail(2);
    return krm::kOk;
}

uint32_t prjMngr::decodeBlockAProject(ByteReader in)
{
    if (const uint32_t rc = checkBlock(in))
        return rc;
    uint8_t n = 0;
    in.u8(n);
    m_engine->clearWavList();

    uint32_t offsets[256], lengths[256];
    for (unsigned i = 0; i < n; ++i) {
        if (!in.u32(offsets[i]))
            return krm::fail(3);
        if (!in.u32(lengths[i]))
            return krm::fail(4);
    }

    for (unsigned i = 0; i < n; ++i) {
        if (offsets[i] != in.pos())
            return krm::fail(5);
        if (in.remaining() < lengths[i])
            return krm::fail(6);
        WaveInfoRecord* rec = nullptr;
        try {
            rec = new WaveInfoRecord();
        } catch (const std::bad_alloc&) {
            m_errorState.raiseFlag();
            return krm::fail(7);
        }
        bool outOfMemory = false;
        uint32_t rc = decodeWaveItem(ByteReader(in.cursor(), lengths[i]), *rec, outOfMemory);
        if (rc != krm::kOk) {
            delete rec;
            if (outOfMemory)
                m_errorState.raiseFlag();
            return krm::nest(rc, 8);
        }
        // On success the engine owns the record; on failure it hands it back.
        if ((rc = m_engine->addWavList(rec)) != krm::kOk) {
            delete rec;
            return krm::nest(rc, 9);
        }
        in.skip(lengths[i]);
    }
    return krm::kOk;
}

uint32_t prjMngr::decodeBlockAWaveInfo(ByteReader in, uint8_t w, const QString& awiPath)
{
    if (const uint32_t rc = checkBlock(in))
        return rc;
    // The wave count and the item offset are not used: the item is at byte 9.
    uint8_t unusedCount = 0;
    uint32_t unusedOffset = 0, itemLength = 0;
    in.u8(unusedCount);
    if (!in.u32(unusedOffset))
        return krm::fail(4);
    if (!in.u32(itemLength))
        return krm::fail(5);
    if (in.remaining() < itemLength)
        return krm::fail(6);

    WaveInfoRecord rec;
    bool outOfMemory = false;
    uint32_t rc = decodeWaveItem(ByteReader(in.cursor(), itemLength), rec, outOfMemory);
    if (rc != krm::kOk) {
        if (outOfMemory)
            m_errorState.raiseFlag();
        return krm::nest(rc, 8);
    }
    try {
        // The audio file is looked for beside the wave-info file.
        rec.path = rebasedAudioPath(awiPath, QString::fromStdWString(rec.path)).toStdWString();
    } catch (const std::bad_alloc&) {
        m_errorState.raiseFlag();
        return krm::fail(7);
    }
    return krm::nestOnFail(m_engine->setWave(w, rec), 9);
}

uint32_t prjMngr::decodeBlockB(ByteReader in)
{
    if (const uint32_t rc = checkBlock(in))
        return rc;
    uint8_t count = 0;
    in.u8(count);
    if (count != krm::kSectionCount)
        return krm::fail(3);

    uint32_t offsets[krm::kSectionCount], lengths[krm::kSectionCount];
    for (unsigned i = 0; i < krm::kSectionCount; ++i) {
        if (!in.u32(offsets[i]))
            return krm::fail(4);
        if (!in.u32(lengths[i]))
            return krm::fail(6);
    }

    for (uint8_t i = 0; i < krm::kSectionCount; ++i) {
        if (offsets[i] != in.pos())
            return krm::fail(8);
        // A body that runs past the block is refused before it is read.
        if (in.remaining() < lengths[i])
            return krm::fail(0xd);
        SectionRecord* current = nullptr;
        uint32_t rc = m_engine->getSecInfo(i, &current);
        if (rc != krm::kOk || !current)
            return krm::nest(rc, 0xa);
        SectionRecord copy;
        try {
            copy = *current;
        } catch (const std::bad_alloc&) {
            m_errorState.raiseFlag();
            return krm::fail(9);
        }
        if (const uint32_t bodyRc =
                krm::nestOnFail(decodeSectionBody(ByteReader(in.cursor(), lengths[i]), copy), 0xb))
            return bodyRc;
        if (const uint32_t commitRc = krm::nestOnFail(m_engine->updateSecInfo(i, copy), 0xc))
            return commitRc;
        in.skip(lengths[i]);
    }
    return krm::kOk;
}

uint32_t prjMngr::decodeBlockC(ByteReader in)
{
    if (!m_engine)
        return krm::fail(1);
    if (in.size() != kBlockCSize)
        return krm::fail(2);
    CommonInfo* current = nullptr;
    const uint32_t rc = m_engine->getProjectInfo()->getCommonInfo(&current);
    if (rc != krm::kOk || !current)
        return krm::nest(rc, 3);
    CommonInfo c = *current;
    in.u8(c.volume);
    in.u8(c.pan);
    in.u8(c.reverb);
    in.u32(c.tempo);
    in.u8(c.beatsPerBar);
    in.u8(c.beatUnit);
    in.u8(c.normalizeBlend);
    in.u8(c.normalizeOn);
    // A tempo of 0 or an impossible time signature would break every later
    // beat and bar computation; refuse it.
    if (!validCommon(c))
        return krm::fail(5);
    return krm::nestOnFail(m_engine->setCommonInfo(c), 4);
}

// ---- factory and path convention -----------------------------------------------

IF_prjMngr* createPrjMngr(CKRMcore* engine)
{
    return new prjMngr(engine);
}

std::wstring awiPathOf(const std::wstring& audioPath)
{
    // Folder kept as given; only the last suffix of the name is replaced.
    const QString p = QString::fromStdWString(audioPath);
    const int nameStart = std::max(p.lastIndexOf(QLatin1Char('/')), p.lastIndexOf(QLatin1Char('\\'))) + 1;
    const int dot = p.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > nameStart ? p.left(dot) : p;
    return (stem + QStringLiteral(".awi")).toStdWString();
}
