#include "core/Devices.h"

#include <algorithm>
#include <typeinfo>
#include <vector>

#include "core/Computer.h"
#include "core/Device.h"
#include "core/History.h"
#include "core/Mpus.h"
#include "core/Ram.h"

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

bool CDevices::TappedBytes(uint32_t address, uint32_t size, bool write, bool force,
                           uint8_t*& bytesOut) const {
    // Only the thread that may use the direct path, inside a unit's step.
    if (t_directBus != this || !t_stepping.unit || address >= kMappedSpan) return false;
    const uint32_t bytes = size & 0x7F;
    if (bytes - 1 > 3) return false;
    const uint32_t index = address >> kPageBits;
    const uint32_t offset = address & (kPageSize - 1);
    const SPage& page = m_untappedPages[index];
    if (offset < page.first || offset + bytes > page.end) return false;
    if (write && !page.writable && !force) return false;
    bytesOut = reinterpret_cast<uint8_t*>(page.base + offset);
    return true;
}

uint32_t CDevices::ReadLocked(uint32_t address, uint32_t size) const {
    uint8_t* p;
    if (TappedBytes(address, size, false, false, p)) {
        const uint32_t value = size & kSwap ? LoadBig(p, size & 0x7F) : LoadLittle(p, size & 0x7F);
        if (CBusTap* tap = m_tap.Load())
            tap->OnRead(*t_stepping.unit, t_stepping.slot, address, size & 0x7F, value);
        return value;
    }
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
        // Only a unit's own accesses are watched.
        if (t_stepping.unit) {
            if (CBusTap* tap = m_tap.Load())
                tap->OnRead(*t_stepping.unit, t_stepping.slot, address, size & 0x7F, result);
        }
    }
    return result;
}

uint32_t CDevices::WriteLocked(uint32_t address, uint32_t value, uint32_t size, bool force) {
    const uint32_t asWritten = value;
    const uint32_t bytes = size & 0x7F;
    if (size & kSwap) value = SwapBytes(value, bytes);
    // A unit's own write: the history recording its step keeps the bytes it
    // overwrites, the tap sees it.
    CHistory* const history = m_writesLocked ? CHistory::Recording() : nullptr;
    CBusTap* const tap = t_stepping.unit ? m_tap.Load() : nullptr;
    uint8_t* p;
    if ((history || tap) && TappedBytes(address, size, true, force, p)) {
        if (history) {
            for (uint32_t n = 0; n < bytes; ++n)
                history->NoteWrite(address + n, LoadByte(p + n));
        }
        StoreLittle(p, value, bytes);
        if (tap) tap->OnWrite(*t_stepping.unit, t_stepping.slot, address, bytes, asWritten);
        return 0xFFFFFFFF;  // what the one memory device holding it answers
    }
    uint32_t result = 0;
    std::lock_guard guard(m_lock);
    if (history) {
        for (uint32_t n = 0; n < bytes && n < 4; ++n) {
            if (const int old = PeekHeld(address + n); old >= 0)
                history->NoteWrite(address + n, static_cast<uint8_t>(old));
        }
    }
    for (CDevice* device = m_head; device; device = device->m_next) {
        if (device->InRange(address))
            result |= device->Write(device->MapAddress(address), value, size & 0x7F, force);
    }
    if (tap) tap->OnWrite(*t_stepping.unit, t_stepping.slot, address, size & 0x7F, asWritten);
    return result;
}

int CDevices::PeekHeld(uint32_t address) const {
    for (CDevice* device = m_head; device; device = device->m_next) {
        if (!device->InRange(address)) continue;
        // Memory has no side effects on a read; other devices may have.
        if (typeid(*device) != typeid(CRam)) return -1;
        const uint32_t byte = device->Read(device->MapAddress(address), 1);
        return byte > 0xFF ? -1 : static_cast<int>(byte);
    }
    return -1;
}

void CDevices::SetTap(CBusTap* tap, const TapPages& pages, bool writesLocked) {
    ChangeStructure([&] {
        m_tap = tap;
        if (tap)
            m_tapPages = pages;
        else
            m_tapPages.fill({});
        m_writesLocked = writesLocked;
    });
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
    // By the base, not by a walk: thousands of devices with timers would
    // otherwise cost a walk of the whole list for every expiry.
    const auto found = m_byTimerBase.find(id & 0xFFFFFFF0u);
    if (found != m_byTimerBase.end()) found->second->OnTimer(id - found->first);
}

// --- Structure changes --------------------------------------------------------

CDevices::CRunThreadHold::CRunThreadHold(const CDevices& bus) : m_computer(bus.m_computer) {
    if (m_computer) m_computer->PauseRunThread();
}

CDevices::CRunThreadHold::~CRunThreadHold() {
    if (m_computer) m_computer->ResumeRunThread();
}

