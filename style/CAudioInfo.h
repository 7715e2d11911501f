#pragma once
// The audio model of an export: which audio plays which style sections,
// the format and timing data of each audio file, its beat, onset and
// attack points, its tempo map and its synchronisation points.
//
// A tree of owned records: a parent owns its children and never shares
// one. Style sections are named by their long names ("Main A" ..., style
// section ids 0 to 19) and found again with sectionIndexFromName. Paths
// are UTF-8. Operations return result codes (0 success, 0x80000000 | step,
// a callee's failure nested with krm::nest) and run on the caller's
// thread; the model takes no locks.
#include "AudioFormat.h"
#include "CAudioRecords.h"
#include "CSection.h"
#include "RecordField.h"
#include "SectionNameList.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One point of a beat, onset or attack list: a sample frame within the
// audio and two values (for beat and attack points the beat number and the
// tick within the beat, 1920 per beat).
class CAudioPoint {
public:
    CAudioPoint() = default;
    CAudioPoint(uint32_t position, uint16_t value1, uint16_t value2)
        : position(position), value1(value1), value2(value2)
    { }
    virtual ~CAudioPoint() = default;

    krm::Result getPosition(uint32_t* out) const { return krmstyle::getField(position, out); }
    krm::Result setPosition(uint32_t v) { return krmstyle::setField(position, v); }
    krm::Result getValue1(uint16_t* out) const { return krmstyle::getField(value1, out); }
    krm::Result setValue1(uint16_t v) { return krmstyle::setField(value1, v); }
    krm::Result getValue2(uint16_t* out) const { return krmstyle::getField(value2, out); }
    krm::Result setValue2(uint16_t v) { return krmstyle::setField(value2, v); }

private:
    uint32_t position = 0;
    uint16_t value1 = 0;
    uint16_t value2 = 0;
};

// A synchronisation (cut) point: a sample frame, its running number, two
// flag bytes (4 and 4 unless set) and the tick within its beat.
class CSyncroPoint {
public:
    CSyncroPoint() = default;
    virtual ~CSyncroPoint() = default;

    krm::Result getPosition(uint32_t* out) const { return krmstyle::getField(position, out); }
    krm::Result setPosition(uint32_t v) { return krmstyle::setField(position, v); }
    krm::Result getIndex(uint16_t* out) const { return krmstyle::getField(index, out); }
    krm::Result setIndex(uint16_t v) { return krmstyle::setField(index, v); }
    krm::Result getFlagA(uint8_t* out) const { return krmstyle::getField(flagA, out); }
    krm::Result setFlagA(uint8_t v) { return krmstyle::setField(flagA, v); }
    krm::Result getFlagB(uint8_t* out) const { return krmstyle::getField(flagB, out); }
    krm::Result setFlagB(uint8_t v) { return krmstyle::setField(flagB, v); }
    krm::Result getOffset(uint16_t* out) const { return krmstyle::getField(offset, out); }
    krm::Result setOffset(uint16_t v) { return krmstyle::setField(offset, v); }
    // flagA = bits 31 to 24, flagB = bits 23 to 16, offset = bits 15 to 0.
    krm::Result setFlagsAndOffset(uint32_t packed);

private:
    uint32_t position = 0;
    uint16_t index = 0;
    uint8_t flagA = 4;
    uint8_t flagB = 4;
    uint16_t offset = 0;
};

// One entry of the tempo map: a position and a tempo in microseconds per
// quarter note (3 bytes, most significant first).
class CAudioTempo {
public:
    virtual ~CAudioTempo() = default;

    krm::Result getPosition(uint32_t* out) const { return krmstyle::getField(position, out); }
    krm::Result setPosition(uint32_t v) { return krmstyle::setField(position, v); }
    krm::Result getTempo(uint8_t* out, uint32_t* size) const
    {
        return krmstyle::getBytesField(tempo, out, size);
    }
    // Zeroes the field, then copies min(count, 3) bytes (no source or count
    // 0: 0x80000001).
    krm::Result setTempo(const void* src, uint32_t count)
    {
        return krmstyle::setBytesField(tempo, 0, src, count);
    }

private:
    uint32_t position = 0;
    uint8_t tempo[3] = {0, 0, 0};
};

