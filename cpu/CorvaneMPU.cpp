#include "cpu/CorvaneMPU.h"

#include "core/Archive.h"
#include "core/Devices.h"
#include "core/History.h"
#include "core/Mpus.h"
#include "core/StringEx.h"

namespace {
constexpr uint32_t kMask24 = 0xFFFFFF;
constexpr uint32_t kImmediate = 1u << 18;
constexpr uint32_t kSpecialRegisterD = 27;

constexpr uint32_t FieldD(uint32_t word) {
    return word >> 13 & 31;
}
constexpr uint32_t FieldA(uint32_t word) {
    return word >> 8 & 31;
}
constexpr uint32_t FieldB(uint32_t word) {
    return word & 31;
}
}  // namespace

// Construction leaves CR alone after its initial value: only the register pane
// and a loaded workspace change it.
CCorvaneMPU::CCorvaneMPU() {
    m_codeUnit = 3;
    m_addressScale = 1;
    m_addressMask = kMask24;
    Reset();
}

// CR, the interrupt latches, the opcode and prefix, the counters, the cache and
// the interrupt-prompt flag survive a reset.
void CCorvaneMPU::Reset() {
    for (auto& entry : m_pageTable)
        entry = kPageWritable;
    for (auto& r : m_r)
        r = 0;
    m_pc = kResetPC;
    SetSR(kResetSR);
    m_stepsSinceReset = 0;
    m_stopped = false;
    m_prefixActive = false;
    SetStepOutPending(false);
}

uint32_t CCorvaneMPU::GetRegister(int n) const {
    return n >= 0 && n < kRegisterCount ? m_r[static_cast<size_t>(n)].Load() : 0;
}

void CCorvaneMPU::SetRegister(int n, uint32_t value) {
    if (n > 0 && n < kRegisterCount) m_r[static_cast<size_t>(n)] = value;
}

uint32_t CCorvaneMPU::GetPageTableEntry(int index) const {
    return index >= 0 && index < kPageTableSize ? m_pageTable[static_cast<size_t>(index)].Load()
                                                : 0;
}

void CCorvaneMPU::SetPageTableEntry(int index, uint32_t entry) {
    if (index >= 0 && index < kPageTableSize) m_pageTable[static_cast<size_t>(index)] = entry;
}

namespace {

constexpr SFlagInfo kSrFlags[] = {
    {"SR1 S", 1u << 21},
    {"SR1 I", 1u << 20},
    {"SR1 V", 1u << 17},
    {"SR1 C", 1u << 16},
    {"System", CCorvaneMPU::kSrS},
    {"IRQ enable", CCorvaneMPU::kSrI},
    {"oVerflow", CCorvaneMPU::kSrV},
    {"Carry", CCorvaneMPU::kSrC},
};
// Bit 1 set turns translation off, so "Paging Enabled" shows the bit inverted.
constexpr SFlagInfo kCrFlags[] = {
    {"Paging Enabled", CCorvaneMPU::kCrNoTranslation, true},
    {"Cache Enable", CCorvaneMPU::kCrCache},
};

constexpr SRegisterInfo kRegisters[] = {
    {"R0", 6, {}, false},
    {"R1", 6},
    {"R2", 6},
    {"R3", 6},
    {"R4", 6},
    {"R5", 6},
    {"R6", 6},
    {"R7", 6},
    {"R8", 6},
    {"R9", 6},
    {"R10", 6},
    {"R11", 6},
    {"R12", 6},
    {"R13", 6},
    {"R14", 6},
    {"R15", 6},
    {"R16", 6},
    {"R17", 6},
    {"R18", 6},
    {"R19", 6},
    {"R20", 6},
    {"R21", 6},
    {"R22", 6},
    {"R23", 6},
    {"R24", 6},
    {"R25", 6},
    {"R26", 6},
    {"R27", 6},
    {"R28", 6},
    {"SP", 6},
    {"LR", 6},
    {"IPC", 6},
    {"PC", 6},
    {"SR", 6, kSrFlags},
    {"CR", 6, kCrFlags},
};
constexpr size_t kPcIndex = CCorvaneMPU::kRegisterCount;
constexpr size_t kSrIndex = kPcIndex + 1;
constexpr size_t kCrIndex = kPcIndex + 2;
static_assert(std::size(kRegisters) == kCrIndex + 1);

constexpr SCounterInfo kCounters[] = {
    {"fetches", "Instruction Fetches"},
    {"cycles", "Clock cycles"},
    {"loads", "Data Loads"},
    {"stores", "Data Stores"},
    {"cache_attempts", "Cache Attempts"},
    {"cache_misses", "Cache Misses"},
};

}  // namespace

