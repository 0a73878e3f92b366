// Simulated 6502 instructions per second: a 16-bit counting loop (loads,
// stores, adds, an index increment, a store to an absolute address and a
// branch) stepped through the real bus with one memory device.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "core/Devices.h"
#include "core/Ram.h"
#include "cpu/M6502.h"

namespace {

// At 0x0400: CLD; LDX #0; LDA #0; STA $10; STA $11; loop at 0x0409: CLC;
// LDA $10; ADC #1; STA $10; LDA $11; ADC #0; STA $11; INX; STA $0200;
// BNE loop; JMP loop.
constexpr uint8_t kLoop[] = {0xD8, 0xA2, 0x00, 0xA9, 0x00, 0x85, 0x10, 0x85, 0x11, 0x18, 0xA5,
                             0x10, 0x69, 0x01, 0x85, 0x10, 0xA5, 0x11, 0x69, 0x00, 0x85, 0x11,
                             0xE8, 0x8D, 0x00, 0x02, 0xD0, 0xED, 0x4C, 0x09, 0x04};

void BM_M6502CountingLoop(benchmark::State& state) {
    CDevices bus;
    auto* ram = new CRam;
    ram->SetRange(0, 0xFFFF);
    ram->SetSize(0x10000);
    bus.AddTail(ram);
    uint16_t address = 0x0400;
    for (uint8_t byte : kLoop)
        bus.Write(address++, byte, 1, true);

    C6502 unit;
    unit.SetBus(&bus);
    unit.SetPC(0x0400);
    unit.SetSP(0xFF);
    unit.SetStatus(0x30);

    constexpr int kBatch = 1000;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i)
            unit.Step();
    }
    benchmark::DoNotOptimize(unit.GetA());
    const auto instructions = static_cast<double>(state.iterations()) * kBatch;
    state.SetItemsProcessed(static_cast<int64_t>(instructions));
    state.counters["instructions/s"] =
        benchmark::Counter(instructions, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_M6502CountingLoop);

}  // namespace