void CDevices::SetComputer(CComputer* computer) {
    const bool hadNone = m_computer == nullptr;
    m_computer = computer;
    if (!hadNone || !computer) return;
    for (CDevice* device = m_head; device; device = device->m_next) {
        for (uint32_t n = 0; n < CDevice::kTimers; ++n) {
            if (device->m_timerActive[n])
                device->Host().StartTimer(device->m_timerBase + n, device->m_timerPeriod[n]);
        }
    }
}

uint32_t CDevices::TakeTimerBase() {
    // A base never covers the units' animation ids (0x4000-0x4007).
    if (m_nextTimerBase == kAnimationTimerBlock) m_nextTimerBase += 0x10;
    const uint32_t base = m_nextTimerBase;
    m_nextTimerBase += 0x10;
    return base;
}

void CDevices::AddTail(CDevice* device) {
    if (!device) return;
    ChangeStructure([&] { Link(device); });
}

void CDevices::AddTailAll(std::vector<std::unique_ptr<CDevice>>& devices) {
    ChangeStructure([&] {
        for (std::unique_ptr<CDevice>& device : devices) {
            if (device) Link(device.release());
        }
    });
    devices.clear();
}

void CDevices::Link(CDevice* device) {
    {
        device->m_timerBase = TakeTimerBase();
        m_byTimerBase[device->m_timerBase] = device;
        device->m_owner = this;
        device->m_next = nullptr;
        device->m_previous = m_tail;
        if (m_tail)
            m_tail->m_next = device;
        else
            m_head = device;
        m_tail = device;
        ++m_count;
        // A device that started timers before it was on a bus (the clock starts
        // its update timer when it is created) had them on no host; they start now.
        for (uint32_t n = 0; n < CDevice::kTimers; ++n) {
            if (device->m_timerActive[n])
                device->Host().StartTimer(device->m_timerBase + n, device->m_timerPeriod[n]);
        }
    }
}

bool CDevices::Contains(const CDevice* device) const {
    for (CDevice* d = m_head; d; d = d->m_next) {
        if (d == device) return true;
    }
    return false;
}

