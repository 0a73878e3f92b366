#include <gtest/gtest.h>

#include <set>

#include "core/Archive.h"
#include "core/Breakpoints.h"

namespace {

TEST(BreakpointsTest, RemoveClosesUpAndCapacityIsThirty) {
    CBreakpoints set;
    for (uint32_t i = 1; i <= 30; ++i)
        EXPECT_TRUE(set.Add(i * 0x10));
    EXPECT_FALSE(set.Add(0x1000));
    EXPECT_FALSE(set.Contains(0x1000));
    set.Remove(0x10);
    set.Remove(0x999);
    EXPECT_EQ(set.GetCount(), 29);
    EXPECT_EQ(set.GetAt(0), 0x20u);
    EXPECT_EQ(set.GetAt(28), 0x1E0u);
    EXPECT_EQ(set.GetAt(29), 0xFFFFFFFFu);
    EXPECT_EQ(set.GetAt(-1), 0xFFFFFFFFu);
    EXPECT_TRUE(set.Add(0x1000));
    set.RemoveAll();
    EXPECT_FALSE(set.HasBreakpoints() || set.Contains(0x20));
}

// The run thread's test agrees with the set through any sequence of edits,
// and the range and blocks a run tests first hold every address of it.
TEST(BreakpointsTest, HasAgreesWithTheSetAfterEveryEdit) {
    CBreakpoints set;
    std::set<uint32_t> model;
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245 + 12345; };
    for (int edit = 0; edit < 2000; ++edit) {
        const uint32_t address = (next() >> 8) % 0x300 * (edit % 3 == 0 ? 0x101 : 1);
        if (next() & 0x100) {
            if (set.Add(address)) model.insert(address);
        } else if (next() & 0x200) {
            set.Remove(address);
            model.erase(address);
        } else if (edit % 97 == 0) {
            set.RemoveAll();
            model.clear();
        }
        for (uint32_t a = 0; a < 0x300; a += 7)
            ASSERT_EQ(set.Has(a), model.contains(a)) << edit << " " << a;
        for (const uint32_t a : model) {
            ASSERT_TRUE(set.Has(a)) << edit << " " << a;
            ASSERT_LE(a - set.GetLowest(), set.GetSpan()) << edit << " " << a;
            ASSERT_NE(set.GetBlocks() & CBreakpoints::BlockBit(a), 0u) << edit << " " << a;
        }
        if (!model.empty()) {
            ASSERT_EQ(set.GetLowest(), *model.begin());
            ASSERT_EQ(set.GetSpan(), *model.rbegin() - *model.begin());
        }
    }
}

TEST(BreakpointsTest, RecordAlwaysHoldsThirtyEntriesAndLoadsEmpty) {
    CBreakpoints set;
    set.Add(0x1234);
    CArchive out;
    set.Serialize(out);
    ASSERT_EQ(out.Data().size(), 120u);
    EXPECT_EQ(out.Data()[0], 0x34);
    EXPECT_EQ(out.Data()[1], 0x12);
    CBreakpoints loaded;
    CArchive in(out.Data());
    loaded.Serialize(in);
    EXPECT_FALSE(in.Failed() || loaded.HasBreakpoints());
    EXPECT_EQ(in.Remaining(), 0u);
}

}  // namespace
