#pragma once
// Starts of the real program for the tests: one start with its output, and
// private folders (runtime, data, temporary, home) for the starts of a test.
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

extern "C" const char* __lsan_default_suppressions();

namespace testutil {

// A start of `program` (the test's build of the program by default), its
// standard output and error merged. Killed at destruction if still running.
class Program {
public:
    Program(const QProcessEnvironment& env, const QStringList& args, const QString& program = STELVANO_BINARY,
            const QString& workingFolder = QString())
    {
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        if (!workingFolder.isEmpty())
            m_process.setWorkingDirectory(workingFolder);
        m_process.start(program, args);
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
// test, the offscreen platform, the null audio output only, and the leak
// checker's list of Qt's own offscreen leaks.
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
        env.insert("STELVANO_AUDIO_NULL", "1");
        env.insert("STELVANO_AUDIO_ALSA", "0");
        env.insert("LSAN_OPTIONS", "suppressions=" + path("lsan.supp") + ":print_suppressions=0");
        return env;
    }

private:
    QTemporaryDir m_root;
};

constexpr int kStartMs = 30000;  // a sanitizer build starts slowly

}  // namespace testutil
