#pragma once
// SIGTERM and SIGINT caught into a descriptor, so that an event loop can handle them as ordinary
// input: the handler only writes the signal's number into a socket pair.

// Installs the handlers; returns the descriptor to read from, or -1 when the socket pair cannot be
// made (the default handlers then stay). Only one may be installed at a time.
int CatchTerminationSignals();
// The next caught signal's number, or 0 when none is pending (the descriptor is non-blocking).
int NextTerminationSignal();
// Puts the default handlers back and closes the socket pair.
void ReleaseTerminationSignals();
