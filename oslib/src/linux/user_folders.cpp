// The user's folders on Linux: the XDG base directories, and the move of an earlier
// install's files out of the ~/Library that it made.
#include "oslib/user_folders.h"

#include <cerrno>
#include <cstdio>

#include "oslib/configuration.h"
#include "oslib/log.h"
#include "oslib/replacement_file.h"

namespace oslib {

namespace {

std::string BaseOr(const std::string& configured, const char* inHome)
{
    return (configured.empty() ? HomeFolder() + inHome : configured) + "/Quenlar/";
}

// Where an earlier install kept each file, below the home, and the folder it goes to.
struct EarlierFile {
    const char* folder;
    const char* name;
    std::string (*destination)();
};
const EarlierFile kEarlierFiles[] = {
    {"Library/Quenlar", "firm_version_info.txt", ListFolder},
    {"Library/Quenlar", "tar_product_info.txt", ListFolder},
    {"Library/Quenlar", "FwUpInfoURL.txt", ListFolder},
    {"Library/Quenlar", "TarProductURL.txt", ListFolder},
    {"Library/Application Support/Quenlar", "Tidewell.log", SupportFolder},
    {"Library/Application Support/Quenlar", "firm_version_up.txt", SupportFolder},
    {"Library/Preferences", "com.quenlar.Fetchwick.plist", PreferencesFolder},
};
// The folders it made, deepest first, which go when they are left empty.
const char* const kEarlierFolders[] = {"Library/Quenlar", "Library/Application Support/Quenlar",
                                       "Library/Application Support", "Library/Preferences", "Library"};
const char* const kEarlierLockFolder = "Library/Application Support/Quenlar";
const char* const kLockName = "tidewelld.lock";

bool IsUsersRegularFile(int folder, const char* name)
{
    struct stat info {};
    return fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
           info.st_uid == geteuid();
}

// Another file system: a copy of the same mode and times, in place only where no file is.
bool CopyAcross(int from, int to, const char* name)
{
    struct stat info {};
    UniqueFd source(openat(from, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (source.get() < 0 || fstat(source.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
        return false;
    }
    std::unique_ptr<ReplacementFile> copy = ReplacementFile::Create(to, name, info.st_mode & 0777);
    std::string chunk(64 * 1024, '\0');
    ssize_t n = 0;
    while (copy && (n = read(source.get(), chunk.data(), chunk.size())) > 0) {
        if (!copy->Write(chunk.data(), static_cast<size_t>(n))) {
            return false;
        }
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    return copy && n == 0 && copy->SetTimes(times) &&
           copy->Commit(ReplacementFile::Existing::kKeep) == ReplacementFile::Outcome::kReplaced &&
           unlinkat(from, name, 0) == 0;
}

bool MoveOne(int from, int to, const char* name)
{
    if (!IsUsersRegularFile(from, name)) {
        return false;
    }
    if (renameat2(from, name, to, name, RENAME_NOREPLACE) == 0) {
        fsync(to);
        return true;
    }
    return errno == EXDEV && CopyAcross(from, to, name);
}

} // namespace

std::string HomeFolder() { return Configured().home; }

std::string ListFolder() { return BaseOr(Configured().dataHome, "/.local/share"); }

std::string SupportFolder() { return BaseOr(Configured().stateHome, "/.local/state"); }

std::string PreferencesFolder() { return BaseOr(Configured().configHome, "/.config"); }

void MoveEarlierInstall()
{
    const std::string home = HomeFolder();
    UniqueFd homeFolder(open(home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (homeFolder.get() < 0) {
        return;
    }
    auto earlier = [&](const std::string& below) { return OpenPrivateFolder(homeFolder.get(), home, below, false); };
    std::string moved;
    for (const EarlierFile& file : kEarlierFiles) {
        FilePlace to = PlaceOf(file.destination() + file.name);
        UniqueFd from = earlier(file.folder);
        if (to.kind == FilePlace::Kind::kTrusted && from.get() >= 0 && MoveOne(from.get(), to.folder, file.name)) {
            moved += (moved.empty() ? "" : ", ") + std::string(file.name);
        }
    }
    if (!moved.empty()) {
        TW_LOG(3, "Files of an earlier install moved out of %s/Library: %s\n", home.c_str(), moved.c_str());
    }
    // Its lock is no agent's any more, and would keep its folder.
    UniqueFd lockFolder = earlier(kEarlierLockFolder);
    if (lockFolder.get() >= 0 && IsUsersRegularFile(lockFolder.get(), kLockName)) {
        unlinkat(lockFolder.get(), kLockName, 0);
    }
    for (const std::string folder : kEarlierFolders) {
        size_t slash = folder.rfind('/');
        UniqueFd parent = earlier(slash == std::string::npos ? "" : folder.substr(0, slash));
        if (parent.get() >= 0 && earlier(folder).get() >= 0) {
            unlinkat(parent.get(), folder.substr(slash + 1).c_str(), AT_REMOVEDIR);
        }
    }
}

} // namespace oslib
