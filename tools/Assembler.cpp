#include "tools/Assembler.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <unordered_map>

#include "core/Computer.h"
#include "core/ImageFile.h"
#include "core/Mpu.h"
#include "core/Mpus.h"
#include "core/ViewHint.h"
#include "tools/InstructionSet.h"
#include "core/StringEx.h"

// --- Shared helpers ------------------------------------------------------------

namespace asmtext {

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> SplitOperands(std::string_view operand) {
    std::vector<std::string_view> parts;
    if (Trim(operand).empty()) return parts;
    int depth = 0;
    char quote = 0;
    size_t start = 0;
    for (size_t i = 0; i < operand.size(); ++i) {
        const char c = operand[i];
        if (quote) {
            if (c == '\\' && quote == '"') {
                ++i;
            } else if (c == quote) {
                quote = 0;
            }
            continue;
        }
        if (c == '"') {
            quote = c;
        } else if (c == '\'' && i + 2 < operand.size() && operand[i + 2] == '\'') {
            i += 2;
        } else if (c == '(' || c == '{') {
            ++depth;
        } else if (c == ')' || c == '}') {
            --depth;
        } else if (c == ',' && depth == 0) {
            parts.push_back(Trim(operand.substr(start, i - start)));
            start = i + 1;
        }
    }
    parts.push_back(Trim(operand.substr(start)));
    return parts;
}

std::string Hex(int64_t value, int digits) {
    if (value < 0) return "-" + Hex(-value, digits);
    return FormatText("$%0*llX", digits, static_cast<unsigned long long>(value));
}

}  // namespace asmtext

using namespace asmtext;

bool CEncodeContext::Value(std::string_view text, SExpressionValue& value) {
    SExpressionError error;
    if (text.empty()) return Fail(text, "a value is missing");
    if (!CExpression::Evaluate(text, m_resolver, value, error)) {
        return Fail(text.substr(std::min(error.offset, text.size())), error.message);
    }
    if (value.pending) value.value = 0;
    return true;
}

bool CEncodeContext::Fail(std::string_view at, std::string message) {
    if (m_error.empty()) {
        m_error = std::move(message);
        const char* begin = m_line.data();
        m_errorOffset = at.data() >= begin && at.data() <= begin + m_line.size()
                            ? static_cast<size_t>(at.data() - begin)
                            : 0;
    }
    return false;
}

const CInstructionSet& InstructionSetFor(EProcessor processor) {
    switch (processor) {
        case EProcessor::k6502: return M6502InstructionSet();
        case EProcessor::kVo16: return Vo16InstructionSet();
        case EProcessor::kCorvane: return CorvaneInstructionSet();
    }
    return M6502InstructionSet();
}

const char* ProcessorName(EProcessor processor) {
    switch (processor) {
        case EProcessor::k6502: return "6502";
        case EProcessor::kVo16: return "vo16";
        case EProcessor::kCorvane: return "corvane";
    }
    return "";
}

std::optional<EProcessor> ProcessorFromName(std::string_view name) {
    for (EProcessor p : {EProcessor::k6502, EProcessor::kVo16, EProcessor::kCorvane}) {
        if (EqualNoCase(name, ProcessorName(p))) return p;
    }
    return std::nullopt;
}

std::optional<EProcessor> ProcessorOfUnit(const CMpu& unit) {
    const std::string_view name = unit.GetClassName();
    if (name == "C6502") return EProcessor::k6502;
    if (name == "CVo16") return EProcessor::kVo16;
    if (name == "CCorvaneMPU") return EProcessor::kCorvane;
    return std::nullopt;
}

std::string SAssemblyError::Text() const {
    return file + ':' + std::to_string(line) + ':' + std::to_string(column) + ": " + message;
}

uint64_t SAssembly::ByteCount() const {
    uint64_t count = 0;
    for (const SSegment& segment : segments)
        count += segment.bytes.size();
    return count;
}

std::vector<uint8_t> SAssembly::Flat(uint32_t* first) const {
    std::vector<uint8_t> flat;
    if (segments.empty()) {
        if (first) *first = 0;
        return flat;
    }
    const uint32_t low = segments.front().address;
    const SSegment& last = segments.back();
    flat.resize(static_cast<size_t>(last.address - low) + last.bytes.size(), 0);
    for (const SSegment& segment : segments)
        std::copy(segment.bytes.begin(), segment.bytes.end(),
                  flat.begin() + (segment.address - low));
    if (first) *first = low;
    return flat;
}

