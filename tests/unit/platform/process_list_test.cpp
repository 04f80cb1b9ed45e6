#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/process_list.h"
#include "test_home.h"

namespace {

using platform::LazyProcessLines;
using platform::ProcessLines;

TEST(ProcessLines, FirstMatchUsesExtendedExpressions)
{
    ProcessLines lines({
        "  101 ?        S       0:00 /Applications/spindrel.app/Contents/MacOS/spindrel --helper",
        "  102 ?        S       0:01 /Applications/djay Pro AI.app/Contents/MacOS/djay Pro AI",
        "  103 ?        S       0:02 /Applications/Ableton Live 12 Suite.app/Contents/MacOS/Live",
        "  104 ?        S       0:02 /Applications/spindrel.app/Contents/MacOS/spindrel",
        "  105 ?        S       0:02 /Applications/Ableton Live 11.app/Contents/MacOS/Live",
    });
    EXPECT_EQ(lines.lines()[3], lines.FirstMatch("spindrel.app/Contents/MacOS/spindrel$"));
    EXPECT_EQ(lines.lines()[1], lines.FirstMatch("djay Pro.*/Contents/MacOS/djay Pro.*"));
    EXPECT_EQ(lines.lines()[2], lines.FirstMatch("Ableton.*.app/Contents/MacOS/Live"));
    EXPECT_EQ(std::nullopt, lines.FirstMatch("Traktor.app/Contents/MacOS/Traktor"));
    EXPECT_EQ(std::nullopt, lines.FirstMatch("spindrel(.app"));
}

TEST(LeadingLiteral, TakesOnlyTextEveryMatchBeginsWith)
{
    EXPECT_EQ("Serato DJ Pro", platform::LeadingLiteral("Serato DJ Pro.app/Contents/MacOS/Serato DJ Pro"));
    EXPECT_EQ("Ableton", platform::LeadingLiteral("Ableton.*.app/Contents/MacOS/Live"));
    EXPECT_EQ("a.b(", platform::LeadingLiteral("a\\.b\\(c+"));  // a repeat may leave out its character
    EXPECT_EQ("", platform::LeadingLiteral("^/Applications"));
    EXPECT_EQ("", platform::LeadingLiteral("Traktor|Live"));
    EXPECT_EQ("", platform::LeadingLiteral("x[|]y)|z"));  // an unmatched ')' leaves the outer level open
    EXPECT_EQ("x", platform::LeadingLiteral("x[[:alpha:]|]y(a|b)"));
    EXPECT_EQ("caf", platform::LeadingLiteral("caf\xc3\xa9?"));  // a repeat takes the whole character
}

TEST(HeadMayHold, FollowsTheHeadOfALine)
{
    for (const char* inside : {" 1234 ", "pts/3 ", "tty1", "?        S", "Ssl+ ", "0:02 /Applications", ":00 ["}) {
        EXPECT_TRUE(platform::HeadMayHold(inside)) << inside;
    }
    for (const char* outside : {"Serato DJ Pro", "spindrel", "Traktor", "djay Pro", "/Applications", "Ss0"}) {
        EXPECT_FALSE(platform::HeadMayHold(outside)) << outside;
    }
}

// Lines with heads as the platform writes them; whole lines are counted as they are built.
class LazyLinesTest : public ::testing::Test {
protected:
    const std::vector<std::pair<std::string, std::string>> heads_and_commands = {
        {"    2 ?        S        0:00 ", "[kthreadd]"},
        {"  101 pts/3    Ss+      0:00 ", "/bin/bash --login"},
        {"  102 ?        S        0:01 ", "/Applications/djay Pro AI.app/Contents/MacOS/djay Pro AI"},
        {"  103 ?        Z        0:00 ", "[Live]"},
        {"  104 ?        Sl       0:02 ", "/Applications/Ableton Live 12.app/Contents/MacOS/Live"},
        {"  105 tty1     S<       1:02 ", "/Applications/spindrel.app/Contents/MacOS/spindrel"},
    };
    int built = 0;

