#include "ui/StartAtLogin.h"

#include <QWidget>

#include "core/Autostart.h"

bool StartedAtLogin(const QStringList& arguments) {
    return arguments.mid(1).contains(QString::fromLatin1(kAutostartArgument));
}

void ShowWindowAtStart(QWidget& window, bool atLogin, bool trayArea) {
    if (!atLogin) {
        window.show();
    } else if (!trayArea) {
        window.showMinimized();  // stays in the task bar so the user can get it back
    }
    // At login with a tray: the window stays hidden; the tray icon's double click shows it.
}
