// Simulated Vo16 instructions per second: a loop of a load, an add, a store,
// a register add and a branch, on a real bus with the standard 32 KB memory.
// direct:1 steps on a thread that may reach memory directly, as the run
// thread does; direct:0 takes the locked path, as the event thread does.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <initializer_list>

#include "core/Devices.h"
#include "core/Ram.h"
#include "cpu/Vo16.h"

namespace {

constexpr int kStepsPerIteration = 1000;

void BM_Vo16Loop(benchmark::State& state) {
    CDevices bus;
    auto* ram = new CRam;
    ram->SetRange(0, 0x7FFF);
    ram->SetSize(0x8000);
    bus.AddTail(ram);
    CVo16 unit;
    unit.SetBus(&bus);
    unit.Reset();

    uint32_t address = 0;
    for (uint16_t word : {
             0xD100, 0x2100,  // addi r1,r0,1000   data pointer
             0x5210,          // 0004: lw r2,0000(r1)
             0x2221,          // addi r2,r2,0001
             0x8212,          // sw r2,0002(r1)
             0x0332,          // add r3,r3,r2
             0xB0FA,          // br 0004
         }) {
        bus.Write(address, word, 2 | CDevices::kSwap, true);
        address += 2;
    }

    const CDevices::CDirectAccess direct(state.range(0) != 0 ? &bus : nullptr);
    for (auto _ : state) {
        for (int i = 0; i < kStepsPerIteration; ++i)
            unit.Step();
    }
    benchmark::DoNotOptimize(unit.GetRegister(3));
    state.counters["instructions/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kStepsPerIteration, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_Vo16Loop)->ArgName("direct")->Arg(1)->Arg(0);
