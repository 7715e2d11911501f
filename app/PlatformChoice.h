#pragma once
// Which Qt platform plugin the program runs on. The waveform view moves
// the pointer while a drag scrolls, which Wayland does not allow a client
// to do; where X11 is there as well (XWayland), the program asks for it.
#include <QByteArray>

// "xcb" when no plugin is chosen (QT_QPA_PLATFORM empty or unset) and both
// a Wayland display and an X display are given; otherwise empty, leaving
// the choice as it is. An empty variable counts as unset.
QByteArray platformPluginFor(const QByteArray& qpaPlatform, const QByteArray& waylandDisplay,
                             const QByteArray& display);

// Sets QT_QPA_PLATFORM by that rule from the environment. Call before the
// application object is made.
void choosePlatformPlugin();
