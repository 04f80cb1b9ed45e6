#include "agent_home.h"

#include <cstring>
#include <ctime>
#include <malloc.h>
#include <vector>

#include "main/list_files.h"
#include "main/update_decision.h"

// The heap that operator new holds, and the most it held since `peakHeld` was last set.
static std::atomic<size_t> held{0}, peakHeld{0};
void* operator new(size_t size)
{
    void* block = std::malloc(size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    peakHeld = std::max(peakHeld.load(), held += malloc_usable_size(block));
    return block;
}
void operator delete(void* block) noexcept
{
    held -= malloc_usable_size(block);
    std::free(block);
}
void operator delete(void* block, size_t) noexcept { operator delete(block); }

namespace {

using ListFiles = AgentHome;

TEST_F(ListFiles, HeaderVariants)
{
    // The header line ends at a CR even before an LF.
    const std::pair<const char*, bool> cases[] = {
        {"formatversion:091\r\nx", true}, {"FormatVersion:091\rx\ny", true},
        {"FormatVersion: 091\n", false}, {"FormatVersion:091 \n", false},
        {"FormatVersion:091\nDeck \xff Unit,14972,4660\n", false}, // not UTF-8
    };
    for (const auto& [text, valid] : cases) {
        SCOPED_TRACE(text);
        WriteFileText(tarProductIdPath, text);
        EXPECT_EQ(valid, ValidateFileVersion(tarProductIdPath, "091"));
    }
}

// Rows match unanchored (" Leading blank" from "L"); an empty id reads 0, a huge one
// saturates before its low 16 bits are kept.
TEST_F(ListFiles, TargetRows)
{
    oslib::MutexLock guard(_lock);
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
        WriteFileText(tarProductIdPath, c.text);
        blackList = {9999}; // left in place by a list left unread
        EXPECT_TRUE(UpdateTarProductIdList());
        EXPECT_EQ(c.ids, std::vector<int>(blackList.begin(), blackList.end()));
    }
}

// A pipe is no list instead of a hang. Lists of 4 MiB whose rows make a backtracking engine
// retry at every comma cost little, and their genuine rows, with a 4 KiB address, still count.
TEST_F(ListFiles, HostileFiles)
{
    oslib::MutexLock guard(_lock);
    ASSERT_EQ(0, mkfifo(fwVerInfoTxtPath.c_str(), 0644));
    devices_.Add(0, "Deck Unit 2", nullptr, 0x0110);
    EXPECT_FALSE(UpdateFirmware(&devices_.list));

    unlink(fwVerInfoTxtPath.c_str());
    std::string crafted = "FormatVersion:091\n";
    const std::string units[] = {"a,1,", "a,", "a,1,mac,https://", "a,14972"};
    for (size_t at = 0; crafted.size() < 4 * 1024 * 1024 - 8 * 1024; ++at) {
        crafted += at % 385 == 384 ? "\n" : units[at / 385 % 4];  // rows of 0.7 to 6 KB
    }
    const std::string url = "https://fw/" + std::string(4096 - 15, 'u') + ".bin";
    WriteFileText(fwVerInfoTxtPath, crafted + "\nDeck Unit 2, 124, mac, " + url + "\n");
    WriteFileText(tarProductIdPath, crafted + "\nDeck Unit 2,14972,4660\n");
    std::clock_t start = std::clock();
    UpdateTarProductIdList();
    EXPECT_TRUE(UpdateFirmware(&devices_.list));
    // A second a pass is the budget; sanitizers take several times what a release build does.
    EXPECT_LT(std::clock() - start, 5 * CLOCKS_PER_SEC);
    EXPECT_EQ(std::vector<int16_t>{4660}, blackList);
    EXPECT_EQ("Deck Unit 2,1.10,1.24," + url + "\n", HandOff());

    // Genuine rows for the one device: each counts, the first 64 comparisons are logged.
    std::string flood = "FormatVersion:091\n";
    for (int row = 0; row < 100; ++row) {
        flood += "Deck Unit 2, 124, mac, https://fw/d.bin\n";
    }
    WriteFileText(fwVerInfoTxtPath, flood);
    UpdateFirmware(&devices_.list);
    EXPECT_EQ(100 * std::strlen("Deck Unit 2,1.10,1.24,https://fw/d.bin\n"), HandOff().size());
    EXPECT_EQ(1u + 64u, Count(home_.Log(), "curVer:"));
    EXPECT_EQ(1u, Count(home_.Log(), "] 36 more version comparisons not logged\n"));
}

// Any list of at most 4 MiB costs at most 16 MiB of heap more than a small one: rows are scanned in place.
TEST_F(ListFiles, MemoryBoundedByTheListCap)
{
    oslib::MutexLock guard(_lock);
    DeviceList none;
    devices_.Add(0, "Deck Unit 2", nullptr, 0x0110);
    const auto fill = [](const std::string& row) {
        std::string list = "FormatVersion:091\n";
        while (list.size() + row.size() <= 4 << 20) {
            list += row;
        }
        return list;
    };
    const std::string lists[] = {"FormatVersion:091\nDeck Unit 2,14972,1\n", fill("\n"), fill("\r"), fill("a,14972,1\n"),
                                 fill("a,1,mac,https://x\n"), fill("Tidewell,1,mac,https://x\n")};
    size_t small = 0;
    for (const std::string& list : lists) {
        SCOPED_TRACE(list.substr(18, 20));
        WriteFileText(tarProductIdPath, list);
        WriteFileText(fwVerInfoTxtPath, list);
        const size_t before = peakHeld = held.load();
        ValidateFileVersion(fwVerInfoTxtPath, "091");
        UpdateTarProductIdList();
        UpdateFirmware(&devices_.list);
        UpdateFwVerTidewell(&none.list);
        small = small != 0 ? small : peakHeld - before;
        EXPECT_LE(peakHeld - before, small + (16 << 20));
    }
}

} // namespace