std::span<const SRegisterInfo> CCorvaneMPU::GetRegisterInfo() const {
    return kRegisters;
}

uint32_t CCorvaneMPU::GetRegisterValue(size_t index) const {
    if (index < kRegisterCount) return GetRegister(static_cast<int>(index)) & kMask24;
    switch (index) {
        case kPcIndex: return m_pc.Load() & kMask24;
        case kSrIndex: return GetSR() & kMask24;
        case kCrIndex: return m_cr.Load() & kMask24;
        default: return 0;
    }
}

void CCorvaneMPU::StoreRegisterValue(size_t index, uint32_t value) {
    if (index < kRegisterCount) {
        SetRegister(static_cast<int>(index), value);
        return;
    }
    switch (index) {
        case kPcIndex: m_pc = value; break;
        case kSrIndex: SetSR(value); break;
        case kCrIndex: m_cr = value; break;
        default: break;
    }
}

int CCorvaneMPU::FindRegister(std::string_view name) const {
    const std::string upper = UpperCase(name);
    if (upper == "R29") return kSp;
    if (upper == "R30") return kLr;
    if (upper == "R31") return kIpc;
    return CMpu::FindRegister(name);
}

std::span<const SCounterInfo> CCorvaneMPU::GetCounterInfo() const {
    return kCounters;
}

uint64_t CCorvaneMPU::GetCounterValue(size_t index) const {
    if (index < kStatisticCount) return m_counters[index].Load();
    if (index == kStatisticCount) return m_cache.GetAttempts();
    if (index == kStatisticCount + 1) return m_cache.GetMisses();
    return 0;
}

void CCorvaneMPU::ResetCounters() {
    for (auto& counter : m_counters)
        counter = 0;
    m_cache.ResetStatistics();
}

void CCorvaneMPU::RestoreCounterValue(size_t index, uint64_t value) {
    const auto count = static_cast<uint32_t>(value);
    if (index < kStatisticCount)
        m_counters[index] = count;
    else if (index == kStatisticCount)
        m_cache.RestoreAttempts(count);
    else if (index == kStatisticCount + 1)
        m_cache.RestoreMisses(count);
}

void CCorvaneMPU::RestoreStateWords(const uint64_t* words) {
    for (size_t n = 1; n < kRegisterCount; ++n)
        m_r[n] = static_cast<uint32_t>(words[n]);
    m_pc = static_cast<uint32_t>(words[kRegisterCount]);
    // The interrupt code a device latched since stays unless SR changes.
    if (words[kRegisterCount + 1] != GetSR())
        SetSR(static_cast<uint32_t>(words[kRegisterCount + 1]));
    m_cr = static_cast<uint32_t>(words[kRegisterCount + 2]);
    for (size_t i = 0; i < kStatisticCount + 2; ++i)
        RestoreCounterValue(i, words[kStateCounterWord + i]);
    const uint64_t* latches = words + kStateCounterWord + kStatisticCount + 2;
    m_opcode = static_cast<uint32_t>(latches[0]);
    m_prefixValue = static_cast<uint32_t>(latches[1]);
    m_prefixActive = (latches[2] & 1) != 0;
    m_stopped = (latches[2] & 2) != 0;
    m_interruptEntry = (latches[2] & 4) != 0;
    m_shiftWarning = (latches[2] & 8) != 0;
    m_stepsSinceReset = static_cast<uint32_t>(latches[2] >> 4);
}

void CCorvaneMPU::RestoreReplaced(uint32_t key, uint64_t old) {
    m_cache.RestoreLine(static_cast<int>(key), static_cast<uint32_t>(old >> 32),
                        static_cast<uint32_t>(old));
}

// The code is latched at once, where a handler reads it; codes outside 0-14
// (15 is the withdrawal) leave no request.
void CCorvaneMPU::Interrupt(bool nmi, bool /*irq*/, int irqCode) {
    if (nmi) m_nmiPending = true;
    m_srCode = static_cast<uint32_t>(irqCode) & kSrCode;
    m_irqPending = irqCode >= 0 && irqCode < 15;
}

void CCorvaneMPU::ClearInterrupt(bool /*nmi*/, bool irq, int irqCode) {
    if (!irq) return;
    m_srCode = static_cast<uint32_t>(irqCode) & kSrCode;
    m_irqPending = irqCode >= 0 && irqCode < 15;
}

