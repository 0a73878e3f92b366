#pragma once
// CCorvaneMPU: the 24-bit Corvane processing unit with its instruction cache
// and page translation.
//
// Memory map: 24-bit byte addresses; words are three bytes, little-endian (one
// bus read of size 3). Addresses 0x800000-0xFFFFFF are never translated and
// hold the entry words: IRQ 0xFFFFE8, NMI 0xFFFFF0, reset 0xFFFFF8. Below
// 0x800000, while CR bit 1 is clear, page-table entry (v >> 13) & 63 supplies
// physical address bits 13-21 from its bits 3-11; entry bit 2 permits writes.
//
// Instruction word: major 23-19, I 18, D 17-13, A 12-8, B 4-0, imm8 7-0;
// control class (major 1): sub 18-16, cond 16-13. A word BC0000-BFFFFF is an
// immediate prefix whose bits 15-0 become bits 23-8 of the next constant.
//
// SR: 0-3 interrupt code, 4 C, 5 V, 8 I, 9 S, 12-23 SR1 (bits 0-11 saved on
// interrupt entry). CR: bit 0 fetches through the cache, bit 1 set switches
// translation off.
//
// The register and statistics panes read the state while the run thread steps,
// so every field is a relaxed atomic. Devices latch interrupts from other
// threads: the interrupt code lives apart from the rest of SR so that a
// request never races with the flag updates of the run thread.
#include <array>
#include <cstdint>

#include "core/Mpu.h"
#include "core/Relaxed.h"
#include "cpu/ICache.h"

class CCorvaneMPU final : public CMpu {
public:
    static constexpr const char* kClassName = "CCorvaneMPU";
    static constexpr int kRegisterCount = 32;
    static constexpr int kPageTableSize = 64;
    static constexpr int kSp = 29;
    static constexpr int kLr = 30;
    static constexpr int kIpc = 31;

    static constexpr uint32_t kResetPC = 0xFFFFF8;
    static constexpr uint32_t kResetSR = 0x200;
    // The interrupt entries: icall through r0 to 0xFFFFF0 and 0xFFFFE8.
    static constexpr uint32_t kNmiEntryWord = 0x0E00F0;
    static constexpr uint32_t kIrqEntryWord = 0x0E00E8;

    static constexpr uint32_t kSrCode = 0xF;
    static constexpr uint32_t kSrC = 1u << 4;
    static constexpr uint32_t kSrV = 1u << 5;
    static constexpr uint32_t kSrI = 1u << 8;
    static constexpr uint32_t kSrS = 1u << 9;
    static constexpr uint32_t kCrCache = 1u << 0;
    static constexpr uint32_t kCrNoTranslation = 1u << 1;
    // A new unit fetches without the cache and does not translate.
    static constexpr uint32_t kInitialCR = kCrNoTranslation;
    static constexpr uint32_t kPageWritable = 1u << 2;

    static constexpr const char* kShiftWarningText = "Warning: shift counts mod 3";
    // Prefix words in one step before the step gives up: longer chains can
    // only be the whole address space of prefixes, which would never end.
    static constexpr int kMaxPrefixChain = 4096;

    CCorvaneMPU();

    const char* GetClassName() const override { return kClassName; }
    // The CMpu record, the cache, then the core's own fields.
    void Serialize(CArchive& ar) override;
    void SerializeSettings(CArchive& ar) override;

    uint32_t GetPC() const override { return m_pc; }
    void Reset() override;
    void Step() override;
    void StepPasses(SPassRun& run) override;
    void Interrupt(bool nmi, bool irq, int irqCode) override;
    void ClearInterrupt(bool nmi, bool irq, int irqCode) override;
    SDisassembly Disassemble(uint32_t address) const override;
    // The last step executed ret or iret (its word is the opcode kept).
    bool ReturnExecuted() const override { return IsReturnWord(m_opcode); }
    // The step counts itself before it tests for a request: from the third
    // step after a reset on.
    EPendingEntry GetPendingEntry() const override {
        if (m_nmiPending) return EPendingEntry::kNmi;
        if ((GetSR() & kSrI) != 0 && m_stepsSinceReset >= 2 && m_irqPending)
            return EPendingEntry::kIrq;
        return EPendingEntry::kNone;
    }

