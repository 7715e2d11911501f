#include "TempWavFiles.h"

#include "ProjectInfo.h"
#include "SectionNames.h"
#include "TempFolder.h"

#include <QFile>

void removeTempWavFiles()
{
    removeTempWavFiles(krm::platform::privateTempFolder());
}

void removeTempWavFiles(const QString& folder)
{
    for (int i = 0; i < krm::kSectionCount; ++i)
        QFile::remove(folder + "/KRM_temp_" + QString::fromLatin1(sectionNames[i]) + ".wav");
    QFile::remove(folder + "/KRM_temp.wav");
}
