#include "CAudioInfo.h"

#include "ByteCodec.h"
#include "FileUtil.h"
#include "SectionNames.h"

#include <algorithm>
#include <cstring>
#include <new>

using krm::fail;
using krm::nest;
using krm::nestOnFail;
using krm::Result;

namespace {

// Appends an owned item to a list; null gives 0x80000001.
template <typename T> Result appendOwned(std::vector<std::unique_ptr<T>>& list, T* item)
{
    if (!item)
        return fail(1);
    list.emplace_back(item);
    return krm::kOk;
}

}  // namespace

// ---------------------------------------------------------------- points

Result CSyncroPoint::setFlagsAndOffset(uint32_t packed)
{
    flagA = static_cast<uint8_t>(packed >> 24);
    flagB = static_cast<uint8_t>(packed >> 16);
    offset = static_cast<uint16_t>(packed);
    return krm::kOk;
}

// ---------------------------------------------------------------- CAudioStyleWaveFormat

Result CAudioStyleWaveFormat::reset()
{
    formatTag = 0;
    std::memset(sourceTempo, 0, sizeof sourceTempo);
    std::memset(shortestQuarter, 0, sizeof shortestQuarter);
    std::memset(longestQuarter, 0, sizeof longestQuarter);
    std::memset(timeSignature, 0, sizeof timeSignature);
    constantOne = 1;
    numberOfBars = 0;
    reserved1 = reserved2 = 0;
    sampleSize = sampleSize2 = 0;
    syncroPoints.clear();
    section.reset();
    return krm::kOk;
}

Result CAudioStyleWaveFormat::buildDefaults()
{
    if (Result r = reset())
        return nest(r, 1);
    std::unique_ptr<CSection> s(new (std::nothrow) CSection);
    if (!s)
        return fail(2);
    if (Result r = s->initDefault())
        return nest(r, 3);
    section = std::move(s);
    return krm::kOk;
}

Result CAudioStyleWaveFormat::addSyncroPoint(CSyncroPoint* point)
{
    return appendOwned(syncroPoints, point);
}

Result CAudioStyleWaveFormat::clearSyncroPoints()
{
    syncroPoints.clear();
    return krm::kOk;
}

std::unique_ptr<CSyncroPoint> CAudioStyleWaveFormat::dropFinalSyncroPoint()
{
    if (syncroPoints.empty())
        return nullptr;
    std::unique_ptr<CSyncroPoint> last = std::move(syncroPoints.back());
    syncroPoints.pop_back();
    return last;
}

void CAudioStyleWaveFormat::encodeHead(std::vector<uint8_t>& out) const
{
    krm::ByteWriter w(out);
    w.u16(formatTag);
    w.bytes(sourceTempo, 3);
    w.bytes(shortestQuarter, 3);
    w.bytes(longestQuarter, 3);
    w.bytes(timeSignature, 4);
    w.u16(constantOne);
    w.u16(numberOfBars);
    w.u32(reserved1);
    w.u32(reserved2);
    w.u32(sampleSize);
    w.u32(sampleSize2);
}

// ---------------------------------------------------------------- CAudioWaveData

CAudioWaveData::~CAudioWaveData()
{
    reset();
}

Result CAudioWaveData::reset()
{
    bytes.clear();
    if (!tempFilePath.empty()) {
        removeFile(tempFilePath);
        tempFilePath.clear();
    }
    return krm::kOk;
}

Result CAudioWaveData::setFileName(const std::string& path)
{
    fileName = path;
    return krm::kOk;
}

Result CAudioWaveData::getFileName(std::string& out) const
{
    out = fileName;
    return krm::kOk;
}

Result CAudioWaveData::setData(const uint8_t* data, uint32_t size)
{
    if (!data && size)
        return fail(1);
    bytes.assign(data, data + size);
    return krm::kOk;
}

