// The bus reads plain memory directly where its page map says only one memory
// holds an address, and it draws that map from the devices' windows. Every
// registered device class must therefore decode exactly by its window, or say
// that it does not (DecodesByWindow), which keeps the whole bus on its locked
// path.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/ClassRegistry.h"
#include "core/Device.h"
#include "system/StandardClasses.h"

namespace {

TEST(DeviceWindowTest, EveryRegisteredClassDecodesByItsWindowOrSaysSo) {
    RegisterStandardClasses();
    ASSERT_GT(DeviceClasses().GetCount(), 0);
    constexpr uint32_t kFrom = 0x12000;
    constexpr uint32_t kTo = 0x12FFF;
    for (int i = 0; i < DeviceClasses().GetCount(); ++i) {
        const std::string name(DeviceClasses().GetAt(i).name);
        SCOPED_TRACE(name);
        std::unique_ptr<CDevice> device = DeviceClasses().Create(name);
        ASSERT_TRUE(device);
        device->SetRange(kFrom, kTo, 1);
        if (!device->DecodesByWindow()) continue;
        for (uint32_t address : {0u, kFrom - 1, kFrom, kFrom + 1, kFrom + 0x801, kTo - 1, kTo,
                                 kTo + 1, 0xFFFFFFu, 0xFFFFFFFFu}) {
            EXPECT_EQ(device->InRange(address), kFrom <= address && address <= kTo)
                << std::hex << address;
        }
    }
}

}  // namespace
