#include "whole_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

struct Descriptor {
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor()
    {
        if (fd >= 0) {
            close(fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd;
};

} // namespace

bool ReadRegularFile(const std::string& path, std::string& contents)
{
    // Non-blocking, so that opening a pipe cannot wait for a writer.
    Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (file.fd < 0 || fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    std::string data;
    char buffer[8192];
    for (;;) {
        ssize_t count = read(file.fd, buffer, sizeof buffer);
        if (count == 0) {
            contents = std::move(data);
            return true;
        }
        if (count < 0 && errno != EINTR) {
            return false;
        }
        if (count > 0) {
            data.append(buffer, static_cast<size_t>(count));
        }
    }
}

} // namespace platform
