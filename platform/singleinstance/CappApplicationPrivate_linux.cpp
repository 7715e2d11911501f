#include "CappApplicationPrivate_linux.h"

#include "TempFolder.h"

#include <QApplication>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDebug>
#include <QFileInfo>
#include <QFileOpenEvent>
#include <QKeyEvent>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <clocale>
#include <utility>

namespace Tessaro {

const char* const kOrganizationDomain = "tanvek.example";

namespace {

constexpr int kDeliveryPollMs = 100;
constexpr int kConnectRetryMs = 50;
const char* const kHandledProperty = "handOverHandled";

QString reversedDomain()
{
    QStringList parts = QString::fromLatin1(kOrganizationDomain).split('.');
    std::reverse(parts.begin(), parts.end());
    return parts.join('.');
}

int remainingMs(const QDeadlineTimer& deadline)
{
    return int(qMax<qint64>(0, deadline.remainingTime()));
}

void dropConnection(QLocalSocket* socket)
{
    socket->setProperty(kHandledProperty, true);
    socket->abort();
    socket->deleteLater();
}

// The window that takes a hand-over: a shown top-level main window, else a
// shown dialog; null when the program shows none.
QWidget* handOverTarget()
{
    QWidget* dialog = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isWindow() || w->isHidden() || w->testAttribute(Qt::WA_DontShowOnScreen))
            continue;
        if (w->windowType() == Qt::Window)
            return w;
        if (!dialog && w->windowType() == Qt::Dialog)
            dialog = w;
    }
    return dialog;
}

}  // namespace

CappApplicationPrivate_linux::CappApplicationPrivate_linux(int& argc, char** argv,
                                                           const QString& runtimeFolder)
{
    const QString folder = runtimeFolder.isEmpty() ? defaultRuntimeFolder() : runtimeFolder;
    const QString programPath = argc > 0 ? QString::fromLocal8Bit(argv[0]) : QString();

    const bool running = createSingleInstanceMutex(folder, programPath);
    registerInstanceMessage(folder, programPath);
    std::setlocale(LC_ALL, "");
    for (int i = 1; i < argc; ++i) {
        const QString name = QString::fromLocal8Bit(argv[i]);
        if (QFileInfo::exists(name))
            pendingFiles.append(name);
    }

    if (!running) {
        const bool accepted = sendFilesToRunningInstance(instanceMessage, pendingFiles);
        qInfo() << "another instance is running; hand-over of" << pendingFiles
                << (accepted ? "accepted" : "not accepted");
        throw 0;
    }

    // The running instance's own command line reaches its window from main;
    // the list only ever holds names handed over later.
    pendingFiles.clear();
    m_deliveryTimer.setInterval(kDeliveryPollMs);
    connect(&m_deliveryTimer, &QTimer::timeout, this, [this] { deliverPendingFiles(); });
    listenForInstances();
    QCoreApplication::instance()->installEventFilter(this);
}

CappApplicationPrivate_linux::~CappApplicationPrivate_linux()
{
    // Close the socket (which removes its file) while the lock is still held,
    // so that it cannot remove the socket of an instance started after it.
    delete m_server;
    m_server = nullptr;
    mutexHandle.reset();
}

QString CappApplicationPrivate_linux::defaultRuntimeFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    return krm::platform::privateTempFolder();
}

QString CappApplicationPrivate_linux::instanceName(const QString& programPath, const QString& suffix)
{
    QString program = QFileInfo(programPath).fileName();
    if (program.isEmpty())
        program = "stelvano";
    return reversedDomain() + "." + program + suffix;
}

bool CappApplicationPrivate_linux::createSingleInstanceMutex(const QString& folder,
                                                             const QString& programPath)
{
    const QString path = folder + "/" + instanceName(programPath, ".mutex");
    mutexHandle = std::make_unique<QLockFile>(path);
    // A lock is stale only when its process is gone, never by age.
    mutexHandle->setStaleLockTime(0);
    bool locked = mutexHandle->tryLock(0);
    qint64 pid = 0;
    QString host, app;
    if (!locked && mutexHandle->error() == QLockFile::LockFailedError &&
        !mutexHandle->getLockInfo(&pid, &host, &app)) {
        // A lock without its owner's details was left half-written; a live
        // owner holds a file lock on it, which keeps this removal from
        // taking it away.
        mutexHandle->removeStaleLockFile();
        locked = mutexHandle->tryLock(0);
    }
    if (locked) {
        mutexError = QLockFile::NoError;
        return true;
    }
    mutexError = mutexHandle->error();
    if (mutexError == QLockFile::LockFailedError)
        return false;
    qWarning() << "cannot create the instance lock" << path << "( QLockFile error" << mutexError
               << "); running as the only instance";
    mutexHandle.reset();
    return true;
}

void CappApplicationPrivate_linux::registerInstanceMessage(const QString& folder, const QString& programPath)
{
    instanceMessage = folder + "/" + instanceName(programPath, ".message");
}

void CappApplicationPrivate_linux::listenForInstances()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a crashed instance is ours to replace once we hold the
    // lock; without the lock another instance may still be using it.
    if (mutexHandle)
        QLocalServer::removeServer(instanceMessage);
    if (!m_server->listen(instanceMessage)) {
        qWarning() << "cannot receive files from later starts at" << instanceMessage << ":"
                   << m_server->errorString();
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, &CappApplicationPrivate_linux::acceptConnections);
}

void CappApplicationPrivate_linux::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readHandOver(socket); });
        // A sender that has not delivered its whole block in time is dropped.
        QTimer::singleShot(m_receiveTimeoutMs, socket, [socket] {
            if (!socket->property(kHandledProperty).toBool())
                dropConnection(socket);
        });
        readHandOver(socket);
    }
}

