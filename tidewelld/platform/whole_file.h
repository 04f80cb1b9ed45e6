// Whole files read into memory.
#pragma once

#include <string>

namespace platform {

// The bytes of the regular file at `path`; false when it is missing or unreadable, or is
// no regular file: a folder or a pipe in a file's place must neither throw nor block.
bool ReadRegularFile(const std::string& path, std::string& contents);

} // namespace platform