void CDevices::Unlink(CDevice* device) {
    m_byTimerBase.erase(device->m_timerBase);
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
    if (!device) return;
    bool removed = false;
    ChangeStructure([&] {
        if (!Contains(device)) return;
        Unlink(device);
        if (device->IsRequestingInterrupt()) {
            device->m_irqRequest = false;
            Withdraw(*device);
        }
        removed = true;
    });
    // Deleted while still owned, so it can stop its timers through the host;
    // no thread reaches it any more, not even through the page map.
    if (removed) delete device;
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

void CDevices::SwapWithPrevious(CDevice* device) {
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

void CDevices::MoveUp(CDevice* device) {
    if (!device) return;
    ChangeStructure([&] {
        if (Contains(device) && device->m_previous) SwapWithPrevious(device);
    });
}

void CDevices::MoveDown(CDevice* device) {
    if (!device) return;
    ChangeStructure([&] {
        if (Contains(device) && device->m_next) SwapWithPrevious(device->m_next);
    });
}

void CDevices::RemoveAll() {
    std::vector<CDevice*> removed;
    ChangeStructure([&] {
        for (CDevice* device = m_head; device; device = device->m_next)
            removed.push_back(device);
        m_head = m_tail = nullptr;
        m_count = 0;
        m_nextTimerBase = kFirstTimerBase;
        m_byTimerBase.clear();
    });
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

void CDevices::Withdraw(const CDevice& device) {
    CMpus* units = m_computer ? m_computer->GetMpus() : nullptr;
    if (!units) return;
    const int code = device.GetIrqCode();
    for (int i = 0; i < units->GetCount(); ++i) {
        CMpu* unit = units->GetAt(i);
        if (code < 0 || !unit->AcceptsIrqCode(code)) continue;
        const CDevice* other = m_head;
        for (; other; other = other->m_next) {
            if (other->IsRequestingInterrupt() && other->GetIrqCode() >= 0 &&
                other->GetIrqCode() < 15 && unit->AcceptsIrqCode(other->GetIrqCode()))
                break;
        }
        if (other)
            unit->Interrupt(false, true, other->GetIrqCode());
        else
            unit->ClearInterrupt(false, true, kWithdrawCode);
    }
}

// --- The page map -------------------------------------------------------------

CDevices::SPageRun CDevices::GetPageRun(uint32_t page) const {
    if (page >= kPages) return {};
    std::lock_guard guard(m_lock);
    const SPage& entry = m_pages[page];
    return {entry.first, entry.end, entry.writable};
}

// The windows cut the mapped span into segments held by a fixed set of
// devices, found in one sweep over the window edges in address order. A
// segment held by exactly one device, a plain CRam with stride 1 whose buffer
// covers it, can be served directly; neighbouring segments of the same memory
// within a page join into a run, and the page keeps its longest run. A device
// that decodes otherwise than by its window leaves every page on the locked
// path. The sweep costs O(n log n) in the devices plus the pages, so a list of
// thousands of small memories is mapped as fast as a few large ones.
void CDevices::ClearPageMap() {
    m_untappedPages.fill(SPage{});
    m_wholeRead.fill(0);
    m_wholeWrite.fill(0);
    m_wholeWriteRecorded.fill(0);
    m_pages.fill(SPage{});
}

void CDevices::RebuildPageMap() {
    ClearPageMap();

    struct SWindow {
        uint32_t from;
        uint32_t to;  // inclusive
        CRam* ram;    // the memory when it can be served directly
    };
    std::vector<SWindow> windows;
    for (CDevice* device = m_head; device; device = device->m_next) {
        if (!device->DecodesByWindow()) return;
        const uint32_t from = device->GetFrom();
        const uint32_t to = device->GetTo();
        if (from > to || from >= kMappedSpan) continue;
        CRam* ram = nullptr;
        if (typeid(*device) == typeid(CRam) && device->GetStride() == 1) {
            auto* memory = static_cast<CRam*>(device);
            if (memory->m_buffer && memory->m_size > 0) ram = memory;
        }
        windows.push_back({from, std::min(to, kMappedSpan - 1), ram});
    }

    // Edges: a window starts holding at from and stops at to + 1. While
    // exactly one window holds, the sum of the holders' numbers names it.
    struct SEdge {
        uint32_t at;
        int64_t number;  // window index + 1, negative where it stops
    };
    std::vector<SEdge> edges;
    edges.reserve(2 * windows.size());
    for (size_t i = 0; i < windows.size(); ++i) {
        const auto number = static_cast<int64_t>(i + 1);
        edges.push_back({windows[i].from, number});
        edges.push_back({windows[i].to + 1, -number});
    }
    std::sort(edges.begin(), edges.end(),
              [](const SEdge& a, const SEdge& b) { return a.at < b.at; });

    // The page in hand, its longest run and the run being built.
    uint32_t page = 0;
    SPage best;
    SPage run;
    const CRam* runRam = nullptr;
    const auto closeRun = [&] {
        if (runRam && run.end - run.first > best.end - best.first) best = run;
        runRam = nullptr;
    };
    const auto finishPage = [&] {
        closeRun();
        // A tapped page keeps the accesses the tap sees off the direct path:
        // it is not served whole for that kind of access, and its run leaves
        // out the chunks the tap watches.
        m_untappedPages[page] = best;
        const STapPage& tapped = m_tapPages[page];
        best.tapped = tapped.reads | tapped.writes;
        best.recordedWritable = best.writable;
        if (m_writesLocked) best.writable = false;
        if (best.first == 0 && best.end == kPageSize) {
            m_wholeRead[page] = tapped.reads == 0 ? best.base : 0;
            m_wholeWrite[page] = best.writable && tapped.writes == 0 ? best.base : 0;
            m_wholeWriteRecorded[page] =
                best.recordedWritable && tapped.writes == 0 ? best.base : 0;
        }
        m_pages[page] = best;
        best = SPage{};
    };
    int64_t holders = 0;
    int64_t sum = 0;
    uint32_t position = 0;
    size_t e = 0;
    while (position < kMappedSpan) {
        while (e < edges.size() && edges[e].at == position) {
            holders += edges[e].number > 0 ? 1 : -1;
            sum += edges[e].number;
            ++e;
        }
        const uint32_t next = e < edges.size() ? std::min(edges[e].at, kMappedSpan) : kMappedSpan;
        CRam* ram = holders == 1 ? windows[static_cast<size_t>(sum - 1)].ram : nullptr;
        // Only the part the buffer covers; an access past it reads nothing.
        uint32_t servedEnd = next;
        if (ram) {
            const uint64_t bufferEnd = uint64_t{ram->GetFrom()} + ram->m_size;
            if (bufferEnd <= position)
                ram = nullptr;
            else if (bufferEnd < next)
                servedEnd = static_cast<uint32_t>(bufferEnd);
        }
        // Walk the pages the segment touches; only memory makes runs.
        uint32_t at = position;
        while (at < next) {
            const uint32_t atPage = at >> kPageBits;
            if (atPage != page) {
                finishPage();
                page = atPage;
            }
            const uint32_t pageStart = atPage << kPageBits;
            const uint32_t pieceEnd = std::min(next, pageStart + kPageSize);
            if (!ram || at >= servedEnd) {
                // Nothing served in the rest of the segment: the pages before
                // its last keep no run.
                closeRun();
                at = std::max(pieceEnd, ((next - 1) >> kPageBits) << kPageBits);
                continue;
            }
            const uint32_t first = at - pageStart;
            const uint32_t servedPieceEnd = std::min(servedEnd, pieceEnd);
            if (ram != runRam || run.end != first) {
                closeRun();
                runRam = ram;
                run.base = reinterpret_cast<uintptr_t>(ram->m_buffer.get()) +
                           (uintptr_t{pageStart} - ram->GetFrom());
                run.first = static_cast<uint16_t>(first);
                run.writable = ram->IsWritable();
            }
            run.end = static_cast<uint16_t>(servedPieceEnd - pageStart);
            if (servedPieceEnd != pieceEnd) closeRun();
            at = pieceEnd;
        }
        position = next;
    }
    finishPage();
}
