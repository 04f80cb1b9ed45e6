#include "oslib/spawn.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace oslib {

namespace {

class SpawnSetup {
public:
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
        sigset_t signals;
        sigemptyset(&signals);
        posix_spawnattr_setsigmask(&attributes, &signals);
        sigfillset(&signals);
        posix_spawnattr_setsigdefault(&attributes, &signals);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // The descriptor `target` of the child as asked; `pipeEnd` is the write end of the pipe.
    void Direct(int target, ChildStream stream, int pipeEnd)
    {
        if (stream == ChildStream::kDiscarded) {
            posix_spawn_file_actions_addopen(&actions, target, "/dev/null", O_WRONLY, 0);
        } else if (stream == ChildStream::kPiped) {
            posix_spawn_file_actions_adddup2(&actions, pipeEnd, target);
        }
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

} // namespace

int Spawn(const std::vector<std::string>& argv, ChildStream out, ChildStream err, Child& child)
{
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    UniqueFd readEnd;
    UniqueFd writeEnd;
    if (out == ChildStream::kPiped || err == ChildStream::kPiped) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            return errno;
        }
        readEnd.reset(ends[0]);
        writeEnd.reset(ends[1]);
    }
    SpawnSetup setup;
    setup.Direct(STDOUT_FILENO, out, writeEnd.get());
    setup.Direct(STDERR_FILENO, err, writeEnd.get());
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &setup.actions, &setup.attributes, args.data(), environ);
    if (rc == 0) {
        child.pid = pid;
        child.pipe = std::move(readEnd);
    }
    return rc;
}

int WaitForChild(pid_t pid, int& status)
{
    int ended = 0;
    while (waitpid(pid, &ended, 0) < 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    status = ended;
    return 0;
}

} // namespace oslib
