#include <fcntl.h>
#include <map>
#include <regex>

#include "oslib/log.h"
#include "oslib/system_log.h"
#include "oslib/user_folders.h"
#include "test_home.h"

namespace {

// A HOME with the log's folder.
class LogFile : public ::testing::Test {
protected:
    ~LogFile() override { debugLevel = 3; }
    TempHome home_;
    oslib::UserFolders folders_;
};

// The same line goes to the file and, escaped alike, to the system log: no forged lines. On the journal
// (JOURNAL_STREAM, as read at start-up, names standard error), the message alone behind its priority.
TEST_F(LogFile, LineFormat)
{
    // `line` follows the stamp; empty: filtered out. `journal`: the whole system line.
    const struct { int debug, level; const char* source; std::string message, line;
                   const char *stream, *journal; } rows[] = {
        {3, 3, "/src/dataCollector/collect.cpp", "fw=0\n", "[INF] fw=0\n", "other file", nullptr},
        {3, 5, "a.cpp", "five\n", "[ERR] five\n", "stderr", "<3>five\n"},
        {3, 2, "a.cpp", "note\n", "", "stderr", ""},
        {1, 1, "/x/y/schedule.cpp", "UpdateFirmware()>>\n", "[DBG] schedule.cpp(00173) UpdateFirmware()>>\n", "", nullptr},
        // Past 1023 bytes a message is cut at a character's start, marked, and still ends its line.
        {3, 3, "a.cpp", std::string(5000, 'y'), "[INF] " + std::string(1014, 'y') + "...[cut]\n", "other device", nullptr},
        {3, 3, "a.cpp", std::string(1013, 'y') + "\xC3\xA9" + std::string(20, 'z'), "[INF] " + std::string(1013, 'y') + "...[cut]\n", "", nullptr},
        {3, 3, "a.cpp", std::string(1022, 'y') + "\n", "[INF] " + std::string(1022, 'y') + "\n", "", nullptr},
        // A device string holds raw low bytes: a byte that starts no valid UTF-8 is Latin-1, the next one looked at
        // afresh: 0xE9 alone, overlong forms, a surrogate, a sequence cut at the end, past U+10FFFF; U+10FFFF is kept.
        {3, 3, "a.cpp", "caf\xE9\n", "[INF] caf\xC3\xA9\n", "stderr", "<6>caf\xC3\xA9\n"},
        {3, 3, "a.cpp", "\xC0\x80\xE0\x80\xAF|\xED\xA0\x80|\xF4\x8F\xBF\xBF|\xF4\x90\x80\x80|\xE2\x82\xAC\xE2\x82",
         "[INF] \xC3\x80\xC2\x80\xC3\xA0\xC2\x80\xC2\xAF|\xC3\xAD\xC2\xA0\xC2\x80|\xF4\x8F\xBF\xBF|"
         "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80|\xE2\x82\xAC\xC3\xA2\xC2\x82", "", nullptr},
        {3, 3, "a.cpp", "A\n[ERR] x\r\n\t\x1B[2J\x07\x7F\n", "[INF] A\\n[ERR] x\\r\\n\\t\\x1B[2J\\x07\\x7F\n", "", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        unlink(home_.LogPath().c_str());
        debugLevel = row.debug;
        testing::internal::CaptureStderr();
        struct stat err {};
        fstat(STDERR_FILENO, &err);
        const std::string dev = std::to_string(err.st_dev), ino = std::to_string(err.st_ino);
        const std::map<std::string, std::string> streams = {
            {"", ""}, {"stderr", dev + ":" + ino}, {"other file", dev + ":" + ino + "0"}, {"other device", dev + "0:" + ino}};
        ScopedEnv stream("JOURNAL_STREAM", streams.at(row.stream));
        ScopedConfiguration journal([](oslib::Configuration& c) {
            c.standardErrorIsJournal = oslib::ReadConfiguration().standardErrorIsJournal;
        });
        LogPrintf(row.level, row.source, 173, "%s", row.message.c_str());
        std::string systemLine = testing::internal::GetCapturedStderr();
        std::string log = home_.Log();
        EXPECT_EQ(row.line, log.substr(std::min<size_t>(21, log.size())));
        EXPECT_TRUE(row.journal != nullptr ? systemLine == row.journal : systemLine.find(row.line) != std::string::npos)
            << systemLine;
        if (row.journal == nullptr) {  // stamped with the file's day, to the millisecond, and the program
            const std::string day = std::regex_replace(log.substr(1, 10), std::regex("/"), "-");
            EXPECT_TRUE(std::regex_search(systemLine, std::regex("^" + day + R"( \d\d:\d\d:\d\d\.\d{3} test_oslib\[)" +
                                                                 std::to_string(getpid()) + "\\] ")))
                << systemLine;
        }
    }
    EXPECT_EQ(0600u, Mode(home_.LogPath())) << "it names devices by their serial numbers";
}

// The system log keeps a message whole past the first buffer's 1023 characters (a script's complaint under a long path).
TEST_F(LogFile, SystemLogKeepsLongMessagesWhole)
{
    ScopedConfiguration terminal([](oslib::Configuration& c) { c.standardErrorIsJournal = false; });
    for (size_t length : {1023, 1024, 5000}) {
        testing::internal::CaptureStderr();
        oslib::SystemLog("%s|", std::string(length - 1, 'm').c_str());
        EXPECT_EQ(1u, Count(testing::internal::GetCapturedStderr(), " " + std::string(length - 1, 'm') + "|\n")) << length;
    }
}

TEST_F(LogFile, StartedAgainOnlyPastTheCapAndSkippedWithoutItsFolder)
{
    WriteFileText(home_.LogPath(), std::string(1048576, 'x'));
    LogPrintf(3, "a.cpp", 1, "kept\n");
    EXPECT_EQ(1048576u, home_.Log().find("[")) << "a file at the cap is kept";
    EXPECT_EQ(0600u, Mode(home_.LogPath())) << "a log of an earlier version is made private";
    WriteFileText(home_.LogPath(), std::string(1048577, 'x'));
    LogPrintf(3, "a.cpp", 1, "fresh\n");
    EXPECT_TRUE(std::regex_match(home_.Log(), std::regex(R"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\]\[INF\] fresh\n)")));

    TempHome bare;
    LogPrintf(5, "a.cpp", 1, "nowhere\n");
    EXPECT_FALSE(std::ifstream(bare.LogPath()).good());
}

// Where the log belongs, a symlink takes no line, nor a FIFO: without a reader a blocking open
// would wait for good (the alarm ends a child that does), with one the line would go to it.
TEST_F(LogFile, OnlyARegularFileTakesLines)
{
    WriteFileText(home_.file("mine"), "mine");
    ASSERT_EQ(0, symlink(home_.file("mine").c_str(), home_.LogPath().c_str()));
    LogPrintf(3, "a.cpp", 1, "through a symlink\n");
    EXPECT_EQ("mine", ReadFileText(home_.file("mine")));
    unlink(home_.LogPath().c_str());
    mkfifo(home_.LogPath().c_str(), 0600);
    EXPECT_EXIT({ alarm(5); LogPrintf(3, "a.cpp", 1, "to no reader\n"); std::exit(0); }, testing::ExitedWithCode(0), "");
    const int reader = open(home_.LogPath().c_str(), O_RDONLY | O_NONBLOCK);
    LogPrintf(3, "a.cpp", 1, "into a FIFO\n");
    char byte = 0;
    EXPECT_EQ(0, read(reader, &byte, 1)) << "a line went into the FIFO";
    close(reader);
}

} // namespace
