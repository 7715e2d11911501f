// The program's warning sink: the layers below the window warn through
// krm::showWarning on whatever thread they run; the box is built on the GUI
// thread, with the caller's title and text, one OK button and the level's
// icon, and a worker waits until it is closed.
#include "MessageBoxWarningSink.h"
#include "MessageDialog.h"
#include "TestUtil.h"

#include <QApplication>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

struct Box {
    bool onGuiThread = false;
    bool callerWaiting = false;
    QString title;
    QString text;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

}  // namespace

TEST(MessageBoxWarningSink, ShowsTheBoxOnTheGuiThreadWhileTheCallerWaits)
{
    struct Case {
        const char* text;
        krm::WarningLevel level;
        QMessageBox::Icon icon;
        bool fromWorker;
    };
    const Case cases[] = {
        {"wave file read error!\r\nx.wav", krm::WarningLevel::Warning, QMessageBox::Warning, true},
        {"on the GUI thread", krm::WarningLevel::Warning, QMessageBox::Warning, false},
        {"information", krm::WarningLevel::Information, QMessageBox::Information, true},
        {"critical", krm::WarningLevel::Critical, QMessageBox::Critical, false},
    };
    MessageBoxWarningSink sink;
    const krm::WarningSinkScope scope(&sink);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<Box> boxes;
        std::atomic<bool> returned {false};
        MessageDialog::setResponder([&](MessageDialog& box) -> QAbstractButton* {
            boxes.push_back({QThread::currentThread() == qApp->thread(), !returned, box.windowTitle(),
                             box.text(), box.buttonLabels(), box.icon()});
            return box.button(QMessageBox::Ok);
        });
        if (c.fromWorker) {
            std::thread worker([&] {
                krm::showWarning("save SFF", c.text, c.level);
                returned = true;
            });
            EXPECT_TRUE(testutil::waitUntil([&] { return returned.load(); }));
            worker.join();
        } else {
            krm::showWarning("save SFF", c.text, c.level);
            returned = true;
        }
        MessageDialog::setResponder(nullptr);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].onGuiThread);
        EXPECT_TRUE(boxes[0].callerWaiting);
        EXPECT_EQ(boxes[0].title, "save SFF");
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(boxes[0].buttons, QStringList {"OK"});
        EXPECT_EQ(boxes[0].icon, c.icon);
    }
}
