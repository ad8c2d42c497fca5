#pragma once
// The key codes every key loop switches on, named once. A plain key is one
// byte; an extended key is the byte Key::Extended (0) followed by its PC scan
// code, named in Scan. The keyboard reader produces exactly these codes.

#include <cstdint>

namespace Key {
inline constexpr char Extended = 0; // an extended key's scan code follows
inline constexpr char CtrlA = 1;
inline constexpr char CtrlC = 3;
inline constexpr char Backspace = 8; // also what the DEL byte (127) arrives as
inline constexpr char Tab = 9;
inline constexpr char Enter = 13;
inline constexpr char CtrlY = 25;
inline constexpr char Esc = 27;
} // namespace Key

namespace Scan {
inline constexpr uint8_t F1 = 59, F2 = 60, F3 = 61, F4 = 62, F5 = 63;
inline constexpr uint8_t F6 = 64, F7 = 65, F8 = 66, F9 = 67, F10 = 68;
inline constexpr uint8_t Home = 71;
inline constexpr uint8_t Up = 72;
inline constexpr uint8_t PgUp = 73;
inline constexpr uint8_t Left = 75;
inline constexpr uint8_t Right = 77;
inline constexpr uint8_t End = 79;
inline constexpr uint8_t Down = 80;
inline constexpr uint8_t PgDn = 81;
inline constexpr uint8_t Ins = 82;
inline constexpr uint8_t Del = 83;
// Shift with F3 to F10.
inline constexpr uint8_t ShiftF3 = 86, ShiftF4 = 87, ShiftF5 = 88, ShiftF6 = 89;
inline constexpr uint8_t ShiftF7 = 90, ShiftF8 = 91, ShiftF9 = 92, ShiftF10 = 93;
inline constexpr uint8_t F11 = 133, F12 = 134;
} // namespace Scan
