#pragma once
// Collects the lines written to Qt's debug output while it lives, so that
// tests can check what the undo stack logs.
#include <QStringList>
#include <QtGlobal>

class DebugCapture {
public:
    DebugCapture()
    {
        current = this;
        previous = qInstallMessageHandler(&DebugCapture::handler);
    }
    ~DebugCapture()
    {
        qInstallMessageHandler(previous);
        current = nullptr;
    }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    QStringList lines;

private:
    static void handler(QtMsgType type, const QMessageLogContext&, const QString& msg)
    {
        if (current && type == QtDebugMsg)
            current->lines << msg;
    }
    inline static DebugCapture* current = nullptr;
    QtMessageHandler previous = nullptr;
};
