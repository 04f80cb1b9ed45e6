// The agent's children, started as oslib/spawn.h starts every child: with an empty signal
// mask, default signal actions and descriptors 0 to 2 only.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

// Starts `path` with `args` (argv[1..]) and lets go of it: standard input is inherited,
// standard output and error go to /dev/null. The child is remembered so that
// ReapDetachedChildren can collect it. Returns false (errno set) when it could not start.
bool SpawnDetached(const std::string& path, const std::vector<std::string>& args);

// Collects every detached child that has ended; never blocks. Thread-safe.
void ReapDetachedChildren();

} // namespace platform
