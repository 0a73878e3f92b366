// Simulated instructions per second through the whole run thread: a
// workspace runs its units with Run All until a cycle limit stops them, as a
// user's run does (stop conditions, limits and notices included). One unit
// and eight units of each kind run the same loop; the display variant runs
// one 6502 while the VIC and VGA renderers draw at their default period.
// Rates are per second of the process's CPU time (the run thread's and the
// renderers'), which a shared machine's other load does not inflate; on an
// idle machine they match wall-clock rates.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>

#include "core/Computer.h"
#include "core/Debugger.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "cpu/CorvaneMPU.h"
#include "cpu/M6502.h"
#include "cpu/Vo16.h"
#include "devices/Vic.h"
#include "devices/Vo16VGA.h"

namespace {

constexpr int32_t kInstructionsPerRun = 20'000'000;

// A host that lets the benchmark wait for the run-limit notice.
class CBenchHost final : public CNullHost {
public:
    void PostRunStopped(int slot, EStopReason) override {
        std::lock_guard guard(m_lock);
        if (slot == CComputer::kRunLimitSlot) m_limitReached = true;
        m_signal.notify_all();
    }

    void WaitForLimit() {
        std::unique_lock lock(m_lock);
        m_signal.wait(lock, [this] { return m_limitReached; });
        m_limitReached = false;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_signal;
    bool m_limitReached = false;
};

// The 6502 counting loop of M6502Bench at 0x0400.
constexpr std::initializer_list<uint8_t> k6502Loop = {
    0xD8, 0xA2, 0x00, 0xA9, 0x00, 0x85, 0x10, 0x85, 0x11, 0x18, 0xA5, 0x10, 0x69, 0x01, 0x85, 0x10,
    0xA5, 0x11, 0x69, 0x00, 0x85, 0x11, 0xE8, 0x8D, 0x00, 0x02, 0xD0, 0xED, 0x4C, 0x09, 0x04};
// The Vo16 loop of Vo16Bench at 0x0000 (big-endian words).
constexpr std::initializer_list<uint16_t> kVo16Loop = {0xD100, 0x2100, 0x5210, 0x2221,
                                                       0x8212, 0x0332, 0xB0FA};
// The Corvane loop of CorvaneBench at 0x000100 (three-byte words).
constexpr std::initializer_list<uint32_t> kCorvaneLoop = {0xBC0010, 0x642000, 0xDC4110, 0x644201,
                                                          0xFC4113, 0x606302, 0x74A501, 0x09DDEB};

enum class EKind { k6502, kVo16, kCorvane, kCorvaneCached };

class CWorkspace {
public:
    CWorkspace(EKind kind, int units, bool displays) {
        m_computer.NewContents();
        CDevices& bus = *m_computer.GetDevices();
        auto* ram = new CRam;
        ram->SetRange(0, 0x3FFFF);
        ram->SetSize(0x40000);
        bus.AddTail(ram);
        if (displays) {
            // Both renderers read the RAM the program runs in.
            m_vic = new CVic;
            m_vic->SetRange(0x300000, 0x300FFF, 3);
            bus.AddTail(m_vic);
            m_vga = new CVo16VGA;
            m_vga->SetRange(0x200000, 0x200000);
            bus.AddTail(m_vga);
            bus.Write(0x300000 + 3 * 5, 0x01, 2, false);  // memory, not the test pattern
            m_vic->StartDisplay();
            m_vga->StartDisplay();
        }
        Load(kind, bus);
        for (int i = 0; i < units; ++i)
            AddUnit(kind, bus);
        m_computer.SetActiveProcessor(0);
    }
    ~CWorkspace() {
        if (m_vic) m_vic->StopDisplay();
        if (m_vga) m_vga->StopDisplay();
        m_computer.DeleteContents();
    }

