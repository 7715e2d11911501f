#include "PlaceholderWindow.h"

#include <QDebug>
#include <QFileOpenEvent>

PlaceholderWindow::PlaceholderWindow(const QString& startFile)
{
    setWindowTitle("Stelvano");
    resize(640, 400);
    if (!startFile.isEmpty())
        qInfo().noquote() << "start file:" << startFile;
}

bool PlaceholderWindow::event(QEvent* e)
{
    if (e->type() == QEvent::FileOpen) {
        qInfo().noquote() << "file open:" << static_cast<QFileOpenEvent*>(e)->file();
        e->accept();
        return true;
    }
    return QWidget::event(e);
}

void PlaceholderWindow::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (!m_shownOnce) {
        m_shownOnce = true;
        qInfo() << "window shown";
    }
}
