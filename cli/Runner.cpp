#include "cli/Runner.h"

#include <cstdio>
#include <fstream>
#include <ostream>
#include <stdexcept>

#include "cli/Assemble.h"
#include "cli/FrameImage.h"
#include "cli/Json.h"
#include "cli/Registers.h"
#include "cli/RunnerHost.h"
#include "core/ClassRegistry.h"
#include "core/DebugSidecar.h"
#include "core/Debugger.h"
#include "core/Device.h"
#include "core/Devices.h"
#include "core/Mpu.h"
#include "core/Mpus.h"
#include "core/ProgramImage.h"
#include "core/Ram.h"
#include "core/StringEx.h"
#include "core/WorkspaceFile.h"
#include "devices/VideoDevice.h"
#include "devices/VideoFrame.h"
#include "tools/BreakpointCondition.h"
#include "tools/CodeListing.h"
#include "tools/CommandInterpreter.h"

namespace {

class CRunnerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& message) {
    throw CRunnerError(message);
}

// The listing column of a trace line, before the registers.
constexpr int kTraceListingWidth = 24;

// Nobody answers the Generate Interrupt dialog of a run here: cancelled.
const SInterruptRequest kNoInterrupt{};

}  // namespace

// Writes a line per instruction a unit executes: slot, address, listing (or
// the interrupt the step entered instead), registers after it.
class CTraceWriter final : public CRunObserver {
public:
    explicit CTraceWriter(std::string path)
        : m_path(std::move(path)), m_file(m_path, std::ios::out | std::ios::trunc) {}
    bool IsOpen() const { return m_file.is_open(); }
    // Flushes; false when anything failed to be written.
    bool Finish() {
        m_file.flush();
        return static_cast<bool>(m_file);
    }
    const std::string& Path() const { return m_path; }

    void BeforeStep(int slot, CMpu& unit) override {
        const uint32_t address = unit.GetPC() * unit.GetAddressScale();
        const SDisassembly decoded = unit.Disassemble(address);
        std::string listing;
        switch (unit.GetPendingEntry()) {
            case CMpu::EPendingEntry::kNmi: listing = "<NMI>"; break;
            case CMpu::EPendingEntry::kIrq: listing = "<IRQ>"; break;
            case CMpu::EPendingEntry::kNone:
                listing = UpperCase(decoded.mnemonic);
                if (!decoded.operand.empty()) listing += ' ' + UpperCase(decoded.operand);
                break;
        }
        m_line.clear();
        AppendFormat(m_line, "%d %s %-*s ", slot, decoded.address.c_str(), kTraceListingWidth,
                     listing.c_str());
    }
    void AfterStep(int /*slot*/, CMpu& unit) override {
        m_file << m_line << FormatRegisters(unit) << '\n';
    }

private:
    std::string m_path;
    std::ofstream m_file;
    std::string m_line;
};

CRunner::CRunner(CRunnerHost& host, std::ostream& out, std::ostream& err)
    : m_host(host), m_out(out), m_err(err), m_computer(&host) {
    InstallBreakpointConditions();
    m_host.Attach(&m_computer);
    m_host.SetRunStoppedObserver(
        [this](int slot, EStopReason reason) { OnRunStopped(slot, reason); });
}

CRunner::~CRunner() {
    // The devices stop their timers and displays through the host, which
    // must still know the workspace. The displays are told to quit together.
    if (CDevices* devices = m_computer.GetDevices()) StopDisplays(*devices);
    m_computer.DeleteContents();
    m_computer.SetRunObserver(nullptr);
    m_host.SetRunStoppedObserver(nullptr);
    m_host.Attach(nullptr);
}

