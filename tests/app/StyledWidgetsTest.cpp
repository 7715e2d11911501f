// The styled controls: which keys reach the window, who keeps the focus,
// and the canvas's forwarding of mouse moves.
#include "StyledWidgets.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// A window that records the key presses reaching it, leaving out the
// presses of the modifier keys themselves.
class Window : public QWidget {
public:
    struct Key {
        int key;
        Qt::KeyboardModifiers modifiers;
    };
    QList<Key> keys;

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        const int key = e->key();
        if (key != Qt::Key_Control && key != Qt::Key_Shift && key != Qt::Key_Alt && key != Qt::Key_Meta)
            keys.append({key, e->modifiers()});
        e->accept();
    }
};

// One control of each kind inside a frame (the key must travel up through
// it) inside a shown, active window.
class StyledWidgets : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_window = std::make_unique<Window>();
        m_window->resize(400, 300);
        auto* frame = new QFrame(m_window.get());
        frame->setGeometry(20, 30, 360, 250);
        lineEdit = new VLineEdit(frame);
        spinBox = new VSpinBox(frame);
        comboBox = new VComboBox(frame);
        comboBox->addItems({"alpha", "beta"});
        checkBox = new VCheckBox(frame);
        pushButton = new VPushButton(frame);
        for (QWidget* w : controls())
            w->setFocusPolicy(Qt::StrongFocus);
        m_window->show();
        QApplication::setActiveWindow(m_window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    }

    QList<QWidget*> controls() const { return {lineEdit, spinBox, comboBox, checkBox, pushButton}; }
    Window& window() { return *m_window; }

    VLineEdit* lineEdit = nullptr;
    VSpinBox* spinBox = nullptr;
    VComboBox* comboBox = nullptr;
    VCheckBox* checkBox = nullptr;
    VPushButton* pushButton = nullptr;

private:
    std::unique_ptr<Window> m_window;
};

