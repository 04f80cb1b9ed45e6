// The user's folders, and the three that hold Tidewell's own files. The platform maps them:
// macOS keeps them in the user's Library folder (Library/Quenlar, Library/Application
// Support/Quenlar, Library/Preferences); here they are a folder "Quenlar" in each of the XDG
// base directories for data, state and configuration.
#pragma once

#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>

#include "oslib/descriptors.h"

namespace oslib {

// The configured home (Configuration::home).
std::string HomeFolder();

// Each ends in "/".
std::string ListFolder();         // the downloaded lists and their override files
std::string SupportFolder();      // the log, the agent's lock and the hand-off file
std::string PreferencesFolder();  // the downloader's preferences

// The three folders, opened once from the home down, one descriptor relative to the one
// before (never through a symlink): every folder below the home, or below an XDG base
// directory outside it, must be the user's and writable by nobody else; a missing one is
// created private (0700). While an instance lives, the file functions of this layer
// (ReadRegularFile, ReplacementFile, the property-list files, the log, OpenRegularFile)
// reach a file directly inside one of the folders through the folder's descriptor, so
// that a folder renamed later cannot redirect them, and take only regular files of the
// user there. Nothing in a folder that failed is read or written. Each refusal is said once
// on the system log, with the path and why.
class UserFolders {
public:
    // Opens the three folders and puts them in use: one instance at a time, made and ended
    // while no second thread runs. Without `create`, for a program that only reads, a
    // missing folder stays missing and holds no file.
    explicit UserFolders(bool create = true);
    ~UserFolders();  // their paths are plain paths again
    UserFolders(const UserFolders&) = delete;
    UserFolders& operator=(const UserFolders&) = delete;

    // Removes what a killed run left in the folders: temporaries of replacement files.
    void RemoveStaleTemporaries() const;

private:
    struct Folders;
    std::unique_ptr<Folders> folders_;
};

// Where a path lies for the file functions of this layer.
struct FilePlace {
    enum class Kind {
        kElsewhere,  // outside the folders in use: the path as it stands
        kTrusted,    // directly inside a folder in use
        kRefused,    // inside a folder that failed: never touched
    };
    Kind kind = Kind::kElsewhere;
    int folder = AT_FDCWD;  // kTrusted: the folder's descriptor, owned by the folders in use
    std::string name;       // relative to `folder`
};
FilePlace PlaceOf(const std::string& path);

// open(2) of the regular file at `path` as PlaceOf places it, with O_NONBLOCK and O_CLOEXEC
// (a FIFO must not block the opener), and `info` its status. In a folder in use the file is
// opened without following a symlink and must be the user's, with a single link when
// `singleLink` (a second one may be another user's way in); a refused file is said once on
// the system log. Closed on any failure, with errno set (EPERM for a refusal).
UniqueFd OpenRegularFile(const std::string& path, int flags, struct stat& info, mode_t mode = 0,
                         bool singleLink = false);

// Opens the folder `below` (a relative path) in the open folder `from`, whose path is
// `fromPath`, one folder at a time and never through a symlink; each must be the user's and
// writable by nobody else. With `create`, a missing one is made private (0700). -1 on
// failure; a refusal, or with `create` any failure, is said once on the system log.
UniqueFd OpenPrivateFolder(int from, const std::string& fromPath, const std::string& below, bool create);

// Moves, once, each file that an earlier install kept where macOS keeps it (in ~/Library)
// and that its new place lacks: renamed, or across file systems copied with its mode and
// times, synced and then removed. A file in both places stays in both. Then the old folders
// go where they are left empty. Only regular files of the user, in folders of the user that
// nobody else may write, are touched, and no symlink is followed. One log line names the
// files moved. Needs the folders in use.
void MoveEarlierInstall();

bool PathExists(const std::string& path);

} // namespace oslib
