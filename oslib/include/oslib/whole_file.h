// Files: whole files read into memory, and ownership of a stdio stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace oslib {

// The most a list may hold, downloaded or read: 4 MiB. No file of either program is larger,
// so it is also what a read takes at most unless its caller says less.
constexpr size_t kListCap = 4 * 1024 * 1024;

// The bytes of the regular file at `path` (opened as OpenRegularFile opens it); false when it
// is missing, unreadable, larger than `cap` or no regular file: a folder or a pipe in a file's
// place must neither throw nor block, and a huge file must not fill the memory.
bool ReadRegularFile(const std::string& path, std::string& contents, size_t cap = kListCap);

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

} // namespace oslib