// The PCM format of a file ("Afmt"); a new record holds 16-bit stereo at
// 44100 Hz.
class CAudioWaveFormat {
public:
    virtual ~CAudioWaveFormat() = default;

    krm::Result getFormatTag(uint16_t* out) const { return krmstyle::getField(formatTag, out); }
    krm::Result setFormatTag(uint16_t v) { return krmstyle::setField(formatTag, v); }
    krm::Result getChannels(uint16_t* out) const { return krmstyle::getField(channels, out); }
    krm::Result setChannels(uint16_t v) { return krmstyle::setField(channels, v); }
    krm::Result getSampleRate(uint32_t* out) const { return krmstyle::getField(sampleRate, out); }
    krm::Result setSampleRate(uint32_t v) { return krmstyle::setField(sampleRate, v); }
    krm::Result getAvgBytesPerSec(uint32_t* out) const { return krmstyle::getField(avgBytesPerSec, out); }
    krm::Result setAvgBytesPerSec(uint32_t v) { return krmstyle::setField(avgBytesPerSec, v); }
    krm::Result getBlockAlign(uint16_t* out) const { return krmstyle::getField(blockAlign, out); }
    krm::Result setBlockAlign(uint16_t v) { return krmstyle::setField(blockAlign, v); }
    krm::Result getBitsPerSample(uint16_t* out) const { return krmstyle::getField(bitsPerSample, out); }
    krm::Result setBitsPerSample(uint16_t v) { return krmstyle::setField(bitsPerSample, v); }

private:
    uint16_t formatTag = 1;
    uint16_t channels = 2;
    uint32_t sampleRate = krm::audio::kSampleRate;
    uint32_t avgBytesPerSec = 176400;
    uint16_t blockAlign = 4;
    uint16_t bitsPerSample = 16;
};

// The style-side format of a file ("Sfmt"): tempo and metre of the
// recording, its bar count and sample count, its synchronisation points
// and the names of the style sections that use it.
class CAudioStyleWaveFormat {
public:
    virtual ~CAudioStyleWaveFormat() = default;

    // Zeroes every field (`constantOne` 1), deletes the points and the
    // section.
    krm::Result reset();
    // reset, then a new section set to its own defaults.
    krm::Result buildDefaults();

    krm::Result getFormatTag(uint16_t* out) const { return krmstyle::getField(formatTag, out); }
    krm::Result setFormatTag(uint16_t v) { return krmstyle::setField(formatTag, v); }
    krm::Result getNumberOfBars(uint16_t* out) const { return krmstyle::getField(numberOfBars, out); }
    krm::Result setNumberOfBars(uint16_t v) { return krmstyle::setField(numberOfBars, v); }
    krm::Result getSampleSize(uint32_t* out) const { return krmstyle::getField(sampleSize, out); }
    krm::Result setSampleSize(uint32_t v) { return krmstyle::setField(sampleSize, v); }
    krm::Result getSampleSize2(uint32_t* out) const { return krmstyle::getField(sampleSize2, out); }
    krm::Result setSampleSize2(uint32_t v) { return krmstyle::setField(sampleSize2, v); }
    krm::Result getConstantOne(uint16_t* out) const { return krmstyle::getField(constantOne, out); }
    krm::Result getReserved1(uint32_t* out) const { return krmstyle::getField(reserved1, out); }
    krm::Result getReserved2(uint32_t* out) const { return krmstyle::getField(reserved2, out); }

