#include "platform/FileAttributes.h"

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool IsFolder(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The names of path's extended attributes, each ended by a NUL; empty when it has none.
std::vector<char> AttributeNames(const std::string& path) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = ::listxattr(path.c_str(), nullptr, 0);
        if (size <= 0) {
            return {};
        }
        std::vector<char> names(static_cast<size_t>(size));
        const ssize_t got = ::listxattr(path.c_str(), names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<size_t>(got));
            return names;
        }
        if (errno != ERANGE) {
            return {};  // ERANGE: an attribute was added meanwhile; ask again
        }
    }
    return {};
}

void CopyAttribute(const std::string& path, const char* name, int fd) {
    const ssize_t size = ::getxattr(path.c_str(), name, nullptr, 0);
    if (size < 0) {
        return;
    }
    std::vector<char> value(static_cast<size_t>(size));
    const ssize_t got = ::getxattr(path.c_str(), name, value.data(), value.size());
    if (got >= 0) {
        ::fsetxattr(fd, name, value.data(), static_cast<size_t>(got), 0);
    }
}

}  // namespace

bool CreatePrivateFolders(const std::string& folder) {
    if (folder.empty()) {
        return false;
    }
    if (IsFolder(folder)) {
        return true;
    }
    // From the top down, so that each new folder is made by mkdir with its mode at once (no
    // moment in which it is open to others).
    fs::path built;
    for (const fs::path& part : fs::path(folder)) {
        built /= part;
        if (::mkdir(built.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST &&
            !IsFolder(built.string())) {
            return false;  // a folder above that exists may refuse mkdir with another error
        }
    }
    return IsFolder(folder);
}

unsigned PermissionBitsOf(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return kPrivateFileMode;
    }
    return status.st_mode & 0777;
}

void SetPermissionBits(int fd, unsigned bits) {
    ::fchmod(fd, bits & 0777);
}

void CopyExtendedAttributes(const std::string& path, int fd) {
    const std::vector<char> names = AttributeNames(path);
    for (size_t at = 0; at < names.size();) {
        const char* name = names.data() + at;
        CopyAttribute(path, name, fd);
        at += ::strnlen(name, names.size() - at) + 1;
    }
}
