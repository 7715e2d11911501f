#include "WarningSink.h"

#include <QtGlobal>
#include <atomic>

namespace krm {

namespace {

std::atomic<IWarningSink*> gSink {nullptr};

}  // namespace

IWarningSink* setWarningSink(IWarningSink* sink)
{
    return gSink.exchange(sink);
}

void showWarning(const QString& title, const QString& text, WarningLevel level)
{
    if (IWarningSink* sink = gSink.load()) {
        sink->warn(title, text, level);
        return;
    }
    logWarning(title, text, level);
}

void logWarning(const QString& title, const QString& text, WarningLevel level)
{
    const QByteArray line = (title + QStringLiteral(": ") + text).toUtf8();
    switch (level) {
    case WarningLevel::Information:
        qInfo("%s", line.constData());
        break;
    case WarningLevel::Warning:
        qWarning("%s", line.constData());
        break;
    case WarningLevel::Critical:
        qCritical("%s", line.constData());
        break;
    }
}

}  // namespace krm
