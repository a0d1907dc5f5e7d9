#pragma once
// An exclusive lock on a file, held for as long as the object lives. The system drops the lock
// when the process ends in any way, so a lock file left by a crash never blocks the next start.
#include <string>

enum class TLockResult {
    Acquired,     // this process holds the lock
    HeldByOther,  // another process holds it
    Unavailable,  // the lock file cannot be made or locked (no lock is held)
};

class TInstanceLock {
  public:
    // Creates the file's folder when missing (owner only), then tries once, without waiting.
    explicit TInstanceLock(const std::string& path);
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    TLockResult Result() const { return result_; }

  private:
    int fd_ = -1;
    TLockResult result_ = TLockResult::Unavailable;
};
