#include "devices/M6818.h"

#include "core/Archive.h"

C6818::C6818() {
    StartTimer(kUpdatePeriodMs, 0);
}

void C6818::SerializeSettings(CArchive& ar) {
    CDevice::SerializeSettings(ar);
    for (uint8_t* byte :
         {&m_address, &m_seconds, &m_secondsAlarm, &m_minutes, &m_minutesAlarm, &m_hours,
          &m_hoursAlarm, &m_dayOfWeek, &m_date.month, &m_date.day, &m_registerA, &m_registerD})
        ar.Transfer(*byte);
    ar.Transfer(m_date.year);
    for (uint8_t& byte : m_ram)
        ar.Transfer(byte);
    for (bool* flag : {&m_irqf, &m_pf, &m_af, &m_uf, &m_set, &m_pie, &m_aie, &m_uie, &m_sqwe,
                       &m_bcd, &m_24Hour, &m_dse})
        ar.Transfer(*flag);
    bool autumnChanged = m_lastAutumnChange.has_value();
    CalendarDate autumn = m_lastAutumnChange.value_or(CalendarDate{});
    ar.Transfer(autumnChanged);
    ar.Transfer(autumn.month);
    ar.Transfer(autumn.day);
    ar.Transfer(autumn.year);
    if (ar.IsStoring()) return;
    m_address &= 0x3F;
    m_registerA &= 0x7F;
    m_lastAutumnChange.reset();
    if (autumnChanged) m_lastAutumnChange = autumn;
}

void C6818::Reset() {
    m_irqf = m_pf = m_af = m_uf = false;
    m_pie = m_aie = m_uie = m_sqwe = false;
}

void C6818::OnTimer(uint32_t timerIndex) {
    if (timerIndex == 0)
        UpdateCycle();
    else if (timerIndex == 1)
        PeriodicTick();
}

uint32_t C6818::Read(uint32_t address, uint32_t /*size*/) {
    if ((address & 1) == 0) return kNothing;
    return ReadRegister(m_address);
}

uint32_t C6818::Write(uint32_t address, uint32_t value, uint32_t /*size*/, bool /*force*/) {
    if ((address & 1) == 0)
        m_address = static_cast<uint8_t>(value & 0x3F);
    else
        WriteRegister(m_address, static_cast<uint8_t>(value));
    return 1;
}

uint8_t C6818::ShownHours(uint8_t value) const {
    if (m_24Hour) return Shown(value);
    return static_cast<uint8_t>(Shown(value & 0x7F) | (value & 0x80));
}

uint8_t C6818::TakenHours(uint8_t value) const {
    if (m_24Hour) return Taken(value);
    return static_cast<uint8_t>(Taken(value & 0x7F) | (value & 0x80));
}

uint8_t C6818::ReadRegister(uint32_t index) {
    const auto alarm = [this](uint8_t value, bool hours) -> uint8_t {
        if (DontCare(value)) return value;
        return hours ? ShownHours(value) : Shown(value);
    };
    switch (index) {
        case 0: return Shown(m_seconds);
        case 1: return alarm(m_secondsAlarm, false);
        case 2: return Shown(m_minutes);
        case 3: return alarm(m_minutesAlarm, false);
        case 4: return ShownHours(m_hours);
        case 5: return alarm(m_hoursAlarm, true);
        case 6: return m_dayOfWeek;
        case 7: return Shown(m_date.day);
        case 8: return Shown(m_date.month);
        case 9: return Shown(static_cast<uint8_t>((m_date.year % 100 + 100) % 100));
        case 10: {
            const bool uip = m_uipReads != 0;
            if (uip) --m_uipReads;
            return static_cast<uint8_t>(m_registerA | (uip ? 0x80 : 0));
        }
        case 11:
            return static_cast<uint8_t>((m_set ? 0x80 : 0) | (m_pie ? 0x40 : 0) |
                                        (m_aie ? 0x20 : 0) | (m_uie ? 0x10 : 0) |
                                        (m_sqwe ? 0x08 : 0) | (m_bcd ? 0 : 0x04) |
                                        (m_24Hour ? 0x02 : 0) | (m_dse ? 0x01 : 0));
        case 12: {
            const uint8_t value = static_cast<uint8_t>((m_irqf ? 0x80 : 0) | (m_pf ? 0x40 : 0) |
                                                       (m_af ? 0x20 : 0) | (m_uf ? 0x10 : 0));
            if (m_irqf) ClearInterrupt(false, true);
            m_irqf = m_pf = m_af = m_uf = false;
            return value;
        }
        case 13: {
            const uint8_t value = m_registerD;
            m_registerD = 0x80;
            return value;
        }
        default: return index < kRegisterCount ? m_ram[index - kFirstRamRegister] : 0xFF;
    }
}

