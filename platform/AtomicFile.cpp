#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "platform/FileAttributes.h"

namespace {

constexpr char kTempPrefix[] = ".ostrevan-";
constexpr char kTempSuffix[] = ".tmp";

// A name that no other writer picks: process id, a running number and the clock.
std::string FreshTempName() {
    static std::atomic<unsigned> counter{0};
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    char name[64];
    std::snprintf(name, sizeof name, "%s%d-%u-%llx%s", kTempPrefix, static_cast<int>(getpid()),
                  counter++, static_cast<unsigned long long>(ticks) & 0xffffffULL, kTempSuffix);
    return name;
}

}  // namespace

bool LinkAsTempFileIn(const std::string& existing, const std::string& folder,
                      std::string* tempPath) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string path = (std::filesystem::path(folder) / FreshTempName()).string();
        if (link(existing.c_str(), path.c_str()) == 0) {
            *tempPath = path;
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

bool IsOwnTemporaryName(const std::string& name) {
    const std::size_t slash = name.find_last_of('/');
    const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
    const std::string prefix = kTempPrefix;
    const std::string suffix = kTempSuffix;
    return last.size() > prefix.size() + suffix.size() &&
           last.compare(0, prefix.size(), prefix) == 0 &&
           last.compare(last.size() - suffix.size(), suffix.size(), suffix) == 0;
}

int CreateTempFileIn(const std::string& folder, std::string* tempPath) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string path = (std::filesystem::path(folder) / FreshTempName()).string();
        const int fd =
            open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateFileMode);
        if (fd >= 0) {
            *tempPath = path;
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    return -1;
}

bool WriteAll(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t written = write(fd, data + done, size - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

int OpenReplacement(const std::string& folder, const std::string& target, std::string* tempPath) {
    const int fd = CreateTempFileIn(folder, tempPath);
    if (fd >= 0) {
        return fd;
    }
    // Only a folder we may not write in leads to writing in place: a full disk or a missing
    // folder would fail there as well, or worse, halfway.
    const int madeError = errno;
    const bool folderClosed = madeError == EACCES || madeError == EPERM || madeError == EROFS;
    struct stat st {};
    if (!folderClosed || stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        errno = madeError;
        return -1;
    }
    const int inPlace = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (inPlace < 0) {
        errno = madeError;
        return -1;
    }
    tempPath->clear();
    return inPlace;
}

bool TakeOverTargetAttributes(int fd, const std::string& target) {
    struct stat st {};
    if (stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    // Best effort: a file we may not chown stays ours, which is no reason to fail the copy.
    if (fchown(fd, st.st_uid, st.st_gid) != 0) {
        errno = 0;
    }
    CopyExtendedAttributes(target, fd);
    fchmod(fd, st.st_mode & 07777);  // last: a change of owner clears the set-id bits
    return true;
}

void GiveCopyItsAttributes(int fd, const std::string& tempPath, const std::string& target,
                           unsigned sourceBits) {
    if (!tempPath.empty() && !TakeOverTargetAttributes(fd, target)) {
        SetPermissionBits(fd, sourceBits);
    }
}

namespace {

// The end of a file written in place: what lay beyond the new content goes, then it is flushed.
bool CommitInPlace(int fd) {
    const off_t written = lseek(fd, 0, SEEK_CUR);
    const bool cut = written >= 0 && ftruncate(fd, written) == 0;
    const bool flushed = fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    return cut && flushed && closed;
}

}  // namespace

bool CommitTempFile(int fd, const std::string& tempPath, const std::string& target,
                    bool* renameFailed) {
    *renameFailed = false;
    if (tempPath.empty()) {
        return CommitInPlace(fd);
    }
    const bool flushed = fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!flushed || !closed) {
        unlink(tempPath.c_str());
        return false;
    }
    if (rename(tempPath.c_str(), target.c_str()) != 0) {
        *renameFailed = true;
        unlink(tempPath.c_str());
        return false;
    }
    return true;
}

void DiscardTempFile(int fd, const std::string& tempPath) {
    close(fd);
    if (!tempPath.empty()) {
        unlink(tempPath.c_str());
    }
}

bool WriteFileAtomically(const std::string& path, const std::string& content) {
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string tempPath;
    const int fd = OpenReplacement(folder, path, &tempPath);
    if (fd < 0) {
        return false;
    }
    if (!WriteAll(fd, content.data(), content.size())) {
        DiscardTempFile(fd, tempPath);
        return false;
    }
    if (!tempPath.empty()) {
        TakeOverTargetAttributes(fd, path);
    }
    bool renameFailed = false;
    return CommitTempFile(fd, tempPath, path, &renameFailed);
}
