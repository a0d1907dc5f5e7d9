#pragma once
// A folder that is read-only but holds one writable file, as a shared settings folder may: the
// folder is bound read-only onto itself and a writable file from elsewhere is bound over the
// file in it. Both mounts go with the object.
#include <sys/mount.h>

#include <filesystem>
#include <string>
#include <vector>

class TReadOnlyFolderWithWritableFile {
  public:
    // The file folder/name must exist; writable is the file that takes its place.
    TReadOnlyFolderWithWritableFile(const std::filesystem::path& folder, const std::string& name,
                                    const std::filesystem::path& writable) {
        const std::string file = (folder / name).string();
        if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            error_ = "bind mounts are not permitted here";
            return;
        }
        mounts_.push_back(folder.string());
        if (::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
                0 ||
            ::mount(writable.c_str(), file.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            error_ = "a read-only remount or a file mount is not permitted here";
            return;
        }
        mounts_.push_back(file);
    }
    ~TReadOnlyFolderWithWritableFile() {
        for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) {
            ::umount2(it->c_str(), MNT_DETACH);
        }
    }
    TReadOnlyFolderWithWritableFile(const TReadOnlyFolderWithWritableFile&) = delete;
    TReadOnlyFolderWithWritableFile& operator=(const TReadOnlyFolderWithWritableFile&) = delete;

    // Empty when both mounts are in place; otherwise why not.
    const std::string& Error() const { return error_; }

  private:
    std::vector<std::string> mounts_;
    std::string error_;
};