// --- The engine ----------------------------------------------------------------

namespace {

enum class EKind { kNone, kInstruction, kEquate, kOrg, kData, kFill, kReserve, kCpu, kEntry };

struct SLine {
    int file = 0;
    int number = 0;
    std::string text;
};

struct SStatement {
    size_t line = 0;
    EKind kind = EKind::kNone;
    int dataBytes = 0;  // kData: bytes per value
    std::string_view label;
    std::string_view name;     // the mnemonic, directive or equated name
    std::string_view operand;  // trimmed, without the comment
    bool forceLong = false;
    uint32_t size = 0;
};

struct SSymbolEntry {
    std::string name;
    int64_t value = 0;
    int pass = 0;  // the pass that last defined it
    size_t statement = 0;
    bool equate = false;
};

// A directive's name, with or without its dot.
EKind DirectiveKind(std::string_view word, int& dataBytes, bool& include) {
    include = false;
    dataBytes = 1;
    if (word.starts_with(".")) word.remove_prefix(1);
    const std::string upper = Upper(word);
    if (upper == "ORG") return EKind::kOrg;
    if (upper == "BYTE" || upper == "DB" || upper == "TEXT" || upper == "ASCII")
        return EKind::kData;
    if (upper == "WORD" || upper == "DW") {
        dataBytes = 0;  // the processor's word
        return EKind::kData;
    }
    if (upper == "LONG" || upper == "DL") {
        dataBytes = 4;
        return EKind::kData;
    }
    if (upper == "FILL") return EKind::kFill;
    if (upper == "RES" || upper == "DS" || upper == "RESERVE") return EKind::kReserve;
    if (upper == "CPU") return EKind::kCpu;
    if (upper == "ENTRY") return EKind::kEntry;
    if (upper == "INCLUDE") {
        include = true;
        return EKind::kNone;
    }
    return EKind::kNone;
}

size_t NameLength(std::string_view text) {
    if (text.empty() || !CExpression::IsNameStart(text.front())) return 0;
    size_t n = 1;
    while (n < text.size() && CExpression::IsNameChar(text[n]))
        ++n;
    return n;
}

// The text before a ';' that is not inside quotes.
std::string_view StripComment(std::string_view line) {
    char quote = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote) {
            if (c == '\\') {
                ++i;
            } else if (c == quote) {
                quote = 0;
            }
        } else if (c == '"') {
            quote = c;
        } else if (c == '\'' && i + 2 < line.size() && line[i + 2] == '\'') {
            i += 2;
        } else if (c == ';') {
            return line.substr(0, i);
        }
    }
    return line;
}

bool ReadFromDisk(const std::string& path, std::string& text, std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = path + " is a folder, not a file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return true;
}

class CEngine {
public:
    CEngine(const SAssemblyOptions& options) : m_options(options) {
        if (!m_options.reader) m_options.reader = ReadFromDisk;
    }

    SAssembly Run(std::string_view text, const std::string& fileName) {
        m_files.push_back(fileName);
        std::vector<std::string> stack{fileName};
        ReadSource(text, 0, stack);
        m_result.processor =
            m_processor ? *m_processor : m_options.processor.value_or(EProcessor::k6502);
        if (!m_processor && !m_options.processor && m_hasInstructions && m_errors.empty()) {
            AddError(m_firstInstruction, 0,
                     "the processor is not named: add \"cpu 6502\", \"cpu vo16\" or \"cpu "
                     "corvane\"");
        }
        m_set = &InstructionSetFor(m_result.processor);
        if (m_errors.empty()) Passes();
        if (!m_errors.empty()) {
            SAssembly failed;
            failed.processor = m_result.processor;
            failed.errors = std::move(m_errors);
            std::stable_sort(failed.errors.begin(), failed.errors.end(),
                             [this](const SAssemblyError& a, const SAssemblyError& b) {
                                 return Order(a) < Order(b);
                             });
            return failed;
        }
        return std::move(m_result);
    }

private:
    // Errors sort by where their line stands in the assembled text.
    size_t Order(const SAssemblyError& error) const {
        for (size_t i = 0; i < m_lines.size(); ++i) {
            if (m_files[static_cast<size_t>(m_lines[i].file)] == error.file &&
                m_lines[i].number == error.line)
                return i;
        }
        return m_lines.size();
    }

