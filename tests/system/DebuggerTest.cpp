// The debugging aids on real programs of the three cores, through the run
// thread: watchpoints, breakpoint conditions and ignore counts, history with
// stepping back and forward again, profiles, and the debug file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "core/Computer.h"
#include "core/DebugSidecar.h"
#include "core/Debugger.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "cpu/CorvaneMPU.h"
#include "cpu/M6502.h"
#include "cpu/Vo16.h"
#include "support/TestHost.h"
#include "support/WaitUntil.h"
#include "system/StandardClasses.h"
#include "tools/Assembler.h"
#include "tools/BreakpointCondition.h"

namespace {

// kCorvaneCached: the Corvane fetching through its cache with translation
// on, its loop calling a routine whose words share cache lines with it.
enum class ECore { k6502, kVo16, kCorvane, kCorvaneCached };

// Each program counts passes of its loop in a word at 0200 and stores the
// count's low byte at 0210 (at "store"; "next" follows it).
const char* Source(ECore core) {
    switch (core) {
        case ECore::k6502:
            return "        cpu 6502\n"
                   "        org 0400\n"
                   "start:  lda #0\n"
                   "        sta 0200\n"
                   "        sta 0201\n"
                   "loop:   inc 0200\n"
                   "        bne same\n"
                   "        inc 0201\n"
                   "same:   lda 0200\n"
                   "store:  sta 0210\n"
                   "next:   jmp loop\n";
        case ECore::kVo16:
            return "        cpu vo16\n"
                   "        org 0400\n"
                   "start:  addi r1,r0,0\n"
                   "loop:   addi r1,r1,1\n"
                   "count:  sw r1,0200(r0)\n"
                   "same:   addi r2,r1,0\n"
                   "store:  sb r2,0210(r0)\n"
                   "next:   br loop\n";
        case ECore::kCorvane:
            return "        cpu corvane\n"
                   "        org 000400\n"
                   "start:  lw r1,#000000\n"
                   "loop:   add r1,r1,#000001\n"
                   "count:  sw r1,000200\n"
                   "same:   add r2,r1,#000000\n"
                   "store:  sb r2,000210\n"
                   "        sb r2,300000\n"  // beyond the first 2 MiB
                   "next:   br loop\n";
        case ECore::kCorvaneCached:
            return "        cpu corvane\n"
                   "        org 000400\n"
                   "start:  lw r1,#000000\n"
                   "loop:   add r1,r1,#000001\n"
                   "        call count\n"
                   "same:   add r2,r1,#000000\n"
                   "store:  sb r2,000210\n"
                   "next:   br loop\n"
                   "        org 000420\n"
                   "count:  sw r1,002200\n"  // page 1, which maps onto page 0
                   "        ret\n";
    }
    return "";
}

class CMachine {
public:
    explicit CMachine(ECore core) : m_core(core) {
        InstallBreakpointConditions();
        m_host.Attach(&m_computer);
        m_computer.NewContents();
        auto* ram = new CRam;
        ram->SetRange(0, 0xFFFF);
        ram->SetSize(0x10000);
        m_computer.GetDevices()->AddTail(ram);
        auto* high = new CRam;
        high->SetRange(0x300000, 0x3000FF);
        high->SetSize(0x100);
        m_computer.GetDevices()->AddTail(high);
        CMpu* unit = nullptr;
        switch (core) {
            case ECore::k6502: unit = new C6502; break;
            case ECore::kVo16: unit = new CVo16; break;
            case ECore::kCorvane: unit = new CCorvaneMPU; break;
            case ECore::kCorvaneCached: {
                auto* corvane = new CCorvaneMPU;
                corvane->SetCR(CCorvaneMPU::kCrCache);
                unit = corvane;
                break;
            }
        }
        unit->SetBus(m_computer.GetDevices());
        m_computer.GetMpus()->Add(unit);
        m_computer.SetActiveProcessor(0);
        SAssemblyOptions options;
        m_assembly = CAssembler::AssembleText(Source(core), "loop.s", options);
        EXPECT_TRUE(m_assembly.Ok()) << (m_assembly.Ok() ? "" : m_assembly.errors[0].Text());
        for (const SSegment& segment : m_assembly.segments) {
            for (size_t i = 0; i < segment.bytes.size(); ++i)
                m_computer.Write(segment.address + static_cast<uint32_t>(i), segment.bytes[i], 1,
                                 true);
        }
        std::string error;
        EXPECT_TRUE(Unit().SetRegisterValue(static_cast<size_t>(Unit().FindRegister("PC")),
                                            Label("start"), &error))
            << error;
    }
    ~CMachine() { m_computer.DeleteContents(); }