    // The byte fields take (bytes, count): the field is zeroed, then
    // min(count, width) bytes are copied (no source or count 0:
    // 0x80000001). Their getters copy min(*count, width) bytes and set
    // *count to the width when it was at least that, so *count is the
    // number of bytes copied.
    krm::Result setSourceTempo(const void* src, uint32_t count)
    {
        return krmstyle::setBytesField(sourceTempo, 0, src, count);
    }
    krm::Result getSourceTempo(uint8_t* out, uint32_t* count) const
    {
        return krmstyle::getBytesField(sourceTempo, out, count);
    }
    // The recording's tempo, microseconds per quarter note, 3 bytes.
    krm::Result setOriginalTempo(const void* src, uint32_t count) { return setSourceTempo(src, count); }
    krm::Result setShortestQuarter(const void* src, uint32_t count)
    {
        return krmstyle::setBytesField(shortestQuarter, 0, src, count);
    }
    krm::Result getShortestQuarter(uint8_t* out, uint32_t* count) const
    {
        return krmstyle::getBytesField(shortestQuarter, out, count);
    }
    krm::Result setLongestQuarter(const void* src, uint32_t count)
    {
        return krmstyle::setBytesField(longestQuarter, 0, src, count);
    }
    krm::Result getLongestQuarter(uint8_t* out, uint32_t* count) const
    {
        return krmstyle::getBytesField(longestQuarter, out, count);
    }
    // Numerator, denominator as a power of two, clocks per click, 32nd
    // notes per quarter note.
    krm::Result setTimeSignature(const void* src, uint32_t count)
    {
        return krmstyle::setBytesField(timeSignature, 0, src, count);
    }
    krm::Result getTimeSignature(uint8_t* out, uint32_t* count) const
    {
        return krmstyle::getBytesField(timeSignature, out, count);
    }

    // Names of the style sections that use the file; null after reset.
    CSection* getSection() const { return section.get(); }

    const std::vector<std::unique_ptr<CSyncroPoint>>& getSyncroPoints() const { return syncroPoints; }
    // Takes ownership; null gives 0x80000001.
    krm::Result addSyncroPoint(CSyncroPoint* point);
    krm::Result clearSyncroPoints();
    // Takes the final point off the list and hands it back (empty when the
    // list is).
    std::unique_ptr<CSyncroPoint> dropFinalSyncroPoint();

    // The 35-byte "Sfmt" head, big-endian, tempo and metre bytes as stored.
    void encodeHead(std::vector<uint8_t>& out) const;

private:
    friend class CAudioInfo;  // the wave-info reader fills the point list

    uint16_t formatTag = 0;
    uint8_t sourceTempo[3] = {0, 0, 0};
    uint8_t shortestQuarter[3] = {0, 0, 0};
    uint8_t longestQuarter[3] = {0, 0, 0};
    uint8_t timeSignature[4] = {0, 0, 0, 0};
    uint16_t constantOne = 1;
    uint16_t numberOfBars = 0;
    uint32_t reserved1 = 0;
    uint32_t reserved2 = 0;
    uint32_t sampleSize = 0;
    uint32_t sampleSize2 = 0;
    std::vector<std::unique_ptr<CSyncroPoint>> syncroPoints;
    std::unique_ptr<CSection> section;
};

// Where the wave bytes of a file come from, in this order: bytes held in
// memory, a temporary file, the WAV file `fileName`.
class CAudioWaveData {
public:
    virtual ~CAudioWaveData();

    // Empties the bytes; deletes a temporary file that is set and empties
    // its path. Always 0.
    krm::Result reset();

    krm::Result setFileName(const std::string& path);  // UTF-8
    krm::Result getFileName(std::string& out) const;
    // Wave bytes held in memory (empty unless set).
    krm::Result setData(const uint8_t* data, uint32_t size);
    // The size of the bytes held in memory.
    krm::Result getDataSize(uint32_t* out) const;
    // Zero-fills the buffer and copies min(size, length) bytes.
    // 0x80000001 while a temporary file is set, 0x80000002 for no buffer or
    // length 0, 0x80000003 when no bytes are held.
    krm::Result getData(uint8_t* buffer, uint32_t length) const;
    // A temporary file that holds the wave bytes; deleted with the record.
    krm::Result setTempFilePath(const std::string& path);
    // 0x80000001 (size 0) without a path, else the file's size.
    krm::Result getTempFileSize(uint32_t* out) const;
    // Reads min(file size, length) bytes. 0x80000001 without a path,
    // 0x80000002 no buffer or length 0, 0x80000003 an empty file,
    // nest(read failure, 4).
    krm::Result readTempFile(uint8_t* buffer, uint32_t length) const;

private:
    std::string fileName;
    std::string tempFilePath;
    std::vector<uint8_t> bytes;
};

