#include "core/Profile.h"

#include <algorithm>

CProfile::CProfile() = default;

CProfile::~CProfile() {
    Clear();
}

CProfile::Page* CProfile::MakePage(uint32_t address) {
    std::atomic<Middle*>& top = m_top[address >> kTopShift];
    Middle* middle = top.load(std::memory_order_relaxed);
    if (!middle) {
        middle = new Middle{};
        top.store(middle, std::memory_order_release);
    }
    auto* page = new Page{};
    // Release: a reader that finds the page sees it zeroed.
    (*middle)[address >> kPageBits & (kMiddleSize - 1)].store(page, std::memory_order_release);
    return page;
}

const CProfile::Page* CProfile::FindPage(uint32_t address) const {
    const Middle* middle = m_top[address >> kTopShift].load(std::memory_order_acquire);
    return middle
               ? (*middle)[address >> kPageBits & (kMiddleSize - 1)].load(std::memory_order_acquire)
               : nullptr;
}

uint64_t CProfile::GetCount(uint32_t address) const {
    const Page* page = FindPage(address);
    return page ? (*page)[address & (kPageSize - 1)].Load() : 0;
}

std::vector<std::pair<uint32_t, uint64_t>> CProfile::GetCounts() const {
    std::vector<std::pair<uint32_t, uint64_t>> counts;
    for (uint32_t top = 0; top < m_top.size(); ++top) {
        const Middle* middle = m_top[top].load(std::memory_order_acquire);
        if (!middle) continue;
        for (uint32_t index = 0; index < kMiddleSize; ++index) {
            const Page* page = (*middle)[index].load(std::memory_order_acquire);
            if (!page) continue;
            const uint32_t base = top << kTopShift | index << kPageBits;
            for (uint32_t offset = 0; offset < kPageSize; ++offset) {
                if (const uint64_t count = (*page)[offset].Load())
                    counts.emplace_back(base | offset, count);
            }
        }
    }
    std::stable_sort(counts.begin(), counts.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return counts;
}

void CProfile::Clear() {
    for (auto& top : m_top) {
        Middle* middle = top.exchange(nullptr, std::memory_order_acq_rel);
        if (!middle) continue;
        for (auto& page : *middle)
            delete page.load(std::memory_order_relaxed);
        delete middle;
    }
    m_total = 0;
}
