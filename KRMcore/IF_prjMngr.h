#pragma once
// Reads and writes the project file (".svproj") and the wave-info file
// (".awi") for one engine.
#include <QString>
#include <cstdint>
#include <string>

class CKRMcore;

class IF_prjMngr {
public:
    virtual ~IF_prjMngr() { }
    virtual uint32_t loadProject(const std::wstring& path) = 0;
    virtual uint32_t saveProject(const std::wstring& path) = 0;
    // Reads the ".awi" file at path into wave w of the engine.
    virtual uint32_t loadWaveInfo(const std::wstring& path, uint8_t w) = 0;
    virtual uint32_t saveWaveInfo(const std::wstring& path, uint8_t w) = 0;
    virtual QString errorText() = 0;
    virtual void clearError() = 0;
    virtual bool hasError() = 0;
};

// The engine owns the returned manager and deletes it through the
// virtual destructor; `engine` is the back pointer the manager loads into.
IF_prjMngr* createPrjMngr(CKRMcore* engine);
