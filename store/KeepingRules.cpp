#include "store/KeepingRules.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#include "core/EventCodes.h"
#include "store/DayLog.h"
#include "store/SnapshotIndex.h"
#include "store/SpaceGuard.h"
#include "store/StoreContents.h"

namespace {

constexpr std::int64_t kSecondsPerDay = 24 * 60 * 60;
constexpr std::int64_t kBytesPerMegabyte = 1000 * 1000;

struct TRulesInForce {
    std::mutex Lock;
    std::string StoreFolder;
    TKeepingRules Rules;
};

TRulesInForce& InForce() {
    static TRulesInForce* inForce = new TRulesInForce;  // never destroyed: threads may outlive it
    return *inForce;
}

// The store's copies with what the rules have decided so far.
struct TPlan {
    TStoreContents Contents;
    std::vector<bool> Removed;          // per copy
    std::vector<bool> Newest;           // per copy: its folder's newest, never removed
    std::map<TDataKey, TDataUse> Left;  // the store's data as it will be left
    std::int64_t DiskBytes = 0;         // the store's size as it will be left
};

TPlan MakePlan(const std::string& storeFolder) {
    TPlan plan;
    plan.Contents = ReadStoreContents(storeFolder);
    const auto& copies = plan.Contents.Copies;
    plan.Removed.assign(copies.size(), false);
    plan.Newest.assign(copies.size(), false);
    for (std::size_t i = 0; i < copies.size(); ++i) {
        plan.Newest[i] = i + 1 == copies.size() || copies[i + 1].Folder != copies[i].Folder;
    }
    plan.Left = plan.Contents.Data;
    plan.DiskBytes = plan.Contents.DiskBytes;
    return plan;
}

void MarkRemoved(TPlan& plan, std::size_t i) {
    if (plan.Removed[i] || plan.Newest[i]) {
        return;
    }
    plan.Removed[i] = true;
    TDataUse& use = plan.Left[plan.Contents.Copies[i].Data];
    if (--use.Names == 0) {  // the last name of the data: its space comes free
        plan.DiskBytes -= use.DiskBytes;
    }
}

// Every folder's copies beyond the newest maxSnapshots.
void MarkBeyondCount(TPlan& plan, int maxSnapshots) {
    const auto& copies = plan.Contents.Copies;
    int kept = 0;
    for (std::size_t i = copies.size(); i-- > 0;) {
        if (plan.Newest[i]) {
            kept = 0;
        }
        if (!plan.Removed[i] && ++kept > maxSnapshots) {
            MarkRemoved(plan, i);
        }
    }
}

void MarkOlderThan(TPlan& plan, std::int64_t oldestKeptSeconds) {
    const auto& copies = plan.Contents.Copies;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        if (copies[i].ModifiedSeconds < oldestKeptSeconds) {
            MarkRemoved(plan, i);
        }
    }
}

// The oldest copies across all files until the store fits under maxBytes.
void MarkUntilUnder(TPlan& plan, std::int64_t maxBytes) {
    const auto& copies = plan.Contents.Copies;
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        if (!plan.Removed[i] && !plan.Newest[i]) {
            order.push_back(i);
        }
    }
    std::stable_sort(order.begin(), order.end(), [&copies](std::size_t a, std::size_t b) {
        return copies[a].ModifiedSeconds < copies[b].ModifiedSeconds;
    });
    for (std::size_t k = 0; k < order.size() && plan.DiskBytes > maxBytes; ++k) {
        MarkRemoved(plan, order[k]);
    }
}

// Removes the marked copies folder by folder: the index entries first, then the copies, so an
// entry never names a missing copy. A folder whose index cannot be written keeps its copies.
TCleanupResult CarryOut(TPlan& plan) {
    std::map<std::string, std::vector<int>> byFolder;
    const auto& copies = plan.Contents.Copies;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        if (plan.Removed[i]) {
            byFolder[copies[i].Folder].push_back(copies[i].Number);
        }
    }
    TCleanupResult result;
    std::map<TDataKey, TDataUse>& data = plan.Contents.Data;
    std::map<std::pair<std::string, int>, TDataKey> dataOf;
    for (const TStoredCopy& copy : copies) {
        dataOf[{copy.Folder, copy.Number}] = copy.Data;
    }
    for (const auto& [folder, numbers] : byFolder) {
        if (!RemoveSnapshotEntries(folder, numbers)) {
            continue;
        }
        for (const int number : numbers) {
            const std::string copy = SnapshotCopyPath(folder, number);
            std::error_code ec;
            if (!std::filesystem::remove(copy, ec)) {
                continue;
            }
            WriteLogLine(kLogSnapshotRemovedByRule, kImageInformation, copy);
            ++result.Removed;
            TDataUse& use = data[dataOf[{folder, number}]];
            if (--use.Names == 0) {
                result.FreedBytes += use.DiskBytes;
            }
        }
    }
    return result;
}

}  // namespace

TCleanupResult ApplyKeepingRules(const std::string& storeFolder, const TKeepingRules& rules,
                                 std::int64_t nowSeconds) {
    if (storeFolder.empty() || !rules.AnyOn()) {
        return {};
    }
    TPlan plan = MakePlan(storeFolder);
    if (rules.MaxSnapshots > 0) {
        MarkBeyondCount(plan, rules.MaxSnapshots);
    }
    if (rules.MaxDays > 0) {
        MarkOlderThan(plan, nowSeconds - std::int64_t{rules.MaxDays} * kSecondsPerDay);
    }
    if (rules.MaxMegabytes > 0) {
        MarkUntilUnder(plan, std::int64_t{rules.MaxMegabytes} * kBytesPerMegabyte);
    }
    return CarryOut(plan);
}

void PublishKeepingRules(const std::string& storeFolder, const TKeepingRules& rules) {
    TRulesInForce& inForce = InForce();
    std::lock_guard<std::mutex> guard(inForce.Lock);
    inForce.StoreFolder = storeFolder;
    inForce.Rules = rules;
}

TCleanupResult ApplyKeepingRulesInForce() {
    std::string storeFolder;
    TKeepingRules rules;
    {
        TRulesInForce& inForce = InForce();
        std::lock_guard<std::mutex> guard(inForce.Lock);
        storeFolder = inForce.StoreFolder;
        rules = inForce.Rules;
    }
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const TCleanupResult result = ApplyKeepingRules(
        storeFolder, rules, std::chrono::duration_cast<std::chrono::seconds>(now).count());
    if (result.Removed > 0) {
        RecheckRoomAfterRefusals(storeFolder);
    }
    return result;
}
