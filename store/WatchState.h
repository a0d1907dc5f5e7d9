#pragma once
// The program's own note, in the store folder, of until when its watching was complete: every
// change before that moment is in the store. The next start of watching catches up from there.
#include <time.h>

#include <ctime>
#include <optional>
#include <string>

// The moment the store's note names; nullopt when the store has none (a new store, or one that
// an older program wrote) or it cannot be read.
std::optional<timespec> ReadWatchCompleteUntil(const std::string& storeFolder);

// Writes the note (through a temporary file, so a crash keeps the old one); false when that
// failed. A lost update only makes the next catch-up look further back. Store thread.
bool WriteWatchCompleteUntil(const std::string& storeFolder, const timespec& moment);

// The note's name inside the store folder.
extern const char* const kWatchStateName;
// True when the last component of name is the note's (the program's own file, never a change
// of the user's, also where the store lies in the watched folder).
bool IsWatchStateName(const std::string& name);
