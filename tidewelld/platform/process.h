// The agent's children, started as oslib/spawn.h starts every child: with an empty signal
// mask, default signal actions and descriptors 0 to 2 only.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {

// Starts programs and lets go of them. Thread-safe: both of the agent's threads launch.
class Launcher {
public:
    virtual ~Launcher() = default;
    // Starts `path` with `args` (argv[1..]) and lets go of it: standard input is inherited,
    // standard output and error go to /dev/null. The child is remembered so that
    // ReapDetachedChildren can collect it. Returns false (errno set) when it could not start.
    virtual bool SpawnDetached(const std::string& path, const std::vector<std::string>& args) = 0;
    // Collects every detached child that has ended; never blocks.
    virtual void ReapDetachedChildren() = 0;
};

// The system's launcher.
std::unique_ptr<Launcher> MakeSystemLauncher();

} // namespace platform
