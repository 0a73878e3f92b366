// The instruction cache: direct mapping by the low five address bits, tags
// without a valid bit, the two counters and the stored record.
#include <gtest/gtest.h>

#include "core/Archive.h"
#include "cpu/ICache.h"

namespace {

TEST(ICacheTest, ClearedLinesAnswerTheFirst32AddressesWithZero) {
    CICache cache;
    uint32_t word = 0x123;
    EXPECT_TRUE(cache.Lookup(0x10, word));
    EXPECT_EQ(word, 0u);
    word = 0x123;
    EXPECT_FALSE(cache.Lookup(0x20, word));
    EXPECT_EQ(word, 0x123u) << "a miss leaves the word alone";
    EXPECT_EQ(cache.GetAttempts(), 2u);
    EXPECT_EQ(cache.GetMisses(), 1u);
}

struct SFillCase {
    uint32_t filled;
    uint32_t looked;
    bool hit;
};

class ICacheFillTest : public ::testing::TestWithParam<SFillCase> {};

TEST_P(ICacheFillTest, LineAndTagDecideTheHit) {
    CICache cache;
    cache.Fill(GetParam().filled, 0xABCDEF);
    uint32_t word = 0;
    EXPECT_EQ(cache.Lookup(GetParam().looked, word), GetParam().hit);
    EXPECT_EQ(word, GetParam().hit ? 0xABCDEFu : 0u);
}

INSTANTIATE_TEST_SUITE_P(Addresses, ICacheFillTest,
                         ::testing::Values(SFillCase{0x000123, 0x000123, true},
                                           // same line 3, other tag
                                           SFillCase{0x000123, 0x000143, false},
                                           // same tag 9, other line
                                           SFillCase{0x000123, 0x000124, false},
                                           SFillCase{0xFFFFF8, 0xFFFFF8, true},
                                           SFillCase{0xFFFFF8, 0x7FFFF8, false}));

TEST(ICacheTest, FillReplacesTheLinesWord) {
    CICache cache;
    EXPECT_EQ(cache.Fill(0x000123, 1), 3);
    EXPECT_EQ(cache.GetTag(3), 0x9u);
    EXPECT_EQ(cache.Fill(0x000143, 2), 3);
    EXPECT_EQ(cache.GetTag(3), 0xAu);
    EXPECT_EQ(cache.GetData(3), 2u);
    cache.Clear();
    EXPECT_EQ(cache.GetTag(3), 0u);
    EXPECT_EQ(cache.GetData(3), 0u);
}

TEST(ICacheTest, StoredAndReloadedCacheKeepsLinesAndCounters) {
    CICache cache;
    for (uint32_t line = 0; line < 32; ++line)
        cache.Fill(0x1000 * line + line, 0x10000 + line);
    uint32_t word = 0;
    cache.Lookup(0x5005, word);
    cache.Lookup(0x6, word);
    CArchive out;
    cache.Serialize(out);
    ASSERT_EQ(out.Data().size(), 32u * 16u);
    // group 1: data, tag, attempts, misses
    CArchive peek(out.Data());
    for (int i = 0; i < 4; ++i)
        peek.ReadU32();
    EXPECT_EQ(peek.ReadU32(), 0x10001u);
    EXPECT_EQ(peek.ReadU32(), 0x1001u >> 5);
    EXPECT_EQ(peek.ReadU32(), 2u);
    EXPECT_EQ(peek.ReadU32(), 1u);

    CICache loaded;
    CArchive in(out.Data());
    loaded.Serialize(in);
    ASSERT_FALSE(in.Failed());
    for (int line = 0; line < 32; ++line) {
        EXPECT_EQ(loaded.GetData(line), cache.GetData(line));
        EXPECT_EQ(loaded.GetTag(line), cache.GetTag(line));
    }
    EXPECT_EQ(loaded.GetAttempts(), 2u);
    EXPECT_EQ(loaded.GetMisses(), 1u);
}

TEST(ICacheTest, CountersOfTheLastGroupRemain) {
    CArchive out;
    for (uint32_t group = 0; group < 32; ++group) {
        out.WriteU32(group);
        out.WriteU32(0);
        out.WriteU32(100 + group);
        out.WriteU32(200 + group);
    }
    CICache cache;
    CArchive in(out.Data());
    cache.Serialize(in);
    EXPECT_EQ(cache.GetAttempts(), 131u);
    EXPECT_EQ(cache.GetMisses(), 231u);
    EXPECT_EQ(cache.GetData(31), 31u);
}

}  // namespace
