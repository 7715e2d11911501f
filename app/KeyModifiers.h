#pragma once
// The keyboard modifiers as they stand once a key event has happened. On
// X11 a key event carries the modifiers from before it: pressing Alt
// reports no Alt, releasing it still reports Alt. Code that keeps "the
// modifiers of the last key event" to decide later (refusing Alt+F4,
// arming drag zones while Shift is held) stores this value instead.
#include <Qt>

class QKeyEvent;

// The event's modifiers, with the modifier of a Shift, Control, Alt or Meta
// key added for its press and removed for its release. Other keys and other
// event types give the event's own modifiers.
Qt::KeyboardModifiers modifiersAfterKeyEvent(const QKeyEvent& event);
