// The assembler on a generated source of 10,000 lines per processor: labels,
// forward branches, expressions and data, as a program would have them.
#include <benchmark/benchmark.h>

#include <string>

#include "tools/Assembler.h"
#include "core/StringEx.h"

namespace {

constexpr int kLines = 10000;

std::string Source(EProcessor processor) {
    std::string text = std::string("  cpu ") + ProcessorName(processor) + "\n  org 1000\n";
    for (int i = 0; text.size() < 64u * kLines && i < kLines / 5; ++i) {
        switch (processor) {
            case EProcessor::k6502:
                AppendFormat(text,
                             "l%d: lda #%02X\n  sta $0200+%d,x\n  bne l%d\n  jsr l%d\n"
                             "  byte <l%d, %d.\n",
                             i, i & 0xFF, i & 0xFF, i, i + 1, i, i & 0x7F);
                break;
            case EProcessor::kVo16:
                AppendFormat(text,
                             "l%d: addi r1,r2,%X\n  lw r3,0012(r1)\n  bne l%d\n  andi r4,l%d & FF\n"
                             "  sb r4,0003(r1)\n",
                             i, i * 3, i, i);
                break;
            case EProcessor::kCorvane:
                AppendFormat(text,
                             "l%d: add r1,r2,#%X\n  lw r13,l%d\n  bne r9,l%d\n  sw r2,03(r1)\n"
                             "  shr r7,r4,#000003\n",
                             i, i * 7, i + 1, i);
                break;
        }
    }
    AppendFormat(text, "l%d: byte 0\n", kLines / 5);
    return text;
}

void AssembleLines(benchmark::State& state, EProcessor processor) {
    const std::string text = Source(processor);
    for (auto _ : state) {
        const SAssembly assembly = CAssembler::AssembleText(text, "bench.s", {});
        if (!assembly.Ok()) {
            state.SkipWithError(assembly.errors.front().Text().c_str());
            return;
        }
        benchmark::DoNotOptimize(assembly.segments.data());
    }
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(kLines) * state.iterations(),
                                                   benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK_CAPTURE(AssembleLines, m6502, EProcessor::k6502)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AssembleLines, vo16, EProcessor::kVo16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AssembleLines, corvane, EProcessor::kCorvane)->Unit(benchmark::kMillisecond);
