#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <vector>

#include "platform/replacement_file.h"
#include "test_home.h"

namespace {

using platform::ReplacementFile;

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

TEST(ReplacementFileTest, CommitPutsEveryWriteInPlaceReadableByOthers)
{
    TempDir dir;
    std::string destination = dir.path() + "/list.txt";
    WriteFileText(destination, std::string(5000, 'x'));

    std::unique_ptr<ReplacementFile> file = ReplacementFile::Create(destination);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Write("first ", 6));
    ASSERT_TRUE(file->Write("second", 6));
    // Beside the destination, so that the rename stays within one file system.
    std::vector<std::string> during = Names(dir.path());
    ASSERT_EQ(2u, during.size());
    EXPECT_EQ(1, std::count_if(during.begin(), during.end(),
                               [](const std::string& name) { return name.rfind("list.txt.", 0) == 0; }));
    EXPECT_EQ(std::string(5000, 'x'), ReadFileText(destination)) << "the destination changes only at the commit";

    EXPECT_EQ(ReplacementFile::Outcome::kReplaced, file->Commit());
    file.reset();
    EXPECT_EQ("first second", ReadFileText(destination));
    struct stat info {};
    ASSERT_EQ(0, stat(destination.c_str(), &info));
    EXPECT_EQ(0644u, info.st_mode & 0777u);
    EXPECT_EQ(std::vector<std::string>{"list.txt"}, Names(dir.path()));
}

TEST(ReplacementFileTest, WhatIsNotPutInPlaceLeavesNoTrace)
{
    TempDir dir;
    std::string destination = dir.path() + "/list.txt";
    WriteFileText(destination, "earlier");
    {
        std::unique_ptr<ReplacementFile> file = ReplacementFile::Create(destination);
        ASSERT_TRUE(file);
        ASSERT_TRUE(file->Write("dropped", 7));
    }
    EXPECT_EQ("earlier", ReadFileText(destination));
    EXPECT_EQ(std::vector<std::string>{"list.txt"}, Names(dir.path()));

    std::string folderInPlace = dir.path() + "/folder";
    MakeFolders(folderInPlace);
    std::unique_ptr<ReplacementFile> file = ReplacementFile::Create(folderInPlace);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Write("x", 1));
    EXPECT_EQ(ReplacementFile::Outcome::kNotRenamed, file->Commit());
    file.reset();
    EXPECT_TRUE(std::filesystem::is_directory(folderInPlace));
    EXPECT_EQ(2u, Names(dir.path()).size());

    EXPECT_FALSE(ReplacementFile::Create(dir.path() + "/missing/list.txt"));
}

} // namespace
