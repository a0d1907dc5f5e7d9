#pragma once
// How the window first appears: in front, or, when the desktop started the program at login,
// hidden in the tray (minimised where there is no tray).
#include <QStringList>

class QWidget;

// True when the arguments hold kAutostartArgument (the autostart entry's Exec line).
bool StartedAtLogin(const QStringList& arguments);

// Shows the window normally; at login leaves it hidden when a tray exists, else minimised.
void ShowWindowAtStart(QWidget& window, bool atLogin, bool trayArea);
