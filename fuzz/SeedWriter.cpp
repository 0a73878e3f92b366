// Writes the seed corpora of the fuzz targets into a folder given on the
// command line: files the project's own writers produce (S-records, hex dumps,
// workspaces), typed monitor lines and short programs for each core in the
// input layout of CoreFuzz.h. The committed corpus under fuzz/corpus is its
// output; run it again after a file format changes:
//   fuzz_seed_writer fuzz/corpus
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/Computer.h"
#include "core/Devices.h"
#include "core/ImageFile.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "core/WorkspaceFile.h"
#include "cpu/CorvaneMPU.h"
#include "cpu/M6502.h"
#include "cpu/Vo16.h"
#include "devices/Keyboard.h"
#include "devices/M6818.h"
#include "devices/TimeSlicer.h"
#include "devices/Vic.h"
#include "devices/Vo16VGA.h"
#include "system/StandardClasses.h"
#include "system/StandardSystems.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

fs::path g_root;
bool g_failed = false;

void Save(const std::string& target, const std::string& name, const std::string& content) {
    const fs::path folder = g_root / target;
    std::error_code ec;
    fs::create_directories(folder, ec);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", (folder / name).c_str());
        g_failed = true;
    }
}

void Save(const std::string& target, const std::string& name, const Bytes& content) {
    Save(target, name, std::string(content.begin(), content.end()));
}

// ---- program images ----

struct SBlock {
    uint32_t address;
    Bytes bytes;
};

std::string SRecords(std::initializer_list<SBlock> blocks, uint32_t entry) {
    std::ostringstream out;
    CSRecordFile file;
    file.AttachWrite(out);
    for (const SBlock& block : blocks) {
        uint32_t address = block.address;
        for (uint8_t value : block.bytes)
            file.WriteByte(address++, value);
    }
    file.Close(entry);
    return out.str();
}

std::string HexDump(std::initializer_list<SBlock> blocks) {
    std::ostringstream out;
    CHexDumpFile file;
    file.AttachWrite(out);
    for (const SBlock& block : blocks) {
        uint32_t address = block.address;
        for (uint8_t value : block.bytes)
            file.WriteByte(address++, value);
    }
    file.Close();
    return out.str();
}

Bytes Counting(size_t count, uint8_t first) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

void WriteImages() {
    Save("srecord", "s1-40-bytes.s19", SRecords({{0x1000, Counting(40, 0)}}, 0x1000));
    Save("srecord", "s2-program.s19", SRecords({{0x012345, Counting(20, 0xA0)}}, 0x012345));
    Save("srecord", "s3-high.s19", SRecords({{0x01000000, Counting(8, 0x41)}}, 0x01000000));
    Save("srecord", "mixed-jumps.s19",
         SRecords({{0x0000, Counting(5, 0x10)}, {0xFFFE, Counting(4, 0x20)}, {0x8000, {0xEA}}},
                  0x8000));
    Save("hexdump", "one-line.hex", HexDump({{0x0100, {0xAA, 0xBB, 0xCC}}}));
    Save("hexdump", "two-blocks.hex", HexDump({{0x2000, Counting(20, 0x30)}, {0x3000, {1, 2}}}));
    Save("hexdump", "top-of-memory.hex", HexDump({{0xFFF8, Counting(8, 0xF0)}}));
    // A record that runs past FFFFFFFF: its last bytes are left out, not wrapped to 0.
    Save("srecord", "s3-past-the-end.s19", "S30BFFFFFFFE010203040506E4\nS70500000000FA\n");
}

// ---- workspaces ----

CRam* ShrinkMemory(CComputer& computer, const char* name, uint32_t from, uint32_t size) {
    auto* ram = dynamic_cast<CRam*>(computer.GetDevices()->FindByName(name));
    if (!ram) return nullptr;
    ram->SetRange(from, from + size - 1);
    ram->SetSize(size);
    return ram;
}

template <class Device>
Device* AddDevice(CComputer& computer, const char* name, uint32_t from, uint32_t to, int irq) {
    auto* device = new Device;
    device->SetName(name);
    device->SetRange(from, to);
    device->SetIrqCode(irq);
    computer.GetDevices()->AddTail(device);
    return device;
}

