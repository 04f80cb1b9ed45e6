#include <gtest/gtest.h>

#include "download_folder.h"

namespace {

// A package's name comes from a server: it stays in the download folder, shows, and is valid UTF-8.
TEST(PackageFileName, StaysInTheFolderAndShows)
{
    std::string hundred;  // 200 bytes
    for (int i = 0; i < 100; ++i) {
        hundred += "\xc3\xa9";
    }
    const std::pair<std::string, std::string> cases[] = {
        {"https://h/fw/Deck%20Unit.bin", "Deck Unit.bin"},
        {"https://h/x.bin?name=../y#z", "x.bin"},
        {"https://h/a/..%2F..%2Fetc%2fpasswd", "_.._etc_passwd"},
        {"https://h/%2e%2e", "package"},
        {"https://h/", "package"},
        {"https://h", "package"},
        {"https://h/a%0Ab%00c%7", "a_b_c%7"},
        {"https://h/" + hundred + "\xc3\xa9", hundred},
        {"https://h/x%C3.bin", "x\xef\xbf\xbd.bin"},
    };
    for (const auto& [url, name] : cases) {
        EXPECT_EQ(name, fetchwick::PackageFileName(url)) << url;
    }
}

} // namespace
