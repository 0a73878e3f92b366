#include "system/StandardClasses.h"

#include "core/ClassRegistry.h"
#include "core/Ram.h"
#include "cpu/CorvaneMPU.h"
#include "cpu/M6502.h"
#include "cpu/Vo16.h"
#include "devices/Keyboard.h"
#include "devices/M6818.h"
#include "devices/TimeSlicer.h"
#include "devices/Vic.h"
#include "devices/Vo16VGA.h"

void RegisterStandardClasses() {
    // Device classes, in the order the device dialog lists them.
    DeviceClasses().Add<CRam>();
    DeviceClasses().Add<CVic>();
    DeviceClasses().Add<CKeyboard>();
    DeviceClasses().Add<CTimeSlicer>();
    DeviceClasses().Add<CVo16VGA>();
    DeviceClasses().Add<C6818>();

    // Unit classes, in the order the Processing Units dialog lists them.
    UnitClasses().Add<CCorvaneMPU>();
    UnitClasses().Add<CVo16>();
    UnitClasses().Add<C6502>();
}
