#include "platform/DiskUsage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

constexpr std::int64_t kBlockUnit = 512;  // st_blocks counts in these, whatever the disk uses

TFileUsage UsageFrom(const struct stat& status) {
    TFileUsage usage;
    usage.Device = static_cast<std::uint64_t>(status.st_dev);
    usage.Inode = static_cast<std::uint64_t>(status.st_ino);
    usage.DiskBytes = static_cast<std::int64_t>(status.st_blocks) * kBlockUnit;
    usage.Size = static_cast<std::int64_t>(status.st_size);
    usage.ModifiedSeconds = status.st_mtim.tv_sec;
    usage.Regular = S_ISREG(status.st_mode);
    return usage;
}

}  // namespace

TDiskSpace DiskSpaceOf(const std::string& path) {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0) {
        return {};
    }
    const auto unit = static_cast<std::int64_t>(info.f_frsize);
    return {true, static_cast<std::int64_t>(info.f_bavail) * unit,
            static_cast<std::int64_t>(info.f_blocks) * unit};
}

std::optional<TFileUsage> UsageOf(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return UsageFrom(status);
}

bool SetModifiedNow(const std::string& path) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}
