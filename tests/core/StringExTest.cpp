#include "core/StringEx.h"

#include <gtest/gtest.h>

namespace {

TEST(StringExTest, AppendsAndCountsWithoutCutting) {
    std::string text = "A9 ";
    EXPECT_EQ(AppendFormat(text, "%02X ", 5), 3);
    EXPECT_EQ(AppendFormat(text, "%s", ""), 0);
    EXPECT_EQ(text, "A9 05 ");
    const std::string long_text(1000, 'z');
    EXPECT_EQ(AppendFormat(text, "<%s>", long_text.c_str()), 1002);
    EXPECT_EQ(text, "A9 05 <" + long_text + ">");
    EXPECT_EQ(FormatText("%06lX", 0xABCDEul), "0ABCDE");
}

}  // namespace
