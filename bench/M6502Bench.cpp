// Simulated 6502 instructions per second, stepped through the real bus with
// one memory device: a 16-bit counting loop (loads, stores, adds, an index
// increment, a store to an absolute address and a branch) and a mixed loop
// that uses most addressing modes, the stack, a subroutine and decimal mode.
// direct:1 steps on a thread that may reach memory directly, as the run
// thread does; direct:0 takes the locked path, as the event thread does.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <initializer_list>

#include "core/Devices.h"
#include "core/Ram.h"
#include "cpu/M6502.h"

namespace {

// At 0x0400: CLD; LDX #0; LDA #0; STA $10; STA $11; loop at 0x0409: CLC;
// LDA $10; ADC #1; STA $10; LDA $11; ADC #0; STA $11; INX; STA $0200;
// BNE loop; JMP loop.
constexpr std::initializer_list<uint8_t> kCountingLoop = {
    0xD8, 0xA2, 0x00, 0xA9, 0x00, 0x85, 0x10, 0x85, 0x11, 0x18, 0xA5, 0x10, 0x69, 0x01, 0x85, 0x10,
    0xA5, 0x11, 0x69, 0x00, 0x85, 0x11, 0xE8, 0x8D, 0x00, 0x02, 0xD0, 0xED, 0x4C, 0x09, 0x04};

// At 0x0400: LDX #FF; TXS; LDA #00; STA $20; LDA #30; STA $21; LDY #00;
// loop at 0x040D: TYA; STA ($20),Y; EOR ($20),Y; CLC; ADC $3000,Y; ASL A;
// ROL A; ROR A; LSR A; PHA; JSR $0450; PLA; STA $3100,X; INC $22; DEC $23;
// BIT $22; SED; ADC #01; CLD; SEC; SBC #01; CMP #80; TAX; LDA ($20,X);
// PHP; PLP; INY; BNE loop; JMP loop.
constexpr std::initializer_list<uint8_t> kMixedLoop = {
    0xA2, 0xFF, 0x9A, 0xA9, 0x00, 0x85, 0x20, 0xA9, 0x30, 0x85, 0x21, 0xA0, 0x00, 0x98, 0x91,
    0x20, 0x51, 0x20, 0x18, 0x79, 0x00, 0x30, 0x0A, 0x2A, 0x6A, 0x4A, 0x48, 0x20, 0x50, 0x04,
    0x68, 0x9D, 0x00, 0x31, 0xE6, 0x22, 0xC6, 0x23, 0x24, 0x22, 0xF8, 0x69, 0x01, 0xD8, 0x38,
    0xE9, 0x01, 0xC9, 0x80, 0xAA, 0xA1, 0x20, 0x08, 0x28, 0xC8, 0xD0, 0xD4, 0x4C, 0x0D, 0x04};
// At 0x0450: TXA; EOR $3200,X; STA $3200,X; LDA $22; ADC $23; STA $24; RTS.
constexpr std::initializer_list<uint8_t> kMixedSubroutine = {
    0x8A, 0x5D, 0x00, 0x32, 0x9D, 0x00, 0x32, 0xA5, 0x22, 0x65, 0x23, 0x85, 0x24, 0x60};

void Load(CDevices& bus, uint16_t address, std::initializer_list<uint8_t> bytes) {
    for (uint8_t byte : bytes)
        bus.Write(address++, byte, 1, true);
}

void Run(benchmark::State& state, std::initializer_list<uint8_t> program,
         std::initializer_list<uint8_t> subroutine) {
    CDevices bus;
    auto* ram = new CRam;
    ram->SetRange(0, 0xFFFF);
    ram->SetSize(0x10000);
    bus.AddTail(ram);
    Load(bus, 0x0400, program);
    Load(bus, 0x0450, subroutine);
    const CDevices::CDirectAccess direct(state.range(0) != 0 ? &bus : nullptr);

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

void BM_M6502CountingLoop(benchmark::State& state) {
    Run(state, kCountingLoop, {});
}
BENCHMARK(BM_M6502CountingLoop)->ArgName("direct")->Arg(1)->Arg(0);

void BM_M6502MixedLoop(benchmark::State& state) {
    Run(state, kMixedLoop, kMixedSubroutine);
}
BENCHMARK(BM_M6502MixedLoop)->ArgName("direct")->Arg(1)->Arg(0);

}  // namespace