    void AddError(size_t line, size_t offset, std::string message) {
        if (m_errors.size() >= m_options.maxErrors) return;
        const SLine& where = m_lines[line];
        m_errors.push_back({m_files[static_cast<size_t>(where.file)], where.number,
                            static_cast<int>(std::min<size_t>(offset, where.text.size())) + 1,
                            std::move(message)});
    }
    void AddError(const SStatement& s, std::string_view at, std::string message) {
        const std::string& text = m_lines[s.line].text;
        const size_t offset = at.data() >= text.data() && at.data() <= text.data() + text.size()
                                  ? static_cast<size_t>(at.data() - text.data())
                                  : 0;
        AddError(s.line, offset, std::move(message));
    }

    // --- Reading: lines into statements, includes expanded ---------------------

    void ReadSource(std::string_view text, int file, std::vector<std::string>& stack) {
        int number = 0;
        while (!text.empty()) {
            const size_t end = text.find('\n');
            std::string_view raw = text.substr(0, end);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
            if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
            m_lines.push_back({file, ++number, std::string(raw)});
            ParseLine(m_lines.size() - 1, stack);
        }
    }

    void ParseLine(size_t lineIndex, std::vector<std::string>& stack) {
        SStatement s;
        s.line = lineIndex;
        const std::string_view whole = m_lines[lineIndex].text;
        std::string_view rest = Trim(StripComment(whole));

        // label:
        if (const size_t n = NameLength(rest); n > 0 && n < rest.size() && rest[n] == ':') {
            s.label = rest.substr(0, n);
            rest = Trim(rest.substr(n + 1));
            CheckLabelName(s, s.label);
        }
        if (rest.empty()) {
            m_statements.push_back(s);
            return;
        }
        // *= ADDR
        if (rest.starts_with("*=")) {
            s.kind = EKind::kOrg;
            s.name = rest.substr(0, 2);
            s.operand = Trim(rest.substr(2));
            m_statements.push_back(s);
            return;
        }
        const size_t n = NameLength(rest);
        if (n == 0) {
            AddError(s, rest, "an instruction, a directive or a label is expected");
            m_statements.push_back(s);
            return;
        }
        const std::string_view word = rest.substr(0, n);
        std::string_view after = Trim(rest.substr(n));
        // name = value, name equ value
        const size_t m = NameLength(after);
        if ((after.starts_with("=") && !after.starts_with("==")) ||
            (m == 3 && EqualNoCase(after.substr(0, 3), "EQU") &&
             (after.size() == 3 || after[3] == ' ' || after[3] == '\t'))) {
            s.kind = EKind::kEquate;
            s.name = word;
            s.operand = Trim(after.substr(after.front() == '=' ? 1 : 3));
            if (!s.label.empty()) AddError(s, s.label, "an equate cannot carry a label");
            CheckLabelName(s, word);
            m_statements.push_back(s);
            return;
        }
        s.name = word;
        s.operand = after;
        bool include = false;
        s.kind = DirectiveKind(word, s.dataBytes, include);
        if (include) {
            m_statements.push_back(s);
            Include(s, stack);
            return;
        }
        if (s.kind == EKind::kCpu) {
            const auto processor = ProcessorFromName(s.operand);
            if (!processor) {
                AddError(s, s.operand, "the processor is 6502, vo16 or corvane");
            } else if (m_hasInstructions && processor != m_processor) {
                AddError(s, s.name, "the processor must be named before the first instruction");
            } else if (m_processor && processor != m_processor) {
                AddError(s, s.name, "the processor is named twice");
            } else {
                m_processor = processor;
            }
        } else if (s.kind == EKind::kNone) {
            s.kind = EKind::kInstruction;
            if (!m_hasInstructions) m_firstInstruction = lineIndex;
            m_hasInstructions = true;
        }
        m_statements.push_back(s);
    }

    void CheckLabelName(const SStatement& s, std::string_view name) {
        if (CExpression::IsHexWord(name)) {
            AddError(s, name,
                     "'" + std::string(name) +
                         "' reads as a hexadecimal number; a name needs a character other than "
                         "0-9 and A-F");
        } else if (IsReserved(name)) {
            AddError(s, name, "'" + std::string(name) + "' is a register name");
        }
    }

