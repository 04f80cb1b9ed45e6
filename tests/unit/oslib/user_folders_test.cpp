#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>

#include "oslib/log.h"
#include "oslib/user_folders.h"
#include "oslib/whole_file.h"
#include "test_home.h"

namespace {

constexpr uid_t kOther = 65534;  // another user of the machine (the tests run as root)

void Ok(int result) { EXPECT_EQ(0, result) << std::strerror(errno); }

// A folder (`relative` ends in "/") or an empty file below the home, with that owner and mode.
void Plant(const TempHome& home, const std::string& relative, uid_t uid, gid_t gid, mode_t mode)
{
    relative.back() == '/' ? MakeFolders(home.file(relative)) : WriteFileText(home.file(relative), "");
    Ok(chown(home.file(relative).c_str(), uid, gid));
    Ok(chmod(home.file(relative).c_str(), mode));
}

std::string Said(const std::function<void()>& work)
{
    testing::internal::CaptureStderr();
    work();
    return testing::internal::GetCapturedStderr();
}

// What another user may have planted before the agent first ran is never used: it is said once on the system log,
// and the log goes on without it. Renaming a folder later does not redirect the agent.
TEST(UserFolders, WhatOthersPlantedIsRefusedOnce)
{
    using Home = const TempHome&;
    const struct { std::function<void(Home)> plant; std::string said; } rows[] = {
        {[](Home h) { Plant(h, ".local/state/Quenlar/", kOther, kOther, 0700); },
         "/.local/state/Quenlar: belongs to uid 65534, not to this user; not used"},
        {[](Home h) { Plant(h, ".local/", 0, 0, 0757); }, "/.local: others than its owner may write it (mode 0757); not used"},
        {[](Home h) { Plant(h, ".local/state/", 0, kOther, 0770); },
         "/.local/state: others than its owner may write it (mode 0770); not used"},
        {[](Home h) { Plant(h, ".local/", 0, 0, 0700), Ok(symlink(h.path().c_str(), h.file(".local/state").c_str())); },
         "/.local/state: a symlink; not used"},
        {[](Home h) { Plant(h, ".local/state/Quenlar/Tidewell.log", kOther, kOther, 0666); },
         "/.local/state/Quenlar/Tidewell.log: belongs to uid 65534, not to this user; not used"},
        {[](Home h) { Plant(h, ".local/state/Quenlar/Tidewell.log", 0, 0, 0600), Ok(link(h.LogPath().c_str(), h.file("2").c_str())); },
         "/.local/state/Quenlar/Tidewell.log: has 2 links; not used"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.said);
        TempHome home;
        row.plant(home);
        const std::string said = Said([] {
            oslib::UserFolders folders;
            LogPrintf(3, "a.cpp", 1, "serial 1234\n");
            LogPrintf(3, "a.cpp", 1, "serial 5678\n");
        });
        EXPECT_EQ(1u, Count(said, row.said)) << said;
        EXPECT_EQ(0u, Count(home.Log(), "serial")) << "the log went into a file that is not the user's own alone";
    }

    TempHome home;
    oslib::UserFolders folders;
    ASSERT_EQ(0, rename(home.file(".local/state/Quenlar").c_str(), home.file(".local/state/moved").c_str()));
    MakeFolders(home.file(".local/state/Quenlar"));
    LogPrintf(3, "a.cpp", 1, "where?\n");
    EXPECT_EQ("", home.Log());
    EXPECT_EQ(1u, Count(ReadFileText(home.file(".local/state/moved/Tidewell.log")), "where?"));
}

// A base folder from the environment is absolute, or none, and named one way: without trailing slashes.
TEST(UserFolders, BaseFoldersAreAbsoluteWithoutTrailingSlashes)
{
    const std::pair<const char*, const char*> rows[] = {{"/data//", "/data"}, {"/", "/"}, {"data/", ""}, {nullptr, ""}};
    for (const auto& [value, folder] : rows) {
        ScopedEnv state("XDG_STATE_HOME", value);
        EXPECT_EQ(folder, oslib::ReadConfiguration().stateHome) << (value ? value : "unset");
    }
}

// A read never blocks on a FIFO, never follows a symlink out of the agent's folders, and takes no file past its cap.
TEST(UserFolders, ReadsAreOfRegularFilesWithinTheirCap)
{
    TempHome home;
    oslib::UserFolders folders;
    const std::string list = oslib::ListFolder() + "firm_version_info.txt";
    const std::string huge = home.file("huge");
    WriteFileText(huge, "");
    Ok(truncate(huge.c_str(), 512 << 20));
    const struct { std::function<void()> plant; size_t cap; bool read; } rows[] = {
        {[&] { mkfifo(list.c_str(), 0600); }, oslib::kListCap, false},
        {[&] { Ok(symlink(huge.c_str(), list.c_str())); }, size_t(1) << 30, false},
        {[&] { rename(huge.c_str(), list.c_str()); }, oslib::kListCap, false},
        {[&] { WriteFileText(list, std::string(4096, 'x')); }, 4096, true},
        {[&] { WriteFileText(list, std::string(4097, 'x')); }, 4096, false},
    };
    for (const auto& row : rows) {
        unlink(list.c_str());
        row.plant();
        std::string contents;
        alarm(5);
        EXPECT_EQ(row.read, oslib::ReadRegularFile(list, contents, row.cap)) << row.cap;
        alarm(0);
        EXPECT_EQ(row.read ? row.cap : 0u, contents.size());
    }
}

// Where a file system makes no unnamed files, a killed writer leaves its replacement file named: gone at the next start.
TEST(UserFolders, TemporariesOfEndedWritersGo)
{
    TempHome home;
    const pid_t ended = fork();
    if (ended == 0) {
        _exit(0);
    }
    waitpid(ended, nullptr, 0);
    const std::vector<std::string> names = {".Tidewell.log.tidewell-tmp." + std::to_string(ended) + ".3",
                                            ".Tidewell.log.tidewell-tmp." + std::to_string(getpid()) + ".3", "Tidewell.log.3",
                                            ".Tidewell.log.tidewell-tmp." + std::to_string(ended) + ".4"};
    for (const std::string& name : names) {  // the last one is another user's
        Plant(home, ".local/state/Quenlar/" + name, &name == &names.back() ? kOther : 0, 0, 0600);
    }
    oslib::UserFolders().RemoveStaleTemporaries();
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(i > 0, oslib::PathExists(home.file(".local/state/Quenlar/" + names[i]))) << "only the ended writer's goes";
    }
}

