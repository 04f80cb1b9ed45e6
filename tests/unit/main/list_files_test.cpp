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
    peakHeld = std::max(peakHeld.load(), held += malloc_usable_size(block));
    return block != nullptr ? block : throw std::bad_alloc();
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

// A pipe is no list instead of a hang. A list of 4 MiB costs little time and at most 16 MiB of heap more than a
// small one, whether its rows make a backtracking engine retry at every comma or are many (scanned in place, not
// a string each); genuine rows at its end, with a 4 KiB address, still count.
TEST_F(ListFiles, HostileFiles)
{
    oslib::MutexLock guard(_lock);
    ASSERT_EQ(0, mkfifo(fwVerInfoTxtPath.c_str(), 0644));
    devices_.Add(0, "Deck Unit 2", nullptr, 0x0110);
    EXPECT_FALSE(UpdateFirmware(&devices_.list));

    unlink(fwVerInfoTxtPath.c_str());
    const auto fill = [](const std::function<std::string(size_t)>& unit) {
        std::string rows;
        for (size_t at = 0; rows.size() < 4 * 1024 * 1024 - 8 * 1024; ++at) {
            rows += unit(at);
        }
        return rows;
    };
    const std::string units[] = {"a,1,", "a,", "a,1,mac,https://", "a,14972"};
    const std::string lists[] = {"", fill([&](size_t at) { return at % 385 == 384 ? "\n" : units[at / 385 % 4]; }),
                                 fill([](size_t) { return "\n"; }), fill([](size_t) { return "a,1,mac,https://x\n"; })};
    const std::string url = "https://fw/" + std::string(4096 - 15, 'u') + ".bin";
    for (const std::string& rows : lists) {
        SCOPED_TRACE(rows.substr(0, 20));
        WriteFileText(fwVerInfoTxtPath, "FormatVersion:091\n" + rows + "\nDeck Unit 2, 124, mac, " + url + "\n");
        WriteFileText(tarProductIdPath, "FormatVersion:091\n" + rows + "\nDeck Unit 2,14972,4660\n");
        const size_t before = peakHeld = held.load();
        std::clock_t start = std::clock();
        EXPECT_TRUE(ValidateFileVersion(tarProductIdPath, "091"));
        UpdateTarProductIdList();
        EXPECT_TRUE(UpdateFirmware(&devices_.list));
        // A second a pass is the budget; sanitizers take several times what a release build does.
        EXPECT_LT(std::clock() - start, 5 * CLOCKS_PER_SEC);
        EXPECT_LE(peakHeld - before, 16u << 20);
        EXPECT_EQ(std::vector<int16_t>{4660}, blackList);
        EXPECT_EQ("Deck Unit 2,1.10,1.24," + url + "\n", HandOff());
    }

    // Genuine rows for the one device: each counts, the first 64 comparisons are logged.
    std::string flood = "FormatVersion:091\n";
    for (int row = 0; row < 100; ++row) {
        flood += "Deck Unit 2, 124, mac, https://fw/d.bin\n";
    }
    WriteFileText(fwVerInfoTxtPath, flood);
    UpdateFirmware(&devices_.list);
    EXPECT_EQ(100 * std::strlen("Deck Unit 2,1.10,1.24,https://fw/d.bin\n"), HandOff().size());
    EXPECT_EQ(4u + 64u, Count(home_.Log(), "curVer:"));
    EXPECT_EQ(1u, Count(home_.Log(), "] 36 more version comparisons not logged\n"));
}

} // namespace
