// Editing the machine: units and devices added, removed, moved and changed
// while the workspace is open, as the configuration dialogs and the runner
// do. Every change of the unit set holds the run thread between two passes,
// so that no unit is taken away or reset inside a step; device changes go
// through the bus's ChangeStructure, which does the same for the bus.
#include "core/ClassRegistry.h"
#include "core/Computer.h"
#include "core/Debugger.h"
#include "core/Device.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "core/StringEx.h"

namespace {

// The make-up changed: every view redraws everything.
constexpr uint32_t kRedrawAll = 0;

bool Refuse(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

template <class Base>
std::string ClassNames(const CClassRegistry<Base>& registry) {
    std::string names;
    for (int i = 0; i < registry.GetCount(); ++i) {
        if (!names.empty()) names += ", ";
        names += registry.GetAt(i).name;
    }
    return names;
}

// The checks every device setting passes, whether it is added or edited.
bool CheckDeviceSettings(const SDeviceSettings& settings, bool memory, std::string* error) {
    if (settings.from > settings.to) {
        return Refuse(error, "the window " + HexString(settings.from) + "-" +
                                 HexString(settings.to) + " ends before it starts");
    }
    if (settings.stride && *settings.stride == 0)
        return Refuse(error, "the stride must be at least 1");
    if (settings.irqCode && (*settings.irqCode < -1 || *settings.irqCode > 15))
        return Refuse(error, "the IRQ code must be -1 (none) or 0 to 15");
    if (!memory) {
        if (settings.size || !settings.writable)
            return Refuse(error, "size and read-only apply to memory devices (CRam) only");
        return true;
    }
    const uint64_t size =
        settings.size ? *settings.size : uint64_t{settings.to} - settings.from + 1;
    if (size == 0) return Refuse(error, "a memory device holds at least 1 byte");
    if (size > CRam::kMaxSize) {
        return Refuse(error, "a memory device holds at most " + HexString(CRam::kMaxSize) +
                                 " bytes, not " +
                                 (size > 0xFFFFFFFF ? std::string("100000000")
                                                    : HexString(static_cast<uint32_t>(size))));
    }
    return true;
}

uint32_t MemorySize(const SDeviceSettings& settings) {
    return settings.size ? *settings.size : settings.to - settings.from + 1;
}

// Window, stride, time scale and IRQ code; for memory the new buffer and
// writability. The settings have been checked.
bool ApplyDeviceSettings(CDevice& device, const SDeviceSettings& settings, std::string* error) {
    device.SetName(settings.name);
    device.SetRange(settings.from, settings.to, settings.stride.value_or(device.GetStride()));
    if (settings.timeScale) device.SetTimeScale(*settings.timeScale);
    if (settings.irqCode) device.SetIrqCode(*settings.irqCode);
    if (auto* ram = dynamic_cast<CRam*>(&device)) {
        if (!ram->SetSize(MemorySize(settings), error)) return false;
        ram->SetWritable(settings.writable);
    }
    return true;
}

}  // namespace

bool CComputer::AddUnit(const std::string& className, const std::string& name, uint32_t irqMask,
                        std::string* error) {
    if (!m_units) return Refuse(error, "there is no workspace");
    if (className.empty() || name.empty()) return Refuse(error, kNameAndClassNeededText);
    if (m_units->GetCount() >= CMpus::kSlots)
        return Refuse(error, "the workspace has eight units already");
    std::unique_ptr<CMpu> created = UnitClasses().Create(className);
    if (!created) {
        return Refuse(error, "unknown unit class " + className + " (the classes are " +
                                 ClassNames(UnitClasses()) + ")");
    }
    // Named, in the set, on the bus, reset with mask 0, then given its mask.
    CMpu* unit = created.get();
    unit->SetName(name);
    unit->SetBus(m_devices.get());
    unit->SetIrqMask(0);
    unit->Reset();
    unit->SetIrqMask(irqMask & 0x7FFF);
    {
        const CComputer::CRunThreadPause hold(*this);
        if (!m_units->Add(unit)) return Refuse(error, "the workspace has eight units already");
    }
    created.release();
    if (GetActiveSlot() < 0) SetActiveProcessor(static_cast<uint32_t>(m_units->IndexOf(unit)));
    SetModifiedFlag();
    UpdateAllViews(kRedrawAll);
    return true;
}

bool CComputer::RemoveUnit(int slot, std::string* error) {
    if (!m_units || slot < 0 || slot >= m_units->GetCount())
        return Refuse(error, "there is no unit in slot " + std::to_string(slot));
    CMpu* unit = m_units->GetAt(slot);
    CMpu* active = m_active;
    // The animation timers of the units after it are renumbered: they are
    // started again under their new ids.
    unit->SetRunning(false);
    unit->Stop();
    std::vector<CMpu*> animating;
    for (int i = slot + 1; i < m_units->GetCount(); ++i) {
        CMpu* moved = m_units->GetAt(i);
        if (moved->IsAnimationTimerActive()) {
            moved->StopAnimationTimer();
            animating.push_back(moved);
        }
    }
    {
        const CComputer::CRunThreadPause hold(*this);
        m_units->Remove(unit);
        m_debugger->UnitRemoved(slot);
    }
    for (CMpu* moved : animating)
        moved->StartAnimationTimer(AnimationPeriod(moved->GetAnimationRate()));
    const int stillActive = m_units->IndexOf(active);
    SetActiveProcessor(static_cast<uint32_t>(stillActive >= 0 ? stillActive : 0));
    delete unit;
    SetModifiedFlag();
    UpdateAllViews(kRedrawAll);
    return true;
}

bool CComputer::EditUnit(int slot, const std::string& name, uint32_t irqMask, std::string* error) {
    if (!m_units || slot < 0 || slot >= m_units->GetCount())
        return Refuse(error, "there is no unit in slot " + std::to_string(slot));
    if (name.empty()) return Refuse(error, kNameAndClassNeededText);
    CMpu* unit = m_units->GetAt(slot);
    {
        const CComputer::CRunThreadPause hold(*this);
        unit->SetName(name);
        unit->SetIrqMask(0);
        unit->Reset();
        unit->SetIrqMask(irqMask & 0x7FFF);
    }
    if (unit == m_active) SetActiveProcessor(static_cast<uint32_t>(slot));
    SetModifiedFlag();
    UpdateAllViews(kRedrawAll);
    return true;
}

bool CComputer::AddDevice(const SDeviceSettings& settings, std::string* error) {
    if (!m_devices) return Refuse(error, "there is no workspace");
    if (settings.className.empty() || settings.name.empty())
        return Refuse(error, kNameAndClassNeededText);
    std::unique_ptr<CDevice> device = DeviceClasses().Create(settings.className);
    if (!device) {
        return Refuse(error, "unknown device class " + settings.className + " (the classes are " +
                                 ClassNames(DeviceClasses()) + ")");
    }
    if (!CheckDeviceSettings(settings, dynamic_cast<CRam*>(device.get()) != nullptr, error))
        return false;
    // Configured before it joins the bus, so the bus changes once.
    if (!ApplyDeviceSettings(*device, settings, error)) return false;
    m_devices->AddTail(device.release());
    SetModifiedFlag();
    UpdateAllViews(kRedrawAll);
    return true;
}

bool CComputer::EditDevice(int index, const SDeviceSettings& settings, std::string* error) {
    CDevice* device = m_devices ? m_devices->GetAt(index) : nullptr;
    if (!device) return Refuse(error, "there is no device number " + std::to_string(index));
    if (settings.name.empty()) return Refuse(error, kNameAndClassNeededText);
    if (!CheckDeviceSettings(settings, dynamic_cast<CRam*>(device) != nullptr, error)) return false;
    if (!ApplyDeviceSettings(*device, settings, error)) return false;
    SetModifiedFlag();
    UpdateAllViews(kRedrawAll);
    return true;
}

bool CComputer::RemoveDevice(int index, std::string* error) {
    CDevice* device = m_devices ? m_devices->GetAt(index) : nullptr;
    if (!device) return Refuse(error, "there is no device number " + std::to_string(index));
    m_devices->Remove(device);
    SetModifiedFlag();
    UpdateAllViews(kRedrawAll);
    return true;
}

bool CComputer::MoveDevice(int index, int delta, std::string* error) {
    CDevice* device = m_devices ? m_devices->GetAt(index) : nullptr;
    if (!device) return Refuse(error, "there is no device number " + std::to_string(index));
    if (delta != -1 && delta != 1) return Refuse(error, "a device moves one place at a time");
    if (delta < 0) {
        m_devices->MoveUp(device);
    } else {
        m_devices->MoveDown(device);
    }
    SetModifiedFlag();
    UpdateAllViews(kRedrawAll);
    return true;
}

std::optional<SDeviceSettings> CComputer::GetDeviceSettings(int index) const {
    const CDevice* device = m_devices ? m_devices->GetAt(index) : nullptr;
    if (!device) return std::nullopt;
    SDeviceSettings settings;
    settings.className = device->GetClassName();
    settings.name = device->GetName();
    settings.from = device->GetFrom();
    settings.to = device->GetTo();
    settings.stride = device->GetStride();
    settings.irqCode = device->GetIrqCode();
    settings.timeScale = device->GetTimeScale();
    if (const auto* ram = dynamic_cast<const CRam*>(device)) {
        settings.size = ram->GetSize();
        settings.writable = ram->IsWritable();
    }
    return settings;
}
