// The keyboard's numbers, by name: the key codes a person's key press carries (what key_down
// and OnKeyDown get, the low byte of a menu shortcut) and the window messages a key press makes
// while a host's message loop still holds it.
//
// Letters and digits have no names here: their code is their upper-case character ('A', '7').
// Every layer that takes keys (the drawing backend, the shell controls, the plug-in's dialog
// keys) spells them with these names, so one number never has two spellings.
#pragma once

#include <cstdint>

namespace platform::forms::keys {

inline constexpr int backspace = 0x08;
inline constexpr int tab = 0x09;
inline constexpr int enter = 0x0D;
inline constexpr int shift = 0x10;
inline constexpr int control = 0x11;
inline constexpr int alt = 0x12;
inline constexpr int pause = 0x13;
inline constexpr int escape = 0x1B;
inline constexpr int space = 0x20;
inline constexpr int page_up = 0x21;
inline constexpr int page_down = 0x22;
inline constexpr int end = 0x23;
inline constexpr int home = 0x24;
inline constexpr int left = 0x25;
inline constexpr int up = 0x26;
inline constexpr int right = 0x27;
inline constexpr int down = 0x28;
inline constexpr int insert = 0x2D;
inline constexpr int del = 0x2E;
inline constexpr int apps = 0x5D;  // the context-menu key
inline constexpr int numpad_0 = 0x60;
inline constexpr int numpad_9 = 0x69;
inline constexpr int numpad_multiply = 0x6A;
inline constexpr int numpad_add = 0x6B;
inline constexpr int numpad_subtract = 0x6D;
inline constexpr int f1 = 0x70;  // F1 to F24 follow one another
inline constexpr int f2 = 0x71;
inline constexpr int f5 = 0x74;
inline constexpr int f10 = 0x79;
inline constexpr int f24 = 0x87;
inline constexpr int plus = 0xBB;   // the main keyboard's "=+" key
inline constexpr int minus = 0xBD;  // the main keyboard's "-_" key

// The messages of a key press in a message loop: the key goes down (its code in wParam), then
// the character it types. With Alt held they are the system variants.
inline constexpr std::uint32_t key_down_message = 0x0100;
inline constexpr std::uint32_t char_message = 0x0102;
inline constexpr std::uint32_t sys_key_down_message = 0x0104;
inline constexpr std::uint32_t sys_char_message = 0x0106;

}  // namespace platform::forms::keys
