#include "cli/Runner.h"

#include <cstdio>
#include <ostream>
#include <stdexcept>

#include "cli/FrameImage.h"
#include "cli/Json.h"
#include "cli/Registers.h"
#include "cli/RunnerHost.h"
#include "core/ClassRegistry.h"
#include "core/Device.h"
#include "core/Devices.h"
#include "core/Mpu.h"
#include "core/Mpus.h"
#include "core/ProgramImage.h"
#include "core/Ram.h"
#include "core/WorkspaceFile.h"
#include "cpu/CorvaneMPU.h"
#include "cpu/M6502.h"
#include "devices/VideoDevice.h"
#include "devices/VideoFrame.h"
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

// How often a traced run lets timers and notices through: every this many passes.
constexpr uint32_t kTracedPassesPerDispatch = 256;
// The listing column of a trace line, before the registers.
constexpr int kTraceListingWidth = 24;

template <class Base>
std::string ClassNames(const CClassRegistry<Base>& registry) {
    std::string names;
    for (int i = 0; i < registry.GetCount(); ++i) {
        if (!names.empty()) names += ", ";
        names += registry.GetAt(i).name;
    }
    return names;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::string HexText(uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

// The interrupt the unit's next step will enter instead of executing the
// instruction at its program counter, or nullptr. A request raised by a
// display thread between this test and the step can escape it.
const char* PendingEntry(const CMpu& unit) {
    if (const auto* m6502 = dynamic_cast<const C6502*>(&unit)) {
        if (m6502->IsNmiPending()) return "<NMI>";
        if (m6502->IsIrqAsserted() && (m6502->GetStatus() & C6502::kInterruptDisable) == 0)
            return "<IRQ>";
    } else if (const auto* corvane = dynamic_cast<const CCorvaneMPU*>(&unit)) {
        if (corvane->IsNmiPending()) return "<NMI>";
        // The step counts itself before it tests: from the third step on.
        if ((corvane->GetSR() & CCorvaneMPU::kSrI) != 0 && corvane->GetStepsSinceReset() >= 2 &&
            corvane->IsIrqPending())
            return "<IRQ>";
    }
    return nullptr;
}

// The run thread's stop conditions after an instruction, in its order, with
// its side effects.
EStopReason StopsAfterStep(CMpu& unit) {
    if (unit.IsStepOutPending() && unit.ReturnExecuted()) {
        unit.SetStepOutPending(false);
        return EStopReason::kStepOut;
    }
    if (unit.GetInterruptPrompt()) return EStopReason::kInterruptPrompt;
    if (unit.GetPC() == unit.GetRunToAddress()) {
        unit.SetRunToAddress(CMpu::kNoAddress);
        return EStopReason::kRunTo;
    }
    if (unit.AtBreakpoint()) return EStopReason::kBreakpoint;
    return EStopReason::kNone;
}

bool HasStopCondition(const CMpu& unit) {
    return unit.Breakpoints().HasBreakpoints() || unit.GetRunToAddress() != CMpu::kNoAddress;
}

}  // namespace

const char* StopReasonText(EStopReason reason) {
    switch (reason) {
        case EStopReason::kNone: return "none";
        case EStopReason::kBreakpoint: return "breakpoint";
        case EStopReason::kRunTo: return "run-to";
        case EStopReason::kStepOut: return "step-out";
        case EStopReason::kInterruptPrompt: return "interrupt-prompt";
        case EStopReason::kInstructionLimit: return "instruction-limit";
        case EStopReason::kTimeLimit: return "time-limit";
        case EStopReason::kStopped: return "stopped";
    }
    return "none";
}

CRunner::CRunner(CRunnerHost& host, std::ostream& out, std::ostream& err)
    : m_host(host), m_out(out), m_err(err), m_computer(&host) {
    m_host.Attach(&m_computer);
    m_host.SetRunStoppedObserver([this](int slot) { OnRunStopped(slot); });
}

CRunner::~CRunner() {
    // The devices stop their timers and displays through the host, which
    // must still know the workspace.
    m_computer.DeleteContents();
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
        if (m_trace) {
            m_trace->flush();
            if (!*m_trace) Fail("--trace: writing " + m_tracePath + " failed");
        }
    } catch (const CRunnerError& e) {
        error = e.what();
    } catch (const std::exception& e) {
        error = e.what();
    }
    const bool limited =
        m_lastStop == EStopReason::kInstructionLimit || m_lastStop == EStopReason::kTimeLimit;
    const int exitCode = !error.empty() ? kExitBadInput : limited ? kExitRunLimit : kExitSuccess;
    if (!error.empty()) m_err << "simq: " << error << '\n';
    if (line.json) PrintJson(error, exitCode);
    m_out.flush();
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
        case EAction::kBreak: AddBreakpoint(action.address); break;
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
        case EAction::kRegs: m_out << FormatRegisters(ReadRegisters(ActiveUnit())) << '\n'; break;
        case EAction::kStats: {
            std::string text;
            for (const SCounterValue& counter : ReadCounters(ActiveUnit())) {
                if (!text.empty()) text += ' ';
                text += std::string(counter.name) + '=' + std::to_string(counter.value);
            }
            m_out << text << '\n';
            break;
        }
        case EAction::kList: List(action.address, action.count); break;
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
    if (CDevices* devices = m_computer.GetDevices()) StartDisplays(*devices);
}

