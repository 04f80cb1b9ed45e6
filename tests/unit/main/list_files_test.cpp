#include "agent_home.h"

#include <sys/stat.h>
#include <vector>

namespace {

class ListFiles : public AgentHome {
protected:
    // The ids the target list holds; the seeded 9999 shows a list left unread.
    std::vector<int> TargetIds(const std::string& text)
    {
        WriteFileText(tarProductIdPath, text);
        blackList = {9999};
        EXPECT_TRUE(UpdateTarProductIdList());
        return std::vector<int>(blackList.begin(), blackList.end());
    }
};

TEST_F(ListFiles, HeaderVariants)
{
    // A null text: no file.
    const struct { const char* text; bool valid; const char* message; } cases[] = {
        {nullptr, false, "[WRN] file open error.tar_product_info.txt\n"},
        {"FormatVersion:091\nx", true, ""},
        {"formatversion:091\r\nx", true, ""},
        {"FormatVersion: 091\n", false, "file(tar_product_info.txt) format version unkown : line= FormatVersion: 091\n"},
        {"FormatVersion:091 \n", false, "file(tar_product_info.txt) version unmatch (091 ).\n"},
        {"", false, "file(tar_product_info.txt) format version unkown : line= \n"},
        {"FormatVersion:091\nDeck \xff Unit,14972,4660\n", false, ""}, // not UTF-8
        // The header check splits at CR before LF: the header line ends at the CR.
        {"FormatVersion:091\rx\ny", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text == nullptr ? "(none)" : c.text);
        unlink(home_.LogPath().c_str());
        unlink(tarProductIdPath.c_str());
        if (c.text != nullptr) {
            WriteFileText(tarProductIdPath, c.text);
        }
        EXPECT_EQ(c.valid, ValidateFileVersion(tarProductIdPath, "091"));
        EXPECT_NE(std::string::npos, home_.Log().find(c.message));
    }
}

// Rows match unanchored (" Leading blank" from "L"); an empty id reads 0, a huge one
// saturates before its low 16 bits are kept.
TEST_F(ListFiles, TargetRows)
{
    const struct { const char* text; std::vector<int> ids; } cases[] = {
        {"FormatVersion:091\nDeck Unit 2,14972,04660\nDeck Unit 2, 14972 , 4661\nOther Maker,1234,17\nA, 14972,\n"
         "Big Id,14972,  70000 trailing\n Leading blank,14972,7\nMixer (B), 14972, 1\nHuge,14972,99999999999999999999",
         {4660, 0, 4464, 7, 1, -1}},
        {"FormatVersion:091\rA,14972,4660\rB,14972,4661\r", {4660, 4661}},
        // With CR LF present, bare-LF lines between them form one line: only its first row counts.
        {"FormatVersion:091\r\nA,14972,4660\nB,14972,4661\r\nC,14972,4662", {4660, 4662}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.ids, TargetIds(c.text));
    }
}

// A folder or a pipe is no list instead of an abort or a hang; a huge line is given up
// instead of holding the decision for hours.
TEST_F(ListFiles, HostileFiles)
{
    MakeFolders(tarProductIdPath);
    ASSERT_EQ(0, mkfifo(fwVerInfoTxtPath.c_str(), 0644));
    blackList = {0x1234};

    EXPECT_FALSE(ValidateFileVersion(tarProductIdPath, "091"));
    EXPECT_FALSE(ValidateFileVersion(fwVerInfoTxtPath, "091"));
    EXPECT_TRUE(UpdateTarProductIdList());
    EXPECT_TRUE(blackList.empty());
    devices_.Add(0, "Deck Unit 2", nullptr, 0x0110);
    EXPECT_FALSE(UpdateFirmware(&devices_.list));

    unlink(fwVerInfoTxtPath.c_str());
    std::string junk;
    for (int i = 0; i < 50000; ++i) {
        junk += "a, 1, mac, ";
    }
    std::string url = "https://fw/" + std::string(1000, 'u') + ".bin";
    WriteFileText(fwVerInfoTxtPath, "FormatVersion:091\n" + junk + "\nDeck Unit 2, 124, mac, " + url + "\n");
    EXPECT_TRUE(UpdateFirmware(&devices_.list));
    EXPECT_EQ("Deck Unit 2,1.10,1.24," + url + "\n", HandOff());
}

} // namespace