    CComputer& Computer() { return m_computer; }
    CDebugger& Debugger() { return m_computer.Debugger(); }
    CMpu& Unit() { return *m_computer.GetMpus()->GetAt(0); }
    uint32_t Label(const char* name) const { return *m_assembly.symbols.Find(name); }
    // The pass count at 0200 in the core's byte order.
    uint32_t Passes() {
        if (m_core == ECore::kVo16) return m_computer.Read(0x200, 2 | CDevices::kSwap);
        return m_computer.Read(0x200, m_core == ECore::k6502 ? 2 : 3);
    }

    // Runs the unit until it stops (a limit of instructions when given) and
    // returns why.
    EStopReason Run(uint64_t limit = 0) {
        m_computer.SetRunLimits({false, 0, limit != 0, limit});
        m_host.DeliverPosted();
        EXPECT_EQ(m_computer.Run(true), ERunStart::kStarted);
        EXPECT_TRUE(WaitUntil([&] { return !m_host.Posted().empty(); }));
        const std::vector<EStopReason> reasons = m_host.PostedReasons();
        m_host.DeliverPosted();
        return reasons.empty() ? EStopReason::kNone : reasons.front();
    }

    // What the panes show, the unit's whole state as history reads it
    // (latches included) and the program's memory.
    struct SState {
        std::vector<uint32_t> registers;
        std::vector<uint64_t> counters;
        std::vector<uint64_t> words;
        std::vector<uint32_t> memory;
        bool operator==(const SState&) const = default;
    };
    SState State() {
        const SUnitSnapshot snapshot = Unit().TakeSnapshot();
        SState state{snapshot.registers, snapshot.counters, {}, {}};
        state.words.resize(Unit().GetStateWordCount());
        Unit().ReadStateWords(state.words.data());
        for (uint32_t address = 0x200; address < 0x220; ++address)
            state.memory.push_back(m_computer.Read(address, 1));
        state.memory.push_back(m_computer.Read(0x300000, 1));
        return state;
    }

private:
    ECore m_core;
    CTestHost m_host;
    CComputer m_computer{&m_host};
    SAssembly m_assembly;
};

const char* Name(ECore core) {
    switch (core) {
        case ECore::k6502: return "6502";
        case ECore::kVo16: return "Vo16";
        case ECore::kCorvane: return "Corvane";
        case ECore::kCorvaneCached: return "Corvane cached";
    }
    return "";
}

constexpr ECore kCores[] = {ECore::k6502, ECore::kVo16, ECore::kCorvane};

TEST(DebuggerTest, WatchpointStopsAfterTheAccessWithWhatItSaw) {
    struct SCase {
        ECore core;
        const char* watch;
        const char* instruction;  // label of the instruction that made the access
        uint32_t value;
        uint8_t access;
        uint32_t passes;
    };
    const SCase cases[] = {
        {ECore::k6502, "w:0210=07", "store", 0x07, kWatchWrite, 7},
        {ECore::kVo16, "w:0210=07", "store", 0x07, kWatchWrite, 7},
        {ECore::kCorvane, "w:0210=07", "store", 0x07, kWatchWrite, 7},
        // Any value but 00: the first store of a pass count that is not a
        // multiple of 256.
        {ECore::k6502, "w:0210!=00", "store", 0x01, kWatchWrite, 1},
        // Reads: pass 5 reads 05 first in its lda (its inc read 04).
        {ECore::k6502, "r:01FF-0200=05", "same", 0x05, kWatchRead, 5},
        {ECore::kCorvane, "rw:0200-0202=000003", "count", 0x03, kWatchWrite, 3},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::string(Name(c.core)) + " " + c.watch);
        CMachine machine(c.core);
        SWatchpoint watch;
        std::string error;
        ASSERT_TRUE(ParseWatchpoint(c.watch, watch, error)) << error;
        machine.Debugger().AddWatchpoint(watch);
        EXPECT_EQ(machine.Run(), EStopReason::kWatchpoint);
        const SStopDetail detail = machine.Debugger().GetStopDetail(0);
        EXPECT_EQ(detail.reason, EStopReason::kWatchpoint);
        EXPECT_EQ(detail.access, c.access);
        EXPECT_EQ(detail.value, c.value);
        EXPECT_EQ(detail.instruction, machine.Label(c.instruction));
        EXPECT_EQ(machine.Passes(), c.passes);
        EXPECT_EQ(machine.Computer().GetLastStopReason(0), EStopReason::kWatchpoint);
    }
}