void WriteWorkspaces() {
    RegisterStandardClasses();
    {
        CComputer computer;
        computer.NewContents();
        Save("workspace", "blank.ws", StoreWorkspace(computer));
    }
    {
        CComputer computer;
        computer.NewContents();
        BuildStandardSystem(computer, ESystemType::Vo16);
        ShrinkMemory(computer, "External RAM", 0x0000, 0x40);
        Save("workspace", "vo16-system-small.ws", StoreWorkspace(computer));
    }
    {
        CComputer computer;
        computer.NewContents();
        BuildStandardSystem(computer, ESystemType::Corvane);
        ShrinkMemory(computer, "RAM", 0x000000, 0x40);
        CRam* rom = ShrinkMemory(computer, "ROM", 0xFFFFC0, 0x40);
        if (rom) rom->Write(0xFFFFF8, 0x0E00F0, 3, true);
        Save("workspace", "corvane-system-small.ws", StoreWorkspace(computer));
    }
    {
        // One unit of each class and one device of each class, small memories.
        CComputer computer;
        computer.NewContents();
        CMpus& units = *computer.GetMpus();
        CDevices* bus = computer.GetDevices();
        auto* corvane = new CCorvaneMPU;
        corvane->SetName("Corvane Processor #0");
        corvane->SetIrqMask(3);
        corvane->SetRegister(1, 0x123456);
        corvane->SetPageTableEntry(1, 0x00C);
        corvane->Breakpoints().Add(0x000100);
        auto* vo16 = new CVo16;
        vo16->SetRegister(2, 0xBEEF);
        vo16->SetPC(0x0010);
        auto* m6502 = new C6502;
        m6502->SetA(0x42);
        m6502->SetPC(0x0200);
        for (CMpu* unit :
             {static_cast<CMpu*>(corvane), static_cast<CMpu*>(vo16), static_cast<CMpu*>(m6502)}) {
            unit->SetBus(bus);
            units.Add(unit);
        }
        computer.SetActiveProcessor(2);
        auto* ram = AddDevice<CRam>(computer, "RAM", 0x0000, 0x003F, -1);
        ram->SetSize(0x40);
        ram->Write(0x0000, 0xA9, 1, true);
        auto* rom = AddDevice<CRam>(computer, "ROM", 0xFFFFF0, 0xFFFFFF, -1);
        rom->SetSize(0x10);
        rom->SetWritable(false);
        AddDevice<CVic>(computer, "VIC", 0x300000, 0x300FFF, 7)->SetStride(3);
        AddDevice<CKeyboard>(computer, "Keyboard", 0x301100, 0x3011FF, 1);
        AddDevice<CTimeSlicer>(computer, "System time slicer", 0x301000, 0x3010FF, 0);
        AddDevice<CVo16VGA>(computer, "Vo16 VGA Controller", 0x0000, 0x0000, -1);
        AddDevice<C6818>(computer, "Real-time clock", 0x301200, 0x301201, 2);
        Save("workspace", "one-of-each-class.ws", StoreWorkspace(computer));
    }
    {
        // 1,100 one-byte memories: timer bases past the animation ids, and a
        // name with control characters.
        CComputer computer;
        computer.NewContents();
        std::vector<std::unique_ptr<CDevice>> memories;
        for (uint32_t i = 0; i < 1100; ++i) {
            auto ram = std::make_unique<CRam>();
            ram->SetName(i == 0 ? std::string("RAM\n\x1B[2J", 9) : "R");
            ram->SetRange(i, i);
            ram->SetSize(1);
            memories.push_back(std::move(ram));
        }
        computer.GetDevices()->AddTailAll(memories);
        Save("workspace", "many-small-memories.ws", StoreWorkspace(computer));
    }
    // Not a workspace at all.
    Save("workspace", "not-a-workspace.ws",
         std::string("\x7F"
                     "ELF\x02\x01\x01\0\0\0\0\0",
                     12));
}

// ---- monitor lines ----

void WriteMonitorLines() {
    Save("monitor", "enter.txt", ":1000 A9 05 8D 00 02");
    Save("monitor", "enter-commas.txt", ":2000,1,2,3");
    Save("monitor", "fill.txt", "F 3000 4 EA");
    Save("monitor", "dump.txt", "D 100 12");
    Save("monitor", "dump-lower.txt", "d 0 10");
    Save("monitor", "dump-empty.txt", "D 0 0");
    Save("monitor", "dump-no-device.txt", "D 3FFF8 20");
    Save("monitor", "dump-r.txt", "D r 100");
    Save("monitor", "clear.txt", "Clear");
    Save("monitor", "clearance.txt", "clearance");
    Save(
        "monitor", "devices.txt",
        ":300000 00 10\nD 300000 18\nF 301000 1 5\nD 301100 1\n:301200 0B\n:301201 86\nD 301200 2");
    Save("monitor", "enter-then-dump.txt", ":1000 41 42 43 0x44 -1\nD 1000 5");
    Save("monitor", "past-the-end.txt", "F FFFFFFF0 20 AA\nD FFFFFFF8 10\n:FFFFFFFF 1 2 3\nD 0 10");
}

// ---- core programs (CoreFuzz.h layout) ----

struct SRecord {
    uint8_t op, a, b, c;
};