    // Thirty breakpoints the loops never reach, on every unit: the run
    // looks at them after each instruction.
    void AddUnreachedBreakpoints() {
        for (int slot = 0; slot < m_computer.GetMpus()->GetCount(); ++slot) {
            for (uint32_t n = 0; n < CBreakpoints::kCapacity; ++n)
                m_computer.GetMpus()->GetAt(slot)->Breakpoints().Add(0xF000 + 3 * n);
        }
    }

    CDebugger& Debugger() { return m_computer.Debugger(); }

    // One run to the cycle limit; the instructions it executed.
    int64_t Run() {
        m_computer.SetRunLimits({false, 0, true, kInstructionsPerRun});
        m_computer.RunAll();
        m_host.WaitForLimit();
        return m_computer.GetInstructionCount();
    }

private:
    static void Load(EKind kind, CDevices& bus) {
        uint32_t address = 0;
        switch (kind) {
            case EKind::k6502:
                address = 0x0400;
                for (uint8_t byte : k6502Loop)
                    bus.Write(address++, byte, 1, true);
                break;
            case EKind::kVo16:
                for (uint16_t word : kVo16Loop) {
                    bus.Write(address, word, 2 | CDevices::kSwap, true);
                    address += 2;
                }
                break;
            case EKind::kCorvane:
            case EKind::kCorvaneCached:
                address = 0x100;
                for (uint32_t word : kCorvaneLoop) {
                    bus.Write(address, word, 3, true);
                    address += 3;
                }
                break;
        }
    }

    void AddUnit(EKind kind, CDevices& bus) {
        CMpu* unit = nullptr;
        switch (kind) {
            case EKind::k6502: {
                auto* cpu = new C6502;
                cpu->SetPC(0x0400);
                cpu->SetSP(0xFF);
                cpu->SetStatus(0x30);
                unit = cpu;
                break;
            }
            case EKind::kVo16: unit = new CVo16; break;
            case EKind::kCorvane:
            case EKind::kCorvaneCached: {
                auto* cpu = new CCorvaneMPU;
                cpu->SetCR((kind == EKind::kCorvaneCached ? CCorvaneMPU::kCrCache : 0) |
                           CCorvaneMPU::kCrNoTranslation);
                cpu->SetPC(0x100);
                unit = cpu;
                break;
            }
        }
        unit->SetBus(&bus);
        m_computer.GetMpus()->Add(unit);
    }

