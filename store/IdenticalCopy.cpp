#include "store/IdenticalCopy.h"

#include "platform/AtomicFile.h"
#include "platform/DiskUsage.h"
#include "platform/FileData.h"
#include "store/NewestSnapshot.h"

bool LinkIdenticalCopy(int in, const std::string& newestCopy, const std::string& folder,
                       std::string* tempPath) {
    if (newestCopy.empty()) {
        return false;
    }
    const TFileStamp before = StampOf(in);
    if (!HoldsSameBytes(in, newestCopy) || !(StampOf(in) == before)) {
        return false;
    }
    if (!LinkAsTempFileIn(newestCopy, folder, tempPath)) {
        return false;
    }
    SetModifiedNow(*tempPath);
    return true;
}
