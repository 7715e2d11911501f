#pragma once
// The project-file manager: writes and reads the project file (".svproj")
// and the wave-info file (".awi") of one engine. Both files are a 32-byte
// big-endian header followed by three blocks: A the waves, B the fifteen
// sections, C the common information.
#include "IF_prjMngr.h"
#include "base/ErrorState.h"

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

class CKRMcore;
namespace krm {
class ByteReader;
}

class prjMngr : public IF_prjMngr {
public:
    explicit prjMngr(CKRMcore* engine);
    ~prjMngr() override;

    uint32_t loadProject(const std::wstring& path) override;
    uint32_t saveProject(const std::wstring& path) override;
    uint32_t loadWaveInfo(const std::wstring& path, uint8_t w) override;
    uint32_t saveWaveInfo(const std::wstring& path, uint8_t w) override;
    QString errorText() override;
    void clearError() override;
    bool hasError() override;

private:
    using Bytes = std::vector<uint8_t>;

    enum class Kind { Project, WaveInfo };

    uint32_t save(const std::wstring& path, Kind kind, uint8_t w);
    uint32_t load(const std::wstring& path, Kind kind, uint8_t w);

    uint32_t encodeBlockAProject(Bytes& out);
    uint32_t encodeBlockAWaveInfo(Bytes& out, uint8_t w);
    uint32_t encodeBlockB(Bytes& out, bool foldWaveIndex);
    uint32_t encodeBlockC(Bytes& out);

    uint32_t checkBlock(const krm::ByteReader& block) const;
    uint32_t decodeBlockAProject(krm::ByteReader block);
    uint32_t decodeBlockAWaveInfo(krm::ByteReader block, uint8_t w, const QString& awiPath);
    uint32_t decodeBlockB(krm::ByteReader block);
    uint32_t decodeBlockC(krm::ByteReader block);

    CKRMcore* m_engine;
    // The blocks of the file being loaded, one after the other; kept
    // between loads (as large as the largest block read so far).
    Bytes m_readBuffer;
    // No operation writes a text; the flag marks a lack of memory.
    krm::ErrorState m_errorState;
};

// Where the wave-info file of an audio file lives: the audio file's folder,
// its complete base name and ".awi" ("/a/take.one.wav" -> "/a/take.one.awi").
std::wstring awiPathOf(const std::wstring& audioPath);
