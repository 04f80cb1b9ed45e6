#include <gtest/gtest.h>

#include <dirent.h>

#include "platform/plist_file.h"
#include "test_home.h"

namespace {

std::string XmlDict(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + body + "</dict></plist>\n";
}

int FilesIn(const std::string& folder)
{
    int count = 0;
    DIR* dir = opendir(folder.c_str());
    while (dirent* entry = readdir(dir)) {
        count += entry->d_name[0] != '.';
    }
    closedir(dir);
    return count;
}

TEST(PlistFileTest, MergeKeepsForeignKeysAndReplacesOwnOnes)
{
    TempDir dir;
    std::string path = dir.path() + "/prefs.plist";
    WriteFileText(path, XmlDict("<key>FwInterval</key><integer>7</integer><key>lastCheckDate</key><string>old</string>"
                                "<key>Other</key><array><string>x</string></array>"));

    ASSERT_TRUE(platform::MergeIntoPlistFile(path, [](plist_t dict) {
        plist_dict_set_item(dict, "lastCheckDate", plist_new_string("new"));
    }));

    platform::PlistPtr dict = platform::ReadPlistDictionary(path);
    ASSERT_TRUE(dict);
    std::string value;
    EXPECT_TRUE(platform::PlistDictString(dict.get(), "lastCheckDate", value));
    EXPECT_EQ("new", value);
    uint64_t interval = 0;
    plist_get_uint_val(plist_dict_get_item(dict.get(), "FwInterval"), &interval);
    EXPECT_EQ(7u, interval);
    EXPECT_EQ(1u, plist_array_get_size(plist_dict_get_item(dict.get(), "Other")));
    EXPECT_EQ(1, FilesIn(dir.path())) << "no temporary file is left behind";
}

TEST(PlistFileTest, ReadsBinaryAndRejectsWhatIsNoDictionary)
{
    TempDir dir;
    platform::PlistPtr source(plist_new_dict());
    plist_dict_set_item(source.get(), "doesSend", plist_new_uint(1));
    char* bin = nullptr;
    uint32_t length = 0;
    plist_to_bin(source.get(), &bin, &length);
    WriteFileText(dir.path() + "/bin.plist", std::string(bin, length));
    plist_to_bin_free(bin);
    EXPECT_TRUE(platform::ReadPlistDictionary(dir.path() + "/bin.plist"));

    WriteFileText(dir.path() + "/array.plist",
                  "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>");
    WriteFileText(dir.path() + "/garbage.plist", "not a plist at all");
    WriteFileText(dir.path() + "/empty.plist", "");
    for (const char* name : {"array.plist", "garbage.plist", "empty.plist", "missing.plist"}) {
        EXPECT_FALSE(platform::ReadPlistDictionary(dir.path() + "/" + name)) << name;
    }
}

TEST(PlistFileTest, MissingFolderIsReportedAsFailure)
{
    TempDir dir;
    EXPECT_FALSE(platform::MergeIntoPlistFile(dir.path() + "/no/such/folder/prefs.plist", [](plist_t) {}));
    EXPECT_FALSE(platform::ReplaceFileAtomically(dir.path() + "/no/such/file", "x"));
}

TEST(PlistFileTest, GarbageFileIsReplacedByAFreshDictionary)
{
    TempDir dir;
    std::string path = dir.path() + "/prefs.plist";
    WriteFileText(path, "\x01\x02 garbage");
    ASSERT_TRUE(platform::MergeIntoPlistFile(path, [](plist_t dict) {
        plist_dict_set_item(dict, "doesSend", plist_new_uint(0));
    }));
    platform::PlistPtr dict = platform::ReadPlistDictionary(path);
    ASSERT_TRUE(dict);
    EXPECT_EQ(1u, plist_dict_get_size(dict.get()));
}

} // namespace
