#pragma once
// What the store needs to know of its disk: the space left on it, the space a file takes there,
// and a file's modification time set to now.
#include <cstdint>
#include <optional>
#include <string>

// Free and total bytes of the file system that holds path; Known false when it cannot be asked.
struct TDiskSpace {
    bool Known = false;
    std::int64_t FreeBytes = 0;  // what an unprivileged writer may still use
    std::int64_t TotalBytes = 0;
};
TDiskSpace DiskSpaceOf(const std::string& path);

// How a file sits on its disk (the name itself, links not followed).
struct TFileUsage {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::int64_t DiskBytes = 0;  // blocks allocated to it, in bytes
    std::int64_t Size = 0;
    std::int64_t ModifiedSeconds = 0;
    bool Regular = false;
};
// nullopt when the name cannot be looked at.
std::optional<TFileUsage> UsageOf(const std::string& path);

// Sets the modification time of the file at path to now; false when that failed.
bool SetModifiedNow(const std::string& path);
