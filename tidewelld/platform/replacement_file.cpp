#include "replacement_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

std::unique_ptr<ReplacementFile> ReplacementFile::Create(const std::string& destination, mode_t mode)
{
    static std::atomic<unsigned> serial{0};
    // Allocated before the file is made: a failure to allocate leaves nothing behind.
    std::unique_ptr<ReplacementFile> file(new ReplacementFile(destination));
    // open(2) rather than mkstemp, so that the umask narrows `mode` as for any new file.
    // A name is taken only by a file of an earlier process with the same id.
    for (int attempt = 0; attempt < 100 && file->fd_ < 0; ++attempt) {
        file->path_ = destination + "." + std::to_string(getpid()) + "." + std::to_string(serial++);
        file->fd_ = open(file->path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (file->fd_ < 0 && errno != EEXIST) {
            break;
        }
    }
    file->created_ = file->fd_ >= 0;
    return file->created_ ? std::move(file) : nullptr;
}

ReplacementFile::ReplacementFile(const std::string& destination) : destination_(destination) {}

ReplacementFile::~ReplacementFile()
{
    if (fd_ >= 0) {
        close(fd_);
    }
    if (created_) {
        unlink(path_.c_str());
    }
}

bool ReplacementFile::Write(const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

ReplacementFile::Outcome ReplacementFile::Commit()
{
    bool synced = fsync(fd_) == 0;
    synced = close(fd_) == 0 && synced;
    fd_ = -1;
    if (!synced) {
        return Outcome::kNotSynced;
    }
    created_ = std::rename(path_.c_str(), destination_.c_str()) != 0;
    return created_ ? Outcome::kNotRenamed : Outcome::kReplaced;
}

} // namespace platform
