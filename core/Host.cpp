#include "core/Host.h"

#include <chrono>
#include <ctime>

int64_t CHost::NowSeconds() {
    return static_cast<int64_t>(std::time(nullptr));
}

int64_t CHost::NowMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

CNullHost& CNullHost::Instance() {
    static CNullHost host;
    return host;
}

const char* StopReasonText(EStopReason reason) {
    switch (reason) {
        case EStopReason::kNone: return "none";
        case EStopReason::kBreakpoint: return "breakpoint";
        case EStopReason::kRunTo: return "run-to";
        case EStopReason::kStepOut: return "step-out";
        case EStopReason::kInterruptPrompt: return "interrupt-prompt";
        case EStopReason::kInstructionLimit: return "instruction-limit";
        case EStopReason::kTimeLimit: return "time-limit";
        case EStopReason::kStopCommand: return "stopped";
        case EStopReason::kError: return "error";
        case EStopReason::kWatchpoint: return "watchpoint";
        case EStopReason::kCondition: return "condition";
    }
    return "none";
}
