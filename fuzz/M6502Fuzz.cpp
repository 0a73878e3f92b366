// The 6502 core on 64 KiB of RAM (see CoreFuzz.h for the input).
#include "cpu/M6502.h"
#include "fuzz/CoreFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzCore<C6502>(data, size, {{0x0000, 0x10000, true}},
                    [](const C6502& unit) { return unit.GetStatistic(CMpu::kFetches); });
    return 0;
}
