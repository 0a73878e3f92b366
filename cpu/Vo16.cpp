#include "cpu/Vo16.h"

#include "core/Archive.h"
#include "core/Devices.h"
#include "core/Mpus.h"

namespace {
constexpr uint32_t kOpPrefix = 0xD;
}  // namespace

CVo16::CVo16() {
    m_codeUnit = 2;
    m_addressScale = 1;
    m_addressMask = 0xFFFF;
    Reset();
}

// Only the registers, the program counter and the opcode: the addends, carry,
// ShiftBit and the prefix state survive a reset, and so do the run-control
// flags of the common unit.
void CVo16::Reset() {
    for (auto& r : m_r)
        r = 0;
    m_pc = 0;
    m_opcode = 0;
}

namespace {

constexpr SRegisterInfo kRegisters[] = {
    {"R0", 4, {}, false},
    {"R1", 4},
    {"R2", 4},
    {"R3", 4},
    {"R4", 4},
    {"R5", 4},
    {"R6", 4},
    {"R7", 4},
    {"R8", 4},
    {"R9", 4},
    {"R10", 4},
    {"R11", 4},
    {"R12", 4},
    {"R13", 4},
    {"R14", 4},
    {"R15", 4},
    {"PC", 4},
};
static_assert(std::size(kRegisters) == CVo16::kRegisterCount + 1);

}  // namespace

std::span<const SRegisterInfo> CVo16::GetRegisterInfo() const {
    return kRegisters;
}

uint32_t CVo16::GetRegisterValue(size_t index) const {
    if (index < kRegisterCount) return GetRegister(static_cast<int>(index));
    return index == kRegisterCount ? m_pc.Load() : 0;
}

void CVo16::StoreRegisterValue(size_t index, uint32_t value) {
    if (index < kRegisterCount) {
        SetRegister(static_cast<int>(index), static_cast<uint16_t>(value));
    } else if (index == kRegisterCount) {
        m_pc = static_cast<uint16_t>(value);
    }
}

void CVo16::RestoreStateWords(const uint64_t* words) {
    for (size_t n = 1; n < kRegisterCount; ++n)
        m_r[n] = static_cast<uint16_t>(words[n]);
    m_pc = static_cast<uint16_t>(words[kRegisterCount]);
    for (size_t i = 0; i < kStatisticCount; ++i)
        m_statistics[i] = static_cast<uint32_t>(words[kStateCounterWord + i]);
    const uint64_t* latches = words + kStateCounterWord + kStatisticCount;
    m_opcode = static_cast<uint16_t>(latches[0]);
    m_addendA = static_cast<uint16_t>(latches[1]);
    m_addendB = static_cast<uint16_t>(latches[2]);
    m_prefixValue = static_cast<uint16_t>(latches[3]);
    m_prefixActive = static_cast<uint32_t>(latches[4]);
    m_carry = static_cast<uint32_t>(latches[5]);
    m_shiftBit = static_cast<uint32_t>(latches[6]);
    m_returned = static_cast<uint32_t>(latches[7]);
}

uint16_t CVo16::GetRegister(int n) const {
    return n >= 0 && n < kRegisterCount ? m_r[static_cast<size_t>(n)].Load() : 0;
}

void CVo16::SetRegister(int n, uint16_t value) {
    if (n > 0 && n < kRegisterCount) m_r[static_cast<size_t>(n)] = value;
}

// Nine values: r0-r7, then PC. A loaded value keeps its low 16 bits; r0 stays 0
// whatever the file says.
// Beyond the common fields: r8-r15 and the state the record drops (opcode,
// addends, prefix, carry, shift bit).
void CVo16::SerializeSettings(CArchive& ar) {
    CMpu::SerializeSettings(ar);
    for (size_t n = 8; n < m_r.size(); ++n) {
        uint32_t value = m_r[n];
        ar.Transfer(value);
        if (ar.IsLoading()) m_r[n] = static_cast<uint16_t>(value);
    }
    for (Relaxed<uint16_t>* field : {&m_opcode, &m_addendA, &m_addendB, &m_prefixValue}) {
        uint32_t value = *field;
        ar.Transfer(value);
        if (ar.IsLoading()) *field = static_cast<uint16_t>(value);
    }
    ar.Transfer(m_prefixActive);
    ar.Transfer(m_carry);
    ar.Transfer(m_shiftBit);
    ar.Transfer(m_returned);
}