    // Register names cannot be labels: the operands would read them as registers.
    bool IsReserved(std::string_view name) const {
        const std::string upper = Upper(name);
        if (upper == "SP" || upper == "LR" || upper == "IPC" || upper == "SR" || upper == "VER" ||
            upper == "X" || upper == "Y" || upper == "A")
            return true;
        if (upper.size() >= 2 && upper.size() <= 3 && upper[0] == 'R' &&
            upper.find_first_not_of("0123456789", 1) == std::string::npos)
            return true;
        return false;
    }

    void Include(const SStatement& s, std::vector<std::string>& stack) {
        std::string_view operand = s.operand;
        if (operand.size() < 2 || operand.front() != '"' || operand.back() != '"') {
            AddError(s, operand, "include takes a file name in quotes");
            return;
        }
        std::filesystem::path path(std::string(operand.substr(1, operand.size() - 2)));
        if (path.is_relative()) path = std::filesystem::path(stack.back()).parent_path() / path;
        const std::string name = path.lexically_normal().string();
        if (std::find(stack.begin(), stack.end(), name) != stack.end()) {
            AddError(s, operand, "\"" + name + "\" includes itself");
            return;
        }
        if (static_cast<int>(stack.size()) > CAssembler::kMaxIncludeDepth) {
            AddError(s, operand, "includes nest more than 16 deep");
            return;
        }
        std::string text;
        std::string error;
        if (!m_options.reader(name, text, error)) {
            AddError(s, operand, error);
            return;
        }
        m_files.push_back(name);
        stack.push_back(name);
        ReadSource(text, static_cast<int>(m_files.size() - 1), stack);
        stack.pop_back();
    }

    // --- Passes ------------------------------------------------------------------

    void Passes() {
        for (int pass = 1; pass <= CAssembler::kMaxPasses; ++pass) {
            m_pass = pass;
            m_changed = false;
            RunPass(false);
            if (!m_changed && pass > 1) break;
        }
        const bool settled = !m_changed;
        m_pass += 1;
        m_changed = false;
        RunPass(true);
        if ((m_changed || !settled) && m_errors.empty() && !m_statements.empty()) {
            AddError(m_statements.front().line, 0,
                     "the addresses do not settle; a label's value depends on itself");
        }
        if (!m_errors.empty()) return;
        FinishImage();
    }

    NameResolver Resolver(bool final) {
        return [this, final](std::string_view name, int64_t& value) {
            if (name == "*") {
                value = m_address;
                return ENameLookup::kFound;
            }
            const auto found = m_symbols.find(Upper(name));
            if (found != m_symbols.end()) {
                value = found->second.value;
                return ENameLookup::kFound;
            }
            if (m_options.knownSymbols) {
                if (const auto address = m_options.knownSymbols->Find(name)) {
                    value = *address;
                    return ENameLookup::kFound;
                }
            }
            return final ? ENameLookup::kUndefined : ENameLookup::kPending;
        };
    }

    void Define(const SStatement& s, std::string_view name, int64_t value, bool equate,
                bool final) {
        const std::string key = Upper(name);
        auto found = m_symbols.find(key);
        if (found == m_symbols.end()) {
            m_symbols.emplace(key,
                              SSymbolEntry{std::string(name), value, m_pass,
                                           static_cast<size_t>(&s - m_statements.data()), equate});
            m_changed = true;
            return;
        }
        SSymbolEntry& entry = found->second;
        const size_t index = static_cast<size_t>(&s - m_statements.data());
        if (entry.statement != index) {
            if (final) {
                const SLine& first = m_lines[m_statements[entry.statement].line];
                AddError(s, name,
                         "'" + std::string(name) + "' is already defined (line " +
                             std::to_string(first.number) + ")");
            }
            return;
        }
        if (entry.value != value) m_changed = true;
        entry.value = value;
        entry.pass = m_pass;
    }

