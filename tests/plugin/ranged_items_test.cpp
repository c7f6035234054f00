// The numeric edits of the settings dialog on real edit and up-down windows:
// the range comes from the up-down's caption, and every read and write of the
// edit is clamped to it.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "plugin/ranged_items.h"
#include "tests/plugin/settings_fixtures.h"

namespace {

constexpr int kEdit = 101;

struct ReadCase {
    const char* range;  // the up-down's caption; null for no up-down
    const char* text;   // the edit's text
    int32_t expected;
};

class RangedRead : public testing::TestWithParam<ReadCase> {};

TEST_P(RangedRead, ClampsTheEditsNumber)
{
    const ReadCase& c = GetParam();
    RangedItemsWindow window;
    ASSERT_NE(window.handle(), nullptr);
    window.addItem(kEdit, c.range, c.text);
    EXPECT_EQ(GetRangedItemValue(window.handle(), kEdit), c.expected)
        << "range \"" << (c.range ? c.range : "<none>") << "\", text \"" << c.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(Cases, RangedRead, testing::Values(
    // Within, below and above the range.
    ReadCase{"64,256,64", "100", 100}, ReadCase{"64,256,64", "64", 64}, ReadCase{"64,256,64", "256", 256},
    ReadCase{"64,256,64", "10", 64}, ReadCase{"64,256,64", "1000", 256}, ReadCase{"1,1000,80", "80", 80},
    // Not a number: reads 0, so the minimum.
    ReadCase{"64,256,64", "", 64}, ReadCase{"64,256,64", "abc", 64}, ReadCase{"64,256,64", "12abc", 64},
    ReadCase{"64,256,64", "-", 64}, ReadCase{"64,256,64", "0x80", 64}, ReadCase{"1,9,9", "   ", 1},
    // Blanks around the number and a plus sign are fine.
    ReadCase{"64,256,64", " 128 ", 128}, ReadCase{"1,9,9", "+7", 7},
    // Unsigned edits (minimum not negative): no minus, up to 4294967295.
    ReadCase{"64,256,64", "-5", 64}, ReadCase{"64,256,64", "4294967295", 256},
    ReadCase{"64,256,64", "3000000000", 256}, ReadCase{"64,256,64", "4294967296", 64},
    ReadCase{"64,256,64", "99999999999", 64},
    // Signed edits (negative minimum).
    ReadCase{"-50,50,0", "-20", -20}, ReadCase{"-50,50,0", "-100", -50}, ReadCase{"-50,50,0", "2147483647", 50},
    ReadCase{"-50,50,0", "-2147483648", -50}, ReadCase{"-50,50,0", "2147483648", 0},
    ReadCase{"-50,50,0", "-2147483649", 0}, ReadCase{"-50,50,0", "abc", 0},
    // Captions that do not parse keep 0..100 for what is missing.
    ReadCase{nullptr, "150", 100}, ReadCase{"", "150", 100}, ReadCase{"junk", "-3", 0}, ReadCase{"10", "5", 10},
    ReadCase{"10", "500", 100}, ReadCase{"10,20", "500", 20}, ReadCase{"10;20;30", "15", 15}));

TEST(RangedRead, TextLongerThanTheBufferIsNotANumber)
{
    // 300 zeros and a 7 would read as 0 if cut short; it is not a number we
    // can read whole, so it reads as the minimum.
    RangedItemsWindow window;
    window.addItem(kEdit, "1,9,9", (std::string(300, '0') + "7").c_str());
    EXPECT_EQ(GetRangedItemValue(window.handle(), kEdit), 1);
}

TEST(RangedRead, MissingEditReadsTheMinimum)
{
    RangedItemsWindow window;
    window.addItem(kEdit, "64,256,64");
    EXPECT_EQ(GetRangedItemValue(window.handle(), 102), 0);  // no up-down either: 0..100
    EXPECT_EQ(GetRangedItemValue(window.handle(), kEdit), 64);
}

struct WriteCase {
    const char* range;
    int32_t value;
    const char* expected;
};

class RangedWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(RangedWrite, WritesTheClampedValue)
{
    const WriteCase& c = GetParam();
    RangedItemsWindow window;
    window.addItem(kEdit, c.range, "unchanged");
    EXPECT_EQ(SetRangedItemValue(window.handle(), kEdit, c.value), 1);
    EXPECT_EQ(window.text(kEdit), c.expected) << "range \"" << (c.range ? c.range : "<none>") << "\", value "
                                              << c.value;
    // What was written reads back as the same value.
    EXPECT_EQ(std::to_string(GetRangedItemValue(window.handle(), kEdit)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, RangedWrite, testing::Values(
    WriteCase{"64,256,64", 200, "200"}, WriteCase{"64,256,64", 500, "256"}, WriteCase{"64,256,64", 10, "64"},
    WriteCase{"64,256,64", 256, "256"}, WriteCase{"64,256,64", 64, "64"}, WriteCase{"64,256,64", -5, "64"},
    WriteCase{"64,256,64", INT_MIN, "64"}, WriteCase{"64,256,64", INT_MAX, "256"},
    WriteCase{"1,100,8", 500, "100"}, WriteCase{"1,1000,80", 1000, "1000"}, WriteCase{"1,9,9", 0, "1"},
    WriteCase{"-50,50,0", -20, "-20"}, WriteCase{"-50,50,0", -100, "-50"}, WriteCase{"-50,50,0", INT_MAX, "50"},
    WriteCase{"-50,50,0", INT_MIN, "-50"}, WriteCase{nullptr, 150, "100"}, WriteCase{"", -1, "0"},
    WriteCase{"junk", 42, "42"}));

}  // namespace
