// The instruction cache: direct mapping by the low five address bits, tags
// without a valid bit, the two counters and the stored record.
#include "cpu/ICache.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/Archive.h"
#include "core/StringEx.h"

namespace {

TEST(ICacheTest, LineAndTagDecideTheHit) {
    constexpr uint32_t kCleared = ~0u;
    // clang-format off
    struct { uint32_t filled, looked; bool hit; } const cases[] = {
        {kCleared, 0x000010, true},  // a cleared line answers 0x00-0x1F with 0
        {kCleared, 0x000020, false}, {0x000123, 0x000123, true},
        {0x000123, 0x000143, false},  // same line 3, other tag
        {0x000123, 0x000124, false},  // same tag 9, other line
        {0xFFFFF8, 0xFFFFF8, true},  {0xFFFFF8, 0x7FFFF8, false},
    };
    // clang-format on
    for (const auto& c : cases) {
        CICache cache;
        if (c.filled != kCleared) cache.Fill(c.filled, 0xABCDEF);
        uint32_t word = 0x123;
        EXPECT_EQ(cache.Lookup(c.looked, word), c.hit) << FormatText("%06X", c.looked);
        EXPECT_EQ(word, !c.hit ? 0x123u : c.filled == kCleared ? 0u : 0xABCDEFu);
        EXPECT_EQ(cache.GetAttempts(), 1u);
        EXPECT_EQ(cache.GetMisses(), c.hit ? 0u : 1u);
    }
}

// 32 groups of data, tag, attempts, misses; the last group's counters remain.
TEST(ICacheTest, StoredRecord) {
    CArchive out;
    for (uint32_t group = 0; group < 32; ++group) {
        out.WriteU32(0x10000 + group);
        out.WriteU32(group * 3);
        out.WriteU32(100 + group);
        out.WriteU32(200 + group);
    }
    CICache cache;
    CArchive in(out.Data());
    cache.Serialize(in);
    EXPECT_EQ(cache.Fill(0x000143, 2), 3) << "fill replaces line 3";
    CArchive again;
    cache.Serialize(again);
    CArchive peek(again.Data());
    std::vector<uint32_t> groups[32];
    for (auto& group : groups) {
        for (int i = 0; i < 4; ++i)
            group.push_back(peek.ReadU32());
    }
    EXPECT_EQ(groups[1], (std::vector<uint32_t>{0x10001, 3, 131, 231}));
    EXPECT_EQ(groups[3], (std::vector<uint32_t>{2, 0xA, 131, 231}));
    cache.Clear();
    EXPECT_EQ(cache.GetData(1) + cache.GetTag(1) + cache.GetAttempts() + cache.GetMisses(), 0u);
}

}  // namespace
