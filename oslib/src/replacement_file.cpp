#include "oslib/replacement_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

#include "oslib/user_folders.h"

namespace oslib {

namespace {

// ".<destination>.tidewell-tmp.<pid>.<serial>": hidden, and the writer's process id tells
// whether it may still be at work.
constexpr char kMark[] = ".tidewell-tmp.";

std::string TemporaryName(const std::string& destination)
{
    static std::atomic<unsigned> serial{0};
    return "." + destination + kMark + std::to_string(getpid()) + "." + std::to_string(serial++);
}

// The writer's process id of a temporary name; 0 for any other name.
pid_t WriterOf(const std::string& name)
{
    const size_t mark = name.rfind(kMark);
    const size_t digits = mark + sizeof kMark - 1;
    long pid = 0;
    unsigned serial = 0;
    int end = 0;
    if (name[0] != '.' || mark == std::string::npos ||
        std::sscanf(name.c_str() + digits, "%ld.%u%n", &pid, &serial, &end) != 2 ||
        digits + static_cast<size_t>(end) != name.size()) {
        return 0;
    }
    return static_cast<pid_t>(pid);
}

} // namespace

std::unique_ptr<ReplacementFile> ReplacementFile::Create(const std::string& destination, mode_t mode)
{
    FilePlace place = PlaceOf(destination);
    if (place.kind == FilePlace::Kind::kRefused) {
        errno = EPERM;
        return nullptr;
    }
    if (place.kind == FilePlace::Kind::kTrusted) {
        return Create(place.folder, place.name, mode);
    }
    size_t slash = destination.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : destination.substr(0, slash);
    UniqueFd opened(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return opened.get() < 0 ? nullptr : Create(opened.get(), destination.substr(slash + 1), mode);
}

std::unique_ptr<ReplacementFile> ReplacementFile::Create(int folder, const std::string& name, mode_t mode)
{
    // Allocated before the file is made: a failure to allocate leaves nothing behind.
    std::unique_ptr<ReplacementFile> file(new ReplacementFile(UniqueFd(fcntl(folder, F_DUPFD_CLOEXEC, 0)), name));
    if (file->folder_.get() < 0) {
        return nullptr;
    }
    file->fd_.reset(openat(file->folder_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    // Not every file system makes unnamed files. open(2) rather than mkstemp, so that the
    // umask narrows `mode` as for any new file; a name is taken only by a file of an earlier
    // process with the same id.
    for (int attempt = 0; attempt < 100 && file->fd_.get() < 0; ++attempt) {
        file->temporary_ = TemporaryName(name);
        file->fd_.reset(openat(file->folder_.get(), file->temporary_.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (file->fd_.get() < 0) {
            file->temporary_.clear();
            if (errno != EEXIST) {
                break;
            }
        }
    }
    return file->fd_.get() >= 0 ? std::move(file) : nullptr;
}

ReplacementFile::ReplacementFile(UniqueFd folder, const std::string& name) : folder_(std::move(folder)), name_(name) {}

ReplacementFile::~ReplacementFile()
{
    fd_.reset();
    if (!temporary_.empty()) {
        unlinkat(folder_.get(), temporary_.c_str(), 0);
    }
}

bool ReplacementFile::Write(const char* data, size_t size) { return WriteAll(fd_.get(), data, size); }

bool ReplacementFile::SetTimes(const struct timespec (&times)[2]) { return futimens(fd_.get(), times) == 0; }

bool ReplacementFile::LinkAs(const std::string& target) const
{
    std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
    return linkat(AT_FDCWD, self.c_str(), folder_.get(), target.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

ReplacementFile::Outcome ReplacementFile::Commit(Existing existing)
{
    if (fsync(fd_.get()) != 0) {
        return Outcome::kNotSynced;
    }
    bool placed = false;
    if (existing == Existing::kKeep) {
        // A link fails where a file is; a named temporary goes with this object.
        placed = temporary_.empty() ? LinkAs(name_)
                                    : linkat(folder_.get(), temporary_.c_str(), folder_.get(), name_.c_str(), 0) == 0;
    } else {
        // rename(2) alone replaces a file atomically, so an unnamed file gets a name first.
        for (int attempt = 0; attempt < 100 && temporary_.empty(); ++attempt) {
            std::string name = TemporaryName(name_);
            if (LinkAs(name)) {
                temporary_ = name;
            } else if (errno != EEXIST) {
                break;
            }
        }
        placed = !temporary_.empty() && renameat(folder_.get(), temporary_.c_str(), folder_.get(), name_.c_str()) == 0;
        if (placed) {
            temporary_.clear();
        }
    }
    fd_.reset();
    if (!placed) {
        return Outcome::kNotRenamed;
    }
    // The new name is on disk only once its folder is.
    fsync(folder_.get());
    return Outcome::kReplaced;
}

void RemoveStaleReplacements(int folder)
{
    UniqueFolder entries(fdopendir(openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
    while (struct dirent* entry = entries ? readdir(entries.get()) : nullptr) {
        pid_t writer = WriterOf(entry->d_name);
        struct stat info {};
        if (writer > 0 && writer != getpid() && kill(writer, 0) != 0 && errno == ESRCH &&
            fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == geteuid()) {
            unlinkat(folder, entry->d_name, 0);
        }
    }
}

} // namespace oslib
