// Which start runs as the instance, and what a second start offers.
#include "CappApplicationPrivate_linux.h"
#include "InstanceTestUtil.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

#include <future>
#include <memory>

using Tessaro::CappApplicationPrivate_linux;
using namespace instancetest;

namespace {

const QString kProgram = "/opt/bin/stelvano";

QString lockPath(const QString& folder)
{
    return folder + "/example.tanvek.stelvano.mutex";
}

QString socketPath(const QString& folder)
{
    return folder + "/example.tanvek.stelvano.message";
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Constructs the platform object; true when it runs as the instance, false
// when it left as a second instance (threw the int 0).
bool start(const QString& folder, const QStringList& args, std::unique_ptr<CappApplicationPrivate_linux>& out)
{
    Arguments a(args);
    try {
        out = std::make_unique<CappApplicationPrivate_linux>(a.argc, a.argv(), folder);
        return true;
    } catch (int code) {
        EXPECT_EQ(code, 0);
        return false;
    }
}

// A running instance in a thread of its own: takes one connection, reads a
// whole block and answers with `reply`.
class FakeInstance {
public:
    FakeInstance(const QString& path, const QByteArray& reply)
    {
        std::promise<bool> listening;
        std::future<bool> ready = listening.get_future();
        m_thread.reset(QThread::create([this, path, reply, &listening] {
            QLocalServer server;
            listening.set_value(server.listen(path));
            if (!server.waitForNewConnection(5000))
                return;
            QLocalSocket* s = server.nextPendingConnection();
            while (!wholeBlock(m_received) && s->waitForReadyRead(5000))
                m_received += s->readAll();
            s->write(reply);
            s->waitForBytesWritten(1000);
            s->disconnectFromServer();
            if (s->state() != QLocalSocket::UnconnectedState)
                s->waitForDisconnected(1000);
        }));
        m_thread->start();
        m_listening = ready.get();
    }
    ~FakeInstance() { finish(); }

    bool listening() const { return m_listening; }
    QByteArray received()
    {
        finish();
        return m_received;
    }

private:
    static bool wholeBlock(const QByteArray& b)
    {
        qint32 n = 0;
        if (b.size() < 4)
            return false;
        std::memcpy(&n, b.constData(), 4);
        return b.size() >= 4 + qint64(n);
    }
    void finish() { m_thread->wait(); }

    std::unique_ptr<QThread> m_thread;
    QByteArray m_received;
    bool m_listening = false;
};

TEST(InstanceLock, TheRunningInstanceLeavesItsOwnCommandLineAlone)
{
    QTemporaryDir folder;
    const QString existing = folder.filePath("exists.svproj");
    ASSERT_TRUE(writeFile(existing, "x"));
    for (const QStringList& args :
         {QStringList {kProgram}, QStringList {kProgram, existing, "missing.svproj"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        std::unique_ptr<CappApplicationPrivate_linux> p;
        ASSERT_TRUE(start(folder.path(), args, p));
        EXPECT_TRUE(p->pendingFileNames().isEmpty());
        EXPECT_TRUE(QFileInfo::exists(lockPath(folder.path())));
        EXPECT_EQ(p->messagePath(), socketPath(folder.path()));
        EXPECT_TRUE(QFileInfo::exists(socketPath(folder.path())));
        p.reset();
        EXPECT_FALSE(QFileInfo::exists(lockPath(folder.path()))) << "the lock is released at the end";
    }
}

TEST(InstanceLock, ALockThatCannotBeMadeStillRunsTheProgram)
{
    QTemporaryDir folder;
    ASSERT_TRUE(writeFile(folder.filePath("plain"), "x"));
    std::unique_ptr<CappApplicationPrivate_linux> p;
    EXPECT_TRUE(start(folder.filePath("plain/runtime"), {kProgram, folder.filePath("plain")}, p));
    EXPECT_TRUE(p->pendingFileNames().isEmpty());
}

TEST(InstanceLock, ALockLeftByAnEndedProcessIsTakenOver)
{
    const QByteArray host = QSysInfo::machineHostName().toUtf8();
    struct Case {
        const char* what;
        QByteArray lockContent;
    };
    const Case cases[] = {
        {"process gone", "2147483600\nstelvano\n" + host + "\n"},
        {"lock left empty", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir folder;
        ASSERT_TRUE(writeFile(lockPath(folder.path()), c.lockContent));
        ASSERT_TRUE(writeFile(socketPath(folder.path()), ""));  // the crashed instance's socket
        std::unique_ptr<CappApplicationPrivate_linux> p;
        ASSERT_TRUE(start(folder.path(), {kProgram}, p));

        QWidget window;
        window.show();
        FileOpenRecorder opened;
        QLocalSocket client;
        client.connectToServer(socketPath(folder.path()));
        ASSERT_TRUE(client.waitForConnected(1000)) << "the new instance listens in place of the old one";
        client.write(block(listStream({"a.svproj"})));
        EXPECT_TRUE(QTest::qWaitFor([&] { return opened.files.size() == 1; }, 3000));
    }
}

TEST(InstanceLock, ASecondStartOffersItsExistingFilesInArgumentOrderAndLeaves)
{
    QTemporaryDir folder;
    const QString a = folder.filePath("a.svproj"), b = folder.filePath("b c.svproj");
    ASSERT_TRUE(writeFile(a, "x"));
    ASSERT_TRUE(writeFile(b, "x"));
    struct Case {
        QStringList args;
        QStringList offered;
    };
    const Case cases[] = {
        {{kProgram, b, "missing.svproj", a}, {b, a}},
        {{kProgram, "missing.svproj"}, {}},
        {{kProgram}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QLockFile running(lockPath(folder.path()));  // held by a live process: this one
        ASSERT_TRUE(running.tryLock(0));
        FakeInstance fake(socketPath(folder.path()), acceptReply());
        ASSERT_TRUE(fake.listening());
        std::unique_ptr<CappApplicationPrivate_linux> p;
        EXPECT_FALSE(start(folder.path(), c.args, p));
        EXPECT_EQ(fake.received(), block(listStream(c.offered)));
    }
}

TEST(InstanceLock, OnlyTheAcceptValueCountsAsAccepted)
{
    struct Case {
        const char* what;
        QByteArray reply;
        bool accepted;
    };
    const Case cases[] = {
        {"accept value", acceptReply(), true},
        {"other value", "MySE", false},
        {"short reply", "ES", false},
        {"no reply", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir folder;
        FakeInstance fake(socketPath(folder.path()), c.reply);
        ASSERT_TRUE(fake.listening());
        EXPECT_EQ(CappApplicationPrivate_linux::sendFilesToRunningInstance(socketPath(folder.path()), {"x"}),
                  c.accepted);
    }
}

}  // namespace