void CappApplicationPrivate_linux::readHandOver(QLocalSocket* socket)
{
    if (socket->property(kHandledProperty).toBool())
        return;
    const qint64 available = socket->bytesAvailable();
    if (available < qint64(sizeof(qint32)))
        return;
    qint32 count = 0;
    socket->peek(reinterpret_cast<char*>(&count), sizeof count);
    const qint64 blockSize = qint64(sizeof count) + count;
    if (count < 0 || count > kMaxStreamBytes || available > blockSize) {
        dropConnection(socket);
        return;
    }
    if (available < blockSize)
        return;  // the rest arrives with a later readyRead

    socket->setProperty(kHandledProperty, true);
    socket->skip(sizeof count);
    const QByteArray stream = socket->read(count);
    QStringList files;
    if (!decodeFileList(stream, files)) {
        qWarning() << "ignored a hand-over whose file list does not decode";
        dropConnection(socket);
        return;
    }
    // Delivery runs the receivers' handlers, which may run event loops of
    // their own; the sender may disconnect meanwhile.
    QPointer<QLocalSocket> guard(socket);
    if (!receiveFilesFromInstance(files)) {
        if (guard)
            dropConnection(socket);
        return;
    }
    if (!guard)
        return;
    const quint32 reply = kAcceptReply;
    socket->write(reinterpret_cast<const char*>(&reply), sizeof reply);
    socket->disconnectFromServer();  // after the reply has been written
}

bool CappApplicationPrivate_linux::decodeFileList(const QByteArray& stream, QStringList& files)
{
    QDataStream in(stream);
    quint32 count = 0;
    in >> count;
    // Each name takes at least its 4-byte length, so a count beyond that is
    // refused before anything is reserved for it.
    if (in.status() != QDataStream::Ok || count > quint32(stream.size() - 4) / 4)
        return false;
    QStringList list;
    list.reserve(int(count));
    for (quint32 i = 0; i < count; ++i) {
        QString name;
        in >> name;
        if (in.status() != QDataStream::Ok)
            return false;
        list.append(name);
    }
    if (!in.atEnd())
        return false;
    files = list;
    return true;
}

bool CappApplicationPrivate_linux::receiveFilesFromInstance(const QStringList& files)
{
    QWidget* target = handOverTarget();
    if (!target)
        return false;
    if (target->isMinimized())
        target->showNormal();
    else
        target->show();
    target->raise();
    target->activateWindow();

    pendingFiles += files;
    if (!deliverPendingFiles())
        m_deliveryTimer.start();
    return true;
}

bool CappApplicationPrivate_linux::deliverPendingFiles()
{
    if (QApplication::activeModalWidget())
        return false;
    m_deliveryTimer.stop();
    QCoreApplication::sendPostedEvents();
    const QStringList files = std::exchange(pendingFiles, QStringList());
    for (const QString& name : files) {
        QFileOpenEvent event(name);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &event);
    }
    return true;
}

QByteArray CappApplicationPrivate_linux::handOverBlock(const QStringList& files)
{
    QByteArray stream;
    {
        QDataStream out(&stream, QIODevice::WriteOnly);
        out << files;
    }
    const qint32 count = stream.size();
    QByteArray block(reinterpret_cast<const char*>(&count), sizeof count);
    block += stream;
    return block;
}

bool CappApplicationPrivate_linux::sendFilesToRunningInstance(const QString& socketPath,
                                                              const QStringList& files)
{
    QLocalSocket socket;
    const QDeadlineTimer connectDeadline(kTimeoutMs);
    for (;;) {
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(remainingMs(connectDeadline)))
            break;
        socket.abort();
        if (connectDeadline.hasExpired())
            return false;
        // The running instance may hold the lock but not listen yet.
        QThread::msleep(kConnectRetryMs);
    }

    socket.write(handOverBlock(files));
    const QDeadlineTimer replyDeadline(kTimeoutMs);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(remainingMs(replyDeadline))) { }
    quint32 reply = 0;
    while (socket.bytesAvailable() < qint64(sizeof reply) &&
           socket.waitForReadyRead(remainingMs(replyDeadline))) { }
    if (socket.read(reinterpret_cast<char*>(&reply), sizeof reply) != qint64(sizeof reply))
        return false;
    return reply == kAcceptReply;
}

bool CappApplicationPrivate_linux::nativeEventFilter(const QByteArray&, void*, long*)
{
    return false;
}

bool CappApplicationPrivate_linux::eventFilter(QObject* watched, QEvent* event)
{
    // Key input reaches a window first and is forwarded to its focus widget
    // from there, so the window is where one press is seen exactly once.
    if (event->type() == QEvent::KeyPress && watched->isWindowType())
        return filterCtrlShiftChar(watched, static_cast<QKeyEvent*>(event));
    return false;
}

bool CappApplicationPrivate_linux::filterCtrlShiftChar(QObject* window, QKeyEvent* key)
{
    // A Ctrl+Shift+key press is a command, never typing: it is delivered
    // with its key and modifiers but without the character it would produce.
    const Qt::KeyboardModifiers mods = key->modifiers();
    if (!(mods & Qt::ControlModifier) || !(mods & Qt::ShiftModifier) || key->text().isEmpty())
        return false;
    QKeyEvent plain(key->type(), key->key(), mods, key->nativeScanCode(), key->nativeVirtualKey(),
                    key->nativeModifiers(), QString(), key->isAutoRepeat(), key->count());
    plain.setTimestamp(key->timestamp());
    QCoreApplication::sendEvent(window, &plain);
    key->setAccepted(plain.isAccepted());
    return true;
}

}  // namespace Tessaro
