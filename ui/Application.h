#pragma once
// Start-up of the windowed program: application object, folders, window, settings, message loop.
class TGUI_Form;

// Runs the program: returns the exit code.
int RunApplication(int argc, char** argv);

// Points the core's window hooks at the form: tray image, console lines, the hand-over's wake-up
// on the Qt event loop, and the message when watching cannot be set up.
void ConnectWindowHooks(TGUI_Form& form);
// Empties the window hooks again (before the form goes away).
void DisconnectWindowHooks();
