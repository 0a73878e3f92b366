// Everything at once: eight units of the three classes running on shared
// memory, both displays rendering at their fastest period, device timers
// firing, while the event thread loads and dumps images, works the monitor,
// toggles breakpoints, steps, animates, stops, saves and opens, and clears the
// workspace round after round. The test asserts what must hold whatever the
// threads' speeds: no crash, no report of the sanitizers, every thread joined,
// the workspace consistent after each round. A watchdog turns a deadlock into
// a failure instead of a hung run.
//
// SIMQ_STRESS_SECONDS sets the length (default 4 s, 1.5 s in sanitizer builds,
// which run far fewer operations in the same time).
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/ClassRegistry.h"
#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/ProgramImage.h"
#include "core/StringEx.h"
#include "core/WorkspaceFile.h"
#include "devices/Keyboard.h"
#include "devices/M6818.h"
#include "devices/TimeSlicer.h"
#include "devices/Vic.h"
#include "devices/Vo16VGA.h"
#include "support/TestHost.h"
#include "system/StandardClasses.h"
#include "system/StandardSystems.h"
#include "tools/CommandInterpreter.h"

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define SIMQ_STRESS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define SIMQ_STRESS_SANITIZED 1
#endif
#endif

namespace {

// Every question answered as a user in a hurry would: Yes, and the
// interrupt dialog cancelled.
const SInterruptRequest kNoInterrupt{};

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double StressSeconds() {
    if (const char* text = std::getenv("SIMQ_STRESS_SECONDS")) {
        const double seconds = std::atof(text);
        if (seconds > 0) return seconds;
    }
#ifdef SIMQ_STRESS_SANITIZED
    return 1.5;
#else
    return 4.0;
#endif
}

// Shorter rounds where every operation is slow, so that a sanitizer run still
// builds, opens and clears the workspace several times.
#ifdef SIMQ_STRESS_SANITIZED
constexpr int kOperationsPerRound = 30;
#else
constexpr int kOperationsPerRound = 150;
#endif

// The Corvane system's map plus a VGA over the start of RAM and a clock.
constexpr uint32_t kRamEnd = 0x3FFFF;
constexpr uint32_t kVicBase = 0x300000;  // stride 3
constexpr uint32_t kSlicer = 0x301000;
constexpr uint32_t kClock = 0x301200;
constexpr int kUnits = 8;
constexpr int kDevices = 7;
constexpr const char* kUnitClasses[kUnits] = {"CCorvaneMPU", "C6502", "CVo16", "C6502",
                                              "CCorvaneMPU", "CVo16", "C6502", "CCorvaneMPU"};

// Fails the run, rather than hanging it, when the event thread makes no
// progress for a long time: a deadlock between the threads.
class CWatchdog {
public:
    explicit CWatchdog(std::chrono::seconds limit)
        : m_limit(limit), m_thread([this] { Watch(); }) {}
    ~CWatchdog() {
        {
            std::lock_guard guard(m_lock);
            m_done = true;
        }
        m_signal.notify_all();
        m_thread.join();
    }
    void Progress(const char* what) {
        m_what.store(what, std::memory_order_relaxed);
        m_ticks.fetch_add(1, std::memory_order_relaxed);
    }

private:
    void Watch() {
        std::unique_lock lock(m_lock);
        uint64_t seen = m_ticks.load(std::memory_order_relaxed);
        auto since = Clock::now();
        while (
            !m_signal.wait_for(lock, std::chrono::milliseconds(200), [this] { return m_done; })) {
            const uint64_t now = m_ticks.load(std::memory_order_relaxed);
            if (now != seen) {
                seen = now;
                since = Clock::now();
            } else if (Clock::now() - since > m_limit) {
                std::fprintf(stderr, "stress: no progress for %lld s, stuck in \"%s\"\n",
                             static_cast<long long>(m_limit.count()),
                             m_what.load(std::memory_order_relaxed));
                std::abort();
            }
        }
    }