int CRunner::Run(const SCommandLine& line) {
    std::string error;
    try {
        if (!line.workspace.empty()) {
            OpenWorkspace(line.workspace);
        } else if (line.actions.empty() || line.actions.front().kind != EAction::kSystem) {
            NewSystem(ESystemType::Vo16);
        }
        for (const SAction& action : line.actions) {
            try {
                Perform(action);
            } catch (const CRunnerError& e) {
                Fail(action.option + ": " + e.what());
            }
        }
        if (m_trace && !m_trace->Finish()) Fail("--trace: writing " + m_trace->Path() + " failed");
        if (!m_profilePath.empty()) {
            std::string failure;
            if (!m_computer.Debugger().WriteProfileCsv(m_profilePath, failure))
                Fail("--profile: " + failure);
        }
    } catch (const CRunnerError& e) {
        error = e.what();
    } catch (const std::exception& e) {
        error = e.what();
    }
    const bool limited =
        m_lastStop == EStopReason::kInstructionLimit || m_lastStop == EStopReason::kTimeLimit;
    const int exitCode = !error.empty() ? kExitBadInput : limited ? kExitRunLimit : kExitSuccess;
    // One line, whatever names or paths the error quotes.
    if (!error.empty()) m_err << "simq: " << PrintableText(error, error.size()) << '\n';
    if (line.json) PrintJson(error, exitCode);
    m_out.flush();
    // Output that could not be written (a full disk, a closed pipe) is a failure.
    if (!m_out) {
        m_err << "simq: writing the standard output failed; the output is incomplete\n";
        m_err.flush();
        return kExitBadInput;
    }
    m_err.flush();
    return exitCode;
}

void CRunner::Perform(const SAction& action) {
    switch (action.kind) {
        case EAction::kSystem: NewSystem(action.system); break;
        case EAction::kAddUnit: AddUnit(action.unit); break;
        case EAction::kAddDevice: AddDevice(action.newDevice); break;
        case EAction::kLoad: Load(action); break;
        case EAction::kUnit: SelectUnit(action.count); break;
        case EAction::kSet: SetRegister(action); break;
        case EAction::kReset: ActiveUnit().Reset(); break;
        case EAction::kBreak: AddBreakpoint(action); break;
        case EAction::kWatch:
            ActiveUnit();
            m_computer.Debugger().AddWatchpoint(action.watch);
            break;
        case EAction::kHistory: {
            CDebugger& debugger = m_computer.Debugger();
            if (action.value > 0) {
                SHistoryLimits limits = debugger.GetHistoryLimits();
                limits.instructions = static_cast<uint64_t>(action.value);
                debugger.SetHistoryLimits(limits);
            }
            debugger.SetHistoryEnabled(action.hasAddress);
            break;
        }
        case EAction::kStepBack: StepBack(action.count); break;
        case EAction::kRunBack: StepBack(0); break;
        case EAction::kProfile:
            m_computer.Debugger().SetProfileEnabled(true);
            m_profilePath = action.text;
            break;
        case EAction::kStep: Step(action.count); break;
        case EAction::kRun: RunActive(); break;
        case EAction::kRunAll: RunAll(); break;
        case EAction::kLimitInstructions:
            m_limits.instructionsEnabled = true;
            m_limits.instructions = static_cast<uint64_t>(action.value);
            break;
        case EAction::kLimitSeconds:
            m_limits.timeEnabled = true;
            m_limits.seconds = action.value;
            break;
        case EAction::kExec: Exec(action.text); break;
        case EAction::kRegs: m_out << FormatRegisters(ActiveUnit()) << '\n'; break;
        case EAction::kStats: m_out << FormatCounters(ActiveUnit()) << '\n'; break;
        case EAction::kList: List(Address(action), action.count); break;
        case EAction::kAsmCpu: break;  // read with the --assemble actions
        case EAction::kAssemble: {
            std::string error;
            CMpu* unit = m_computer.IsEmpty() ? nullptr : m_computer.GetActiveProcessor();
            if (!RunAssemble(action, m_computer, unit, m_err, error)) Fail(error);
            break;
        }
        case EAction::kLoadSymbols: {
            std::string error;
            if (!LoadUnitSymbols(action.text, ActiveUnit(), error)) Fail(error);
            break;
        }
        case EAction::kDump: Dump(action); break;
        case EAction::kSave: Save(action.text); break;
        case EAction::kFrame: Frame(action.device, action.text); break;
        case EAction::kTrace: StartTrace(action.text); break;
    }
}

// --- The workspace ------------------------------------------------------------

void CRunner::OpenWorkspace(const std::string& path) {
    std::string error;
    if (!OpenWorkspaceFile(m_computer, path, &error))
        Fail("cannot open the workspace " + path + ": " + error);
    WorkspaceReplaced();
    // The debug file is an extra: a bad one is reported and the run goes on.
    if (!LoadDebugSidecar(m_computer, path, error) || !error.empty())
        m_err << "simq: warning: " << error << '\n';
}

