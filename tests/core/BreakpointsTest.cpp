#include <gtest/gtest.h>

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
