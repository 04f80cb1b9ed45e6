// The folders of Tidewell's own files in use, and the files reached through them.
#include "oslib/user_folders.h"

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <set>
#include <vector>

#include "oslib/mutex.h"
#include "oslib/replacement_file.h"
#include "oslib/system_log.h"

namespace oslib {

namespace {

struct Folder {
    std::string path;  // ends in "/"
    UniqueFd fd;       // -1: refused
};

// Set by the one UserFolders alive; read by both threads of the agent.
const std::vector<Folder>* inUse = nullptr;

// Says a refusal on the system log, once per path and process.
void SayOnce(const std::string& path, const std::string& why)
{
    static Mutex saying;
    static std::set<std::string> said GUARDED_BY(saying);
    MutexLock guard(saying);
    if (said.insert(path).second) {
        SystemLog("%s: %s; not used", path.c_str(), why.c_str());
    }
}

// Whether `group` is the user's private group: their primary group, named as they are, with
// no other member. Under that convention (user private groups) the default umask is 002, so
// folders that the user's programs make may well be group-writable, and still no one else's.
bool IsPrivateGroup(gid_t group)
{
    static const gid_t privateGroup = [] {
        struct passwd user {};
        struct passwd* foundUser = nullptr;
        struct group entry {};
        struct group* foundGroup = nullptr;
        char users[4096];
        char groups[4096];
        if (getpwuid_r(geteuid(), &user, users, sizeof users, &foundUser) != 0 || foundUser == nullptr ||
            getgrgid_r(user.pw_gid, &entry, groups, sizeof groups, &foundGroup) != 0 || foundGroup == nullptr ||
            std::strcmp(entry.gr_name, user.pw_name) != 0) {
            return static_cast<gid_t>(-1);
        }
        for (char** member = entry.gr_mem; *member != nullptr; ++member) {
            if (std::strcmp(*member, user.pw_name) != 0) {
                return static_cast<gid_t>(-1);
            }
        }
        return user.pw_gid;
    }();
    return group == privateGroup;
}

// Why a folder or file of the user's own may not be used; empty when it may.
std::string Untrusted(const struct stat& info, bool folder, bool singleLink)
{
    if (folder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode)) {
        return folder ? "not a folder" : "not a regular file";
    }
    if (info.st_uid != geteuid()) {
        return "belongs to uid " + std::to_string(info.st_uid) + ", not to this user";
    }
    if (folder && ((info.st_mode & S_IWOTH) != 0 || ((info.st_mode & S_IWGRP) != 0 && !IsPrivateGroup(info.st_gid)))) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        return std::string("others than its owner may write it (mode ") + mode + ")";
    }
    if (singleLink && info.st_nlink != 1) {
        return "has " + std::to_string(info.st_nlink) + " links";
    }
    return "";
}

// The folder that a walk starts from: the home when `path` lies in it, else the XDG base
// directory that holds the last folder of `path` (its parents are the user's choice).
std::string Anchor(const std::string& path)
{
    std::string home = HomeFolder();
    if (home != "/" && path.compare(0, home.size() + 1, home + "/") == 0) {
        return home;
    }
    size_t last = path.find_last_of('/', path.size() - 2);
    return last == 0 ? "/" : path.substr(0, last);
}

