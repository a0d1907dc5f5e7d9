#include "store/NewestSnapshot.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/FileAccess.h"
#include "platform/FileData.h"
#include "store/SnapshotIndex.h"

namespace {

constexpr std::size_t kPiece = 1u << 20;

// Reads until size bytes are in buffer or the file ends; the number read, -1 on an error.
std::int64_t ReadFull(int fd, char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const std::int64_t got = ReadBlock(fd, buffer + done, size - done);
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

bool SameContent(int first, int second) {
    std::vector<char> left(kPiece);
    std::vector<char> right(kPiece);
    for (;;) {
        const std::int64_t a = ReadFull(first, left.data(), kPiece);
        const std::int64_t b = ReadFull(second, right.data(), kPiece);
        if (a < 0 || a != b) {
            return false;
        }
        if (a == 0) {
            return true;
        }
        if (!std::equal(left.begin(), left.begin() + a, right.begin())) {
            return false;
        }
    }
}

}  // namespace

std::string NewestSnapshotCopy(const std::string& folder) {
    const int newest = folder.empty() ? 0 : HighestSnapshotCopyNumber(folder);
    return newest > 0 ? SnapshotCopyPath(folder, newest) : std::string();
}

bool HoldsSameBytes(int fd, const std::string& copyPath) {
    if (copyPath.empty() || StampOfPath(copyPath).Size != StampOf(fd).Size) {
        return false;
    }
    int copy = -1;
    if (OpenRegularFileForReading(copyPath, &copy) != TOpenResult::Opened) {
        return false;
    }
    const bool same = ::lseek(fd, 0, SEEK_SET) == 0 && SameContent(fd, copy);
    CloseFile(copy);
    return same;
}
