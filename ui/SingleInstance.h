#pragma once
// One running program per settings file. The first start holds a lock file in the settings'
// folder and listens on a local socket; a later start with the same settings file finds the lock
// held, asks the first one through the socket to bring its window to the front, and ends.
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <string>

#include "platform/InstanceLock.h"

class TSingleInstance : public QObject {
    Q_OBJECT
  public:
    // Takes the lock beside settingsFile (Settings.lock) and, when it is this process's, listens.
    explicit TSingleInstance(const std::string& settingsFile, QObject* parent = nullptr);

    // False when another process runs with the same settings file: this one must end.
    bool IsFirst() const;
    // Asks the running program to show its window; tries to reach it for at most timeoutMs.
    // True when the request was delivered.
    bool AskFirstToShow(int timeoutMs = 1500) const;

  signals:
    // A later start asked for the window.
    void ShowRequested();

  private:
    void TakeRequests();

    QString socketPath_;
    TInstanceLock lock_;
    QLocalServer server_;
};

// The socket of the program that runs with settingsFile: in $XDG_RUNTIME_DIR (else the
// temporary folder), named for the user and the settings file's full path.
QString InstanceSocketPath(const std::string& settingsFile);

// Shows the window in front: restored when minimised, shown when hidden in the tray.
void BringWindowToFront(QWidget& window);
