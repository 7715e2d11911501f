#pragma once
// The project-file manager: writes and reads the project file (".svproj")
// and the wave-info file (".awi") of one engine. Both files are a 32-byte
// big-endian header followed by three blocks: A the waves, B the fifteen
// sections, C the common information.
#include "IF_prjMngr.h"

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

class CKRMcore;

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

    uint32_t checkBlock(const Bytes& block) const;
    uint32_t decodeBlockAProject(const Bytes& block);
    uint32_t decodeBlockAWaveInfo(const Bytes& block, uint8_t w, const QString& awiPath);
    uint32_t decodeBlockB(const Bytes& block);
    uint32_t decodeBlockC(const Bytes& block);

    CKRMcore* engine_;
    QString errorText_;
    uint8_t errorFlag_ = 0;
};

// Where the wave-info file of an audio file lives: the audio file's folder,
// its complete base name and ".awi" ("/a/take.one.wav" -> "/a/take.one.awi").
std::wstring awiPathOf(const std::wstring& audioPath);
