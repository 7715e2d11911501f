#pragma once
// The style-file manager: keeps the export settings, owns the audio model
// of the style being built, maps project sections onto the style's section
// numberings and writes the style file.
#include "ProjectInfo.h"

#include <QString>
#include <cstdint>
#include <string>

class IF_styMngr {
public:
    virtual ~IF_styMngr() { }
    // Writes the style file; size receives the bytes written, the three
    // masks the sections (bit n = section index n) that raised warnings.
    virtual uint32_t exportStyle(const std::wstring& path, uint32_t& size, uint16_t& attackMask,
                                 uint16_t& beatMask, uint16_t& syncMask) = 0;
    virtual uint32_t setStyleInfo(const StyleInfo& info) = 0;
    // Hands one rendered section file, described by its wave-info text, to
    // the audio model. volume, pan and reverb hold the project's values on
    // entry and may be changed by the model.
    virtual uint32_t setSectionAudio(const char* text, uint32_t textLength, const char* baseName,
                                     uint32_t baseNameLength, const char* fullPath, uint32_t fullPathLength,
                                     int32_t styleId, uint8_t* volume, uint8_t* pan, uint8_t* reverb) = 0;
    virtual uint32_t clearAudio() = 0;
    // Project section index -> style section id (0 for an index above 14).
    virtual uint8_t sectionToStyleId(uint8_t index) = 0;
    // Project section index -> template section number (0 above 14).
    virtual uint8_t sectionToStyleSlot(uint8_t index) = 0;
    virtual QString errorText() = 0;
    virtual void clearError() = 0;
    virtual bool hasError() = 0;
    virtual void setTemplatePath(const QString& path) = 0;
    virtual int32_t setMaxPoints(int32_t n) = 0;
    virtual int32_t maxPoints() = 0;
    virtual int32_t setLimitB(int32_t n) = 0;
    virtual int32_t limitB() = 0;
    virtual int32_t setLimitC(int32_t n) = 0;
    virtual int32_t limitC() = 0;
};

// The engine owns the returned manager and deletes it through the virtual
// destructor.
IF_styMngr* createStyMngr();
