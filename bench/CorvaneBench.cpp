// Simulated Corvane instructions per second: a loop of a load, an add, a
// store, a register add, a counter decrement and a branch, on a real bus with
// 256 KB of RAM, fetching without and with the instruction cache. direct:1
// steps on a thread that may reach memory directly, as the run thread does;
// direct:0 takes the locked path, as the event thread does.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <initializer_list>

#include "core/Devices.h"
#include "core/Ram.h"
#include "cpu/CorvaneMPU.h"

namespace {

constexpr int kStepsPerIteration = 1000;

void BM_CorvaneLoop(benchmark::State& state) {
    CDevices bus;
    auto* ram = new CRam;
    ram->SetRange(0, 0x3FFFF);
    ram->SetSize(0x40000);
    bus.AddTail(ram);
    CCorvaneMPU unit;
    unit.SetBus(&bus);
    unit.Reset();
    // cache enable as given; translation off
    unit.SetCR(static_cast<uint32_t>(state.range(0)) | CCorvaneMPU::kCrNoTranslation);
    unit.SetPC(0x100);

    uint32_t address = 0x100;
    for (uint32_t word : {
             0xBC0010, 0x642000,  // 0100: lw r1,#001000   data pointer
             0xDC4110,            // 0106: lw r2,10(r1)
             0x644201,            // add r2,r2,#000001
             0xFC4113,            // sw r2,13(r1)
             0x606302,            // add r3,r3,r2
             0x74A501,            // sub r5,r5,#000001
             0x09DDEB,            // br sp,000106
         }) {
        bus.Write(address, word, 3, true);
        address += 3;
    }

    const CDevices::CDirectAccess direct(state.range(1) != 0 ? &bus : nullptr);
    for (auto _ : state) {
        for (int i = 0; i < kStepsPerIteration; ++i)
            unit.Step();
    }
    benchmark::DoNotOptimize(unit.GetRegister(3));
    state.counters["instructions/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kStepsPerIteration, benchmark::Counter::kIsRate);
    state.counters["cache misses"] = unit.Cache().GetMisses();
}

}  // namespace

BENCHMARK(BM_CorvaneLoop)->ArgNames({"cache", "direct"})->ArgsProduct({{0, 1}, {1, 0}});
