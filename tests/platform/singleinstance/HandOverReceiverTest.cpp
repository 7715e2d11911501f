// The running instance's side of the hand-over, driven by a test client
// over the real socket.
#include "CappApplicationPrivate_linux.h"
#include "InstanceTestUtil.h"

#include <QDialog>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

using Tessaro::CappApplicationPrivate_linux;
using namespace instancetest;

namespace {

constexpr int kTestTimeoutMs = 300;

class HandOverReceiver : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(runtime.isValid());
        Arguments args({"/opt/bin/stelvano"});
        instance = std::make_unique<CappApplicationPrivate_linux>(args.argc, args.argv(), runtime.path());
        instance->setReceiveTimeout(kTestTimeoutMs);
        window.setWindowTitle("Stelvano");
        window.show();
    }

    // Writes `bytes` as a second instance would and returns what came back
    // before the running instance closed the connection. With `hangUp` the
    // client closes after writing instead of waiting.
    QByteArray exchange(const QByteArray& bytes, bool hangUp = false)
    {
        QLocalSocket client;
        client.connectToServer(instance->messagePath());
        EXPECT_TRUE(client.waitForConnected(1000)) << client.errorString().toStdString();
        client.write(bytes);
        if (hangUp) {
            client.disconnectFromServer();
            EXPECT_TRUE(
                QTest::qWaitFor([&] { return client.state() == QLocalSocket::UnconnectedState; }, 3000));
            QTest::qWait(50);
            return {};
        }
        QByteArray reply;
        const bool closed = QTest::qWaitFor(
            [&] {
                reply += client.readAll();
                return client.state() == QLocalSocket::UnconnectedState;
            },
            3000);
        EXPECT_TRUE(closed) << "the running instance never closed the connection";
        return reply + client.readAll();
    }

    QTemporaryDir runtime;
    std::unique_ptr<CappApplicationPrivate_linux> instance;
    QWidget window;
    FileOpenRecorder opened;
};

TEST_F(HandOverReceiver, TakesWholeBlocksAndRefusesEveryMalformedOne)
{
    const QStringList names = {"/music/exists.svproj", "second file.svproj",
                               QString::fromUtf8("d\xC3\xBC.svproj")};
    const QByteArray stream = listStream(names);
    const QByteArray valid = block(stream);
    const QString longName(524284, QChar('x'));  // a stream of exactly 1 MiB

    struct Case {
        const char* what;
        QByteArray bytes;
        bool hangUp;
        QStringList delivered;  // empty: refused (no event, no reply)
        bool accepted;
    };
    const Case cases[] = {
        {"valid block", valid, false, names, true},
        {"empty list", block(listStream({})), false, {}, true},
        {"stream of exactly 1 MiB", block(listStream({longName})), false, {longName}, true},
        {"negative count", native32(-1) + stream, false, {}, false},
        {"count 0x7FFFFFFF", native32(0x7FFFFFFF) + stream, false, {}, false},
        {"count 1 MiB + 1", native32((1 << 20) + 1) + stream, false, {}, false},
        {"bytes beyond the count", valid + "xy", false, {}, false},
        {"truncated, sender gone", valid.left(valid.size() - 3), true, {}, false},
        {"stalled", valid.left(valid.size() - 3), false, {}, false},
        {"count only, stalled", native32(stream.size()), false, {}, false},
        {"empty stream", native32(0), false, {}, false},
        {"list count beyond the data", block(bigEndian32(0x7FFFFFFF) + bigEndian32(0)), false, {}, false},
        {"odd string length", block(bigEndian32(1) + bigEndian32(3) + QByteArray(3, 'a')), false, {}, false},
        {"bytes left over in the stream", block(stream + QByteArray(2, '\0')), false, {}, false},
        {"string cut short", block(bigEndian32(1) + bigEndian32(20) + QByteArray(4, 'a')), false, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        opened.files.clear();
        const QByteArray reply = exchange(c.bytes, c.hangUp);
        EXPECT_EQ(opened.files, c.delivered);
        if (!c.hangUp) {
            EXPECT_EQ(reply, c.accepted ? acceptReply() : QByteArray());
        }
        EXPECT_TRUE(instance->pendingFileNames().isEmpty());
    }
}

TEST_F(HandOverReceiver, NamesArriveInOrderOnlyWhenTheModalDialogCloses)
{
    QDialog dialog(&window);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    ASSERT_TRUE(QApplication::activeModalWidget());

    EXPECT_EQ(exchange(block(listStream({"a.svproj", "b.svproj"}))), acceptReply());
    EXPECT_EQ(exchange(block(listStream({"c.svproj"}))), acceptReply());
    QTest::qWait(250);  // longer than a poll of the waiting list
    EXPECT_TRUE(opened.files.isEmpty()) << "delivered while the dialog was modal";
    const QStringList all = {"a.svproj", "b.svproj", "c.svproj"};
    EXPECT_EQ(instance->pendingFileNames(), all);
    EXPECT_FALSE(instance->deliverPendingFiles());

    dialog.hide();
    EXPECT_TRUE(QTest::qWaitFor([&] { return opened.files.size() == 3; }, 2000));
    EXPECT_EQ(opened.files, all);
    EXPECT_TRUE(instance->pendingFileNames().isEmpty());
}

TEST_F(HandOverReceiver, RestoresAMinimisedWindowAndRefusesWithoutAShownWindow)
{
    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    EXPECT_EQ(exchange(block(listStream({"a.svproj"}))), acceptReply());
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());

    window.hide();
    opened.files.clear();
    EXPECT_EQ(exchange(block(listStream({"b.svproj"}))), QByteArray());
    EXPECT_TRUE(opened.files.isEmpty());
}

}  // namespace