TEST(DebuggerTest, ReadsOutsideTheUnitsStepsAreNotWatched) {
    // The program never reads 0210; the test thread does, all through the run.
    CMachine machine(ECore::k6502);
    SWatchpoint watch;
    std::string error;
    ASSERT_TRUE(ParseWatchpoint("r:0210", watch, error));
    machine.Debugger().AddWatchpoint(watch);
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done)
            machine.Computer().GetDevices()->ReadLocked(0x210, 1);
    });
    EXPECT_EQ(machine.Run(200000), EStopReason::kInstructionLimit);
    done = true;
    reader.join();
    // Removing the watchpoint gives the page back to the direct path.
    machine.Debugger().RemoveWatchpoint(0);
    EXPECT_EQ(machine.Run(1000), EStopReason::kInstructionLimit);
}

TEST(DebuggerTest, ConditionOrIgnoreCountStopsOnTheThousandthPass) {
    struct SCase {
        ECore core;
        const char* condition;
        uint32_t ignore;
    };
    const SCase cases[] = {
        {ECore::k6502, "[0200] == E8 && [0201] == 3", 0},
        {ECore::k6502, "!z && [0200] == e8 && [0201] == 3", 0},
        {ECore::k6502, "", 999},
        {ECore::kVo16, "r1 == 3E8", 0},
        {ECore::kVo16, "[0200] == 3 && [0201] == E8", 0},
        {ECore::kVo16, "", 999},
        {ECore::kCorvane, "([0200] | [0201] << 8) == 3E8", 0},
        {ECore::kCorvane, "r1 > 3E0", 7},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::string(Name(c.core)) + " '" + c.condition + "' ignore " +
                     std::to_string(c.ignore));
        CMachine machine(c.core);
        const uint32_t at = machine.Label("same");
        machine.Unit().Breakpoints().Add(at);
        std::string error;
        ASSERT_TRUE(machine.Debugger().SetCondition(0, at, c.condition, c.ignore, &error)) << error;
        EXPECT_EQ(machine.Run(), EStopReason::kCondition);
        EXPECT_EQ(machine.Passes(), 1000u);
        EXPECT_EQ(machine.Unit().GetPC(), at);
        EXPECT_EQ(machine.Debugger().GetStopDetail(0).hits, c.ignore + 1);
        // Past the ignore count, a condition that holds stops every time.
        if (c.condition[0] == '\0') {
            EXPECT_EQ(machine.Run(), EStopReason::kCondition);
            EXPECT_EQ(machine.Passes(), 1001u);
        }
    }
}

TEST(DebuggerTest, BadConditionsAreRefusedWithTheReason) {
    CMachine machine(ECore::k6502);
    for (const char* text : {"a ==", "q == 1", "[0200", "(a"}) {
        std::string error;
        EXPECT_FALSE(machine.Debugger().SetCondition(0, 0x400, text, 0, &error)) << text;
        EXPECT_NE(error.find(text), std::string::npos) << error;
        EXPECT_FALSE(machine.Debugger().GetCondition(0, 0x400));
    }
}

TEST(DebuggerTest, SteppingBackAndForwardAgainRestoresTheSameState) {
    for (const ECore core : {ECore::k6502, ECore::kVo16, ECore::kCorvane, ECore::kCorvaneCached}) {
        SCOPED_TRACE(Name(core));
        CMachine machine(core);
        machine.Debugger().SetHistoryEnabled(true);
        EXPECT_EQ(machine.Run(2000), EStopReason::kInstructionLimit);
        const CMachine::SState before = machine.State();
        // Not whole passes: the run ends with the cache holding the loop's
        // words where it held the routine's before.
        EXPECT_EQ(machine.Run(1003), EStopReason::kInstructionLimit);
        const uint64_t steps = machine.Computer().GetInstructionCount();
        const CMachine::SState after = machine.State();
        ASSERT_NE(before, after);
        EXPECT_EQ(machine.Debugger().StepBack(0, steps), steps);
        EXPECT_EQ(machine.State(), before);
        for (uint64_t n = 0; n < steps; ++n)
            machine.Computer().StepInto();
        EXPECT_EQ(machine.State(), after);
        if (core == ECore::kCorvaneCached) {
            // The routine's words evicted the loop's: two misses a pass.
            EXPECT_GT(after.counters[5] - before.counters[5], 200u);
            // The count went to 000200 through the page table.
            EXPECT_GT(machine.Passes(), 400u);
        }
    }
}

