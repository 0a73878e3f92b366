#pragma once
// CMpu: the processing-unit interface. The base class is also the null unit
// that stands in every empty slot of the unit set and does nothing.
//
// Run-state fields are shared between the event thread and the run thread and
// are relaxed atomics; cores keep the registers they show the same way.
#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/Breakpoints.h"
#include "core/Relaxed.h"
#include "core/Symbols.h"

class CArchive;
class CDevices;
class CHost;
struct SPassRun;

// A flag bit of a status register, as the register pane shows it. An
// inverted flag shows checked while its bit is clear.
struct SFlagInfo {
    const char* name;
    uint32_t mask;
    bool inverted = false;
};

// One decoded instruction: its length in bytes and the five texts of a
// listing line (address, bytes, mnemonic, operand, comment).
struct SDisassembly {
    uint32_t length = 0;
    std::string address;
    std::string bytes;
    std::string mnemonic;
    std::string operand;
    std::string comment;
};

// One register as the register pane and the runner show it.
struct SRegisterInfo {
    const char* name;  // "A", "R0", "PC", "STATUS", "SR"
    int digits;        // hex digits shown; wider values do not fit
    std::span<const SFlagInfo> flags = {};
    bool writable = true;  // false: the register always reads 0
};

// One counter of the statistics pane: a key for machine-readable output and
// the pane's label.
struct SCounterInfo {
    const char* key;
    const char* label;
};

// What a pane shows of a unit, safe to take while the unit runs: every
// value is read once from a word the stepping thread writes atomically.
struct SUnitSnapshot {
    std::vector<uint32_t> registers;  // one per register descriptor
    std::vector<uint64_t> counters;   // one per counter descriptor
    uint32_t pc = 0;
    bool running = false;
    bool animating = false;
};

class CMpu {
public:
    // What the next step does instead of executing the instruction at the
    // program counter.
    enum class EPendingEntry { kNone, kNmi, kIrq };

    // The statistics counters, in their stored order.
    enum EStatistic { kFetches = 0, kCycles = 1, kLoads = 2, kStores = 3, kStatisticCount = 4 };

    static constexpr uint32_t kNoAddress = 0xFFFFFFFF;
    static constexpr SCounterInfo kCommonCounters[] = {
        {"fetches", "Instruction Fetches"},
        {"cycles", "Clock cycles"},
        {"loads", "Data Loads"},
        {"stores", "Data Stores"},
    };
    static constexpr uint32_t kAnimationTimerBase = 0x4000;
    // What the register and statistics panes say of a unit without registers.
    static constexpr const char* kNoRegisterViewText =
        "The selected MPU does not have a register view form set up. No registers can be "
        "displayed.";
    static constexpr const char* kNoStatisticsViewText =
        "The selected MPU does not have a statistics form set up. No statistics will be "
        "available.";

    CMpu() = default;
    CMpu(const CMpu&) = delete;
    CMpu& operator=(const CMpu&) = delete;
    virtual ~CMpu() = default;

    // The class name as registered and stored ("CMpu" for the null unit).
    virtual const char* GetClassName() const { return "CMpu"; }
    // The stored record: the CMpu record here; cores store their own fields.
    virtual void Serialize(CArchive& ar);
    // What the workspace file's extension block keeps of the unit beyond its
    // record: here name, IRQ mask, interrupt prompt, step-out, statistics and
    // breakpoints; a core appends the state its record drops. Fields are only
    // ever appended, so a file written later still loads. Loading may fail
    // the archive after setting some fields: the caller then discards the
    // unit.
    virtual void SerializeSettings(CArchive& ar);

    virtual uint32_t GetPC() const { return 0; }
    virtual void Stop();
    virtual void Run();
    virtual void Reset();
    virtual void Step() {}
    // Runs passes over the unit set for the run thread (see SPassRun); the
    // run thread asks the first running unit, so that a core steps units of
    // its own class without a call per instruction.
    virtual void StepPasses(SPassRun& run);
    virtual void Interrupt(bool /*nmi*/, bool /*irq*/, int /*irqCode*/) {}
    virtual void ClearInterrupt(bool /*nmi*/, bool /*irq*/, int /*irqCode*/) {}
    // Decodes the instruction at address (the unit is not changed).
    virtual SDisassembly Disassemble(uint32_t /*address*/) const { return {}; }
    virtual bool ReturnExecuted() const { return false; }
    // The interrupt the next step enters, if any. A request raised by a
    // device thread right after the call can make it stale.
    virtual EPendingEntry GetPendingEntry() const { return EPendingEntry::kNone; }
    virtual bool AtBreakpoint() const { return IsBreakpoint(GetPC()); }
    virtual bool IsBreakpoint(uint32_t address) const { return m_breakpoints.Has(address); }