void CRunner::AddUnit(const SNewUnit& wanted) {
    CMpus* units = m_computer.GetMpus();
    if (!units) Fail("there is no workspace");
    if (units->GetCount() >= CMpus::kSlots) Fail("the workspace has eight units already");
    std::unique_ptr<CMpu> created = UnitClasses().Create(wanted.className);
    if (!created) {
        Fail("unknown unit class " + wanted.className + " (the classes are " +
             ClassNames(UnitClasses()) + ")");
    }
    // As the Processing Units dialog adds one: named, in the set, on the bus,
    // reset with mask 0, then given its mask.
    CMpu* unit = created.get();
    unit->SetName(wanted.name);
    if (!units->Add(unit)) Fail("the workspace has eight units already");
    created.release();
    unit->SetBus(m_computer.GetDevices());
    unit->SetIrqMask(0);
    unit->Reset();
    unit->SetIrqMask(wanted.irqMask);
    // A workspace without an active unit takes the first one added.
    if (m_computer.GetActiveSlot() < 0)
        m_computer.SetActiveProcessor(static_cast<uint32_t>(units->IndexOf(unit)));
    m_computer.SetModifiedFlag();
}

void CRunner::AddDevice(const SNewDevice& wanted) {
    CDevices* devices = m_computer.GetDevices();
    if (!devices) Fail("there is no workspace");
    std::unique_ptr<CDevice> device = DeviceClasses().Create(wanted.className);
    if (!device) {
        Fail("unknown device class " + wanted.className + " (the classes are " +
             ClassNames(DeviceClasses()) + ")");
    }
    // As the Device Configuration dialog adds one; what the options leave
    // out keeps the class's own setting.
    device->SetName(wanted.name);
    device->SetRange(wanted.from, wanted.to, 1);
    if (wanted.stride) device->SetStride(*wanted.stride);
    if (wanted.irqCode) device->SetIrqCode(*wanted.irqCode);
    if (auto* ram = dynamic_cast<CRam*>(device.get())) {
        const uint64_t size = wanted.size ? *wanted.size : uint64_t{wanted.to} - wanted.from + 1;
        if (size > CRam::kMaxSize) {
            Fail("a memory device holds at most " + HexText(CRam::kMaxSize) + " bytes, not " +
                 (size > 0xFFFFFFFF ? std::string("100000000")
                                    : HexText(static_cast<uint32_t>(size))) +
                 " (give size=HEX)");
        }
        std::string error;
        if (!ram->SetSize(static_cast<uint32_t>(size), &error)) Fail(error);
        ram->SetWritable(!wanted.readOnly);
    } else if (wanted.readOnly || wanted.size) {
        Fail("ro and size= apply to memory devices (CRam) only");
    }
    auto* video = dynamic_cast<CVideoDevice*>(device.get());
    devices->AddTail(device.release());
    if (video) video->StartDisplay();
    m_computer.SetModifiedFlag();
}

