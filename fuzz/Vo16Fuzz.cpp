// The Vo16 core on the memories of the Vo16 standard system: 32 KiB of
// external RAM at 0 and 32 bytes of internal RAM at 0xFF00 (see CoreFuzz.h).
#include "cpu/Vo16.h"
#include "fuzz/CoreFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzCore<CVo16>(data, size, {{0x0000, 0x8000, true}, {0xFF00, 0x20, true}},
                    [](const CVo16& unit) { return unit.GetStatistic(CMpu::kFetches); });
    return 0;
}
