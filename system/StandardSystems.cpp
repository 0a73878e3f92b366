#include "system/StandardSystems.h"

#include <atomic>
#include <memory>

#include "core/ClassRegistry.h"
#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/Ram.h"

namespace {

std::atomic<bool> g_firstWorkspaceMade{false};

struct SDeviceEntry {
    const char* className;
    const char* name;
    uint32_t from;
    uint32_t to;
    uint32_t stride;
    int irqCode;
    uint32_t ramSize;  // memory devices only
    bool writable;
};

// Corvane system memory map.
constexpr SDeviceEntry kCorvaneDevices[] = {
    {"CRam", "RAM", 0x000000, 0x03FFFF, 1, -1, 0x40000, true},
    {"CRam", "ROM", 0xFF0000, 0xFFFFFF, 1, -1, 0x10000, false},
    {"CTimeSlicer", "System time slicer", 0x301000, 0x3010FF, 1, 0, 0, true},
    {"CKeyboard", "Keyboard", 0x301100, 0x3011FF, 1, 1, 0, true},
    {"CVic", "VIC", 0x300000, 0x300FFF, 3, 7, 0, true},
};

// Vo16 system memory map: the video controller at address 0 overlaps the
// external RAM, so reads of 0 come from the RAM and writes reach both.
constexpr SDeviceEntry kVo16Devices[] = {
    {"CRam", "External RAM", 0x0000, 0x7FFF, 1, -1, 0x8000, true},
    {"CRam", "Internal RAM", 0xFF00, 0xFF1F, 1, -1, 0x20, true},
    {"CVo16VGA", "Vo16 VGA Controller", 0x0000, 0x0000, 1, -1, 0, true},
};

bool Missing(const std::string& className, std::string* error) {
    if (error) *error = "The class " + className + " is not registered.";
    return false;
}

template <size_t N>
bool AddDevices(CDevices& devices, const SDeviceEntry (&entries)[N], std::string* error) {
    for (const SDeviceEntry& entry : entries) {
        std::unique_ptr<CDevice> device = DeviceClasses().Create(entry.className);
        if (!device) return Missing(entry.className, error);
        device->SetName(entry.name);
        device->SetRange(entry.from, entry.to, entry.stride);
        device->SetIrqCode(entry.irqCode);
        if (auto* ram = dynamic_cast<CRam*>(device.get())) {
            ram->SetSize(entry.ramSize);
            ram->SetWritable(entry.writable);
        }
        devices.AddTail(device.release());
    }
    return true;
}

}  // namespace

const char* SystemTypeName(ESystemType type) {
    switch (type) {
        case ESystemType::Corvane: return "Default Corvane Architecture";
        case ESystemType::Vo16: return "Default RARA Architecture";
        case ESystemType::Blank: return "Blank System";
    }
    return "";
}

bool BuildStandardSystem(CComputer& computer, ESystemType type, std::string* error) {
    CDevices* devices = computer.GetDevices();
    CMpus* units = computer.GetMpus();
    if (!devices || !units) {
        if (error) *error = "The workspace is not ready for a new system.";
        return false;
    }
    switch (type) {
        case ESystemType::Corvane: {
            std::unique_ptr<CMpu> unit = UnitClasses().Create("CCorvaneMPU");
            if (!unit) return Missing("CCorvaneMPU", error);
            CMpu* processor = unit.get();
            processor->SetName("Corvane Processor #0");
            processor->SetIrqMask(3);
            processor->SetBus(devices);
            units->Add(unit.release());
            computer.SetActiveProcessor(0);
            if (!AddDevices(*devices, kCorvaneDevices, error)) return false;
            // The reset vector lives in the devices, so the processor resets last.
            processor->Reset();
            return true;
        }
        case ESystemType::Vo16: {
            std::unique_ptr<CMpu> unit = UnitClasses().Create("CVo16");
            if (!unit) return Missing("CVo16", error);
            CMpu* processor = unit.get();
            processor->SetName("Vo16 Processor #0");
            processor->SetIrqMask(0);
            processor->SetBus(devices);
            processor->Reset();
            units->Add(unit.release());
            computer.SetActiveProcessor(0);
            return AddDevices(*devices, kVo16Devices, error);
        }
        case ESystemType::Blank: return true;
    }
    return true;
}

bool NewWorkspaceNeedsType() {
    return g_firstWorkspaceMade.load();
}

bool NewWorkspace(CComputer& computer, std::optional<ESystemType> chosen, std::string* error) {
    ESystemType type = ESystemType::Vo16;
    if (NewWorkspaceNeedsType()) {
        if (!chosen) {
            if (error) *error = "the system type was not chosen";
            return false;
        }
        type = *chosen;
    }
    g_firstWorkspaceMade = true;
    computer.NewContents();
    if (!BuildStandardSystem(computer, type, error)) {
        computer.DeleteContents();
        return false;
    }
    computer.SetModifiedFlag(false);
    return true;
}

void ResetFirstWorkspaceRule() {
    g_firstWorkspaceMade = false;
}
