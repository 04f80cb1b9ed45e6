// The one removal that runs as root, through pkexec: the downloader's bundle in the
// applications folder fixed at build time, then its parents where they are left empty.
// It takes no argument and reads no environment, so that nothing the caller chose names
// what root removes. It acts only when every folder from / down to the bundle is root's
// and writable by no one else, and walks that chain by descriptors without following a
// symlink, so that no one can swap a folder between the check and the removal. Inside the
// bundle it descends only into folders of the same kind that lie on the bundle's own device
// and mount, and it looks at all of them before it removes anything: a folder that another
// user could fill, or a mount point or bind mount that leads elsewhere, is refused.
//
// Exit status 0: removed, or nothing there; 25: refused or failed (pkexec keeps 126 and
// 127 for itself).
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "oslib/descriptors.h"

using oslib::UniqueFd;

namespace {

constexpr const char kApplications[] = TIDEWELL_APPLICATIONS_DIR;
static_assert(kApplications[0] == '/', "the applications folder must be an absolute path");

constexpr int kDone = 0;
constexpr int kNotRemoved = 25;

enum class Step { kOpened, kMissing, kRefused };

// Where a folder lies.
struct Place {
    unsigned deviceMajor = 0, deviceMinor = 0;
    uint64_t mount = 0;
    bool operator!=(const Place& other) const
    {
        return deviceMajor != other.deviceMajor || deviceMinor != other.deviceMinor || mount != other.mount;
    }
};

int Refuse(const std::string& path, const char* why)
{
    std::fprintf(stderr, "remove-downloader: %s %s; nothing removed\n", path.c_str(), why);
    return kNotRemoved;
}

// Opens the folder `name` in `parent` (its path `path`) and checks that only root can
// change it. Below the bundle (`bundle` given) it must also lie where the bundle lies: a
// mount point, a bind mount or another file system there would take root elsewhere. A
// refusal has been reported.
Step OpenRootFolder(int parent, const std::string& name, const std::string& path, UniqueFd& folder, Place& place,
                    const Place* bundle = nullptr)
{
    folder.reset(openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.get() < 0) {
        if (errno == ENOENT) {
            return Step::kMissing;
        }
        Refuse(path, errno == ELOOP || errno == ENOTDIR ? "is a symbolic link or no folder" : std::strerror(errno));
        return Step::kRefused;
    }
    struct statx info;
    if (statx(folder.get(), "", AT_EMPTY_PATH, STATX_TYPE | STATX_MODE | STATX_UID | STATX_MNT_ID, &info) != 0 ||
        (info.stx_mask & STATX_MNT_ID) == 0) {
        Refuse(path, "cannot be told apart from a mount of its own");
        return Step::kRefused;
    }
    place = {info.stx_dev_major, info.stx_dev_minor, info.stx_mnt_id};
    const char* why = info.stx_uid != 0                           ? "does not belong to root"
                      : (info.stx_mode & (S_IWGRP | S_IWOTH)) != 0 ? "is writable by group or others"
                      : bundle != nullptr && place != *bundle      ? "lies on another device or mount than the bundle"
                                                                   : nullptr;
    if (why != nullptr) {
        Refuse(path, why);
        return Step::kRefused;
    }
    return Step::kOpened;
}

// Walks everything in the opened folder `folder` (its path `path`), each entry relative to
// its folder's descriptor, and with `remove` removes it. False when a folder was refused (as
// reported) or, with `remove`, something stayed.
bool Walk(int folder, const std::string& path, const Place& bundle, bool remove)
{
    // The listing takes a copy of the descriptor for its own.
    UniqueFd copy(dup(folder));
    oslib::UniqueFolder listing(copy.get() >= 0 ? fdopendir(copy.get()) : nullptr);
    if (listing == nullptr) {
        Refuse(path, "cannot be listed");
        return false;
    }
    copy.release();
    // The copy shares its position with the folder's descriptor: an earlier walk read to the end.
    rewinddir(listing.get());
    std::vector<std::string> names;
    while (const dirent* entry = readdir(listing.get())) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    listing.reset();
    bool whole = true;
    for (const std::string& name : names) {
        // unlinkat never follows a symlink; a folder answers EISDIR.
        struct stat entry;
        if (remove ? unlinkat(folder, name.c_str(), 0) == 0
                   : fstatat(folder, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(entry.st_mode)) {
            continue;
        }
        if (remove && errno != EISDIR) {
            whole = false;
            continue;
        }
        UniqueFd child;
        Place place;
        const std::string childPath = path + "/" + name;
        Step step = OpenRootFolder(folder, name, childPath, child, place, &bundle);
        if (step == Step::kRefused) {
            return false;
        }
        whole = (step == Step::kMissing || (Walk(child.get(), childPath, bundle, remove) &&
                                            (!remove || unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0))) &&
                whole;
    }
    return whole;
}

// The path's components; "." and ".." would make the chain say less than it seems.
bool Components(const std::string& path, std::vector<std::string>& components)
{
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('/', start);
        end = end == std::string::npos ? path.size() : end;
        std::string name = path.substr(start, end - start);
        if (name == "." || name == "..") {
            return false;
        }
        if (!name.empty()) {
            components.push_back(name);
        }
        start = end + 1;
    }
    return true;
}

} // namespace

int main(int argc, char**)
{
    if (argc > 1) {
        return Refuse("the caller's argument", "is not taken");
    }
    std::vector<std::string> chain;
    if (!Components(kApplications, chain)) {
        return Refuse(kApplications, "holds . or ..");
    }
    const size_t applications = chain.size();
    chain.insert(chain.end(), {"Quenlar", "Tidewell", "Fetchwick.app"});

    // folders[i] is the opened folder of chain[i - 1]; folders[0] is /.
    std::vector<UniqueFd> folders(chain.size() + 1);
    Place place;  // of the last folder opened
    if (OpenRootFolder(AT_FDCWD, "/", "/", folders[0], place) != Step::kOpened) {
        return kNotRemoved;
    }
    std::string path;
    size_t opened = 1;  // the first folder not opened: missing, or past the bundle
    for (; opened <= chain.size(); ++opened) {
        path += "/" + chain[opened - 1];
        Step step = OpenRootFolder(folders[opened - 1].get(), chain[opened - 1], path, folders[opened], place);
        if (step == Step::kRefused) {
            return kNotRemoved;
        }
        if (step == Step::kMissing) {
            break;
        }
    }

    int status = kDone;
    const size_t bundle = chain.size();
    if (opened > bundle) {
        // Everything is looked at before anything goes; only root can change it in between.
        if (!Walk(folders[bundle].get(), path, place, false)) {
            return kNotRemoved;
        }
        if (!Walk(folders[bundle].get(), path, place, true) ||
            unlinkat(folders[bundle - 1].get(), chain.back().c_str(), AT_REMOVEDIR) != 0) {
            std::fprintf(stderr, "remove-downloader: %s could not be removed entirely\n", path.c_str());
            status = kNotRemoved;
        }
    }
    // Then "Tidewell" and "Quenlar", each where it was there and is empty now.
    for (size_t folder = bundle - 1; folder > applications; --folder) {
        if (folder < opened) {
            unlinkat(folders[folder - 1].get(), chain[folder - 1].c_str(), AT_REMOVEDIR);
        }
    }
    return status;
}