    // R0-R28 SP LR IPC PC SR CR, 6 digits each (the low 24 bits); SR and
    // CR with their flags. R29-R31 are other names of SP, LR and IPC.
    std::span<const SRegisterInfo> GetRegisterInfo() const override;
    uint32_t GetRegisterValue(size_t index) const override;
    int FindRegister(std::string_view name) const override;
    // Fetches, cycles, loads, stores (the core's own), then the cache's
    // attempts and misses.
    std::span<const SCounterInfo> GetCounterInfo() const override;
    uint64_t GetCounterValue(size_t index) const override;
    void ResetCounters() override;
    void RestoreCounterValue(size_t index, uint64_t value) override;

    // History's state words: the registers as held (a load from where no
    // device answers leaves all 32 bits set), PC, SR and CR, the six
    // counters, then what a step leaves for the next one or shows after it:
    // the opcode, the prefix, and the prefix, stop, interrupt-entry and
    // warning latches with the steps since reset. The cache's lines are
    // reported as they are replaced; no step changes the page table.
    static constexpr size_t kStateCounterWord = kRegisterCount + 3;
    static constexpr size_t kStateWords = kStateCounterWord + kStatisticCount + 2 + 3;
    static constexpr size_t kStateNarrowWords = 0;
    size_t GetStateWordCount() const override { return kStateWords; }
    size_t GetStateCounterWord() const override { return kStateCounterWord; }
    void ReadStateWords(uint64_t* words) const override {
        for (size_t n = 0; n < kRegisterCount; ++n)
            words[n] = m_r[n].Load();
        words[kRegisterCount] = m_pc.Load();
        words[kRegisterCount + 1] = GetSR();
        words[kRegisterCount + 2] = m_cr.Load();
        uint64_t* counters = words + kStateCounterWord;
        for (size_t i = 0; i < kStatisticCount; ++i)
            counters[i] = m_counters[i].Load();
        counters[kStatisticCount] = m_cache.GetAttempts();
        counters[kStatisticCount + 1] = m_cache.GetMisses();
        uint64_t* latches = counters + kStatisticCount + 2;
        latches[0] = m_opcode.Load();
        latches[1] = m_prefixValue.Load();
        latches[2] = uint64_t{m_prefixActive.Load()} | uint64_t{m_stopped.Load()} << 1 |
                     uint64_t{m_interruptEntry.Load()} << 2 | uint64_t{m_shiftWarning.Load()} << 3 |
                     uint64_t{m_stepsSinceReset.Load()} << 4;
    }
    void RestoreStateWords(const uint64_t* words) override;
    // key: the cache line; old: its tag in the high word, its data in the low.
    void RestoreReplaced(uint32_t key, uint64_t old) override;

    // Registers for the register pane and the tests. r0 stays 0; numbers
    // outside 0-31 read as 0 and write nothing.
    uint32_t GetRegister(int n) const;
    void SetRegister(int n, uint32_t value);
    void SetPC(uint32_t pc) { m_pc = pc; }
    uint32_t GetSR() const { return m_srRest.Load() | m_srCode.Load(); }
    void SetSR(uint32_t sr) {
        m_srCode = sr & kSrCode;
        m_srRest = sr & ~kSrCode;
    }
    uint32_t GetCR() const { return m_cr; }
    void SetCR(uint32_t cr) { m_cr = cr; }
    uint32_t GetPageTableEntry(int index) const;
    void SetPageTableEntry(int index, uint32_t entry);

    CICache& Cache() { return m_cache; }
    const CICache& Cache() const { return m_cache; }

    uint32_t GetOpcode() const { return m_opcode; }
    uint32_t GetPrefixValue() const { return m_prefixValue; }
    bool IsPrefixActive() const { return m_prefixActive; }
    bool IsStopped() const { return m_stopped; }
    bool IsNmiPending() const { return m_nmiPending; }
    bool IsIrqPending() const { return m_irqPending; }
    bool IsInterruptEntry() const { return m_interruptEntry; }
    uint32_t GetStepsSinceReset() const { return m_stepsSinceReset; }
    // "Warning: shift counts mod 3" once a shift by more than 3 ran, else empty.
    const char* GetWarningText() const { return m_shiftWarning ? kShiftWarningText : ""; }
    void ClearWarningText() { m_shiftWarning = false; }

