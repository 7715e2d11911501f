#include "prjMngr.h"

#include "CKRMcore.h"
#include "ProjectInfo.h"
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
//               the file (checked before any block is allocated).

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kHeaderSize = 32;
constexpr uint32_t kSectionDirEnd = 1 + 8 * krm::kSectionCount;  // 121
constexpr uint32_t kSectionBodyBase = 30;
constexpr size_t kBlockCSize = 11;

const char kVersion[4] = {'T', '0', '1', '2'};
const char kMagicProject[4] = {'K', 'R', 'M', 'P'};
const char kMagicWaveInfo[4] = {'A', 'W', 'I', ' '};

// ---- big-endian primitives ----------------------------------------------

void putU8(Bytes& b, uint8_t v)
{
    b.push_back(v);
}

void putU16(Bytes& b, uint16_t v)
{
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}

void putU32(Bytes& b, uint32_t v)
{
    b.push_back(uint8_t(v >> 24));
    b.push_back(uint8_t(v >> 16));
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}

void putI32(Bytes& b, int32_t v)
{
    putU32(b, static_cast<uint32_t>(v));
}

void putF32(Bytes& b, float v)
{
    uint32_t u;
    std::memcpy(&u, &v, 4);
    putU32(b, u);
}

uint16_t getU16(const uint8_t* p)
{
    return uint16_t((p[0] << 8) | p[1]);
}

uint32_t getU32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

int32_t getI32(const uint8_t* p)
{
    return static_cast<int32_t>(getU32(p));
}

float getF32(const uint8_t* p)
{
    const uint32_t u = getU32(p);
    float v;
    std::memcpy(&v, &u, 4);
    return v;
}

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
uint32_t encodeWaveItem(const WaveInfoRecord& rec, const QByteArray& path, Bytes& out)
{
    uint32_t step = 1;
    try {
        out.reserve(out.size() + waveItemSize(rec, path));
        putU32(out, uint32_t(path.size()));
        out.insert(out.end(), path.begin(), path.end());
        step = 2;
        putU32(out, uint32_t(rec.beats.size()));
        for (float v : rec.beats)
            putF32(out, v);
        putU32(out, uint32_t(rec.onsets.size()));
        for (float v : rec.onsets)
            putF32(out, v);
        putF32(out, rec.barLength);
        putU16(out, rec.beatStep);
        step = 3;
        for (const auto* marks : {&rec.detectedMarks, &rec.fittedMarks}) {
            putU32(out, uint32_t(marks->size()));
            for (const SegmentMark& m : *marks) {
                putF32(out, m.time);
                putU16(out, m.label);
            }
        }
    } catch (const std::bad_alloc&) {
        return krm::fail(step);
    }
    return krm::kOk;
}

