#pragma once
// Lowering the kernel's inotify limits for a test. The limit of watches is lowered in a child
// process alone: the child gets a user namespace of its own, whose limit nobody else shares, so
// the system-wide setting is never touched. The queue length has no such place and is set
// system-wide for as short a time as possible, and always put back.
#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>

// What a child returns when it cannot have a user namespace of its own.
constexpr int kNoOwnNamespace = 77;

// Runs body in a forked child and returns its exit code (-1 when it did not exit normally).
inline int RunInChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        _exit(body());
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

inline bool WriteProcText(const char* file, const std::string& text) {
    const int fd = open(file, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return written;
}

// This process's limit of watches, in its own user namespace.
inline bool SetOwnWatchLimit(int limit) {
    return WriteProcText("/proc/sys/user/max_inotify_watches", std::to_string(limit));
}

// Moves this (single-threaded) process into a user namespace of its own, as root there, and
// sets its limit of watches. False when the system does not allow it.
inline bool EnterNamespaceWithWatchLimit(int limit) {
    return unshare(CLONE_NEWUSER) == 0 && WriteProcText("/proc/self/setgroups", "deny") &&
           WriteProcText("/proc/self/uid_map", "0 0 1") &&
           WriteProcText("/proc/self/gid_map", "0 0 1") && SetOwnWatchLimit(limit);
}

// Lowers the kernel's queue length for instances opened meanwhile; puts the old value back.
class QueueLimit {
  public:
    static constexpr const char* kFile = "/proc/sys/fs/inotify/max_queued_events";
    explicit QueueLimit(int limit) {
        std::ifstream(kFile) >> old_;
        lowered_ = !old_.empty() && WriteProcText(kFile, std::to_string(limit));
    }
    ~QueueLimit() { Restore(); }
    QueueLimit(const QueueLimit&) = delete;
    QueueLimit& operator=(const QueueLimit&) = delete;
    bool Lowered() const { return lowered_; }
    void Restore() {
        if (lowered_) {
            lowered_ = !WriteProcText(kFile, old_);
        }
    }

  private:
    std::string old_;
    bool lowered_ = false;
};
