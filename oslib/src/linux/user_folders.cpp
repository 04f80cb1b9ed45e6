#include "oslib/user_folders.h"

#include <cerrno>
#include <sys/stat.h>

#include "oslib/configuration.h"

namespace oslib {

std::string HomeFolder() { return Configured().home; }

std::string LibraryFolder() { return HomeFolder() + "/Library"; }

bool PathExists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

bool CreateFolderWithParents(const std::string& path)
{
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') {
            std::string prefix = path.substr(0, pos);
            if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
                return false;
            }
        }
    }
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace oslib
