// A mutex that clang's thread-safety analysis knows (std::mutex carries no annotations
// in libstdc++), and its scoped lock.
#pragma once

#include <mutex>

#include "oslib/thread_annotations.h"

namespace oslib {

// Not recursive: a thread that holds it must not take it again.
class CAPABILITY("mutex") Mutex {
public:
    void Lock() ACQUIRE() { mutex_.lock(); }
    void Unlock() RELEASE() { mutex_.unlock(); }

private:
    std::mutex mutex_;
};

// Holds the mutex from its construction to the end of its scope.
class SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
    ~MutexLock() RELEASE() { mutex_.Unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& mutex_;
};

} // namespace oslib
