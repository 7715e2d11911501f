#pragma once
// Single instance on Linux.
//
// In the user's runtime folder (XDG_RUNTIME_DIR, else the program's private
// 0700 temporary folder) a lock file "<reversed domain>.<program file
// name>.mutex" marks the running instance, and a local socket of the same
// name with ".message" in place of ".mutex" receives a second start's files.
// Only a lock held by a live process makes a start the second instance; a
// crashed instance's lock and socket are taken over, and any other failure
// to lock is logged and the start runs as the only instance.
//
// Hand-over block, as the second instance writes it to the socket:
//   offset 0   4 bytes   signed 32-bit byte count N, native byte order
//   offset 4   N bytes   a QDataStream (default version and byte order)
//                        holding one QStringList: the existing files named on
//                        the command line, in argument order
// The running instance answers with the 32-bit value kAcceptReply in native
// byte order once it has taken the names. It takes them only when it shows a
// top-level window: it restores that window, sends each name to the
// application object as a QFileOpenEvent, then replies. While a modal widget
// is active the names wait in the pending list and are delivered, in
// arrival order, once no modal widget is active.
#include "CappApplicationPrivateIF.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>

class QKeyEvent;
class QLocalServer;
class QLocalSocket;
class QLockFile;

namespace Tessaro {

// The organisation's domain; reversed, it begins the lock and socket names.
extern const char* const kOrganizationDomain;

class CappApplicationPrivate_linux : public QObject, public CappApplicationPrivateIF {
    Q_OBJECT
public:
    static constexpr quint32 kAcceptReply = 0x4D795345;  // "ESyM" in memory order
    static constexpr qint32 kMaxStreamBytes = 1 << 20;   // largest N accepted
    static constexpr int kTimeoutMs = 3000;

    // Call once the QApplication exists. Decides whether this process is the
    // running instance. The running instance listens for hand-overs and
    // filters key presses from then on; its own command line is left to the
    // caller. A second instance offers the existing files among argv[1..] to
    // the running one and leaves by throwing the int 0. `runtimeFolder`
    // empty: defaultRuntimeFolder().
    CappApplicationPrivate_linux(int& argc, char** argv, const QString& runtimeFolder = QString());
    ~CappApplicationPrivate_linux() override;

    // Passes every native event on.
    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;
    bool deliverPendingFiles() override;

    // Names received while a modal widget was active, not yet delivered.
    const QStringList& pendingFileNames() const { return pendingFiles; }
    // Path of the socket that receives hand-overs.
    const QString& messagePath() const { return instanceMessage; }
    // How long a connection may take to deliver its whole block (ms).
    void setReceiveTimeout(int ms) { m_receiveTimeoutMs = ms; }

    // XDG_RUNTIME_DIR when usable, else the private temporary folder.
    static QString defaultRuntimeFolder();
    // "<reversed domain>.<file name of programPath><suffix>".
    static QString instanceName(const QString& programPath, const QString& suffix);
    static QByteArray handOverBlock(const QStringList& files);
    // Decodes the stream part of a block: true only when it holds one string
    // list, decodes with status Ok and leaves nothing over.
    static bool decodeFileList(const QByteArray& stream, QStringList& files);
    // Offers the files to the instance listening at `socketPath`: connects
    // within kTimeoutMs (retrying while the running instance is starting),
    // writes the block and waits up to kTimeoutMs for the reply. True when the
    // reply is kAcceptReply.
    static bool sendFilesToRunningInstance(const QString& socketPath, const QStringList& files);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // True when this process is to run as the instance.
    bool createSingleInstanceMutex(const QString& folder, const QString& programPath);
    void registerInstanceMessage(const QString& folder, const QString& programPath);
    void listenForInstances();
    void acceptConnections();
    void readHandOver(QLocalSocket* socket);
    bool receiveFilesFromInstance(const QStringList& files);
    bool filterCtrlShiftChar(QObject* window, QKeyEvent* key);

    QStringList pendingFiles;
    std::unique_ptr<QLockFile> mutexHandle;  // null when the lock could not be made
    quint32 mutexError = 0;                  // QLockFile::LockError of the attempt
    QString instanceMessage;                 // socket path
    QLocalServer* m_server = nullptr;
    QTimer m_deliveryTimer;  // runs while names wait for a modal widget to close
    int m_receiveTimeoutMs = kTimeoutMs;
};

}  // namespace Tessaro
