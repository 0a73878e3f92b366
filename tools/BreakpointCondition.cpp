#include "tools/BreakpointCondition.h"

#include <mutex>

#include "core/Devices.h"
#include "core/Mpu.h"
#include "core/StringEx.h"
#include "tools/Expression.h"

namespace {

ENameLookup LookUp(const CMpu& unit, std::string_view name, int64_t& value) {
    const int index = unit.FindRegister(name);
    if (index >= 0) {
        value = unit.GetRegisterValue(static_cast<size_t>(index));
        return ENameLookup::kFound;
    }
    const std::string upper = UpperCase(name);
    const auto registers = unit.GetRegisterInfo();
    for (size_t i = 0; i < registers.size(); ++i) {
        for (const SFlagInfo& flag : registers[i].flags) {
            if (upper != flag.name) continue;
            const bool set = (unit.GetRegisterValue(i) & flag.mask) != 0;
            value = set != flag.inverted ? 1 : 0;
            return ENameLookup::kFound;
        }
    }
    return ENameLookup::kUndefined;
}

bool Evaluate(std::string_view text, const CMpu& unit, const CDevices* bus, int64_t& value,
              SExpressionError& error) {
    SExpressionOptions options;
    options.namesBeforeNumbers = true;
    options.memory = [bus](uint64_t address, int64_t& byte) {
        if (!bus || address > 0xFFFFFFFF) return false;
        std::lock_guard guard(bus->Lock());
        const int peeked = bus->PeekHeld(static_cast<uint32_t>(address));
        if (peeked < 0) return false;
        byte = peeked;
        return true;
    };
    const NameResolver resolver = [&unit](std::string_view name, int64_t& result) {
        return LookUp(unit, name, result);
    };
    SExpressionValue result;
    if (!CExpression::Evaluate(text, resolver, options, result, error)) return false;
    value = result.value;
    return true;
}

class CExpressionCondition final : public CCondition {
public:
    explicit CExpressionCondition(std::string text) : m_text(std::move(text)) {}
    bool Holds(const CMpu& unit, const CDevices& bus) const override {
        int64_t value = 0;
        SExpressionError error;
        return !Evaluate(m_text, unit, &bus, value, error) || value != 0;
    }

private:
    std::string m_text;
};

}  // namespace

std::unique_ptr<CCondition> CompileCondition(std::string_view text, const CMpu& unit,
                                             std::string& error) {
    SExpressionError failure;
    // Only the syntax and the names count here: memory that is missing now
    // may be there when the breakpoint is reached.
    SExpressionOptions options;
    options.namesBeforeNumbers = true;
    options.memory = [](uint64_t, int64_t& byte) {
        byte = 1;
        return true;
    };
    const NameResolver resolver = [&unit](std::string_view name, int64_t& result) {
        return LookUp(unit, name, result);
    };
    SExpressionValue result;
    if (!CExpression::Evaluate(text, resolver, options, result, failure)) {
        error = failure.message + " at column " + std::to_string(failure.offset + 1);
        return nullptr;
    }
    return std::make_unique<CExpressionCondition>(std::string(text));
}

void InstallBreakpointConditions() {
    CDebugger::SetConditionCompiler(CompileCondition);
}
