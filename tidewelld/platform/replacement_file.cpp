#include "replacement_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

std::unique_ptr<ReplacementFile> ReplacementFile::Create(const std::string& destination)
{
    std::string path = destination + ".XXXXXX";
    int fd = mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    std::unique_ptr<ReplacementFile> file(new ReplacementFile(path, destination, fd));
    // mkstemp makes the file 0600; the destination is read by other programs.
    if (fchmod(fd, 0644) != 0) {
        return nullptr;
    }
    return file;
}

ReplacementFile::ReplacementFile(std::string path, std::string destination, int fd)
    : path_(std::move(path)), destination_(std::move(destination)), fd_(fd)
{
}

ReplacementFile::~ReplacementFile()
{
    if (fd_ >= 0) {
        close(fd_);
    }
    if (!replaced_) {
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
    replaced_ = std::rename(path_.c_str(), destination_.c_str()) == 0;
    return replaced_ ? Outcome::kReplaced : Outcome::kNotRenamed;
}

} // namespace platform
