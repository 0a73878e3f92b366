#pragma once
// CDevices: the bus. An ordered, doubly linked list of devices; a read is
// answered by the first device whose window holds the address, a write
// reaches every device that holds it. One lock serialises device calls and
// changes of the list; devices are deleted outside it, so a device may join
// its own threads (which read the bus) when it is destroyed.
//
// Size argument: bits 0-6 give the access size in bytes (1 to 4); 0x80 asks
// for the value byte-swapped by that size (big-endian order).
#include <cstdint>
#include <mutex>
#include <string_view>

#include "core/BusLock.h"
#include "core/Relaxed.h"

class CArchive;
class CComputer;
class CDevice;

class CDevices {
public:
    static constexpr uint32_t kFirstTimerBase = 0x10;
    static constexpr uint32_t kSwap = 0x80;

    CDevices() = default;
    CDevices(const CDevices&) = delete;
    CDevices& operator=(const CDevices&) = delete;
    ~CDevices();

    // Takes ownership: links the device at the tail and hands it the next
    // timer-id base.
    void AddTail(CDevice* device);
    // Unlinks and deletes the device (nothing when it is not in the list).
    void Remove(CDevice* device);
    void Remove(std::string_view name);
    CDevice* FindByName(std::string_view name) const;
    CDevice* GetAt(int n) const;
    CDevice* GetHead() const { return m_head; }
    int GetCount() const { return m_count; }
    void MoveUp(CDevice* device);
    void MoveDown(CDevice* device);
    // Deletes every device; timer-id bases start again at 0x10.
    void RemoveAll();
    void ResetAll();
    bool AnyInRange(uint32_t address) const;

    uint32_t Read(uint32_t address, uint32_t size) const;
    uint32_t Write(uint32_t address, uint32_t value, uint32_t size, bool force);
    // Device timer dispatch: the device whose base is id & ~0xF gets id - base.
    void OnTimer(uint32_t id);

    void SetComputer(CComputer* computer) { m_computer = computer; }
    CComputer* GetComputer() const { return m_computer; }

    // Interrupts raised by devices travel to the workspace's units.
    void Interrupt(bool nmi, bool irq, int code);
    void ClearInterrupt(bool nmi, bool irq, int code);

    // The bus lock, for a device that changes its storage (a memory resize).
    CBusLock& Lock() const { return m_lock; }

    // Swaps the bytes of value by size: 2, 3 or 4 bytes; other sizes unchanged.
    static uint32_t SwapBytes(uint32_t value, uint32_t size);

private:
    void Unlink(CDevice* device);
    bool Contains(const CDevice* device) const;

    mutable CBusLock m_lock;
    int m_count = 0;
    uint32_t m_nextTimerBase = kFirstTimerBase;
    CDevice* m_head = nullptr;
    CDevice* m_tail = nullptr;
    CComputer* m_computer = nullptr;
};
