#include "devices/Keyboard.h"

#include "core/StringEx.h"

#include <climits>
#include <mutex>

#include "core/Archive.h"
#include "core/Devices.h"
#include "devices/KeyboardPanel.h"

CKeyboard::CKeyboard() {
    SetIrqCode(0);
}

CKeyboard::~CKeyboard() {
    m_panel.reset();
}

uint32_t CKeyboard::Read(uint32_t /*address*/, uint32_t /*size*/) {
    const uint32_t code = m_scanCode;
    m_scanCode = 0;
    ClearInterrupt(false, true);
    return code;
}

void CKeyboard::DeliverCode(uint32_t code) {
    CDevices* bus = GetOwner();
    if (!bus) {
        m_scanCode = code;
        return;
    }
    // Under the bus lock, so that a read never takes the code without the
    // request or the other way round.
    std::lock_guard guard(bus->Lock());
    m_scanCode = code;
    RaiseInterrupt(false, true);
}

void CKeyboard::StartPlayback(uint32_t periodMs, int repeatCount) {
    m_passesPlayed = 0;
    m_repeatCount = repeatCount;
    StartTimer(periodMs, 0);
}

void CKeyboard::OnTimer(uint32_t timerIndex) {
    if (timerIndex != 0) return;
    if (m_panel) m_text = m_panel->GetText();
    // The wrap below runs after this test, so the code at the start of the
    // text comes once more at the wrap that ends the last pass.
    if (m_passesPlayed > m_repeatCount) {
        m_passesPlayed = 0;
        StopTimer(0);
        if (m_panel) m_panel->OnPlaybackEnded();
        return;
    }
    if (m_textPosition > m_text.size()) {
        m_textPosition = 0;
        if (m_passesPlayed < INT_MAX) ++m_passesPlayed;
    }
    size_t consumed = 0;
    m_scanCode = ParseHexNumber(std::string_view(m_text).substr(m_textPosition), &consumed);
    m_textPosition += consumed + 1;  // and the one separator
    RaiseInterrupt(false, true);
}

CKeyboardPanel& CKeyboard::OpenPanel() {
    ClosePanel();
    m_panel = std::make_unique<CKeyboardPanel>(*this);
    return *m_panel;
}

void CKeyboard::ClosePanel() {
    if (!m_panel) return;
    // The panel's text is the master copy; it stays with the keyboard.
    m_text = m_panel->GetText();
    m_panel.reset();
}

// Beyond the common settings: the playback rate and position, and the code
// waiting in the register.
void CKeyboard::SerializeSettings(CArchive& ar) {
    CDevice::SerializeSettings(ar);
    uint64_t position = m_textPosition;
    uint32_t positionLow = static_cast<uint32_t>(position), scanCode = m_scanCode;
    ar.Transfer(m_ratePosition);
    ar.Transfer(m_repeatCount);
    ar.Transfer(m_passesPlayed);
    ar.Transfer(positionLow);
    ar.Transfer(scanCode);
    if (ar.IsStoring() || ar.Failed()) return;
    m_textPosition = positionLow;
    m_scanCode = scanCode;
}

// Record: the CDevice fields, then the IRQ code and the key-code text (the
// panel's, while it is open).
void CKeyboard::Serialize(CArchive& ar) {
    CDevice::Serialize(ar);
    if (ar.IsStoring() && m_panel) m_text = m_panel->GetText();
    int irqCode = GetIrqCode();
    ar.Transfer(irqCode);
    ar.Transfer(m_text);
    if (ar.IsStoring()) return;
    SetIrqCode(irqCode);
    m_textPosition = 0;
    if (m_panel) m_panel->SetText(m_text);
}
