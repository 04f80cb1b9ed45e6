#include <gtest/gtest.h>

#include "oslib/hand_off.h"

namespace {

// Every row the agent writes reads back as written, commas in the product or the address included; a line
// of another form is no row. `product` null: not well-formed.
TEST(HandOff, RowsReadBackAsWritten)
{
    const struct { std::string line; const char* product; } rows[] = {
        {"Deck Unit 2,1.23,1.24,https://fw/d.bin", "Deck Unit 2"},
        {"A,B,1.00,1.05,HTTP://x/a,b", "A,B"},
        {"N,https://q,1.0,1.1,https://x/,1.0,1.1,y", "N,https://q"},
        {"Tidewell,1.0.0,1.02,https://t/u.pkg", "Tidewell"},
        {"Mixer,1.00,1.,https://m/1", "Mixer"},
        {",1.00,1.02,https://m/1", nullptr},
        {"\x01Pad,1.00,1.02,https://m/1", nullptr},
        {" Pad,1.00,1.02,https://m/1", " Pad"},  // the printable edges: a blank and "~" start a product, DEL not
        {"~Pad,1.00,1.02,https://m/1", "~Pad"},
        {"\x7fPad,1.00,1.02,https://m/1", nullptr},
        {"Pad,1.00,v1.02,https://m/1", nullptr},
        {"Pad,1.00,1.x2,https://m/1", nullptr},
        {"Pad,,1.02,https://m/1", nullptr},
        {"Pad,1.00,102,https://m/1", nullptr},
        {"Pad,1.00,1.02,ftp://m/1", nullptr},
        {"Pad,1.00,1.02,https://", nullptr},
        {"Pad,1.00,https://m/1", nullptr},
        {"", nullptr},
    };
    for (const auto& [line, product] : rows) {
        SCOPED_TRACE(line);
        fetchwick::HandOffRow row;
        ASSERT_EQ(product != nullptr, fetchwick::ParseHandOffRow(line, row));
        if (product != nullptr) {
            EXPECT_EQ(product, row.product);
            EXPECT_EQ(line, fetchwick::FormatHandOffRow(row));
        }
    }
}

} // namespace
