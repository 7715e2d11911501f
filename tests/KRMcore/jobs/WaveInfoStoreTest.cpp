// When a kept analysis is still its audio's own, and where it is kept: the
// status-change time catches the takes that keep an old modification time,
// and the cache place is one short name per absolute audio path.
#include "JobsFixture.h"
#include "WaveInfoStore.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <string>

namespace {

bool setModified(const QString& path, const QDateTime& when)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.setFileTime(when, QFileDevice::FileModificationTime);
}

bool writeAudio(const QString& path, int16_t first, size_t frames = 4410)
{
    std::vector<int16_t> samples(2 * frames, 0);
    samples[0] = first;
    return testwav::writePcm16(path, samples);
}

class WaveInfoStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedCache = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cache.path()));
    }
    void TearDown() override { qputenv("XDG_CACHE_HOME", m_savedCache); }
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir, m_cache;
    QByteArray m_savedCache;
};

}  // namespace

TEST_F(WaveInfoStoreTest, AnAnalysisIsFreshOnlyUntilTheAudioIsWrittenOrPutOntoItsName)
{
    const QDateTime past = QDateTime::currentDateTime().addSecs(-3600);
    struct Row {
        const char* name;
        // Runs after the audio and its ".awi" were written, in that order.
        std::function<bool(const QString& audio, const QString& awi, const QString& other)> change;
        bool fresh;
    } const rows[] = {
        {"pair as written", [](const QString&, const QString&, const QString&) { return true; }, true},
        {"audio written after its analysis",
         [&](const QString& audio, const QString& awi, const QString&) {
             // Longer, so that the stamp tells it even within one tick of the clock.
             return setModified(awi, past) && writeAudio(audio, 7, 8820);
         },
         false},
        {"older take moved onto the name",
         [&](const QString& audio, const QString& awi, const QString& other) {
             return writeAudio(other, 7) && setModified(other, past.addSecs(-60)) && setModified(awi, past) &&
                    std::rename(QFile::encodeName(other).constData(), QFile::encodeName(audio).constData()) ==
                        0;
         },
         false},
        {"take restored with its older time",
         [&](const QString& audio, const QString& awi, const QString&) {
             return setModified(awi, past) && writeAudio(audio, 7) && setModified(audio, past.addSecs(-60));
         },
         false},
        {"audio removed",
         [](const QString& audio, const QString&, const QString&) { return QFile::remove(audio); }, false},
        {"no .awi", [](const QString&, const QString& awi, const QString&) { return QFile::remove(awi); },
         false},
    };
    int n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const QString audio = path(QString("take%1.wav").arg(n)), other = path(QString("other%1.wav").arg(n));
        ++n;
        ASSERT_TRUE(writeAudio(audio, 1));
        const QString awi = waveInfoPathOf(audio);
        ASSERT_TRUE(testutil::writeFile(awi, {'a', 'w', 'i'}));
        const AudioStamp written = AudioStamp::of(audio);
        ASSERT_TRUE(r.change(audio, awi, other));
        EXPECT_EQ(waveInfoIsFresh(audio, awi), r.fresh);
        // The import's own check before and after an analysis agrees on
        // every row that changes the audio.
        if (r.name != std::string("no .awi")) {
            EXPECT_EQ(AudioStamp::of(audio) == written, r.fresh);
        }
    }
}

TEST_F(WaveInfoStoreTest, TheCachePlaceIsOneShortNamePerAbsoluteAudioPath)
{
    const QString audio = path("take.one.wav");
    EXPECT_EQ(waveInfoPathOf(audio), path("take.one.awi"));
    const QString cached = cachedWaveInfoPathOf(audio);
    EXPECT_TRUE(cached.startsWith(m_cache.path() + "/")) << cached.toStdString();
    EXPECT_TRUE(cached.endsWith(".awi"));
    EXPECT_EQ(waveInfoPlacesOf(audio), (QStringList {waveInfoPathOf(audio), cached}));

    // The same file spelt relative to the working folder is the same entry.
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    EXPECT_EQ(cachedWaveInfoPathOf("take.one.wav"), cached);
    ASSERT_TRUE(QDir::setCurrent(saved));

    const QString longName = path(QString(250, 'n') + ".wav");
    const QString others[] = {path("take.two.wav"), path("sub/take.one.wav"), longName};
    for (const QString& o : others) {
        const QString c = cachedWaveInfoPathOf(o);
        EXPECT_NE(c, cached) << o.toStdString();
        EXPECT_EQ(QFileInfo(c).fileName().size(), QFileInfo(cached).fileName().size());
        EXPECT_EQ(QFileInfo(c).path(), QFileInfo(cached).path());
    }
}

// The beside place first, then the cache; a place serves only with a fresh
// file that loads for the audio's length.
TEST_F(WaveInfoStoreTest, TheFirstFreshPlaceThatLoadsForTheAudioServes)
{
    // An analysis of 2 s of audio, as the engine writes it.
    const QString source = path("source.awi");
    {
        CKRMcore core;
        auto* rec = new WaveInfoRecord;
        rec->path = L"x.wav";
        rec->beats = {0.0f, 0.5f, 1.0f, 1.5f, 2.0f};
        rec->onsets = {0.0f, 2.0f};
        ASSERT_EQ(core.addWavList(rec), 0u);
        ASSERT_EQ(core.saveAwi(source.toStdWString(), 0), 0u);
    }
    const QString audio = path("take.wav");
    ASSERT_TRUE(writeAudio(audio, 1));
    const QString beside = waveInfoPathOf(audio), cached = cachedWaveInfoPathOf(audio);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(cached).path()));
    const uint32_t frames = 2 * 44100;

    EXPECT_EQ(servingWaveInfoOf(audio, frames), QString()) << "nothing kept";
    ASSERT_TRUE(QFile::copy(source, cached));
    EXPECT_EQ(servingWaveInfoOf(audio, frames), cached);
    ASSERT_TRUE(QFile::copy(source, beside));
    EXPECT_EQ(servingWaveInfoOf(audio, frames), beside);
    EXPECT_EQ(servingWaveInfoOf(audio, frames - 4410), QString()) << "beats past the audio's end";
    ASSERT_TRUE(setModified(beside, QDateTime::currentDateTime().addSecs(-3600)));
    EXPECT_EQ(servingWaveInfoOf(audio, frames), cached) << "the one beside is stale";
    ASSERT_TRUE(testutil::writeFile(cached, {'x'}));
    EXPECT_EQ(servingWaveInfoOf(audio, frames), QString()) << "the cached one is unreadable";
}