void CVo16::Serialize(CArchive& ar) {
    for (int n = 0; n < 8; ++n) {
        uint32_t value = m_r[static_cast<size_t>(n)];
        ar.Transfer(value);
        if (ar.IsLoading()) m_r[static_cast<size_t>(n)] = static_cast<uint16_t>(value);
    }
    uint32_t pc = m_pc;
    ar.Transfer(pc);
    if (ar.IsLoading()) {
        m_pc = static_cast<uint16_t>(pc);
        m_r[0] = 0;
    }
}

uint16_t CVo16::Load(uint32_t address, uint32_t size, SCounts& counts) const {
    ++counts.loads;
    if (!counts.bus) return 0xFFFF;
    return static_cast<uint16_t>(counts.bus->Read(address & 0xFFFF, size | CDevices::kSwap));
}

void CVo16::Store(uint32_t address, uint16_t value, uint32_t size, SCounts& counts) {
    ++counts.stores;
    if (counts.bus) counts.bus->Write(address & 0xFFFF, value, size | CDevices::kSwap, false);
}

bool CVo16::Condition(uint32_t cond, uint16_t a, uint16_t b) {
    const uint16_t s = static_cast<uint16_t>(a + b);
    const uint16_t minusB = static_cast<uint16_t>(-b);
    bool holds = false;
    switch (cond & 14) {
        case 0: holds = true; break;
        case 2: holds = s == 0; break;
        case 4: holds = s < a || s < b; break;
        case 6: holds = ((a ^ b) & 0x8000) == 0 && ((s ^ a) & 0x8000) != 0; break;
        case 8: holds = static_cast<int16_t>(a) < static_cast<int16_t>(minusB); break;
        case 10: holds = static_cast<int16_t>(a) <= static_cast<int16_t>(minusB); break;
        case 12: holds = a < minusB; break;
        case 14: holds = a <= minusB; break;
    }
    return holds != ((cond & 1) != 0);
}

// carry becomes the carry out of the true sum, so adc continues a multi-word
// addition.
uint16_t CVo16::Add(uint16_t a, uint16_t b, uint32_t carryIn) {
    m_addendA = a;
    m_addendB = b;
    const uint64_t sum = uint64_t{a} + b + carryIn;
    m_carry = sum > 0xFFFF ? 1u : 0u;
    return static_cast<uint16_t>(sum);
}

// The addends are the minuend and the negated subtrahend, which is what the
// branch conditions compare; carry becomes the borrow for sbc.
uint16_t CVo16::Subtract(uint16_t minuend, uint16_t subtrahend, uint32_t borrowIn) {
    const uint16_t b = static_cast<uint16_t>(-subtrahend);
    m_addendA = minuend;
    m_addendB = b;
    m_carry = uint64_t{minuend} < uint64_t{subtrahend} + borrowIn ? 1u : 0u;
    return static_cast<uint16_t>(minuend + b - borrowIn);
}

uint16_t CVo16::ShiftRightLogical(uint16_t value) {
    m_shiftBit = value & 1u;
    return static_cast<uint16_t>(value >> 1);
}

uint16_t CVo16::ShiftRightArithmetic(uint16_t value) {
    m_shiftBit = value & 1u;
    return static_cast<uint16_t>((value >> 1) | (value & 0x8000));
}

uint16_t CVo16::ShiftLeft(uint16_t value) {
    m_shiftBit = value >> 15;
    return static_cast<uint16_t>(value << 1);
}

uint16_t CVo16::ShiftRightExtended(uint16_t value) {
    const uint16_t result = static_cast<uint16_t>((value >> 1) | (m_shiftBit & 1u) << 15);
    m_shiftBit = value & 1u;
    return result;
}

uint16_t CVo16::ShiftLeftExtended(uint16_t value) {
    const uint16_t result = static_cast<uint16_t>((value << 1) | (m_shiftBit & 1u));
    m_shiftBit = value >> 15;
    return result;
}

// Function codes 0-5, the same for a register (op 3) and a constant (op 4).
bool CVo16::Logic(uint32_t fn, uint16_t d, uint16_t s, uint16_t& result) {
    switch (fn) {
        case 0: result = d & s; return true;
        case 1: result = d | s; return true;
        case 2: result = d ^ s; return true;
        case 3: result = d & static_cast<uint16_t>(~s); return true;
        case 4: result = Add(d, s, m_carry); return true;
        case 5: result = Subtract(d, s, m_carry); return true;
        default: return false;
    }
}