constexpr SRecord Steps(int count) {
    return {0, static_cast<uint8_t>(count - 1), 0, 0};
}
constexpr SRecord Irq(int code) {
    return {4, 2, static_cast<uint8_t>(code + 1), 0};
}
constexpr SRecord Nmi() {
    return {4, 1, 0, 0};
}
constexpr SRecord ClearIrq(int code) {
    return {5, 2, static_cast<uint8_t>(code + 1), 0};
}
constexpr SRecord List(uint32_t address) {
    return {static_cast<uint8_t>(6 | (address >> 24) << 3), static_cast<uint8_t>(address),
            static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address >> 16)};
}
constexpr SRecord Jump(uint32_t address) {
    return {7, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
            static_cast<uint8_t>(address >> 16)};
}
constexpr SRecord kReset{0x87, 0, 0, 0};

Bytes CoreInput(std::initializer_list<SRecord> records, const Bytes& image) {
    Bytes input{static_cast<uint8_t>(records.size())};
    for (const SRecord& r : records)
        input.insert(input.end(), {r.op, r.a, r.b, r.c});
    input.insert(input.end(), image.begin(), image.end());
    return input;
}

Bytes Words24(std::initializer_list<uint32_t> words) {
    Bytes bytes;
    for (uint32_t w : words)
        bytes.insert(bytes.end(), {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8),
                                   static_cast<uint8_t>(w >> 16)});
    return bytes;
}

void Place(Bytes& image, uint32_t at, const Bytes& bytes) {
    if (image.size() < at + bytes.size()) image.resize(at + bytes.size());
    std::copy(bytes.begin(), bytes.end(), image.begin() + at);
}

void WriteCorePrograms() {
    // 6502: clear page 2, then wait with interrupts enabled; the IRQ handler
    // counts in 0x0300, the NMI handler returns at once. The last six bytes
    // of the image are the vectors at 0xFFFA.
    Bytes m6502 = {
        0xA2, 0x00,                          // 0000 LDX #0
        0x8A,                                // 0002 TXA
        0x9D, 0x00, 0x02,                    // 0003 STA $0200,X
        0xE8,                                // 0006 INX
        0xD0, 0xF9,                          // 0007 BNE $0002
        0x58,                                // 0009 CLI
        0x4C, 0x0A, 0x00,                    // 000A JMP $000A
        0x48,                                // 000D PHA
        0xEE, 0x00, 0x03,                    // 000E INC $0300
        0x68,                                // 0011 PLA
        0x40,                                // 0012 RTI
        0x40,                                // 0013 RTI
        0x13, 0x00, 0x00, 0x00, 0x0D, 0x00,  // NMI 0013, reset 0000, IRQ 000D
    };
    Save("m6502", "clear-page-and-interrupts.bin",
         CoreInput({Steps(256), Steps(256), Steps(256), Steps(256), Steps(16), Irq(0), Steps(20),
                    ClearIrq(15), Steps(20), Nmi(), Steps(8), List(0x0000), List(0x0003),
                    List(0x000D), List(0xFFFA), kReset, Steps(4)},
                   m6502));
    Save("m6502", "listing-only.bin",
         CoreInput({List(0x0000), List(0x0001), List(0x0002), List(0x0003)},
                   {0xA9, 0x05, 0x6C, 0xFF, 0x10, 0x91, 0x80, 0x00}));

    // Vo16: fill 0x0200-0x02FF with alternating A55A / 5AA5 words, then a
    // branch to itself.
    const Bytes vo16 = {
        0xD0, 0x20, 0x21, 0x00,  // 0000 addi r1,r0,0200
        0xDA, 0x55, 0x22, 0x0A,  // 0004 addi r2,r0,A55A
        0xD0, 0x30, 0x23, 0x00,  // 0008 addi r3,r0,0300
        0x82, 0x10,              // 000C sw r2,0000(r1)
        0x21, 0x12,              // addi r1,r1,0002
        0x42, 0x2F,              // xori r2,FFFF
        0x10, 0x13,              // sub r0,r1,r3
        0xBC, 0xFA,              // bltu 000C
        0xB0, 0xFE,              // 0018 br 0018
    };
    Save("vo16", "fill-loop.bin",
         CoreInput({Steps(256), Steps(256), Steps(256), Steps(256), Steps(256), Steps(64),
                    List(0x0000), List(0x0004), List(0x000C), List(0x0014), Irq(0), kReset,
                    Steps(8), Jump(0xFF00), Steps(4)},
                   vo16));

    // Corvane: a loop with prefixed constants, a call and ret, loads and
    // stores, an idle loop left by the interrupt handler (IRQ entry at
    // 0xFFFFE8, reset entry at 0xFFFFF8; the image's last 24 bytes).
    const auto alu = [](uint32_t major, uint32_t d, uint32_t a, uint32_t b) {
        return major << 19 | d << 13 | a << 8 | b;
    };
    const auto aluI = [](uint32_t major, uint32_t d, uint32_t a, uint32_t imm8) {
        return major << 19 | 1u << 18 | d << 13 | a << 8 | imm8;
    };
    const auto prefix = [](uint32_t value) { return 0xBC0000 | (value >> 8 & 0xFFFF); };
    const auto branch = [](uint32_t cond, uint32_t a, uint32_t imm8) {
        return 1u << 19 | cond << 13 | a << 8 | imm8;
    };
    const auto control = [](uint32_t sub, uint32_t a, uint32_t imm8) {
        return 1u << 19 | sub << 16 | a << 8 | imm8;
    };
    const auto memory = [](uint32_t kind, uint32_t d, uint32_t a, uint32_t imm8) {
        return 0xC00000 | kind << 19 | 1u << 18 | d << 13 | a << 8 | imm8;
    };
    constexpr uint32_t kStop = 0x000100;
    constexpr uint32_t kRet = 0x0D1E00;
    constexpr uint32_t kIret = 0x0D1F00;
    constexpr uint32_t kAck = 0x03F000;
    enum { kLw = 3, kSb = 5, kSw = 7 };
    Bytes corvane;
    Place(corvane, 0x100,
          Words24({prefix(0x000300), aluI(4, 27, 4, 0x00), prefix(0x012300), aluI(12, 1, 0, 0x45),
                   aluI(12, 2, 0, 5), aluI(12, 3, 0, 0), alu(12, 3, 3, 1), aluI(14, 2, 2, 1),
                   branch(1, 2, 0xF4), 0x100000 | 0x200 >> 4, prefix(0x001000),
                   memory(kSw, 3, 0, 0), prefix(0x001000), memory(kLw, 5, 0, 0), branch(0, 9, 0xFA),
                   kStop, branch(14, 0, 0xFA)}));
    Place(corvane, 0x200, Words24({aluI(5, 4, 3, 1), memory(kSb, 4, 0, 0x20), kRet}));
    Place(corvane, 0x300,
          Words24(
              {alu(4, 27, 5, 9), aluI(8, 9, 9, 0x0F), prefix(kAck), memory(kSb, 9, 0, 0), kIret}));
    // IRQ entry 0xFFFFE8, NMI 0xFFFFF0, reset 0xFFFFF8: each a jump, 8 bytes apart.
    const uint32_t entries = static_cast<uint32_t>(corvane.size());
    Place(corvane, entries, Words24({prefix(0x000300), control(5, 0, 0)}));
    Place(corvane, entries + 8, Words24({prefix(0x000300), control(5, 0, 0)}));
    Place(corvane, entries + 16, Words24({prefix(0x000100), control(5, 0, 0)}));
    corvane.resize(entries + 24);
    Save("corvane", "loop-call-interrupt.bin",
         CoreInput({Steps(40), Irq(1), Steps(30), ClearIrq(1), Steps(30), Nmi(), Steps(10),
                    List(0x000100), List(0x000112), List(0x000200), List(0xFFFFF8), kReset,
                    Steps(4), Jump(0x000300), Steps(3)},
                   corvane));
}

}  // namespace

