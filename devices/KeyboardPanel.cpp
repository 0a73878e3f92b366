#include "devices/KeyboardPanel.h"

#include <algorithm>

#include "core/StringEx.h"
#include "devices/Keyboard.h"

CKeyboardPanel::CKeyboardPanel(CKeyboard& keyboard)
    : m_keyboard(keyboard),
      m_text(keyboard.GetKeyCodeText()),
      m_repeatCount(std::clamp(keyboard.GetRepeatCount(), kMinRepeat, kMaxRepeat)),
      m_rate(std::clamp(keyboard.GetRatePosition(), kMinRate, kMaxRate)) {}

bool CKeyboardPanel::IsKeyChecked(int id) const {
    return id >= kFirstKeyId && id <= kLastKeyId && m_checked[id - kFirstKeyId];
}

bool CKeyboardPanel::ClickKey(int id) {
    if (id < kFirstKeyId || id > kLastKeyId) return false;
    m_checked.flip(id - kFirstKeyId);
    const int sent = id == kRightCtrlId ? kLeftCtrlId : id == kRightAltId ? kLeftAltId : id;
    uint32_t code = static_cast<uint32_t>(sent - kFirstKeyId);
    if (m_checked[sent - kFirstKeyId]) code |= kBreakBit;
    SendCode(code);
    return true;
}

void CKeyboardPanel::SendCode(uint32_t code) {
    if (m_record)
        AppendFormat(m_text, "%02X ", code);
    else
        m_keyboard.DeliverCode(code);
    UpdateIndicators(code);
    Changed();
}

void CKeyboardPanel::UpdateIndicators(uint32_t code) {
    const bool on = (code & kBreakBit) != 0;
    switch (code & ~kBreakBit) {
        case kCapsLockCode: m_caps = on; break;
        case kNumLockCode: m_num = on; break;
        case kScrollLockCode: m_scroll = on; break;
        default: break;
    }
}

void CKeyboardPanel::SetPlay(bool play) {
    m_play = play;
    m_record = false;
    if (play)
        m_keyboard.StartPlayback(GetPlaybackPeriod(), m_repeatCount);
    else
        m_keyboard.StopPlayback();
    Changed();
}

void CKeyboardPanel::Rewind() {
    m_play = false;
    m_keyboard.RewindText();
    m_keyboard.StopPlayback();
    m_record = false;
    Changed();
}

void CKeyboardPanel::SetRecord(bool record) {
    m_record = record;
    m_play = false;
    m_keyboard.StopPlayback();
    Changed();
}

void CKeyboardPanel::SetRepeatCount(int count) {
    m_repeatCount = std::clamp(count, kMinRepeat, kMaxRepeat);
}

void CKeyboardPanel::SetRate(int rate) {
    m_rate = std::clamp(rate, kMinRate, kMaxRate);
    m_keyboard.SetRatePosition(m_rate);
}

void CKeyboardPanel::OnPlaybackEnded() {
    m_play = false;
    Changed();
}

void CKeyboardPanel::Changed() {
    if (m_changed) m_changed();
}
