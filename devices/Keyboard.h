#pragma once
// CKeyboard: delivers scan codes to the simulated software. Every address of
// its window reads the one register, the last code delivered, which then
// becomes 0; each read withdraws the request with code 15. Writes do nothing.
// A new code raises the interrupt with the keyboard's IRQ code. Codes come
// from the Keyboard Input panel (CKeyboardPanel): one per key click, or a
// recorded key-code text played back on timer 0.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/Device.h"

class CKeyboardPanel;

class CKeyboard final : public CDevice {
public:
    static constexpr const char* kClassName = "CKeyboard";
    static constexpr int kDefaultRatePosition = 50;

    CKeyboard();
    // Closes the panel; the base stops timer 0.
    ~CKeyboard() override;

    const char* GetClassName() const override { return kClassName; }
    void Serialize(CArchive& ar) override;
    void SerializeSettings(CArchive& ar) override;
    // One playback step (timer 0).
    void OnTimer(uint32_t timerIndex) override;
    uint32_t Read(uint32_t address, uint32_t size) override;
    bool HasSettings() const override { return true; }

    // A key click: the register takes the code and the interrupt is raised.
    // Not with the bus lock held.
    void DeliverCode(uint32_t code);
    // Playback from the current text position: passes played := 0, then
    // timer 0 with the period.
    void StartPlayback(uint32_t periodMs, int repeatCount);
    void StopPlayback() { StopTimer(0); }
    bool IsPlaying() const { return IsTimerActive(0); }
    void RewindText() { m_textPosition = 0; }

    // The Keyboard Input panel: opening replaces a panel that is open.
    CKeyboardPanel& OpenPanel();
    CKeyboardPanel* GetPanel() const { return m_panel.get(); }
    void ClosePanel();

    const std::string& GetKeyCodeText() const { return m_text; }
    void SetKeyCodeText(std::string text) { m_text = std::move(text); }
    // The register's value, without the read's side effects.
    uint32_t PeekScanCode() const { return m_scanCode; }
    int GetRepeatCount() const { return m_repeatCount; }
    int GetPassesPlayed() const { return m_passesPlayed; }
    size_t GetTextPosition() const { return m_textPosition; }
    // The rate the panel starts with; the panel keeps it up to date.
    int GetRatePosition() const { return m_ratePosition; }
    void SetRatePosition(int position) { m_ratePosition = position; }

private:
    std::unique_ptr<CKeyboardPanel> m_panel;
    int m_ratePosition = kDefaultRatePosition;
    int m_repeatCount = 0;
    int m_passesPlayed = 0;
    std::string m_text;
    Relaxed<uint32_t> m_scanCode{0};
    size_t m_textPosition = 0;
};
