#pragma once
// The host keyboard on the simulated one: a key typed into a focused display
// window or the Keyboard Input panel reaches the workspace's keyboard with
// the codes of the panel's key buttons (make code on press, break code, with
// bit 7, on release).
#include <cstdint>
#include <optional>

class CComputer;
class CKeyboard;
class QKeyEvent;

// The panel's code of a key, or nothing for a key the panel does not have.
// Shifted symbols give the code of their key ("!" is the 1 key); keypad keys
// (with the keypad modifier) give the keypad's codes.
std::optional<uint32_t> ScanCodeOf(const QKeyEvent& event);

// The first keyboard of the workspace's bus, or nullptr.
CKeyboard* FindKeyboard(const CComputer& computer);

// Sends the key's make (press) or break (release) code to the keyboard, through
// its panel when one is open (so Record and the indicators follow). Repeats
// of a held key send the make code again; their releases send nothing. False
// when the key has no code or there is no keyboard.
bool TypeKey(CComputer& computer, const QKeyEvent& event, bool press);
bool TypeKey(CKeyboard& keyboard, const QKeyEvent& event, bool press);
