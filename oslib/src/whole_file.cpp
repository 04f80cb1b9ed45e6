#include "oslib/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "oslib/descriptors.h"

namespace oslib {

bool ReadRegularFile(const std::string& path, std::string& contents, size_t maxBytes)
{
    // Non-blocking, so that opening a pipe cannot wait for a writer.
    UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    std::string data;
    if (file.get() < 0 || fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<uintmax_t>(info.st_size) > maxBytes || !ReadToEnd(file.get(), data) || data.size() > maxBytes) {
        return false;
    }
    contents = std::move(data);
    return true;
}

} // namespace oslib
