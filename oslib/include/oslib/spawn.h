// Child processes. Every child starts with an empty signal mask and every signal at its
// default action (the agent blocks its signals for sigwait and ignores SIGPIPE, and both
// survive exec), and with descriptors 0 to 2 only, whatever this process or a library left
// open without close-on-exec.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#include "oslib/descriptors.h"

namespace oslib {

// Where a child's standard output or error goes: this process's own, /dev/null, or a pipe
// whose read end the caller gets.
enum class ChildStream { kInherited, kDiscarded, kPiped };

struct Child {
    pid_t pid = -1;
    UniqueFd pipe;  // the read end of the stream asked for as kPiped
};

// Starts argv[0], a path or a name looked up in PATH, with standard input inherited and
// standard output and error as asked (at most one of them kPiped). Returns 0, or the error
// that kept the child from starting. The child is the caller's to wait for (WaitForChild)
// or to reap; nothing else collects it, and one never collected stays a zombie.
int Spawn(const std::vector<std::string>& argv, ChildStream out, ChildStream err, Child& child);

// Waits, through interruptions, for the child to end: 0 with its wait status in `status`, or
// the error of the wait, which leaves `status` alone. ECHILD where SIGCHLD is ignored (a
// setting that survives exec): the system reaped the child and kept no status. A status is
// never made up for a wait that failed.
[[nodiscard]] int WaitForChild(pid_t pid, int& status);

} // namespace oslib
