#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "unique_fd.h"

extern char** environ;

namespace uninstaller {

namespace {

// Everything up to the end of the pipe's input; nullopt on a read error.
std::optional<std::string> ReadToEnd(int fd)
{
    std::string data;
    char buffer[8192];
    for (;;) {
        ssize_t count = read(fd, buffer, sizeof buffer);
        if (count == 0) {
            return data;
        }
        if (count < 0 && errno != EINTR) {
            return std::nullopt;
        }
        if (count > 0) {
            data.append(buffer, static_cast<size_t>(count));
        }
    }
}

class SpawnSetup {
public:
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

} // namespace

ChildResult RunChild(const std::vector<std::string>& argv, Captured captured)
{
    ChildResult result;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return result;
    }
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);

    SpawnSetup setup;
    int target = captured == Captured::kStdout ? STDOUT_FILENO : STDERR_FILENO;
    posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.get(), target);
    // Nothing but 0 to 2 crosses, whatever a library left without close-on-exec.
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&setup.attributes, &signals);
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&setup.attributes, &signals);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &setup.actions, &setup.attributes, args.data(), environ) != 0) {
        return result;
    }
    result.started = true;
    writeEnd.reset();

    result.output = ReadToEnd(readEnd.get()).value_or("");
    readEnd.reset();
    while (waitpid(pid, &result.status, 0) < 0 && errno == EINTR) {
    }
    return result;
}

std::string ChildFailure(const ChildResult& child, const std::string& program)
{
    if (!child.started) {
        return "Cannot start " + program;
    }
    if (WIFSIGNALED(child.status)) {
        return "killed by signal " + std::to_string(WTERMSIG(child.status));
    }
    if (WEXITSTATUS(child.status) != 0) {
        return "exit status " + std::to_string(WEXITSTATUS(child.status));
    }
    return "";
}

} // namespace uninstaller
