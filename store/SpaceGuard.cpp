#include "store/SpaceGuard.h"

#include <algorithm>
#include <string>

#include "core/StoreWarning.h"
#include "platform/DiskUsage.h"

namespace {

constexpr std::int64_t kLargestMargin = 500LL * 1000 * 1000;

// The largest copy refused since the warning was last lowered; 0 for none. Store thread only.
std::int64_t largestRefused = 0;

bool HasRoom(const TDiskSpace& space, std::int64_t bytes) {
    return !space.Known || space.FreeBytes >= bytes + SpaceMargin(space.TotalBytes);
}

}  // namespace

std::int64_t SpaceMargin(std::int64_t totalBytes) {
    return std::min(totalBytes / 100, kLargestMargin);
}

bool RoomForCopy(const std::string& folder, std::int64_t bytes) {
    if (!StoreShortOfSpace()) {
        largestRefused = 0;  // the warning was lowered elsewhere: refusals before it are done
    }
    const TDiskSpace space = DiskSpaceOf(folder);
    if (!HasRoom(space, bytes)) {
        largestRefused = std::max(largestRefused, bytes);
        SetStoreShortOfSpace(true);
        return false;
    }
    if (largestRefused > 0 && HasRoom(space, largestRefused)) {
        largestRefused = 0;
        SetStoreShortOfSpace(false);
    }
    return true;
}

void RecheckRoomAfterRefusals(const std::string& folder) {
    if (largestRefused > 0 && HasRoom(DiskSpaceOf(folder), largestRefused)) {
        largestRefused = 0;
        SetStoreShortOfSpace(false);
    }
}