void CRunner::NewSystem(ESystemType type) {
    m_computer.NewContents();
    std::string error;
    if (!BuildStandardSystem(m_computer, type, &error)) Fail(error);
    m_computer.SetModifiedFlag(false);
    WorkspaceReplaced();
}

void CRunner::WorkspaceReplaced() {
    m_host.DropNotices();
    // The displays render and raise their interrupts as the desktop's windows do.
    CDevices* devices = m_computer.GetDevices();
    if (!devices) return;
    if (const int leftOut = StartDisplays(*devices); leftOut > 0) WarnDisplaysLeftOut(leftOut);
}

void CRunner::WarnDisplaysLeftOut(int leftOut) {
    m_err << "simq: warning: a machine runs at most " << kMaxDisplays << " displays; " << leftOut
          << (leftOut == 1 ? " video device renders no frames and raises"
                           : " video devices render no frames and raise")
          << " no display interrupts\n";
}

void CRunner::AddUnit(const SNewUnit& wanted) {
    std::string error;
    if (!m_computer.AddUnit(wanted.className, wanted.name, wanted.irqMask, &error)) Fail(error);
}

void CRunner::AddDevice(const SNewDevice& wanted) {
    CDevices* devices = m_computer.GetDevices();
    if (!devices) Fail("there is no workspace");
    // What the options leave out keeps the class's own setting.
    SDeviceSettings settings;
    settings.className = wanted.className;
    settings.name = wanted.name;
    settings.from = wanted.from;
    settings.to = wanted.to;
    settings.stride = wanted.stride;
    settings.irqCode = wanted.irqCode;
    settings.size = wanted.size;
    settings.writable = !wanted.readOnly;
    std::string error;
    if (!m_computer.AddDevice(settings, &error)) Fail(error);
    // The displays render and raise their interrupts as the desktop's windows do.
    if (auto* video = dynamic_cast<CVideoDevice*>(devices->GetAt(devices->GetCount() - 1))) {
        if (RunningDisplays(*devices) >= kMaxDisplays)
            WarnDisplaysLeftOut(1);
        else
            video->StartDisplay();
    }
}

void CRunner::Load(const SAction& action) {
    const std::string& path = action.text;
    if (action.hasAddress && ImageFormatOf(path) == EImageFormat::kSRecord) {
        m_err << "simq: warning: " << action.option << ": S-records carry their own addresses; "
              << "the load address is not used\n";
    }
    const SImageReport report = LoadProgramImage(m_computer, path, action.address);
    if (!report.error.empty()) Fail(report.error);
    // An image of which nothing reached memory loaded nothing: a failure.
    const std::string name = PrintableText(path);
    if (report.bytes == 0 && report.rejectedCount == 0)
        Fail("0 bytes loaded: " + name + " holds no data");
    if (report.bytes != 0 && report.NothingStored())
        Fail("nothing of " + name + " falls on a device (no device holds its addresses)");
    if (report.beyondEnd != 0 || report.cut != 0) {
        std::string what = DescribeLoad(report, path);
        m_err << "simq: warning: " << action.option << ": " << what << '\n';
    }
    if (report.rejectedCount == 0) return;

    std::string lines;
    for (const uint32_t line : report.rejectedLines) {
        if (!lines.empty()) lines += ", ";
        lines += std::to_string(line);
    }
    if (report.rejectedCount > report.rejectedLines.size()) lines += ", ...";
    const std::string what = std::to_string(report.rejectedCount) +
                             (report.rejectedCount == 1 ? " line" : " lines") + " of " + name +
                             " could not be read (" +
                             (report.rejectedCount == 1 ? "line " : "lines ") + lines + ")";
    // A file of which nothing could be read is not a program image at all.
    if (report.bytes == 0) Fail(what + "; nothing was loaded");
    m_err << "simq: warning: " << action.option << ": " << what << '\n';
}

// --- Processing units -------------------------------------------------------

CMpu& CRunner::ActiveUnit() const {
    if (m_computer.GetActiveSlot() < 0) {
        Fail(
            "the workspace has no active processing unit (add one with --add-unit or choose "
            "one with --unit)");
    }
    return *m_computer.GetActiveProcessor();
}