// Opens `path` (ending in "/") as UserFolders describes; -1 when it fails, said once.
UniqueFd OpenOwnFolder(const std::string& path, bool create)
{
    std::string anchor = Anchor(path);
    UniqueFd at(open(anchor.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (at.get() < 0 && errno == ENOENT && !create) {
        return UniqueFd();
    }
    if (at.get() < 0 && errno == ENOENT && anchor != HomeFolder()) {
        // An XDG base directory is made, private, when it is missing.
        for (size_t slash = 0; slash != std::string::npos;) {
            slash = anchor.find('/', slash + 1);
            mkdir(anchor.substr(0, slash).c_str(), 0700);
        }
        at.reset(open(anchor.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    if (at.get() < 0) {
        SayOnce(anchor, std::strerror(errno));
        return UniqueFd();
    }
    return OpenPrivateFolder(at.get(), anchor, path.substr(anchor.size() + 1), create);
}

} // namespace

UniqueFd OpenPrivateFolder(int from, const std::string& fromPath, const std::string& below, bool create)
{
    UniqueFd at(fcntl(from, F_DUPFD_CLOEXEC, 0));
    std::string reached = fromPath == "/" ? "" : fromPath;
    for (size_t start = 0; at.get() >= 0 && start < below.size();) {
        size_t end = std::min(below.find('/', start), below.size());
        std::string name = below.substr(start, end - start);
        start = end + 1;
        if (name.empty()) {
            continue;
        }
        reached += "/" + name;
        const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        UniqueFd next(openat(at.get(), name.c_str(), flags));
        if (next.get() < 0 && errno == ENOENT && create &&
            (mkdirat(at.get(), name.c_str(), 0700) == 0 || errno == EEXIST)) {
            next.reset(openat(at.get(), name.c_str(), flags));
        }
        struct stat info {};
        if (next.get() < 0) {
            const int error = errno;
            if (error == ENOTDIR || error == ELOOP) {
                bool link = fstatat(at.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
                SayOnce(reached, link ? "a symlink" : "not a folder");
            } else if (error != ENOENT || create) {
                SayOnce(reached, std::strerror(error));
            }
        } else if (fstat(next.get(), &info) != 0) {
            next.reset();
        } else if (std::string why = Untrusted(info, true, false); !why.empty()) {
            SayOnce(reached, why);
            next.reset();
        }
        at = std::move(next);
    }
    return at;
}

struct UserFolders::Folders {
    std::vector<Folder> list;
};

UserFolders::UserFolders(bool create) : folders_(new Folders)
{
    for (const std::string& path : {ListFolder(), SupportFolder(), PreferencesFolder()}) {
        folders_->list.push_back({path, OpenOwnFolder(path, create)});
    }
    inUse = &folders_->list;
}

UserFolders::~UserFolders()
{
    if (inUse == &folders_->list) {
        inUse = nullptr;
    }
}

void UserFolders::RemoveStaleTemporaries() const
{
    for (const Folder& folder : folders_->list) {
        if (folder.fd.get() >= 0) {
            RemoveStaleReplacements(folder.fd.get());
        }
    }
}

FilePlace PlaceOf(const std::string& path)
{
    if (inUse == nullptr) {
        return {FilePlace::Kind::kElsewhere, AT_FDCWD, path};
    }
    for (const Folder& folder : *inUse) {
        if (path.size() > folder.path.size() && path.compare(0, folder.path.size(), folder.path) == 0 &&
            path.find('/', folder.path.size()) == std::string::npos) {
            std::string name = path.substr(folder.path.size());
            if (folder.fd.get() < 0 || name == "." || name == "..") {
                return {FilePlace::Kind::kRefused, -1, name};
            }
            return {FilePlace::Kind::kTrusted, folder.fd.get(), name};
        }
    }
    return {FilePlace::Kind::kElsewhere, AT_FDCWD, path};
}

UniqueFd OpenRegularFile(const std::string& path, int flags, struct stat& info, mode_t mode, bool singleLink)
{
    FilePlace place = PlaceOf(path);
    if (place.kind == FilePlace::Kind::kRefused) {
        errno = EPERM;
        return UniqueFd();
    }
    const bool trusted = place.kind == FilePlace::Kind::kTrusted;
    UniqueFd file(openat(place.folder, place.name.c_str(),
                         flags | O_NONBLOCK | O_CLOEXEC | (trusted ? O_NOFOLLOW : 0), mode));
    if (file.get() < 0) {
        if (trusted && errno == ELOOP) {
            SayOnce(path, "a symlink");
        }
        return file;
    }
    if (fstat(file.get(), &info) != 0) {
        return UniqueFd();
    }
    std::string why = trusted ? Untrusted(info, false, singleLink) : S_ISREG(info.st_mode) ? "" : "not a regular file";
    if (!why.empty()) {
        if (trusted) {
            SayOnce(path, why);
        }
        errno = EPERM;
        return UniqueFd();
    }
    return file;
}

bool PathExists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

} // namespace oslib
