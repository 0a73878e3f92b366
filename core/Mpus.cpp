#include "core/Mpus.h"

CMpus::CMpus() {
    for (auto& slot : m_slots)
        slot = &m_nullUnit;
}

CMpus::~CMpus() {
    RemoveAll();
}

bool CMpus::Add(CMpu* unit) {
    const int count = m_count;
    if (!unit || count >= kSlots) return false;
    unit->SetAnimationTimerId(CMpu::kAnimationTimerBase + count);
    m_slots[count] = unit;
    m_count = count + 1;
    m_generation.fetch_add(1, std::memory_order_release);
    return true;
}

void CMpus::Remove(CMpu* unit) {
    const int index = IndexOf(unit);
    if (index < 0) return;
    const int count = m_count;
    for (int i = index; i + 1 < count; ++i) {
        CMpu* moved = m_slots[i + 1];
        moved->SetAnimationTimerId(CMpu::kAnimationTimerBase + i);
        m_slots[i] = moved;
    }
    m_slots[count - 1] = &m_nullUnit;
    m_count = count - 1;
    m_generation.fetch_add(1, std::memory_order_release);
}

int CMpus::IndexOf(const CMpu* unit) const {
    if (!unit || IsNullUnit(unit)) return -1;
    for (int i = 0; i < m_count; ++i) {
        if (m_slots[i].load() == unit) return i;
    }
    return -1;
}

void CMpus::Interrupt(bool nmi, bool irq, int code) {
    if (!nmi && !irq) return;
    const int count = m_count;
    for (int i = 0; i < count; ++i) {
        CMpu* unit = m_slots[i];
        if (unit->AcceptsIrqCode(code)) unit->Interrupt(nmi, irq, code);
    }
}

void CMpus::ClearInterrupt(bool nmi, bool irq, int code) {
    if (!nmi && !irq) return;
    const int count = m_count;
    for (int i = 0; i < count; ++i) {
        CMpu* unit = m_slots[i];
        if (unit->AcceptsIrqCode(code)) unit->ClearInterrupt(nmi, irq, code);
    }
}

void CMpus::RunAll() {
    const int count = m_count;
    for (int i = 0; i < count; ++i)
        m_slots[i].load()->Run();
}

void CMpus::StopAll() {
    const int count = m_count;
    for (int i = 0; i < count; ++i)
        m_slots[i].load()->Stop();
}

void CMpus::RemoveAll() {
    const int count = m_count;
    m_count = 0;
    m_generation.fetch_add(1, std::memory_order_release);
    for (int i = 0; i < count; ++i) {
        CMpu* unit = m_slots[i];
        m_slots[i] = &m_nullUnit;
        if (unit != &m_nullUnit) delete unit;
    }
}