void CRunner::SelectUnit(uint32_t slot) {
    const int count = m_computer.GetMpus() ? m_computer.GetMpus()->GetCount() : 0;
    if (static_cast<int>(slot) >= count) {
        Fail("there is no unit in slot " + std::to_string(slot) + " (the workspace has " +
             std::to_string(count) + (count == 1 ? " unit)" : " units)"));
    }
    m_computer.SetActiveProcessor(slot);
}

void CRunner::SetRegister(const SAction& action) {
    std::string error;
    if (!WriteRegister(ActiveUnit(), action.text, static_cast<uint32_t>(action.value), error))
        Fail(error);
    m_computer.SetModifiedFlag();
}

uint32_t CRunner::Address(const SAction& action) const {
    uint32_t address = 0;
    std::string error;
    if (!ActionAddress(action, ActiveUnit(), address, error)) Fail(error);
    return address;
}

void CRunner::AddBreakpoint(const SAction& action) {
    const uint32_t address = Address(action);
    const CMpu& unit = ActiveUnit();
    // A breakpoint the unit's program counter can never reach would leave a
    // run that nothing ends.
    if (address > unit.GetAddressMask()) {
        Fail(HexString(address) + " lies outside the active unit's address space (0 to " +
             HexString(unit.GetAddressMask()) + "), so no run could stop there");
    }
    CBreakpoints& breakpoints = ActiveUnit().Breakpoints();
    if (action.hasCondition) {
        std::string error;
        if (!m_computer.Debugger().SetCondition(m_computer.GetActiveSlot(), address,
                                                action.condition, action.ignoreCount, &error))
            Fail(error);
        if (breakpoints.Contains(address)) return;
    }
    if (breakpoints.Contains(address)) {
        m_err << "simq: warning: --break: Breakpoint already defined. (" << HexString(address)
              << ")\n";
        return;
    }
    if (!breakpoints.Add(address))
        Fail("Too many breakpoints. (a unit holds " + std::to_string(CBreakpoints::kCapacity) +
             ")");
}

void CRunner::StepBack(uint32_t count) {
    ActiveUnit();
    CDebugger& debugger = m_computer.Debugger();
    if (!debugger.IsHistoryEnabled())
        Fail("the history is off; give --history on before the instructions to undo");
    const int slot = m_computer.GetActiveSlot();
    // 0: back to the previous breakpoint.
    const uint64_t undone = count == 0 ? debugger.RunBack(slot) : debugger.StepBack(slot, count);
    if (count != 0 && undone < count) {
        m_err << "simq: warning: --step-back: the history held only " << undone
              << " instructions of the active unit\n";
    }
    m_computer.RefreshUnit(slot);
}

void CRunner::Step(uint32_t count) {
    ActiveUnit();
    for (uint32_t i = 0; i < count; ++i)
        m_computer.StepInto(&kNoInterrupt);
}

// --- Runs -------------------------------------------------------------------

void CRunner::RequireBound(bool bounded, const std::string& action) const {
    if (bounded) return;
    Fail(
        "refused: a unit has no breakpoint and no run limit is set, so the run would never "
        "end (" +
        std::string(CComputer::kCautionText) + " No); give --break ADDR, " +
        "--limit-instructions N or --limit-seconds N before " + action);
}

void CRunner::Started(ERunStart started, const std::string& action) {
    switch (started) {
        case ERunStart::kStarted: return;
        case ERunStart::kNeedsConfirmation: RequireBound(false, action); return;
        case ERunStart::kNoUnit:
        case ERunStart::kNeedsInterrupt:
        case ERunStart::kFailed: Fail("the unit could not be started");
    }
}

void CRunner::RunActive() {
    ActiveUnit();
    const int slot = m_computer.GetActiveSlot();
    m_computer.SetRunLimits(m_limits);
    // Notices of earlier runs are all in; start this one afresh.
    m_host.DispatchPending();
    m_stoppedSlots.clear();
    m_limitNotice = false;
    m_noticeReason = EStopReason::kNone;
    Started(m_computer.Run(false, &kNoInterrupt), "--run");
    WaitForRun({slot});
}

