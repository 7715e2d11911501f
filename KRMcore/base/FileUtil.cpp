#include "FileUtil.h"

#include "ResultCode.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLatin1String>
#include <QMetaObject>
#include <QSaveFile>
#include <QThread>
#include <QtGlobal>
#include <atomic>
#include <fstream>

namespace {

QString latin1(const std::string& s)
{
    return QString(QLatin1String(s.c_str()));
}

std::atomic<WarningBoxFunction> gWarningBox {nullptr};

QMessageBox::StandardButton showBox(QWidget* parent, const QString& title, const QString& text,
                                    QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton)
{
    const WarningBoxFunction f = gWarningBox.load();
    if (f != nullptr)
        return f(parent, title, text, buttons, defaultButton);
    return QMessageBox::warning(parent, title, text, buttons, defaultButton);
}

}  // namespace

uint32_t removeFile(const std::string& path)
{
    if (path.empty())
        return krm::fail(1);
    QDir().remove(latin1(path));
    return krm::kOk;
}

uint32_t fileSize(const std::string& path)
{
    return uint32_t(QFileInfo(latin1(path)).size());
}

uint32_t readWholeFile(const std::string& path, void* buffer, uint32_t size)
{
    if (path.empty() || buffer == nullptr || size == 0)
        return krm::fail(1);
    // The same Latin-1 reading of the path as fileSize, which callers ask
    // first for the size of the buffer.
    std::ifstream in(QFile::encodeName(latin1(path)).constData(), std::ios::in | std::ios::binary);
    if (in)
        in.read(static_cast<char*>(buffer), std::streamsize(size));
    return krm::kOk;
}

QMessageBox::StandardButton showWarning(QWidget* parent, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton)
{
    // Widgets may only be made on the GUI thread, and only with a QApplication.
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr) {
        qWarning("%s: %s", qUtf8Printable(title), qUtf8Printable(text));
        return defaultButton;
    }
    if (QThread::currentThread() == app->thread())
        return showBox(parent, title, text, buttons, defaultButton);
    QMessageBox::StandardButton chosen = defaultButton;
    QMetaObject::invokeMethod(
        app, [&] { chosen = showBox(parent, title, text, buttons, defaultButton); },
        Qt::BlockingQueuedConnection);
    return chosen;
}

WarningBoxFunction setWarningBoxFunction(WarningBoxFunction f)
{
    return gWarningBox.exchange(f);
}

namespace krm {

SaveOutcome saveFileReplacing(const QString& path, std::initializer_list<FilePart> parts)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return SaveOutcome::CannotOpen;
    for (const FilePart& part : parts) {
        if (part.size > 0 &&
            f.write(static_cast<const char*>(part.data), qint64(part.size)) != qint64(part.size)) {
            f.cancelWriting();
            return SaveOutcome::WriteFailed;
        }
    }
    // Flush here: a short write that only shows when the buffer goes out at
    // commit time would otherwise pass unnoticed.
    if (!f.flush()) {
        f.cancelWriting();
        return SaveOutcome::WriteFailed;
    }
    return f.commit() ? SaveOutcome::Saved : SaveOutcome::WriteFailed;
}

}  // namespace krm
