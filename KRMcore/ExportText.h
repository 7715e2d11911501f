#pragma once
// The error texts that a failed export leaves in the engine (and that the
// window shows in place of a bare result code): the style model's own
// messages, each with the file it concerns. They are set as texts only;
// the error flag stays reserved for a lack of memory.
#include "GlobalMessage.h"

#include <QString>

#include <cstdint>

namespace krm {

// A WAV file the export reads (a section's working audio) that cannot be
// read whole: missing data, a damaged header, a file cut short.
inline QString waveReadErrorText(const QString& path)
{
    return GlobalMessage(globalmsg::kWaveReadError) + path;
}

// A file that cannot be written: the style file or its temporary file (a
// full disk, a folder that cannot hold it), or a section's working audio.
inline QString writeErrorText(const QString& path)
{
    return GlobalMessage(globalmsg::kWriteError) + "\r\n" + path;
}

// The template style that cannot be opened, read or parsed.
inline QString templateErrorText(const QString& path)
{
    return GlobalMessage(globalmsg::kTemplateLoadFailed) + "\r\n" + path;
}

// Any other failure of the export, named by its result code (lower-case
// hexadecimal, as the user sees codes elsewhere).
inline QString exportErrorText(uint32_t code)
{
    return GlobalMessage(globalmsg::kStyleCreationFailed) + QString(" [%1]").arg(code, 0, 16);
}

}  // namespace krm
