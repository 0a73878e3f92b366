#include "cli/Assemble.h"

#include <ostream>

#include "core/Computer.h"
#include "core/Mpu.h"
#include "tools/Assembler.h"

bool RunAssemble(const SAction& action, CComputer& computer, CMpu* activeUnit, std::ostream& err,
                 std::string& error) {
    SAssemblyOptions options;
    if (!action.processor.empty()) {
        options.processor = ProcessorFromName(action.processor);
    } else if (activeUnit) {
        options.processor = ProcessorOfUnit(*activeUnit);
    }
    const SAssembly assembly = CAssembler::AssembleFile(action.text, options);
    if (!assembly.Ok()) {
        for (const SAssemblyError& e : assembly.errors)
            err << e.Text() << '\n';
        const size_t count = assembly.errors.size();
        error = std::to_string(count) + (count == 1 ? " error" : " errors") + " in " + action.text +
                "; nothing was " + (action.output.empty() ? "loaded" : "written");
        return false;
    }
    // Every output is complete before any is written; each replaces its file atomically.
    if (!action.listing.empty() &&
        !WriteTextFileAtomically(action.listing, assembly.listing, error))
        return false;
    if (!action.symbolFile.empty() &&
        !WriteTextFileAtomically(action.symbolFile, SymbolFileText(assembly), error))
        return false;
    if (!action.output.empty()) return WriteAssemblyImage(assembly, action.output, error);
    if (computer.IsEmpty()) {
        error = "there is no workspace to load into";
        return false;
    }
    LoadAssembly(computer, activeUnit, assembly);
    return true;
}

bool LoadUnitSymbols(const std::string& path, CMpu& unit, std::string& error) {
    return unit.Symbols().LoadFile(path, &error);
}

bool ActionAddress(const SAction& action, const CMpu& unit, uint32_t& address, std::string& error) {
    if (action.symbol.empty()) {
        address = action.address;
        return true;
    }
    const auto found = unit.Symbols().Find(action.symbol);
    if (!found) {
        error = "the active unit has no symbol '" + action.symbol + "'";
        return false;
    }
    address = *found;
    return true;
}
