#include "StyledWidgets.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>

#include <initializer_list>

namespace {

// Which keys a control hands on, by whether Control is held.
struct KeyRule {
    std::initializer_list<int> ctrlPassAndDropFocus;
    std::initializer_list<int> pass;  // without Control, the focus stays
};

const KeyRule kTextRule {{Qt::Key_Z, Qt::Key_Y, Qt::Key_A}, {Qt::Key_Space, Qt::Key_Tab}};
const KeyRule kSpinRule {{Qt::Key_Z, Qt::Key_Y, Qt::Key_A}, {Qt::Key_Space, Qt::Key_Enter}};
const KeyRule kComboRule {{Qt::Key_Z, Qt::Key_Y}, {Qt::Key_Space}};
const KeyRule kButtonRule {{Qt::Key_Z, Qt::Key_Y}, {Qt::Key_Space, Qt::Key_Tab}};

bool contains(std::initializer_list<int> keys, int key)
{
    for (int k : keys) {
        if (k == key)
            return true;
    }
    return false;
}

// Hands the event to the widget's parent when the rule says so (true);
// false leaves it to the widget's own handler.
bool passOn(QWidget* widget, QKeyEvent* event, const KeyRule& rule)
{
    const int key = event->key();
    bool dropFocus = false;
    if (event->modifiers() & Qt::ControlModifier) {
        if (!contains(rule.ctrlPassAndDropFocus, key))
            return false;
        dropFocus = true;
    } else if (key == Qt::Key_Escape) {
        dropFocus = true;
    } else if (!contains(rule.pass, key)) {
        return false;
    }
    if (dropFocus)
        widget->clearFocus();
    event->ignore();
    if (QWidget* parent = widget->parentWidget())
        QCoreApplication::sendEvent(parent, event);
    return true;
}

// The action that the pressed combination (Shift, Control, Alt and Meta;
// the keypad flag aside) would fire in `widget`'s window: one with that
// shortcut that the window offers in a menu or on a widget. An action
// shown nowhere has no working shortcut.
const QAction* windowShortcutAction(const QWidget* widget, const QKeyEvent& event)
{
    const Qt::KeyboardModifiers held =
        event.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const QKeySequence pressed(int(held) | event.key());
    for (const QAction* action : widget->window()->findChildren<QAction*>()) {
        if (action->associatedWidgets().isEmpty())
            continue;
        for (const QKeySequence& shortcut : action->shortcuts()) {
            if (shortcut == pressed)
                return action;
        }
    }
    return nullptr;
}

// The shortcut override that a text control sends before a key press: on
// some platforms a line edit claims emacs-style keys there (Ctrl+E to the
// end of the line, and more), and a claimed key never reaches the window's
// action. A control lets the window's menu shortcuts through, except the
// keys that it hands to the window itself (they keep that path). True when
// the override was answered so; false leaves it to the control's base.
bool letShortcutThrough(const QWidget* widget, QEvent* event, const KeyRule& rule)
{
    if (event->type() != QEvent::ShortcutOverride)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->modifiers() & Qt::ControlModifier) && contains(rule.ctrlPassAndDropFocus, key->key()))
        return false;
    if (!windowShortcutAction(widget, *key))
        return false;
    key->ignore();
    return true;
}

}  // namespace

VLineEdit::VLineEdit(QWidget* parent) : QLineEdit(parent)
{ }

bool VLineEdit::event(QEvent* event)
{
    return letShortcutThrough(this, event, kTextRule) || QLineEdit::event(event);
}

void VLineEdit::keyPressEvent(QKeyEvent* event)
{
    if (!passOn(this, event, kTextRule))
        QLineEdit::keyPressEvent(event);
}

VSpinBox::VSpinBox(QWidget* parent) : QSpinBox(parent)
{ }

bool VSpinBox::event(QEvent* event)
{
    return letShortcutThrough(this, event, kSpinRule) || QSpinBox::event(event);
}

void VSpinBox::keyPressEvent(QKeyEvent* event)
{
    if (!passOn(this, event, kSpinRule))
        QAbstractSpinBox::keyPressEvent(event);
}

VComboBox::VComboBox(QWidget* parent) : QComboBox(parent)
{ }

bool VComboBox::event(QEvent* event)
{
    return letShortcutThrough(this, event, kComboRule) || QComboBox::event(event);
}

void VComboBox::keyPressEvent(QKeyEvent* event)
{
    if (!passOn(this, event, kComboRule))
        QComboBox::keyPressEvent(event);
}

VCheckBox::VCheckBox(QWidget* parent) : QCheckBox(parent)
{ }

bool VCheckBox::event(QEvent* event)
{
    return letShortcutThrough(this, event, kButtonRule) || QCheckBox::event(event);
}

void VCheckBox::keyPressEvent(QKeyEvent* event)
{
    if (!passOn(this, event, kButtonRule))
        QAbstractButton::keyPressEvent(event);
}

VPushButton::VPushButton(QWidget* parent) : QPushButton(parent)
{ }

bool VPushButton::event(QEvent* event)
{
    return letShortcutThrough(this, event, kButtonRule) || QPushButton::event(event);
}

void VPushButton::keyPressEvent(QKeyEvent* event)
{
    if (!passOn(this, event, kButtonRule))
        QPushButton::keyPressEvent(event);
}

VFrame::VFrame(QWidget* parent) : QFrame(parent, Qt::WindowFlags()), m_pReceiver(nullptr)
{ }

void VFrame::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pReceiver)
        return;
    const QPoint global = mapToGlobal(event->pos());
    const QPointF local = m_pReceiver->mapFromGlobal(global);
    QMouseEvent moved(event->type(), local, event->button(), event->buttons(), event->modifiers());
    QCoreApplication::sendEvent(m_pReceiver, &moved);
}
