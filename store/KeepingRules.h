#pragma once
// The keeping rules: opt-in limits that remove old snapshots. The newest snapshot of every file
// is never removed by a rule. Removing snapshot n removes SnapShot.n and its index entry and
// leaves NO as it is, so numbers are never given twice; each removal is logged.
#include <cstdint>
#include <string>

struct TKeepingRules {
    std::int32_t MaxSnapshots = 0;  // per file; 0: no limit
    std::int32_t MaxDays = 0;       // age of a snapshot (its copy's modification time); 0: none
    std::int32_t MaxMegabytes = 0;  // the whole store, oldest snapshots removed first; 0: none
    bool AnyOn() const { return MaxSnapshots > 0 || MaxDays > 0 || MaxMegabytes > 0; }
};

struct TCleanupResult {
    int Removed = 0;
    std::int64_t FreedBytes = 0;  // disk space given back (shared data counts when its last
                                  // snapshot goes)
};

// Applies the rules to the store as of nowSeconds (seconds since the epoch): first the count per
// file, then the age, then the store's size. Store thread.
TCleanupResult ApplyKeepingRules(const std::string& storeFolder, const TKeepingRules& rules,
                                 std::int64_t nowSeconds);

// The store and rules in force, handed over by the window's thread after each reading of the
// settings (any thread may call both).
void PublishKeepingRules(const std::string& storeFolder, const TKeepingRules& rules);
// Applies the rules in force now; nothing when every rule is off. Store thread.
TCleanupResult ApplyKeepingRulesInForce();
