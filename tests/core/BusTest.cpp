// The bus: shadowing, writes to every holder, byte swap, unmapped accesses,
// stride, timer dispatch, list maintenance and the lock.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
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

// Reads give back the device-local address; write results and timers are recorded.
class CProbe : public CDevice {
public:
    uint32_t Read(uint32_t address, uint32_t size) override {
        lastAddress = address;
        lastSize = size;
        return 0xA0000000 | address;
    }
    uint32_t Write(uint32_t, uint32_t, uint32_t, bool) override { return 0x10; }
    void OnTimer(uint32_t index) override { timers.push_back(index); }
    uint32_t lastAddress = 0, lastSize = 0;
    std::vector<uint32_t> timers;
};

TEST(BusTest, ShadowingWritesToEveryHolderAndUnmappedAccesses) {
    CDevices bus;
    EXPECT_EQ(bus.Read(0x1234, 1), 0xFFFFFFFFu);
    EXPECT_EQ(bus.Write(0x1234, 1, 1, true), 0u);
    CRam* first = MakeRam(0x0000, 0x00FF);
    CRam* second = MakeRam(0x0080, 0x017F);
    bus.AddTail(first);
    bus.AddTail(second);
    bus.Write(0x0090, 0x5A, 1, false);
    EXPECT_EQ(first->Data()[0x90], 0x5A);
    EXPECT_EQ(second->Data()[0x10], 0x5A);
    second->Write(0x0090, 0x77, 1, false);  // behind the bus's back
    EXPECT_EQ(bus.Read(0x0090, 1), 0x5Au);
    bus.MoveDown(first);
    EXPECT_EQ(bus.Read(0x0090, 1), 0x77u);
    EXPECT_EQ(bus.Read(0x180, 2), 0xFFFFFFFFu);
    EXPECT_EQ(bus.Write(0x180, 1, 1, false), 0u);
    EXPECT_FALSE(bus.AnyInRange(0x180));
    EXPECT_TRUE(bus.AnyInRange(0x17F));
}

TEST(BusTest, SwapBySize) {
    struct {
        uint32_t size, swapped;
    } const cases[] = {{1, 0x12}, {2, 0x1234}, {3, 0x123456}, {4, 0x12345678}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        CDevices bus;
        bus.AddTail(MakeRam(0, 0xFF));
        bus.Write(0, 0x78563412, 4, false);  // 12 34 56 78
        EXPECT_EQ(bus.Read(0, c.size | CDevices::kSwap), c.swapped);
        bus.Write(0x10, c.swapped, c.size | CDevices::kSwap, false);
        EXPECT_EQ(bus.Read(0x10, c.size), bus.Read(0, c.size));
    }
}

TEST(BusTest, StrideMapsAddressesAndWriteResultsAreOred) {
    CDevices bus;
    auto* probe = new CProbe;
    probe->SetRange(0x100, 0x1FF, 2);
    bus.AddTail(probe);
    EXPECT_EQ(bus.Read(0x1FE, 1), 0xA0000000u | 0x17F);
    bus.Read(0x180, 0x84);
    EXPECT_EQ(probe->lastAddress, 0x140u);
    EXPECT_EQ(probe->lastSize, 4u);  // the swap flag is not passed on
    bus.AddTail(MakeRam(0x100, 0x1FF));
    EXPECT_EQ(bus.Write(0x100, 0xAB, 1, false), 0x10u | 0xFFFFFFFFu);
}

TEST(BusTest, TimerBasesAfterRemoveAllAndDispatch) {
    CDevices bus;
    bus.AddTail(new CProbe);
    bus.AddTail(new CProbe);
    bus.RemoveAll();
    std::vector<CProbe*> probes;
    for (int i = 0; i < 3; ++i) {
        probes.push_back(new CProbe);
        bus.AddTail(probes.back());
        EXPECT_EQ(probes[i]->GetTimerBase(), 0x10u * (i + 1));
    }
    bus.OnTimer(0x23);
    bus.OnTimer(0x45);  // nobody's
    EXPECT_TRUE(probes[0]->timers.empty() && probes[2]->timers.empty());
    EXPECT_EQ(probes[1]->timers, std::vector<uint32_t>{3});
}

// The 1,024th device would get 0x4000-0x400F, where the units' animation
// timers are (0x4000-0x4007): it gets the next block, and every device's
// timers still reach it.
TEST(BusTest, TimerBasesStayClearOfTheAnimationIds) {
    CDevices bus;
    std::vector<std::unique_ptr<CDevice>> added;
    for (int i = 0; i < 1100; ++i)
        added.push_back(std::make_unique<CProbe>());
    bus.AddTailAll(added);
    std::set<uint32_t> bases;
    for (CDevice* device = bus.GetHead(); device; device = device->GetNext()) {
        const uint32_t base = device->GetTimerBase();
        EXPECT_TRUE(base + 0xF < 0x4000 || base > 0x4007) << std::hex << base;
        EXPECT_TRUE(bases.insert(base).second) << std::hex << base;
    }
    auto* last = static_cast<CProbe*>(bus.GetAt(1099));
    bus.OnTimer(last->GetTimerBase() + 5);
    EXPECT_EQ(last->timers, std::vector<uint32_t>{5});
    EXPECT_EQ(static_cast<CProbe*>(bus.GetAt(1022))->GetTimerBase(), 0x3FF0u);
    EXPECT_EQ(static_cast<CProbe*>(bus.GetAt(1023))->GetTimerBase(), 0x4010u);
}

TEST(BusTest, ListMaintenance) {
    CDevices bus;
    CRam* a = MakeRam(0, 0, "a");
    CRam* b = MakeRam(0, 0, "b");
    CRam* c = MakeRam(0, 0, "c");
    for (CRam* ram : {a, b, c})
        bus.AddTail(ram);
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
    bus.MoveDown(a);
    EXPECT_EQ(order(), "cab");
    EXPECT_EQ(bus.GetAt(-1), nullptr);
    EXPECT_EQ(bus.FindByName("b"), b);
    bus.Remove("a");
    bus.Remove(static_cast<CDevice*>(nullptr));
    bus.Remove("missing");
    bus.AddTail(MakeRam(0, 0, "d"));  // the tail link survived the moves
    EXPECT_EQ(order(), "cbd");
    EXPECT_EQ(bus.GetAt(2)->GetPrevious(), b);
}

TEST(BusTest, TheLockSerialisesConcurrentAccesses) {
    CDevices bus;
    bus.AddTail(MakeRam(0, 0xFF));
    constexpr int kRounds = 20000;
    auto hammer = [&](uint32_t address) {
        for (int i = 0; i < kRounds; ++i)
            bus.Write(address, bus.Read(address, 4) + 1, 4, false);
    };
    std::thread one(hammer, 0), two(hammer, 0x10);
    hammer(0x20);
    one.join();
    two.join();
    for (uint32_t address : {0u, 0x10u, 0x20u})
        EXPECT_EQ(bus.Read(address, 4), uint32_t{kRounds});
}

}  // namespace
