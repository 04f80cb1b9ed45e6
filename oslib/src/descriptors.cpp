#include "oslib/descriptors.h"

#include <cerrno>

namespace oslib {

bool ReadToEnd(int fd, std::string& contents, bool shortReadEnds)
{
    contents.clear();
    // A page: a shorter read of a /proc file is its end.
    char chunk[4096];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            contents.clear();
            return false;
        }
        contents.append(chunk, static_cast<size_t>(n));
        if (n == 0 || (shortReadEnds && n < static_cast<ssize_t>(sizeof chunk))) {
            return true;
        }
    }
}

bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace oslib
