#include "ui/KeyScanCodes.h"

#include <QKeyEvent>
#include <array>
#include <utility>

#include "core/Computer.h"
#include "core/Devices.h"
#include "devices/Keyboard.h"
#include "devices/KeyboardPanel.h"

namespace {

using SKey = std::pair<int, uint32_t>;

// Keys of the main block and the cursor block, shifted symbols with their keys.
constexpr std::array kMainKeys = {
    SKey{Qt::Key_Escape, 0x01},
    SKey{Qt::Key_1, 0x02},
    SKey{Qt::Key_Exclam, 0x02},
    SKey{Qt::Key_2, 0x03},
    SKey{Qt::Key_At, 0x03},
    SKey{Qt::Key_3, 0x04},
    SKey{Qt::Key_NumberSign, 0x04},
    SKey{Qt::Key_4, 0x05},
    SKey{Qt::Key_Dollar, 0x05},
    SKey{Qt::Key_5, 0x06},
    SKey{Qt::Key_Percent, 0x06},
    SKey{Qt::Key_6, 0x07},
    SKey{Qt::Key_AsciiCircum, 0x07},
    SKey{Qt::Key_7, 0x08},
    SKey{Qt::Key_Ampersand, 0x08},
    SKey{Qt::Key_8, 0x09},
    SKey{Qt::Key_Asterisk, 0x09},
    SKey{Qt::Key_9, 0x0A},
    SKey{Qt::Key_ParenLeft, 0x0A},
    SKey{Qt::Key_0, 0x0B},
    SKey{Qt::Key_ParenRight, 0x0B},
    SKey{Qt::Key_Minus, 0x0C},
    SKey{Qt::Key_Underscore, 0x0C},
    SKey{Qt::Key_Equal, 0x0D},
    SKey{Qt::Key_Plus, 0x0D},
    SKey{Qt::Key_Backspace, 0x0E},
    SKey{Qt::Key_Tab, 0x0F},
    SKey{Qt::Key_Backtab, 0x0F},
    SKey{Qt::Key_Q, 0x10},
    SKey{Qt::Key_W, 0x11},
    SKey{Qt::Key_E, 0x12},
    SKey{Qt::Key_R, 0x13},
    SKey{Qt::Key_T, 0x14},
    SKey{Qt::Key_Y, 0x15},
    SKey{Qt::Key_U, 0x16},
    SKey{Qt::Key_I, 0x17},
    SKey{Qt::Key_O, 0x18},
    SKey{Qt::Key_P, 0x19},
    SKey{Qt::Key_BracketLeft, 0x1A},
    SKey{Qt::Key_BraceLeft, 0x1A},
    SKey{Qt::Key_BracketRight, 0x1B},
    SKey{Qt::Key_BraceRight, 0x1B},
    SKey{Qt::Key_Return, 0x1C},
    SKey{Qt::Key_Control, 0x1D},
    SKey{Qt::Key_A, 0x1E},
    SKey{Qt::Key_S, 0x1F},
    SKey{Qt::Key_D, 0x20},
    SKey{Qt::Key_F, 0x21},
    SKey{Qt::Key_G, 0x22},
    SKey{Qt::Key_H, 0x23},
    SKey{Qt::Key_J, 0x24},
    SKey{Qt::Key_K, 0x25},
    SKey{Qt::Key_L, 0x26},
    SKey{Qt::Key_Semicolon, 0x27},
    SKey{Qt::Key_Colon, 0x27},
    SKey{Qt::Key_Apostrophe, 0x28},
    SKey{Qt::Key_QuoteDbl, 0x28},
    SKey{Qt::Key_QuoteLeft, 0x29},
    SKey{Qt::Key_AsciiTilde, 0x29},
    SKey{Qt::Key_Shift, 0x2A},
    SKey{Qt::Key_Backslash, 0x2B},
    SKey{Qt::Key_Bar, 0x2B},
    SKey{Qt::Key_Z, 0x2C},
    SKey{Qt::Key_X, 0x2D},
    SKey{Qt::Key_C, 0x2E},
    SKey{Qt::Key_V, 0x2F},
    SKey{Qt::Key_B, 0x30},
    SKey{Qt::Key_N, 0x31},
    SKey{Qt::Key_M, 0x32},
    SKey{Qt::Key_Comma, 0x33},
    SKey{Qt::Key_Less, 0x33},
    SKey{Qt::Key_Period, 0x34},
    SKey{Qt::Key_Greater, 0x34},
    SKey{Qt::Key_Slash, 0x35},
    SKey{Qt::Key_Question, 0x35},
    SKey{Qt::Key_Alt, 0x38},
    SKey{Qt::Key_AltGr, 0x38},
    SKey{Qt::Key_Space, 0x39},
    SKey{Qt::Key_CapsLock, 0x3A},
    SKey{Qt::Key_F1, 0x3B},
    SKey{Qt::Key_F2, 0x3C},
    SKey{Qt::Key_F3, 0x3D},
    SKey{Qt::Key_F4, 0x3E},
    SKey{Qt::Key_F5, 0x3F},
    SKey{Qt::Key_F6, 0x40},
    SKey{Qt::Key_F7, 0x41},
    SKey{Qt::Key_F8, 0x42},
    SKey{Qt::Key_F9, 0x43},
    SKey{Qt::Key_F10, 0x44},
    SKey{Qt::Key_NumLock, 0x45},
    SKey{Qt::Key_ScrollLock, 0x46},
    SKey{Qt::Key_Print, 0x54},
    SKey{Qt::Key_F11, 0x57},
    SKey{Qt::Key_F12, 0x58},
    SKey{Qt::Key_Insert, 0x60},
    SKey{Qt::Key_End, 0x61},
    SKey{Qt::Key_Down, 0x62},
    SKey{Qt::Key_PageDown, 0x63},
    SKey{Qt::Key_Left, 0x64},
    SKey{Qt::Key_Right, 0x66},
    SKey{Qt::Key_Home, 0x67},
    SKey{Qt::Key_Up, 0x68},
    SKey{Qt::Key_PageUp, 0x69},
    SKey{Qt::Key_Delete, 0x6A},
    SKey{Qt::Key_Enter, 0x6C},
};

// The keypad, with Num Lock on (digits) and off (the cursor keys it carries).
constexpr std::array kKeypadKeys = {
    SKey{Qt::Key_Asterisk, 0x37}, SKey{Qt::Key_7, 0x47},      SKey{Qt::Key_Home, 0x47},
    SKey{Qt::Key_8, 0x48},        SKey{Qt::Key_Up, 0x48},     SKey{Qt::Key_9, 0x49},
    SKey{Qt::Key_PageUp, 0x49},   SKey{Qt::Key_Minus, 0x4A},  SKey{Qt::Key_4, 0x4B},
    SKey{Qt::Key_Left, 0x4B},     SKey{Qt::Key_5, 0x4C},      SKey{Qt::Key_Clear, 0x4C},
    SKey{Qt::Key_6, 0x4D},        SKey{Qt::Key_Right, 0x4D},  SKey{Qt::Key_Plus, 0x4E},
    SKey{Qt::Key_1, 0x4F},        SKey{Qt::Key_End, 0x4F},    SKey{Qt::Key_2, 0x50},
    SKey{Qt::Key_Down, 0x50},     SKey{Qt::Key_3, 0x51},      SKey{Qt::Key_PageDown, 0x51},
    SKey{Qt::Key_0, 0x52},        SKey{Qt::Key_Insert, 0x52}, SKey{Qt::Key_Period, 0x53},
    SKey{Qt::Key_Delete, 0x53},   SKey{Qt::Key_Slash, 0x6B},  SKey{Qt::Key_Enter, 0x6C},
};

// X11's key symbol of the right-hand Shift.
constexpr quint32 kRightShiftSymbol = 0xFFE2;

template <size_t N>
std::optional<uint32_t> Find(const std::array<SKey, N>& table, int key) {
    for (const auto& [k, code] : table) {
        if (k == key) return code;
    }
    return std::nullopt;
}

}  // namespace

