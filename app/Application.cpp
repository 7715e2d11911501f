#include "Application.h"

#include "CappApplicationPrivate_linux.h"
#include "VersionInfo.h"

#include <QFileOpenEvent>

namespace {

// The Qt version the program is written for.
constexpr int kQtVersion = 0x050904;

}  // namespace

Application::Application(int& argc, char** argv) : CappApplicationBase(argc, argv, kQtVersion)
{
    setOrganizationDomain(QString::fromLatin1(Tessaro::kOrganizationDomain));
}

bool Application::event(QEvent* e)
{
    if (e->type() == QEvent::FileOpen) {
        forwardFileOpen(static_cast<QFileOpenEvent*>(e));
        return e->isAccepted();
    }
    return QApplication::event(e);
}

void Application::forwardFileOpen(QFileOpenEvent* e)
{
    e->ignore();
    if (fileOpenTarget)
        sendEvent(fileOpenTarget, e);
}

QString Application::VersionInformation::fileDescription(int translation) const
{
    return queryString("FileDescription", translation);
}

QString Application::VersionInformation::productVersion(int translation) const
{
    return queryString("ProductVersion", translation);
}

QString Application::VersionInformation::legalCopyright(int translation) const
{
    return queryString("LegalCopyright", translation);
}

QString Application::VersionInformation::queryString(const QString& name, int translation) const
{
    if (translation != 0)
        return QString();
    if (name == "FileDescription")
        return QStringLiteral(KRM_FILE_DESCRIPTION);
    if (name == "ProductVersion")
        return QStringLiteral(KRM_PRODUCT_VERSION);
    if (name == "LegalCopyright")
        return QStringLiteral(KRM_LEGAL_COPYRIGHT);
    return QString();
}

QString startFileFromArguments(int argc, char** argv)
{
    return argc >= 2 ? QString::fromLocal8Bit(argv[1]) : QString();
}