Result CAudioWaveData::getDataSize(uint32_t* out) const
{
    if (!out)
        return fail(1);
    *out = static_cast<uint32_t>(bytes.size());
    return krm::kOk;
}

Result CAudioWaveData::getData(uint8_t* buffer, uint32_t length) const
{
    if (!tempFilePath.empty())
        return fail(1);
    if (!buffer || length == 0)
        return fail(2);
    if (bytes.empty())
        return fail(3);
    std::memset(buffer, 0, length);
    std::memcpy(buffer, bytes.data(), std::min<size_t>(bytes.size(), length));
    return krm::kOk;
}

Result CAudioWaveData::setTempFilePath(const std::string& path)
{
    tempFilePath = path;
    return krm::kOk;
}

Result CAudioWaveData::getTempFileSize(uint32_t* out) const
{
    if (!out)
        return fail(1);
    *out = 0;
    if (tempFilePath.empty())
        return fail(1);
    *out = fileSize(tempFilePath);
    return krm::kOk;
}

Result CAudioWaveData::readTempFile(uint8_t* buffer, uint32_t length) const
{
    if (tempFilePath.empty())
        return fail(1);
    if (!buffer || length == 0)
        return fail(2);
    const uint32_t size = fileSize(tempFilePath);
    if (size == 0)
        return fail(3);
    return nestOnFail(readWholeFile(tempFilePath, buffer, std::min(size, length)), 4);
}

// ---------------------------------------------------------------- CAudioWaveInfo

Result CAudioWaveInfo::reset()
{
    beatPoints.clear();
    onsetPoints.clear();
    attackPoints.clear();
    attackPoints2.clear();
    tempoList.clear();
    volume = 80;
    return krm::kOk;
}

Result CAudioWaveInfo::addBeatPoint(CAudioPoint* point)
{
    return appendOwned(beatPoints, point);
}

Result CAudioWaveInfo::addOnsetPoint(CAudioPoint* point)
{
    return appendOwned(onsetPoints, point);
}

Result CAudioWaveInfo::addAttackPoint(CAudioPoint* point)
{
    return appendOwned(attackPoints, point);
}

Result CAudioWaveInfo::addTempo(CAudioTempo* entry)
{
    return appendOwned(tempoList, entry);
}

Result CAudioWaveInfo::clearBeatPoints()
{
    beatPoints.clear();
    return krm::kOk;
}

Result CAudioWaveInfo::clearOnsetPoints()
{
    onsetPoints.clear();
    return krm::kOk;
}

Result CAudioWaveInfo::clearAttackPoints()
{
    attackPoints.clear();
    return krm::kOk;
}

Result CAudioWaveInfo::clearTempoList()
{
    tempoList.clear();
    return krm::kOk;
}

// ---------------------------------------------------------------- CAudioWaveForm

Result CAudioWaveForm::reset()
{
    std::memcpy(id, "WAVE", 4);
    format.reset();
    styleFormat.reset();
    data.reset();
    info.reset();
    return krm::kOk;
}

Result CAudioWaveForm::buildDefaults()
{
    if (Result r = reset())
        return nest(r, 1);
    format.reset(new (std::nothrow) CAudioWaveFormat);
    if (!format)
        return fail(4);

    std::unique_ptr<CAudioStyleWaveFormat> sf(new (std::nothrow) CAudioStyleWaveFormat);
    if (!sf)
        return fail(7);
    if (Result r = sf->buildDefaults())
        return nest(r, 5);
    if (Result r = setStyleFormat(sf.release()))
        return nest(r, 6);

    std::unique_ptr<CAudioWaveData> d(new (std::nothrow) CAudioWaveData);
    if (!d)
        return fail(0xA);
    if (Result r = d->reset())
        return nest(r, 8);
    if (Result r = setData(d.release()))
        return nest(r, 9);

    std::unique_ptr<CAudioWaveInfo> in(new (std::nothrow) CAudioWaveInfo);
    if (!in)
        return fail(0xD);
    if (Result r = in->reset())
        return nest(r, 0xB);
    if (Result r = setInfo(in.release()))
        return nest(r, 0xC);
    return krm::kOk;
}