TEST(DebuggerTest, HistoryIsBoundedAndRunBackStopsAtTheBreakpointBefore) {
    CMachine machine(ECore::k6502);
    machine.Debugger().SetHistoryLimits({500, 1u << 20});
    machine.Debugger().SetHistoryEnabled(true);
    EXPECT_EQ(machine.Run(3000), EStopReason::kInstructionLimit);
    EXPECT_EQ(machine.Debugger().History(0).GetCount(), 500u);
    EXPECT_GT(machine.Debugger().History(0).GetBytes(), 0u);
    // A register edited while stopped is undone as a record of its own.
    const CMachine::SState stopped = machine.State();
    ASSERT_TRUE(machine.Unit().SetRegisterValue(0, stopped.registers[0] ^ 0xFF));
    machine.Computer().StepInto();
    EXPECT_EQ(machine.Debugger().StepBack(0, 2), 2u);
    EXPECT_EQ(machine.State(), stopped);
    // The two records pushed the two oldest out.
    EXPECT_EQ(machine.Debugger().StepBack(0, 100000), 498u);
    EXPECT_EQ(machine.Debugger().StepBack(0, 1), 0u);

    CMachine again(ECore::k6502);
    again.Debugger().SetHistoryEnabled(true);
    const uint32_t at = again.Label("store");
    again.Unit().Breakpoints().Add(at);
    EXPECT_EQ(again.Run(), EStopReason::kBreakpoint);
    EXPECT_EQ(again.Run(), EStopReason::kBreakpoint);
    EXPECT_EQ(again.Passes(), 2u);
    // From the breakpoint of pass 2 to the one of pass 1: a pass is five
    // instructions.
    EXPECT_EQ(again.Debugger().RunBack(0), 5u);
    EXPECT_EQ(again.Unit().GetPC(), at);
    EXPECT_EQ(again.Passes(), 1u);
}

TEST(DebuggerTest, RemovingAUnitTakesItsAidsAndMovesTheOthersDown) {
    RegisterStandardClasses();
    CMachine machine(ECore::k6502);
    std::string error;
    for (const char* name : {"b", "c"})
        ASSERT_TRUE(machine.Computer().AddUnit(C6502::kClassName, name, 0, &error)) << error;
    CDebugger& debugger = machine.Debugger();
    debugger.SetHistoryEnabled(true);
    debugger.SetProfileEnabled(true);
    EXPECT_EQ(machine.Run(100), EStopReason::kInstructionLimit);
    SWatchpoint first, third;
    first.from = first.to = 0x300;
    first.slot = 0;
    third.from = third.to = 0x301;
    third.slot = 2;
    debugger.SetWatchpoints({first, third});
    ASSERT_TRUE(debugger.SetCondition(2, 0x400, "a == 1", 0, &error)) << error;
    ASSERT_TRUE(machine.Computer().RemoveUnit(0, &error)) << error;
    // The unit now in slot 0 never ran: nothing of the removed one is its.
    EXPECT_EQ(debugger.History(0).GetCount(), 0u);
    EXPECT_EQ(debugger.StepBack(0, 1), 0u);
    EXPECT_EQ(debugger.Profile(0).GetTotal(), 0u);
    third.slot = 1;
    EXPECT_EQ(debugger.GetWatchpoints(), std::vector<SWatchpoint>{third});
    EXPECT_TRUE(debugger.GetCondition(1, 0x400));
    EXPECT_FALSE(debugger.GetCondition(2, 0x400));
}

