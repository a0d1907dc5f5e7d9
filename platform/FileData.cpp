#include "platform/FileData.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

// Pieces small enough to look at abandoned often, large enough to cost nothing.
constexpr std::size_t kKernelPiece = 16u << 20;
constexpr std::size_t kBufferPiece = 1u << 20;

bool WriteAllOf(int fd, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::write(fd, data + done, size - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

bool Clone(int in, int out) {
    return ::ioctl(out, FICLONE, in) == 0;
}

// The kernel's copy; Failed with errno EXDEV, EINVAL, ENOSYS or EOPNOTSUPP before anything was
// copied means it refuses this pair of files, which the caller answers with the buffered loop.
TDataCopyEnd KernelCopy(int in, int out, const std::function<bool()>& abandoned, bool* refused) {
    *refused = false;
    bool copiedAny = false;
    for (;;) {
        if (abandoned()) {
            return TDataCopyEnd::Abandoned;
        }
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, kKernelPiece, 0);
        if (copied < 0 && errno == EINTR) {
            continue;
        }
        if (copied < 0) {
            *refused = !copiedAny && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                                      errno == EOPNOTSUPP || errno == EBADF);
            return TDataCopyEnd::Failed;
        }
        if (copied == 0) {
            return TDataCopyEnd::Complete;
        }
        copiedAny = true;
    }
}

TDataCopyEnd BufferedCopy(int in, int out, const std::function<bool()>& abandoned) {
    const std::unique_ptr<char[]> buffer(new char[kBufferPiece]);
    for (;;) {
        if (abandoned()) {
            return TDataCopyEnd::Abandoned;
        }
        const ssize_t got = ::read(in, buffer.get(), kBufferPiece);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return TDataCopyEnd::Failed;
        }
        if (got == 0) {
            return TDataCopyEnd::Complete;
        }
        if (!WriteAllOf(out, buffer.get(), static_cast<std::size_t>(got))) {
            return TDataCopyEnd::Failed;
        }
    }
}

// A lease break is announced with a signal (SIGIO unless changed), whose default ends the process.
// The lease is held for a moment only, so the announcement is of no use: it is ignored.
void IgnoreLeaseBreakSignal() {
    static const bool ignored = [] {
        struct sigaction action {};
        action.sa_handler = SIG_IGN;
        sigemptyset(&action.sa_mask);
        return ::sigaction(SIGIO, &action, nullptr) == 0;
    }();
    (void)ignored;
}

}  // namespace

TDataCopyEnd CopyFileData(int in, int out, const std::function<bool()>& abandoned) {
    if (Clone(in, out)) {
        return TDataCopyEnd::Complete;
    }
    bool refused = false;
    const TDataCopyEnd end = KernelCopy(in, out, abandoned, &refused);
    if (!refused) {
        return end;
    }
    if (::lseek(in, 0, SEEK_SET) != 0 || ::lseek(out, 0, SEEK_SET) != 0 ||
        ::ftruncate(out, 0) != 0) {
        return TDataCopyEnd::Failed;
    }
    return BufferedCopy(in, out, abandoned);
}

TFileStamp StampOf(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return {};
    }
    return {static_cast<std::int64_t>(status.st_size), status.st_mtim.tv_sec,
            status.st_mtim.tv_nsec};
}

TFileStamp StampOfPath(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return {};
    }
    return {static_cast<std::int64_t>(status.st_size), status.st_mtim.tv_sec,
            status.st_mtim.tv_nsec};
}

bool IsOpenForWriting(const std::string& path) {
    IgnoreLeaseBreakSignal();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    // A read lease is granted only while nobody has the file open for writing.
    bool writing = false;
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
    } else {
        writing = errno == EAGAIN || errno == EBUSY;
    }
    ::close(fd);
    return writing;
}

bool SyncFileSystemOf(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = ::syncfs(fd) == 0;
    ::close(fd);
    return synced;
}

bool CloseAndRename(int fd, const std::string& path, const std::string& target) {
    const bool closed = ::close(fd) == 0;
    return closed && std::rename(path.c_str(), target.c_str()) == 0;
}
