#include "platform/FileAccess.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/AtomicFile.h"

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

void StartWriteback(int fd, std::int64_t offset, std::int64_t length) {
    ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
}

void CloseFile(int fd) {
    ::close(fd);
}

void AppendToRegularFile(const std::string& path, const std::string& text) {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        return;
    }
    if (IsRegularFile(fd)) {
        WriteAll(fd, text.data(), text.size());
    }
    ::close(fd);
}

bool NameMatchesMask(const std::string& name, const std::string& mask) {
    return ::fnmatch(mask.c_str(), name.c_str(), 0) == 0;
}
