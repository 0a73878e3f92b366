#include <gtest/gtest.h>

#include "core/Archive.h"
#include "core/Breakpoints.h"

namespace {

TEST(BreakpointsTest, RemovingTheFirstClosesUp) {
    CBreakpoints set;
    set.Add(0x10);
    set.Add(0x20);
    set.Add(0x30);
    set.Remove(0x10);
    EXPECT_EQ(set.GetCount(), 2);
    EXPECT_EQ(set.GetAt(0), 0x20u);
    EXPECT_EQ(set.GetAt(1), 0x30u);
    EXPECT_EQ(set.GetAt(2), 0xFFFFFFFFu);
    EXPECT_EQ(set.GetAt(-1), 0xFFFFFFFFu);
    set.Remove(0x99);
    EXPECT_EQ(set.GetCount(), 2);
}

TEST(BreakpointsTest, CapacityIsThirty) {
    CBreakpoints set;
    for (uint32_t i = 0; i < 30; ++i)
        EXPECT_TRUE(set.Add(i * 4));
    EXPECT_FALSE(set.Add(0x1000));
    EXPECT_FALSE(set.Contains(0x1000));
    EXPECT_EQ(set.GetCount(), 30);
    EXPECT_TRUE(set.Contains(29 * 4));
    EXPECT_EQ(set.GetCursor(), 29);
    set.RemoveAll();
    EXPECT_FALSE(set.HasBreakpoints());
    EXPECT_FALSE(set.Contains(0));
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
    EXPECT_FALSE(in.Failed());
    EXPECT_FALSE(loaded.HasBreakpoints());
    EXPECT_EQ(in.Remaining(), 0u);
}

}  // namespace
