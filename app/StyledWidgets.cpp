#include "StyledWidgets.h"

#include <QCoreApplication>
#include <QKeyEvent>
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

}  // namespace

VLineEdit::VLineEdit(QWidget* parent) : QLineEdit(parent)
{ }

void VLineEdit::keyPressEvent(QKeyEvent* event)
{
    if (!passOn(this, event, kTextRule))
        QLineEdit::keyPressEvent(event);
}

VSpinBox::VSpinBox(QWidget* parent) : QSpinBox(parent)
{ }

void VSpinBox::keyPressEvent(QKeyEvent* event)
{
    if (!passOn(this, event, kSpinRule))
        QAbstractSpinBox::keyPressEvent(event);
}

VComboBox::VComboBox(QWidget* parent) : QComboBox(parent)
{ }

void VComboBox::keyPressEvent(QKeyEvent* event)
{
    if (!passOn(this, event, kComboRule))
        QComboBox::keyPressEvent(event);
}

VCheckBox::VCheckBox(QWidget* parent) : QCheckBox(parent)
{ }

void VCheckBox::keyPressEvent(QKeyEvent* event)
{
    if (!passOn(this, event, kButtonRule))
        QAbstractButton::keyPressEvent(event);
}

VPushButton::VPushButton(QWidget* parent) : QPushButton(parent)
{ }

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
