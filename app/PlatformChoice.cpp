#include "PlatformChoice.h"

#include <QtGlobal>

QByteArray platformPluginFor(const QByteArray& qpaPlatform, const QByteArray& waylandDisplay,
                             const QByteArray& display)
{
    if (qpaPlatform.isEmpty() && !waylandDisplay.isEmpty() && !display.isEmpty())
        return "xcb";
    return QByteArray();
}

void choosePlatformPlugin()
{
    const QByteArray plugin =
        platformPluginFor(qgetenv("QT_QPA_PLATFORM"), qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY"));
    if (!plugin.isEmpty())
        qputenv("QT_QPA_PLATFORM", plugin);
}
