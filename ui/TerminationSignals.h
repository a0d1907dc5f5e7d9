#pragma once
// SIGTERM and SIGINT turned into a Qt signal on the main thread: the handler only writes the
// signal's number into a socket pair, which a socket notifier reads on the event loop.
#include <QObject>

class QSocketNotifier;

class TTerminationSignals : public QObject {
    Q_OBJECT
  public:
    // Installs the handlers; only one instance may exist at a time.
    explicit TTerminationSignals(QObject* parent = nullptr);
    // Puts the default handlers back and closes the socket pair.
    ~TTerminationSignals() override;

  signals:
    void Received(int signalNumber);

  private:
    void ReadPending();
    QSocketNotifier* notifier_ = nullptr;
};
