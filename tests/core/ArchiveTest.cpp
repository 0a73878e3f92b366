// The archive's primitive encodings and its bounded reading.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Archive.h"

namespace {

TEST(ArchiveTest, StringLengthPrefixByLengthAndRoundTrip) {
    struct {
        size_t length;
        std::vector<uint8_t> prefix;
    } const cases[] = {{0, {0}},
                       {254, {0xFE}},
                       {255, {0xFF, 0xFF, 0x00}},
                       {300, {0xFF, 0x2C, 0x01}},
                       {0xFFFD, {0xFF, 0xFD, 0xFF}},
                       {0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
                       {0x10000, {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string text(c.length, 'x');
        CArchive out;
        out.WriteString(text);
        ASSERT_EQ(out.Data().size(), c.prefix.size() + text.size());
        EXPECT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), out.Data().begin()));
        CArchive in(out.Data());
        EXPECT_EQ(in.ReadString(), text);
        EXPECT_EQ(in.Remaining(), 0u);
        EXPECT_FALSE(in.Failed());
    }
    const std::vector<uint8_t> wide = {0xFF, 0xFE, 0xFF, 3, 'a', 0, 'b', 0, 0x34, 0x12};
    CArchive in(wide);
    EXPECT_EQ(in.ReadString(), "ab?");
    EXPECT_FALSE(in.Failed());
}

TEST(ArchiveTest, ShortDataFailsWithZerosAndStaysFailed) {
    // The archive reads the caller's bytes in place: they outlive it.
    const std::vector<uint8_t> threeBytes{1, 2, 3};
    CArchive shortInt(threeBytes);
    EXPECT_EQ(shortInt.ReadU32(), 0u);
    EXPECT_TRUE(shortInt.Failed());
    EXPECT_FALSE(shortInt.Error().empty());
    EXPECT_EQ(shortInt.ReadU16(), 0u);  // nothing is read once failed
    // A string longer than the data fails without allocating it.
    const std::vector<uint8_t> hugeLength{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a'};
    CArchive longString(hugeLength);
    EXPECT_EQ(longString.ReadString(), "");
    EXPECT_TRUE(longString.Failed());
}

TEST(ArchiveTest, TransferWritesEveryIntegerAsFourBytes) {
    bool flag = true;
    int32_t negative = -1;
    uint8_t small = 0xAB;
    Relaxed<uint32_t> shared{0x01020304};
    CArchive out;
    out.Transfer(flag);
    out.Transfer(negative);
    out.Transfer(small);
    out.Transfer(shared);
    const std::vector<uint8_t> expected = {1,    0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,
                                           0xAB, 0, 0, 0, 4,    3,    2,    1};
    EXPECT_EQ(out.Data(), expected);
    CArchive in(out.Data());
    flag = false, negative = 0, small = 0, shared = 0;
    in.Transfer(flag);
    in.Transfer(negative);
    in.Transfer(small);
    in.Transfer(shared);
    EXPECT_TRUE(flag && negative == -1 && small == 0xAB && shared.Load() == 0x01020304u);
}

}  // namespace
