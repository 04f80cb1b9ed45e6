#include <sys/wait.h>

#include "platform/process.h"
#include "test_home.h"

namespace {

TEST(ChildProcess, ManyLaunchesLeaveNoZombieAndNoDescriptor)
{
    auto descriptors = [] {
        using std::filesystem::directory_iterator;
        return std::distance(directory_iterator("/proc/self/fd"), directory_iterator());
    };
    const auto before = descriptors();
    const std::unique_ptr<platform::Launcher> launcher = platform::MakeSystemLauncher();
    EXPECT_FALSE(launcher->SpawnDetached("/nonexistent/Fetchwick", {}));
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(launcher->SpawnDetached("/bin/true", {}));
    }
    // WNOWAIT looks without collecting: only ReapDetachedChildren may.
    siginfo_t info;
    const auto reaped = [&] {
        launcher->ReapDetachedChildren();
        return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0;
    };
    EXPECT_TRUE(WaitUntil(reaped, std::chrono::seconds(10)));
    EXPECT_EQ(before, descriptors());
}

} // namespace
