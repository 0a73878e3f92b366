// The bus: address decoding, shadowing, writes to every holder, byte swap,
// unmapped accesses, timer dispatch and list maintenance.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/Devices.h"
#include "core/Ram.h"

namespace {

CRam* MakeRam(uint32_t from, uint32_t to, const char* name = "RAM") {
    auto* ram = new CRam;
    ram->SetName(name);
    ram->SetRange(from, to);
    ram->SetSize(to - from + 1);
    return ram;
}

// A device that records what reaches it.
class CProbe : public CDevice {
public:
    uint32_t Read(uint32_t address, uint32_t size) override {
        lastAddress = address;
        lastSize = size;
        return 0xA0000000 | address;
    }
    uint32_t Write(uint32_t address, uint32_t value, uint32_t size, bool) override {
        lastAddress = address;
        lastValue = value;
        lastSize = size;
        return 0x10;
    }
    void OnTimer(uint32_t index) override { timers.push_back(index); }

    uint32_t lastAddress = 0, lastValue = 0, lastSize = 0;
    std::vector<uint32_t> timers;
};

TEST(BusTest, EarlierDeviceShadowsLaterOneAndWritesReachBoth) {
    CDevices bus;
    CRam* first = MakeRam(0x0000, 0x00FF, "first");
    CRam* second = MakeRam(0x0080, 0x017F, "second");
    bus.AddTail(first);
    bus.AddTail(second);

    bus.Write(0x0090, 0x5A, 1, false);
    EXPECT_EQ(first->Data()[0x90], 0x5A);
    EXPECT_EQ(second->Data()[0x10], 0x5A);

    second->Write(0x0090, 0x77, 1, false);  // behind the bus's back
    EXPECT_EQ(bus.Read(0x0090, 1), 0x5Au);
    bus.MoveDown(first);
    EXPECT_EQ(bus.Read(0x0090, 1), 0x77u);
}

struct SSwapCase {
    uint32_t size;
    uint32_t expected;
};

class BusSwapTest : public ::testing::TestWithParam<SSwapCase> {};

TEST_P(BusSwapTest, ReadsAndWritesSwapBySize) {
    CDevices bus;
    CRam* ram = MakeRam(0, 0xFF);
    bus.AddTail(ram);
    for (uint32_t i = 0; i < 4; ++i)
        bus.Write(i, 0x12 + 0x22 * i, 1, false);  // 12 34 56 78
    EXPECT_EQ(bus.Read(0, GetParam().size | CDevices::kSwap), GetParam().expected);

    // A swapped write of the swapped value stores the original bytes again.
    bus.Write(0x10, GetParam().expected, GetParam().size | CDevices::kSwap, false);
    EXPECT_EQ(bus.Read(0x10, GetParam().size), bus.Read(0, GetParam().size));
}

INSTANTIATE_TEST_SUITE_P(Sizes, BusSwapTest,
                         ::testing::Values(SSwapCase{1, 0x12}, SSwapCase{2, 0x1234},
                                           SSwapCase{3, 0x123456}, SSwapCase{4, 0x12345678}));

TEST(BusTest, UnmappedAddressesReadAllOnesAndWriteNothing) {
    CDevices bus;
    EXPECT_EQ(bus.Read(0x1234, 1), 0xFFFFFFFFu);
    EXPECT_EQ(bus.Write(0x1234, 1, 1, true), 0u);
    bus.AddTail(MakeRam(0x100, 0x1FF));
    EXPECT_EQ(bus.Read(0x200, 2), 0xFFFFFFFFu);
    EXPECT_EQ(bus.Read(0xFF, 1), 0xFFFFFFFFu);
    EXPECT_EQ(bus.Write(0x200, 1, 1, false), 0u);
    EXPECT_FALSE(bus.AnyInRange(0x200));
    EXPECT_TRUE(bus.AnyInRange(0x1FF));
}

TEST(BusTest, StrideMapsAddressesAndWriteResultsAreOred) {
    CDevices bus;
    auto* probe = new CProbe;
    probe->SetRange(0x100, 0x1FF, 2);
    bus.AddTail(probe);
    EXPECT_EQ(probe->MapAddress(0x200), 0x180u);
    EXPECT_EQ(bus.Read(0x1FE, 1), 0xA0000000u | 0x17F);
    bus.Read(0x180, 0x84);
    EXPECT_EQ(probe->lastAddress, 0x140u);
    EXPECT_EQ(probe->lastSize, 4u);  // the swap flag is not passed on
    auto* ram = MakeRam(0x100, 0x1FF);
    bus.AddTail(ram);
    EXPECT_EQ(bus.Write(0x100, 0xAB, 1, false), 0x10u | 0xFFFFFFFFu);
}

TEST(BusTest, TimerBasesAndDispatch) {
    CDevices bus;
    bus.AddTail(new CProbe);
    bus.AddTail(new CProbe);
    bus.RemoveAll();
    std::vector<CProbe*> probes;
    for (int i = 0; i < 3; ++i) {
        probes.push_back(new CProbe);
        bus.AddTail(probes.back());
    }
    EXPECT_EQ(probes[0]->GetTimerBase(), 0x10u);
    EXPECT_EQ(probes[1]->GetTimerBase(), 0x20u);
    EXPECT_EQ(probes[2]->GetTimerBase(), 0x30u);
    bus.OnTimer(0x23);
    EXPECT_TRUE(probes[0]->timers.empty());
    EXPECT_EQ(probes[1]->timers, std::vector<uint32_t>{3});
    bus.OnTimer(0x45);  // nobody's
    EXPECT_TRUE(probes[2]->timers.empty());
}

TEST(BusTest, ListMaintenance) {
    CDevices bus;
    CRam* a = MakeRam(0, 0, "a");
    CRam* b = MakeRam(0, 0, "b");
    CRam* c = MakeRam(0, 0, "c");
    bus.AddTail(a);
    bus.AddTail(b);
    bus.AddTail(c);
    auto order = [&] {
        std::string names;
        for (int i = 0; bus.GetAt(i); ++i)
            names += bus.GetAt(i)->GetName();
        return names;
    };
    bus.MoveUp(a);    // at the head: nothing
    bus.MoveDown(c);  // at the tail: nothing
    EXPECT_EQ(order(), "abc");
    bus.MoveUp(c);
    EXPECT_EQ(order(), "acb");
    bus.MoveDown(a);
    EXPECT_EQ(order(), "cab");
    EXPECT_EQ(bus.GetAt(3), nullptr);
    EXPECT_EQ(bus.GetAt(-1), nullptr);
    EXPECT_EQ(bus.FindByName("b"), b);
    bus.Remove("a");
    EXPECT_EQ(order(), "cb");
    EXPECT_EQ(bus.GetCount(), 2);
    bus.Remove(static_cast<CDevice*>(nullptr));
    bus.Remove("missing");
    EXPECT_EQ(bus.GetCount(), 2);
    // The tail link survives the moves: appending lands at the end.
    bus.AddTail(MakeRam(0, 0, "d"));
    EXPECT_EQ(order(), "cbd");
    EXPECT_EQ(bus.GetAt(2)->GetPrevious(), b);
}

TEST(BusTest, TheLockSerialisesConcurrentAccesses) {
    CDevices bus;
    CRam* ram = MakeRam(0, 0xFF);
    bus.AddTail(ram);
    constexpr int kRounds = 20000;
    auto hammer = [&](uint32_t address) {
        for (int i = 0; i < kRounds; ++i) {
            const uint32_t value = bus.Read(address, 4);
            bus.Write(address, value + 1, 4, false);
        }
    };
    std::thread one(hammer, 0), two(hammer, 0x10);
    hammer(0x20);
    one.join();
    two.join();
    for (uint32_t address : {0u, 0x10u, 0x20u})
        EXPECT_EQ(bus.Read(address, 4), uint32_t{kRounds});
}

}  // namespace