    void RunPass(bool final) {
        m_address = m_options.origin;
        m_emitted = 0;
        m_entrySet = false;
        const NameResolver resolver = Resolver(final);
        for (SStatement& s : m_statements) {
            const uint32_t start = m_address;
            // A label on an org line names the new address.
            if (!s.label.empty() && s.kind != EKind::kOrg)
                Define(s, s.label, m_address, false, final);
            uint32_t size = 0;
            std::vector<uint8_t> bytes;
            int64_t shownValue = -1;
            switch (s.kind) {
                case EKind::kNone:
                case EKind::kCpu: break;
                case EKind::kEquate: {
                    SExpressionValue value;
                    if (Evaluate(s, s.operand, resolver, final, value)) {
                        Define(s, s.name, value.value, true, final);
                        shownValue = value.value;
                    }
                    break;
                }
                case EKind::kOrg: {
                    SExpressionValue value;
                    if (Evaluate(s, s.operand, resolver, final, value) &&
                        CheckAddress(s, s.operand, value, final)) {
                        m_address = static_cast<uint32_t>(value.value);
                    }
                    if (!s.label.empty()) Define(s, s.label, m_address, false, final);
                    break;
                }
                case EKind::kEntry: {
                    SExpressionValue value;
                    if (Evaluate(s, s.operand, resolver, final, value) &&
                        CheckAddress(s, s.operand, value, final)) {
                        if (final && m_entrySet) AddError(s, s.name, "the entry is given twice");
                        m_result.entry = static_cast<uint32_t>(value.value);
                        m_entrySet = true;
                    }
                    break;
                }
                case EKind::kData: Data(s, resolver, final, bytes); break;
                case EKind::kFill:
                case EKind::kReserve: {
                    const std::vector<std::string_view> parts = SplitOperands(s.operand);
                    const size_t allowed = s.kind == EKind::kFill ? 2 : 1;
                    if (parts.empty() || parts.size() > allowed) {
                        if (final)
                            AddError(s, s.operand,
                                     s.kind == EKind::kFill ? "fill takes COUNT [, BYTE]"
                                                            : "res takes COUNT");
                        break;
                    }
                    SExpressionValue count;
                    SExpressionValue fill;
                    if (!Evaluate(s, parts[0], resolver, final, count)) break;
                    if (count.value < 0 || count.value > int64_t{m_set->HighestAddress()} + 1) {
                        if (final) AddError(s, parts[0], "the count is larger than memory");
                        break;
                    }
                    if (parts.size() == 2 && (!Evaluate(s, parts[1], resolver, final, fill) ||
                                              !CheckRange(s, parts[1], fill, 1, final)))
                        break;
                    // Only the last pass makes the bytes, and only as many as memory holds.
                    if (s.kind == EKind::kReserve || !final) {
                        size = static_cast<uint32_t>(count.value);
                    } else if (m_emitted + static_cast<uint64_t>(count.value) >
                               uint64_t{m_set->HighestAddress()} + 1) {
                        AddError(s, parts[0], "the program is larger than the memory");
                    } else {
                        bytes.assign(static_cast<size_t>(count.value),
                                     static_cast<uint8_t>(fill.value));
                    }
                    break;
                }
                case EKind::kInstruction: {
                    if (!m_set->IsMnemonic(s.name)) {
                        if (final)
                            AddError(s, s.name,
                                     "unknown instruction '" + std::string(s.name) + "' for the " +
                                         ProcessorName(m_set->Processor()));
                        break;
                    }
                    CEncodeContext context(m_lines[s.line].text, m_address, s.forceLong, resolver);
                    m_set->Encode(s.name, s.operand, context);
                    if (context.Failed()) {
                        if (final) AddError(s.line, context.ErrorOffset(), context.Error());
                        size = s.size;  // keep the addresses of the last pass
                        break;
                    }
                    if (context.NeedLong()) s.forceLong = true;
                    bytes = context.Bytes();
                    break;
                }
            }
            if (!bytes.empty()) size = static_cast<uint32_t>(bytes.size());
            if (size != s.size) {
                m_changed = true;
                s.size = size;
            }
            if (final) {
                if (!bytes.empty()) Emit(s, start, bytes);
                List(s, s.kind == EKind::kOrg ? m_address : start, bytes, shownValue);
            }
            m_address += size;
        }
    }

    bool Evaluate(const SStatement& s, std::string_view text, const NameResolver& resolver,
                  bool final, SExpressionValue& value) {
        SExpressionError error;
        if (text.empty()) {
            if (final) AddError(s, text.data() ? text : s.name, "a value is missing");
            return false;
        }
        if (!CExpression::Evaluate(text, resolver, value, error)) {
            if (final) AddError(s, text.substr(std::min(error.offset, text.size())), error.message);
            return false;
        }
        if (value.pending) value.value = 0;
        return true;
    }

    bool CheckAddress(const SStatement& s, std::string_view at, const SExpressionValue& value,
                      bool final) {
        if (value.value >= 0 && value.value <= int64_t{m_set->HighestAddress()}) return true;
        if (final)
            AddError(s, at,
                     "the address " + Hex(value.value, 4) + " is outside the " +
                         ProcessorName(m_set->Processor()) + "'s memory (0 to " +
                         Hex(m_set->HighestAddress(), 4) + ")");
        return false;
    }

