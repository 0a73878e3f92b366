// Machines with very many devices: opening a stored workspace of N one-byte
// memories (every one a change of the bus's structure) and clearing it again,
// and clearing a machine of N VIC video controllers whose displays run at the
// shortest period (as the runner starts them: at most kMaxDisplays).
// Each figure is the time of one open or one clear; both should stay well
// under a second at N = 10,000.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Host.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "core/WorkspaceFile.h"
#include "cpu/Vo16.h"
#include "devices/Vic.h"
#include "system/StandardClasses.h"

namespace {

// A Vo16 unit and n one-byte memories side by side from address 0.
std::vector<uint8_t> StoredMemories(int n) {
    RegisterStandardClasses();
    CComputer computer(&CNullHost::Instance());
    computer.NewContents();
    auto* unit = new CVo16;
    computer.GetMpus()->Add(unit);
    unit->SetBus(computer.GetDevices());
    std::vector<std::unique_ptr<CDevice>> memories;
    for (int i = 0; i < n; ++i) {
        auto ram = std::make_unique<CRam>();
        ram->SetName("RAM " + std::to_string(i));
        ram->SetRange(static_cast<uint32_t>(i), static_cast<uint32_t>(i));
        ram->SetSize(1);
        memories.push_back(std::move(ram));
    }
    computer.GetDevices()->AddTailAll(memories);
    return StoreWorkspace(computer);
}

void OpenMemories(benchmark::State& state) {
    const std::vector<uint8_t> file = StoredMemories(static_cast<int>(state.range(0)));
    CComputer computer(&CNullHost::Instance());
    for (auto _ : state) {
        std::string error;
        if (!LoadWorkspace(computer, file, &error)) state.SkipWithError(error.c_str());
        state.PauseTiming();
        computer.DeleteContents();
        state.ResumeTiming();
    }
    state.counters["file KB"] = static_cast<double>(file.size()) / 1024.0;
}
BENCHMARK(OpenMemories)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void ClearMemories(benchmark::State& state) {
    const std::vector<uint8_t> file = StoredMemories(static_cast<int>(state.range(0)));
    CComputer computer(&CNullHost::Instance());
    for (auto _ : state) {
        state.PauseTiming();
        std::string error;
        if (!LoadWorkspace(computer, file, &error)) state.SkipWithError(error.c_str());
        state.ResumeTiming();
        computer.DeleteContents();
    }
}
BENCHMARK(ClearMemories)->Arg(10000)->Unit(benchmark::kMillisecond);

// Clearing a machine of n video controllers with their displays running.
void ClearVideoControllers(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    CComputer computer(&CNullHost::Instance());
    for (auto _ : state) {
        state.PauseTiming();
        computer.NewContents();
        std::vector<std::unique_ptr<CDevice>> controllers;
        for (int i = 0; i < n; ++i) {
            auto vic = std::make_unique<CVic>();
            vic->SetRefreshPeriod(CVideoDevice::kRefreshTable.front());
            controllers.push_back(std::move(vic));
        }
        computer.GetDevices()->AddTailAll(controllers);
        StartDisplays(*computer.GetDevices());
        state.ResumeTiming();
        StopDisplays(*computer.GetDevices());
        computer.DeleteContents();
    }
}
BENCHMARK(ClearVideoControllers)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