void CRunner::RunAll() {
    CMpus* units = m_computer.GetMpus();
    const int count = units ? units->GetCount() : 0;
    if (count == 0) Fail("the workspace has no processing units");
    // Run All asks nothing in the desktop application; without a question to
    // stop it, a run that nothing ends would never return. Every unit needs a
    // stop condition of its own unless a limit stops them all.
    std::vector<int> slots;
    bool everyUnitStops = true;
    for (int slot = 0; slot < count; ++slot) {
        slots.push_back(slot);
        const CMpu& unit = *units->GetAt(slot);
        everyUnitStops = everyUnitStops && (unit.HasReachableStopAddress() ||
                                            !m_computer.Debugger().GetWatchpoints().empty());
    }
    RequireBound(everyUnitStops || m_limits.instructionsEnabled || m_limits.timeEnabled,
                 "--run-all");
    m_computer.SetRunLimits(m_limits);
    m_host.DispatchPending();
    m_stoppedSlots.clear();
    m_limitNotice = false;
    m_noticeReason = EStopReason::kNone;
    Started(m_computer.RunAll(&kNoInterrupt), "--run-all");
    WaitForRun(slots);
}

void CRunner::WaitForRun(const std::vector<int>& slots) {
    // The run thread clears a unit's running flag and then posts its notice;
    // the run is over once every unit has been reported, or a limit was.
    m_host.RunUntil([&] {
        if (m_limitNotice) return true;
        for (const int slot : slots) {
            if (!m_stoppedSlots.contains(slot)) return false;
        }
        return true;
    });
    m_lastStop = m_noticeReason;
}

void CRunner::OnRunStopped(int slot, EStopReason reason) {
    m_noticeReason = reason;
    if (slot != CComputer::kRunLimitSlot) m_lastSlot = slot;
    if (slot == CComputer::kRunLimitSlot) {
        m_limitNotice = true;
    } else {
        m_stoppedSlots.insert(slot);
    }
}

void CRunner::StartTrace(const std::string& path) {
    if (m_trace) (*m_trace).Finish();
    auto trace = std::make_unique<CTraceWriter>(path);
    if (!trace->IsOpen()) Fail("cannot write the trace file " + path);
    m_computer.SetRunObserver(trace.get());
    m_trace = std::move(trace);
}

// --- Memory and output ------------------------------------------------------

void CRunner::Exec(const std::string& line) {
    const size_t first = line.find_first_not_of(" \t");
    const char c = first == std::string::npos ? '\0' : line[first];
    if (std::string_view(":cCdDfF").find(c) == std::string_view::npos || c == '\0') {
        Fail("'" + line + "' is not a monitor command (:addr bytes, D addr count, " +
             "F addr count value)");
    }
    // The monitor would quietly drop the rest of a longer line.
    if (line.size() > CCommandInterpreter::kMaxLine) {
        Fail("the line is longer than the monitor's " +
             std::to_string(CCommandInterpreter::kMaxLine) + " characters; split it");
    }
    const SCommandOutcome outcome = CCommandInterpreter(m_computer).Execute(line);
    if (outcome.action != SCommandOutcome::EAction::kInsert) return;
    // The pane frames its output with line breaks; a terminal needs none.
    std::string text = outcome.text;
    if (text.starts_with('\n')) text.erase(0, 1);
    if (text.ends_with("\n\n")) text.pop_back();
    m_out << text;
}

void CRunner::List(uint32_t address, uint32_t lines) {
    ActiveUnit();
    CCodeListing listing(m_computer, m_computer.GetActiveSlot());
    listing.SetShowMachineCode(true);
    listing.SetLineCount(static_cast<int>(lines));
    listing.SetTopAddress(address);
    for (const SListingLine& line : listing.Lines()) {
        if (!line.label.empty()) m_out << line.label << ":\n";
        m_out << line.text << '\n';
    }
}

void CRunner::Dump(const SAction& action) {
    const uint32_t first = action.address;
    const uint32_t last = first + (action.count - 1);
    // The end record names the first byte dumped as the entry address.
    const SImageReport report = DumpProgramImage(m_computer, action.text, first, last, first);
    if (!report.error.empty()) Fail(report.error);
}

void CRunner::Save(const std::string& path) {
    std::string error;
    if (!SaveWorkspaceFile(m_computer, path, &error)) Fail(error);
    if (!SaveDebugSidecar(m_computer, path, error)) Fail(error);
    m_computer.SetModifiedFlag(false);
}

