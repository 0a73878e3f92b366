#include "cli/Arguments.h"

#include <algorithm>
#include <array>
#include <limits>

#include "core/ProgramImage.h"
#include "core/StringEx.h"
#include "core/Symbols.h"
#include "tools/Assembler.h"

namespace {

struct SActionInfo {
    const char* option;
    EAction kind;
    int parameters;
};

constexpr std::array kActions = {
    SActionInfo{"--system", EAction::kSystem, 1},
    SActionInfo{"--add-unit", EAction::kAddUnit, 1},
    SActionInfo{"--add-device", EAction::kAddDevice, 1},
    SActionInfo{"--load", EAction::kLoad, 1},
    SActionInfo{"--unit", EAction::kUnit, 1},
    SActionInfo{"--set", EAction::kSet, 1},
    SActionInfo{"--reset", EAction::kReset, 0},
    SActionInfo{"--break", EAction::kBreak, 1},
    SActionInfo{"--step", EAction::kStep, 1},
    SActionInfo{"--run", EAction::kRun, 0},
    SActionInfo{"--run-all", EAction::kRunAll, 0},
    SActionInfo{"--limit-instructions", EAction::kLimitInstructions, 1},
    SActionInfo{"--limit-seconds", EAction::kLimitSeconds, 1},
    SActionInfo{"--exec", EAction::kExec, 1},
    SActionInfo{"--regs", EAction::kRegs, 0},
    SActionInfo{"--stats", EAction::kStats, 0},
    SActionInfo{"--list", EAction::kList, 2},
    SActionInfo{"--dump", EAction::kDump, 3},
    SActionInfo{"--save", EAction::kSave, 1},
    SActionInfo{"--frame", EAction::kFrame, 2},
    SActionInfo{"--trace", EAction::kTrace, 1},
    SActionInfo{"--assemble", EAction::kAssemble, 1},
    SActionInfo{"--asm-cpu", EAction::kAsmCpu, 1},
    SActionInfo{"--load-symbols", EAction::kLoadSymbols, 1},
    SActionInfo{"--watch", EAction::kWatch, 1},
    SActionInfo{"--history", EAction::kHistory, 1},
    SActionInfo{"--step-back", EAction::kStepBack, 1},
    SActionInfo{"--run-back", EAction::kRunBack, 0},
    SActionInfo{"--profile", EAction::kProfile, 1},
};

// The outputs of the --assemble before them.
constexpr std::array kAssembleOutputs = {"-o", "--listing", "--symbols"};

// The largest counts the runner takes: an instruction limit is a 64-bit count
// (kept within what --json prints exactly as a signed number), and no listing
// shows more lines than this.
constexpr uint64_t kMaxInstructionLimit = std::numeric_limits<int64_t>::max();
constexpr uint64_t kMaxListLines = 4096;
constexpr uint64_t kMaxSteps = std::numeric_limits<uint32_t>::max();

bool IsActionName(std::string_view arg) {
    if (arg == "--json" || arg == "--help" || arg == "--version") return true;
    for (const char* output : kAssembleOutputs) {
        if (arg == output) return true;
    }
    for (const SActionInfo& info : kActions) {
        if (arg == info.option) return true;
    }
    return false;
}

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

bool ParseNewUnit(std::string_view text, SNewUnit& wanted, std::string& error) {
    const std::vector<std::string> parts = Split(text, ':');
    if (parts.size() < 2 || parts.size() > 3 || parts[0].empty() || parts[1].empty()) {
        error = "expects CLASS:NAME[:MASK], for example C6502:cpu";
        return false;
    }
    wanted.className = parts[0];
    wanted.name = parts[1];
    if (parts.size() == 3 && !ParseHex(parts[2], wanted.irqMask)) {
        error = "the IRQ mask '" + parts[2] + "' is not a hexadecimal number";
        return false;
    }
    if (wanted.irqMask > 0x7FFF) {
        error = "the IRQ mask has bits 0 to 14 only (at most 7FFF)";
        return false;
    }
    return true;
}

bool ParseDeviceOption(const std::string& option, SNewDevice& wanted, std::string& error) {
    const std::string lower = Lower(option);
    const size_t equals = lower.find('=');
    const std::string key = lower.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : option.substr(equals + 1);
    if (key == "ro" && equals == std::string::npos) {
        wanted.readOnly = true;
        return true;
    }
    if (key == "size" && equals != std::string::npos) {
        uint32_t size = 0;
        if (!ParseHex(value, size)) {
            error = "size=" + value + " is not a hexadecimal number";
            return false;
        }
        wanted.size = size;
        return true;
    }
    if (key == "irq" && equals != std::string::npos) {
        uint64_t code = 0;
        if (value == "-1") {
            wanted.irqCode = -1;
            return true;
        }
        if (!ParseDecimal(value, 14, code)) {
            error = "irq=" + value + " is not an IRQ code (decimal 0 to 14, or -1 for none)";
            return false;
        }
        wanted.irqCode = static_cast<int>(code);
        return true;
    }
    if (key == "stride" && equals != std::string::npos) {
        uint64_t stride = 0;
        if (!ParseDecimal(value, std::numeric_limits<uint32_t>::max(), stride) || stride == 0) {
            error = "stride=" + value + " is not a stride (decimal, 1 or more)";
            return false;
        }
        wanted.stride = static_cast<uint32_t>(stride);
        return true;
    }
    error = "unknown device option '" + option + "' (ro, size=HEX, irq=N, stride=N)";
    return false;
}

bool ParseNewDevice(std::string_view text, SNewDevice& wanted, std::string& error) {
    const std::vector<std::string> parts = Split(text, ':');
    if (parts.size() < 4 || parts[0].empty() || parts[1].empty()) {
        error = "expects CLASS:NAME:FROM:TO[:OPTION...], for example CRam:RAM:0:FFFF";
        return false;
    }
    wanted.className = parts[0];
    wanted.name = parts[1];
    if (!ParseHex(parts[2], wanted.from) || !ParseHex(parts[3], wanted.to)) {
        error = "FROM and TO must be hexadecimal addresses";
        return false;
    }
    if (wanted.from > wanted.to) {
        error = "FROM must not lie above TO";
        return false;
    }
    for (size_t i = 4; i < parts.size(); ++i) {
        if (!ParseDeviceOption(parts[i], wanted, error)) return false;
    }
    return true;
}

bool ParseSystem(std::string_view text, ESystemType& type) {
    const std::string lower = Lower(text);
    if (lower == "corvane") {
        type = ESystemType::Corvane;
    } else if (lower == "vo16") {
        type = ESystemType::Vo16;
    } else if (lower == "blank") {
        type = ESystemType::Blank;
    } else {
        return false;
    }
    return true;
}

// Fills the action from its parameters; false with the reason (without the
// option's name).
bool ParseParameters(SAction& action, const std::vector<std::string>& p, std::string& error) {
    uint64_t number = 0;
    switch (action.kind) {
        case EAction::kSystem:
            if (!ParseSystem(p[0], action.system)) {
                error = "expects corvane, vo16 or blank, not '" + p[0] + "'";
                return false;
            }
            return true;
        case EAction::kAddUnit: return ParseNewUnit(p[0], action.unit, error);
        case EAction::kAddDevice: return ParseNewDevice(p[0], action.newDevice, error);
        case EAction::kLoad: {
            // FILE@ADDR; an @ that is not followed by a number belongs to the name.
            action.text = p[0];
            const size_t at = p[0].rfind('@');
            if (at != std::string::npos &&
                ParseHex(std::string_view(p[0]).substr(at + 1), action.address)) {
                action.text = p[0].substr(0, at);
                action.hasAddress = true;
            } else if (at != std::string::npos && at + 1 < p[0].size() &&
                       ImageFormatOf(p[0].substr(0, at)) != EImageFormat::kUnknown &&
                       ImageFormatOf(p[0]) == EImageFormat::kUnknown) {
                // An image name with something after @ that is no address.
                error = "the load address '" + PrintableText(p[0].substr(at + 1)) +
                        "' after @ is not a hexadecimal address (0 to FFFFFFFF)";
                return false;
            }
            if (action.text.empty()) {
                error = "expects FILE[@ADDR]";
                return false;
            }
            return true;
        }
        case EAction::kUnit:
            if (!ParseDecimal(p[0], 7, number)) {
                error = "expects a slot number, decimal 0 to 7";
                return false;
            }
            action.count = static_cast<uint32_t>(number);
            return true;
        case EAction::kSet: {
            const size_t equals = p[0].find('=');
            uint32_t value = 0;
            if (equals == std::string::npos || equals == 0 ||
                !ParseHex(std::string_view(p[0]).substr(equals + 1), value)) {
                error = "expects REG=VALUE with a hexadecimal value, for example pc=0400";
                return false;
            }
            action.text = p[0].substr(0, equals);
            action.value = value;
            return true;
        }
        case EAction::kBreak: {
            // ADDR[:CONDITION[:COUNT]]; conditions have no ':' of their own.
            std::string where = p[0];
            const size_t colon = where.find(':');
            if (colon != std::string::npos) {
                std::string rest = where.substr(colon + 1);
                where.resize(colon);
                action.hasCondition = true;
                const size_t last = rest.rfind(':');
                if (last != std::string::npos) {
                    if (!ParseDecimal(std::string_view(rest).substr(last + 1),
                                      std::numeric_limits<uint32_t>::max(), number)) {
                        error =
                            "the ignore count after the last ':' is a decimal number, in "
                            "ADDR:CONDITION:COUNT";
                        return false;
                    }
                    action.ignoreCount = static_cast<uint32_t>(number);
                    rest.resize(last);
                }
                action.condition = rest;
            }
            if (!ParseHex(where, action.address)) {
                if (!CSymbols::IsValidName(where)) {
                    error = "expects a hexadecimal address or a symbol";
                    return false;
                }
                action.symbol = where;
            }
            return true;
        }
        case EAction::kWatch: return ParseWatchpoint(p[0], action.watch, error);
        case EAction::kHistory:
            if (p[0] == "on" || p[0] == "off") {
                action.hasAddress = p[0] == "on";
                return true;
            }
            if (!ParseDecimal(p[0], std::numeric_limits<int64_t>::max(), number) || number == 0) {
                error = "expects on, off or a number of instructions (decimal, from 1)";
                return false;
            }
            action.hasAddress = true;
            action.value = static_cast<int64_t>(number);
            return true;
        case EAction::kStepBack:
            if (!ParseDecimal(p[0], kMaxSteps, number)) {
                error = "expects a number of instructions (decimal)";
                return false;
            }
            action.count = static_cast<uint32_t>(number);
            return true;
        case EAction::kRunBack: return true;
        case EAction::kProfile:
            if (p[0].empty()) {
                error = "needs a file name";
                return false;
            }
            action.text = p[0];
            return true;
        case EAction::kStep:
            if (!ParseDecimal(p[0], kMaxSteps, number)) {
                error = "expects a decimal count";
                return false;
            }
            action.count = static_cast<uint32_t>(number);
            return true;
        case EAction::kLimitInstructions:
            if (!ParseDecimal(p[0], kMaxInstructionLimit, number)) {
                error = "expects a decimal instruction count up to 9223372036854775807";
                return false;
            }
            action.value = static_cast<int64_t>(number);
            return true;
        case EAction::kLimitSeconds:
            if (!ParseDecimal(p[0], std::numeric_limits<int32_t>::max(), number)) {
                error = "expects a decimal number of seconds";
                return false;
            }
            action.value = static_cast<int64_t>(number);
            return true;
        case EAction::kExec: action.text = p[0]; return true;
        case EAction::kList:
            if (!ParseHex(p[0], action.address)) {
                if (CSymbols::IsValidName(p[0])) action.symbol = p[0];
            }
            if ((action.symbol.empty() && !ParseHex(p[0], action.address)) ||
                !ParseDecimal(p[1], kMaxListLines, number)) {
                error =
                    "expects a hexadecimal address or a symbol and a decimal line count up "
                    "to 4096";
                return false;
            }
            action.count = static_cast<uint32_t>(number);
            return true;
        case EAction::kDump:
            action.text = p[0];
            if (!ParseHex(p[1], action.address) || !ParseHex(p[2], action.count)) {
                error = "expects FILE ADDR COUNT with a hexadecimal address and count";
                return false;
            }
            if (action.count == 0) {
                error = "the byte count must not be 0";
                return false;
            }
            if (uint64_t{action.address} + action.count - 1 > 0xFFFFFFFF) {
                error = "the range runs past address FFFFFFFF";
                return false;
            }
            return true;
        case EAction::kAsmCpu:
            if (!ProcessorFromName(p[0])) {
                error = "expects 6502, vo16 or corvane";
                return false;
            }
            action.text = p[0];
            return true;
        case EAction::kAssemble:
        case EAction::kLoadSymbols:
        case EAction::kSave:
        case EAction::kTrace:
            action.text = p[0];
            if (action.text.empty()) {
                error = "expects a file name";
                return false;
            }
            return true;
        case EAction::kFrame:
            action.device = p[0];
            action.text = p[1];
            if (action.text.empty()) {
                error = "expects DEVICE FILE.png";
                return false;
            }
            return true;
        case EAction::kReset:
        case EAction::kRun:
        case EAction::kRunAll:
        case EAction::kRegs:
        case EAction::kStats: return true;
    }
    return true;
}

}  // namespace