// Decodes one wave item of `len` bytes into rec. Every count is checked
// against the bytes left in 64-bit arithmetic, so a huge count cannot wrap
// past the check. A beat step of 0 is refused (0x8000000a): the beat grid
// divides by it.
uint32_t decodeWaveItem(const uint8_t* p, size_t len, WaveInfoRecord& rec, bool& outOfMemory)
{
    uint64_t pos = 0;
    auto room = [&](uint64_t n) { return uint64_t(len) - pos >= n; };

    if (!room(4))
        return krm::fail(1);
    const uint64_t pathLen = getU32(p);
    pos = 4;
    if (!room(pathLen))
        return krm::fail(2);
    try {
        const char* s = reinterpret_cast<const char*>(p + pos);
        const void* zero = std::memchr(s, 0, size_t(pathLen));
        const int n = zero ? int(static_cast<const char*>(zero) - s) : int(pathLen);
        rec.path = QString::fromUtf8(s, n).toStdWString();
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
        return krm::fail(3);
    }
    pos += pathLen;

    // beats (5, 6, 7 no memory) then onsets (7, 8, 9 no memory)
    struct FloatList {
        std::vector<float>* list;
        uint32_t noCount, noRoom, noMemory;
    };
    const FloatList lists[] = {{&rec.beats, 5, 6, 7}, {&rec.onsets, 7, 8, 9}};
    for (const FloatList& l : lists) {
        if (!room(4))
            return krm::fail(l.noCount);
        const uint64_t count = getU32(p + pos);
        pos += 4;
        if (!room(4 * count))
            return krm::fail(l.noRoom);
        try {
            l.list->clear();
            l.list->reserve(size_t(count));
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
            return krm::fail(l.noMemory);
        }
        for (uint64_t k = 0; k < count; ++k, pos += 4)
            l.list->push_back(getF32(p + pos));
    }

    if (!room(4))
        return krm::fail(0xd);
    rec.barLength = getF32(p + pos);
    pos += 4;
    if (!room(2))
        return krm::fail(0xe);
    rec.beatStep = getU16(p + pos);
    pos += 2;
    if (rec.beatStep == 0)
        return krm::fail(0xa);

    for (auto* marks : {&rec.detectedMarks, &rec.fittedMarks}) {
        if (!room(4))
            return krm::fail(0xf);
        const uint64_t count = getU32(p + pos);
        pos += 4;
        if (!room(6 * count))
            return krm::fail(0xf);
        try {
            marks->clear();
            marks->reserve(size_t(count));
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
            return krm::fail(0xf);
        }
        for (uint64_t k = 0; k < count; ++k, pos += 6)
            marks->push_back(SegmentMark {getF32(p + pos), getU16(p + pos + 4)});
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
uint32_t encodeSectionBody(const SectionRecord& s, bool foldWaveIndex, Bytes& out)
{
    uint32_t step = 1;
    try {
        putU8(out, s.used);
        putU8(out, foldWaveIndex && s.waveIndex != krm::kNoWave ? 0 : s.waveIndex);
        putU32(out, s.startAdrs);
        putI32(out, s.startOffset);
        putU32(out, s.endAdrs);
        putI32(out, s.endOffset);
        putU16(out, s.barCount);
        putU8(out, s.tempoFromBeats);
        putU8(out, s.manualBars);
        putU8(out, s.fadeOn);
        putU8(out, s.pickupOn);
        putU8(out, s.pickupHalfBeats);
        putI32(out, s.pickupOffset);
        step = 3;
        if (s.barCount >= 2) {
            for (size_t k = 0; k + 1 < s.barCount; ++k) {
                putU32(out, k < s.barPoints.size() ? s.barPoints[k] : 0);
                putI32(out, k < s.barPointOffsets.size() ? s.barPointOffsets[k] : 0);
            }
        }
        putU8(out, s.toggle);
    } catch (const std::bad_alloc&) {
        return krm::fail(step);
    }
    return krm::kOk;
}

// Decodes one section body onto s (renderedFrames keeps its value).
// 1 the length does not match the bar count; 2 a toggle other than 0 or 1.
uint32_t decodeSectionBody(const uint8_t* p, size_t len, SectionRecord& s)
{
    if (len < kSectionBodyBase)
        return krm::fail(1);
    const uint16_t barCount = getU16(p + 18);
    if (len != sectionBodySize(barCount))
        return krm::fail(1);
    const uint8_t toggle = p[len - 1];
    if (toggle > 1)
        return krm::fail(2);

    s.used = p[0];
    s.waveIndex = p[1];
    s.startAdrs = getU32(p + 2);
    s.startOffset = getI32(p + 6);
    s.endAdrs = getU32(p + 10);
    s.endOffset = getI32(p + 14);
    s.setPointCount(barCount);
    s.tempoFromBeats = p[20];
    s.manualBars = p[21];
    s.fadeOn = p[22];
    s.pickupOn = p[23];
    s.pickupHalfBeats = p[24];
    s.pickupOffset = getI32(p + 25);
    for (size_t k = 0; k + 1 < barCount; ++k) {
        s.barPoints[k] = getU32(p + 29 + 8 * k);
        s.barPointOffsets[k] = getI32(p + 33 + 8 * k);
    }
    s.toggle = toggle;
    return krm::kOk;
}

bool validCommon(const CommonInfo& c)
{
    return c.tempo != 0 && c.beatsPerBar >= 1 && c.beatsPerBar <= 12 &&
           (c.beatUnit == 2 || c.beatUnit == 4 || c.beatUnit == 8);
}

}  // namespace

// ---- the manager --------------------------------------------------------------

prjMngr::prjMngr(CKRMcore* engine) : engine_(engine)
{ }

prjMngr::~prjMngr() = default;

QString prjMngr::errorText()
{
    return errorText_;
}

void prjMngr::clearError()
{
    errorText_.clear();
    errorFlag_ = 0;
}

bool prjMngr::hasError()
{
    return errorFlag_ != 0;
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
    uint32_t rc = waveInfo ? encodeBlockAWaveInfo(a, w) : encodeBlockAProject(a);
    if (rc != krm::kOk)
        return krm::nest(rc, 1);
    if ((rc = encodeBlockB(b, waveInfo)) != krm::kOk)
        return krm::nest(rc, 2);
    if ((rc = encodeBlockC(c)) != krm::kOk)
        return krm::nest(rc, 3);

    const char* magic = waveInfo ? kMagicWaveInfo : kMagicProject;
    Bytes header(magic, magic + 4);
    header.insert(header.end(), kVersion, kVersion + 4);
    const uint32_t lenA = uint32_t(a.size()), lenB = uint32_t(b.size()), lenC = uint32_t(c.size());
    putU32(header, kHeaderSize);
    putU32(header, lenA);
    putU32(header, kHeaderSize + lenA);
    putU32(header, lenB);
    putU32(header, kHeaderSize + lenA + lenB);
    putU32(header, lenC);

    // The file is written beside the target and renamed over it only when
    // every byte went out, so a failed save keeps the old file.
    switch (krm::saveFileReplacing(
        QString::fromStdWString(path),
        {{header.data(), header.size()}, {a.data(), a.size()}, {b.data(), b.size()}, {c.data(), c.size()}})) {
    case krm::SaveOutcome::CannotOpen:
        return krm::fail(waveInfo ? 2 : 1);
    case krm::SaveOutcome::WriteFailed:
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

    const char* magic = waveInfo ? kMagicWaveInfo : kMagicProject;
    if (std::memcmp(f.read(4).leftJustified(4, '\0', true).constData(), magic, 4) != 0)
        return krm::fail(2);
    if (std::memcmp(f.read(4).leftJustified(4, '\0', true).constData(), kVersion, 4) != 0)
        return krm::fail(3);
    const QByteArray hs = f.read(4);
    if (hs.size() != 4 || getU32(reinterpret_cast<const uint8_t*>(hs.constData())) != kHeaderSize)
        return krm::fail(5);
    const QByteArray rest = f.read(20);
    if (rest.size() != 20)
        return krm::fail(0xc);
    const uint8_t* h = reinterpret_cast<const uint8_t*>(rest.constData());
    const uint32_t len[3] = {getU32(h), getU32(h + 8), getU32(h + 16)};  // the offset fields are not used

    // Refuse lengths that the file does not hold before allocating anything.
    const uint64_t needed = uint64_t(kHeaderSize) + len[0] + len[1] + len[2];
    if (needed > uint64_t(f.size()))
        return krm::fail(0xc);

    static const uint32_t kNoMemory[3] = {6, 8, 0xa};
    static const uint32_t kDecoder[3] = {7, 9, 0xb};
    for (int i = 0; i < 3; ++i) {
        if (len[i] == 0)
            continue;
        Bytes block;
        try {
            block.resize(len[i]);
        } catch (const std::bad_alloc&) {
            errorFlag_ = 1;
            return krm::fail(kNoMemory[i]);
        }
        if (f.read(reinterpret_cast<char*>(block.data()), qint64(len[i])) != qint64(len[i]))
            return krm::fail(0xc);
        uint32_t rc;
        if (i == 0)
            rc = waveInfo ? decodeBlockAWaveInfo(block, w, qpath) : decodeBlockAProject(block);
        else if (i == 1)
            rc = decodeBlockB(block);
        else
            rc = decodeBlockC(block);
        if (rc != krm::kOk)
            return krm::nest(rc, kDecoder[i]);
    }
    return krm::kOk;
}

// ---- encoders -------------------------------------------------------------------

uint32_t prjMngr::encodeBlockAProject(Bytes& out)
{
    if (!engine_)
        return krm::fail(1);
    const size_t n = engine_->getProjectInfo()->waveCount();
    if (n >= 256)
        return krm::fail(2);
    std::vector<WaveInfoRecord*> recs(n, nullptr);
    std::vector<QByteArray> paths;
    try {
        paths.resize(n);
    } catch (const std::bad_alloc&) {
        errorFlag_ = 1;
        return krm::fail(3);
    }
    for (size_t w = 0; w < n; ++w) {
        const uint32_t rc = engine_->getWavInfo(uint8_t(w), &recs[w]);
        if (rc != krm::kOk || !recs[w])
            return krm::nest(rc, 4);
        try {
            paths[w] = QString::fromStdWString(recs[w]->path).toUtf8();
        } catch (const std::bad_alloc&) {
            errorFlag_ = 1;
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
    try {
        out.reserve(total);
        putU8(out, uint8_t(n));
        uint32_t offset = uint32_t(1 + 8 * n);
        for (size_t len : lengths) {
            putU32(out, offset);
            putU32(out, uint32_t(len));
            offset += uint32_t(len);
        }
    } catch (const std::bad_alloc&) {
        errorFlag_ = 1;
        return krm::fail(7);
    }
    for (size_t w = 0; w < n; ++w) {
        const uint32_t rc = encodeWaveItem(*recs[w], paths[w], out);
        if (rc != krm::kOk) {
            errorFlag_ = 1;  // the item encoder fails only for lack of memory
            return krm::nest(rc, 5);
        }
    }
    return krm::kOk;
}

uint32_t prjMngr::encodeBlockAWaveInfo(Bytes& out, uint8_t w)
{
    if (!engine_)
        return krm::fail(1);
    const size_t n = engine_->getProjectInfo()->waveCount();
    if (n >= 256)
        return krm::fail(2);
    if (w >= n)
        return krm::fail(4);
    WaveInfoRecord* rec = nullptr;
    uint32_t rc = engine_->getWavInfo(w, &rec);
    if (rc != krm::kOk || !rec)
        return krm::nest(rc, 5);
    Bytes item;
    QByteArray name;
    try {
        // The plain file name: on this system a backslash is an ordinary
        // character of a name, so only '/' separates folders here.
        name = QFileInfo(QString::fromStdWString(rec->path)).fileName().toUtf8();
    } catch (const std::bad_alloc&) {
        errorFlag_ = 1;
        return krm::fail(3);
    }
    if ((rc = encodeWaveItem(*rec, name, item)) != krm::kOk) {
        errorFlag_ = 1;
        return krm::nest(rc, 6);
    }
    try {
        // Count and offset are those of the whole project; readers take the
        // item at byte 9 whatever they say.
        putU8(out, uint8_t(n));
        putU32(out, uint32_t(8 * n + 1));
        putU32(out, uint32_t(item.size()));
        out.insert(out.end(), item.begin(), item.end());
    } catch (const std::bad_alloc&) {
        errorFlag_ = 1;
        return krm::fail(7);
    }
    return krm::kOk;
}

uint32_t prjMngr::encodeBlockB(Bytes& out, bool foldWaveIndex)
{
    if (!engine_)
        return krm::fail(1);
    Bytes bodies;
    try {
        out.reserve(kSectionDirEnd);
        putU8(out, krm::kSectionCount);
        for (uint8_t i = 0; i < krm::kSectionCount; ++i) {
            SectionRecord* s = nullptr;
            uint32_t rc = engine_->getSecInfo(i, &s);
            if (rc != krm::kOk || !s)
                return krm::nest(rc, 2);
            const size_t before = bodies.size();
            if ((rc = encodeSectionBody(*s, foldWaveIndex, bodies)) != krm::kOk) {
                errorFlag_ = 1;
                return krm::nest(rc, 3);
            }
            putU32(out, uint32_t(kSectionDirEnd + before));
            putU32(out, uint32_t(bodies.size() - before));
        }
        out.insert(out.end(), bodies.begin(), bodies.end());
    } catch (const std::bad_alloc&) {
        errorFlag_ = 1;
        return krm::fail(2);
    }
    return krm::kOk;
}

uint32_t prjMngr::encodeBlockC(Bytes& out)
{
    if (!engine_)
        return krm::fail(1);
    CommonInfo* c = nullptr;
    const uint32_t rc = engine_->getProjectInfo()->getCommonInfo(&c);
    if (rc != krm::kOk || !c)
        return krm::nest(rc, 2);
    try {
        putU8(out, c->volume);
        putU8(out, c->pan);
        putU8(out, c->reverb);
        putU32(out, c->tempo);
        putU8(out, c->beatsPerBar);
        putU8(out, c->beatUnit);
        putU8(out, c->normalizeBlend);
        putU8(out, c->normalizeOn);
    } catch (const std::bad_alloc&) {
        errorFlag_ = 1;
        return krm::fail(3);
    }
    return krm::kOk;
}

// ---- decoders -------------------------------------------------------------------

// What the decoders of blocks A and B check first: 1 no engine to load
// into, 2 an empty block.
uint32_t prjMngr::checkBlock(const Bytes& block) const
{
    if (!engine_)
        return krm::fail(1);
    if (block.empty())
        return krm::fail(2);
    return krm::kOk;
}

uint32_t prjMngr::decodeBlockAProject(const Bytes& block)
{
    if (const uint32_t rc = checkBlock(block); rc != krm::kOk)
        return rc;
    const uint64_t size = block.size();
    const uint8_t* p = block.data();
    const unsigned n = p[0];
    engine_->clearWavList();

    std::vector<uint32_t> offsets, lengths;
    for (unsigned i = 0; i < n; ++i) {
        const uint64_t at = 1 + 8ull * i;
        if (size < at + 4)
            return krm::fail(3);
        try {
            offsets.push_back(getU32(p + at));
        } catch (const std::bad_alloc&) {
            errorFlag_ = 1;
            return krm::fail(3);
        }
        if (size < at + 8)
            return krm::fail(4);
        try {
            lengths.push_back(getU32(p + at + 4));
        } catch (const std::bad_alloc&) {
            errorFlag_ = 1;
            return krm::fail(4);
        }
    }

    uint64_t pos = 1 + 8ull * n;
    for (unsigned i = 0; i < n; ++i) {
        if (offsets[i] != pos)
            return krm::fail(5);
        if (pos + lengths[i] > size)
            return krm::fail(6);
        WaveInfoRecord* rec = nullptr;
        try {
            rec = new WaveInfoRecord();
        } catch (const std::bad_alloc&) {
            errorFlag_ = 1;
            return krm::fail(7);
        }
        bool outOfMemory = false;
        uint32_t rc = decodeWaveItem(p + pos, lengths[i], *rec, outOfMemory);
        if (rc != krm::kOk) {
            delete rec;
            if (outOfMemory)
                errorFlag_ = 1;
            return krm::nest(rc, 8);
        }
        // On success the engine owns the record; on failure it hands it back.
        if ((rc = engine_->addWavList(rec)) != krm::kOk) {
            delete rec;
            return krm::nest(rc, 9);
        }
        pos += lengths[i];
    }
    return krm::kOk;
}

uint32_t prjMngr::decodeBlockAWaveInfo(const Bytes& block, uint8_t w, const QString& awiPath)
{
    if (const uint32_t rc = checkBlock(block); rc != krm::kOk)
        return rc;
    if (block.size() < 5)
        return krm::fail(4);
    if (block.size() < 9)
        return krm::fail(5);
    const uint64_t itemLen = getU32(block.data() + 5);
    if (block.size() - 9 < itemLen)
        return krm::fail(6);

    WaveInfoRecord rec;
    bool outOfMemory = false;
    uint32_t rc = decodeWaveItem(block.data() + 9, size_t(itemLen), rec, outOfMemory);
    if (rc != krm::kOk) {
        if (outOfMemory)
            errorFlag_ = 1;
        return krm::nest(rc, 8);
    }
    try {
        // The audio file is looked for beside the wave-info file.
        rec.path = rebasedAudioPath(awiPath, QString::fromStdWString(rec.path)).toStdWString();
    } catch (const std::bad_alloc&) {
        errorFlag_ = 1;
        return krm::fail(7);
    }
    if ((rc = engine_->setWave(w, rec)) != krm::kOk)
        return krm::nest(rc, 9);
    return krm::kOk;
}

uint32_t prjMngr::decodeBlockB(const Bytes& block)
{
    if (const uint32_t rc = checkBlock(block); rc != krm::kOk)
        return rc;
    const uint8_t* p = block.data();
    const uint64_t size = block.size();
    if (p[0] != krm::kSectionCount)
        return krm::fail(3);

    uint32_t offsets[krm::kSectionCount], lengths[krm::kSectionCount];
    for (unsigned i = 0; i < krm::kSectionCount; ++i) {
        const uint64_t at = 1 + 8ull * i;
        if (size < at + 4)
            return krm::fail(4);
        offsets[i] = getU32(p + at);
        if (size < at + 8)
            return krm::fail(6);
        lengths[i] = getU32(p + at + 4);
    }

    uint64_t pos = kSectionDirEnd;
    for (uint8_t i = 0; i < krm::kSectionCount; ++i) {
        if (offsets[i] != pos)
            return krm::fail(8);
        // A body that runs past the block is refused before it is read.
        if (pos + lengths[i] > size)
            return krm::fail(0xd);
        SectionRecord* current = nullptr;
        uint32_t rc = engine_->getSecInfo(i, &current);
        if (rc != krm::kOk || !current)
            return krm::nest(rc, 0xa);
        SectionRecord copy;
        try {
            copy = *current;
        } catch (const std::bad_alloc&) {
            errorFlag_ = 1;
            return krm::fail(9);
        }
        if ((rc = decodeSectionBody(p + pos, lengths[i], copy)) != krm::kOk)
            return krm::nest(rc, 0xb);
        if ((rc = engine_->updateSecInfo(i, copy)) != krm::kOk)
            return krm::nest(rc, 0xc);
        pos += lengths[i];
    }
    return krm::kOk;
}

uint32_t prjMngr::decodeBlockC(const Bytes& block)
{
    if (!engine_)
        return krm::fail(1);
    if (block.size() != kBlockCSize)
        return krm::fail(2);
    CommonInfo* current = nullptr;
    uint32_t rc = engine_->getProjectInfo()->getCommonInfo(&current);
    if (rc != krm::kOk || !current)
        return krm::nest(rc, 3);
    const uint8_t* p = block.data();
    CommonInfo c = *current;
    c.volume = p[0];
    c.pan = p[1];
    c.reverb = p[2];
    c.tempo = getU32(p + 3);
    c.beatsPerBar = p[7];
    c.beatUnit = p[8];
    c.normalizeBlend = p[9];
    c.normalizeOn = p[10];
    // A tempo of 0 or an impossible time signature would break every later
    // beat and bar computation; refuse it.
    if (!validCommon(c))
        return krm::fail(5);
    if ((rc = engine_->setCommonInfo(c)) != krm::kOk)
        return krm::nest(rc, 4);
    return krm::kOk;
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
