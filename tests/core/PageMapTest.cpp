// The bus's direct path for plain memory: the page map names exactly the runs
// that one plain memory serves alone, every access through the direct path
// gives what the locked path gives (values, results and stored bytes) for
// any layout, the map follows every change of the device list, and a unit
// keeps running correctly while the list changes under it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/Computer.h"
#include "core/Device.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "support/TestHost.h"
#include "support/WaitUntil.h"

namespace {

// A peripheral: reads answer the mapped address, writes are counted.
class CProbe : public CDevice {
public:
    uint32_t Read(uint32_t address, uint32_t) override { return 0xA0000000 | address; }
    uint32_t Write(uint32_t, uint32_t, uint32_t, bool) override {
        ++writes;
        return 0x10;
    }
    int writes = 0;
};

// A device that holds the odd addresses whatever its window says.
class COddDecoder : public CProbe {
public:
    bool InRange(uint32_t address) const override { return (address & 1) != 0; }
    bool DecodesByWindow() const override { return false; }
};

struct SDeviceLayout {
    char kind;  // 'R' memory, 'P' probe, 'O' odd decoder
    uint32_t from;
    uint32_t to;
    uint32_t size = 0;  // memory only
    uint32_t stride = 1;
    bool writable = true;
};

// The run of each page from firstPage to lastPage.
struct SRun {
    uint32_t firstPage;
    uint32_t lastPage;
    uint32_t first;
    uint32_t end;
    bool writable;
};

struct SLayout {
    const char* name;
    std::vector<SDeviceLayout> devices;
    std::vector<SRun> runs;  // pages not listed serve nothing directly
};

void Build(CDevices& bus, const SLayout& layout) {
    for (const SDeviceLayout& entry : layout.devices) {
        CDevice* device = nullptr;
        if (entry.kind == 'R') {
            auto* ram = new CRam;
            ram->SetSize(entry.size);
            ram->SetWritable(entry.writable);
            device = ram;
        } else if (entry.kind == 'P') {
            device = new CProbe;
        } else {
            device = new COddDecoder;
        }
        device->SetRange(entry.from, entry.to, entry.stride);
        bus.AddTail(device);
    }
    // A recognisable pattern in every memory, written behind the bus's back.
    for (CDevice* device = bus.GetHead(); device; device = device->GetNext()) {
        if (auto* ram = dynamic_cast<CRam*>(device)) {
            for (uint32_t i = 0; i < ram->GetSize(); ++i)
                ram->Write(ram->GetFrom() + i, (i * 37 + ram->GetFrom() / 7) & 0xFF, 1, true);
        }
    }
}

// Addresses around every edge the layout has: windows, buffers, pages and
// the end of the mapped span.
std::vector<uint32_t> Probes(const SLayout& layout) {
    std::set<uint32_t> edges = {0, 0xFFF, 0x1000, 0xFFFFFF, 0x1000000, 0xFFFFFFFD};
    for (const SDeviceLayout& entry : layout.devices) {
        for (uint32_t edge : {entry.from, entry.to, entry.from + entry.size}) {
            edges.insert(edge);
            edges.insert(edge & ~0xFFFu);
            edges.insert(edge | 0xFFFu);
        }
    }
    std::set<uint32_t> probes;
    for (uint32_t edge : edges) {
        for (int delta = -4; delta <= 4; ++delta)
            probes.insert(edge + static_cast<uint32_t>(delta));
    }
    return {probes.begin(), probes.end()};
}

constexpr uint32_t kSizes[] = {1, 2, 3, 4, 0x81, 0x82, 0x83, 0x84, 0, 5};

// Memory contents and peripheral write counts, for comparing two buses.
std::vector<uint32_t> Contents(const CDevices& bus) {
    std::vector<uint32_t> contents;
    for (CDevice* device = bus.GetHead(); device; device = device->GetNext()) {
        if (auto* ram = dynamic_cast<CRam*>(device)) {
            contents.insert(contents.end(), ram->Data(), ram->Data() + ram->GetSize());
        } else if (auto* probe = dynamic_cast<CProbe*>(device)) {
            contents.push_back(0x10000u + static_cast<uint32_t>(probe->writes));
        }
    }
    return contents;
}

const std::vector<SLayout> kLayouts = {
    {"Plain", {{'R', 0x0000, 0xFFFF, 0x10000}}, {{0x0, 0xF, 0, 0x1000, true}}},
    {"Rom", {{'R', 0xFF0000, 0xFFFFFF, 0x10000, 1, false}}, {{0xFF0, 0xFFF, 0, 0x1000, false}}},
    // The first memory shadows the second where they overlap; a write there
    // reaches both, so neither serves that part directly.
    {"Shadowing",
     {{'R', 0x0000, 0x17FF, 0x1800}, {'R', 0x1000, 0x2FFF, 0x2000}},
     {{0x0, 0x0, 0, 0x1000, true}, {0x1, 0x1, 0x800, 0x1000, true}, {0x2, 0x2, 0, 0x1000, true}}},
    // The Vo16 system: its video controller at 0 overlaps the RAM.
    {"PeripheralAtZero",
     {{'R', 0x0000, 0x7FFF, 0x8000}, {'P', 0x0000, 0x0000}},
     {{0x0, 0x0, 1, 0x1000, true}, {0x1, 0x7, 0, 0x1000, true}}},
    {"PeripheralInside",
     {{'R', 0x0000, 0xFFFF, 0x10000}, {'P', 0x8000, 0x80FF}},
     {{0x0, 0x7, 0, 0x1000, true}, {0x8, 0x8, 0x100, 0x1000, true}, {0x9, 0xF, 0, 0x1000, true}}},
    {"SmallUnaligned", {{'R', 0xFF00, 0xFF1F, 0x20}}, {{0xF, 0xF, 0xF00, 0xF20, true}}},
    {"WindowLargerThanBuffer",
     {{'R', 0x0000, 0xFFFF, 0x1800}},
     {{0x0, 0x0, 0, 0x1000, true}, {0x1, 0x1, 0, 0x800, true}}},
    {"Stride", {{'R', 0x2000, 0x3FFF, 0x1000, 2}}, {}},
    {"NotDecodedByWindow", {{'R', 0x0000, 0xFFFF, 0x10000}, {'O', 0x0000, 0x0000}}, {}},
    {"AcrossTheMappedSpan",
     {{'R', 0xFFF000, 0x1000FFF, 0x2000}},
     {{0xFFF, 0xFFF, 0, 0x1000, true}}},
    {"NoBuffer", {{'R', 0x0000, 0xFFFF, 0}}, {}},
    // Neighbouring memories in one page: the longer run is kept.
    {"AdjacentSmallMemories",
     {{'R', 0x0100, 0x01FF, 0x100}, {'R', 0x0200, 0x037F, 0x180}, {'R', 0x0380, 0x0380, 1}},
     {{0x0, 0x0, 0x200, 0x380, true}}},
};

class PageMapTest : public ::testing::TestWithParam<SLayout> {};

TEST_P(PageMapTest, ServesExactlyTheRunsOneMemoryHoldsAlone) {
    CDevices bus;
    Build(bus, GetParam());
    for (uint32_t page = 0; page < CDevices::kPages; ++page) {
        SRun expected{page, page, 0, 0, false};
        for (const SRun& run : GetParam().runs) {
            if (run.firstPage <= page && page <= run.lastPage) expected = run;
        }
        const CDevices::SPageRun run = bus.GetPageRun(page);
        const bool served = run.end > run.first;
        ASSERT_EQ(served, expected.end > expected.first) << std::hex << "page " << page;
        if (!served) continue;
        EXPECT_EQ(run.first, expected.first) << std::hex << "page " << page;
        EXPECT_EQ(run.end, expected.end) << std::hex << "page " << page;
        EXPECT_EQ(run.writable, expected.writable) << std::hex << "page " << page;
    }
}

TEST_P(PageMapTest, DirectReadsGiveWhatLockedReadsGive) {
    CDevices bus;
    Build(bus, GetParam());
    const CDevices::CDirectAccess direct(&bus);
    for (uint32_t address : Probes(GetParam())) {
        for (uint32_t size : kSizes)
            ASSERT_EQ(bus.Read(address, size), bus.ReadLocked(address, size))
                << std::hex << "address " << address << " size " << size;
    }
}

TEST_P(PageMapTest, DirectWritesStoreWhatLockedWritesStore) {
    CDevices direct;
    CDevices locked;
    Build(direct, GetParam());
    Build(locked, GetParam());
    const CDevices::CDirectAccess access(&direct);
    uint32_t value = 0x12345678;
    for (bool force : {false, true}) {
        for (uint32_t address : Probes(GetParam())) {
            for (uint32_t size : kSizes) {
                value = value * 1103515245u + 12345u;
                ASSERT_EQ(direct.Write(address, value, size, force),
                          locked.WriteLocked(address, value, size, force))
                    << std::hex << "address " << address << " size " << size;
            }
        }
        ASSERT_EQ(Contents(direct), Contents(locked)) << "force " << force;
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, PageMapTest, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

// Every change that moves what a page reaches rebuilds the map at once.
TEST(PageMapChangeTest, TheMapFollowsEveryChangeOfTheList) {
    CDevices bus;
    auto* ram = new CRam;
    ram->SetRange(0, 0xFFFF);
    ram->SetSize(0x10000);
    bus.AddTail(ram);
    CRam* other = nullptr;
    CProbe* probe = nullptr;
    struct SStep {
        const char* name;
        std::function<void()> change;
        SRun page0;
    };
    const std::vector<SStep> steps = {
        {"start", [] {}, {0, 0, 0, 0x1000, true}},
        {"probe added",
         [&] {
             probe = new CProbe;
             probe->SetRange(0x10, 0x1F);
             bus.AddTail(probe);
         },
         {0, 0, 0x20, 0x1000, true}},
        {"probe moved", [&] { probe->SetRange(0xF00, 0xFFF); }, {0, 0, 0, 0xF00, true}},
        {"probe strided", [&] { probe->SetStride(2); }, {0, 0, 0, 0xF00, true}},
        {"probe removed", [&] { bus.Remove(probe); }, {0, 0, 0, 0x1000, true}},
        {"read-only", [&] { ram->SetWritable(false); }, {0, 0, 0, 0x1000, false}},
        {"writable", [&] { ram->SetWritable(true); }, {0, 0, 0, 0x1000, true}},
        {"shrunk", [&] { ram->SetSize(0x100); }, {0, 0, 0, 0x100, true}},
        // Where both hold addresses, neither serves them directly.
        {"second memory in front",
         [&] {
             other = new CRam;
             other->SetRange(0x80, 0x17F);
             other->SetSize(0x100);
             bus.AddTail(other);
             bus.MoveUp(other);
         },
         {0, 0, 0, 0x80, true}},
        {"moved down", [&] { bus.MoveDown(other); }, {0, 0, 0, 0x80, true}},
        {"grown", [&] { ram->SetSize(0x10000); }, {0, 0, 0x180, 0x1000, true}},
        {"second memory removed", [&] { bus.Remove(other); }, {0, 0, 0, 0x1000, true}},
        {"all removed", [&] { bus.RemoveAll(); }, {0, 0, 0, 0, false}},
    };
    const CDevices::CDirectAccess direct(&bus);
    for (const SStep& step : steps) {
        SCOPED_TRACE(step.name);
        step.change();
        const CDevices::SPageRun run = bus.GetPageRun(0);
        const SRun& want = step.page0;
        EXPECT_EQ(run.end > run.first ? run.first : 0, want.first);
        EXPECT_EQ(run.end, want.end);
        if (run.end > run.first) {
            EXPECT_EQ(run.writable, want.writable);
        }
        for (uint32_t address = 0; address < 0x1010; address += 3) {
            ASSERT_EQ(bus.Read(address, 2), bus.ReadLocked(address, 2)) << std::hex << address;
        }
    }
}

// A unit that counts in memory: each step reads its "instruction" at 0x0400
// and increments the byte at 0x0300, both through the bus.
class CCountingUnit : public CMpu {
public:
    void Step() override {
        GetBus()->Read(0x0400, 1);
        const uint32_t value = GetBus()->Read(0x0300, 1);
        GetBus()->Write(0x0300, value + 1, 1, false);
        steps += 1;
    }
    Relaxed<uint32_t> steps{0};
};

// While the unit runs flat out, another thread reads its memory through the
// lock, and the event thread keeps adding, moving, resizing and removing
// memories around it. The memory the unit counts in always comes first for
// reads and takes every write, so it ends holding the number of steps.
TEST(PageMapRunTest, AUnitCountsRightWhileTheListChangesUnderIt) {
    CTestHost host;
    CComputer computer(&host);
    host.Attach(&computer);
    computer.NewContents();
    CDevices& bus = *computer.GetDevices();
    auto* ram = new CRam;
    ram->SetRange(0, 0xFFFF);
    ram->SetSize(0x10000);
    bus.AddTail(ram);
    auto* unit = new CCountingUnit;
    unit->SetBus(&bus);
    computer.GetMpus()->Add(unit);
    computer.SetActiveProcessor(0);
    computer.SetRunLimits({false, 0, true, 0x7FFFFFFF});

    std::atomic<bool> done{false};
    std::thread reader([&] {
        uint32_t sum = 0;
        while (!done.load())
            sum += bus.Read(0x0300, 1);  // locked: this thread has no direct access
        EXPECT_GT(sum + 1, 0u);
    });
    ASSERT_EQ(computer.Run(), ERunStart::kStarted);
    for (int round = 0; round < 200; ++round) {
        // Each round of changes meets a unit under way (a burst of changes
        // holds the run thread between passes most of the time).
        const uint32_t stepsBefore = unit->steps.Load();
        ASSERT_TRUE(WaitUntil([&] { return unit->steps.Load() > stepsBefore; }));
        // Behind the counting memory: writes reach it too, reads do not.
        auto* behind = new CRam;
        behind->SetRange(0x0000, 0x0FFF);
        behind->SetSize(0x1000);
        bus.AddTail(behind);
        behind->SetSize(round % 2 ? 0x400 : 0x2000);
        behind->SetWritable(round % 3 != 0);
        // In front, somewhere the unit never reaches.
        auto* front = new CRam;
        front->SetRange(0x8000, 0x8FFF);
        front->SetSize(0x1000);
        bus.AddTail(front);
        bus.MoveUp(front);
        bus.MoveUp(front);
        front->SetRange(0x9000 + 0x10 * round, 0x9FFF);
        bus.MoveDown(front);
        bus.Remove(behind);
        bus.Remove(front);
    }
    computer.Stop();
    ASSERT_TRUE(computer.SettleRunThread(std::chrono::seconds(10)));
    done = true;
    reader.join();
    EXPECT_FALSE(unit->IsRunning());
    EXPECT_GT(unit->steps.Load(), 0u);
    EXPECT_EQ(ram->Data()[0x0300], unit->steps.Load() & 0xFF);
    EXPECT_EQ(bus.GetCount(), 1);
}

// A tap watching one chunk of a page sees a unit's accesses that touch the
// chunk, even by one byte, and no others; all of them store and read as
// they would untapped.
TEST(PageMapTapTest, OnlyAccessesTouchingAWatchedChunkReachTheTap) {
    struct CCountingTap final : CBusTap {
        void OnRead(CMpu&, int, uint32_t address, uint32_t, uint32_t) override {
            seen.push_back(address);
        }
        void OnWrite(CMpu&, int, uint32_t address, uint32_t, uint32_t) override {
            seen.push_back(address);
        }
        std::vector<uint32_t> seen;
    };
    CDevices bus;
    auto* ram = new CRam;
    ram->SetRange(0, 0xFFFF);
    ram->SetSize(0x10000);
    bus.AddTail(ram);
    CCountingTap tap;
    auto pages = std::make_unique<CDevices::TapPages>();
    (*pages)[1].reads = (*pages)[1].writes = uint64_t{1} << 1;  // 1040-107F
    bus.SetTap(&tap, *pages, false);
    CMpu unit;
    const CDevices::CDirectAccess direct(&bus);
    const CDevices::CSteppingUnit stepping(&unit, 0);
    const struct {
        uint32_t address;
        uint32_t size;
        bool seen;
    } cases[] = {{0x103F, 1, false}, {0x103D, 4, true},  {0x1040, 1, true},
                 {0x107F, 2, true},  {0x1080, 4, false}, {0x0040, 1, false}};
    for (const auto& c : cases) {
        for (const bool write : {false, true}) {
            SCOPED_TRACE(std::to_string(c.address) + (write ? " write" : " read"));
            tap.seen.clear();
            if (write) {
                const uint8_t value = ram->Data()[c.address + c.size - 1] ^ 0xFF;
                bus.Write(c.address, value * 0x01010101u, c.size, false);
                EXPECT_EQ(ram->Data()[c.address + c.size - 1], value);
            } else {
                bus.Read(c.address, c.size);
            }
            EXPECT_EQ(tap.seen,
                      c.seen ? std::vector<uint32_t>{c.address} : std::vector<uint32_t>{});
        }
    }
}

}  // namespace