    // Registers by descriptor, in register-pane order (none for the null unit).
    virtual std::span<const SRegisterInfo> GetRegisterInfo() const { return {}; }
    // The register's value; 0 for an index out of range.
    virtual uint32_t GetRegisterValue(size_t index) const;
    // Writes a register. Refused, with the reason, while the unit runs or
    // animates, for an index out of range, a value wider than the register
    // and a nonzero value for a register that always reads 0.
    bool SetRegisterValue(size_t index, uint32_t value, std::string* error = nullptr);
    // The register named name, any letter case (a core may accept other
    // names for a register); -1 when the unit has none of that name.
    virtual int FindRegister(std::string_view name) const;
    // Counters by descriptor: fetches, cycles, loads, stores first, in the
    // order of EStatistic; a core may add its own after them.
    // Here in the header, so that a step recorded for history reads them
    // without a call.
    virtual std::span<const SCounterInfo> GetCounterInfo() const { return kCommonCounters; }
    virtual uint64_t GetCounterValue(size_t index) const {
        return index < m_statistics.size() ? m_statistics[index].Load() : 0;
    }
    // The statistics pane's reset: every counter to 0.
    virtual void ResetCounters();
    // Puts a counter back to a value it had (stepping back through history);
    // here the common four. Only while the unit is stopped.
    virtual void RestoreCounterValue(size_t index, uint64_t value);
    // Puts a register back without the checks of SetRegisterValue (history
    // restores what the unit itself held). Only while the unit is stopped.
    void RestoreRegisterValue(size_t index, uint32_t value) { StoreRegisterValue(index, value); }

    // The unit's whole state as history records it, in words of the core's
    // choosing: registers, counters and what a step may change that neither
    // shows (latches, the last opcode), at most 63 words, the four common
    // counters one a word from GetStateCounterWord on. Here the registers by
    // descriptor, then the counters. A core overrides these in its header,
    // so that a caller that knows its class reads them without a call.
    virtual size_t GetStateWordCount() const {
        return GetRegisterInfo().size() + GetCounterInfo().size();
    }
    virtual size_t GetStateCounterWord() const { return GetRegisterInfo().size(); }
    virtual void ReadStateWords(uint64_t* words) const;
    // Puts the state back as ReadStateWords gave it. Only while the unit is
    // stopped.
    virtual void RestoreStateWords(const uint64_t* words);
    // Puts back a part the unit reported to history as it replaced it
    // (CHistory::NoteReplaced), by the unit's own key: a cache line.
    virtual void RestoreReplaced(uint32_t /*key*/, uint64_t /*old*/) {}
    SUnitSnapshot TakeSnapshot() const;

    void SetBus(CDevices* bus) { m_bus = bus; }
    CDevices* GetBus() const { return m_bus; }
    // The host of the workspace the bus belongs to (a host that does nothing
    // while the unit is on no bus).
    CHost& Host() const;

    uint32_t GetCodeUnit() const { return m_codeUnit; }
    uint32_t GetAddressScale() const { return m_addressScale; }
    // Listing addresses (program counter x address scale) wrap at this mask,
    // as the unit's own fetches do: 16 bits on the 6502 and Vo16, 24 on the Corvane.
    uint32_t GetAddressMask() const { return m_addressMask; }

