// The modifiers as they stand after a key event, from events built the way
// X11 sends them (a modifier key's own modifier is reported from before).
#include "KeyModifiers.h"

#include <QKeyEvent>
#include <gtest/gtest.h>

namespace {

TEST(KeyModifiers, AModifierKeyCountsFromItsPressToItsRelease)
{
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    struct Case {
        const char* name;
        QEvent::Type type;
        int key;
        Qt::KeyboardModifiers reported;
        Qt::KeyboardModifiers after;
    };
    const Case cases[] = {
        {"Alt pressed", QEvent::KeyPress, Qt::Key_Alt, none, Qt::AltModifier},
        {"Alt released", QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier, none},
        {"Shift pressed while Ctrl is held", QEvent::KeyPress, Qt::Key_Shift, Qt::ControlModifier,
         Qt::ControlModifier | Qt::ShiftModifier},
        {"Ctrl released while Shift is held", QEvent::KeyRelease, Qt::Key_Control,
         Qt::ControlModifier | Qt::ShiftModifier, Qt::ShiftModifier},
        {"Meta pressed", QEvent::KeyPress, Qt::Key_Meta, none, Qt::MetaModifier},
        {"Meta released", QEvent::KeyRelease, Qt::Key_Meta, Qt::MetaModifier, none},
        {"F4 with Alt held", QEvent::KeyPress, Qt::Key_F4, Qt::AltModifier, Qt::AltModifier},
        {"a letter released", QEvent::KeyRelease, Qt::Key_A, Qt::ShiftModifier, Qt::ShiftModifier},
        {"Alt pressed on a platform that reports it already", QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier,
         Qt::AltModifier},
        {"Alt released on a platform that reports none", QEvent::KeyRelease, Qt::Key_Alt, none, none},
    };
    for (const Case& c : cases) {
        const QKeyEvent event(c.type, c.key, c.reported);
        EXPECT_EQ(modifiersAfterKeyEvent(event), c.after) << c.name;
    }
}

}  // namespace