// Each file of an earlier install moves once, whole, to its new place: renamed, or copied across file systems with
// its times. A file in both places stays in both; the old folders go when left empty, ~/Library only then. Nothing
// under a ~/Library that is not the user's own alone is touched.
TEST(UserFolders, AnEarlierInstallMovesOnce)
{
    const std::vector<std::pair<std::string, std::string>> files = {
        {"Library/Quenlar/firm_version_info.txt", "share"}, {"Library/Quenlar/TarProductURL.txt", "share"},
        {"Library/Application Support/Quenlar/Tidewell.log", "state"},
        {"Library/Preferences/com.quenlar.Fetchwick.plist", "config"}};
    const std::string all = "firm_version_info.txt, TarProductURL.txt, Tidewell.log, com.quenlar.Fetchwick.plist\n";
    using Home = const TempHome&;
    const struct { const char* row; bool across; std::function<void(Home)> plant; std::string moved; bool gone; } rows[] = {
        {"renamed", false, [](Home) {}, all, true},
        {"copied", true, [](Home) {}, all, true},
        {"other files stay", false, [](Home h) { Plant(h, "Library/Preferences/other.plist", 0, 0, 0600); }, all, false},
        {"in both places", false, [](Home h) { WriteFileText(h.file("config/Quenlar/com.quenlar.Fetchwick.plist"), "new"); },
         "firm_version_info.txt, TarProductURL.txt, Tidewell.log\n", false},
        {"not the user's", false, [](Home h) { Plant(h, "Library/", kOther, kOther, 0700); }, "", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.row);
        TempHome home;
        ScopedEnv shm("TMPDIR", "/dev/shm");  // another file system than /tmp's disk
        TempDir elsewhere;
        const std::string base = row.across ? elsewhere.path() : home.path();
        ScopedConfiguration xdg([&](oslib::Configuration& c) {
            c.dataHome = base + "/share", c.stateHome = base + "/state", c.configHome = base + "/config";
        });
        auto body = [](const std::string& old) { return "<plist><dict><key>saved</key><string>" + old + "</string></dict></plist>"; };
        for (const auto& [old, folder] : files) {
            WriteFileText(home.file(old), body(old));
            SetFileTime(home.file(old), 1.7e9);
        }
        WriteFileText(home.file("Library/Application Support/Quenlar/tidewelld.lock"), "1\n");
        row.plant(home);
        oslib::UserFolders folders;
        oslib::MoveEarlierInstall();
        const std::string said = "Files of an earlier install moved out of " + home.path() + "/Library: " + row.moved;
        EXPECT_EQ(row.moved.empty() ? 0u : 1u, Count(ReadFileText(oslib::SupportFolder() + "Tidewell.log"), said));
        for (const auto& [old, folder] : files) {
            const std::string name = old.substr(old.rfind('/') + 1), now = base + "/" + folder + "/Quenlar/" + name;
            const bool moves = row.moved.find(name) != std::string::npos;
            struct stat info {};
            EXPECT_EQ(!moves, oslib::PathExists(home.file(old))) << old;
            // Whole, and as old as it was; a file that was there stays as it was.
            const std::string content = moves ? body(old) : oslib::PathExists(now) ? "new" : "";
            EXPECT_EQ(content, ReadFileText(now).substr(0, moves ? content.size() : 4));
            EXPECT_TRUE(!moves || name == "Tidewell.log" || (stat(now.c_str(), &info) == 0 && info.st_mtime == 1700000000));
        }
        EXPECT_EQ(!row.gone, oslib::PathExists(home.file("Library")));
    }
}

} // namespace
