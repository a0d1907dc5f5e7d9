#include "core/StoreWarning.h"

#include <atomic>

#include "core/SharedState.h"

namespace {

std::atomic<bool> shortOfSpace{false};

}  // namespace

void SetStoreShortOfSpace(bool value) {
    if (shortOfSpace.exchange(value) != value) {
        RefreshTrayIcon(false);
    }
}

bool StoreShortOfSpace() {
    return shortOfSpace.load();
}
