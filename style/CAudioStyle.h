#pragma once
// The audio part of an exported style file: one "AASM" chunk describing
// the audio sections and one "AFil" chunk carrying the audio files with
// their formats, wave data and analysis points. The style manager writes
// the SMF and style parts first, then appends what `writeAudioPart`
// produces; the system never reads the audio part back.
//
// Chunk tree, in file order:
//   "AASM": one "ASEG" per section: "Adec" (names), "Atab" per table, "AMix"
//   "AFil": one "ADSg" per file: "ANdc" (name), "AWav": "WAVE", "Afmt",
//           "Sfmt" (head, "SPnt", "Sdec"), "Adat", "AInf" ("BPnt", "OPnt",
//           "APnt", "ATmp", and "APt2" only at format flag 4)
//
// Also the two WAV readers the export uses: `readWaveFile` (the bytes of
// the "data" chunk) and `readWaveFormat` (the "fmt " fields). Both accept
// only "RIFF", size, "WAVE", "fmt ", "data" in this order with nothing in
// between, read little-endian, check every count and size taken from the
// file, and keep what they read before a failure. Paths are UTF-8.
//
// Result codes: 0 success, 0x80000000 | step, a callee's failure nested.
// Runs on the caller's thread (the export's worker); the warning for an
// unreadable WAV goes to the installed warning sink (krm::showWarning),
// which is safe there.
#include "CAudioInfo.h"
#include "CSmfStyle.h"

#include <string>
#include <vector>

class QFileDevice;

class CAudioStyle : public CSmfStyleDecorator {
public:
    CAudioStyle() = default;
    ~CAudioStyle() override = default;

    // Clears the style part (nested as step 1), then the own audio model.
    krm::Result clear() override;

    CAudioInfo audioInfo;

    // Empties `out`, then writes "AASM" (left out without sections) and
    // "AFil" (left out without files) of `info`. Without a model 0x80000001
    // with `out` untouched; after any other failure `out` is empty. An
    // empty model gives an empty output and 0. The model is brought up to
    // date on the way: each mixer gains its end of track, each file's
    // format is read again from its WAV file.
    krm::Result writeAudioPart(CAudioInfo* info, std::vector<uint8_t>& out);

    // Where `writeAudioPart` can stream the part instead of building it in
    // one vector: `append` adds bytes after those written so far, `patchU32`
    // overwrites four bytes already appended, at an offset from the start
    // of the part. Both give false when the bytes could not be written.
    class PartSink {
    public:
        virtual ~PartSink() = default;
        virtual bool append(const uint8_t* data, size_t size) = 0;
        virtual bool patchU32(uint64_t offset, uint32_t bigEndianValue) = 0;
    };
    // The same bytes and result codes as the vector form, handed to `sink`
    // one chunk of the part at a time: "AASM" whole, then "AFil" one "ADSg"
    // at a time with its length patched at the end. At most one file's wave
    // bytes are held at once, so a long export never needs memory for the
    // whole part. A sink that refuses bytes gives 0x80000004. After a
    // failure the sink holds a partial part, which the caller discards;
    // `written` counts the bytes appended (0 for an empty model).
    krm::Result writeAudioPart(CAudioInfo* info, PartSink& sink, uint64_t& written);
    // A sink over a file open for writing: the part starts where the file
    // stands when the sink is made. `failed` tells whether any write or
    // seek went wrong.
    class FilePartSink : public PartSink {
    public:
        explicit FilePartSink(QFileDevice& file);
        bool append(const uint8_t* data, size_t size) override;
        bool patchU32(uint64_t offset, uint32_t bigEndianValue) override;
        bool failed() const { return m_failed; }

    private:
        QFileDevice& m_file;
        uint64_t m_start;
        bool m_failed = false;
    };

    // Writers of the chunks; each appends one whole chunk to `out`.
    krm::Result writeAASM(std::vector<uint8_t>& out, CAudioInfo* info);
    krm::Result writeASEG(std::vector<uint8_t>& out, CAudioSection* section);
    krm::Result writeAdec(std::vector<uint8_t>& out, const CAudioSection* section);
    krm::Result writeAtab(std::vector<uint8_t>& out, const CAtabData* table);
    krm::Result writeAMix(std::vector<uint8_t>& out, CAMixData* mixer, const CAudioSection* section);
    krm::Result writeAFil(std::vector<uint8_t>& out, CAudioInfo* info);
    krm::Result writeADSg(std::vector<uint8_t>& out, CAudioFile* file);
    krm::Result writeANdc(std::vector<uint8_t>& out, const CAudioFile* file);
    krm::Result writeAWav(std::vector<uint8_t>& out, CAudioWaveForm* form);
    krm::Result writeAfmt(std::vector<uint8_t>& out, const CAudioWaveFormat* format);
    krm::Result writeSfmt(std::vector<uint8_t>& out, const CAudioStyleWaveFormat* format);
    krm::Result writeSPnt(std::vector<uint8_t>& out, const CAudioStyleWaveFormat* format);
    krm::Result writeAdat(std::vector<uint8_t>& out, const CAudioWaveData* data);
    krm::Result writeAInf(std::vector<uint8_t>& out, const CAudioWaveInfo* info);
    krm::Result writeBPnt(std::vector<uint8_t>& out, const CAudioWaveInfo* info);
    krm::Result writeOPnt(std::vector<uint8_t>& out, const CAudioWaveInfo* info);
    krm::Result writeAPnt(std::vector<uint8_t>& out, const CAudioWaveInfo* info);
    krm::Result writeAPt2(std::vector<uint8_t>& out, const CAudioWaveInfo* info);
    krm::Result writeATmp(std::vector<uint8_t>& out, const CAudioWaveInfo* info);

    // Appends the wave bytes of a file to `out`, from the first source that
    // has any: the bytes in memory (nest 3), a non-empty temporary file
    // (nest 4), the WAV file (nest 6, after a warning titled "save SFF"
    // whose text is "wave file read error!\r\n" and the file name).
    // 0x80000001 without a record.
    static krm::Result loadWaveData(std::vector<uint8_t>& out, const CAudioWaveData* data);

    // Appends the bytes of the WAV file's "data" chunk to `out` (not
    // emptied first), read straight into `out` in blocks of 1 MiB. 0x80000001 cannot open;
    // 0x80000002 out of memory; header fields in file order: a tag that
    // cannot be read nest(3), a wrong tag 4, a size that cannot be read
    // nest(5), a size of 0 6, "WAVE" missing 7 (an empty file gives
    // 0x80000023); 0x80000008 when the file ends inside the data chunk
    // (what was read stays appended).
    static krm::Result readWaveFile(std::vector<uint8_t>& out, const std::string& path);
    // Sets the six fields of `format` from the file's "fmt " chunk, each as
    // soon as it is read. 0x80000001 no record, 0x80000002 cannot open,
    // then the header (2 "RIFF", 3 size, 4 "WAVE", 5 "fmt ", 6 fmt size)
    // and the fields (7 format tag ... 0xC bits per sample); a fmt body
    // that ends early fails at the first field it lacks.
    static krm::Result readWaveFormat(CAudioWaveFormat* format, const std::string& path);

private:
    krm::Result writePointList(std::vector<uint8_t>& out, uint8_t id, const CAudioWaveInfo::PointList* list);
};

// The object the style manager builds to write the audio part and to read
// WAV files.
class CAudioStyleDecorator : public CAudioStyle {
public:
    CAudioStyleDecorator() = default;
    ~CAudioStyleDecorator() override = default;
};
