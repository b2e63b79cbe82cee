#pragma once

#include <QString>

// Keeps a second copy of the program from running out of the same directory, where both would
// write one settings file and one log. The lock is a flock() on "frameLock.lock" beside the
// settings file, so the kernel releases it when the process ends in any way: a crash never
// leaves a stale lock. Where that file cannot be made (a directory the user cannot write), the
// directory itself is locked instead.
class InstanceLock {
public:
    explicit InstanceLock(const QString& directory);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // False when another process holds the lock on this directory.
    bool acquired() const { return acquired_; }

private:
    int fd_ = -1;
    bool acquired_ = true;
};
