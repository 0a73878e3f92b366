#pragma once
#include <cstdint>

// Bits of the hint passed with every change notification to the views.
// 0 asks every view to redraw everything.
enum EViewHint : uint32_t {
    kHintCodeMoved = 1,       // code windows move or relist
    kHintProcessorState = 2,  // registers and statistics changed
    kHintBreakpoints = 4,     // breakpoint markers changed
    kHintMemory = 8,          // memory contents changed
};
