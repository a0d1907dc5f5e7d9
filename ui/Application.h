#pragma once
// Start-up of the windowed program: application object, folders, window, settings, message loop.
int RunApplication(int argc, char** argv);
