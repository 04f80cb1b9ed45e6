#include "whole_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "unique_fd.h"

namespace uninstaller {

std::optional<std::string> ReadWholeFile(const std::string& path)
{
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        return std::nullopt;
    }
    return ReadToEnd(fd.get());
}

std::optional<std::string> ReadToEnd(int fd)
{
    std::string data;
    char buffer[8192];
    for (;;) {
        ssize_t count = read(fd, buffer, sizeof buffer);
        if (count == 0) {
            return data;
        }
        if (count < 0 && errno != EINTR) {
            return std::nullopt;
        }
        if (count > 0) {
            data.append(buffer, static_cast<size_t>(count));
        }
    }
}

} // namespace uninstaller