uint32_t CCorvaneMPU::BusRead(uint32_t address, uint32_t size) const {
    return m_bus ? m_bus->Read(address, size) : 0xFFFFFFFF;
}

void CCorvaneMPU::BusWrite(uint32_t address, uint32_t value, uint32_t size) {
    if (m_bus) m_bus->Write(address, value, size, false);
}

// PC stays a 24-bit address when it runs off the top of memory, so the listing
// and the breakpoints see the address the fetch used.
uint32_t CCorvaneMPU::Fetch() {
    const uint32_t pc = m_pc;
    const uint32_t cr = m_cr;
    const uint32_t physical = Translate(pc, cr);
    uint32_t word;
    if ((cr & kCrCache) == 0) {
        word = BusRead(physical, 3);
    } else if (!m_cache.Lookup(physical, word)) {
        word = BusRead(physical, 3);
        const int line = static_cast<int>(physical & (CICache::kLines - 1));
        CHistory::NoteReplaced(static_cast<uint32_t>(line),
                               uint64_t{m_cache.GetTag(line)} << 32 | m_cache.GetData(line));
        m_cache.Fill(physical, word);
    }
    m_pc = (pc + 3) & kMask24;
    return word;
}

// Flattened: fetch, execution and the bus accesses are inlined with their
// constant sizes.
[[gnu::flatten]] void CCorvaneMPU::Step() {
    uint32_t steps = m_stepsSinceReset;
    if (steps < 3) m_stepsSinceReset = ++steps;
    uint32_t word;
    // The exchange keeps an NMI that arrives between the test and the clear.
    if (m_nmiPending.Load() && m_nmiPending.Exchange(false)) {
        m_interruptEntry = true;
        word = kNmiEntryWord;
    } else if (m_irqPending.Load() && (m_srRest.Load() & kSrI) != 0 && steps > 2) {
        // The request is a level: it stays until the device withdraws it.
        m_interruptEntry = true;
        word = kIrqEntryWord;
    } else {
        word = Fetch();
    }
    Execute(word);
}

[[gnu::flatten]] void CCorvaneMPU::StepPasses(SPassRun& run) {
    StepPassesOf<CCorvaneMPU>(run);
}

uint32_t CCorvaneMPU::Execute(uint32_t word) {
    // A prefixed pair is one fetch and one cycle; of several prefixes the last
    // one counts.
    bool prefixed = false;
    uint32_t prefix = 0;
    for (int n = 0; IsPrefixWord(word) && n < kMaxPrefixChain; ++n) {
        prefix = PrefixOf(word);
        word = Fetch();
        prefixed = true;
    }
    if (prefixed) m_prefixValue = prefix;
    m_prefixActive = prefixed;
    m_opcode = word;

    uint32_t extraCycles = 0;
    // The ALU class: register A and operand B into register D.
    const auto alu = [&](auto operation) {
        const uint32_t a = m_r[FieldA(word)];
        uint32_t b;
        if (prefixed)
            b = prefix | ((word & kImmediate) ? (word & 0xFF) : (m_r[FieldB(word)] & 0xFF));
        else
            b = (word & kImmediate) ? SignExtend8(word & 0xFF) : m_r[FieldB(word)].Load();
        operation(a, b, m_r[FieldD(word)]);
    };
    switch (word >> 19 & 31) {
        case 0:  // nop; stop when bit 8 is set, and execution goes on
            if (word & 0x100) m_stopped = true;
            break;
        case 1: extraCycles = ExecuteControl(word, Displacement(prefixed, prefix, word)); break;
        case 2:
        case 3:  // call to an absolute address
            m_r[kLr] = m_pc.Load();
            m_pc = (word & 0xFFFFF) << 4;
            extraCycles = 2;
            break;
        case 4: alu([&](uint32_t, uint32_t b, auto&) { ExecuteSpecialMove(word, b); }); break;
        case 5: alu([this](uint32_t a, uint32_t b, auto& d) { d = ShiftLeft(a, b); }); break;
        case 6:
            alu([this](uint32_t a, uint32_t b, auto& d) { d = ShiftRightArithmetic(a, b); });
            break;
        case 7:
            alu([this](uint32_t a, uint32_t b, auto& d) { d = ShiftRightLogical(a, b); });
            break;
        case 8: alu([](uint32_t a, uint32_t b, auto& d) { d = (a & b) & kMask24; }); break;
        case 9: alu([](uint32_t a, uint32_t b, auto& d) { d = (a | b) & kMask24; }); break;
        case 10: alu([](uint32_t a, uint32_t b, auto& d) { d = (a ^ b) & kMask24; }); break;
        case 11: alu([](uint32_t a, uint32_t b, auto& d) { d = (a & 1) ? b & kMask24 : 0; }); break;
        case 12: alu([this](uint32_t a, uint32_t b, auto& d) { d = Add(a, b, 0); }); break;
        case 13: alu([this](uint32_t a, uint32_t b, auto& d) { d = Add(a, b, Carry()); }); break;
        case 14: alu([this](uint32_t a, uint32_t b, auto& d) { d = Subtract(a, b, 0); }); break;
        case 15:
            alu([this](uint32_t a, uint32_t b, auto& d) { d = Subtract(a, b, Carry()); });
            break;
        case 24:
        case 25:
        case 26:
        case 27:
        case 28:
        case 29:
        case 30:
        case 31:
            ExecuteMemory(word, Displacement(prefixed, prefix, word));
            extraCycles = 1;
            break;
        default: break;  // majors 16-23 are unassigned
    }
    // Writes to r0 are discarded.
    m_r[0] = 0;
    m_counters[kFetches] += 1;
    m_counters[kCycles] += 1 + extraCycles;
    return word;
}