namespace {

template <typename T> Result store(std::unique_ptr<T>& slot, T* record)
{
    if (!record)
        return fail(1);
    slot.reset(record);
    return krm::kOk;
}

}  // namespace

Result CAudioWaveForm::setStyleFormat(CAudioStyleWaveFormat* record)
{
    return store(styleFormat, record);
}

Result CAudioWaveForm::setData(CAudioWaveData* record)
{
    return store(data, record);
}

Result CAudioWaveForm::setInfo(CAudioWaveInfo* record)
{
    return store(info, record);
}

Result CAudioWaveForm::getId(uint8_t* out) const
{
    if (!out)
        return fail(1);
    std::memcpy(out, id, 4);
    return krm::kOk;
}

// ---------------------------------------------------------------- CAudioFile

Result CAudioFile::reset()
{
    std::memset(name, 0, sizeof name);
    waveForm.reset();
    std::unique_ptr<CAudioWaveForm> form(new (std::nothrow) CAudioWaveForm);
    if (!form)
        return fail(1);
    if (Result r = form->buildDefaults())
        return nest(r, 2);
    waveForm = std::move(form);
    return krm::kOk;
}

std::vector<std::string>* CAudioFile::nameList()
{
    CAudioStyleWaveFormat* sf = waveForm ? waveForm->getStyleFormat() : nullptr;
    return sf && sf->getSection() ? &sf->getSection()->names : nullptr;
}

const std::vector<std::string>* CAudioFile::nameList() const
{
    return const_cast<CAudioFile*>(this)->nameList();
}

// ---------------------------------------------------------------- CAudioSection

Result CAudioSection::resetDefaults()
{
    atabList.clear();
    mixer.reset();
    names.assign(1, "Dummy");
    std::unique_ptr<CAtabData> table(new (std::nothrow) CAtabData);
    if (!table)
        return fail(2);
    if (Result r = table->initDefault(0))
        return nest(r, 3);
    atabList.push_back(std::move(table));
    std::unique_ptr<CAMixData> mix(new (std::nothrow) CAMixData);
    if (!mix)
        return fail(4);
    if (Result r = mix->resetTrack())
        return nest(r, 3);
    mixer = std::move(mix);
    return krm::kOk;
}

// ---------------------------------------------------------------- CAudioInfo

Result CAudioInfo::clear()
{
    sections.clear();
    files.clear();
    return krm::kOk;
}

namespace {

template <typename Item> Item* findLastNaming(const std::vector<std::unique_ptr<Item>>& items, int id)
{
    for (auto it = items.rbegin(); it != items.rend(); ++it)
        if (*it && (*it)->holdsSectionId(id))
            return it->get();
    return nullptr;
}

}  // namespace

CAudioSection* CAudioInfo::findSectionById(int id) const
{
    return findLastNaming(sections, id);
}

CAudioFile* CAudioInfo::findFileForSection(int id) const
{
    return findLastNaming(files, id);
}

template <typename Item> void CAudioInfo::takeIdOut(std::vector<std::unique_ptr<Item>>& items, int32_t id)
{
    for (auto it = items.begin(); it != items.end(); ++it) {
        std::vector<std::string>* names = (*it)->nameList();
        if (!names)
            return;
        size_t at = 0;
        if (namesHoldSectionId(*names, id, &at))
            names->erase(names->begin() + long(at));
        if (names->empty()) {
            items.erase(it);
            return;
        }
    }
}

