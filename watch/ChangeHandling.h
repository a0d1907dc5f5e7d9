#pragma once
// Turning change records into snapshot work: decoding, rename pairing, repeat suppression,
// the extension and size exceptions, and the snapshot queue.
#include <functional>
#include <string>
#include <vector>

#include "platform/ChangeSource.h"

// Handles one batch of records, on the main thread.
void DispatchNotifications(const std::vector<ChangeRecord>& batch);
// Handles one change event; true when it was queued. fromRescan marks a file found by a rescan.
bool HandleChange(const std::string& oldName, const std::string& newName, int action,
                  bool fromRescan = false);

// Drains the snapshot queue after each append; TakeSnapshots unless a test replaces it.
extern std::function<bool()> SnapshotQueueDrainer;
