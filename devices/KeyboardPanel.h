#pragma once
// CKeyboardPanel: the Keyboard Input panel without its widgets. The key
// buttons are two-state buttons with control ids 1200-1399 (code = id - 1200);
// the panel keeps its own key-code text, repeat count and rate, which are the
// master copies while it exists (every playback step takes the text from it).
// A view shows this model and refreshes its controls when the changed handler
// runs; the handler may run inside a playback step, with the bus lock held,
// so it must not touch the bus.
#include <bitset>
#include <cstdint>
#include <functional>
#include <string>

class CKeyboard;

class CKeyboardPanel {
public:
    static constexpr int kFirstKeyId = 1200;
    static constexpr int kLastKeyId = 1399;
    static constexpr int kLeftCtrlId = kFirstKeyId + 0x1D;
    static constexpr int kLeftAltId = kFirstKeyId + 0x38;
    // The right-hand Ctrl and Alt send the codes of the left-hand ones.
    static constexpr int kRightCtrlId = kFirstKeyId + 0x6D;
    static constexpr int kRightAltId = kFirstKeyId + 0x6E;
    static constexpr uint32_t kBreakBit = 0x80;
    static constexpr uint32_t kCapsLockCode = 0x3A;
    static constexpr uint32_t kNumLockCode = 0x45;
    static constexpr uint32_t kScrollLockCode = 0x46;
    static constexpr int kMinRate = 1;
    static constexpr int kMaxRate = 100;
    static constexpr int kMinRepeat = -1;
    static constexpr int kMaxRepeat = 32767;

    // Takes the keyboard's text, repeat count and rate position.
    explicit CKeyboardPanel(CKeyboard& keyboard);
    CKeyboardPanel(const CKeyboardPanel&) = delete;
    CKeyboardPanel& operator=(const CKeyboardPanel&) = delete;

    // A click on the key button id: its state toggles and the code (with the
    // break bit when the button is now set) is recorded or delivered. False,
    // and nothing happens, for an id outside the key range.
    bool ClickKey(int id);
    bool IsKeyChecked(int id) const;
    // A code typed on the host's keyboard (make on press, break on release):
    // recorded or delivered as a click's code is, indicators included; the
    // key buttons keep their states.
    void SendCode(uint32_t code);

    // The Play button after a click: set starts playback at the panel's rate
    // and repeat count, cleared stops it; recording ends either way.
    void SetPlay(bool play);
    bool IsPlayChecked() const { return m_play; }
    // Play cleared, playback stopped, back to the start of the text,
    // recording off.
    void Rewind();
    // The Record check box: Play is cleared and playback stops.
    void SetRecord(bool record);
    bool IsRecording() const { return m_record; }

    const std::string& GetText() const { return m_text; }
    void SetText(std::string text) { m_text = std::move(text); }
    int GetRepeatCount() const { return m_repeatCount; }
    // Kept within -1 to 32767.
    void SetRepeatCount(int count);
    int GetRate() const { return m_rate; }
    // Kept within 1 to 100.
    void SetRate(int rate);
    // (101 - rate) x 55 ms: 55 ms at rate 100, 5500 ms at rate 1.
    uint32_t GetPlaybackPeriod() const { return static_cast<uint32_t>(101 - m_rate) * 55; }

    bool IsCapsOn() const { return m_caps; }
    bool IsNumOn() const { return m_num; }
    bool IsScrollOn() const { return m_scroll; }

    void SetChangedHandler(std::function<void()> handler) { m_changed = std::move(handler); }

    // From the keyboard: playback has ended by itself.
    void OnPlaybackEnded();

private:
    void Changed();
    void UpdateIndicators(uint32_t code);

    CKeyboard& m_keyboard;
    std::bitset<kLastKeyId - kFirstKeyId + 1> m_checked;
    std::string m_text;
    int m_repeatCount = 0;
    int m_rate = 50;
    bool m_play = false;
    bool m_record = false;
    // Off is the state the make codes give.
    bool m_caps = false;
    bool m_num = false;
    bool m_scroll = false;
    std::function<void()> m_changed;
};
