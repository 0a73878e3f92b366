#pragma once
// CDevices: the bus. An ordered, doubly linked list of devices; a read is
// answered by the first device whose window holds the address, a write
// reaches every device that holds it. One lock serialises device calls and
// changes of the list; devices are deleted outside it, so a device may join
// its own threads (which read the bus) when it is destroyed.
//
// Size argument: bits 0-6 give the access size in bytes (1 to 4); 0x80 asks
// for the value byte-swapped by that size (big-endian order).
//
// Direct path: the low 16 MiB are cut into 4 KiB pages, and each page may
// name one run of addresses that only a plain memory device (a CRam with
// stride 1) holds, inside its window and its buffer. A thread that holds a
// CDirectAccess for the bus (the run thread does) reads and writes such a run
// straight from the buffer, without the lock; every other access, and every
// access that leaves the run, takes the locked path. Both give the same
// results: shadowing, writes to every holder, ROM, unmapped addresses and
// windows larger than their buffers all fall outside any run.
//
// Memory safety: the page map points into buffers, so everything that could
// change it (the list, a window, a stride, a memory size or writability) goes
// through ChangeStructure, which holds the workspace's run thread between two
// passes while it changes and rebuilds the map. Bytes of memory are relaxed
// atomics, so the direct path never races with locked accesses.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/BusLock.h"
#include "core/Relaxed.h"

class CArchive;
class CComputer;
class CDevice;
class CDevices;
class CHistory;
class CMpu;

// Sees the bus accesses a unit makes while it steps (watchpoints). Only
// accesses on the locked path reach it; the bus keeps the watched chunks of
// memory off the direct path. Called on the stepping thread, with the bus lock
// held where a device answers: it must not use the bus except through
// PeekHeld. The bytes a step overwrites go from the bus straight to the
// history recording it (CHistory::NoteWrite), when writes are kept off the
// direct path for it.
// The unit a thread is stepping, and its slot.
struct SStepping {
    CMpu* unit = nullptr;
    int slot = -1;
};

class CBusTap {
public:
    virtual ~CBusTap() = default;
    // size without the byte-swap flag; value as the unit sees it.
    virtual void OnRead(CMpu& unit, int slot, uint32_t address, uint32_t size, uint32_t value) = 0;
    virtual void OnWrite(CMpu& unit, int slot, uint32_t address, uint32_t size, uint32_t value) = 0;
};

class CDevices {
public:
    static constexpr uint32_t kFirstTimerBase = 0x10;
    // The block of timer ids that holds the units' animation timers.
    static constexpr uint32_t kAnimationTimerBlock = 0x4000;
    static constexpr uint32_t kSwap = 0x80;
    // The IRQ code with which a withdrawal reaches a unit: no request pending.
    static constexpr int kWithdrawCode = 15;
    // The page map.
    static constexpr uint32_t kPageBits = 12;
    static constexpr uint32_t kPageSize = 1u << kPageBits;
    static constexpr uint32_t kMappedSpan = 16u << 20;
    static constexpr uint32_t kPages = kMappedSpan / kPageSize;

    CDevices() = default;
    CDevices(const CDevices&) = delete;
    CDevices& operator=(const CDevices&) = delete;
    ~CDevices();

    // Takes ownership: links the device at the tail and hands it the next
    // timer-id base (0x10, 0x20, ..., skipping 0x4000, whose ids animate the
    // units).
    void AddTail(CDevice* device);
    // AddTail of each, in order, as one change of the structure: the page map
    // is built once, not once per device (a loaded workspace).
    void AddTailAll(std::vector<std::unique_ptr<CDevice>>& devices);
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

