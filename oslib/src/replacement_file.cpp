#include "oslib/replacement_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>

namespace oslib {

std::unique_ptr<ReplacementFile> ReplacementFile::Create(const std::string& destination, mode_t mode)
{
    static std::atomic<unsigned> serial{0};
    // Allocated before the file is made: a failure to allocate leaves nothing behind.
    std::unique_ptr<ReplacementFile> file(new ReplacementFile(destination));
    // open(2) rather than mkstemp, so that the umask narrows `mode` as for any new file.
    // A name is taken only by a file of an earlier process with the same id.
    for (int attempt = 0; attempt < 100 && file->fd_.get() < 0; ++attempt) {
        file->path_ = destination + "." + std::to_string(getpid()) + "." + std::to_string(serial++);
        file->fd_.reset(open(file->path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (file->fd_.get() < 0 && errno != EEXIST) {
            break;
        }
    }
    file->created_ = file->fd_.get() >= 0;
    return file->created_ ? std::move(file) : nullptr;
}

ReplacementFile::ReplacementFile(const std::string& destination) : destination_(destination) {}

ReplacementFile::~ReplacementFile()
{
    fd_.reset();
    if (created_) {
        unlink(path_.c_str());
    }
}

bool ReplacementFile::Write(const char* data, size_t size) { return WriteAll(fd_.get(), data, size); }

ReplacementFile::Outcome ReplacementFile::Commit()
{
    bool synced = fsync(fd_.get()) == 0;
    synced = close(fd_.release()) == 0 && synced;
    if (!synced) {
        return Outcome::kNotSynced;
    }
    created_ = std::rename(path_.c_str(), destination_.c_str()) != 0;
    return created_ ? Outcome::kNotRenamed : Outcome::kReplaced;
}

} // namespace oslib