    bool CheckRange(const SStatement& s, std::string_view at, const SExpressionValue& value,
                    int bytes, bool final) {
        const int64_t high = (int64_t{1} << (8 * bytes)) - 1;
        const int64_t low = -(int64_t{1} << (8 * bytes - 1));
        if (value.value >= low && value.value <= high) return true;
        if (final)
            AddError(s, at,
                     "the value " + Hex(value.value, 2) + " does not fit in " +
                         std::to_string(8 * bytes) + " bits");
        return false;
    }

    void Data(const SStatement& s, const NameResolver& resolver, bool final,
              std::vector<uint8_t>& bytes) {
        const int width = s.dataBytes ? s.dataBytes : m_set->DataWordBytes();
        const std::vector<std::string_view> parts = SplitOperands(s.operand);
        if (parts.empty()) {
            if (final) AddError(s, s.name, "data needs at least one value");
            return;
        }
        for (std::string_view part : parts) {
            if (part.starts_with("\"")) {
                if (width != 1) {
                    if (final) AddError(s, part, "strings go in byte data");
                    continue;
                }
                String(s, part, final, bytes);
                continue;
            }
            SExpressionValue value;
            if (!Evaluate(s, part, resolver, final, value)) continue;
            if (!CheckRange(s, part, value, width, final)) continue;
            const uint32_t v = static_cast<uint32_t>(value.value);
            for (int i = 0; i < width; ++i) {
                const int shift = m_set->BigEndian() ? 8 * (width - 1 - i) : 8 * i;
                bytes.push_back(static_cast<uint8_t>(v >> shift));
            }
        }
    }

    void String(const SStatement& s, std::string_view part, bool final,
                std::vector<uint8_t>& bytes) {
        // The closing quote must not be escaped: scan for the end.
        size_t end = 1;
        while (end < part.size() && part[end] != '"')
            end += part[end] == '\\' ? 2 : 1;
        if (end != part.size() - 1) {
            if (final) AddError(s, part, "the string is not closed");
            return;
        }
        for (size_t i = 1; i + 1 < part.size(); ++i) {
            char c = part[i];
            if (c == '\\' && i + 2 < part.size()) {
                const char e = part[++i];
                switch (e) {
                    case 'n': c = '\n'; break;
                    case 't': c = '\t'; break;
                    case 'r': c = '\r'; break;
                    case '0': c = '\0'; break;
                    case '\\': c = '\\'; break;
                    case '"': c = '"'; break;
                    case 'x': {
                        int value = 0;
                        int digits = 0;
                        while (digits < 2 && i + 2 < part.size() &&
                               CExpression::IsHexWord(part.substr(i + 1, 1))) {
                            const char h = part[++i];
                            value = value * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
                            ++digits;
                        }
                        if (digits == 0) {
                            if (final) AddError(s, part.substr(i - 1), "\\x needs hex digits");
                            return;
                        }
                        c = static_cast<char>(value);
                        break;
                    }
                    default:
                        if (final)
                            AddError(s, part.substr(i - 1),
                                     std::string("unknown escape '\\") + e + "'");
                        return;
                }
            }
            bytes.push_back(static_cast<uint8_t>(c));
        }
    }

    void Emit(const SStatement& s, uint32_t address, const std::vector<uint8_t>& bytes) {
        const uint64_t last = uint64_t{address} + bytes.size() - 1;
        if (last > m_set->HighestAddress()) {
            AddError(s.line, 0,
                     "the bytes run past the end of the " +
                         std::string(ProcessorName(m_set->Processor())) + "'s memory (" +
                         Hex(m_set->HighestAddress(), 4) + ")");
            return;
        }
        m_emitted += bytes.size();
        if (m_emitted > uint64_t{m_set->HighestAddress()} + 1) {
            AddError(s.line, 0, "the program is larger than the memory");
            return;
        }
        if (!m_pieces.empty()) {
            SPiece& previous = m_pieces.back();
            if (previous.segment.address + previous.segment.bytes.size() == address) {
                previous.segment.bytes.insert(previous.segment.bytes.end(), bytes.begin(),
                                              bytes.end());
                return;
            }
        }
        m_pieces.push_back({SSegment{address, bytes}, s.line});
    }