bool CCorvaneMPU::Condition(uint32_t cond, uint32_t r, uint32_t sr) {
    const bool n = (r >> 23 & 1) != 0;
    const bool z = r == 0;
    const bool c = (sr & kSrC) != 0;
    const bool v = (sr & kSrV) != 0;
    switch (cond & 15) {
        case 0: return z;
        case 1: return !z;
        case 2: return n;
        case 3: return !n;
        case 4: return n != v;
        case 5: return n == v;
        case 6: return n != v || z;
        case 7: return n == v && !z;
        case 8: return c;
        case 9: return !c;
        case 10: return c || z;
        case 11: return !c && !z;
        case 12: return v;
        case 13: return !v;
        case 14: return true;
        default: return false;
    }
}

// A taken branch goes to the branch word's address + 6 + displacement. call
// and icall write the link before reading register A, so a call through lr
// (or an icall through ipc) jumps to the new link plus the displacement.
uint32_t CCorvaneMPU::ExecuteControl(uint32_t word, uint32_t displacement) {
    const size_t a = FieldA(word);
    switch (word >> 16 & 7) {
        case 0:
        case 1:
            if (!Condition(word >> 13 & 15, m_r[a], GetSR())) return 0;
            m_pc = (m_pc.Load() + 3 + displacement) & kMask24;
            return 2;
        case 4:
            m_r[kLr] = m_pc.Load();
            m_pc = (m_r[a].Load() + displacement) & kMask24;
            return 2;
        case 5:
            m_pc = (m_r[a].Load() + displacement) & kMask24;
            if (a == kIpc) {
                // iret: bits 0-11 come back from SR1, which keeps its value.
                const uint32_t sr = GetSR();
                SetSR((sr & ~0xFFFu) | (sr >> 12 & 0xFFF));
            }
            return 2;
        case 6: {
            m_r[kIpc] = m_pc.Load();
            m_pc = (m_r[a].Load() + displacement) & kMask24;
            const uint32_t sr = GetSR();
            uint32_t saved = (sr & ~0xFFF000u) | (sr & 0xFFF) << 12 | kSrS;
            if (m_interruptEntry.Load()) {
                m_interruptEntry = false;
                saved &= ~kSrI;
            }
            SetSR(saved);
            return 2;
        }
        default: return 0;  // subs 2, 3 and 7 are unassigned
    }
}

// A load keeps the bus value as it comes (all ones when no device answers). A
// store to a page without write permission is dropped but still counted.
void CCorvaneMPU::ExecuteMemory(uint32_t word, uint32_t displacement) {
    const uint32_t address = (m_r[FieldA(word)].Load() + displacement) & kMask24;
    const uint32_t physical = Translate(address);
    auto& d = m_r[FieldD(word)];
    // Sizes 3, 1, 2, 3 by kind, each access written out with its constant
    // size so that it inlines to straight-line code.
    switch (word >> 19 & 7) {
        case 0:
        case 3: d = BusRead(physical, 3); break;
        case 1: d = BusRead(physical, 1); break;
        case 2: d = BusRead(physical, 2); break;
        default: {
            m_counters[kStores] += 1;
            if (!IsWritable(address)) return;
            switch (word >> 19 & 7) {
                case 5: BusWrite(physical, d, 1); break;
                case 6: BusWrite(physical, d, 2); break;
                default: BusWrite(physical, d, 3); break;
            }
            return;
        }
    }
    m_counters[kLoads] += 1;
}

