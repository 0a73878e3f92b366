#include "cpu/ICache.h"

#include "core/Archive.h"

void CICache::Clear() {
    for (int line = 0; line < kLines; ++line) {
        m_data[Index(line)] = 0;
        m_tag[Index(line)] = 0;
    }
    ResetStatistics();
}

void CICache::Serialize(CArchive& ar) {
    for (int line = 0; line < kLines; ++line) {
        ar.Transfer(m_data[Index(line)]);
        ar.Transfer(m_tag[Index(line)]);
        ar.Transfer(m_attempts);
        ar.Transfer(m_misses);
    }
}
