// The working audio files are deleted at exit, and nothing else.
#include "TempWavFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(TempWavFiles, OnlyTheSixteenWorkingFilesAreDeleted)
{
    QTemporaryDir folder;
    QStringList working = {"KRM_temp.wav"};
    for (const char* section :
         {"Intro 1", "Intro 2", "Intro 3", "Main A", "Main B", "Main C", "Main D", "Fill In A", "Fill In B",
          "Fill In C", "Fill In D", "Break", "Ending 1", "Ending 2", "Ending 3"})
        working << QString("KRM_temp_%1.wav").arg(section);
    const QStringList others = {"KRM_temp_Down Beat.wav", "KRM_temp_Intro 1.wav.bak", "KRM_temp.WAV",
                                "KRM_temp_.wav", "song.wav"};
    for (const QString& name : working + others)
        ASSERT_TRUE(QFile(folder.filePath(name)).open(QIODevice::WriteOnly)) << name.toStdString();

    removeTempWavFiles(folder.path());
    QStringList left = QDir(folder.path()).entryList(QDir::Files);
    QStringList expected = others;
    left.sort();
    expected.sort();
    EXPECT_EQ(left, expected);

    removeTempWavFiles(folder.path());  // none there: nothing happens
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files).size(), others.size());
}

}  // namespace
