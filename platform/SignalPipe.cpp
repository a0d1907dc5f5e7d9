#include "platform/SignalPipe.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

// The write end must be reachable from the signal handler, so it lives at file scope.
int signalSockets[2] = {-1, -1};

void OnTerminationSignal(int signalNumber) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    ssize_t written = ::write(signalSockets[0], &byte, 1);
    (void)written;  // a full socket already holds a pending wake-up
    errno = savedErrno;
}

void SetHandler(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}

}  // namespace

int CatchTerminationSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalSockets) != 0) {
        signalSockets[0] = signalSockets[1] = -1;
        return -1;
    }
    SetHandler(SIGTERM, OnTerminationSignal);
    SetHandler(SIGINT, OnTerminationSignal);
    return signalSockets[1];
}

int NextTerminationSignal() {
    unsigned char byte = 0;
    if (signalSockets[1] < 0 || ::read(signalSockets[1], &byte, 1) != 1) {
        return 0;
    }
    return byte;
}

void ReleaseTerminationSignals() {
    if (signalSockets[0] < 0) {
        return;
    }
    SetHandler(SIGTERM, SIG_DFL);
    SetHandler(SIGINT, SIG_DFL);
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    signalSockets[0] = signalSockets[1] = -1;
}