    std::chrono::seconds m_limit;
    std::mutex m_lock;
    std::condition_variable m_signal;
    bool m_done = false;
    std::atomic<uint64_t> m_ticks{0};
    std::atomic<const char*> m_what{"start"};
    std::thread m_thread;
};

class StressTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterStandardClasses(); }

    void SetUp() override {
        host.Attach(&computer);
        dir = fs::temp_directory_path() / ("simq-stress-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        // Random programs for every unit: an image of the 6502's and the
        // Vo16's whole address space, where the Corvane units start too.
        std::vector<char> bytes(0x10000);
        for (char& b : bytes)
            b = static_cast<char>(random());
        std::ofstream(Path("random.bin"), std::ios::binary).write(bytes.data(), bytes.size());
    }
    void TearDown() override {
        computer.DeleteContents();
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    std::string Path(const std::string& name) const { return (dir / name).string(); }
    uint32_t Random(uint32_t n) { return static_cast<uint32_t>(random() % n); }

    template <class T>
    T* Find() const {
        for (CDevice* d = computer.GetDevices()->GetHead(); d; d = d->GetNext()) {
            if (auto* device = dynamic_cast<T*>(d)) return device;
        }
        return nullptr;
    }

    void Build() {
        std::string error;
        computer.NewContents();
        ASSERT_TRUE(BuildStandardSystem(computer, ESystemType::Corvane, &error)) << error;
        CDevices* bus = computer.GetDevices();
        auto* vga = new CVo16VGA;
        vga->SetName("VGA");
        vga->SetRange(0, 0);
        bus->AddTail(vga);
        auto* clock = new C6818;
        clock->SetName("Clock");
        clock->SetRange(kClock, kClock + 1);
        clock->SetIrqCode(2);
        bus->AddTail(clock);

        CMpus* units = computer.GetMpus();
        for (int slot = units->GetCount(); slot < kUnits; ++slot) {
            std::unique_ptr<CMpu> unit = UnitClasses().Create(kUnitClasses[slot]);
            ASSERT_NE(unit, nullptr) << kUnitClasses[slot];
            unit->SetName("Unit " + std::to_string(slot));
            unit->SetIrqMask(Random(0x8000));
            unit->SetBus(bus);
            ASSERT_TRUE(units->Add(unit.release()));
        }
        const SImageReport load = LoadProgramImage(computer, Path("random.bin"), 0);
        ASSERT_TRUE(load.error.empty()) << load.error;
        for (int slot = 0; slot < kUnits; ++slot)
            units->GetAt(slot)->Reset();
    }

    // What the shell does for a new or opened workspace: a window for each display.
    void StartDisplays() {
        for (CVideoDevice* video :
             std::initializer_list<CVideoDevice*>{Find<CVic>(), Find<CVo16VGA>()}) {
            ASSERT_NE(video, nullptr);
            video->SetRefreshPeriod(CVideoDevice::RefreshPeriodAt(0));
            video->RebuildDisplay();
            ASSERT_TRUE(video->StartDisplay());
        }
    }

    // The devices' timers: interrupts on, the slicer at its shortest slice,
    // the clock's periodic interrupt, keyboard playback.
    void StartDeviceTimers() {
        Monitor(FormatText(":%X 03", kVicBase + 3 * 3));
        Monitor(FormatText(":%X 01", kSlicer));
        Monitor(FormatText(":%X 0B 40", kClock));
        Monitor(FormatText(":%X 0A 23", kClock));
        CKeyboard* keyboard = Find<CKeyboard>();
        keyboard->SetKeyCodeText("41 42 43 0D");
        keyboard->StartPlayback(10, 1000);
    }

    SCommandOutcome Monitor(const std::string& line) {
        return CCommandInterpreter(computer).Execute(line);
    }

    // The host's event loop: every timer that runs fires once, then the
    // run-stopped notices are delivered.
    void PumpEvents() {
        std::vector<uint32_t> ids;
        {
            std::lock_guard guard(host.timerLock);
            for (const auto& [id, period] : host.timers)
                ids.push_back(id);
        }
        for (uint32_t id : ids) {
            host.FireTimer(id);
            ++timerFirings;
        }
        host.DeliverPosted();
    }

    // The units' fetch counters together.
    uint64_t FetchCount() const {
        uint64_t count = 0;
        for (int slot = 0; slot < kUnits; ++slot)
            count += computer.GetMpus()->GetAt(slot)->GetStatistic(CMpu::kFetches);
        return count;
    }

    void CheckConsistent() {
        CMpus* units = computer.GetMpus();
        CDevices* bus = computer.GetDevices();
        ASSERT_NE(units, nullptr);
        ASSERT_NE(bus, nullptr);
        ASSERT_TRUE(computer.HasRunThread());
        ASSERT_EQ(units->GetCount(), kUnits);
        for (int slot = 0; slot < kUnits; ++slot) {
            CMpu* unit = units->GetAt(slot);
            ASSERT_FALSE(units->IsNullUnit(unit));
            EXPECT_STREQ(unit->GetClassName(), kUnitClasses[slot]);
            EXPECT_EQ(unit->GetBus(), bus);
            EXPECT_EQ(unit->GetAnimationTimerId(), CMpu::kAnimationTimerBase + slot);
        }
        ASSERT_EQ(bus->GetCount(), kDevices);
        int index = 0;
        for (CDevice* d = bus->GetHead(); d; d = d->GetNext(), ++index) {
            EXPECT_EQ(d->GetOwner(), bus);
            EXPECT_EQ(d->GetTimerBase(), 0x10u * (index + 1));
        }
    }

    // With every unit stopped, memory holds what is written to it, while
    // the displays render and the timers go on firing.
    void CheckMemoryRoundTrip() {
        computer.StopAll();
        ASSERT_TRUE(computer.SettleRunThread(std::chrono::minutes(1)));
        for (int slot = 0; slot < kUnits; ++slot)
            ASSERT_FALSE(computer.GetMpus()->GetAt(slot)->IsRunning());
        const uint32_t base = 0x20000 + Random(0x1000) * 16;
        const uint8_t value = static_cast<uint8_t>(Random(256));
        Monitor(FormatText("F %X 100 %X", base, value));
        PumpEvents();
        const SImageReport dump =
            DumpProgramImage(computer, Path("check.s19"), base, base + 0xFF, 0);
        ASSERT_TRUE(dump.Clean()) << dump.error;
        Monitor(FormatText("F %X 100 %X", base, value ^ 0xFF));
        PumpEvents();
        ASSERT_TRUE(LoadProgramImage(computer, Path("check.s19"), 0).Clean());
        for (uint32_t a = base; a <= base + 0xFF; ++a)
            ASSERT_EQ(computer.Read(a, 1), value) << std::hex << a;
        const SCommandOutcome shown = Monitor(FormatText("D %X 10", base));
        char expected[8];
        std::snprintf(expected, sizeof expected, "%02X %02X ", value, value);
        EXPECT_NE(shown.text.find(expected), std::string::npos) << shown.text;
    }

    // Clears the workspace with everything running and checks that nothing
    // is left of it: no run thread, no timer of a unit or device.
    void ClearAndCheck() {
        ASSERT_TRUE(Find<CVic>()->IsDisplayRunning() && Find<CVo16VGA>()->IsDisplayRunning());
        computer.DeleteContents();
        EXPECT_FALSE(computer.HasRunThread());
        EXPECT_TRUE(computer.IsEmpty());
        std::lock_guard guard(host.timerLock);
        EXPECT_TRUE(host.timers.empty()) << host.timers.size() << " timers outlive the workspace";
    }

    CVideoDevice* AnyDisplay() {
        return Random(2) ? static_cast<CVideoDevice*>(Find<CVic>()) : Find<CVo16VGA>();
    }

    // One of the event thread's commands, chosen at random.
    void RandomOperation(CWatchdog& watchdog) {
        const uint32_t address = Random(kRamEnd + 1);
        const auto on = [&](auto command) {
            return [&, command] {
                computer.SetActiveProcessor(Random(kUnits));
                command();
            };
        };
        const std::pair<const char*, std::function<void()>> operations[] = {
            {"Run All", [&] { computer.RunAll(&kNoInterrupt); }},
            {"Stop All", [&] { computer.StopAll(); }},
            {"Run", on([&] { computer.Run(true, &kNoInterrupt); })},
            {"Stop", [&] { computer.Stop(); }},
            {"Step Into", [&] { computer.StepInto(&kNoInterrupt); }},
            {"Animate", on([&] {
                 computer.Animate(std::array{1, 10, 100}[Random(3)]);
             })},
            {"Toggle Breakpoint", [&] { computer.ToggleBreakpoint(); }},
            {"Bounce Over", [&] { computer.BounceOver(true, &kNoInterrupt); }},
            {"Step Out", [&] { computer.StepOut(true, &kNoInterrupt); }},
            {"monitor write",
             [&] { Monitor(FormatText(":%X %X %X", address, Random(256), Random(256))); }},
            {"monitor dump", [&] { Monitor(FormatText("D %X 40", address)); }},
            {"monitor fill",
             [&] { Monitor(FormatText("F %X %X EA", address & ~0xFFu, Random(0x200))); }},
            {"dump image",
             [&] {
                 const char* name = Random(2) ? "part.s19" : "part.hex";
                 const uint32_t first = address & 0x3F000;
                 EXPECT_TRUE(
                     DumpProgramImage(computer, Path(name), first, first + Random(0x800), first)
                         .Clean());
                 ++dumps;
             }},
            {"load image",
             [&] {
                 const char* names[] = {"part.s19", "part.hex", "random.bin"};
                 const std::string path = Path(names[Random(3)]);
                 if (!fs::exists(path)) return;
                 const uint32_t at = path.ends_with(".hex") ? address & 0x30000 : 0;
                 EXPECT_TRUE(LoadProgramImage(computer, path, at).Clean()) << path;
                 ++loads;
             }},
            {"generate interrupt", on([&] {
                 computer.GenerateInterrupt(SInterruptRequest{static_cast<int>(Random(15)), true,
                                                              Random(4) == 0, Random(8) == 0});
             })},
            {"display rebuild",
             [&] {
                 Find<CVic>()->SetBorderShown(Random(2) == 0);
                 Find<CVic>()->RebuildDisplay();
                 Find<CVo16VGA>()->RequestFrame();
             }},
            {"display restart",
             [&] {
                 CVideoDevice* video = AnyDisplay();
                 video->StopDisplay();
                 EXPECT_TRUE(video->StartDisplay());
             }},
            {"copy frame",
             [&] {
                 SVideoFrame frame;
                 if (!AnyDisplay()->CopyFrame(frame)) return;
                 EXPECT_EQ(frame.pixels.size(), size_t{frame.wordsPerRow} * frame.height);
                 EXPECT_EQ(frame.wordsPerRow, (frame.width * frame.bitsPerPixel + 31) / 32);
             }},
            {"key click", [&] { Find<CKeyboard>()->DeliverCode(Random(0x80)); }},
            {"save",
             [&] {
                 std::string error;
                 EXPECT_TRUE(SaveWorkspaceFile(computer, Path("saved.sqw"), &error)) << error;
                 ++saves;
             }},
            {"device registers", [&] { StartDeviceTimers(); }},
            {"listing",
             [&] {
                 for (int slot = 0; slot < kUnits; ++slot) {
                     CMpu* unit = computer.GetMpus()->GetAt(slot);
                     unit->Disassemble(unit->GetPC() * unit->GetAddressScale());
                 }
             }},
        };
        const auto& [name, operation] = operations[Random(std::size(operations))];
        watchdog.Progress(name);
        operation();
    }

    std::mt19937 random{20260};
    CTestHost host;
    CComputer computer{&host};
    fs::path dir;
    uint64_t timerFirings = 0;
    uint64_t dumps = 0;
    uint64_t loads = 0;
    uint64_t saves = 0;
};

TEST_F(StressTest, EveryThreadAtOnceRoundAfterRound) {
    const double seconds = StressSeconds();
#ifdef SIMQ_STRESS_SANITIZED
    CWatchdog watchdog(std::chrono::seconds(300));
#else
    CWatchdog watchdog(std::chrono::seconds(60));
#endif
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    uint64_t operations = 0;
    uint64_t fetches = 0;
    int rounds = 0;
    int opened = 0;
    do {
        // Every other round starts from the file the last one saved.
        watchdog.Progress("build");
        std::string error;
        if (rounds % 2 == 1 && fs::exists(Path("saved.sqw"))) {
            ASSERT_TRUE(OpenWorkspaceFile(computer, Path("saved.sqw"), &error)) << error;
            ++opened;
        } else {
            ASSERT_NO_FATAL_FAILURE(Build());
        }
        ASSERT_NO_FATAL_FAILURE(CheckConsistent());
        // An opened Corvane unit brings the counters it was saved with.
        const uint64_t fetchesAtStart = FetchCount();
        ASSERT_NO_FATAL_FAILURE(StartDisplays());
        StartDeviceTimers();
        computer.RunAll(&kNoInterrupt);

        for (int i = 0; i < kOperationsPerRound; ++i) {
            RandomOperation(watchdog);
            watchdog.Progress("events");
            PumpEvents();
            ++operations;
            if (::testing::Test::HasFatalFailure()) return;
        }
        host.hints.clear();

        fetches += FetchCount() - fetchesAtStart;
        watchdog.Progress("round checks");
        ASSERT_NO_FATAL_FAILURE(CheckConsistent());
        ASSERT_NO_FATAL_FAILURE(CheckMemoryRoundTrip());
        // The round ends with the units running: clearing has to stop them.
        computer.RunAll(&kNoInterrupt);
        std::string saveError;
        ASSERT_TRUE(SaveWorkspaceFile(computer, Path("saved.sqw"), &saveError)) << saveError;
        ++saves;
        watchdog.Progress("clear");
        ASSERT_NO_FATAL_FAILURE(ClearAndCheck());
        operations += 4;
        ++rounds;
    } while (Clock::now() < end);

    // Nothing the threads did was worth a message: no stuck run thread, no
    // display that failed to stop.
    for (const CTestHost::SMessage& message : host.messages)
        EXPECT_EQ(message.text, CComputer::kNoMoreBreakpointsText);

    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf(
        "stress: %.2f s, %llu operations in %d rounds (%d opened from file), %llu instruction "
        "fetches, %llu timer firings, %llu loads, %llu dumps, %llu saves, %d frames\n",
        elapsed, static_cast<unsigned long long>(operations), rounds, opened,
        static_cast<unsigned long long>(fetches), static_cast<unsigned long long>(timerFirings),
        static_cast<unsigned long long>(loads), static_cast<unsigned long long>(dumps),
        static_cast<unsigned long long>(saves), host.frames.load());
    RecordProperty("seconds", std::to_string(elapsed));
    RecordProperty("operations", std::to_string(operations));
    EXPECT_GT(rounds, 0);
}

}  // namespace
