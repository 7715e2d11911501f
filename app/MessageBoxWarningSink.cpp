#include "MessageBoxWarningSink.h"

#include "MessageDialog.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>

namespace {

QMessageBox::Icon iconOf(krm::WarningLevel level)
{
    switch (level) {
    case krm::WarningLevel::Information:
        return QMessageBox::Information;
    case krm::WarningLevel::Critical:
        return QMessageBox::Critical;
    case krm::WarningLevel::Warning:
        break;
    }
    return QMessageBox::Warning;
}

}  // namespace

void MessageBoxWarningSink::warn(const QString& title, const QString& text, krm::WarningLevel level)
{
    // Widgets may only be made on the GUI thread, and only with a QApplication.
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr) {
        krm::logWarning(title, text, level);
        return;
    }
    const auto show = [&] {
        MessageDialog::showMessageEx(nullptr, title, text, QString(), QString(), QMessageBox::Ok,
                                     QMessageBox::Ok, iconOf(level));
    };
    if (QThread::currentThread() == app->thread())
        show();
    else
        QMetaObject::invokeMethod(app, show, Qt::BlockingQueuedConnection);
}