Result CAudioInfo::setSectionAudio(const uint8_t* text, uint32_t textLength, const char* fileName,
                                   uint32_t fileNameLength, const char* wavePath, uint32_t wavePathLength,
                                   int32_t id, uint8_t* volume, const uint8_t* pan, const uint8_t* reverb)
{
    if (!text || textLength == 0)
        return fail(1);
    if (!fileName || fileNameLength == 0)
        return fail(2);
    if (!wavePath || wavePathLength == 0)
        return fail(3);
    // Ids past the last style section name nothing that could be found again.
    if (id < 0 || id >= kSectionNameCount)
        return fail(4);

    takeIdOut(sections, id);
    takeIdOut(files, id);

    // Audio already stored under this file name only gains the id's name.
    CAudioSection* sameSection = nullptr;
    for (const auto& s : sections) {
        if (!s->atabList.empty() && s->atabList.front()->text50Equals(fileName, fileNameLength)) {
            sameSection = s.get();
            break;
        }
    }
    CAudioFile* sameFile = nullptr;
    for (const auto& f : files) {
        if (f->nameEquals(fileName, fileNameLength)) {
            sameFile = f.get();
            break;
        }
    }
    if (sameSection && sameFile) {
        sameSection->addSectionName(id);
        sameFile->addSectionName(id);
        return krm::kOk;
    }

    if (Result r = buildSection(fileName, fileNameLength, id))
        return nest(r, 5);
    if (Result r = buildFile(fileName, fileNameLength, wavePath, wavePathLength, id))
        return nest(r, 6);
    CAudioSection* section = findSectionById(id);
    if (!section)
        return fail(7);
    CAudioFile* file = findFileForSection(id);
    if (!file)
        return fail(8);
    return nestOnFail(parseWaveInfo(text, textLength, section, file, volume, pan, reverb), 9);
}

Result CAudioInfo::buildSection(const char* fileName, uint32_t fileNameLength, int32_t id)
{
    if (!fileName || fileNameLength == 0)
        return fail(1);
    if (id < 0)
        return fail(2);
    CAudioSection* section = findSectionById(id);
    if (!section) {
        section = new (std::nothrow) CAudioSection;
        if (!section)
            return fail(3);
        sections.emplace_back(section);
    }
    if (Result r = section->resetDefaults()) {
        sections.erase(
            std::find_if(sections.begin(), sections.end(),
                         [section](const std::unique_ptr<CAudioSection>& s) { return s.get() == section; }));
        return nest(r, 4);
    }
    section->names.assign(1, sectionNameFromIndex(id));
    if (!section->atabList.empty())
        if (Result r = section->atabList.front()->setText50(fileName, fileNameLength))
            return nest(r, 6);
    return krm::kOk;
}

Result CAudioInfo::buildFile(const char* fileName, uint32_t fileNameLength, const char* wavePath,
                             uint32_t wavePathLength, int32_t id)
{
    if (!fileName || fileNameLength == 0)
        return fail(1);
    if (!wavePath || wavePathLength == 0)
        return fail(2);
    if (id < 0)
        return fail(3);
    CAudioFile* file = findFileForSection(id);
    if (!file) {
        std::unique_ptr<CAudioFile> fresh(new (std::nothrow) CAudioFile);
        if (!fresh)
            return fail(5);
        if (Result r = fresh->reset())
            return nest(r, 4);
        file = fresh.get();
        files.push_back(std::move(fresh));
    }
    CAudioWaveForm* form = file->getWaveForm();
    CAudioStyleWaveFormat* sf = form ? form->getStyleFormat() : nullptr;
    if (!sf || !sf->getSection())
        return fail(0xA);
    if (Result r = sf->getSection()->initDefault())
        return nest(r, 6);
    sf->getSection()->names.assign(1, sectionNameFromIndex(id));
    if (Result r = file->setName(fileName, fileNameLength))
        return nest(r, 8);
    if (CAudioWaveData* data = form->getData())
        if (Result r = data->setFileName(std::string(wavePath, wavePathLength)))
            return nest(r, 9);
    return krm::kOk;
}