    const std::string& GetName() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }
    uint32_t GetIrqMask() const { return m_irqMask; }
    void SetIrqMask(uint32_t mask) { m_irqMask = mask; }
    // True when a device interrupt with this IRQ code reaches the unit: codes 0
    // to 14 by the mask; 15, the withdrawal code, reaches every unit.
    bool AcceptsIrqCode(int code) const;

    uint32_t GetAnimationTimerId() const { return m_animationTimerId; }
    void SetAnimationTimerId(uint32_t id) { m_animationTimerId = id; }
    bool IsAnimationTimerActive() const { return m_animationTimerActive; }
    int GetAnimationRate() const { return m_animationRate; }
    void SetAnimationRate(int rate) { m_animationRate = rate; }
    // Starts the periodic animation timer with the unit's id and marks it active.
    void StartAnimationTimer(uint32_t periodMs);
    // Stops the animation timer when it is active.
    void StopAnimationTimer();

    // Release and acquire: whatever was done to the unit before it was set
    // running is seen by the run thread that steps it, and whatever the run
    // thread did before it cleared the flag is seen by whoever reads it clear.
    bool IsRunning() const { return m_running.load(std::memory_order_acquire); }
    void SetRunning(bool running) { m_running.store(running, std::memory_order_release); }
    bool IsStepOutPending() const { return m_stepOutPending; }
    void SetStepOutPending(bool pending) { m_stepOutPending = pending; }
    bool GetInterruptPrompt() const { return m_interruptPrompt; }
    void SetInterruptPrompt(bool prompt) { m_interruptPrompt = prompt; }
    uint32_t GetRunToAddress() const { return m_runToAddress; }
    void SetRunToAddress(uint32_t address) { m_runToAddress = address; }
    // Whether anything can stop the unit after a step: a step-out, the
    // interrupt prompt, a run-to address (none is all ones) or a breakpoint.
    bool HasStopCondition() const {
        return MayStopBesideBreakpoints() || m_breakpoints.GetCount() != 0;
    }
    bool MayStopBesideBreakpoints() const {
        return (uint32_t{m_stepOutPending} | uint32_t{m_interruptPrompt} |
                (m_runToAddress - kNoAddress)) != 0;
    }
    // A watchpoint saw an access of the step in hand: the unit stops after it.
    // The stepping thread sets it, run control takes it after the step.
    bool HasDebugStop() const { return m_debugStop; }
    void SetDebugStop(bool stop) { m_debugStop = stop; }
    uint32_t GetNextInstructionAddress() const { return m_nextInstructionAddress; }
    void SetNextInstructionAddress(uint32_t address) { m_nextInstructionAddress = address; }

    // Whether a breakpoint or the run-to address lies where the program
    // counter can be (within the address mask): only then can a run end there.
    bool HasReachableStopAddress() const;
    CBreakpoints& Breakpoints() { return m_breakpoints; }
    const CBreakpoints& Breakpoints() const { return m_breakpoints; }
    // The names of the unit's program (not stored in the workspace file).
    CSymbols& Symbols() { return m_symbols; }
    const CSymbols& Symbols() const { return m_symbols; }

    // A common counter as the unit counts it (through its counter descriptors).
    uint64_t GetStatistic(EStatistic which) const { return GetCounterValue(which); }
    void SetStatistic(EStatistic which, uint32_t value) { m_statistics[which] = value; }

protected:
    CDevices* m_bus = nullptr;
    // Writes a register the checks of SetRegisterValue let through.
    virtual void StoreRegisterValue(size_t /*index*/, uint32_t /*value*/) {}
    uint32_t m_codeUnit = 1;
    uint32_t m_addressScale = 1;
    uint32_t m_addressMask = 0xFFFFFFFF;
    std::string m_name;
    Relaxed<uint32_t> m_irqMask{0};
    std::array<Relaxed<uint32_t>, kStatisticCount> m_statistics{};

private:
    Relaxed<uint32_t> m_runToAddress{kNoAddress};
    Relaxed<uint32_t> m_nextInstructionAddress{0};
    Relaxed<uint32_t> m_animationTimerId{kAnimationTimerBase};
    Relaxed<bool> m_animationTimerActive{false};
    Relaxed<int> m_animationRate{0};
    std::atomic<bool> m_running{false};
    Relaxed<bool> m_stepOutPending{false};
    Relaxed<bool> m_interruptPrompt{false};
    Relaxed<bool> m_debugStop{false};
    CBreakpoints m_breakpoints;
    CSymbols m_symbols;
};
