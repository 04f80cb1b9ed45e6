#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/process.h"
#include "test_home.h"

namespace {

// Blocks the agent's signals for the length of a test, as the agent does for its life.
class BlockedSignals {
public:
    BlockedSignals()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int sig : {SIGHUP, SIGINT, SIGALRM, SIGTERM}) {
            sigaddset(&set, sig);
        }
        pthread_sigmask(SIG_BLOCK, &set, &saved_);
    }
    ~BlockedSignals() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

private:
    sigset_t saved_;
};

std::string FirstLine(const std::string& command)
{
    platform::ShellPipe pipe(command);
    char line[512] = {};
    if (pipe.stream() == nullptr || fgets(line, sizeof line, pipe.stream()) == nullptr) {
        return std::string();
    }
    return line;
}

int CountChildren(const char* state)
{
    int count = 0;
    std::string self = std::to_string(getpid());
    DIR* proc = opendir("/proc");
    while (dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') {
            continue;
        }
        std::string stat = ReadFileText(std::string("/proc/") + entry->d_name + "/stat");
        size_t close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        // "pid (comm) S ppid ..."
        std::string rest = stat.substr(close + 2);
        char s = rest[0];
        std::string ppid = rest.substr(2, rest.find(' ', 2) - 2);
        if (ppid == self && std::strchr(state, s) != nullptr) {
            ++count;
        }
    }
    closedir(proc);
    return count;
}

TEST(ShellPipeTest, ChildStartsWithAnEmptySignalMask)
{
    BlockedSignals blocked;
    EXPECT_EQ("SigBlk:\t0000000000000000\n", FirstLine("grep SigBlk /proc/self/status"));
}

TEST(SpawnDetachedTest, ChildGetsItsArgumentsAndEmptyMaskAndIsReaped)
{
    BlockedSignals blocked;
    TempDir dir;
    std::string out = dir.path() + "/out";
    std::string script = dir.path() + "/child.sh";
    WriteFileText(script, "#!/bin/sh\nprintf '[%s][%s]\\n' \"$1\" \"$2\" > \"$3\"\ngrep SigBlk /proc/self/status >> \"$3\"\n"
                          "echo noise; echo more noise >&2\n");
    chmod(script.c_str(), 0755);

    // A descriptor of the agent's without close-on-exec must not reach the child either.
    int leaked = open("/dev/null", O_RDONLY);
    ASSERT_TRUE(platform::SpawnDetached(script, {"-f ", "/some path/file.txt", out}));
    // The listing's own descriptor is 3.
    ASSERT_TRUE(platform::SpawnDetached("/usr/bin/python3", {"-c", "import os; fds = sorted(os.listdir('/proc/self/fd')); "
                                                                   "open('" + out + ".fds', 'w').write(' '.join(fds) + '\\n\\n')"}));
    close(leaked);
    ASSERT_TRUE(WaitUntil([&] { return ReadFileText(out).find("SigBlk") != std::string::npos &&
                                       ReadFileText(out + ".fds").find("\n\n") != std::string::npos; },
                          std::chrono::seconds(10)));
    EXPECT_EQ("[-f ][/some path/file.txt]\nSigBlk:\t0000000000000000\n", ReadFileText(out));
    EXPECT_EQ("0 1 2 3\n\n", ReadFileText(out + ".fds"));
}

TEST(SpawnDetachedTest, MissingOrNonExecutableFileIsReported)
{
    TempDir dir;
    EXPECT_FALSE(platform::SpawnDetached(dir.path() + "/missing", {}));
    std::string plain = dir.path() + "/plain";
    WriteFileText(plain, "#!/bin/sh\n");
    chmod(plain.c_str(), 0644);
    EXPECT_FALSE(platform::SpawnDetached(plain, {}));
}

TEST(SpawnDetachedTest, ManyLaunchesLeaveNoZombieAndNoDescriptor)
{
    auto openDescriptors = [] {
        int count = 0;
        DIR* fds = opendir("/proc/self/fd");
        while (readdir(fds) != nullptr) {
            ++count;
        }
        closedir(fds);
        return count;
    };
    int before = openDescriptors();
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(platform::SpawnDetached("/bin/true", {}));
    }
    WaitUntil(
        [] {
            platform::ReapDetachedChildren();
            return CountChildren("RSDZ") == 0;
        },
        std::chrono::seconds(10));
    EXPECT_EQ(0, CountChildren("RSDZ"));
    EXPECT_EQ(before, openDescriptors());
}

} // namespace