    CBenchHost m_host;
    CComputer m_computer{&m_host};
    CVic* m_vic = nullptr;
    CVo16VGA* m_vga = nullptr;
};

void RunLoop(benchmark::State& state, EKind kind, bool displays = false, bool breakpoints = false) {
    CWorkspace workspace(kind, static_cast<int>(state.range(0)), displays);
    if (breakpoints) workspace.AddUnreachedBreakpoints();
    int64_t instructions = 0;
    for (auto _ : state)
        instructions += workspace.Run();
    state.counters["instructions/s"] =
        benchmark::Counter(static_cast<double>(instructions), benchmark::Counter::kIsRate);
}

void BM_RunLoop6502(benchmark::State& state) {
    RunLoop(state, EKind::k6502);
}

// The debugging aids on the 6502 loop, one at a time, against BM_RunLoop6502
// of the same run. The watchpoints are never hit but lie in the 4 KiB page the
// loop runs in (though not in the 64-byte chunks it uses, which alone would
// send its accesses through the bus's locked path).
enum class EAid { kWriteWatch, kAccessWatch, kHistory, kProfile, kAllOffAgain };

void RunLoopWithAid(benchmark::State& state, EAid aid) {
    CWorkspace workspace(EKind::k6502, static_cast<int>(state.range(0)), false);
    CDebugger& debugger = workspace.Debugger();
    SWatchpoint watch;
    watch.from = watch.to = 0x0300;
    switch (aid) {
        case EAid::kWriteWatch: debugger.AddWatchpoint(watch); break;
        case EAid::kAccessWatch:
            watch.access = kWatchAccess;
            debugger.AddWatchpoint(watch);
            break;
        case EAid::kHistory: debugger.SetHistoryEnabled(true); break;
        case EAid::kProfile: debugger.SetProfileEnabled(true); break;
        case EAid::kAllOffAgain:
            debugger.AddWatchpoint(watch);
            debugger.SetHistoryEnabled(true);
            debugger.SetProfileEnabled(true);
            debugger.SetWatchpoints({});
            debugger.SetHistoryEnabled(false);
            debugger.SetProfileEnabled(false);
            break;
    }
    int64_t instructions = 0;
    for (auto _ : state)
        instructions += workspace.Run();
    state.counters["instructions/s"] =
        benchmark::Counter(static_cast<double>(instructions), benchmark::Counter::kIsRate);
    if (aid == EAid::kHistory)
        state.counters["history MiB"] =
            static_cast<double>(debugger.History(0).GetBytes()) / (1 << 20);
}

void BM_RunLoop6502WriteWatch(benchmark::State& state) {
    RunLoopWithAid(state, EAid::kWriteWatch);
}
void BM_RunLoop6502AccessWatch(benchmark::State& state) {
    RunLoopWithAid(state, EAid::kAccessWatch);
}
void BM_RunLoop6502History(benchmark::State& state) {
    RunLoopWithAid(state, EAid::kHistory);
}
void BM_RunLoop6502Profile(benchmark::State& state) {
    RunLoopWithAid(state, EAid::kProfile);
}
void BM_RunLoop6502AidsOffAgain(benchmark::State& state) {
    RunLoopWithAid(state, EAid::kAllOffAgain);
}
void BM_RunLoop6502WithDisplays(benchmark::State& state) {
    RunLoop(state, EKind::k6502, true);
}
void BM_RunLoop6502With30Breakpoints(benchmark::State& state) {
    RunLoop(state, EKind::k6502, false, true);
}
void BM_RunLoopVo16With30Breakpoints(benchmark::State& state) {
    RunLoop(state, EKind::kVo16, false, true);
}
void BM_RunLoopCorvaneWith30Breakpoints(benchmark::State& state) {
    RunLoop(state, EKind::kCorvane, false, true);
}
void BM_RunLoopVo16(benchmark::State& state) {
    RunLoop(state, EKind::kVo16);
}
void BM_RunLoopCorvane(benchmark::State& state) {
    RunLoop(state, EKind::kCorvane);
}
void BM_RunLoopCorvaneCached(benchmark::State& state) {
    RunLoop(state, EKind::kCorvaneCached);
}

// The work is on the run thread: the process's CPU time is what counts.
BENCHMARK(BM_RunLoop6502)
    ->ArgName("units")
    ->Arg(1)
    ->Arg(2)
    ->Arg(8)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLoop6502WriteWatch)
    ->ArgName("units")
    ->Arg(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLoop6502AccessWatch)
    ->ArgName("units")
    ->Arg(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLoop6502History)
    ->ArgName("units")
    ->Arg(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLoop6502Profile)
    ->ArgName("units")
    ->Arg(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLoop6502AidsOffAgain)
    ->ArgName("units")
    ->Arg(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLoop6502WithDisplays)
    ->ArgName("units")
    ->Arg(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLoop6502With30Breakpoints)
    ->ArgName("units")
    ->Arg(1)
    ->Arg(2)
    ->Arg(8)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLoopVo16With30Breakpoints)
    ->ArgName("units")
    ->Arg(1)
    ->Arg(8)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLoopCorvaneWith30Breakpoints)
    ->ArgName("units")
    ->Arg(1)
    ->Arg(8)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLoopVo16)
    ->ArgName("units")
    ->Arg(1)
    ->Arg(8)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLoopCorvane)
    ->ArgName("units")
    ->Arg(1)
    ->Arg(8)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLoopCorvaneCached)
    ->ArgName("units")
    ->Arg(1)
    ->Arg(8)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
