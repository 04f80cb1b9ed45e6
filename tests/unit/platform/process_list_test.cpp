#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/process_list.h"
#include "test_home.h"

namespace {

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
    for (int i = 0; i < 200 && !line; ++i) {
        line = platform::TakeSystemProcessSnapshot()->FirstMatch("Serato DJ Pro.app/Contents/MacOS/Serato DJ Pro");
        if (!line) {
            usleep(10000);
        }
    }
    ASSERT_TRUE(line);
    char head[32];
    snprintf(head, sizeof head, "%5d ", static_cast<int>(app.pid()));
    EXPECT_EQ(0u, line->find(head)) << *line;
    EXPECT_TRUE(std::regex_search(*line, std::regex(R"(^ *\d+ \S+ +[A-Z]\S* +\d+:\d\d )"))) << *line;
    EXPECT_EQ(app.path() + " 60", line->substr(line->size() - app.path().size() - 3)) << *line;
}

} // namespace