    void FinishImage() {
        std::stable_sort(m_pieces.begin(), m_pieces.end(), [](const SPiece& a, const SPiece& b) {
            return a.segment.address < b.segment.address;
        });
        for (SPiece& piece : m_pieces) {
            if (!m_result.segments.empty()) {
                SSegment& previous = m_result.segments.back();
                const uint64_t end = uint64_t{previous.address} + previous.bytes.size();
                if (piece.segment.address < end) {
                    AddError(piece.line, 0,
                             "these bytes overlap bytes already assembled at " +
                                 Hex(piece.segment.address, m_set->AddressDigits()));
                    continue;
                }
                if (piece.segment.address == end) {
                    previous.bytes.insert(previous.bytes.end(), piece.segment.bytes.begin(),
                                          piece.segment.bytes.end());
                    continue;
                }
            }
            m_result.segments.push_back(std::move(piece.segment));
        }
        m_pieces.clear();
        std::vector<const SSymbolEntry*> ordered;
        for (const auto& [key, entry] : m_symbols)
            ordered.push_back(&entry);
        std::sort(ordered.begin(), ordered.end(), [](const SSymbolEntry* a, const SSymbolEntry* b) {
            return a->statement < b->statement;
        });
        for (const SSymbolEntry* entry : ordered)
            m_result.symbols.Add(entry->name, static_cast<uint32_t>(entry->value));
    }

    // --- The listing -------------------------------------------------------------

    void List(const SStatement& s, uint32_t address, const std::vector<uint8_t>& bytes,
              int64_t shownValue) {
        constexpr size_t kBytesColumn = 16;
        const int digits = m_set->AddressDigits();
        const std::string& source = m_lines[s.line].text;
        std::string& out = m_result.listing;
        std::string lead;
        if (s.kind == EKind::kEquate) {
            if (shownValue >= 0)
                lead = FormatText("%0*llX", digits, static_cast<unsigned long long>(shownValue));
            lead.resize(static_cast<size_t>(digits) + 1 + kBytesColumn, ' ');
            lead[static_cast<size_t>(digits) + 1] = '=';
        } else if ((s.kind != EKind::kNone && s.kind != EKind::kCpu) || !s.label.empty()) {
            lead = FormatText("%0*X ", digits, address);
        }
        const bool instruction = s.kind == EKind::kInstruction;
        const int group = instruction ? m_set->WordBytes() : 1;
        // Data shows at most eight lines of bytes.
        const size_t perLine = instruction ? bytes.size() : 5;
        size_t at = 0;
        bool first = true;
        do {
            std::string line =
                first ? lead : FormatText("%0*X ", digits, address + static_cast<uint32_t>(at));
            const size_t count = std::min(perLine, bytes.size() - at);
            for (size_t i = 0; i + group <= count + 0 && i < count;
                 i += static_cast<size_t>(group)) {
                uint32_t word = 0;
                for (int k = 0; k < group; ++k) {
                    const uint32_t b = bytes[at + i + static_cast<size_t>(k)];
                    word |= m_set->BigEndian() ? b << (8 * (group - 1 - k)) : b << (8 * k);
                }
                AppendFormat(line, "%0*X ", 2 * group, word);
            }
            at += count;
            if (first) {
                if (!source.empty()) {
                    const size_t column = static_cast<size_t>(digits) + 1 + kBytesColumn;
                    line.append(line.size() < column ? column - line.size() : 1, ' ');
                    line += source;
                }
                first = false;
            }
            line.erase(line.find_last_not_of(' ') + 1);
            out += line;
            out += '\n';
        } while (at < bytes.size() && at < 8 * perLine);
    }

    struct SPiece {
        SSegment segment;
        size_t line = 0;
    };

    SAssemblyOptions m_options;
    const CInstructionSet* m_set = nullptr;
    std::vector<std::string> m_files;
    std::deque<SLine> m_lines;  // a deque: statements view into the texts
    std::vector<SStatement> m_statements;
    std::vector<SAssemblyError> m_errors;
    std::unordered_map<std::string, SSymbolEntry> m_symbols;
    std::optional<EProcessor> m_processor;
    bool m_hasInstructions = false;
    size_t m_firstInstruction = 0;
    int m_pass = 0;
    bool m_changed = false;
    bool m_entrySet = false;
    uint32_t m_address = 0;
    uint64_t m_emitted = 0;
    std::vector<SPiece> m_pieces;
    SAssembly m_result;
};

}  // namespace

