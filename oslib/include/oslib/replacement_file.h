// A file written aside and put in its destination's place only once complete and on disk,
// so that a reader of the destination sees the old contents or all of the new ones, and a
// writer killed halfway leaves nothing behind.
#pragma once

#include <cstddef>
#include <ctime>
#include <memory>
#include <string>
#include <sys/types.h>

#include "oslib/descriptors.h"

namespace oslib {

class ReplacementFile {
public:
    // An empty file for `destination`, created with `mode` as open(2) takes it (the umask
    // narrows it): without a name where the file system can make one (O_TMPFILE), else
    // named beside the destination as RemoveStaleReplacements knows it. Inside a folder of
    // the user's (UserFolders) it is made through the folder's descriptor, and not at all in
    // a refused one. Null when it cannot be created, leaving nothing behind.
    static std::unique_ptr<ReplacementFile> Create(const std::string& destination, mode_t mode);
    // The same for `name` in the open folder `folder`.
    static std::unique_ptr<ReplacementFile> Create(int folder, const std::string& name, mode_t mode);

    // Removes the file unless Commit put it in place.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Unbuffered, so that a failure shows at the write that caused it.
    bool Write(const char* data, size_t size);
    // Access and modification times, as futimens(2) takes them.
    bool SetTimes(const struct timespec (&times)[2]);

    enum class Existing {
        kReplace,  // the new file takes the place of the destination
        kKeep,     // a destination that exists stays, and the new file is not put in place
    };
    enum class Outcome {
        kReplaced,
        kNotSynced,   // the data may not be on disk; the destination is untouched
        kNotRenamed,  // the destination could not be replaced (or, kKeep, exists)
    };
    // Syncs the file, puts it in the destination's place and syncs the folder. Call once.
    Outcome Commit(Existing existing = Existing::kReplace);

private:
    ReplacementFile(UniqueFd folder, const std::string& name);
    // Links the unnamed file in as `target`.
    bool LinkAs(const std::string& target) const;

    UniqueFd folder_;
    std::string name_;       // the destination's, in folder_
    std::string temporary_;  // the file's name in folder_ while it has one of its own
    UniqueFd fd_;
};

// Removes from `folder` the named files of replacement files whose writer has ended.
void RemoveStaleReplacements(int folder);

} // namespace oslib
