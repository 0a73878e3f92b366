#pragma once
// CDevice: everything on the simulated bus. The bus decodes addresses by the
// window From..To (inclusive) and maps them with the stride; a device raises
// interrupts with its IRQ code and owns sixteen periodic timers whose ids are
// its timer-id base + 0..15.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "core/Relaxed.h"

class CArchive;
class CDevices;
class CHost;

class CDevice {
public:
    static constexpr int kTimers = 16;
    static constexpr uint32_t kNothing = 0xFFFFFFFF;

    CDevice() = default;
    CDevice(const CDevice&) = delete;
    CDevice& operator=(const CDevice&) = delete;
    // Stops every active timer. Derived devices with threads join them in
    // their own destructors.
    virtual ~CDevice();

    virtual const char* GetClassName() const { return "CDevice"; }
    // The stored record: From, To, Name; derived devices add their own fields.
    virtual void Serialize(CArchive& ar);
    // What the workspace file's extension block keeps of the device beyond
    // its record: here stride, IRQ code, time scale and the running timers;
    // a derived device appends what its record drops. Fields are only ever
    // appended. Loading may fail the archive after setting some fields: the
    // caller then discards the device.
    virtual void SerializeSettings(CArchive& ar);

    // Read, Write, Reset (through CDevices::ResetAll) and OnTimer run with the
    // bus lock held, so they never overlap and must not access the bus
    // themselves. Initialize is called on a device before it is on a bus.
    virtual void Initialize() { Reset(); }
    virtual void Reset() {}
    // Device timer timerIndex (0 to 15) expired; on the event thread.
    virtual void OnTimer(uint32_t /*timerIndex*/) {}
    virtual void StartTimer(uint32_t periodMs, uint32_t timerIndex);
    virtual void StopTimer(uint32_t timerIndex);
    virtual bool InRange(uint32_t address) const { return m_from <= address && address <= m_to; }
    // True when InRange is exactly From <= address <= To. A class that
    // overrides InRange overrides this to return false: the bus then keeps
    // every access on its locked path instead of reading plain memory
    // directly (CDevices' page map trusts the windows).
    virtual bool DecodesByWindow() const { return true; }
    // address is already mapped; size is 1 to 4 without the byte-swap flag.
    virtual uint32_t Read(uint32_t /*address*/, uint32_t /*size*/) { return kNothing; }
    virtual uint32_t Write(uint32_t /*address*/, uint32_t /*value*/, uint32_t /*size*/,
                           bool /*force*/) {
        return kNothing;
    }
    // True when the device has settings of its own beyond the common ones
    // (the device dialog's "&More >>" button).
    virtual bool HasSettings() const { return false; }
    // A request (irq) or an NMI to the units that accept the IRQ code, in the
    // order of CMpu::Interrupt. The request stays until the device withdraws
    // it with ClearInterrupt; a unit's request line is the OR of the requests
    // of the devices whose codes it accepts, so a withdrawal leaves the other
    // devices' requests standing. Call both with the bus lock held.
    virtual void RaiseInterrupt(bool nmi, bool irq);
    virtual void ClearInterrupt(bool nmi, bool irq);
    bool IsRequestingInterrupt() const { return m_irqRequest; }

    // (address - From) / Stride + From; a stride of 0 counts as 1.
    uint32_t MapAddress(uint32_t address) const {
        const uint32_t stride = m_stride;
        return stride > 1 ? (address - m_from) / stride + m_from : address;
    }

    const std::string& GetName() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }
    // A change of the window on a bus holds the workspace's run thread
    // between passes (CDevices::ChangeStructure); call it without the bus lock.
    void SetRange(uint32_t from, uint32_t to, uint32_t stride = 1);
    uint32_t GetFrom() const { return m_from; }
    uint32_t GetTo() const { return m_to; }
    uint32_t GetStride() const { return m_stride; }
    void SetStride(uint32_t stride);
    int GetIrqCode() const { return m_irqCode; }
    void SetIrqCode(int code) { m_irqCode = code; }
    uint32_t GetTimeScale() const { return m_timeScale; }
    void SetTimeScale(uint32_t scale) { m_timeScale = scale; }

    uint32_t GetTimerBase() const { return m_timerBase; }
    bool IsTimerActive(uint32_t timerIndex) const {
        return timerIndex < kTimers && m_timerActive[timerIndex];
    }
    CDevices* GetOwner() const { return m_owner; }
    CDevice* GetNext() const { return m_next; }
    CDevice* GetPrevious() const { return m_previous; }

protected:
    // The host of the owning workspace (one that does nothing while the
    // device is on no bus).
    CHost& Host() const;
    // Runs change, which moves the window or replaces storage the bus's page
    // map may point into, through the owning bus's ChangeStructure (or
    // directly on no bus); call it without the bus lock.
    void ChangeStructure(const std::function<void()>& change);

private:
    friend class CDevices;

    CDevice* m_next = nullptr;
    CDevice* m_previous = nullptr;
    uint32_t m_timerBase = 0;
    std::array<bool, kTimers> m_timerActive{};
    // Periods of the active timers, so that timers started before the device
    // is on a bus reach the host when it is added (CDevices::AddTail).
    std::array<uint32_t, kTimers> m_timerPeriod{};
    CDevices* m_owner = nullptr;
    Relaxed<uint32_t> m_from{0};
    Relaxed<uint32_t> m_to{0};
    std::string m_name;
    Relaxed<int> m_irqCode{-1};
    Relaxed<bool> m_irqRequest{false};
    Relaxed<uint32_t> m_stride{1};
    uint32_t m_timeScale = 0;
};
