#include "FileUtil.h"
#include "TestUtil.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QThread>
#include <atomic>
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

namespace {

struct BoxCall {
    int calls = 0;
    bool onGuiThread = false;
    QWidget* parent = nullptr;
    QString title, text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};
BoxCall gBox;

QMessageBox::StandardButton fakeBox(QWidget* parent, const QString& title, const QString& text,
                                    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton def)
{
    ++gBox.calls;
    gBox.onGuiThread = QThread::currentThread() == qApp->thread();
    gBox.parent = parent;
    gBox.title = title;
    gBox.text = text;
    gBox.buttons = buttons;
    gBox.defaultButton = def;
    return QMessageBox::Cancel;
}

// Puts the fake box in place for one test.
struct FakeBoxScope {
    WarningBoxFunction previous;
    FakeBoxScope() : previous(setWarningBoxFunction(fakeBox)) { gBox = BoxCall(); }
    ~FakeBoxScope() { setWarningBoxFunction(previous); }
};

}  // namespace

TEST(ShowWarning, ShowsTheBoxWithTheCallersArguments)
{
    FakeBoxScope scope;
    EXPECT_EQ(showWarning(nullptr, "save SFF", "wav file read error", QMessageBox::Ok | QMessageBox::Cancel,
                          QMessageBox::Ok),
              QMessageBox::Cancel);
    EXPECT_EQ(gBox.calls, 1);
    EXPECT_TRUE(gBox.onGuiThread);
    EXPECT_EQ(gBox.title, "save SFF");
    EXPECT_EQ(gBox.text, "wav file read error");
    EXPECT_EQ(gBox.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(gBox.defaultButton, QMessageBox::Ok);
}

TEST(ShowWarning, FromAWorkerThreadTheBoxRunsOnTheGuiThread)
{
    FakeBoxScope scope;
    std::atomic<bool> done {false};
    QMessageBox::StandardButton result = QMessageBox::NoButton;
    std::thread worker([&] {
        result = showWarning(nullptr, "t", "from worker", QMessageBox::Ok, QMessageBox::Ok);
        done = true;
    });
    // The worker waits until the GUI thread has served its request.
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    EXPECT_EQ(result, QMessageBox::Cancel);
    EXPECT_EQ(gBox.calls, 1);
    EXPECT_TRUE(gBox.onGuiThread);
    EXPECT_EQ(gBox.text, "from worker");
}