    // The direct check is inlined into every caller; the locked path is not.
    [[gnu::always_inline]] uint32_t Read(uint32_t address, uint32_t size) const {
        uint8_t* p;
        if (DirectBytes(address, size, false, false, p))
            return size & kSwap ? LoadBig(p, size & 0x7F) : LoadLittle(p, size & 0x7F);
        return ReadLocked(address, size);
    }
    [[gnu::always_inline]] uint32_t Write(uint32_t address, uint32_t value, uint32_t size,
                                          bool force) {
        uint8_t* p;
        if (DirectBytes(address, size, true, force, p)) {
            if (size & kSwap)
                StoreBig(p, value, size & 0x7F);
            else
                StoreLittle(p, value, size & 0x7F);
            return 0xFFFFFFFF;  // what the one memory device holding it answers
        }
        return WriteLocked(address, value, size, force);
    }
    // A write of the step that history is recording (a core that notes its
    // own writes): memory is written directly although writes are kept off
    // the direct path for history, and the bytes overwritten go to history
    // first, in the room its CHistory::OpenStep made; anything else takes
    // the locked path, which notes them there.
    [[gnu::always_inline]] uint32_t WriteRecorded(uint32_t address, uint32_t value, uint32_t size,
                                                  bool force, CHistory& history);
    // The same accesses, always through the lock and the device list. Cold:
    // the compiler then lays the direct path out as the straight line.
    [[gnu::cold]] uint32_t ReadLocked(uint32_t address, uint32_t size) const;
    [[gnu::cold]] uint32_t WriteLocked(uint32_t address, uint32_t value, uint32_t size, bool force);

    // Device timer dispatch: the device whose base is id & ~0xF gets id - base.
    void OnTimer(uint32_t id);

    // Timers the devices started while the list had no workspace (a loaded
    // list is read before it has one) start on the new workspace's host.
    void SetComputer(CComputer* computer);
    CComputer* GetComputer() const { return m_computer; }

    // Interrupts raised by devices travel to the workspace's units.
    void Interrupt(bool nmi, bool irq, int code);
    void ClearInterrupt(bool nmi, bool irq, int code);
    // device has withdrawn its request: every unit that accepts its code
    // keeps its line up for the first other device still requesting one of
    // its codes (with that device's code), or is cleared with code 15. Bus
    // lock held.
    void Withdraw(const CDevice& device);

    // The unit whose step the calling thread is in (nullptr outside steps),
    // so that a tap knows whose access it sees. Display renderers, listings
    // and the monitor are never inside a step: their reads are not watched.
    class CSteppingUnit {
    public:
        CSteppingUnit(CMpu* unit, int slot) : m_previous(t_stepping) { t_stepping = {unit, slot}; }
        ~CSteppingUnit() { t_stepping = m_previous; }
        CSteppingUnit(const CSteppingUnit&) = delete;
        CSteppingUnit& operator=(const CSteppingUnit&) = delete;

    private:
        SStepping m_previous;
    };
    static void SetStepping(CMpu* unit, int slot) { t_stepping = {unit, slot}; }

    // What the tap watches of one page, in chunks of kTapChunk bytes (bit n:
    // offsets n x kTapChunk on): accesses of a watched chunk take the locked
    // path, where the tap sees them, the rest of the page stays direct;
    // with writesLocked every write takes it, so that history sees what a
    // step overwrites. Holds the run thread while the map changes.
    static constexpr uint32_t kTapChunkBits = 6;
    static constexpr uint32_t kTapChunk = 1u << kTapChunkBits;
    struct STapPage {
        uint64_t reads = 0;
        uint64_t writes = 0;
    };
    using TapPages = std::array<STapPage, kPages>;
    void SetTap(CBusTap* tap, const TapPages& pages, bool writesLocked);
    // The byte at address as the first memory device (CRam) holding it keeps
    // it, or -1 when no memory holds it there (a device register or nothing).
    // Bus lock held.
    int PeekHeld(uint32_t address) const;

    // The bus lock, for a device that must change its state together with an
    // interrupt request, and for storing memory consistently.
    CBusLock& Lock() const { return m_lock; }

    // Runs change, which may change the list, a window or a memory buffer,
    // with the workspace's run thread held between two passes and the bus
    // lock taken, then rebuilds the page map. Never call it with the bus lock
    // held: the run thread may be waiting for the lock inside a step.
    template <class Change>
    void ChangeStructure(Change&& change) {
        const CRunThreadHold hold(*this);
        std::lock_guard guard(m_lock);
        change();
        if (m_batchDepth == 0) {
            RebuildPageMap();
        } else if (!m_mapCleared) {
            ClearPageMap();
            m_mapCleared = true;
        }
    }

    // While one lives, changes of the structure leave the page map empty
    // (every access takes the locked path) and the last one to end builds it
    // once: many changes in a row (a loaded workspace's devices and their
    // settings) cost one build, not one each.
    class CStructureBatch {
    public:
        explicit CStructureBatch(CDevices& bus) : m_bus(bus) { ++m_bus.m_batchDepth; }
        ~CStructureBatch() {
            if (--m_bus.m_batchDepth != 0 || !m_bus.m_mapCleared) return;
            m_bus.m_mapCleared = false;
            m_bus.ChangeStructure([] {});
        }
        CStructureBatch(const CStructureBatch&) = delete;
        CStructureBatch& operator=(const CStructureBatch&) = delete;