    std::unique_ptr<LazyProcessLines> Lazy()
    {
        std::vector<LazyProcessLines::Process> processes;
        for (const auto& [head, command] : heads_and_commands) {
            bool bracketed = command.front() == '[';
            processes.push_back({std::stol(head), bracketed ? "" : command, std::nullopt});
        }
        return std::make_unique<LazyProcessLines>(processes, [this](const LazyProcessLines::Process& process) {
            ++built;
            for (const auto& [head, command] : heads_and_commands) {
                if (std::stol(head) == process.pid) {
                    return std::optional<std::string>(head + command);
                }
            }
            return std::optional<std::string>();
        });
    }
    ProcessLines Whole()
    {
        std::vector<std::string> lines;
        for (const auto& [head, command] : heads_and_commands) {
            lines.push_back(head + command);
        }
        return ProcessLines(lines);
    }
};

TEST_F(LazyLinesTest, FindsWhatTheWholeLinesFind)
{
    ProcessLines whole = Whole();
    std::unique_ptr<LazyProcessLines> lazy = Lazy();
    for (const char* pattern :
         {"Serato DJ Pro.app/Contents/MacOS/Serato DJ Pro", "djay Pro.*/Contents/MacOS/djay Pro.*",
          "Ableton.*.app/Contents/MacOS/Live", "spindrel.app/Contents/MacOS/spindrel$", "Live",
          // matches that begin in the head: pid, terminal, state, time
          "104 .*Live", "pts/3 +Ss", "S<", "1:02 /App", "^ *105 ", "Z +0:00 \\[",
          // the command alone matches, the line does not
          "^/Applications", "^\\[kthreadd",
          "", "x*", "bash|^ *2 ", "[[:digit:]]+ tty", "\\[kthreadd\\]$", "(pts"}) {
        EXPECT_EQ(whole.FirstMatch(pattern), lazy->FirstMatch(pattern)) << pattern;
    }
}

TEST_F(LazyLinesTest, BuildsLinesOnlyForCandidates)
{
    std::unique_ptr<LazyProcessLines> lazy = Lazy();
    EXPECT_EQ(std::nullopt, lazy->FirstMatch("Serato DJ Pro.app/Contents/MacOS/Serato DJ Pro"));
    EXPECT_EQ(2, built);  // the two shown as "[name]"
    EXPECT_EQ(heads_and_commands[4].first + heads_and_commands[4].second,
              lazy->FirstMatch("Ableton.*.app/Contents/MacOS/Live"));
    EXPECT_EQ(3, built);
    EXPECT_EQ(std::nullopt, lazy->FirstMatch("106 "));  // one that may match in the head reads every line, once
    EXPECT_EQ(6, built);
    lazy->FirstMatch("^ *1");
    EXPECT_EQ(6, built);
}

TEST(LazyProcessLines, SkipsAProcessGoneBeforeItsLine)
{
    int asked = 0;
    LazyProcessLines lazy({{7, "", std::nullopt}, {8, "/bin/true", std::nullopt}},
                          [&asked](const LazyProcessLines::Process& process) {
                              ++asked;
                              return process.pid == 7 ? std::nullopt
                                                      : std::optional<std::string>("    8 ?        S        0:00 /bin/true");
                          });
    EXPECT_EQ("    8 ?        S        0:00 /bin/true", lazy.FirstMatch("[0-9]"));
    EXPECT_EQ(std::nullopt, lazy.FirstMatch("^    7"));
    EXPECT_EQ(2, asked);
}

// A stand-in application at <folder>/<name>.app/Contents/MacOS/<name>, killed at the end.
class StandIn {
public:
    StandIn(const std::string& folder, const std::string& name)
        : path_(folder + "/" + name + ".app/Contents/MacOS/" + name)
    {
        MakeFolders(std::filesystem::path(path_).parent_path());
        std::filesystem::copy_file("/bin/sleep", path_);
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
        pid_ = fork();
        if (pid_ == 0) {
            execl(path_.c_str(), path_.c_str(), "60", static_cast<char*>(nullptr));
            _exit(127);
        }
        EXPECT_GT(pid_, 0);
    }
    ~StandIn()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    pid_t pid_ = -1;
};

TEST(SystemProcessSnapshot, ListsProcessesLikePsAx)
{
    TempDir dir;
    StandIn app(dir.path(), "Serato DJ Pro");
    // The child has exec'd once /proc shows its own command line.
    std::optional<std::string> line;
    WaitUntil(
        [&] {
            line = platform::TakeSystemProcessSnapshot()->FirstMatch("Serato DJ Pro.app/Contents/MacOS/Serato DJ Pro");
            return line.has_value();
        },
        std::chrono::seconds(2));
    ASSERT_TRUE(line);
    char head[32];
    snprintf(head, sizeof head, "%5d ", static_cast<int>(app.pid()));
    EXPECT_EQ(0u, line->find(head)) << *line;
    EXPECT_TRUE(std::regex_search(*line, std::regex(R"(^ *\d+ \S+ +[A-Z]\S* +\d+:\d\d )"))) << *line;
    EXPECT_EQ(app.path() + " 60", line->substr(line->size() - app.path().size() - 3)) << *line;

    // Searches that begin in the head find the same line; every tail of a real head is
    // one HeadMayHold admits.
    EXPECT_EQ(line, platform::TakeSystemProcessSnapshot()->FirstMatch(std::to_string(app.pid()) + " .*MacOS/Serato"));
    std::string lineHead = line->substr(0, line->size() - app.path().size() - 3);
    for (size_t at = 0; at < lineHead.size(); ++at) {
        EXPECT_TRUE(platform::HeadMayHold(lineHead.substr(at) + "/")) << lineHead.substr(at);
    }
}

} // namespace
