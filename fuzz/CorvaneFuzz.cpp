// The Corvane core on the memories of the Corvane standard system: 256 KiB of
// RAM at 0 and a 64 KiB ROM at 0xFF0000 that holds the entry words (see
// CoreFuzz.h).
#include "cpu/CorvaneMPU.h"
#include "fuzz/CoreFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzCore<CCorvaneMPU>(data, size, {{0x000000, 0x40000, true}, {0xFF0000, 0x10000, false}},
                          [](const CCorvaneMPU& unit) {
                              return static_cast<uint32_t>(unit.GetStatistic(CMpu::kFetches));
                          });
    return 0;
}
