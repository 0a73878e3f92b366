#include "tools/CodeListing.h"

#include <algorithm>

#include "core/Devices.h"
#include "core/Host.h"
#include "core/Mpu.h"
#include "core/Mpus.h"
#include "core/StringEx.h"
#include "core/ViewHint.h"
#include "tools/CommandInterpreter.h"

namespace {

// More lines than any screen holds; guards against a bogus line count.
constexpr int kMaxLines = 4096;

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// Numbers in the operand that are a symbol's address become its name; not
// immediates (#), register names (R12) or bit ranges ({7:0}).
void NameOperands(std::string& operand, const CSymbols& symbols) {
    if (symbols.Empty()) return;
    std::string named;
    size_t i = 0;
    while (i < operand.size()) {
        if (!IsHexDigit(operand[i])) {
            named += operand[i++];
            continue;
        }
        size_t end = i;
        while (end < operand.size() && IsHexDigit(operand[end]))
            ++end;
        const char before = i ? operand[i - 1] : ',';
        const bool dollar = before == '$';
        const char mark = dollar ? (i > 1 ? operand[i - 2] : ',') : before;
        const bool candidate = end - i <= 8 && (mark == ',' || mark == '(' || mark == ' ') &&
                               (end == operand.size() || operand[end] == ',' ||
                                operand[end] == '(' || operand[end] == ')');
        const std::string* name = nullptr;
        if (candidate) {
            uint32_t value = 0;
            for (size_t k = i; k < end; ++k)
                value =
                    value << 4 | static_cast<uint32_t>(operand[k] <= '9' ? operand[k] - '0'
                                                                         : operand[k] - 'A' + 10);
            name = symbols.NameAt(value);
        }
        if (name) {
            if (dollar) named.pop_back();
            named += *name;
        } else {
            named.append(operand, i, end - i);
        }
        i = end;
    }
    operand = std::move(named);
}

void PlaceAt(std::string& text, int column, const std::string& part) {
    if (part.empty()) return;
    const size_t at = static_cast<size_t>(column);
    text.append(text.size() < at ? at - text.size() : 1, ' ');
    text += part;
}

}  // namespace

CCodeListing::CCodeListing(CComputer& computer, int slot) : m_computer(computer), m_slot(slot) {
    m_computer.AddUnitView(this);
}

CCodeListing::~CCodeListing() {
    m_computer.RemoveUnitView(this);
}

CMpu* CCodeListing::Unit() const {
    CMpus* units = m_computer.GetMpus();
    if (!units || m_slot < 0 || m_slot >= CMpus::kSlots) return nullptr;
    return units->GetAt(m_slot);
}

uint32_t CCodeListing::CodeUnit() const {
    const CMpu* unit = Unit();
    return unit && unit->GetCodeUnit() ? unit->GetCodeUnit() : 1;
}

uint32_t CCodeListing::AddressMask() const {
    const CMpu* unit = Unit();
    return unit ? unit->GetAddressMask() : 0xFFFFFFFF;
}

uint32_t CCodeListing::AddressScale() const {
    const CMpu* unit = Unit();
    return unit && unit->GetAddressScale() ? unit->GetAddressScale() : 1;
}

int CCodeListing::LinesThatFit(int clientHeight, int lineHeight) {
    if (lineHeight <= 0 || clientHeight <= lineHeight) return 0;
    return std::min((clientHeight - 1) / lineHeight, kMaxLines);
}

void CCodeListing::SetLineCount(int lines) {
    m_lineCount = std::clamp(lines, 0, kMaxLines);
    Relist();
}

void CCodeListing::SetShowMachineCode(bool show) {
    m_showMachineCode = show;
    Relist();
}

void CCodeListing::SetTopAddress(uint32_t address) {
    Move(address);
}

void CCodeListing::Move(uint32_t top) {
    m_top = top & AddressMask();
    Relist();
}

