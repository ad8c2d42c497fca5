#pragma once
// What a terminal sends for a key and the key bytes the reader hands out for
// it, in one table for the decoder on its own and for the keyboard reader on a
// pty. Want is what the decoder gives for In fed whole, then a pause; the
// reader, which decodes one key a call, gives #0 for a key that decodes to
// nothing, so a case whose Want is empty reads as one #0 there.

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
