#pragma once
// The store's own reason for the tray's warning state: its disk was too full for a snapshot.
// Any thread may set or ask it.

// Sets the state; the tray is refreshed when it changes.
void SetStoreShortOfSpace(bool shortOfSpace);
bool StoreShortOfSpace();