// The analysis data of a file ("AInf").
class CAudioWaveInfo {
public:
    virtual ~CAudioWaveInfo() = default;

    // Empties the five lists; volume 80.
    krm::Result reset();

    // Each takes ownership; null gives 0x80000001.
    krm::Result addBeatPoint(CAudioPoint* point);
    krm::Result addOnsetPoint(CAudioPoint* point);
    krm::Result addAttackPoint(CAudioPoint* point);
    krm::Result addTempo(CAudioTempo* entry);
    krm::Result clearBeatPoints();
    krm::Result clearOnsetPoints();
    krm::Result clearAttackPoints();
    krm::Result clearTempoList();

    krm::Result getVolume(uint8_t* out) const { return krmstyle::getField(volume, out); }
    krm::Result setVolume(uint8_t v) { return krmstyle::setField(volume, v); }

    using PointList = std::vector<std::unique_ptr<CAudioPoint>>;
    const PointList& getBeatPoints() const { return beatPoints; }
    const PointList& getOnsetPoints() const { return onsetPoints; }
    const PointList& getAttackPoints() const { return attackPoints; }
    const PointList& getAttackPoints2() const { return attackPoints2; }
    const std::vector<std::unique_ptr<CAudioTempo>>& getTempoList() const { return tempoList; }

private:
    friend class CAudioInfo;  // the wave-info reader fills the lists

    PointList beatPoints;
    PointList onsetPoints;
    PointList attackPoints;
    std::vector<std::unique_ptr<CAudioTempo>> tempoList;
    PointList attackPoints2;  // nothing fills it
    uint8_t volume = 80;
};

// The four records of a file.
class CAudioWaveForm {
public:
    virtual ~CAudioWaveForm() = default;

    // Id "WAVE", the four records deleted.
    krm::Result reset();
    // reset, then a new record of each kind with its defaults.
    krm::Result buildDefaults();

    // Take ownership; null gives 0x80000001.
    krm::Result setStyleFormat(CAudioStyleWaveFormat* record);
    krm::Result setData(CAudioWaveData* record);
    krm::Result setInfo(CAudioWaveInfo* record);

    CAudioWaveFormat* getFormat() const { return format.get(); }
    CAudioStyleWaveFormat* getStyleFormat() const { return styleFormat.get(); }
    CAudioWaveData* getData() const { return data.get(); }
    CAudioWaveInfo* getInfo() const { return info.get(); }
    // Copies the 4-byte id into `out` (no buffer: 0x80000001).
    krm::Result getId(uint8_t* out) const;

private:
    uint8_t id[4] = {'W', 'A', 'V', 'E'};
    std::unique_ptr<CAudioWaveFormat> format;
    std::unique_ptr<CAudioStyleWaveFormat> styleFormat;
    std::unique_ptr<CAudioWaveData> data;
    std::unique_ptr<CAudioWaveInfo> info;
};

// One piece of audio ("ADSg"); its names are those of its style format's
// section.
class CAudioFile : public SectionNameList<CAudioFile> {
public:
    static constexpr uint32_t kNameBytes = 50;

    virtual ~CAudioFile() = default;

    // Zeroes the name and builds a new wave form with its default records.
    krm::Result reset();
    // Copies at most 50 bytes into the zeroed name (no source or length 0:
    // 0x80000001); a 50-byte name has no terminating zero.
    krm::Result setName(const void* src, uint32_t length)
    {
        return krmstyle::setBytesField(name, 0, src, length);
    }
    krm::Result getName(uint8_t* out, uint32_t* length) const
    {
        return krmstyle::getBytesField(name, out, length);
    }
    // Whether the name equals `text` zero-padded to 50 bytes.
    bool nameEquals(const char* text, uint32_t length) const
    {
        return krmstyle::equalsZeroPadded(name, text, length);
    }
    CAudioWaveForm* getWaveForm() const { return waveForm.get(); }

    std::vector<std::string>* nameList();
    const std::vector<std::string>* nameList() const;

private:
    uint8_t name[kNameBytes] = {};
    std::unique_ptr<CAudioWaveForm> waveForm;
};

