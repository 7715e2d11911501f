// The settings file: where it lies, what lands in it, and the fallbacks.
#include "KRMprotoSettings.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMap>
#include <QScreen>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A private home and data folder for each test; the old values come back
// afterwards.
class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : kVariables)
            m_saved[name] = qgetenv(name);
        QDir(m_root.path()).mkpath("home");
        setDataFolder(path("data"));
        qputenv("HOME", QFile::encodeName(path("home")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path("home/.config")));
    }
    void TearDown() override
    {
        for (const char* name : kVariables) {
            if (m_saved[name].isNull())
                qunsetenv(name);
            else
                qputenv(name, m_saved[name]);
        }
    }
    void setDataFolder(const QString& folder) { qputenv("XDG_DATA_HOME", QFile::encodeName(folder)); }
    QString path(const QString& name) const { return m_root.filePath(name); }

    // group/key -> value, read from the file's text.
    QMap<QString, QString> fileEntries() const
    {
        QFile f(path("data/Tanvek/Stelvano/Stelvano.ini"));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly | QIODevice::Text));
        QMap<QString, QString> entries;
        QString group;
        for (const QString& line : QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts)) {
            if (line.startsWith('['))
                group = line.mid(1, line.size() - 2);
            else
                entries[group + "/" + line.section('=', 0, 0)] = line.section('=', 1);
        }
        return entries;
    }

private:
    static constexpr const char* kVariables[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};
    QTemporaryDir m_root;
    QMap<QString, QByteArray> m_saved;
};

TEST_F(Settings, TheFileLiesUnderTheDataFolderWhateverSeparatorsEndIt)
{
    for (const char* suffix : {"", "/", "///"}) {
        setDataFolder(path("data") + suffix);
        EXPECT_EQ(KRMprotoSettings::settingsFilePath(), path("data") + "/Tanvek/Stelvano/Stelvano.ini")
            << suffix;
    }
}

TEST_F(Settings, ValuesLandUnderTheirGroupsAndKeys)
{
    QDir().mkpath(path("projects"));
    KRMprotoSettings::setProjectFilePath(path("projects"));
    KRMprotoSettings::setAudioFilePath(path("audio"));
    KRMprotoSettings::setAudioDeviceName("MME: Speakers");
    KRMprotoSettings::setAudioStyleFilePath(path("styles"));
    KRMprotoSettings::setManualDefault(true);
    KRMprotoSettings::setTimeStretchDefault(false);
    KRMprotoSettings::writeInt("MainWindow", "GeometryW", 1024);

    const QMap<QString, QString> expected = {
        {"Project/ProjectFilePath", path("projects")},
        {"Audio/AudioFilePath", path("audio")},
        {"Audio/AudioDeviceName", "MME: Speakers"},
        {"Audio/AudioStyleFilePath", path("styles")},
        {"ParameterInfo/ManualDefault", "true"},
        {"ParameterInfo/TimeStretchDefault", "false"},
        {"MainWindow/GeometryW", "1024"},
    };
    EXPECT_EQ(fileEntries(), expected);

    EXPECT_EQ(KRMprotoSettings::getProjectFilePath(), path("projects"));
    EXPECT_EQ(KRMprotoSettings::getAudioDeviceName(), "MME: Speakers");
    EXPECT_TRUE(KRMprotoSettings::getManualDefault());
    EXPECT_FALSE(KRMprotoSettings::getTimeStretchDefault());
    EXPECT_EQ(KRMprotoSettings::readInt("MainWindow", "GeometryW"), 1024);
}

TEST_F(Settings, MissingValuesAndFoldersFallBack)
{
    const QString documents = path("home/Documents"), music = path("home/Music");
    EXPECT_FALSE(QFile::exists(KRMprotoSettings::settingsFilePath()));
    EXPECT_EQ(KRMprotoSettings::getProjectFilePath(), documents);
    EXPECT_EQ(KRMprotoSettings::getAudioFilePath(), music);
    EXPECT_EQ(KRMprotoSettings::getAudioStyleFilePath(), documents);
    EXPECT_EQ(KRMprotoSettings::getAudioDeviceName(), QString());
    EXPECT_FALSE(KRMprotoSettings::getManualDefault());
    EXPECT_FALSE(KRMprotoSettings::getTimeStretchDefault());
    EXPECT_EQ(KRMprotoSettings::readInt("MainWindow", "GeometryX"), 0);
    EXPECT_FALSE(KRMprotoSettings::readVariant("MainWindow", "GeometryX").isValid());

    QDir().mkpath(path("gone"));
    KRMprotoSettings::setProjectFilePath(path("gone"));
    QDir().rmdir(path("gone"));
    KRMprotoSettings::setAudioFilePath("");
    KRMprotoSettings::setAudioStyleFilePath(path("home/Documents/missing"));
    EXPECT_EQ(KRMprotoSettings::getProjectFilePath(), documents);
    EXPECT_EQ(KRMprotoSettings::getAudioFilePath(), music);
    EXPECT_EQ(KRMprotoSettings::getAudioStyleFilePath(), documents);
}

TEST_F(Settings, AWindowIsRestoredOnlyOnItsUnchangedScreen)
{
    const WindowGeometryKeys keys("TimeStretchWindow");
    const QRect screen = QGuiApplication::screens().at(0)->availableGeometry();
    const QRect window(10, 20, 300, 200);
    int calls = 0;
    auto apply = [&](int* context, const QRect& saved, const QRect& available) {
        ++calls;
        EXPECT_EQ(saved, window);
        EXPECT_EQ(available, screen);
        return *context == 1;
    };
    int result = 1;
    EXPECT_FALSE(KRMprotoSettings::restoreWindowGeometry(&result, keys, apply)) << "no file";
    EXPECT_EQ(calls, 0);

    auto save = [&](int number, const QRect& s) {
        KRMprotoSettings::writeInt(keys.group, keys.screenNumber, number);
        KRMprotoSettings::writeInt(keys.group, keys.screenGeometryX, s.x());
        KRMprotoSettings::writeInt(keys.group, keys.screenGeometryY, s.y());
        KRMprotoSettings::writeInt(keys.group, keys.screenGeometryW, s.width());
        KRMprotoSettings::writeInt(keys.group, keys.screenGeometryH, s.height());
        KRMprotoSettings::writeInt(keys.group, keys.geometryX, window.x());
        KRMprotoSettings::writeInt(keys.group, keys.geometryY, window.y());
        KRMprotoSettings::writeInt(keys.group, keys.geometryW, window.width());
        KRMprotoSettings::writeInt(keys.group, keys.geometryH, window.height());
    };
    const int count = QGuiApplication::screens().size();
    struct Case {
        const char* what;
        int number;
        QRect saved;
    };
    const Case refused[] = {
        {"screen gone", count, screen},
        {"negative screen number", -1, screen},
        {"task bar moved", 0, screen.adjusted(0, 0, 0, -30)},
        {"screen moved", 0, screen.translated(1, 0)},
    };
    for (const Case& c : refused) {
        save(c.number, c.saved);
        EXPECT_FALSE(KRMprotoSettings::restoreWindowGeometry(&result, keys, apply)) << c.what;
        EXPECT_EQ(calls, 0) << c.what;
    }

    save(0, screen);
    EXPECT_EQ(KRMprotoSettings::readRect(keys), window);
    EXPECT_EQ(KRMprotoSettings::readScreenRect(keys), screen);
    for (const int r : {1, 0}) {
        result = r;
        EXPECT_EQ(KRMprotoSettings::restoreWindowGeometry(&result, keys, apply), r == 1);
    }
    EXPECT_EQ(calls, 2);
}

}  // namespace
