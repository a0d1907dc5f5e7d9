#include "ui/Application.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QSystemTrayIcon>

#include "core/Paths.h"
#include "core/RunSettings.h"
#include "core/SharedState.h"
#include "platform/DateTimeText.h"
#include "store/FileOperation.h"
#include "store/KeepingRules.h"
#include "store/SnapshotBatch.h"
#include "store/StoreThread.h"
#include "ui/ConsolePanel.h"
#include "ui/MainWindow.h"
#include "ui/SingleInstance.h"
#include "ui/StartAtLogin.h"
#include "ui/TerminationSignals.h"
#include "ui/WindowThread.h"
#include "watch/Watcher.h"

void ConnectWindowHooks(TGUI_Form& form) {
    // Both are called on the wait thread or the store thread: they only queue a call onto the
    // window's thread. QPointer: a call still queued when the window goes does nothing.
    const QPointer<TGUI_Form> window(&form);
    WindowHooks.TrayIconGetIcon = [window](bool busy) {
        PostToWindow(window, [busy](TGUI_Form& form) { form.ShowCopyState(busy); });
    };
    WindowHooks.ConsoleAppend = [window](const std::string& line) {
        PostToWindow(window, [text = QString::fromStdString(line)](TGUI_Form& form) {
            form.panel5()->AppendLine(text);
        });
    };
    // May be called on any thread: the window shows the state on its own thread.
    WindowHooks.WatchStatusChanged = [&form] {
        QMetaObject::invokeMethod(
            &form, [&form] { form.ShowWatchStatus(); }, Qt::QueuedConnection);
    };
    WindowHooks.ShowWatchFailure = [&form](const std::string& errorText) {
        QApplication::beep();
        QMessageBox::critical(form.isVisible() ? &form : nullptr,
                              QGuiApplication::applicationDisplayName(),
                              QString::fromStdString(errorText));
    };
}

namespace {

// Closes every dialog and message box that is open, as their Cancel or Close would: a nested
// event loop returns, and a message box shown before the main loop runs lets start-up go on.
void CloseOpenDialogs() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog != nullptr && dialog->isVisible()) {
            dialog->reject();
        }
    }
}

}  // namespace

void DisconnectWindowHooks() {
    WindowHooks = TWindowHooks{};
}

int RunApplication(int argc, char** argv) {
    QApplication app(argc, argv);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Ostrevan.lite"));
    // The program ends when its window closes, not when the last visible window goes (the window
    // may be hidden in the tray while a message box closes).
    QApplication::setQuitOnLastWindowClosed(false);
    // From here on SIGTERM and SIGINT wait in the event loop and then close the window.
    TTerminationSignals terminationSignals;

    InitRegionalFormats();
    InitPaths();
    // A second start with the same settings file only brings the running window to the front
    // (a start at login, which the user did not ask for, just ends).
    const bool atLogin = StartedAtLogin(QApplication::arguments());
    TSingleInstance instance(SettingsFilePath());
    if (!instance.IsFirst()) {
        return atLogin || instance.AskFirstToShow() ? 0 : 1;
    }
    CreateSettingsAtFirstStart();

    TGUI_Form form;
    ConnectWindowHooks(form);
    form.SetMinimizeHandler([&form] { form.ApplMinimalize(); });
    QObject::connect(&form, &TGUI_Form::Closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // SIGTERM and SIGINT end the program whatever is open: the window closes as the user would
    // close it, and any dialog over it is closed, so no nested event loop holds the end off.
    bool terminationRequested = false;
    QObject::connect(&terminationSignals, &TTerminationSignals::Received, &form,
                     [&form, &terminationRequested](int) {
                         terminationRequested = true;
                         form.close();
                         CloseOpenDialogs();
                     });
    QObject::connect(&instance, &TSingleInstance::ShowRequested, &form,
                     [&form] { BringWindowToFront(form); });

    // Every accepted change is copied into the store by the store thread, in order.
    StartStoreThread();
    ReloadSettings();
    if (terminationRequested) {
        DisconnectWindowHooks();
        StopStoreThread();
        return 0;  // a signal came while start-up showed a message
    }
    // Temporary files of a batch that a crash or a kill interrupted are cleared first of all;
    // then the keeping rules in force are applied once.
    QueueRequest([store = RunSettings.DESTINATION] {
        RemoveLeftoverTemporaryFiles(store);
        ApplyKeepingRulesInForce();
    });
    ShowWindowAtStart(form, atLogin, QSystemTrayIcon::isSystemTrayAvailable());
    const int exitCode = app.exec();

    DisconnectWindowHooks();
    StopStoreThread();  // stopped already when the window closed; a no-op then
    return exitCode;
}
