#include "core/Devices.h"

#include <vector>

#include "core/Computer.h"
#include "core/Device.h"
#include "core/Mpus.h"

CDevices::~CDevices() {
    RemoveAll();
}

uint32_t CDevices::SwapBytes(uint32_t value, uint32_t size) {
    switch (size) {
        case 2: return (value & 0xFF) << 8 | (value >> 8 & 0xFF);
        case 3: return (value & 0xFF) << 16 | (value & 0xFF00) | (value >> 16 & 0xFF);
        case 4: return value << 24 | (value & 0xFF00) << 8 | (value >> 8 & 0xFF00) | value >> 24;
        default: return value;
    }
}

uint32_t CDevices::Read(uint32_t address, uint32_t size) const {
    uint32_t result = 0xFFFFFFFF;
    {
        std::lock_guard guard(m_lock);
        for (CDevice* device = m_head; device; device = device->m_next) {
            if (device->InRange(address)) {
                result = device->Read(device->MapAddress(address), size & 0x7F);
                if (size & kSwap) result = SwapBytes(result, size & 0x7F);
                break;
            }
        }
    }
    return result;
}

uint32_t CDevices::Write(uint32_t address, uint32_t value, uint32_t size, bool force) {
    if (size & kSwap) value = SwapBytes(value, size & 0x7F);
    uint32_t result = 0;
    std::lock_guard guard(m_lock);
    for (CDevice* device = m_head; device; device = device->m_next) {
        if (device->InRange(address))
            result |= device->Write(device->MapAddress(address), value, size & 0x7F, force);
    }
    return result;
}

bool CDevices::AnyInRange(uint32_t address) const {
    std::lock_guard guard(m_lock);
    for (CDevice* device = m_head; device; device = device->m_next) {
        if (device->InRange(address)) return true;
    }
    return false;
}

void CDevices::OnTimer(uint32_t id) {
    std::lock_guard guard(m_lock);
    for (CDevice* device = m_head; device; device = device->m_next) {
        if (device->m_timerBase == (id & 0xFFFFFFF0u)) {
            device->OnTimer(id - device->m_timerBase);
            return;
        }
    }
}

void CDevices::AddTail(CDevice* device) {
    if (!device) return;
    std::lock_guard guard(m_lock);
    device->m_timerBase = m_nextTimerBase;
    m_nextTimerBase += 0x10;
    device->m_owner = this;
    device->m_next = nullptr;
    device->m_previous = m_tail;
    if (m_tail)
        m_tail->m_next = device;
    else
        m_head = device;
    m_tail = device;
    ++m_count;
    // A device that started timers before it was on a bus (the clock starts its
    // update timer when it is created) had them on no host; they start now.
    for (uint32_t n = 0; n < CDevice::kTimers; ++n) {
        if (device->m_timerActive[n])
            device->Host().StartTimer(device->m_timerBase + n, device->m_timerPeriod[n]);
    }
}

bool CDevices::Contains(const CDevice* device) const {
    for (CDevice* d = m_head; d; d = d->m_next) {
        if (d == device) return true;
    }
    return false;
}

void CDevices::Unlink(CDevice* device) {
    if (device->m_previous)
        device->m_previous->m_next = device->m_next;
    else
        m_head = device->m_next;
    if (device->m_next)
        device->m_next->m_previous = device->m_previous;
    else
        m_tail = device->m_previous;
    device->m_next = device->m_previous = nullptr;
    --m_count;
}

void CDevices::Remove(CDevice* device) {
    {
        std::lock_guard guard(m_lock);
        if (!device || !Contains(device)) return;
        Unlink(device);
    }
    // Deleted while still owned, so it can stop its timers through the host.
    delete device;
}

void CDevices::Remove(std::string_view name) {
    Remove(FindByName(name));
}

CDevice* CDevices::FindByName(std::string_view name) const {
    for (CDevice* device = m_head; device; device = device->m_next) {
        if (device->m_name == name) return device;
    }
    return nullptr;
}

CDevice* CDevices::GetAt(int n) const {
    if (n < 0) return nullptr;
    CDevice* device = m_head;
    while (device && n-- > 0)
        device = device->m_next;
    return device;
}

void CDevices::MoveUp(CDevice* device) {
    std::lock_guard guard(m_lock);
    if (!device || !Contains(device) || !device->m_previous) return;
    CDevice* before = device->m_previous;
    // before, device -> device, before
    CDevice* outerPrev = before->m_previous;
    CDevice* outerNext = device->m_next;
    device->m_previous = outerPrev;
    device->m_next = before;
    before->m_previous = device;
    before->m_next = outerNext;
    if (outerPrev)
        outerPrev->m_next = device;
    else
        m_head = device;
    if (outerNext)
        outerNext->m_previous = before;
    else
        m_tail = before;
}

void CDevices::MoveDown(CDevice* device) {
    CDevice* after = nullptr;
    {
        std::lock_guard guard(m_lock);
        if (!device || !Contains(device) || !device->m_next) return;
        after = device->m_next;
    }
    MoveUp(after);
}

void CDevices::RemoveAll() {
    std::vector<CDevice*> removed;
    {
        std::lock_guard guard(m_lock);
        for (CDevice* device = m_head; device; device = device->m_next)
            removed.push_back(device);
        m_head = m_tail = nullptr;
        m_count = 0;
        m_nextTimerBase = kFirstTimerBase;
    }
    for (CDevice* device : removed) {
        device->m_next = device->m_previous = nullptr;
        delete device;
    }
}

void CDevices::ResetAll() {
    std::lock_guard guard(m_lock);
    for (CDevice* device = m_head; device; device = device->m_next)
        device->Reset();
}

void CDevices::Interrupt(bool nmi, bool irq, int code) {
    if (m_computer && m_computer->GetMpus()) m_computer->GetMpus()->Interrupt(nmi, irq, code);
}

void CDevices::ClearInterrupt(bool nmi, bool irq, int code) {
    if (m_computer && m_computer->GetMpus()) m_computer->GetMpus()->ClearInterrupt(nmi, irq, code);
}
