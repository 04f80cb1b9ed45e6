#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "oslib/spawn.h"

namespace {

TEST(Spawn, EmptyMaskDefaultActionsAndDescriptors0To2OnlyOrTheLaunchError)
{
    using oslib::ChildStream;
    oslib::Child child;
    EXPECT_EQ(EACCES, oslib::Spawn({"/dev/null"}, ChildStream::kPiped, ChildStream::kInherited, child));
    EXPECT_EQ(ENOENT, oslib::Spawn({"no-such-program-here"}, ChildStream::kPiped, ChildStream::kInherited, child));
    // The agent's state, and more: every signal blocked, SIGPIPE ignored, a descriptor left without close-on-exec.
    sigset_t all, savedMask;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &savedMask);
    const sighandler_t savedPipe = signal(SIGPIPE, SIG_IGN);
    const int leaked = open("/dev/null", O_RDONLY);
    // sh is looked up in PATH.
    const char* script = "printf '[%s][%s]\\n' \"$1\" \"$2\"; grep SigBlk /proc/self/status; "
                         "ls /proc/self/fd | tr '\\n' ' '; sed -n 's/SigIgn:\\t//p' /proc/self/status";
    ASSERT_EQ(0, oslib::Spawn({"sh", "-c", script, "sh", "-f ", "/some path/file.txt"}, ChildStream::kPiped,
                              ChildStream::kInherited, child));
    close(leaked);
    pthread_sigmask(SIG_SETMASK, &savedMask, nullptr);
    signal(SIGPIPE, savedPipe);
    std::string text;
    EXPECT_TRUE(oslib::ReadToEnd(child.pipe.get(), text));
    int status = -1;
    EXPECT_EQ(0, oslib::WaitForChild(child.pid, status));
    EXPECT_EQ(0, status);
    // 3 is ls's own.
    EXPECT_EQ("[-f ][/some path/file.txt]\nSigBlk:\t0000000000000000\n0 1 2 3 ", text.substr(0, text.rfind(' ') + 1));
    EXPECT_FALSE(std::stoull(text.substr(text.rfind(' ') + 1), nullptr, 16) >> (SIGPIPE - 1) & 1) << "SIGPIPE ignored";
}

// SIGCHLD ignored, as a parent may pass it on through exec: the system reaps the child unseen,
// and its wait is an error, not an exit status.
TEST(Spawn, AChildReapedUnseenIsAnErrorNeverAStatus)
{
    const sighandler_t saved = signal(SIGCHLD, SIG_IGN);
    oslib::Child child;
    int status = -1;
    EXPECT_EQ(0, oslib::Spawn({"/bin/false"}, oslib::ChildStream::kDiscarded, oslib::ChildStream::kDiscarded, child));
    EXPECT_EQ(ECHILD, oslib::WaitForChild(child.pid, status));
    EXPECT_EQ(-1, status);
    signal(SIGCHLD, saved);
}

} // namespace