TEST_F(StyledWidgets, EachControlPassesItsKeysToTheWindow)
{
    struct Case {
        const char* name;
        std::function<QWidget*()> control;
        int key;
        Qt::KeyboardModifiers modifiers;
        bool reachesWindow;
        bool keepsFocus;
    };
    const auto line = [this] { return lineEdit; };
    const auto spin = [this] { return spinBox; };
    const auto combo = [this] { return comboBox; };
    const auto check = [this] { return checkBox; };
    const auto push = [this] { return pushButton; };
    const Case cases[] = {
        {"line Ctrl+Z", line, Qt::Key_Z, Qt::ControlModifier, true, false},
        {"line Ctrl+Shift+Z", line, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, true, false},
        {"line Ctrl+Y", line, Qt::Key_Y, Qt::ControlModifier, true, false},
        {"line Ctrl+A", line, Qt::Key_A, Qt::ControlModifier, true, false},
        {"line Space", line, Qt::Key_Space, Qt::NoModifier, true, true},
        {"line Escape", line, Qt::Key_Escape, Qt::NoModifier, true, false},
        {"line letter", line, Qt::Key_Q, Qt::NoModifier, false, true},
        {"spin Ctrl+A", spin, Qt::Key_A, Qt::ControlModifier, true, false},
        {"spin Ctrl+Z", spin, Qt::Key_Z, Qt::ControlModifier, true, false},
        {"spin Space", spin, Qt::Key_Space, Qt::NoModifier, true, true},
        {"spin keypad Enter", spin, Qt::Key_Enter, Qt::KeypadModifier, true, true},
        {"spin Escape", spin, Qt::Key_Escape, Qt::NoModifier, true, false},
        {"combo Ctrl+Z", combo, Qt::Key_Z, Qt::ControlModifier, true, false},
        {"combo Ctrl+A", combo, Qt::Key_A, Qt::ControlModifier, false, true},
        {"combo Space", combo, Qt::Key_Space, Qt::NoModifier, true, true},
        {"combo Escape", combo, Qt::Key_Escape, Qt::NoModifier, true, false},
        {"check Ctrl+Y", check, Qt::Key_Y, Qt::ControlModifier, true, false},
        {"check Space", check, Qt::Key_Space, Qt::NoModifier, true, true},
        {"check Escape", check, Qt::Key_Escape, Qt::NoModifier, true, false},
        {"push Ctrl+Z", push, Qt::Key_Z, Qt::ControlModifier, true, false},
        {"push Space", push, Qt::Key_Space, Qt::NoModifier, true, true},
        {"push Escape", push, Qt::Key_Escape, Qt::NoModifier, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget* control = c.control();
        control->setFocus();
        ASSERT_TRUE(control->hasFocus());
        window().keys.clear();
        QTest::keyClick(control, Qt::Key(c.key), c.modifiers);
        ASSERT_EQ(window().keys.size(), c.reachesWindow ? 1 : 0);
        if (c.reachesWindow) {
            EXPECT_EQ(window().keys[0].key, c.key);
            EXPECT_EQ(window().keys[0].modifiers, c.modifiers);
        }
        EXPECT_EQ(control->hasFocus(), c.keepsFocus);
    }
}

TEST_F(StyledWidgets, PassedKeysDoNotActOnTheControl)
{
    lineEdit->setFocus();
    QTest::keyClicks(lineEdit, "ab");
    QTest::keyClick(lineEdit, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(lineEdit->text(), "ab") << "Ctrl+Z must not undo the typing";
    lineEdit->setFocus();
    QTest::keyClick(lineEdit, Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(lineEdit->selectedText().isEmpty());

    checkBox->setFocus();
    QTest::keyClick(checkBox, Qt::Key_Space);
    EXPECT_FALSE(checkBox->isChecked());

    QSignalSpy clicked(pushButton, &QPushButton::clicked);
    pushButton->setFocus();
    QTest::keyClick(pushButton, Qt::Key_Space);
    EXPECT_EQ(clicked.count(), 0);
}

TEST_F(StyledWidgets, ReturnCommitsASpinBoxAndKeypadEnterDoesNot)
{
    QSignalSpy finished(spinBox, &QSpinBox::editingFinished);
    spinBox->setFocus();
    QTest::keyClick(spinBox, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(finished.count(), 0);
    QTest::keyClick(spinBox, Qt::Key_Return);
    EXPECT_EQ(finished.count(), 1);
}

// Records the mouse moves reaching a widget.
class MoveRecorder : public QWidget {
public:
    using QWidget::QWidget;
    struct Move {
        QPointF pos;
        Qt::MouseButton button;
        Qt::MouseButtons buttons;
        Qt::KeyboardModifiers modifiers;
    };
    QList<Move> moves;

protected:
    void mouseMoveEvent(QMouseEvent* e) override
    {
        moves.append({e->localPos(), e->button(), e->buttons(), e->modifiers()});
    }
};

TEST(StyledFrame, ForwardsMovesInTheReceiversCoordinatesOnlyWhenItHasOne)
{
    MoveRecorder window;
    window.resize(300, 200);
    auto* receiver = new MoveRecorder(&window);
    receiver->setGeometry(5, 7, 250, 150);
    auto* frame = new VFrame(&window);
    frame->setGeometry(40, 60, 100, 80);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    EXPECT_EQ(frame->m_pReceiver, nullptr);
    QMouseEvent move(QEvent::MouseMove, QPointF(0, 0), Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
    QCoreApplication::sendEvent(frame, &move);
    EXPECT_TRUE(receiver->moves.isEmpty());
    EXPECT_TRUE(window.moves.isEmpty()) << "without a receiver the move must not travel up either";

    frame->m_pReceiver = receiver;
    QCoreApplication::sendEvent(frame, &move);
    ASSERT_EQ(receiver->moves.size(), 1);
    EXPECT_EQ(receiver->moves[0].pos, QPointF(frame->mapTo(&window, QPoint(0, 0)) - receiver->pos()));
    EXPECT_EQ(receiver->moves[0].pos, QPointF(35, 53));
    EXPECT_EQ(receiver->moves[0].button, Qt::NoButton);
    EXPECT_EQ(receiver->moves[0].buttons, Qt::LeftButton);
    EXPECT_EQ(receiver->moves[0].modifiers, Qt::ShiftModifier);
    EXPECT_TRUE(window.moves.isEmpty());
}

}  // namespace
