#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/process.h"
#include "test_home.h"

namespace {

bool PipeIgnored(const std::string& mask) { return std::stoull(mask, nullptr, 16) >> (SIGPIPE - 1) & 1; }

TEST(ChildProcess, StartsWithEmptyMaskDefaultDispositionsAndDescriptors0To2OnlyOrReportsLaunchError)
{
    // The agent's state, and more: every signal blocked, SIGPIPE ignored.
    sigset_t all, savedMask;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &savedMask);
    const sighandler_t savedPipe = signal(SIGPIPE, SIG_IGN);
    TempDir dir;
    const std::string script = dir.path() + "/child.sh", out = dir.path() + "/out";
    WriteFileText(script, "#!/bin/sh\n{ printf '[%s][%s]\\n' \"$1\" \"$2\"; grep SigBlk /proc/self/status; "
                          "ls /proc/self/fd | tr '\\n' ' '; sed -n 's/SigIgn:\\t//p' /proc/self/status; }"
                          " > \"$3.part\"\nmv \"$3.part\" \"$3\"\n");
    EXPECT_FALSE(platform::SpawnDetached(script, {}));  // not executable
    EXPECT_FALSE(platform::SpawnDetached(dir.path() + "/missing", {}));
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    // A descriptor the agent left without close-on-exec must not reach the child either.
    const int leaked = open("/dev/null", O_RDONLY);
    EXPECT_TRUE(platform::SpawnDetached(script, {"-f ", "/some path/file.txt", out}));
    close(leaked);
    EXPECT_TRUE(WaitUntil([&] { return !ReadFileText(out).empty(); }, std::chrono::seconds(10)));
    pthread_sigmask(SIG_SETMASK, &savedMask, nullptr);
    signal(SIGPIPE, savedPipe);
    // 3 is ls's own.
    const std::string text = ReadFileText(out);
    EXPECT_EQ("[-f ][/some path/file.txt]\nSigBlk:\t0000000000000000\n0 1 2 3 ", text.substr(0, text.rfind(' ') + 1));
    EXPECT_FALSE(PipeIgnored(text.substr(text.rfind(' ') + 1)));
}

TEST(ChildProcess, ManyLaunchesLeaveNoZombieAndNoDescriptor)
{
    auto descriptors = [] {
        using std::filesystem::directory_iterator;
        return std::distance(directory_iterator("/proc/self/fd"), directory_iterator());
    };
    const auto before = descriptors();
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(platform::SpawnDetached("/bin/true", {}));
    }
    // WNOWAIT looks without collecting: only ReapDetachedChildren may.
    siginfo_t info;
    EXPECT_TRUE(WaitUntil(
        [&] {
            platform::ReapDetachedChildren();
            return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0;
        },
        std::chrono::seconds(10)));
    EXPECT_EQ(before, descriptors());
}

} // namespace
