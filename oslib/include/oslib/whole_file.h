// Files: whole files read into memory, and ownership of a stdio stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace oslib {

// The bytes of the regular file at `path`; false when it is missing or unreadable, is no
// regular file (a folder or a pipe in a file's place must neither throw nor block) or is
// larger than `maxBytes`.
bool ReadRegularFile(const std::string& path, std::string& contents, size_t maxBytes = SIZE_MAX);

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

} // namespace oslib
