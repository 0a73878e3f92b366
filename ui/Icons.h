#pragma once
// The toolbar pictures of the run commands and the processor buttons, drawn
// in code so that they look the same on every platform and scale cleanly.
#include <QIcon>

enum class ERunIcon {
    kStepInto,
    kBounceOver,
    kStepOut,
    kRun,
    kStop,
    kInterrupt,
    kBreakpoint,
    kRunAll,
    kStopAll,
    kStepBack,
    kRunBack
};

QIcon RunIcon(ERunIcon which);
// A chip with the processor's number on it.
QIcon ProcessorIcon(int slot);
