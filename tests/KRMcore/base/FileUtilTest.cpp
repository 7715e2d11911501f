#include "FileUtil.h"
#include "RecordingWarningSink.h"
#include "TestUtil.h"
#include "WarningSink.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>
#include <thread>

namespace {

std::string local(const QString& p)
{
    return p.toStdString();
}

}  // namespace

TEST(FileUtil, RemoveFile)
{
    testutil::TempDir dir;
    EXPECT_EQ(removeFile(""), 0x80000001u);
    EXPECT_EQ(removeFile(local(dir.path("missing.bin"))), 0u);

    ASSERT_TRUE(testutil::writeFile(dir.path("a.bin"), {1, 2, 3}));
    EXPECT_EQ(removeFile(local(dir.path("a.bin"))), 0u);
    EXPECT_FALSE(QFile::exists(dir.path("a.bin")));

    // A relative path is taken from the current folder.
    ASSERT_TRUE(testutil::writeFile(dir.path("b.bin"), {1}));
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path("")));
    EXPECT_EQ(removeFile("b.bin"), 0u);
    QDir::setCurrent(old);
    EXPECT_FALSE(QFile::exists(dir.path("b.bin")));
}

TEST(FileUtil, FileSizeAndReadWholeFile)
{
    testutil::TempDir dir;
    std::vector<uint8_t> content(1234);
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = uint8_t(i * 7);
    const std::string p = local(dir.path("f.bin"));
    ASSERT_TRUE(testutil::writeFile(dir.path("f.bin"), content));
    EXPECT_EQ(fileSize(p), 1234u);
    EXPECT_EQ(fileSize(local(dir.path("missing.bin"))), 0u);

    std::vector<uint8_t> buf(2000, 0xee);
    EXPECT_EQ(readWholeFile("", buf.data(), 10), 0x80000001u);
    EXPECT_EQ(readWholeFile(p, nullptr, 10), 0x80000001u);
    EXPECT_EQ(readWholeFile(p, buf.data(), 0), 0x80000001u);
    EXPECT_EQ(readWholeFile(local(dir.path("missing.bin")), buf.data(), 10), 0u);
    EXPECT_EQ(buf, std::vector<uint8_t>(2000, 0xee));

    // Asked for more than the file holds: the rest of the buffer stays.
    ASSERT_EQ(readWholeFile(p, buf.data(), 2000), 0u);
    EXPECT_TRUE(std::equal(content.begin(), content.end(), buf.begin()));
    EXPECT_EQ(buf[1234], 0xee);
    EXPECT_EQ(buf[1999], 0xee);

    std::vector<uint8_t> small(8, 0);
    ASSERT_EQ(readWholeFile(p, small.data(), 5), 0u);
    EXPECT_EQ(small, std::vector<uint8_t>({0, 7, 14, 21, 28, 0, 0, 0}));
}

TEST(FileUtil, PathsAreLatin1TextUpToTheFirstZeroByte)
{
    testutil::TempDir dir;
    const QString name = QString::fromUtf8("caf\u00e9 \u00fc.bin");
    ASSERT_TRUE(testutil::writeFile(dir.path(name), {9, 8, 7}));
    const QByteArray latin1 = dir.path(name).toLatin1();
    const std::string whole(latin1.constData(), size_t(latin1.size()));
    const std::string cut = whole + std::string("\0.junk", 6);
    for (const std::string& p : {whole, cut}) {
        EXPECT_EQ(fileSize(p), 3u);
        std::vector<uint8_t> buf(3, 0);
        ASSERT_EQ(readWholeFile(p, buf.data(), 3), 0u);
        EXPECT_EQ(buf, std::vector<uint8_t>({9, 8, 7})) << "the size and the read find the same file";
    }
    EXPECT_EQ(removeFile(cut), 0u);
    EXPECT_FALSE(QFile::exists(dir.path(name)));
}

// Warnings go to the installed sink on the caller's thread (a worker's
// warning reaches the program's sink on that worker, which marshals it).
TEST(ShowWarning, HandsTitleTextAndLevelToTheInstalledSinkOnTheCallersThread)
{
    struct Case {
        const char* title;
        const char* text;
        krm::WarningLevel level;
        bool fromWorker;
    };
    const Case cases[] = {
        {"save SFF", "wave file read error!\r\nx.wav", krm::WarningLevel::Warning, false},
        {"t", "from worker", krm::WarningLevel::Warning, true},
        {"i", "for your information", krm::WarningLevel::Information, false},
        {"c", "critical from worker", krm::WarningLevel::Critical, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        testutil::RecordingWarningSink sink;
        const krm::WarningSinkScope scope(&sink);
        if (c.fromWorker)
            std::thread([&] { krm::showWarning(c.title, c.text, c.level); }).join();
        else
            krm::showWarning(c.title, c.text, c.level);
        const auto got = sink.warnings();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].title, c.title);
        EXPECT_EQ(got[0].text, c.text);
        EXPECT_EQ(got[0].level, c.level);
        EXPECT_EQ(got[0].onMainThread, !c.fromWorker);
    }
}

namespace {

QStringList g_logged;

void recordLog(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_logged << message;
}

}  // namespace

TEST(ShowWarning, ScopesNestAndWithoutASinkTheWarningIsLogged)
{
    testutil::RecordingWarningSink outer;
    testutil::RecordingWarningSink inner;
    {
        const krm::WarningSinkScope outerScope(&outer);
        {
            const krm::WarningSinkScope innerScope(&inner);
            krm::showWarning("t", "to the inner sink");
        }
        krm::showWarning("t", "to the outer sink again");
    }
    ASSERT_EQ(inner.warnings().size(), 1u);
    EXPECT_EQ(inner.warnings()[0].text, "to the inner sink");
    ASSERT_EQ(outer.warnings().size(), 1u);
    EXPECT_EQ(outer.warnings()[0].text, "to the outer sink again");

    g_logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordLog);
    krm::showWarning("save SFF", "nobody listens");
    qInstallMessageHandler(previous);
    EXPECT_EQ(g_logged, QStringList {"save SFF: nobody listens"});
    EXPECT_EQ(outer.warnings().size(), 1u) << "an uninstalled sink hears nothing";
}
