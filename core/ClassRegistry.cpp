#include "core/ClassRegistry.h"

#include "core/Device.h"
#include "core/Mpu.h"

CClassRegistry<CDevice>& DeviceClasses() {
    static CClassRegistry<CDevice> registry;
    return registry;
}

CClassRegistry<CMpu>& UnitClasses() {
    static CClassRegistry<CMpu> registry;
    return registry;
}
