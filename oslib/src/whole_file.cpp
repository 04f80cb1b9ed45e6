#include "oslib/whole_file.h"

#include <cerrno>

#include "oslib/user_folders.h"

namespace oslib {

bool ReadRegularFile(const std::string& path, std::string& contents, size_t cap)
{
    struct stat info {};
    UniqueFd file = OpenRegularFile(path, O_RDONLY, info);
    if (file.get() < 0 || static_cast<unsigned long long>(info.st_size) > cap) {
        return false;
    }
    // The size may change while the file is read, and files of /proc and /sys report none.
    std::string data(std::min<size_t>(static_cast<size_t>(info.st_size), cap) + 4096, '\0');
    size_t filled = 0;
    for (;;) {
        if (filled == data.size()) {
            data.resize(std::min(cap + 1, 2 * data.size()));
        }
        ssize_t n = read(file.get(), data.data() + filled, data.size() - filled);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 || filled + static_cast<size_t>(n) > cap) {
            return false;
        }
        if (n == 0) {
            break;
        }
        filled += static_cast<size_t>(n);
    }
    data.resize(filled);
    contents = std::move(data);
    return true;
}

} // namespace oslib
