#pragma once
// The command line of simq: an optional workspace file, then actions that run
// strictly left to right. Every action and its parameters are checked before
// any of them runs, so a typing error changes nothing. Numbers are
// hexadecimal unless the help marks them decimal.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Debugger.h"
#include "system/StandardSystems.h"

enum class EAction {
    kSystem,
    kAddUnit,
    kAddDevice,
    kLoad,
    kUnit,
    kSet,
    kReset,
    kBreak,
    kStep,
    kRun,
    kRunAll,
    kLimitInstructions,
    kLimitSeconds,
    kExec,
    kRegs,
    kStats,
    kList,
    kDump,
    kSave,
    kFrame,
    kTrace,
    kAssemble,
    kAsmCpu,
    kLoadSymbols,
    kWatch,
    kHistory,
    kStepBack,
    kRunBack,
    kProfile,
};

// --add-unit CLASS:NAME[:MASK]
struct SNewUnit {
    std::string className;
    std::string name;
    uint32_t irqMask = 0;
};

// --add-device CLASS:NAME:FROM:TO[:OPTION...]
struct SNewDevice {
    std::string className;
    std::string name;
    uint32_t from = 0;
    uint32_t to = 0;
    bool readOnly = false;
    std::optional<uint32_t> size;
    std::optional<int> irqCode;
    std::optional<uint32_t> stride;
};

struct SAction {
    EAction kind = EAction::kRun;
    std::string option;  // as typed, for messages
    // --load, --dump, --save, --trace: the file; --frame: the PNG file;
    // --exec: the monitor line; --set: the register name.
    std::string text;
    // --frame: the device name.
    std::string device;
    // --load (with hasAddress), --break, --list, --dump: the address;
    // --unit, --step, --list: the count or slot; --set: the value; the limits.
    uint32_t address = 0;
    bool hasAddress = false;
    uint32_t count = 0;
    int64_t value = 0;
    ESystemType system = ESystemType::Vo16;
    // --break, --list: a symbol of the active unit in place of the address.
    std::string symbol;
    // --assemble: the outputs (-o, --listing, --symbols) and the processor
    // of a preceding --asm-cpu ("" for the active unit's).
    std::string output;
    std::string listing;
    std::string symbolFile;
    std::string processor;
    SNewUnit unit;
    SNewDevice newDevice;
    // --break ADDR:CONDITION[:COUNT]: the condition (may be empty) and the
    // ignore count; --history: on (with count instructions, 0 for the
    // default) or off (hasAddress false).
    bool hasCondition = false;
    std::string condition;
    uint32_t ignoreCount = 0;
    // --watch.
    SWatchpoint watch;
};

struct SCommandLine {
    bool help = false;
    bool version = false;
    bool json = false;
    std::string workspace;
    std::vector<SAction> actions;
};

// Parses the arguments after the program name. False with a one-line reason.
bool ParseCommandLine(const std::vector<std::string>& args, SCommandLine& line, std::string& error);

// A hexadecimal number of at most eight digits, with an optional 0x or $.
bool ParseHex(std::string_view text, uint32_t& value);
// A decimal number from 0 to max.
bool ParseDecimal(std::string_view text, uint64_t max, uint64_t& value);

// The text of --help.
std::string HelpText();
