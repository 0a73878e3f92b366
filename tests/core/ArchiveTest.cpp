// The archive's primitive encodings and its bounded reading.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Archive.h"

namespace {

struct SStringCase {
    size_t length;
    std::vector<uint8_t> prefix;
};

class ArchiveStringTest : public ::testing::TestWithParam<SStringCase> {};

TEST_P(ArchiveStringTest, LengthPrefixByLengthAndRoundTrip) {
    const std::string text(GetParam().length, 'x');
    CArchive out;
    out.WriteString(text);
    const auto& data = out.Data();
    ASSERT_EQ(data.size(), GetParam().prefix.size() + text.size());
    EXPECT_TRUE(std::equal(GetParam().prefix.begin(), GetParam().prefix.end(), data.begin()));

    CArchive in(data);
    EXPECT_EQ(in.ReadString(), text);
    EXPECT_FALSE(in.Failed());
    EXPECT_EQ(in.Remaining(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, ArchiveStringTest,
    ::testing::Values(SStringCase{0, {0}}, SStringCase{12, {12}}, SStringCase{254, {0xFE}},
                      SStringCase{255, {0xFF, 0xFF, 0x00}}, SStringCase{300, {0xFF, 0x2C, 0x01}},
                      SStringCase{0xFFFD, {0xFF, 0xFD, 0xFF}},
                      SStringCase{0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
                      SStringCase{0x10000, {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00}}));

TEST(ArchiveTest, WideStringMarkerIsAccepted) {
    const std::vector<uint8_t> data = {0xFF, 0xFE, 0xFF, 3, 'a', 0, 'b', 0, 0x34, 0x12};
    CArchive in(data);
    EXPECT_EQ(in.ReadString(), "ab?");
    EXPECT_FALSE(in.Failed());
}

TEST(ArchiveTest, ShortDataFailsWithZerosAndStaysFailed) {
    const std::vector<uint8_t> data = {1, 2, 3};
    CArchive in(data);
    EXPECT_EQ(in.ReadU32(), 0u);
    EXPECT_TRUE(in.Failed());
    EXPECT_FALSE(in.Error().empty());
    EXPECT_EQ(in.ReadU16(), 0u);  // nothing is read once failed
}

TEST(ArchiveTest, StringLongerThanTheDataFailsWithoutAllocatingIt) {
    const std::vector<uint8_t> data = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a'};
    CArchive in(data);
    EXPECT_EQ(in.ReadString(), "");
    EXPECT_TRUE(in.Failed());
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
    bool f = false;
    int32_t n = 0;
    uint8_t s = 0;
    Relaxed<uint32_t> r;
    in.Transfer(f);
    in.Transfer(n);
    in.Transfer(s);
    in.Transfer(r);
    EXPECT_TRUE(f);
    EXPECT_EQ(n, -1);
    EXPECT_EQ(s, 0xAB);
    EXPECT_EQ(r.Load(), 0x01020304u);
}

}  // namespace