// ---- assembler sources: the processor byte, then the text ----

void WriteAssemblerSources() {
    const struct {
        const char* name;
        char processor;  // 0 6502, 1 Vo16, 2 Corvane
        const char* text;
    } sources[] = {
        {"m6502.s", 0,
         "  org $0400\nstart: ldx #FF\n  lda ($10),y\n  sta $0200,x\n  bne start\n"
         "  jmp (vector)\nvector = * + 2\n  byte <start, >start, \"hi\\n\", 10.\n"
         "  word start\n  fill 3, $EA\n  res 2\n"},
        {"vo16.s", 1,
         "  org FF00\nline: addi r3,r0,0048\n  sb r4,0000(r1)\n  xori r4,FFFF\n"
         "  bne line\n  lw r2,0012(r1)\n  call FF00\n  add r7,r2,0\n"},
        {"corvane.s", 2,
         "  cpu corvane\n  org FF0000\nstart: lw r1,#300000\n  sw r0,00(r1)\n"
         "  add r1,r2,#123400+r5{7:0}\n  lw sr,#000300\n  bne r9,start\n  jmp (r5)\n"
         "  rol r1,r2,#000081\n  lw r13,000010\n  call start\n  iret\n  entry start\n"},
        {"errors.s", 0, "  lda #100\nx: nop\nbeef: nop\n  bne far\n  include \"x.s\"\n"},
    };
    for (const auto& source : sources)
        Save("assembler", source.name, std::string(1, source.processor) + source.text);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    g_root = argv[1];
    WriteImages();
    WriteWorkspaces();
    WriteMonitorLines();
    WriteCorePrograms();
    WriteAssemblerSources();
    return g_failed ? 1 : 0;
}
