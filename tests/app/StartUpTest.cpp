// Start-up: the application object, its About data, and two starts of the
// real program.
#include "Application.h"
#include "CappApplicationPrivate_linux.h"
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

extern "C" const char* __lsan_default_suppressions();

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

// One start of the real program, its standard output and error merged.
class Program {
public:
    Program(const QProcessEnvironment& env, const QStringList& args)
    {
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(STELVANO_BINARY, args);
    }
    ~Program()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool waitForOutput(const QString& text, int ms)
    {
        const QDeadlineTimer deadline(ms);
        while (!output().contains(text)) {
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return output().contains(text);
            m_process.waitForReadyRead(50);
        }
        return true;
    }
    QString output()
    {
        m_output += QString::fromLocal8Bit(m_process.readAll());
        return m_output;
    }
    bool running() const { return m_process.state() == QProcess::Running; }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QString m_output;
};

// Private runtime, data, temporary and home folders for the starts of one
// test, and the leak checker's list of Qt's own offscreen leaks.
class ProgramFolders {
public:
    ProgramFolders()
    {
        for (const char* sub : {"run", "data", "tmp", "home"})
            QDir(m_root.path()).mkpath(sub);
        QFile::setPermissions(path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile suppressions(path("lsan.supp"));
        if (suppressions.open(QIODevice::WriteOnly))
            suppressions.write(__lsan_default_suppressions());
    }
    QString path(const QString& name) const { return m_root.filePath(name); }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", path("run"));
        env.insert("XDG_DATA_HOME", path("data"));
        env.insert("TMPDIR", path("tmp"));
        env.insert("HOME", path("home"));
        env.insert("LSAN_OPTIONS", "suppressions=" + path("lsan.supp") + ":print_suppressions=0");
        return env;
    }

private:
    QTemporaryDir m_root;
};

constexpr int kStartMs = 30000;  // a sanitizer build starts slowly

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
