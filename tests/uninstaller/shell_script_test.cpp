// The bundle's removal script run by the real /bin/sh through doUninstall.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app_controller.h"
#include "fakes.h"
#include "shell_script.h"

using namespace uninstaller_test;

namespace {

// doUninstall with the real runner on the current main bundle.
int32_t DoUninstall()
{
    StandIns standIns;
    ShellScriptRunner scripts;
    return AppController(standIns.platform(&scripts)).doUninstall();
}

int32_t RunScript(const std::string& text)
{
    TestBundle bundle({}, text);
    return DoUninstall();
}

TEST(ShellScript, ResultIsTheIntegerOnTheLastLine)
{
    EXPECT_EQ(RunScript("echo 17\n"), 17);
    EXPECT_EQ(RunScript("echo removing\necho ' 9 '\necho\n"), 9);
    EXPECT_EQ(RunScript("echo -2147483648\n"), INT32_MIN);
    EXPECT_EQ(RunScript(": nothing to say\n"), 0);
    EXPECT_EQ(RunScript("echo 3 >&2\n"), 0) << "standard error is not the result";
}

TEST(ShellScript, FailedRunsAre22WhateverTheyPrinted)
{
    EXPECT_EQ(RunScript("echo 0\nexit 3\n"), 22);
    EXPECT_EQ(RunScript("echo 0\nkill -KILL $$\n"), 22);
    EXPECT_EQ(RunScript("echo finished\n"), 22) << "a result that is no number";
    EXPECT_EQ(RunScript("echo 2147483648\n"), 22);
}

TEST(ShellScript, SyntaxErrorIs22AndNothingRuns)
{
    TempDir folder;
    std::string marker = folder.path() + "/ran";
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunScript("touch '" + marker + "'\nif true; then echo 0\n"), 22);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(std::ifstream(marker).good());
    EXPECT_NE(log.find("Uninstaller.sh is not valid"), std::string::npos) << log;
}

TEST(ShellScript, UnreadableScriptIs22)
{
    TestBundle bundle({});
    std::string script = bundle.path() + "/Contents/Resources/Uninstaller.sh";
    MakeFolders(script);
    EXPECT_EQ(DoUninstall(), 22);

    // A pipe without a writer must not hold the uninstaller.
    std::filesystem::remove(script);
    ASSERT_EQ(mkfifo(script.c_str(), 0600), 0);
    EXPECT_EQ(DoUninstall(), 22);
}

TEST(ShellScript, ScriptRunsWithItsPathAsZero)
{
    EXPECT_EQ(RunScript("case $0 in */Contents/Resources/Uninstaller.sh) echo 5 ;; esac\n"), 5);
}

} // namespace
