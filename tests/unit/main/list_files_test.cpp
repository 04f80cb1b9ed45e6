#include "firmware_home.h"

#include <vector>

namespace {

class ListFiles : public FirmwareHome {
protected:
    // The ids the list file holds as it stands; the seeded 9999 shows a list left unread.
    std::vector<int> ListedIds()
    {
        blackList = {9999};
        EXPECT_TRUE(UpdateTarProductIdList());
        return std::vector<int>(blackList.begin(), blackList.end());
    }
    std::vector<int> TargetIds(const std::string& text)
    {
        WriteFileText(tarProductIdPath, text);
        return ListedIds();
    }
};

TEST_F(ListFiles, HeaderVariants)
{
    struct Case {
        const char* text;
        bool valid;
        const char* message;
    };
    const Case cases[] = {
        {"FormatVersion:091\nx", true, ""},
        {"formatversion:091\r\nx", true, ""},
        {"FormatVersion: 091\n", false, "file(tar_product_info.txt) format version unkown : line= FormatVersion: 091\n"},
        {"FormatVersion:091 \n", false, "file(tar_product_info.txt) version unmatch (091 ).\n"},
        {"FormatVersion:090", false, "file(tar_product_info.txt) version unmatch (090).\n"},
        {"Deck,14972,1\nFormatVersion:091\n", false, "format version unkown : line= Deck,14972,1\n"},
        {"", false, "file(tar_product_info.txt) format version unkown : line= \n"},
        // The header check splits at CR before LF: the header line ends at the CR.
        {"FormatVersion:091\rx\ny", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        unlink(home_.LogPath().c_str());
        WriteFileText(tarProductIdPath, c.text);
        EXPECT_EQ(c.valid, ValidateFileVersion(tarProductIdPath, "091"));
        EXPECT_NE(std::string::npos, home_.Log().find(c.message));
        EXPECT_EQ(c.valid, home_.Log().find("[ERR]") == std::string::npos);
    }
}

TEST_F(ListFiles, UnreadableListsAreMissingOrNotUtf8)
{
    EXPECT_FALSE(ValidateFileVersion(tarProductIdPath, "091"));
    EXPECT_NE(std::string::npos, home_.Log().find("[WRN] file open error.tar_product_info.txt\n"));

    WriteFileText(tarProductIdPath, "FormatVersion:091\nDeck \xff Unit,14972,4660\n");
    EXPECT_FALSE(ValidateFileVersion(tarProductIdPath, "091"));
    EXPECT_TRUE(ListedIds().empty());
    EXPECT_NE(std::string::npos, home_.Log().find("target list count=0\n"));
}

TEST_F(ListFiles, TargetRows)
{
    EXPECT_EQ((std::vector<int>{4660, 0, 4464, 4660, 7, 1}),
              TargetIds("FormatVersion:091\n"
                        "Deck Unit 2,14972,04660\n"
                        "Deck Unit 2, 14972 , 4661\n"
                        "Other Maker,1234,17\n"
                        "Deck Unit 2, 14972,\n"
                        "Big Id,14972,  70000 trailing\n"
                        "Again,14972,4660\n"
                        " Leading blank,14972,7\n" // unanchored: the match starts at "L"
                        "Mixer (B), 14972, 1\n"));
    EXPECT_NE(std::string::npos, home_.Log().find("target list count=6\n"));
    // Beyond 32 bits the reading saturates before the low 16 bits are kept.
    EXPECT_EQ((std::vector<int>{-1}), TargetIds("Huge,14972,99999999999999999999"));
}

TEST_F(ListFiles, LineEndsOfTheRowReaders)
{
    const std::vector<int> expected{4660, 4661};
    EXPECT_EQ(expected, TargetIds("FormatVersion:091\nA,14972,4660\nB,14972,4661\n"));
    EXPECT_EQ(expected, TargetIds("FormatVersion:091\r\nA,14972,4660\r\nB,14972,4661"));
    EXPECT_EQ(expected, TargetIds("FormatVersion:091\rA,14972,4660\rB,14972,4661\r"));
    // With CR LF present, bare-LF lines between them form one line: only its first row counts.
    EXPECT_EQ((std::vector<int>{4660, 4662}),
              TargetIds("FormatVersion:091\r\nA,14972,4660\nB,14972,4661\r\nC,14972,4662\r\n"));
}

} // namespace
