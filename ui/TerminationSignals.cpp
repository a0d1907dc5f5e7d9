#include "ui/TerminationSignals.h"

#include <QSocketNotifier>

#include "platform/SignalPipe.h"

TTerminationSignals::TTerminationSignals(QObject* parent) : QObject(parent) {
    const int descriptor = CatchTerminationSignals();
    if (descriptor < 0) {
        return;  // the default handlers stay: the program ends at once, without its close records
    }
    notifier_ = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { ReadPending(); });
}

TTerminationSignals::~TTerminationSignals() {
    delete notifier_;
    ReleaseTerminationSignals();
}

void TTerminationSignals::ReadPending() {
    while (const int signalNumber = NextTerminationSignal()) {
        emit Received(signalNumber);
    }
}
