// Start-up: the application object, its About data, and two starts of the
// real program.
#include "Application.h"
#include "CappApplicationPrivate_linux.h"
#include "ProgramRun.h"
#include "TempFolder.h"
#include "VersionInfo.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileOpenEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vector>

namespace {

Application* application()
{
    return dynamic_cast<Application*>(QCoreApplication::instance());
}

TEST(StartUp, TheStartFileIsTheFirstArgument)
{
    struct Case {
        std::vector<const char*> args;
        QString startFile;
    };
    const Case cases[] = {
        {{"stelvano"}, QString()},
        {{"stelvano", "song.svproj"}, "song.svproj"},
        {{"stelvano", "missing.svproj", "other.svproj"}, "missing.svproj"},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv;
        for (const char* a : c.args)
            argv.push_back(const_cast<char*>(a));
        EXPECT_EQ(startFileFromArguments(int(argv.size()), argv.data()), c.startFile);
    }
}

TEST(StartUp, TheRunningInstanceHasNothingPending)
{
    ASSERT_TRUE(application());
    auto* platform = dynamic_cast<Tessaro::CappApplicationPrivate_linux*>(application()->platform());
    ASSERT_TRUE(platform);
    EXPECT_TRUE(platform->pendingFileNames().isEmpty());
}

class FileOpenTarget : public QObject {
public:
    explicit FileOpenTarget(bool accept) : m_accept(accept) { }
    QStringList files;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::FileOpen)
            return QObject::event(e);
        files << static_cast<QFileOpenEvent*>(e)->file();
        e->setAccepted(m_accept);
        return true;
    }

private:
    bool m_accept;
};

TEST(StartUp, FileOpenEventsGoToTheTargetAndReportWhetherItAccepted)
{
    Application* app = application();
    ASSERT_TRUE(app);
    FileOpenTarget accepting(true), ignoring(false);
    struct Case {
        FileOpenTarget* target;
        bool accepted;
    };
    for (const Case& c : {Case {&accepting, true}, Case {&ignoring, false}, Case {nullptr, false}}) {
        app->fileOpenTarget = c.target;
        QFileOpenEvent e("song.svproj");
        EXPECT_EQ(QCoreApplication::sendEvent(app, &e), c.accepted);
        EXPECT_EQ(e.isAccepted(), c.accepted);
        if (c.target) {
            EXPECT_EQ(c.target->files, QStringList {"song.svproj"});
        }
    }
    app->fileOpenTarget = nullptr;
}

TEST(StartUp, AboutDataIsCompiledInForTheFirstTranslationOnly)
{
    const Application::VersionInformation v;
    EXPECT_EQ(v.fileDescription(0), KRM_FILE_DESCRIPTION);
    EXPECT_EQ(v.productVersion(0), KRM_PRODUCT_VERSION);
    EXPECT_EQ(v.legalCopyright(0), KRM_LEGAL_COPYRIGHT);
    EXPECT_FALSE(v.productVersion(0).isEmpty());
    for (const int index : {1, -1}) {
        EXPECT_TRUE(v.fileDescription(index).isEmpty());
        EXPECT_TRUE(v.productVersion(index).isEmpty());
        EXPECT_TRUE(v.legalCopyright(index).isEmpty());
    }
    EXPECT_TRUE(v.queryString("CompanyName", 0).isEmpty());
}

using testutil::kStartMs;
using testutil::Program;
using testutil::ProgramFolders;

TEST(StartUp, ASecondStartHandsItsExistingFilesToTheRunningOneAndEnds)
{
    ProgramFolders folders;
    const QProcessEnvironment env = folders.environment();
    const QString exists = folders.path("exists.svproj");
    const QString missing = folders.path("missing.svproj");
    QFile(exists).open(QIODevice::WriteOnly);
    const QString workingFile = krm::platform::makePrivateTempFolder(folders.path("tmp")) + "/KRM_temp.wav";
    ASSERT_TRUE(QFile(workingFile).open(QIODevice::WriteOnly));

    Program a(env, {});
    ASSERT_TRUE(a.waitForOutput("window shown", kStartMs)) << a.output().toStdString();

    Program b(env, {exists, missing});
    ASSERT_TRUE(b.process().waitForFinished(10000));
    EXPECT_EQ(b.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(b.process().exitCode(), 255) << b.output().toStdString();
    EXPECT_FALSE(b.output().contains("window shown"));

    EXPECT_TRUE(a.waitForOutput("file open: " + exists, 5000)) << a.output().toStdString();
    EXPECT_EQ(a.output().count("file open:"), 1);
    EXPECT_FALSE(a.output().contains(missing));
    EXPECT_TRUE(QFile::exists(workingFile)) << "a second start must not delete the working files";

    // A crashed instance leaves its lock and socket behind; the next start
    // takes them over and receives later starts' files.
    a.process().kill();
    ASSERT_TRUE(a.process().waitForFinished(5000));
    Program c(env, {});
    ASSERT_TRUE(c.waitForOutput("window shown", kStartMs)) << c.output().toStdString();
    Program d(env, {exists});
    ASSERT_TRUE(d.process().waitForFinished(10000));
    EXPECT_EQ(d.process().exitCode(), 255) << d.output().toStdString();
    EXPECT_TRUE(c.waitForOutput("file open: " + exists, 5000)) << c.output().toStdString();
    EXPECT_TRUE(c.running());
}

}  // namespace
