#include "KeyModifiers.h"

#include <QKeyEvent>

Qt::KeyboardModifiers modifiersAfterKeyEvent(const QKeyEvent& event)
{
    Qt::KeyboardModifiers modifiers = event.modifiers();
    Qt::KeyboardModifier own = Qt::NoModifier;
    switch (event.key()) {
    case Qt::Key_Shift:
        own = Qt::ShiftModifier;
        break;
    case Qt::Key_Control:
        own = Qt::ControlModifier;
        break;
    case Qt::Key_Alt:
        own = Qt::AltModifier;
        break;
    case Qt::Key_Meta:
        own = Qt::MetaModifier;
        break;
    default:
        return modifiers;
    }
    if (event.type() == QEvent::KeyPress)
        modifiers |= own;
    else if (event.type() == QEvent::KeyRelease)
        modifiers &= ~own;
    return modifiers;
}
