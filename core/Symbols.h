#pragma once
// CSymbols: the names of one unit's program, name <-> address. Names compare
// without letter case and keep the spelling they were given; when several
// names share an address, the first one given labels it.
//
// Symbol files, one name a line (blank lines and ';' comments skipped):
//   name = $00C000          the assembler's own symbol file
//   al 00C000 .name         the label file of the common 6502 linker (-Ln)
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CSymbols {
public:
    struct SSymbol {
        std::string name;
        uint32_t address = 0;
    };

    // A name made of letters, digits, '_' and '.', not starting with a digit.
    static bool IsValidName(std::string_view name);

    // Adds the name, or moves it to the new address; false for an invalid name.
    bool Add(std::string_view name, uint32_t address);
    void Clear();
    bool Empty() const { return m_symbols.empty(); }
    size_t Size() const { return m_symbols.size(); }
    // In the order given.
    const std::vector<SSymbol>& All() const { return m_symbols; }

    std::optional<uint32_t> Find(std::string_view name) const;
    // The name that labels the address, or null.
    const std::string* NameAt(uint32_t address) const;

    // "name or hex address": a known name, else a hexadecimal number of at
    // most eight digits with an optional $ or 0x.
    std::optional<uint32_t> Resolve(std::string_view text) const;

    // Adds the names of a symbol file in either format. On a bad line
    // nothing is added and error says which line and why.
    bool LoadText(std::string_view text, std::string* error);
    bool LoadFile(const std::string& path, std::string* error);

    // The assembler's symbol file, sorted by address then name; addresses
    // with at least digits hexadecimal digits.
    std::string FileText(int digits) const;

private:
    static std::string Key(std::string_view name);
    void Reindex();

    std::vector<SSymbol> m_symbols;
    std::unordered_map<std::string, size_t> m_byName;  // upper-case name -> index
    std::unordered_map<uint32_t, size_t> m_byAddress;  // address -> first index
};
