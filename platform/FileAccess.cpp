#include "platform/FileAccess.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/AtomicFile.h"
#include "platform/FileAttributes.h"

namespace {

bool IsRegularFile(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

TOpenResult OpenRegularFileForReading(const std::string& path, int* fd) {
    const int opened = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (opened < 0) {
        return (errno == ENOENT || errno == ENOTDIR) ? TOpenResult::Missing : TOpenResult::Failed;
    }
    if (!IsRegularFile(opened)) {
        ::close(opened);
        return TOpenResult::NotRegular;
    }
    *fd = opened;
    return TOpenResult::Opened;
}

void AdviseSequentialReading(int fd) {
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::int64_t ReadBlock(int fd, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got < 0 ? -1 : static_cast<std::int64_t>(got);
    }
}

std::int64_t ReadBlockAt(int fd, char* buffer, std::size_t size, std::int64_t offset) {
    for (;;) {
        const ssize_t got = ::pread(fd, buffer, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got < 0 ? -1 : static_cast<std::int64_t>(got);
    }
}

void StartWriteback(int fd, std::int64_t offset, std::int64_t length) {
    ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
}

void CloseFile(int fd) {
    ::close(fd);
}

namespace {

// True when the file open at fd is empty or its last two bytes are CR LF (or they cannot be
// read: a file opened for writing only is taken as it is).
bool EndsWithLineEnd(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || status.st_size == 0) {
        return true;
    }
    char tail[2] = {0, 0};
    const std::int64_t start = status.st_size >= 2 ? status.st_size - 2 : 0;
    const std::int64_t got = ReadBlockAt(fd, tail, sizeof tail, start);
    return got < 0 || (got == 2 && tail[0] == '\r' && tail[1] == '\n');
}

}  // namespace

void AppendLineToRegularFile(const std::string& path, const std::string& line) {
    constexpr int kFlags = O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.c_str(), O_RDWR | kFlags, kPrivateFileMode);
    if (fd < 0) {
        fd = ::open(path.c_str(), O_WRONLY | kFlags, kPrivateFileMode);  // may not be read back
    }
    if (fd < 0) {
        return;
    }
    if (IsRegularFile(fd)) {
        const std::string text = EndsWithLineEnd(fd) ? line : "\r\n" + line;
        WriteAll(fd, text.data(), text.size());  // one write, so the line lands whole
    }
    ::close(fd);
}

int OpenFolderAnyLength(const std::string& path, int flags) {
    flags |= O_DIRECTORY | O_CLOEXEC;
    if (path.size() < PATH_MAX) {
        return ::open(path.c_str(), flags);
    }
    int dir = AT_FDCWD;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = path.size();
        if (end - start >= PATH_MAX) {
            end = path.rfind('/', start + PATH_MAX - 1);
            if (end == std::string::npos || end < start) {
                if (dir != AT_FDCWD) {
                    ::close(dir);
                }
                errno = ENAMETOOLONG;
                return -1;
            }
        }
        const bool last = end == path.size();
        std::string piece(path, start, end - start);
        if (piece.empty()) {
            piece.assign(1, start == 0 ? '/' : '.');
        }
        const int next =
            ::openat(dir, piece.c_str(), last ? flags : O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int error = errno;
        if (dir != AT_FDCWD) {
            ::close(dir);
        }
        errno = error;
        if (next < 0 || last) {
            return next;
        }
        dir = next;
        start = end + 1;
    }
}

TPathKind KindOfPathAnyLength(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const int dir = OpenFolderAnyLength(folder.empty() ? "/" : folder, O_PATH);
    if (dir < 0) {
        return TPathKind::Missing;
    }
    struct stat status {};
    const bool found = ::fstatat(dir, name.empty() ? "." : name.c_str(), &status, 0) == 0;
    ::close(dir);
    if (!found) {
        return TPathKind::Missing;
    }
    if (S_ISDIR(status.st_mode)) {
        return TPathKind::Folder;
    }
    return S_ISREG(status.st_mode) ? TPathKind::RegularFile : TPathKind::Other;
}

bool NameMatchesMask(const std::string& name, const std::string& mask) {
    return ::fnmatch(mask.c_str(), name.c_str(), 0) == 0;
}