bool ParseHex(std::string_view text, uint32_t& value) {
    return ParseHexExact(text, value);
}

bool ParseDecimal(std::string_view text, uint64_t max, uint64_t& value) {
    if (text.empty() || text.size() > 19) return false;
    uint64_t result = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        result = result * 10 + static_cast<uint64_t>(c - '0');
    }
    if (result > max) return false;
    value = result;
    return true;
}

bool ParseCommandLine(const std::vector<std::string>& args, SCommandLine& line,
                      std::string& error) {
    line = SCommandLine{};
    // --help and --version answer at once, whatever else is there.
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") line.help = true;
        if (arg == "--version") line.version = true;
    }
    if (line.help || line.version) return true;

    size_t i = 0;
    if (!args.empty() && !args[0].starts_with("--")) {
        line.workspace = args[0];
        i = 1;
    }
    std::string processor;  // of the last --asm-cpu
    while (i < args.size()) {
        const std::string& arg = args[i];
        if (arg == "--json") {
            line.json = true;
            ++i;
            continue;
        }
        if (std::find(kAssembleOutputs.begin(), kAssembleOutputs.end(), arg) !=
            kAssembleOutputs.end()) {
            if (line.actions.empty() || line.actions.back().kind != EAction::kAssemble) {
                error = arg + " belongs after --assemble FILE";
                return false;
            }
            if (i + 1 >= args.size() || IsActionName(args[i + 1]) || args[i + 1].empty()) {
                error = arg + " needs a file name";
                return false;
            }
            SAction& assemble = line.actions.back();
            (arg == "-o"          ? assemble.output
             : arg == "--listing" ? assemble.listing
                                  : assemble.symbolFile) = args[i + 1];
            i += 2;
            continue;
        }
        const SActionInfo* info = nullptr;
        for (const SActionInfo& candidate : kActions) {
            if (arg == candidate.option) info = &candidate;
        }
        if (!info) {
            error = arg.starts_with("-") ? "unknown action " + arg + " (see simq --help)"
                                         : "unexpected argument '" + arg +
                                               "': only the first argument may name a workspace "
                                               "file";
            return false;
        }
        // An action where a parameter should be means the parameter is missing.
        bool missing = args.size() - i - 1 < static_cast<size_t>(info->parameters);
        for (int k = 1; !missing && k <= info->parameters; ++k)
            missing = IsActionName(args[i + static_cast<size_t>(k)]);
        if (missing) {
            error = arg + " needs " + std::to_string(info->parameters) +
                    (info->parameters == 1 ? " parameter" : " parameters") + " (see simq --help)";
            return false;
        }
        SAction action;
        action.kind = info->kind;
        action.option = arg;
        const std::vector<std::string> parameters(
            args.begin() + static_cast<long>(i) + 1,
            args.begin() + static_cast<long>(i) + 1 + info->parameters);
        std::string reason;
        if (!ParseParameters(action, parameters, reason)) {
            error = arg + ": " + reason;
            return false;
        }
        if (action.kind == EAction::kAsmCpu) processor = action.text;
        if (action.kind == EAction::kAssemble) action.processor = processor;
        line.actions.push_back(std::move(action));
        i += 1 + static_cast<size_t>(info->parameters);
    }
    return true;
}

