#include "ui/SingleInstance.h"

#include <unistd.h>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QThread>
#include <QWidget>
#include <filesystem>

namespace {

std::string LockFilePath(const std::string& settingsFile) {
    return (std::filesystem::path(settingsFile).parent_path() / "Settings.lock").string();
}

}  // namespace

QString InstanceSocketPath(const std::string& settingsFile) {
    std::error_code error;
    std::filesystem::path full = std::filesystem::weakly_canonical(settingsFile, error);
    if (error) {
        full = std::filesystem::absolute(settingsFile, error);
    }
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(full.string()),
                                                       QCryptographicHash::Sha256)
                                  .toHex()
                                  .left(16);
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists()) {
        folder = QDir::tempPath();
    }
    return folder + QStringLiteral("/ostrevan-%1-%2.socket")
                        .arg(static_cast<qulonglong>(getuid()))
                        .arg(QString::fromLatin1(digest));
}

TSingleInstance::TSingleInstance(const std::string& settingsFile, QObject* parent)
    : QObject(parent),
      socketPath_(InstanceSocketPath(settingsFile)),
      lock_(LockFilePath(settingsFile)) {
    if (lock_.Result() != TLockResult::Acquired) {
        return;  // held elsewhere, or no lock at all: nothing of ours to listen on
    }
    // Holding the lock, any socket left at this path is a crashed run's.
    QLocalServer::removeServer(socketPath_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &TSingleInstance::TakeRequests);
    server_.listen(socketPath_);
}

bool TSingleInstance::IsFirst() const {
    return lock_.Result() != TLockResult::HeldByOther;
}

void TSingleInstance::TakeRequests() {
    while (QLocalSocket* client = server_.nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, this, [this, client] {
            if (client->readAll().contains("show")) {
                emit ShowRequested();
            }
        });
    }
}

bool TSingleInstance::AskFirstToShow(int timeoutMs) const {
    const QDeadlineTimer deadline(timeoutMs);
    // The first start may hold the lock a moment before it listens: try again until the deadline.
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath_);
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            socket.write("show\n");
            const bool sent =
                socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
            socket.disconnectFromServer();
            return sent;
        }
        QThread::msleep(50);
    }
    return false;
}

void BringWindowToFront(QWidget& window) {
    if (window.isMinimized() || !window.isVisible()) {
        window.showNormal();
    }
    window.raise();
    window.activateWindow();
}