void CCodeListing::Relist() {
    m_lines.clear();
    CMpu* unit = Unit();
    if (!unit) {
        m_bottom = m_top;
        return;
    }
    const uint32_t scale = AddressScale();
    const uint32_t mask = AddressMask();
    const uint32_t pc = unit->GetPC() * scale & mask;
    // Addresses wrap at the unit's width, as its fetches do.
    uint32_t address = m_top & mask;
    for (int i = 0; i < m_lineCount; ++i) {
        SListingLine line;
        const SDisassembly decoded = unit->Disassemble(address);
        const std::string& addressText = decoded.address;
        const std::string bytesText = UpperCase(decoded.bytes);
        line.length = decoded.length;
        line.address = address;
        line.mnemonic = UpperCase(decoded.mnemonic);
        line.operand = UpperCase(decoded.operand);
        NameOperands(line.operand, unit->Symbols());
        if (const std::string* label = unit->Symbols().NameAt(address)) line.label = *label;

        const int n = static_cast<int>(addressText.size());
        if (m_showMachineCode) {
            line.lead = FormatText("%s%c%-13.13s", addressText.c_str(), ' ', bytesText.c_str());
            line.mnemonicColumn = n + 17;
            line.operandColumn = n + 26;
        } else {
            line.lead = addressText + ' ';
            line.mnemonicColumn = n + 2;
            line.operandColumn = n + 11;
        }
        line.text = line.lead;
        PlaceAt(line.text, line.mnemonicColumn, line.mnemonic);
        PlaceAt(line.text, line.operandColumn, line.operand);
        line.text.erase(line.text.find_last_not_of(' ') + 1);

        // The program counter's mark wins over a breakpoint's.
        if (address == pc) {
            line.mark = SListingLine::EMark::kProgramCounter;
            unit->SetNextInstructionAddress((address + line.length) & mask);
        } else if (unit->IsBreakpoint(address / scale)) {
            line.mark = SListingLine::EMark::kBreakpoint;
        }
        // A unit that reports no length still moves on, by its code unit.
        address = (address + (line.length ? line.length : CodeUnit())) & mask;
        m_lines.push_back(std::move(line));
    }
    m_bottom = address;
}

bool CCodeListing::FollowProgramCounter() {
    const CMpu* unit = Unit();
    if (!unit) return false;
    const uint32_t mask = AddressMask();
    const uint32_t pc = unit->GetPC() * AddressScale() & mask;
    // Shown means top <= pc < bottom; the listing may wrap past the top of memory.
    const bool shown = ((pc - m_top) & mask) < ((m_bottom - m_top) & mask);
    if (shown) {
        Relist();
        return false;
    }
    Move(pc);
    return true;
}

void CCodeListing::TakePositionFrom(const CCodeListing& other) {
    m_slot = other.m_slot;
    m_top = other.m_top;
    m_bottom = other.m_bottom;
    Relist();
}

void CCodeListing::Activate() {
    if (Unit()) m_computer.SetActiveProcessor(static_cast<uint32_t>(m_slot));
}

EListingKey CCodeListing::KeyFromCharacter(char c) {
    switch (c) {
        case 'B':
        case 'b': return EListingKey::kB;
        case 'O':
        case 'o': return EListingKey::kO;
        case 'R':
        case 'r': return EListingKey::kR;
        case 'S':
        case 's': return EListingKey::kS;
        default: return EListingKey::kOther;
    }
}

bool CCodeListing::Command(ERunCommand command) {
    if (!m_sink) return false;
    m_sink(command, m_slot);
    return true;
}

bool CCodeListing::OnKey(EListingKey key) {
    switch (key) {
        case EListingKey::kUp: Move(m_top - CodeUnit()); return true;
        case EListingKey::kDown: {
            const CMpu* unit = Unit();
            const uint32_t length = unit ? unit->Disassemble(m_top).length : 0;
            Move(m_top + (length ? length : CodeUnit()));
            return true;
        }
        case EListingKey::kPageUp: Move(m_top - kPageUpUnits * CodeUnit()); return true;
        case EListingKey::kPageDown: Move(m_bottom); return true;
        case EListingKey::kPause: return Command(ERunCommand::kStop);
        case EListingKey::kB: return Command(ERunCommand::kBounceOver);
        case EListingKey::kO: return Command(ERunCommand::kStepOut);
        case EListingKey::kR: return Command(ERunCommand::kRun);
        case EListingKey::kS: return Command(ERunCommand::kStepInto);
        case EListingKey::kOther: return false;
    }
    return false;
}

bool CCodeListing::OnScroll(EListingScroll action) {
    switch (action) {
        case EListingScroll::kLineUp: Move(m_top - CodeUnit()); return true;
        case EListingScroll::kLineDown: Move(m_top + CodeUnit()); return true;
        case EListingScroll::kOther: return false;
    }
    return false;
}

bool CCodeListing::ViewAddress(std::string_view text) {
    const std::string typed(text);
    // A name of the unit's symbols stands for its address.
    const size_t first = typed.find_first_not_of(" \t");
    const size_t last = typed.find_last_not_of(" \t");
    const std::optional<uint32_t> named =
        Unit() && first != std::string::npos
            ? Unit()->Symbols().Find(std::string_view(typed).substr(first, last - first + 1))
            : std::nullopt;
    const uint32_t address = (named ? *named : ParseHexNumber(typed.c_str())) * AddressScale();
    const CDevices* devices = m_computer.GetDevices();
    if (!devices || !devices->AnyInRange(address)) {
        m_computer.Host().ShowMessage(kNotInRangeText, EMessageIcon::Stop);
        return false;
    }
    Move(address);
    m_computer.UpdateAllViews(kHintCodeMoved);
    return true;
}
