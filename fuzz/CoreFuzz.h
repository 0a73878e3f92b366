#pragma once
// The driver shared by the core fuzz targets: a unit on a bus of its usual
// memories runs a program from the input while interrupt requests come and go
// and its listing is taken at random addresses.
//
// Input: u8 n, then n control records of four bytes [op a b c], then a memory
// image. The image is copied to the bottom of the first memory and its last
// bytes once more to the top of the last memory, where the vectors and entry
// words live (with force, so a ROM takes them). Records, by op & 7:
//   0-3  a + 1 steps (at most kMaxSteps steps and kMaxFetches instruction
//        fetches per input, so that no input runs long: one step through a
//        chain of immediate prefixes fetches thousands of words)
//   4    Interrupt(nmi = a bit 0, irq = a bit 1, code = b % 17 - 1)
//   5    ClearInterrupt, the same arguments
//   6    Disassemble at (op >> 3) << 24 | c << 16 | b << 8 | a, every text
//   7    op bit 7: Reset; else PC := c << 16 | b << 8 | a
// Records that do not fit the input are not run. At the end the unit's stored
// record must load into a fresh unit that stores the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "core/Archive.h"
#include "core/Devices.h"
#include "core/Ram.h"
#include "fuzz/FuzzCheck.h"

struct SFuzzMemory {
    uint32_t from;
    uint32_t size;
    bool writable;
};

inline constexpr int kMaxSteps = 4000;
inline constexpr uint32_t kMaxFetches = 100000;

// fetches reads the unit's instruction-fetch counter.
template <class Core>
void FuzzCore(const uint8_t* data, size_t size, std::initializer_list<SFuzzMemory> memories,
              uint32_t (*fetches)(const Core&)) {
    CDevices bus;
    for (const SFuzzMemory& memory : memories) {
        auto* ram = new CRam;
        ram->SetRange(memory.from, memory.from + memory.size - 1);
        ram->SetSize(memory.size);
        ram->SetWritable(memory.writable);
        bus.AddTail(ram);
    }

    const size_t records = size ? std::min<size_t>(data[0], (size - 1) / 4) : 0;
    const uint8_t* control = data + 1;
    const uint8_t* image = control + 4 * records;
    const size_t imageSize = size ? size - 1 - 4 * records : 0;
    const SFuzzMemory& bottom = *memories.begin();
    const SFuzzMemory& top = *(memories.end() - 1);
    for (size_t i = 0; i < std::min<size_t>(imageSize, bottom.size); ++i)
        bus.Write(bottom.from + static_cast<uint32_t>(i), image[i], 1, true);
    const size_t tail = std::min<size_t>(imageSize, top.size);
    const uint32_t tailStart = top.from + top.size - static_cast<uint32_t>(tail);
    for (size_t i = 0; i < tail; ++i)
        bus.Write(tailStart + static_cast<uint32_t>(i), image[imageSize - tail + i], 1, true);

    Core unit;
    unit.SetBus(&bus);
    unit.Reset();
    int steps = 0;
    uint32_t fetched = 0;
    for (size_t r = 0; r < records; ++r) {
        const uint8_t* record = control + 4 * r;
        const uint8_t op = record[0];
        const uint32_t low = record[1] | record[2] << 8 | record[3] << 16;
        const bool nmi = (record[1] & 1) != 0;
        const bool irq = (record[1] & 2) != 0;
        const int code = record[2] % 17 - 1;
        switch (op & 7) {
            case 4: unit.Interrupt(nmi, irq, code); break;
            case 5: unit.ClearInterrupt(nmi, irq, code); break;
            case 6: {
                unit.Disassemble(static_cast<uint32_t>(op >> 3) << 24 | low);
                break;
            }
            case 7:
                if (op & 0x80)
                    unit.Reset();
                else
                    unit.SetPC(low);
                break;
            default:
                for (int i = 0; i <= record[1] && steps < kMaxSteps && fetched < kMaxFetches;
                     ++i, ++steps) {
                    const uint32_t before = fetches(unit);
                    unit.Step();
                    fetched += fetches(unit) - before;
                }
                break;
        }
    }
    unit.Disassemble(unit.GetPC());

    CArchive stored;
    unit.Serialize(stored);
    CArchive in(stored.Data());
    Core reloaded;
    reloaded.Serialize(in);
    FuzzCheck(!in.Failed() && in.Remaining() == 0, "the unit's record does not load");
    CArchive again;
    reloaded.Serialize(again);
    FuzzCheck(again.Data() == stored.Data(), "the unit's record does not survive a load");
}
