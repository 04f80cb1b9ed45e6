// Sleeping stand-in processes that bring the machine up to a chosen process count, so
// that a process search has a desktop's worth of lines to read.
#pragma once

#include <sys/types.h>
#include <vector>

namespace bench {

// Processes now listed in /proc.
int CountProcesses();

// Starts sleepers until /proc lists `total` processes; each dies with the benchmark
// (parent-death signal), and all are killed and reaped when this is destroyed.
class StandIns {
public:
    explicit StandIns(int total);
    ~StandIns();
    StandIns(const StandIns&) = delete;
    StandIns& operator=(const StandIns&) = delete;

    int started() const { return static_cast<int>(pids_.size()); }

private:
    std::vector<pid_t> pids_;
};

} // namespace bench
