#pragma once
// What the store tests count on disk themselves, and a small disk to fill.
#include <sys/mount.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <utility>

namespace disk_test {

struct TCount {
    std::int64_t DiskBytes = 0;   // blocks of every regular file, once per inode
    std::int64_t Snapshots = 0;   // SnapShot.n names
    std::set<std::string> Files;  // folders holding a snapshot
};

// The test's own count of a store, independent of the program's.
inline TCount CountStore(const std::filesystem::path& store) {
    TCount count;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(store)) {
        struct stat status {};
        if (lstat(entry.path().c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
            continue;
        }
        if (seen.insert({status.st_dev, status.st_ino}).second) {
            count.DiskBytes += static_cast<std::int64_t>(status.st_blocks) * 512;
        }
        if (entry.path().filename().string().rfind("SnapShot.", 0) == 0) {
            ++count.Snapshots;
            count.Files.insert(entry.path().parent_path().string());
        }
    }
    return count;
}

// A tmpfs of the given size ("8m") mounted on folder while it lives. Mounted() is false where
// mounting is not permitted (the test then skips).
class TSmallDisk {
  public:
    TSmallDisk(const std::filesystem::path& folder, const std::string& size) : folder_(folder) {
        std::filesystem::create_directories(folder);
        mounted_ = mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~TSmallDisk() {
        if (mounted_) {
            umount2(folder_.c_str(), MNT_DETACH);
        }
    }
    TSmallDisk(const TSmallDisk&) = delete;
    TSmallDisk& operator=(const TSmallDisk&) = delete;
    bool Mounted() const { return mounted_; }

  private:
    std::filesystem::path folder_;
    bool mounted_ = false;
};

}  // namespace disk_test
