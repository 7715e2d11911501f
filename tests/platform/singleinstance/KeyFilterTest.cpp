// Ctrl+Shift+key presses reach the focused widget without their character.
#include "CappApplicationPrivate_linux.h"
#include "InstanceTestUtil.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

using Tessaro::CappApplicationPrivate_linux;
using namespace instancetest;

namespace {

struct Press {
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    QString text;
};

class KeyRecorder : public QWidget {
public:
    KeyRecorder() { setFocusPolicy(Qt::StrongFocus); }
    QList<Press> presses;

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        if (e->key() == Qt::Key_A)
            presses.append({e->key(), e->modifiers(), e->text()});
        e->accept();
    }
};

TEST(KeyFilter, CtrlShiftLetterArrivesWithKeyAndModifiersButNoText)
{
    QTemporaryDir folder;
    Arguments args({"stelvano"});
    CappApplicationPrivate_linux instance(args.argc, args.argv(), folder.path());

    QWidget window;
    auto* recorder = new KeyRecorder;
    (new QVBoxLayout(&window))->addWidget(recorder);
    window.show();
    QApplication::setActiveWindow(&window);
    recorder->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    struct Case {
        Qt::KeyboardModifiers modifiers;
        bool withText;
    };
    const Case cases[] = {
        {Qt::ControlModifier | Qt::ShiftModifier, false},
        {Qt::ControlModifier, true},
        {Qt::ShiftModifier, true},
        {Qt::NoModifier, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.modifiers));
        recorder->presses.clear();
        QTest::keyClick(window.windowHandle(), Qt::Key_A, c.modifiers);
        ASSERT_EQ(recorder->presses.size(), 1);
        EXPECT_EQ(recorder->presses[0].modifiers, c.modifiers);
        EXPECT_EQ(recorder->presses[0].text.isEmpty(), !c.withText)
            << recorder->presses[0].text.toStdString();
    }
}

}  // namespace
