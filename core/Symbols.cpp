#include "core/Symbols.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/AtomicFile.h"
#include "core/StringEx.h"

namespace {

bool IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '.';
}
bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9');
}
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// Up to eight hexadecimal digits, with an optional $ or 0x.
std::optional<uint32_t> ParseAddress(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X"))
        text.remove_prefix(2);
    else if (text.starts_with("$"))
        text.remove_prefix(1);
    while (text.size() > 1 && text.front() == '0')
        text.remove_prefix(1);
    if (text.empty() || text.size() > 8) return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return value;
}

}  // namespace

bool CSymbols::IsValidName(std::string_view name) {
    if (name.empty() || name.size() > 255 || !IsNameStart(name.front())) return false;
    return std::all_of(name.begin(), name.end(), IsNameChar);
}

std::string CSymbols::Key(std::string_view name) {
    std::string key(name);
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return key;
}

bool CSymbols::Add(std::string_view name, uint32_t address) {
    if (!IsValidName(name)) return false;
    const auto found = m_byName.find(Key(name));
    if (found != m_byName.end()) {
        if (m_symbols[found->second].address == address) return true;
        m_symbols[found->second].address = address;
        Reindex();
        return true;
    }
    m_byName.emplace(Key(name), m_symbols.size());
    m_byAddress.emplace(address, m_symbols.size());
    m_symbols.push_back({std::string(name), address});
    return true;
}

void CSymbols::Reindex() {
    m_byAddress.clear();
    for (size_t i = 0; i < m_symbols.size(); ++i)
        m_byAddress.emplace(m_symbols[i].address, i);
}

void CSymbols::Clear() {
    m_symbols.clear();
    m_byName.clear();
    m_byAddress.clear();
}

std::optional<uint32_t> CSymbols::Find(std::string_view name) const {
    const auto found = m_byName.find(Key(name));
    if (found == m_byName.end()) return std::nullopt;
    return m_symbols[found->second].address;
}

const std::string* CSymbols::NameAt(uint32_t address) const {
    const auto found = m_byAddress.find(address);
    return found == m_byAddress.end() ? nullptr : &m_symbols[found->second].name;
}

std::optional<uint32_t> CSymbols::Resolve(std::string_view text) const {
    text = Trim(text);
    if (const auto address = Find(text)) return address;
    return ParseAddress(text);
}

bool CSymbols::LoadText(std::string_view text, std::string* error) {
    std::vector<SSymbol> found;
    size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (const size_t comment = line.find(';'); comment != std::string_view::npos)
            line = line.substr(0, comment);
        line = Trim(line);
        if (line.empty()) continue;

        std::string_view name;
        std::optional<uint32_t> address;
        if (const size_t equals = line.find('='); equals != std::string_view::npos) {
            name = Trim(line.substr(0, equals));
            address = ParseAddress(Trim(line.substr(equals + 1)));
        } else if (line.starts_with("al ") || line.starts_with("al\t")) {
            // al ADDRESS .name
            std::string_view rest = Trim(line.substr(3));
            const size_t blank = rest.find_first_of(" \t");
            if (blank != std::string_view::npos) {
                address = ParseAddress(rest.substr(0, blank));
                name = Trim(rest.substr(blank));
                if (name.starts_with(".")) name.remove_prefix(1);
            }
        }
        if (!address || !IsValidName(name)) {
            if (error) {
                *error = "line " + std::to_string(lineNumber) +
                         ": expected \"name = address\" or \"al address .name\"";
            }
            return false;
        }
        found.push_back({std::string(name), *address});
    }
    for (const SSymbol& symbol : found)
        Add(symbol.name, symbol.address);
    return true;
}

bool CSymbols::LoadFile(const std::string& path, std::string* error) {
    // A FIFO or an endless device would never finish reading.
    if (const std::string problem = NotARegularFile(path); !problem.empty()) {
        if (error) *error = PrintableText(path) + " " + problem;
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot open " + path;
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    std::string lineError;
    if (!LoadText(text.str(), &lineError)) {
        if (error) *error = path + ", " + lineError;
        return false;
    }
    return true;
}

std::string CSymbols::FileText(int digits) const {
    std::vector<const SSymbol*> sorted;
    sorted.reserve(m_symbols.size());
    for (const SSymbol& symbol : m_symbols)
        sorted.push_back(&symbol);
    std::sort(sorted.begin(), sorted.end(), [](const SSymbol* a, const SSymbol* b) {
        return a->address != b->address ? a->address < b->address : Key(a->name) < Key(b->name);
    });
    std::string text;
    char number[16];
    for (const SSymbol* symbol : sorted) {
        std::snprintf(number, sizeof number, "%0*X", digits, symbol->address);
        text += symbol->name;
        text += " = $";
        text += number;
        text += '\n';
    }
    return text;
}