void CRunner::Frame(const std::string& deviceName, const std::string& path) {
    CDevices* devices = m_computer.GetDevices();
    auto* video = devices ? dynamic_cast<CVideoDevice*>(devices->FindByName(deviceName)) : nullptr;
    if (!video) {
        std::string names;
        int listed = 0;
        for (CDevice* d = devices ? devices->GetHead() : nullptr; d; d = d->GetNext()) {
            if (!dynamic_cast<CVideoDevice*>(d)) continue;
            // A readable line, however many there are.
            if (++listed > 8) {
                names += ", ...";
                break;
            }
            names += (names.empty() ? "" : ", ") + PrintableText(d->GetName());
        }
        Fail("there is no video device named '" + PrintableText(deviceName) + "' (" +
             (names.empty() ? std::string("the workspace has none")
                            : "the video devices are " + names) +
             ")");
    }
    SVideoFrame frame;
    video->RenderFrame(frame);
    std::string error;
    if (!WriteFramePng(frame, path, error)) Fail(error);
}

void CRunner::PrintJson(const std::string& error, int exitCode) {
    CJsonWriter json;
    json.BeginObject();
    json.Key("units").BeginArray();
    if (CMpus* units = m_computer.GetMpus()) {
        for (int slot = 0; slot < units->GetCount(); ++slot) {
            const CMpu& unit = *units->GetAt(slot);
            json.BeginObject();
            json.Key("slot").Number(slot);
            json.Key("name").String(unit.GetName());
            json.Key("class").String(unit.GetClassName());
            json.Key("active").Bool(slot == m_computer.GetActiveSlot());
            json.Key("state").String(unit.IsRunning()               ? "running"
                                     : unit.GetAnimationRate() != 0 ? "animating"
                                                                    : "idle");
            const SUnitSnapshot snapshot = unit.TakeSnapshot();
            const std::span<const SRegisterInfo> registers = unit.GetRegisterInfo();
            json.Key("registers").BeginObject();
            for (size_t i = 0; i < registers.size(); ++i) {
                char value[16];
                std::snprintf(value, sizeof value, "%0*X", registers[i].digits,
                              snapshot.registers[i]);
                json.Key(registers[i].name).String(value);
            }
            json.EndObject();
            const std::span<const SCounterInfo> counters = unit.GetCounterInfo();
            json.Key("counters").BeginObject();
            for (size_t i = 0; i < counters.size(); ++i)
                json.Key(counters[i].key).Number(snapshot.counters[i]);
            json.EndObject();
            json.EndObject();
        }
    }
    json.EndArray();
    json.Key("instructions")
        .Number(static_cast<int64_t>(std::min<uint64_t>(m_computer.GetInstructionCount(),
                                                        std::numeric_limits<int64_t>::max())));
    json.Key("stop_reason");
    if (m_lastStop == EStopReason::kNone) {
        json.Null();
    } else {
        json.String(StopReasonText(m_lastStop));
    }
    // What a watchpoint saw, or the hits of a conditional breakpoint, of
    // the unit the last notice named.
    if (m_lastStop == EStopReason::kWatchpoint || m_lastStop == EStopReason::kCondition) {
        const SStopDetail detail = m_computer.Debugger().GetStopDetail(m_lastSlot);
        const auto hex = [](uint32_t value, int digits) {
            char text[16];
            std::snprintf(text, sizeof text, "%0*X", digits, value);
            return std::string(text);
        };
        json.Key("stop_detail").BeginObject();
        json.Key("slot").Number(m_lastSlot);
        json.Key("pc").String(hex(detail.pc, 4));
        if (m_lastStop == EStopReason::kWatchpoint) {
            json.Key("address").String(hex(detail.address, 4));
            json.Key("access").String(detail.access == kWatchRead ? "read" : "write");
            json.Key("size").Number(detail.size);
            json.Key("value").String(hex(detail.value, static_cast<int>(2 * detail.size)));
        } else {
            json.Key("hits").Number(detail.hits);
        }
        json.EndObject();
    }
    json.Key("exit_code").Number(exitCode);
    json.Key("error");
    if (error.empty()) {
        json.Null();
    } else {
        json.String(error);
    }
    json.EndObject();
    m_out << json.Text() << '\n';
}
