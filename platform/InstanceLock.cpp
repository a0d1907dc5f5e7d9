#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

TInstanceLock::TInstanceLock(const std::string& path) {
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty() && !std::filesystem::exists(folder, ignored)) {
        std::filesystem::create_directories(folder, ignored);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ignored);
    }
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
        return;
    }
    int locked;
    do {
        locked = flock(fd_, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked == 0) {
        result_ = TLockResult::Acquired;
        // The holder's process number, for a person who looks at the file.
        const std::string pid = std::to_string(getpid()) + "\n";
        if (ftruncate(fd_, 0) == 0) {
            (void)!pwrite(fd_, pid.data(), pid.size(), 0);
        }
        return;
    }
    result_ = errno == EWOULDBLOCK ? TLockResult::HeldByOther : TLockResult::Unavailable;
    close(fd_);
    fd_ = -1;
}

TInstanceLock::~TInstanceLock() {
    if (fd_ >= 0) {
        close(fd_);
    }
}
