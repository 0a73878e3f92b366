#include "core/system/StandardClasses.h"

#include "core/ClassRegistry.h"
#include "core/Ram.h"
#include "cpu/Vo16.h"

void RegisterStandardClasses() {
    // Device classes, in the order the device dialog lists them.
    DeviceClasses().Add<CRam>();

    // Unit classes, in the order the Processing Units dialog lists them.
    UnitClasses().Add<CVo16>();
}
