#pragma once
// The assemblers of the three processors: one two-pass engine (labels,
// expressions, directives, listing, symbols, images) and one instruction set
// per processor whose syntax is what its disassembler prints.
//
// Source lines:   [label:] [mnemonic|directive [operands]] [; comment]
//                 name = expression     (or: name equ expression)
// Directives (with or without a leading dot, any letter case):
//   org ADDR  (also *= ADDR)       the address of what follows
//   byte / db / text  x, "str",..  bytes; strings know \n \t \r \0 \\ \" \xHH
//   word / dw  x, ...              the processor's word: 16 bits (6502 little-
//                                  endian, Vo16 big-endian), 24 bits (Corvane)
//   long / dl  x, ...              32 bits in the processor's byte order
//   fill COUNT [, BYTE]            COUNT bytes of BYTE (default 0)
//   res / ds  COUNT                skips COUNT bytes without writing them
//   include "FILE"                 assembles FILE here (relative to this file)
//   cpu 6502|vo16|corvane          the processor, before any instruction
//   entry ADDR                     the entry address of the S-record end record
// Numbers are hexadecimal unless marked (see tools/Expression.h); where an
// instruction has a short and a long form the shortest that holds the value
// is used, except that an operand written with more digits than the short
// form shows ($0010 on the 6502, 000010 as a Corvane memory address) keeps
// the long form, as the listings print it.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Symbols.h"
#include "tools/Expression.h"

class CComputer;
class CMpu;

enum class EProcessor { k6502, kVo16, kCorvane };

// "6502", "vo16", "corvane".
const char* ProcessorName(EProcessor processor);
// The name in any letter case.
std::optional<EProcessor> ProcessorFromName(std::string_view name);
// The processor of a unit by its class, if it is one of the three.
std::optional<EProcessor> ProcessorOfUnit(const CMpu& unit);

struct SAssemblyError {
    std::string file;
    int line = 0;    // 1-based
    int column = 0;  // 1-based, in bytes
    std::string message;
    // "file:line:column: message"
    std::string Text() const;
};

struct SSegment {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

struct SAssembly {
    EProcessor processor = EProcessor::k6502;
    std::vector<SAssemblyError> errors;  // in source order; the rest is empty when any
    std::vector<SSegment> segments;      // ascending, neither touching nor overlapping
    CSymbols symbols;                    // labels and equates
    std::string listing;
    uint32_t entry = 0;

    bool Ok() const { return errors.empty(); }
    uint64_t ByteCount() const;
    // The bytes as one block from the lowest address, gaps filled with 0.
    std::vector<uint8_t> Flat(uint32_t* first = nullptr) const;
};

// Reads an included or the main file; false with an error text.
using SourceReader =
    std::function<bool(const std::string& path, std::string& text, std::string& error)>;

struct SAssemblyOptions {
    // The processor when the source does not name one with "cpu".
    std::optional<EProcessor> processor;
    // Where assembly starts before any "org".
    uint32_t origin = 0;
    // Names the source may use without defining them (a unit's symbols).
    const CSymbols* knownSymbols = nullptr;
    // Reads files from disk when empty.
    SourceReader reader;
    // Reporting stops after this many errors.
    size_t maxErrors = 200;
};

class CAssembler {
public:
    static constexpr int kMaxIncludeDepth = 16;
    static constexpr int kMaxPasses = 24;

    static SAssembly AssembleText(std::string_view text, const std::string& fileName,
                                  const SAssemblyOptions& options);
    static SAssembly AssembleFile(const std::string& path, const SAssemblyOptions& options);

    // One line (an instruction or data) at address, for the monitor's A
    // command; false with a message that names the column.
    static bool AssembleLine(EProcessor processor, std::string_view line, uint32_t address,
                             const CSymbols* symbols, std::vector<uint8_t>& bytes,
                             std::string& error);
};

// The image by the path's extension: ".s19" S-records, ".hex" hex dump,
// ".bin" raw bytes from the lowest address. Written atomically.
bool WriteAssemblyImage(const SAssembly& assembly, const std::string& path, std::string& error);
// A text file written atomically (temporary file, then rename).
bool WriteTextFileAtomically(const std::string& path, std::string_view text, std::string& error);
// The symbol file of an assembly (the format CSymbols loads).
std::string SymbolFileText(const SAssembly& assembly);

// Assemble and Load: stops every unit, writes every byte through the bus with
// force, gives unit (when not null) the assembly's symbols in place of its
// own, updates all views and marks the workspace modified.
void LoadAssembly(CComputer& computer, CMpu* unit, const SAssembly& assembly);