TEST(DebuggerTest, ProfileCountsSumToTheInstructionCount) {
    for (const ECore core : kCores) {
        SCOPED_TRACE(Name(core));
        CMachine machine(core);
        machine.Debugger().SetProfileEnabled(true);
        EXPECT_EQ(machine.Run(5000), EStopReason::kInstructionLimit);
        const CProfile& profile = machine.Debugger().Profile(0);
        uint64_t sum = 0;
        for (const auto& [address, count] : profile.GetCounts())
            sum += count;
        EXPECT_EQ(sum, machine.Computer().GetInstructionCount());
        EXPECT_EQ(profile.GetTotal(), sum);
        // The last pass may end before its store.
        EXPECT_LE(machine.Passes() - profile.GetCount(machine.Label("store")), 1u);
        EXPECT_EQ(profile.GetCount(machine.Label("start")), 1u);
    }
}

TEST(DebuggerTest, ProfileCsvListsTheHotSpotsFirst) {
    CMachine machine(ECore::k6502);
    machine.Debugger().SetProfileEnabled(true);
    EXPECT_EQ(machine.Run(100), EStopReason::kInstructionLimit);
    const std::string path =
        (std::filesystem::temp_directory_path() / ("profile-" + std::to_string(getpid()) + ".csv"))
            .string();
    std::string error;
    ASSERT_TRUE(machine.Debugger().WriteProfileCsv(path, error)) << error;
    std::ifstream in(path);
    std::string header, first, line;
    std::getline(in, header);
    std::getline(in, first);
    int lines = 1;
    while (std::getline(in, line))
        ++lines;
    std::filesystem::remove(path);
    EXPECT_EQ(header, "unit,address,count,percent,instruction");
    EXPECT_EQ(first.substr(0, 7), "0,0408,");  // "loop"
    EXPECT_NE(first.find("\"inc $0200\""), std::string::npos) << first;
    EXPECT_EQ(lines, 8);  // every instruction of the program
}

TEST(DebuggerTest, DebugFileKeepsTheAidsAndRefusesWhatIsNotOne) {
    const std::string workspace =
        (std::filesystem::temp_directory_path() / ("debug-" + std::to_string(getpid()) + ".sqw"))
            .string();
    CMachine machine(ECore::k6502);
    SWatchpoint watch;
    std::string error;
    ASSERT_TRUE(ParseWatchpoint("rw:0200-02FF!=05", watch, error));
    machine.Debugger().AddWatchpoint(watch);
    ASSERT_TRUE(machine.Debugger().SetCondition(0, 0x40B, "a == 1 && [0200] != 0", 3, &error));
    machine.Debugger().SetHistoryLimits({1234, 1u << 20});
    machine.Debugger().SetHistoryEnabled(true);
    ASSERT_TRUE(SaveDebugSidecar(machine.Computer(), workspace, error)) << error;

    CMachine other(ECore::k6502);
    ASSERT_TRUE(LoadDebugSidecar(other.Computer(), workspace, error)) << error;
    EXPECT_EQ(other.Debugger().GetWatchpoints(), std::vector<SWatchpoint>{watch});
    const auto condition = other.Debugger().GetCondition(0, 0x40B);
    ASSERT_TRUE(condition);
    EXPECT_EQ(condition->condition, "a == 1 && [0200] != 0");
    EXPECT_EQ(condition->ignoreCount, 3u);
    EXPECT_TRUE(other.Debugger().IsHistoryEnabled());
    EXPECT_EQ(other.Debugger().GetHistoryLimits().instructions, 1234u);

    // Malformed files change nothing.
    for (const char* text :
         {"{", "[]", "{\"version\": 2}", "{\"version\": 1, \"watchpoints\": [{\"watch\": \"x\"}]}",
          "{\"version\": 1, \"history\": {\"instructions\": -5}}"}) {
        std::ofstream(DebugSidecarPath(workspace)) << text;
        EXPECT_FALSE(LoadDebugSidecar(other.Computer(), workspace, error)) << text;
        EXPECT_EQ(other.Debugger().GetWatchpoints().size(), 1u);
        EXPECT_TRUE(other.Debugger().IsHistoryEnabled());
    }
    std::filesystem::remove(DebugSidecarPath(workspace));
    // No file: nothing to load, nothing changes.
    EXPECT_TRUE(LoadDebugSidecar(other.Computer(), workspace, error));
    EXPECT_EQ(other.Debugger().GetWatchpoints().size(), 1u);
}

}  // namespace