// The audio side of one or more style sections ("ASEG").
class CAudioSection : public SectionNameList<CAudioSection> {
public:
    virtual ~CAudioSection() = default;

    std::vector<std::string> names;
    std::vector<std::unique_ptr<CAtabData>> atabList;
    std::unique_ptr<CAMixData> mixer;

    // The one name "Dummy", one channel table (default record 0) and a
    // mixer with an empty track.
    krm::Result resetDefaults();

    krm::Result setPpq(uint16_t v) { return krmstyle::setField(ppq, v); }
    krm::Result getPpq(uint16_t* out) const { return krmstyle::getField(ppq, out); }
    const std::vector<std::unique_ptr<CAtabData>>& getAtabList() const { return atabList; }
    CAMixData* getMixer() const { return mixer.get(); }

    std::vector<std::string>* nameList() { return &names; }
    const std::vector<std::string>* nameList() const { return &names; }

private:
    uint16_t ppq = 1920;
};

class CAudioInfo {
public:
    CAudioInfo() = default;
    virtual ~CAudioInfo() = default;
    CAudioInfo(const CAudioInfo&) = delete;
    CAudioInfo& operator=(const CAudioInfo&) = delete;

    std::vector<std::unique_ptr<CAudioSection>> sections;  // in order of creation
    std::vector<std::unique_ptr<CAudioFile>> files;        // in order of creation

    // Deletes every section and file. Always 0.
    krm::Result clear();

    // Files the audio of `fileName` (bytes, kept as the file's 50-byte name)
    // under the style section id, from its wave-info text; `wavePath` is the
    // UTF-8 path of its WAV file. The id is first taken out of every other
    // section and file (one left without names is deleted). When a section
    // and a file already hold audio of that name, the id's name is added to
    // both and the text is not read. On success *volume holds the audio's
    // volume; pan and reverb send go into the new mixer.
    // 0x80000001..4: no text, no file name, no path, negative id.
    krm::Result setSectionAudio(const uint8_t* text, uint32_t textLength, const char* fileName,
                                uint32_t fileNameLength, const char* wavePath, uint32_t wavePathLength,
                                int32_t id, uint8_t* volume, const uint8_t* pan, const uint8_t* reverb);

    // The section / file naming the id; the one nearest the end when
    // several do; null when none.
    CAudioSection* findSectionById(int id) const;
    CAudioFile* findFileForSection(int id) const;

    // Reads a wave-info text into a new section and file (keys in their
    // fixed order, each a line "$Key$,value,...").
    krm::Result parseWaveInfo(const uint8_t* text, uint32_t length, CAudioSection* section, CAudioFile* file,
                              uint8_t* volume, const uint8_t* pan, const uint8_t* reverb);

    // The text readers (cursor in bytes from 0).
    // "$Key$" at the cursor: id 0 to 11, 255 for an unknown key or a text
    // that ends inside the key. 0x80000002 at the end, 0x80000003 when the
    // cursor is not on "$".
    static krm::Result lookupWaveInfoKeyword(const uint8_t* text, uint32_t length, uint32_t* pos,
                                             uint8_t* id);
    // ",value" at the cursor, the cursor left on the next ",": decimal /
    // hexadecimal after "0x" (0 without the prefix). An empty field or one
    // the text ends in gives 0. 0x80000002 at the end, 0x80000003 when the
    // cursor is not on ",", 0x80000004 for no number.
    static krm::Result readCsvField(const uint8_t* text, uint32_t length, uint32_t* pos, uint32_t* value);
    static krm::Result readHexCsvField(const uint8_t* text, uint32_t length, uint32_t* pos, uint32_t* value);
    // Past the next line feed, or to the end. 0x80000002 at the end.
    static krm::Result skipLineEnd(const uint8_t* text, uint32_t length, uint32_t* pos);

private:
    krm::Result buildSection(const char* fileName, uint32_t fileNameLength, int32_t id);
    krm::Result buildFile(const char* fileName, uint32_t fileNameLength, const char* wavePath,
                          uint32_t wavePathLength, int32_t id);
    template <typename Item> void takeIdOut(std::vector<std::unique_ptr<Item>>& items, int32_t id);
};
