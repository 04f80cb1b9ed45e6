#include "../process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

std::mutex detachedLock;
std::vector<pid_t> detachedChildren;

// Attributes that give the child an empty signal mask and default dispositions.
struct SpawnAttributes {
    posix_spawnattr_t attr;
    SpawnAttributes()
    {
        posix_spawnattr_init(&attr);
        sigset_t empty;
        sigemptyset(&empty);
        posix_spawnattr_setsigmask(&attr, &empty);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int sig : {SIGHUP, SIGINT, SIGALRM, SIGTERM, SIGPIPE}) {
            sigaddset(&defaults, sig);
        }
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attr); }
};

struct FileActions {
    posix_spawn_file_actions_t actions;
    FileActions() { posix_spawn_file_actions_init(&actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
};

// posix_spawn's argv: `path`, then `args`; it points into both, which must outlive it.
std::vector<char*> ArgumentVector(const std::string& path, const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

// Starts argv[0] after the given file actions, with descriptors 0 to 2 only: whatever the
// agent or a library left without close-on-exec stays behind. Returns posix_spawn's
// result. Throws nothing, so that a caller's open descriptors need no guard.
int Spawn(pid_t& pid, std::vector<char*>& argv, FileActions& files) noexcept
{
    posix_spawn_file_actions_addclosefrom_np(&files.actions, STDERR_FILENO + 1);
    SpawnAttributes attributes;
    return posix_spawn(&pid, argv[0], &files.actions, &attributes.attr, argv.data(), environ);
}

} // namespace

bool SpawnDetached(const std::string& path, const std::vector<std::string>& args)
{
    FileActions files;
    posix_spawn_file_actions_addopen(&files.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    std::vector<char*> argv = ArgumentVector(path, args);
    std::lock_guard<std::mutex> guard(detachedLock);
    // Room first: a child that started must be remembered, or it is never reaped.
    detachedChildren.reserve(detachedChildren.size() + 1);
    pid_t pid = -1;
    int rc = Spawn(pid, argv, files);
    if (rc != 0) {
        errno = rc;
        return false;
    }
    detachedChildren.push_back(pid);
    return true;
}

void ReapDetachedChildren()
{
    std::lock_guard<std::mutex> guard(detachedLock);
    auto ended = [](pid_t pid) {
        int status = 0;
        pid_t rc = waitpid(pid, &status, WNOHANG);
        return rc == pid || (rc < 0 && errno == ECHILD);
    };
    detachedChildren.erase(std::remove_if(detachedChildren.begin(), detachedChildren.end(), ended),
                           detachedChildren.end());
}

ShellPipe::ShellPipe(const std::string& command)
{
    // Everything that may throw comes before the pipe exists.
    const std::string shell = "/bin/sh";
    const std::vector<std::string> args = {"-c", command};
    std::vector<char*> argv = ArgumentVector(shell, args);
    FileActions files;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return;
    }
    int rc = posix_spawn_file_actions_adddup2(&files.actions, fds[1], STDOUT_FILENO);
    if (rc == 0) {
        rc = Spawn(pid_, argv, files);
    }
    ::close(fds[1]);
    if (rc != 0) {
        pid_ = -1;
        ::close(fds[0]);
        return;
    }
    stream_ = fdopen(fds[0], "r");
    if (stream_ == nullptr) {
        ::close(fds[0]);
    }
}

ShellPipe::~ShellPipe() { close(); }

int ShellPipe::close()
{
    if (stream_ != nullptr) {
        fclose(stream_);
        stream_ = nullptr;
    }
    if (pid_ < 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
}

} // namespace platform
