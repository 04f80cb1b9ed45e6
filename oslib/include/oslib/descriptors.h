// Owners of open descriptors (a file descriptor, a folder stream), and the loops that read a
// descriptor to its end and write all of a buffer.
#pragma once

#include <dirent.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace oslib {

// Owns one file descriptor and closes it.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    void reset(int fd = -1)
    {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = fd;
    }
    // Gives the descriptor up without closing it.
    int release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

struct FolderCloser {
    void operator()(DIR* folder) const { closedir(folder); }
};
// Owns one folder stream (opendir, fdopendir) and closes it.
using UniqueFolder = std::unique_ptr<DIR, FolderCloser>;

// Everything from where `fd` stands to its end, through interruptions. False on a read error,
// with `contents` empty: no part of a read may pass for the whole. A file of /proc reports no
// size and ends at its first read shorter than a page; `shortReadEnds` takes that read as
// the end and spares the system call that would find it.
bool ReadToEnd(int fd, std::string& contents, bool shortReadEnds = false);

// Writes all `size` bytes, through interruptions and partial writes; false when a write fails.
bool WriteAll(int fd, const char* data, size_t size);

} // namespace oslib
