// A file written beside its destination and renamed over it only once complete and on
// disk, so that a reader of the destination sees the old contents or all of the new ones.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <sys/types.h>

#include "oslib/descriptors.h"

namespace oslib {

class ReplacementFile {
public:
    // An empty file named `destination` plus a unique suffix, created with `mode` as
    // open(2) takes it (the umask narrows it); null when it cannot be created, leaving
    // nothing behind.
    static std::unique_ptr<ReplacementFile> Create(const std::string& destination, mode_t mode);

    // Removes the file unless Commit renamed it.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Unbuffered, so that a failure shows at the write that caused it.
    bool Write(const char* data, size_t size);

    enum class Outcome {
        kReplaced,
        kNotSynced,   // the data may not be on disk; the destination is untouched
        kNotRenamed,  // the destination could not be replaced
    };
    // Syncs and closes the file and renames it over the destination. Call once.
    Outcome Commit();

private:
    explicit ReplacementFile(const std::string& destination);

    std::string path_;
    std::string destination_;
    UniqueFd fd_;
    bool created_ = false;  // path_ names a file of this object's own, not yet renamed
};

} // namespace oslib
