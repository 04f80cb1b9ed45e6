// The list files as something other than files.
#include <sys/stat.h>

#include "firmware_home.h"

namespace {

using ListFilesFault = FirmwareHome;

TEST_F(ListFilesFault, FolderOrPipeInPlaceOfAListIsNoListInsteadOfAnAbortOrAHang)
{
    MakeFolders(tarProductIdPath);
    ASSERT_EQ(0, mkfifo(fwVerInfoTxtPath.c_str(), 0644));
    blackList = {0x1234};

    EXPECT_FALSE(ValidateFileVersion(tarProductIdPath, "091"));
    EXPECT_FALSE(ValidateFileVersion(fwVerInfoTxtPath, "091"));
    EXPECT_TRUE(UpdateTarProductIdList());
    EXPECT_TRUE(blackList.empty());
    AddDevice("Deck Unit 2", 0x0100);
    EXPECT_FALSE(UpdateFirmware(&devices_.list));
    EXPECT_FALSE(UpdateFwVerTidewell(&devices_.list));

    std::string log = home_.Log();
    EXPECT_NE(std::string::npos, log.find("[WRN] file open error.tar_product_info.txt\n"));
    EXPECT_NE(std::string::npos, log.find("[WRN] file open error.firm_version_info.txt\n"));
}

TEST_F(ListFilesFault, HugeLineIsGivenUpInsteadOfHoldingTheDecisionForHours)
{
    std::string junk;
    for (int i = 0; i < 50000; ++i) {
        junk += "a, 1, mac, ";
    }
    std::string url = "https://fw/" + std::string(1000, 'u') + ".bin";
    WriteFileText(fwVerInfoTxtPath, "FormatVersion:091\n" + junk + "\nDeck Unit 2, 124, mac, " + url + "\n");
    AddDevice("Deck Unit 2", 0x0110);
    EXPECT_TRUE(UpdateFirmware(&devices_.list));
    EXPECT_EQ("Deck Unit 2,1.10,1.24," + url + "\n", HandOff());
}

} // namespace
