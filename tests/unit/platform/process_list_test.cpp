#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <regex.h>
#include <regex>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "oslib/descriptors.h"
#include "oslib/spawn.h"
#include "platform/list_regex.h"
#include "platform/process_list.h"
#include "test_home.h"

namespace {

// "djay Pro" over and over, `bytes` long.
std::string Djay(size_t bytes) { return std::regex_replace(std::string(bytes, '.'), std::regex("........"), "djay Pro"); }

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

// Only this user's processes are looked at, and a command line (NULs included) of more than 64 KiB matches
// nothing: one of 1 MiB, "djay Pro" over and over, costs one pass no time. Other users need root to run.
TEST(SystemProcessSnapshot, OwnProcessesAndCommandLinesUpTo64KiB)
{
    const uid_t self = getuid(), nobody = 65534;
    const oslib::ChildStream kOwn = oslib::ChildStream::kInherited;
    const struct { uid_t user; size_t bytes; bool found; } cases[] = {
        {self, 64 * 1024, true}, {self, 64 * 1024 + 1, false}, {self, 1 << 20, false},
        {nobody, 4096, false}, {nobody, 1 << 20, false}};
    const auto tag = [](const auto& c) { return "/Contents/MacOS/tw" + std::to_string(c.bytes) + "u" + std::to_string(c.user); };
    std::vector<pid_t> children;
    for (const auto& c : cases) {
        // After "sh\0-c\0kill -STOP $$\0", arguments of 100,000 bytes at most (one may not reach 128 KiB).
        std::vector<std::string> argv{"sh", "-c", "kill -STOP $$"};
        if (c.user != self) {
            argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--keep-groups"});
        }
        for (size_t left = c.bytes - 20; left > 0; left -= argv.back().size() + 1) {
            argv.push_back(Djay(std::min<size_t>(left - 1, 100000)));
        }
        argv.back().replace(argv.back().size() - tag(c).size(), std::string::npos, tag(c));
        oslib::Child child;
        if ((c.user == self || self == 0) && oslib::Spawn(argv, kOwn, kOwn, child) == 0) {
            waitpid(child.pid, nullptr, WUNTRACED);  // until it has stopped itself
            children.push_back(child.pid);
        }
    }
    const std::clock_t start = std::clock();
    std::unique_ptr<platform::ProcessSnapshot> snapshot = platform::TakeSystemProcessSnapshot();
    for (const auto& c : cases) {
        EXPECT_EQ(c.found, snapshot->FirstMatch("djay Pro.*" + tag(c) + "$", "/Contents/MacOS/").has_value()) << tag(c);
    }
    EXPECT_LT(std::clock() - start, CLOCKS_PER_SEC / 10);
    for (pid_t child : children) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
}

// The search's patterns mean on RE2 what they mean to regexec (C locale): each one, real or crafted, on every line.
TEST(ExtendedRegex, AgreesWithRegexec)
{
    const std::string lines[] = {"  412 ?        Ssl    0:03 /usr/lib/systemd/systemd --user",
        " 4242 ??       S      0:01 /Applications/Serato DJ Pro.app/Contents/MacOS/Serato DJ Pro",
        "/Applications/djay Pro AI.app/Contents/MacOS/djay Pro AI -psn_0_1234",
        "/Applications/Ableton Live 12 Suite.app/Contents/MacOS/Live", "/Applications/spindrel.app/Contents/MacOS/spindrel",
        "/Applications/spindrel.app/Contents/MacOS/spindrel --safe", "/opt/Tr\xe4ktor.app/Contents/MacOS/Traktor\nsecond line",
        "/bin/sh -c ps -ax | grep -E 'Traktor.app/Contents/MacOS/Traktor'", std::string(4000, 'a') + "b",
        Djay(16000) + "/Contents/MacOS/x"};
    const char* patterns[] = {"Serato DJ Pro.app/Contents/MacOS/Serato DJ Pro", "djay Pro.*/Contents/MacOS/djay Pro.*",
                              "spindrel.app/Contents/MacOS/spindrel$", "Ableton.*.app/Contents/MacOS/Live",
                              "^ *[0-9]+ \\?\\? ", "Tr.ktor", "^second", "line$", "r.s", "[^a-z]second",
                              "(a|aa)*b$", "a{3,4}b", "[[:upper:]][[:digit:]]", "Pro( AI)?$", "Pro( AI)? -", "(", "\\(",
                              "djay Pro.*djay Pro.*/x$", "Tr\xe4ktor", "(?i)pro( ai)?$"};
    for (const char* pattern : patterns) {
        regex_t posix;
        const bool compiled = regcomp(&posix, pattern, REG_EXTENDED | REG_NOSUB) == 0;
        const platform::ExtendedRegex re2(pattern);
        EXPECT_EQ(compiled, re2.ok()) << pattern;
        for (const std::string& line : lines) {
            const bool found = compiled && regexec(&posix, line.c_str(), 0, nullptr, 0) == 0;
            EXPECT_EQ(found, re2.Matches(line)) << pattern << " on " << line.substr(0, 80);
        }
        if (compiled) {
            regfree(&posix);
        }
    }
}

} // namespace
