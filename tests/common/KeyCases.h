#pragma once
// What a terminal sends for a key and the key bytes the reader hands out for
// it, in one table for the decoder on its own and for the keyboard reader on a
// pty. Want is what the decoder gives for In fed whole, then a pause; the
// reader, which decodes one key a call, gives #0 for a key that decodes to
// nothing, so a case whose Want is empty reads as one #0 there. Beside the
// table, the bytes of the keys that widget tests type (Typed::Up, ...).

#include <cstdint>
#include <string>
#include <vector>

struct KeyCase {
    const char* Name;
    std::string In;
    std::string Want;
};

// An extended key: #0, then its scan code.
std::string ExtKey(uint8_t Code);

// Bytes that stand for themselves (Del is Backspace).
const std::vector<KeyCase>& PlainKeyCases();
// Every rule of the escape decoder at least once, with what comes of it.
const std::vector<KeyCase>& EscapeKeyCases();

// The bytes a terminal sends for the keys that tests type.
namespace Typed {
inline const std::string Up = "\x1b[A", Down = "\x1b[B", Right = "\x1b[C", Left = "\x1b[D";
inline const std::string Home = "\x1b[H", End = "\x1b[F", PgUp = "\x1b[5~", PgDn = "\x1b[6~";
inline const std::string Del = "\x1b[3~", F1 = "\x1bOP", F2 = "\x1bOQ";
inline const std::string Enter = "\r", Esc = "\x1b"; // Esc alone only as the last key typed
} // namespace Typed