SAssembly CAssembler::AssembleText(std::string_view text, const std::string& fileName,
                                   const SAssemblyOptions& options) {
    CEngine engine(options);
    return engine.Run(text, fileName);
}

SAssembly CAssembler::AssembleFile(const std::string& path, const SAssemblyOptions& options) {
    std::string text;
    std::string error;
    const SourceReader& reader = options.reader ? options.reader : SourceReader(ReadFromDisk);
    if (!reader(path, text, error)) {
        SAssembly failed;
        failed.processor = options.processor.value_or(EProcessor::k6502);
        failed.errors.push_back({path, 0, 0, error});
        return failed;
    }
    CEngine engine(options);
    return engine.Run(text, path);
}

bool CAssembler::AssembleLine(EProcessor processor, std::string_view line, uint32_t address,
                              const CSymbols* symbols, std::vector<uint8_t>& bytes,
                              std::string& error) {
    SAssemblyOptions options;
    options.processor = processor;
    options.origin = address;
    options.knownSymbols = symbols;
    options.reader = [](const std::string&, std::string&, std::string& why) {
        why = "include is not available here";
        return false;
    };
    // One line only: a line break would start another statement.
    const std::string_view single = line.substr(0, line.find_first_of("\r\n"));
    SAssembly assembly = AssembleText(single, "", options);
    bytes.clear();
    if (!assembly.Ok()) {
        const SAssemblyError& first = assembly.errors.front();
        error = "column " + std::to_string(first.column) + ": " + first.message;
        return false;
    }
    for (const SSegment& segment : assembly.segments)
        bytes.insert(bytes.end(), segment.bytes.begin(), segment.bytes.end());
    return true;
}

// --- Output --------------------------------------------------------------------

bool WriteTextFileAtomically(const std::string& path, std::string_view text, std::string& error) {
    const std::string temporary = path + ".tmp-simq";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "cannot write " + path;
            return false;
        }
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            out.close();
            std::remove(temporary.c_str());
            error = "cannot write " + path;
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::remove(temporary.c_str());
        error = "cannot write " + path + ": " + ec.message();
        return false;
    }
    return true;
}

bool WriteAssemblyImage(const SAssembly& assembly, const std::string& path, std::string& error) {
    std::string lower = path.size() >= 4 ? Upper(path.substr(path.size() - 4)) : "";
    if (lower == ".BIN") {
        const std::vector<uint8_t> flat = assembly.Flat();
        return WriteTextFileAtomically(
            path, std::string_view(reinterpret_cast<const char*>(flat.data()), flat.size()), error);
    }
    if (lower == ".HEX") {
        CHexDumpFile file;
        if (!file.OpenWrite(path)) {
            error = file.Error();
            return false;
        }
        for (const SSegment& segment : assembly.segments) {
            for (size_t i = 0; i < segment.bytes.size(); ++i)
                file.WriteByte(segment.address + static_cast<uint32_t>(i), segment.bytes[i]);
        }
        if (!file.Close()) {
            error = file.Error();
            return false;
        }
        return true;
    }
    if (lower == ".S19") {
        CSRecordFile file;
        if (!file.OpenWrite(path)) {
            error = file.Error();
            return false;
        }
        for (const SSegment& segment : assembly.segments) {
            for (size_t i = 0; i < segment.bytes.size(); ++i)
                file.WriteByte(segment.address + static_cast<uint32_t>(i), segment.bytes[i]);
        }
        if (!file.Close(assembly.entry)) {
            error = file.Error();
            return false;
        }
        return true;
    }
    error = path + ": the image's name must end in .s19, .hex or .bin";
    return false;
}

std::string SymbolFileText(const SAssembly& assembly) {
    return assembly.symbols.FileText(InstructionSetFor(assembly.processor).AddressDigits());
}

void LoadAssembly(CComputer& computer, CMpu* unit, const SAssembly& assembly) {
    if (computer.IsEmpty()) return;
    // As a program image is loaded: nothing runs while its memory changes.
    computer.GetMpus()->StopAll();
    computer.SettleRunThread(CComputer::kStopAllSettle);
    for (const SSegment& segment : assembly.segments) {
        for (size_t i = 0; i < segment.bytes.size(); ++i)
            computer.Write(segment.address + static_cast<uint32_t>(i), segment.bytes[i], 1, true);
    }
    if (unit) unit->Symbols() = assembly.symbols;
    computer.UpdateAllViews(kHintMemory | kHintProcessorState | kHintCodeMoved);
    computer.SetModifiedFlag();
}
