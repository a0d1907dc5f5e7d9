#pragma once
// Turning change records into snapshot work: decoding, rename pairing, repeat suppression,
// the extension and size exceptions, and the snapshot queue.
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "platform/ChangeSource.h"

// Handles one batch of records, on the wait thread (tests call it on their own). Stops early once
// *abandon is set (closing).
void DispatchNotifications(const std::vector<ChangeRecord>& batch,
                           const std::atomic<bool>* abandon = nullptr);
// Handles one change event; true when it was queued.
bool HandleChange(const std::string& oldName, const std::string& newName, int action);

// Called after every append to the queue when set; the store thread needs no call (the queue
// wakes it), so only tests set it, to see each queued event as it comes.
extern std::function<bool()> SnapshotQueueDrainer;