void CRunner::Load(const SAction& action) {
    const std::string& path = action.text;
    if (action.hasAddress && ImageFormatOf(path) == EImageFormat::kSRecord) {
        m_err << "simq: warning: " << action.option << ": S-records carry their own addresses; "
              << "the load address is not used\n";
    }
    const SImageReport report = LoadProgramImage(m_computer, path, action.address);
    if (!report.error.empty()) Fail(report.error);
    if (report.rejectedCount == 0) return;

    std::string lines;
    for (const uint32_t line : report.rejectedLines) {
        if (!lines.empty()) lines += ", ";
        lines += std::to_string(line);
    }
    if (report.rejectedCount > report.rejectedLines.size()) lines += ", ...";
    const std::string what = std::to_string(report.rejectedCount) +
                             (report.rejectedCount == 1 ? " line" : " lines") + " of " + path +
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

void CRunner::AddBreakpoint(uint32_t address) {
    CBreakpoints& breakpoints = ActiveUnit().Breakpoints();
    if (breakpoints.Contains(address)) {
        m_err << "simq: warning: --break: Breakpoint already defined. (" << HexText(address)
              << ")\n";
        return;
    }
    if (!breakpoints.Add(address))
        Fail("Too many breakpoints. (a unit holds " + std::to_string(CBreakpoints::kCapacity) +
             ")");
}

void CRunner::Step(uint32_t count) {
    CMpu& unit = ActiveUnit();
    const int slot = m_computer.GetActiveSlot();
    for (uint32_t i = 0; i < count; ++i) {
        if (m_trace) {
            TracedStep(slot, unit, true);
        } else {
            m_computer.StepInto();
        }
    }
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

void CRunner::RunActive() {
    CMpu& unit = ActiveUnit();
    const int slot = m_computer.GetActiveSlot();
    m_computer.SetRunLimits(m_limits);
    if (m_trace) {
        RequireBound(HasStopCondition(unit) || m_limits.instructionsEnabled || m_limits.timeEnabled,
                     "--run");
        TracedRun({slot});
        return;
    }
    // Notices of earlier runs are all in; start this one afresh.
    m_host.DispatchPending();
    m_stoppedSlots.clear();
    m_limitNotice = false;
    m_noticeReason = EStopReason::kNone;
    m_host.TakeQuestion();
    if (!m_computer.Run()) {
        // The caution question was asked and, with nobody to answer, declined.
        if (m_host.TakeQuestion()) RequireBound(false, "--run");
        Fail("the unit could not be started");
    }
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
        everyUnitStops = everyUnitStops && HasStopCondition(*units->GetAt(slot));
    }
    RequireBound(everyUnitStops || m_limits.instructionsEnabled || m_limits.timeEnabled,
                 "--run-all");
    m_computer.SetRunLimits(m_limits);
    if (m_trace) {
        TracedRun(slots);
        return;
    }
    m_host.DispatchPending();
    m_stoppedSlots.clear();
    m_limitNotice = false;
    m_noticeReason = EStopReason::kNone;
    m_computer.RunAll();
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

void CRunner::OnRunStopped(int slot) {
    if (slot == CComputer::kRunLimitSlot) {
        m_limitNotice = true;
        m_noticeReason = LimitReason();
        return;
    }
    m_stoppedSlots.insert(slot);
    const CMpu* unit = m_computer.GetMpus() ? m_computer.GetMpus()->GetAt(slot) : nullptr;
    if (!unit) return;
    if (unit->AtBreakpoint()) {
        m_noticeReason = EStopReason::kBreakpoint;
    } else if (unit->GetInterruptPrompt()) {
        m_noticeReason = EStopReason::kInterruptPrompt;
    } else {
        m_noticeReason = EStopReason::kStopped;
    }
}

EStopReason CRunner::LimitReason() const {
    const SRunLimits limits = m_computer.GetRunLimits();
    if (limits.instructionsEnabled && m_computer.GetInstructionCount() > limits.instructions)
        return EStopReason::kInstructionLimit;
    return EStopReason::kTimeLimit;
}

void CRunner::TracedRun(const std::vector<int>& slots) {
    // The run thread does not see these units run: this thread steps them,
    // with the run thread's order, stop conditions and limits, so that every
    // instruction can be written to the trace as it executes. An interrupt
    // prompt would ask the host, which declines, so none is generated here.
    CMpus& units = *m_computer.GetMpus();
    const SRunLimits limits = m_computer.GetRunLimits();
    m_computer.SetInstructionCount(0);
    const int64_t start = m_host.NowSeconds();
    m_computer.SetRunStartTime(start);

    std::vector<bool> running(CMpus::kSlots, false);
    size_t remaining = 0;
    for (const int slot : slots) {
        running[static_cast<size_t>(slot)] = true;
        ++remaining;
    }
    EStopReason reason = EStopReason::kNone;
    for (uint32_t pass = 1; remaining > 0; ++pass) {
        const int count = units.GetCount();
        for (int slot = 0; slot < count; ++slot) {
            if (!running[static_cast<size_t>(slot)]) continue;
            CMpu& unit = *units.GetAt(slot);
            TracedStep(slot, unit, false);
            const EStopReason stop = StopsAfterStep(unit);
            if (stop != EStopReason::kNone) {
                running[static_cast<size_t>(slot)] = false;
                --remaining;
                reason = stop;
                m_computer.RefreshUnit(slot);
            }
        }
        if (remaining > 0) {
            const bool cycles = limits.instructionsEnabled &&
                                m_computer.GetInstructionCount() > limits.instructions;
            const bool time = limits.timeEnabled && m_host.NowSeconds() - start > limits.seconds;
            if (cycles || time) {
                reason = cycles ? EStopReason::kInstructionLimit : EStopReason::kTimeLimit;
                remaining = 0;
                m_computer.RefreshAll();
            }
        }
        if (pass % kTracedPassesPerDispatch == 0) m_host.DispatchPending();
    }
    m_lastStop = reason;
}

void CRunner::TracedStep(int slot, CMpu& unit, bool stepInto) {
    const uint32_t address = unit.GetPC() * unit.GetAddressScale();
    std::string addressText;
    std::string mnemonic;
    std::string operand;
    unit.Disassemble(address, nullptr, &addressText, nullptr, &mnemonic, &operand);
    std::string listing;
    if (const char* entry = PendingEntry(unit)) {
        listing = entry;
    } else {
        listing = Upper(mnemonic);
        if (!operand.empty()) listing += ' ' + Upper(operand);
    }

    if (stepInto) {
        m_computer.StepInto();
    } else {
        unit.Step();
        m_computer.SetInstructionCount(m_computer.GetInstructionCount() + 1);
    }

    char lead[128];
    std::snprintf(lead, sizeof lead, "%d %s %-*s ", slot, addressText.c_str(), kTraceListingWidth,
                  listing.c_str());
    *m_trace << lead << FormatRegisters(ReadRegisters(unit)) << '\n';
}

void CRunner::StartTrace(const std::string& path) {
    if (m_trace) m_trace->flush();
    auto trace = std::make_unique<std::ofstream>(path, std::ios::out | std::ios::trunc);
    if (!trace->is_open()) Fail("cannot write the trace file " + path);
    m_trace = std::move(trace);
    m_tracePath = path;
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
    for (const SListingLine& line : listing.Lines())
        m_out << line.text << '\n';
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
    m_computer.SetModifiedFlag(false);
}

void CRunner::Frame(const std::string& deviceName, const std::string& path) {
    CDevices* devices = m_computer.GetDevices();
    auto* video = devices ? dynamic_cast<CVideoDevice*>(devices->FindByName(deviceName)) : nullptr;
    if (!video) {
        std::string names;
        for (CDevice* d = devices ? devices->GetHead() : nullptr; d; d = d->GetNext()) {
            if (dynamic_cast<CVideoDevice*>(d)) names += (names.empty() ? "" : ", ") + d->GetName();
        }
        Fail("there is no video device named '" + deviceName + "' (" +
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
            json.Key("registers").BeginObject();
            for (const SRegisterValue& r : ReadRegisters(unit)) {
                char value[16];
                std::snprintf(value, sizeof value, "%0*X", r.digits, r.value);
                json.Key(r.name).String(value);
            }
            json.EndObject();
            json.Key("counters").BeginObject();
            for (const SCounterValue& counter : ReadCounters(unit))
                json.Key(counter.name).Number(counter.value);
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