void C6818::WriteRegister(uint32_t index, uint8_t value) {
    const auto alarm = [this](uint8_t written, bool hours) -> uint8_t {
        if (DontCare(written)) return written;
        return hours ? TakenHours(written) : Taken(written);
    };
    switch (index) {
        case 0: m_seconds = Taken(value) & 0x7F; break;
        case 1: m_secondsAlarm = alarm(value, false); break;
        case 2: m_minutes = Taken(value); break;
        case 3: m_minutesAlarm = alarm(value, false); break;
        case 4: m_hours = TakenHours(value); break;
        case 5: m_hoursAlarm = alarm(value, true); break;
        case 6: m_dayOfWeek = value; break;
        case 7: m_date.day = Taken(value); break;
        case 8: m_date.month = Taken(value); break;
        case 9: {
            const uint8_t year = Taken(value);
            m_date.year = static_cast<int16_t>(year >= 70 ? 1900 + year : 2000 + year);
            break;
        }
        case 10: {
            m_registerA = value & 0x7F;
            const uint32_t rate = value & 0x0F;
            if (rate != 0)
                StartTimer(kRatePeriods[rate] * m_periodScale, 1);
            else
                StopTimer(1);
            break;
        }
        case 11:
            m_set = value & 0x80;
            if (m_set) m_uipReads = 0;
            m_pie = value & 0x40;
            m_aie = value & 0x20;
            m_uie = value & 0x10;
            m_sqwe = value & 0x08;
            m_bcd = !(value & 0x04);
            m_24Hour = value & 0x02;
            m_dse = value & 0x01;
            break;
        case 12:
        case 13: break;
        default:
            if (index < kRegisterCount) m_ram[index - kFirstRamRegister] = value;
            break;
    }
}

void C6818::Interrupt() {
    m_irqf = true;
    RaiseInterrupt(false, true);
}

void C6818::PeriodicTick() {
    m_pf = true;
    if (m_pie) Interrupt();
}

CalendarDate C6818::LastSunday(uint8_t month, uint8_t lastDay) const {
    CalendarDate date{month, lastDay, m_date.year};
    for (; date.day >= 1; --date.day) {
        if (date.DayOfWeek() == 6) break;
    }
    return date;
}

void C6818::NextDay() {
    m_date.AddDays(1);
    const int weekday = m_date.DayOfWeek() + 2;  // Monday 0 -> 2, Sunday 6 -> 8 -> 1
    m_dayOfWeek = static_cast<uint8_t>(weekday == 8 ? 1 : weekday);
}

void C6818::UpdateCycle() {
    if (m_set) return;

    std::optional<CalendarDate> spring, autumn;
    if (m_dse) {
        if (m_date.month == 4 && m_date.day > 22) spring = LastSunday(4, 30);
        if (m_date.month == 10 && m_date.day > 23) autumn = LastSunday(10, 31);
    }

    if (++m_seconds > 59) {
        m_seconds = 0;
        ++m_minutes;
    }
    if (m_minutes > 59) {
        m_minutes = 0;
        ++m_hours;
        // The hours byte 2 is 2 AM in both modes.
        if (m_dse && m_hours == 2) {
            if (spring && m_date == *spring) {
                m_hours = 3;
            } else if (autumn && m_date == *autumn && m_lastAutumnChange != m_date) {
                m_hours = 1;
                m_lastAutumnChange = m_date;
            }
        }
        if (m_24Hour) {
            if (m_hours > 23) {
                m_hours = 0;
                NextDay();
            }
        } else {
            // 11 is followed by 12 with AM and PM exchanged, 12 by 1: noon is
            // 12:00:00 PM, and the day ends at 11:59:59 PM -> 12:00:00 AM.
            const uint8_t pm = m_hours & 0x80;
            const uint8_t hour = m_hours & 0x7F;
            if (hour == 12) {
                m_hours = static_cast<uint8_t>(12 | (pm ^ 0x80));
                if (pm) NextDay();
            } else if (hour > 12) {
                m_hours = static_cast<uint8_t>(1 | pm);
            }
        }
    }

    const auto matches = [](uint8_t value, uint8_t alarm) {
        return value == alarm || DontCare(alarm);
    };
    if (matches(m_seconds, m_secondsAlarm) && matches(m_minutes, m_minutesAlarm) &&
        matches(m_hours, m_hoursAlarm)) {
        m_af = true;
        if (m_aie) Interrupt();
    }
    m_uf = true;
    if (m_uie) Interrupt();
    m_uipReads = kUpdateWindowReads;
}