    // The address v reaches on the bus (24 bits).
    uint32_t Translate(uint32_t v) const { return Translate(v, m_cr.Load()); }
    // The same under the control register value cr.
    uint32_t Translate(uint32_t v, uint32_t cr) const {
        v &= 0xFFFFFF;
        if ((v & 0x800000) != 0 || (cr & kCrNoTranslation) != 0) return v;
        return (m_pageTable[PageIndex(v)].Load() & 0xFF8) << 10 | (v & 0x1FFF);
    }
    // Whether a store to the virtual address v writes (translation on or off).
    bool IsWritable(uint32_t v) const {
        return (v & 0x800000) != 0 || (m_pageTable[PageIndex(v)].Load() & kPageWritable) != 0;
    }

    // The constants of an instruction, shared by execution and listing.
    static constexpr uint32_t SignExtend8(uint32_t imm8) {
        return imm8 & 0x80 ? 0xFFFF00 | imm8 : imm8;
    }
    static constexpr bool IsPrefixWord(uint32_t word) { return (word >> 18 & 0x3F) == 0x2F; }
    static constexpr uint32_t PrefixOf(uint32_t word) { return (word & 0xFFFF) << 8; }
    // The displacement of the control and memory classes.
    static constexpr uint32_t Displacement(bool prefixed, uint32_t prefix, uint32_t word) {
        return prefixed ? prefix + (word & 0xFF) : SignExtend8(word & 0xFF);
    }
    // ret (jmp through lr) and iret (through ipc) with no displacement.
    static constexpr bool IsReturnWord(uint32_t word) { return (word & 0xFFFEFF) == 0x0D1E00; }
    // Whether branch condition cond holds for the tested value r and SR.
    static bool Condition(uint32_t cond, uint32_t r, uint32_t sr);

protected:
    void StoreRegisterValue(size_t index, uint32_t value) override;

private:
    static size_t PageIndex(uint32_t v) { return v >> 13 & (kPageTableSize - 1); }

    uint32_t BusRead(uint32_t address, uint32_t size) const;
    void BusWrite(uint32_t address, uint32_t value, uint32_t size);
    // Reads the word at PC (through the cache when CR bit 0 is set), PC += 3.
    uint32_t Fetch();
    // Executes opcode and any immediate prefixes it begins with; returns the
    // instruction word executed (the one after the prefixes).
    uint32_t Execute(uint32_t opcode);
    // Returns the number of extra clock cycles.
    uint32_t ExecuteControl(uint32_t word, uint32_t displacement);
    void ExecuteMemory(uint32_t word, uint32_t displacement);
    void ExecuteSpecialMove(uint32_t word, uint32_t b);

    // Flag-setting operations; each returns the 24-bit result.
    uint32_t Add(uint32_t a, uint32_t b, uint32_t carryIn);
    uint32_t Subtract(uint32_t a, uint32_t b, uint32_t borrowIn);
    uint32_t ShiftLeft(uint32_t a, uint32_t b);
    uint32_t ShiftRightArithmetic(uint32_t a, uint32_t b);
    uint32_t ShiftRightLogical(uint32_t a, uint32_t b);
    void SetCarryOverflow(uint32_t c, uint32_t v);
    uint32_t Carry() const { return m_srRest.Load() >> 4 & 1; }

    std::array<Relaxed<uint32_t>, kPageTableSize> m_pageTable{};
    CICache m_cache;
    std::array<Relaxed<uint32_t>, kRegisterCount> m_r{};
    // SR without bits 0-3, and the interrupt code apart (see above).
    Relaxed<uint32_t> m_srRest{0};
    Relaxed<uint32_t> m_srCode{0};
    Relaxed<uint32_t> m_pc{0};
    Relaxed<uint32_t> m_cr{kInitialCR};
    Relaxed<bool> m_nmiPending{false};
    Relaxed<bool> m_irqPending{false};
    Relaxed<bool> m_stopped{false};
    std::array<Relaxed<uint32_t>, kStatisticCount> m_counters{};
    Relaxed<uint32_t> m_opcode{0};
    // Kept only in the stored record.
    uint16_t m_reserved16 = 0;
    uint32_t m_reserved32 = 0;
    Relaxed<uint32_t> m_prefixValue{0};
    Relaxed<uint32_t> m_stepsSinceReset{0};
    Relaxed<bool> m_interruptEntry{false};
    Relaxed<bool> m_prefixActive{false};
    Relaxed<bool> m_shiftWarning{false};
};