std::string HelpText() {
    return R"(Usage: simq [WORKSPACE-FILE] [ACTION ...]

Runs a simQuorvex workspace without a window. Actions run strictly left to
right. Numbers are hexadecimal unless marked (decimal).

Without WORKSPACE-FILE and without a --system first, the workspace is the
default Vo16 system.

Machine:
  --system corvane|vo16|blank   replace the workspace with a new standard system
  --add-unit CLASS:NAME[:MASK]  add a processing unit (C6502, CVo16, CCorvaneMPU;
                                IRQ mask, default 0); the first unit of a
                                workspace without one becomes the active unit
  --add-device CLASS:NAME:FROM:TO[:OPTION...]
                                append a device (CRam, CVic, CKeyboard,
                                CTimeSlicer, CVo16VGA, C6818); options: ro,
                                size=HEX (memory; default TO-FROM+1),
                                irq=N and stride=N (decimal)
  --load FILE[@ADDR]            load S-records (.s19 .s28 .s37 .srec .mot), .hex
                                or .bin by its extension (ADDR: the .hex offset
                                or the .bin address, default 0)
  --save FILE                   save the workspace file

Assembler:
  --assemble FILE.s [-o IMAGE] [--listing FILE.lst] [--symbols FILE.sym]
                                assemble FILE.s; with -o write the image
                                (.s19, .hex or .bin), else load it into the
                                workspace and give its symbols to the active
                                unit. Errors are listed as FILE:LINE:COLUMN
                                and nothing is written or loaded
  --asm-cpu 6502|vo16|corvane   the processor of the following --assemble
                                actions when the source names none (default:
                                the active unit's)
  --load-symbols FILE           give the active unit the names of a symbol
                                file (the assembler's, or "al 00C000 .name")

Processing units:
  --unit N                      make slot N (decimal) the active unit
  --set REG=VALUE               set a register of the active unit (6502: a x y sp
                                pc status; Vo16: r0-r15 pc; Corvane: r0-r28 sp lr
                                ipc pc sr cr, r29-r31 as aliases)
  --reset                       reset the active unit
  --break ADDR[:CONDITION[:COUNT]]
                                add a breakpoint to the active unit (ADDR may be
                                a symbol of the unit); it stops only when
                                CONDITION holds (the assembler's expressions
                                over registers, flags and [ADDR] memory bytes,
                                numbers hexadecimal: "a == 10 && [0200] != 0")
                                and after COUNT (decimal) such hits are passed
                                over; ADDR::COUNT ignores COUNT hits
  --watch r|w|rw:FROM[-TO][=VALUE]
                                stop a unit that reads (r), writes (w) or
                                accesses (rw) an address from FROM to TO, only
                                with VALUE when given (!=VALUE: any other value)
  --step N                      Step Into N (decimal) times on the active unit
  --run                         run the active unit until it stops; refused
                                without a breakpoint or a run limit
  --run-all                     run every unit until all have stopped; refused
                                unless every unit has a breakpoint or a run
                                limit is set
  --history on|off|N            record each unit's instructions for stepping
                                back (N: the last N (decimal) instructions;
                                default 1000000)
  --step-back N                 undo the active unit's last N (decimal)
                                instructions: registers, counters and memory
                                (not device side effects)
  --run-back                    step the active unit back to the previous
                                breakpoint (or as far as the history goes)
  --profile FILE.csv            count the instructions of every unit per
                                address from here on; FILE.csv is written at
                                the end (unit, address, count, percent,
                                instruction; most executed first)
  --limit-instructions N        instruction limit (decimal) for the following runs
  --limit-seconds N             time limit (decimal seconds) for the following runs

Inspection:
  --regs                        print the active unit's registers
  --stats                       print the active unit's counters (decimal)
  --list ADDR N                 print N (decimal) listing lines from ADDR (or a
                                symbol), with the unit's labels
  --exec LINE                   run one monitor line (:addr bytes, D addr count,
                                F addr count value) and print its output
  --dump FILE ADDR COUNT        write COUNT bytes from ADDR as S-records or .hex
  --frame DEVICE FILE.png       render one frame of the named video device
  --trace FILE                  from here on, write one line per executed
                                instruction to FILE
  --json                        at exit, print a JSON object with every unit's
                                registers, counters and run state, the
                                instruction count and why the last run stopped
                                (for a watchpoint: address, access and value)

A workspace file opened or saved brings its debug file NAME.debug.json along
(watchpoints, conditions, history and profile switches).

  --help                        show this text
  --version                     show the version

Exit status: 0 success; 1 the last run was stopped by a run limit; 2 bad
arguments or an input that could not be read.

Example:
  simq --system blank --add-unit C6502:cpu --add-device CRam:RAM:0:FFFF \
       --load sieve.hex --reset --break 0440 --run --regs
)";
}
