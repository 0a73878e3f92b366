#pragma once
// C6818: a real-time clock with the MC146818 register set. It advances once a
// second on its own timer and never reads the host's clock.
//
// Ports (bit 0 of the mapped address): 0 = address port (a write selects
// register value & 0x3F; reads 0xFFFFFFFF), 1 = data port (the selected
// register). Writes return 1.
// Registers: 0 seconds, 1 seconds alarm, 2 minutes, 3 minutes alarm, 4 hours,
// 5 hours alarm, 6 day of week (1 = Sunday), 7 date of month, 8 month, 9 year
// (70-99 -> 19xx, 0-69 -> 20xx), 10 A (rate in bits 0-3; bit 7 UIP on read),
// 11 B (SET 80, PIE 40, AIE 20, UIE 10, SQWE 08, DM 04 = binary, 24/12 02,
// DSE 01), 12 C (IRQF 80, PF 40, AF 20, UF 10; read and cleared), 13 D (reads
// its byte once, then 0x80), 14-63 RAM. In BCD mode registers 0-5 and 7-9
// are converted, as the MC146818 does: a 12-hour hour without its PM bit, and
// never an alarm's don't-care byte (0xC0-0xFF). The 12-hour clock runs
// 11, 12, 1 with AM and PM exchanged at 11:59:59 -> 12:00:00; the date
// advances at midnight (11:59:59 PM -> 12:00:00 AM).
// Timer 0 is the update cycle (1000 ms), timer 1 the periodic interrupt.
//
// The update itself takes no time here, so UIP (register A bit 7) is kept set
// for a window after each update that a program can see: the next
// kUpdateWindowReads reads of register A. A program that waits for UIP to
// rise and then fall thus finds the new second in the registers. Setting SET
// ends the window, as on the chip.
#include <array>
#include <cstdint>
#include <optional>

#include "core/CalendarDate.h"
#include "core/Device.h"

class C6818 final : public CDevice {
public:
    static constexpr const char* kClassName = "C6818";
    static constexpr uint32_t kUpdatePeriodMs = 1000;
    static constexpr uint32_t kPeriodScale = 10;
    // Periodic-interrupt base periods in ms by rate (0: none).
    static constexpr std::array<uint32_t, 16> kRatePeriods = {0, 4, 8,  1,  1,  1,   1,   2,
                                                              4, 8, 16, 31, 63, 125, 250, 500};
    static constexpr uint32_t kRegisterCount = 64;
    static constexpr uint32_t kFirstRamRegister = 14;
    // Reads of register A that see UIP after an update (about the chip's 2 ms
    // at a 1 MHz 6502's polling speed).
    static constexpr uint32_t kUpdateWindowReads = 256;

    // Saturday 1 January 2000, 00:00:00, binary and 24-hour, no periodic
    // interrupt; the update cycle runs from here on.
    C6818();

    const char* GetClassName() const override { return kClassName; }
    void Reset() override;
    void OnTimer(uint32_t timerIndex) override;
    uint32_t Read(uint32_t address, uint32_t size) override;
    uint32_t Write(uint32_t address, uint32_t value, uint32_t size, bool force) override;
    // The clock's record stores nothing of it; the extension block keeps the
    // whole register file, as the chip's battery would.
    void SerializeSettings(CArchive& ar) override;

    // The clock's state in binary, as it holds it (for views and tests).
    const CalendarDate& GetDate() const { return m_date; }
    uint8_t GetSeconds() const { return m_seconds; }
    uint8_t GetMinutes() const { return m_minutes; }
    uint8_t GetHours() const { return m_hours; }
    uint8_t GetDayOfWeek() const { return m_dayOfWeek; }

    static constexpr uint8_t ToBcd(uint8_t v) {
        return static_cast<uint8_t>(v / 10 % 10 * 16 + v % 10);
    }
    static constexpr uint8_t FromBcd(uint8_t v) {
        return static_cast<uint8_t>((v & 0x0F) + (v >> 4) * 10);
    }

private:
    uint8_t ReadRegister(uint32_t index);
    void WriteRegister(uint32_t index, uint8_t value);
    uint8_t Shown(uint8_t value) const { return m_bcd ? ToBcd(value) : value; }
    uint8_t Taken(uint8_t value) const { return m_bcd ? FromBcd(value) : value; }
    // Hours and their alarm: in 12-hour mode the PM bit is kept out of the
    // conversion.
    uint8_t ShownHours(uint8_t value) const;
    uint8_t TakenHours(uint8_t value) const;
    // Alarm bytes: a don't-care byte (both top bits set) is never converted.
    static bool DontCare(uint8_t alarm) { return (alarm & 0xC0) == 0xC0; }
    void UpdateCycle();
    void PeriodicTick();
    void NextDay();
    // The last Sunday of month, trying the days from lastDay down.
    CalendarDate LastSunday(uint8_t month, uint8_t lastDay) const;
    void Interrupt();

    uint8_t m_address = 0;
    uint8_t m_seconds = 0;
    uint8_t m_secondsAlarm = 0;
    uint8_t m_minutes = 0;
    uint8_t m_minutesAlarm = 0;
    uint8_t m_hours = 0;
    uint8_t m_hoursAlarm = 0;
    uint8_t m_dayOfWeek = 7;
    CalendarDate m_date{1, 1, 2000};
    uint8_t m_registerA = 0x20;
    uint8_t m_registerD = 0x80;
    std::array<uint8_t, kRegisterCount - kFirstRamRegister> m_ram{};
    bool m_irqf = false;
    bool m_pf = false;
    bool m_af = false;
    bool m_uf = false;
    uint32_t m_uipReads = 0;  // reads of register A that still see UIP
    bool m_set = false;
    bool m_pie = false;
    bool m_aie = false;
    bool m_uie = false;
    bool m_sqwe = false;
    bool m_bcd = false;
    bool m_24Hour = true;
    bool m_dse = false;
    uint32_t m_periodScale = kPeriodScale;
    // The autumn change sets the clock back into the hour it has just left;
    // remembering its date keeps it from happening twice.
    std::optional<CalendarDate> m_lastAutumnChange;
};
