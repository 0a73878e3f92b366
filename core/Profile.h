#pragma once
// CProfile: how often each address of one unit began an instruction. The
// stepping thread counts; any thread may read the counts while it does.
// Counts live in 4096-address pages made on first use, so a 24-bit or 32-bit
// address space costs only what the program touches.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "core/Relaxed.h"

class CProfile {
public:
    CProfile();
    ~CProfile();
    CProfile(const CProfile&) = delete;
    CProfile& operator=(const CProfile&) = delete;

    void Count(uint32_t address) {
        Page* page = nullptr;
        if (Middle* middle = m_top[address >> kTopShift].load(std::memory_order_relaxed))
            page =
                (*middle)[address >> kPageBits & (kMiddleSize - 1)].load(std::memory_order_relaxed);
        if (!page) page = MakePage(address);
        ++(*page)[address & (kPageSize - 1)];
        ++m_total;
    }
    uint64_t GetTotal() const { return m_total.Load(); }
    uint64_t GetCount(uint32_t address) const;
    // Every address with a count, most executed first (ties by address).
    std::vector<std::pair<uint32_t, uint64_t>> GetCounts() const;
    // Only while nothing counts.
    void Clear();

private:
    static constexpr uint32_t kPageBits = 12;
    static constexpr uint32_t kPageSize = 1u << kPageBits;
    static constexpr uint32_t kTopShift = 24;
    static constexpr uint32_t kMiddleSize = 1u << (kTopShift - kPageBits);
    using Page = std::array<Relaxed<uint64_t>, kPageSize>;
    using Middle = std::array<std::atomic<Page*>, kMiddleSize>;

    // Made by the counting thread only.
    Page* MakePage(uint32_t address);
    const Page* FindPage(uint32_t address) const;

    std::array<std::atomic<Middle*>, 1u << (32 - kTopShift)> m_top{};
    Relaxed<uint64_t> m_total{0};
};
