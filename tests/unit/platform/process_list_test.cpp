#include <csignal>
#include <fcntl.h>
#include <regex>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "oslib/descriptors.h"
#include "platform/process_list.h"
#include "test_home.h"

namespace {

// A sleeper at a path no other process has, and a zombie, which has no arguments left.
TEST(SystemProcessSnapshot, LinesShapedLikePsAx)
{
    TempDir dir;
    const std::string path = dir.path() + "/Serato DJ Pro.app/Contents/MacOS/Serato DJ Pro";
    MakeFolders(std::filesystem::path(path).parent_path());
    std::filesystem::create_symlink("/bin/sleep", path);
    // Longer than one read of its command line: sleep takes the zeros for 60 s (59 s for its child).
    const std::string seconds = std::string(5000, '0') + "60", childSeconds = std::string(5000, '0') + "59";
    // Its terminal, the second of two, so that its number is not 0.
    const oslib::UniqueFd masters[] = {oslib::UniqueFd(posix_openpt(O_RDWR | O_NOCTTY)),
                                       oslib::UniqueFd(posix_openpt(O_RDWR | O_NOCTTY))};
    ASSERT_TRUE(grantpt(masters[1].get()) == 0 && unlockpt(masters[1].get()) == 0);
    const std::string terminal = ptsname(masters[1].get());
    const pid_t pid = fork();
    if (pid == 0) {
        // A session leader on that terminal, and its child in a group of its own, which the terminal's foreground is.
        int held = setsid() > 0 ? open(terminal.c_str(), O_RDWR) : -1;
        if (held >= 0 && nice(5) > 0) {
            const bool child = fork() == 0;
            if (child) {
                signal(SIGTTOU, SIG_IGN);
                setpgid(0, 0);
                tcsetpgrp(held, getpid());
            }
            execl(path.c_str(), path.c_str(), (child ? childSeconds : seconds).c_str(), static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    const pid_t zombie = fork();
    if (zombie == 0) {
        prctl(PR_SET_NAME, "tw (zombie)");
        _exit(0);
    }
    ASSERT_TRUE(pid > 0 && zombie > 0);
    const std::string escaped = std::regex_replace(path, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
    const std::string command = escaped + " 0+60$", childCommand = escaped + " 0+59$";
    const std::string sleeper = "^ *" + std::to_string(pid), dead = "^ *" + std::to_string(zombie) + " ";
    std::unique_ptr<platform::ProcessSnapshot> snapshot;
    // A sleeper has exec'd once /proc shows its own command line, the zombie once it shows none.
    const auto shown = [&] {
        snapshot = platform::TakeSystemProcessSnapshot();
        return snapshot->FirstMatch(command, path) && snapshot->FirstMatch(childCommand, path) &&
               snapshot->FirstMatch(dead + ".*]$", "");
    };
    EXPECT_TRUE(WaitUntil(shown, std::chrono::seconds(5)));
    const pid_t child = std::stoi(snapshot->FirstMatch(childCommand, path).value_or("0"));
    const std::string pts = " " + terminal.substr(5) + " +";
    const struct { std::string pattern; std::string required; pid_t found; } cases[] = {
        {sleeper + pts + R"([A-Z]Ns +0:00 )" + command, path, pid},  // a niced session leader in the background
        {"^ *[0-9]+" + pts + R"([A-Z]N\+ +0:00 )" + childCommand, path, child},  // its child, in the foreground
        {sleeper + " ", "Traktor.app", 0},  // the line matches, but its command lacks the text
        {dead + R"([^ ]+ +Z[^ ]* +0:00 \[tw \(zombie\)\]$)", "/Contents/MacOS/", zombie},
        {"^ *(" + std::to_string(zombie) + "|" + std::to_string(pid) + ") ", "", std::min(pid, zombie)},
        {"(", "", 0},
    };
    for (const auto& c : cases) {
        std::optional<std::string> line = snapshot->FirstMatch(c.pattern, c.required);
        EXPECT_EQ(c.found, line ? std::stol(*line) : 0) << c.pattern << " found " << line.value_or("nothing");
    }
    // Gone before its whole line is read: no line for it, and no other text in its place.
    std::unique_ptr<platform::ProcessSnapshot> vanishing = platform::TakeSystemProcessSnapshot();
    kill(child, SIGKILL);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    waitpid(zombie, nullptr, 0);
    EXPECT_EQ(std::nullopt, vanishing->FirstMatch(command, path));
}

} // namespace