    private:
        CDevices& m_bus;
    };

    // Holds the run thread of the bus's workspace (if any) between two passes
    // for its lifetime: memory then changes only through this thread and
    // locked accesses, so that it can be stored whole. Never make one with
    // the bus lock held.
    class CRunThreadHold {
    public:
        explicit CRunThreadHold(const CDevices& bus);
        ~CRunThreadHold();
        CRunThreadHold(const CRunThreadHold&) = delete;
        CRunThreadHold& operator=(const CRunThreadHold&) = delete;

    private:
        CComputer* m_computer;
    };

    // While it lives, the thread that made it may reach plain memory of the
    // bus directly. The run thread holds one for its bus; another thread may
    // hold one only while no thread but itself changes the bus's structure
    // (a benchmark or a test stepping a unit on its own bus).
    class CDirectAccess {
    public:
        explicit CDirectAccess(const CDevices* bus) : m_previous(t_directBus) { t_directBus = bus; }
        ~CDirectAccess() { t_directBus = m_previous; }
        CDirectAccess(const CDirectAccess&) = delete;
        CDirectAccess& operator=(const CDirectAccess&) = delete;

    private:
        const CDevices* m_previous;
    };

    // The run of addresses of a page the direct path serves: offsets
    // [first, end) within the page, and whether ordinary writes may store
    // there (forced writes always may). An empty run serves nothing.
    struct SPageRun {
        uint32_t first = 0;
        uint32_t end = 0;
        bool writable = false;
    };
    SPageRun GetPageRun(uint32_t page) const;

    // Swaps the bytes of value by size: 2, 3 or 4 bytes; other sizes unchanged.
    static uint32_t SwapBytes(uint32_t value, uint32_t size);

    // Memory bytes are relaxed atomics: plain byte moves on x86, yet never a
    // data race between the direct path and locked accesses.
    static uint8_t LoadByte(const uint8_t* p) {
        return std::atomic_ref<uint8_t>(*const_cast<uint8_t*>(p)).load(std::memory_order_relaxed);
    }
    static void StoreByte(uint8_t* p, uint8_t value) {
        std::atomic_ref<uint8_t>(*p).store(value, std::memory_order_relaxed);
    }
    // n bytes (1 to 4) from p, the first least significant. Written out by
    // size, so that a constant size leaves straight-line code.
    static uint32_t LoadLittle(const uint8_t* p, uint32_t n) {
        switch (n) {
            case 1: return LoadByte(p);
            case 2: return LoadByte(p) | uint32_t{LoadByte(p + 1)} << 8;
            case 3:
                return LoadByte(p) | uint32_t{LoadByte(p + 1)} << 8 |
                       uint32_t{LoadByte(p + 2)} << 16;
            default:
                return LoadByte(p) | uint32_t{LoadByte(p + 1)} << 8 |
                       uint32_t{LoadByte(p + 2)} << 16 | uint32_t{LoadByte(p + 3)} << 24;
        }
    }
    // n bytes from p, the first most significant: a little-endian load
    // byte-swapped by n.
    static uint32_t LoadBig(const uint8_t* p, uint32_t n) {
        switch (n) {
            case 1: return LoadByte(p);
            case 2: return uint32_t{LoadByte(p)} << 8 | LoadByte(p + 1);
            case 3:
                return uint32_t{LoadByte(p)} << 16 | uint32_t{LoadByte(p + 1)} << 8 |
                       LoadByte(p + 2);
            default:
                return uint32_t{LoadByte(p)} << 24 | uint32_t{LoadByte(p + 1)} << 16 |
                       uint32_t{LoadByte(p + 2)} << 8 | LoadByte(p + 3);
        }
    }
    static void StoreLittle(uint8_t* p, uint32_t value, uint32_t n) {
        StoreByte(p, static_cast<uint8_t>(value));
        if (n > 1) StoreByte(p + 1, static_cast<uint8_t>(value >> 8));
        if (n > 2) StoreByte(p + 2, static_cast<uint8_t>(value >> 16));
        if (n > 3) StoreByte(p + 3, static_cast<uint8_t>(value >> 24));
    }
    static void StoreBig(uint8_t* p, uint32_t value, uint32_t n) {
        StoreByte(p + (n - 1), static_cast<uint8_t>(value));
        if (n > 1) StoreByte(p + (n - 2), static_cast<uint8_t>(value >> 8));
        if (n > 2) StoreByte(p + (n - 3), static_cast<uint8_t>(value >> 16));
        if (n > 3) StoreByte(p, static_cast<uint8_t>(value >> 24));
    }

private:
    // The run of one page. base is the address of the byte at page offset 0
    // (it may lie before the buffer when the run starts later in the page).
    struct SPage {
        uintptr_t base = 0;
        uint16_t first = 0;
        uint16_t end = 0;
        bool writable = false;
        // writable as it is without history's write lock.
        bool recordedWritable = false;
        // The chunks the tap watches (either access), off the direct path.
        uint64_t tapped = 0;
    };