void CVo16::ExecuteOp4(uint32_t rd, uint32_t fn, uint16_t imm16) {
    const uint16_t d = m_r[rd];
    uint16_t result = d;
    switch (fn) {
        case 6: result = ShiftRightLogical(d); break;
        case 7: result = ShiftRightArithmetic(d); break;
        case 8: result = ShiftLeft(d); break;
        case 9: result = ShiftRightExtended(d); break;
        case 10: result = ShiftLeftExtended(d); break;
        default:
            if (!Logic(fn, d, imm16, result)) return;
            break;
    }
    m_r[rd] = result;
}

// Flattened: the bus accesses, the ALU helpers and the branch test are
// inlined with their constant sizes.
[[gnu::flatten]] void CVo16::Step() {
    m_prefixActive = 0;
    m_returned = 0;
    SCounts counts;
    counts.bus = m_bus;
    uint32_t cycles = 1;
    uint16_t pc = m_pc;

    auto fetch = [&]() {
        const uint16_t word = Load(pc, 2, counts);
        ++counts.fetches;
        pc = static_cast<uint16_t>(pc + 2);
        return word;
    };

    uint16_t word = fetch();
    bool prefixed = false;
    uint16_t prefix = 0;
    for (uint32_t words = 1; word >> 12 == kOpPrefix && words < kMaxWordsPerInstruction; ++words) {
        ++cycles;
        prefix = static_cast<uint16_t>(word << 4);
        prefixed = true;
        word = fetch();
    }
    if (prefixed) {
        m_prefixValue = prefix;
        m_prefixActive = 1;
    }
    m_opcode = word;

    const uint32_t op = word >> 12;
    const uint32_t rd = word >> 8 & 0xF;
    const uint32_t ra = word >> 4 & 0xF;
    const uint32_t low = word & 0xF;
    uint16_t result = 0;

    switch (op) {
        case 0x0: m_r[rd] = Add(m_r[ra], m_r[low], 0); break;
        case 0x1: m_r[rd] = Subtract(m_r[ra], m_r[low], 0); break;
        case 0x2: m_r[rd] = Add(m_r[ra], Imm16(prefixed, prefix, low), 0); break;
        case 0x3:
            if (Logic(ra, m_r[rd], m_r[low], result)) m_r[rd] = result;
            break;
        case 0x4: ExecuteOp4(rd, ra, Imm16(prefixed, prefix, low)); break;
        case 0x5:
            m_r[rd] = Load(m_r[ra] + WordDisplacement(prefixed, prefix, low), 2, counts);
            cycles += 1;
            break;
        case 0x6:
            m_r[rd] = Load(m_r[ra] + ByteDisplacement(prefixed, prefix, low), 1, counts) & 0xFF;
            cycles += 1;
            break;
        case 0x8:
            Store(m_r[ra] + WordDisplacement(prefixed, prefix, low), m_r[rd], 2, counts);
            cycles += 1;
            break;
        case 0x9:
            Store(m_r[ra] + ByteDisplacement(prefixed, prefix, low), m_r[rd], 1, counts);
            cycles += 1;
            break;
        case 0xA: {
            const uint16_t target =
                static_cast<uint16_t>(m_r[ra] + WordDisplacement(prefixed, prefix, low));
            if (rd != 0)
                m_r[rd] = pc;
            else if (ra >= 14)
                m_returned = 1;
            pc = target;
            cycles += 2;
            break;
        }
        case 0xB:
            if (Condition(rd, m_addendA, m_addendB)) {
                pc = BranchTarget(pc, word & 0xFF);
                cycles += 2;
            }
            break;
        case 0xC:
            m_r[15] = pc;
            pc = static_cast<uint16_t>((word & 0xFFF) << 4);
            cycles += 2;
            break;
        case 0xD:
            // Only when the prefix chain filled the whole address space: the
            // last word is consumed like the others and nothing executes.
            m_prefixValue = static_cast<uint16_t>(word << 4);
            m_prefixActive = 1;
            cycles += 1;
            break;
        case 0x7:
        case 0xE:
        case 0xF: break;
    }
    m_r[0] = 0;
    m_pc = pc;

    m_statistics[kFetches] += counts.fetches;
    m_statistics[kCycles] += cycles;
    m_statistics[kLoads] += counts.loads;
    if (counts.stores) m_statistics[kStores] += counts.stores;
}

[[gnu::flatten]] void CVo16::StepPasses(SPassRun& run) {
    StepPassesOf<CVo16>(run);
}
