#pragma once

// Registers the device classes (CRam, CVic, CKeyboard, CTimeSlicer, CVo16VGA,
// C6818) and then the unit classes (CCorvaneMPU, CVo16, C6502), in that order.
// Calling it again changes nothing.
void RegisterStandardClasses();
