// The monitor of the command window on arbitrary text: each line of the input
// (at most kMaxLines) runs as a typed command against a fresh Corvane standard
// system, with a real-time clock added so that every device with registers
// takes typed writes. A fresh workspace per input keeps every run repeatable.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/Computer.h"
#include "core/Devices.h"
#include "system/StandardClasses.h"
#include "system/StandardSystems.h"
#include "devices/M6818.h"
#include "fuzz/FuzzCheck.h"
#include "tools/CommandInterpreter.h"

namespace {

constexpr int kMaxLines = 8;
// A fill is one bus write per byte, up to 16 Mi of them: seconds under the
// sanitizers. Fills longer than the largest memory of the system are left
// out so that every input stays quick.
constexpr uint32_t kLongestFill = 0x40000;

// Whether the monitor would read line as a fill of more than kLongestFill
// bytes (the count read as the interpreter reads it).
bool IsLongFill(std::string_view line) {
    char buffer[CCommandInterpreter::kMaxLine + 9] = {};
    std::memcpy(buffer, line.data(), std::min(line.size(), CCommandInterpreter::kMaxLine));
    const char* p = buffer;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    if (*p != 'F' && *p != 'f') return false;
    const char* end = p + 1;
    ParseHexNumber(p + 1, &end);
    return ParseHexNumber(end + 1) > kLongestFill;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    RegisterStandardClasses();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CComputer computer;
    computer.NewContents();
    FuzzCheck(BuildStandardSystem(computer, ESystemType::Corvane), "the Corvane system fails");
    auto* clock = new C6818;
    clock->SetName("Real-time clock");
    clock->SetRange(0x301200, 0x301201);
    clock->SetIrqCode(2);
    computer.GetDevices()->AddTail(clock);

    const CCommandInterpreter monitor(computer);
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (int line = 0; line < kMaxLines && !text.empty(); ++line) {
        const size_t end = text.find('\n');
        const std::string_view typed = text.substr(0, end);
        const SCommandOutcome outcome =
            IsLongFill(typed) ? SCommandOutcome{} : monitor.Execute(typed);
        if (outcome.action == SCommandOutcome::EAction::kInsert) {
            FuzzCheck(!outcome.text.empty() && outcome.text.back() == '\n',
                      "inserted output does not end its line");
        }
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return 0;
}