// Bits 10-8 choose the move: 4 loads SR from b, 5 copies SR into register B,
// both only with D = 27. No flag changes afterwards, so the SR just loaded
// stays as loaded.
void CCorvaneMPU::ExecuteSpecialMove(uint32_t word, uint32_t b) {
    if (FieldD(word) != kSpecialRegisterD) return;
    switch (word >> 8 & 7) {
        case 4: SetSR(b & kMask24); break;
        case 5: m_r[FieldB(word)] = GetSR(); break;
        default: break;
    }
}

void CCorvaneMPU::SetCarryOverflow(uint32_t c, uint32_t v) {
    m_srRest = (m_srRest.Load() & ~(kSrC | kSrV)) | (c & 1) << 4 | (v & 1) << 5;
}

uint32_t CCorvaneMPU::Add(uint32_t a, uint32_t b, uint32_t carryIn) {
    const uint32_t t = a + b + carryIn;
    SetCarryOverflow(t >> 24, ((t ^ b) & ~(a ^ b)) >> 23);
    return t & kMask24;
}

// C is the borrow: bit 24 of the 32-bit difference.
uint32_t CCorvaneMPU::Subtract(uint32_t a, uint32_t b, uint32_t borrowIn) {
    const uint32_t t = a - b - borrowIn;
    SetCarryOverflow(t >> 24, (~(t ^ b) & (a ^ b)) >> 23);
    return t & kMask24;
}

// Shifts move 0 to 3 places (b AND 3); b = 0x81 makes the one-place shift a
// rotate through C. The flags come from a alone, whatever the amount.
uint32_t CCorvaneMPU::ShiftLeft(uint32_t a, uint32_t b) {
    if (b > 3) m_shiftWarning = true;
    uint32_t result = (a << (b & 3)) & kMask24;
    if (b == 0x81) result |= Carry();
    SetCarryOverflow(a >> 23, (a >> 23) ^ (a >> 22));
    return result;
}

uint32_t CCorvaneMPU::ShiftRightArithmetic(uint32_t a, uint32_t b) {
    if (b > 3) m_shiftWarning = true;
    const int32_t signExtended = static_cast<int32_t>(a << 8) >> 8;
    const uint32_t result = static_cast<uint32_t>(signExtended >> (b & 3)) & kMask24;
    SetCarryOverflow(a, 0);
    return result;
}

uint32_t CCorvaneMPU::ShiftRightLogical(uint32_t a, uint32_t b) {
    if (b > 3) m_shiftWarning = true;
    uint32_t result = (a >> (b & 3)) & kMask24;
    if (b == 0x81) result = (result & 0x7FFFFF) | Carry() << 23;
    SetCarryOverflow(a, 0);
    return result;
}

// The CMpu record, the cache's 32 groups, then the page table, the registers
// and the rest of the core in their fixed order. Data loads and stores, the
// interrupt latches and the warning are not stored (Returned follows the
// opcode).
// Beyond the common fields: the data load and store counters.
void CCorvaneMPU::SerializeSettings(CArchive& ar) {
    CMpu::SerializeSettings(ar);
    ar.Transfer(m_counters[kLoads]);
    ar.Transfer(m_counters[kStores]);
}

void CCorvaneMPU::Serialize(CArchive& ar) {
    CMpu::Serialize(ar);
    m_cache.Serialize(ar);
    for (auto& entry : m_pageTable)
        ar.Transfer(entry);
    for (auto& r : m_r)
        ar.Transfer(r);
    uint32_t sr = GetSR();
    ar.Transfer(sr);
    ar.Transfer(m_pc);
    ar.Transfer(m_opcode);
    uint32_t reserved16 = m_reserved16;
    ar.Transfer(reserved16);
    ar.Transfer(m_prefixValue);
    ar.Transfer(m_reserved32);
    ar.Transfer(m_cr);
    ar.Transfer(m_stepsSinceReset);
    ar.Transfer(m_stopped);
    bool stepOut = IsStepOutPending();
    ar.Transfer(stepOut);
    ar.Transfer(m_prefixActive);
    ar.Transfer(m_interruptEntry);
    ar.Transfer(m_counters[kFetches]);
    ar.Transfer(m_counters[kCycles]);
    if (ar.IsLoading()) {
        SetSR(sr);
        m_reserved16 = static_cast<uint16_t>(reserved16);
        SetStepOutPending(stepOut);
        // Whatever the file says, r0 reads as 0.
        m_r[0] = 0;
    }
}
