#pragma once
// Opening a document to copy it, and making the folder a copy goes into. Store thread.
#include <string>

// Opens the source for reading, trying again 200 times 10 ms apart while it exists (another
// program may hold it); -1 when it never opened, is gone, is not a regular file, or the program
// closes meanwhile.
int OpenSourceWithRetries(const std::string& source);

// Creates folder with its missing parents; true when it exists as a folder afterwards.
bool EnsureFolder(const std::string& folder);