std::optional<uint32_t> ScanCodeOf(const QKeyEvent& event) {
    const int key = event.key();
    if (event.modifiers() & Qt::KeypadModifier) {
        if (auto code = Find(kKeypadKeys, key)) return code;
    }
    if (key == Qt::Key_Shift && event.nativeVirtualKey() == kRightShiftSymbol) return 0x36;
    return Find(kMainKeys, key);
}

CKeyboard* FindKeyboard(const CComputer& computer) {
    const CDevices* bus = computer.GetDevices();
    for (CDevice* device = bus ? bus->GetHead() : nullptr; device; device = device->GetNext()) {
        if (auto* keyboard = dynamic_cast<CKeyboard*>(device)) return keyboard;
    }
    return nullptr;
}

bool TypeKey(CComputer& computer, const QKeyEvent& event, bool press) {
    CKeyboard* keyboard = FindKeyboard(computer);
    return keyboard && TypeKey(*keyboard, event, press);
}

bool TypeKey(CKeyboard& keyboard, const QKeyEvent& event, bool press) {
    const auto code = ScanCodeOf(event);
    if (!code) return false;
    if (!press && event.isAutoRepeat()) return true;
    const uint32_t sent = press ? *code : *code | CKeyboardPanel::kBreakBit;
    if (CKeyboardPanel* panel = keyboard.GetPanel())
        panel->SendCode(sent);
    else
        keyboard.DeliverCode(sent);
    return true;
}