    // Whether the access takes the direct path, and then its bytes. A
    // recorded write may store where only history's write lock keeps
    // ordinary writes off.
    template <bool kRecorded = false>
    [[gnu::always_inline]] bool DirectBytes(uint32_t address, uint32_t size, bool write, bool force,
                                            uint8_t*& bytesOut) const {
        if (t_directBus != this || address >= kMappedSpan) return false;
        const uint32_t bytes = size & 0x7F;
        if (bytes - 1 > 3) return false;
        const uint32_t index = address >> kPageBits;
        const uint32_t offset = address & (kPageSize - 1);
        const bool fits = offset + bytes <= kPageSize;
        const uintptr_t whole = !write || force ? m_wholeRead[index]
                                : kRecorded     ? m_wholeWriteRecorded[index]
                                                : m_wholeWrite[index];
        if (whole && fits) {
            bytesOut = reinterpret_cast<uint8_t*>(whole + offset);
            return true;
        }
        const SPage& page = m_pages[index];
        if (offset < page.first || offset + bytes > page.end) return false;
        if (write && !(kRecorded ? page.recordedWritable : page.writable) && !force) return false;
        if (page.tapped != 0 && ((page.tapped >> (offset >> kTapChunkBits) |
                                  page.tapped >> ((offset + bytes - 1) >> kTapChunkBits)) &
                                 1) != 0)
            return false;
        bytesOut = reinterpret_cast<uint8_t*>(page.base + offset);
        return true;
    }
    // The direct path of a page as it is without the tap: a unit's own
    // accesses to tapped plain memory are served from it, tap called,
    // without the lock.
    bool TappedBytes(uint32_t address, uint32_t size, bool write, bool force,
                     uint8_t*& bytesOut) const;
    void RebuildPageMap();
    void ClearPageMap();
    void Link(CDevice* device);
    uint32_t TakeTimerBase();
    void Unlink(CDevice* device);
    bool Contains(const CDevice* device) const;
    // Exchanges device with its predecessor; the lock is held.
    void SwapWithPrevious(CDevice* device);

    static inline thread_local constinit const CDevices* t_directBus = nullptr;
    static inline thread_local constinit SStepping t_stepping{};

    mutable CBusLock m_lock;
    // Changed only by the thread that changes the structure.
    int m_batchDepth = 0;
    bool m_mapCleared = false;
    int m_count = 0;
    uint32_t m_nextTimerBase = kFirstTimerBase;
    CDevice* m_head = nullptr;
    CDevice* m_tail = nullptr;
    // The device of each timer-id base, for timer dispatch.
    std::unordered_map<uint32_t, CDevice*> m_byTimerBase;
    CComputer* m_computer = nullptr;
    // Pages one memory serves whole: the address of their first byte, for
    // reads and for ordinary writes (0 when that memory is read-only), so
    // that the common case costs one load and one test. Other pages may
    // serve a run, in m_pages.
    std::array<uintptr_t, kPages> m_wholeRead{};
    std::array<uintptr_t, kPages> m_wholeWrite{};
    std::array<uintptr_t, kPages> m_wholeWriteRecorded{};
    std::array<SPage, kPages> m_pages{};
    // The tap and the pages it watches; changed only through ChangeStructure.
    Relaxed<CBusTap*> m_tap{nullptr};
    TapPages m_tapPages{};
    std::array<SPage, kPages> m_untappedPages{};
    bool m_writesLocked = false;
};
