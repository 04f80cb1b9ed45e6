#include <csignal>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/process_list.h"
#include "test_home.h"

namespace {

using platform::LazyProcessLines;

// Matches that begin in the command, and in the pid, terminal, state or time before it.
TEST(ProcessLines, LazyMatchFindsWhatTheWholeLinesFind)
{
    const std::vector<std::pair<std::string, std::string>> headsAndCommands = {
        {"  101 pts/3    Ss+      0:00 ", "/bin/bash --login"},
        {"  102 ?        S        0:01 ", "/Applications/djay Pro AI.app/Contents/MacOS/djay Pro AI"},
        {"  103 ?        Z        0:00 ", "[Live]"},
        {"  104 ?        Sl       0:02 ", "/Applications/Ableton Live 12.app/Contents/MacOS/Live"},
        {"  105 tty1     S<       1:02 ", "/Applications/spindrel.app/Contents/MacOS/spindrel"},
    };
    std::vector<std::string> lines;
    // 106 has gone before its line is read.
    std::vector<LazyProcessLines::Process> processes = {{106, "/Applications/Traktor.app/Contents/MacOS/Traktor", {}}};
    for (const auto& [head, command] : headsAndCommands) {
        lines.push_back(head + command);
        processes.push_back({std::stol(head), command.front() == '[' ? "" : command, std::nullopt});
    }
    LazyProcessLines lazy(processes, [&lines](const LazyProcessLines::Process& process) {
        return process.pid > 105 ? std::nullopt : std::optional(lines.at(process.pid - 101));
    });
    platform::ProcessLines whole(lines);
    const struct {
        const char* pattern;
        int line; // -1: none
    } cases[] = {
        {"Serato DJ Pro.app/Contents/MacOS/Serato DJ Pro", -1}, {"djay Pro.*/Contents/MacOS/djay Pro.*", 1},
        {"Live", 2}, {"Traktor", -1}, {"104 .*Live", 3}, {"pts/3 +Ss", 0}, {"1:02 /App", 4}, {"^ *105 ", 4},
        {"^/Applications", -1}, {"x*", 0}, {"zsh|^ *103 ", 2}, {"(pts", -1}, {"spindrel(.app", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        const std::optional<std::string> expected = c.line < 0 ? std::nullopt : std::optional(lines[c.line]);
        EXPECT_EQ(expected, whole.FirstMatch(c.pattern));
        EXPECT_EQ(expected, lazy.FirstMatch(c.pattern));
    }
}

TEST(SystemProcessSnapshot, LinesShapedLikePsAx)
{
    // A path no other process has: sleep under a name in a folder of its own.
    TempDir dir;
    const std::string path = dir.path() + "/Serato DJ Pro.app/Contents/MacOS/Serato DJ Pro";
    MakeFolders(std::filesystem::path(path).parent_path());
    std::filesystem::create_symlink("/bin/sleep", path);
    const pid_t pid = fork();
    if (pid == 0) {
        execl(path.c_str(), path.c_str(), "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    const std::string command = std::regex_replace(path, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") + " 60$";
    std::optional<std::string> line;
    // The child has exec'd once /proc shows its own command line.
    WaitUntil([&] { return (line = platform::TakeSystemProcessSnapshot()->FirstMatch(command)).has_value(); },
              std::chrono::seconds(5));
    // Gone before its whole line is read: no line for it, and no other text in its place.
    std::unique_ptr<platform::ProcessSnapshot> vanishing = platform::TakeSystemProcessSnapshot();
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    ASSERT_TRUE(line);
    const std::regex shape("^ *" + std::to_string(pid) + R"( \S+ +[A-Z]\S* +\d+:\d\d )" + command);
    EXPECT_TRUE(std::regex_search(*line, shape)) << *line;
    EXPECT_EQ(std::nullopt, vanishing->FirstMatch(command));
}

} // namespace
