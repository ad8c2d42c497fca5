#include "terminal/m_Input_Linux.h"

#include "support/FileDesc.h"
// Bytes are read only when the input ring is empty, keys are decoded only when
// the key ring is empty, and the key decoder is a table walked by one loop.

#include "terminal/KeyCodes.h"

#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <sys/select.h>
#include <unistd.h>

namespace {

// What one decoder step queues for the byte C it matched.
enum class EscOut : uint8_t {
    None, // nothing
    Ext,  // the extended key Code + (C - Lo)
    Alt,  // the extended key AltKeyCode(C)
    Key,  // the plain key Code
    Echo, // C itself, then the bytes of Tail (the part of the sequence before C)
};

struct TEscRule {
    uint8_t State; // decoder state the rule applies in
    uint8_t Lo;    // first byte of the range
    uint8_t Hi;    // last byte of the range
    EscOut Out;
    uint8_t Code;
    const char* Tail;
    uint8_t Next; // 0 ends the key
};

constexpr uint8_t Any0 = 0, Any1 = 255; // the whole byte range: "any other byte"
constexpr uint8_t Discard = 255;        // state: swallow one byte (the closing "~")
constexpr uint8_t DelByte = 127;        // what the Backspace key of most terminals sends

constexpr char NoTail[] = "";
constexpr char EscTail[] = {Key::Esc, 0};
constexpr char BracketEscTail[] = {'[', Key::Esc, 0};

// The key decoder. States: 0 between keys, 1 escape, 2 escape "[",
// 3 escape "[[", 4 escape "[1", 5 escape "[2", 6 escape "[3", 7 escape "O",
// 8 escape "[15". The first rule of a state whose range holds the byte wins;
// every state ends with a rule for any other byte.
constexpr TEscRule EscRules[] = {
    {0, Key::Esc, Key::Esc, EscOut::None, 0, NoTail, 1},
    {0, DelByte, DelByte, EscOut::Key, Key::Backspace, NoTail, 0},
    {0, Any0, Any1, EscOut::Echo, 0, NoTail, 0},

    {1, '\n', '\n', EscOut::Echo, 0, NoTail, 0},
    {1, 'a', 'z', EscOut::Alt, 0, NoTail, 0},
    {1, '0', '9', EscOut::Alt, 0, NoTail, 0},
    {1, '-', '-', EscOut::Alt, 0, NoTail, 0},
    {1, '=', '=', EscOut::Alt, 0, NoTail, 0},
    {1, '[', '[', EscOut::None, 0, NoTail, 2},
    {1, 'O', 'O', EscOut::None, 0, NoTail, 7},
    {1, Any0, Any1, EscOut::Echo, 0, EscTail, 0},

    {2, 'A', 'A', EscOut::Ext, Scan::Up, NoTail, 0},
    {2, 'B', 'B', EscOut::Ext, Scan::Down, NoTail, 0},
    {2, 'C', 'C', EscOut::Ext, Scan::Right, NoTail, 0},
    {2, 'D', 'D', EscOut::Ext, Scan::Left, NoTail, 0},
    {2, 'H', 'H', EscOut::Ext, Scan::Home, NoTail, 0},
    {2, 'K', 'K', EscOut::Ext, Scan::End, NoTail, 0},
    {2, 'F', 'F', EscOut::Ext, Scan::End, NoTail, 0}, // xterm-like terminals, normal cursor mode
    {2, 'U', 'U', EscOut::Ext, Scan::PgDn, NoTail, 0},
    {2, 'V', 'V', EscOut::Ext, Scan::PgUp, NoTail, 0},
    {2, 'G', 'G', EscOut::Key, '5', NoTail, 0},
    {2, '1', '1', EscOut::None, 0, NoTail, 4},
    {2, '2', '2', EscOut::None, 0, NoTail, 5},
    {2, '3', '3', EscOut::None, 0, NoTail, 6},
    {2, '4', '4', EscOut::Ext, Scan::End, NoTail, Discard},
    {2, '5', '5', EscOut::Ext, Scan::PgUp, NoTail, Discard},
    {2, '6', '6', EscOut::Ext, Scan::PgDn, NoTail, Discard},
    {2, '[', '[', EscOut::None, 0, NoTail, 3},
    {2, Any0, Any1, EscOut::Echo, 0, BracketEscTail, 0},

    {3, 'A', 'E', EscOut::Ext, Scan::F1, NoTail, 0}, // F1-F5
    {3, Any0, Any1, EscOut::None, 0, NoTail, 0},

    {4, '~', '~', EscOut::Ext, Scan::Home, NoTail, 0},
    {4, '5', '5', EscOut::None, 0, NoTail, 8},
    {4, '7', '9', EscOut::Ext, Scan::F6, NoTail, Discard}, // F6-F8
    {4, Any0, Any1, EscOut::None, 0, NoTail, Discard},

    {5, '~', '~', EscOut::Ext, Scan::Ins, NoTail, 0},
    {5, '0', '1', EscOut::Ext, Scan::F9, NoTail, Discard},      // F9, F10
    {5, '3', '4', EscOut::Ext, Scan::F11, NoTail, Discard},     // F11, F12
    {5, '5', '6', EscOut::Ext, Scan::ShiftF3, NoTail, Discard}, // Shift F3, F4
    {5, '8', '9', EscOut::Ext, Scan::ShiftF5, NoTail, Discard}, // Shift F5, F6
    {5, Any0, Any1, EscOut::None, 0, NoTail, Discard},

    {6, '~', '~', EscOut::Ext, Scan::Del, NoTail, 0},
    {6, '1', '4', EscOut::Ext, Scan::ShiftF7, NoTail, Discard}, // Shift F7-F10
    {6, Any0, Any1, EscOut::None, 0, NoTail, Discard},

    {7, 'A', 'A', EscOut::Ext, Scan::Up, NoTail, 0},
    {7, 'B', 'B', EscOut::Ext, Scan::Down, NoTail, 0},
    {7, 'C', 'C', EscOut::Ext, Scan::Right, NoTail, 0},
    {7, 'D', 'D', EscOut::Ext, Scan::Left, NoTail, 0},
    {7, 'F', 'F', EscOut::Ext, Scan::End, NoTail, 0},
    {7, 'H', 'H', EscOut::Ext, Scan::Home, NoTail, 0},
    {7, 'P', 'S', EscOut::Ext, Scan::F1, NoTail, 0}, // F1-F4
    {7, Any0, Any1, EscOut::None, 0, NoTail, 0},

    {8, '~', '~', EscOut::Ext, Scan::F5, NoTail, 0},
    {8, Any0, Any1, EscOut::None, 0, NoTail, 0},

    {Discard, Any0, Any1, EscOut::None, 0, NoTail, 0},
};

const TEscRule& FindRule(uint8_t State, uint8_t C) {
    for (const TEscRule& r : EscRules)
        if (r.State == State && C >= r.Lo && C <= r.Hi) return r;
    return EscRules[std::size(EscRules) - 1]; // not reached: every state has a catch-all
}

constexpr bool EveryStateHasCatchAll() {
    for (const TEscRule& r : EscRules) {
        bool found = false;
        for (const TEscRule& a : EscRules)
            found = found || (a.State == r.State && a.Lo == Any0 && a.Hi == Any1);
        if (!found) return false;
    }
    return true;
}
static_assert(EveryStateHasCatchAll());

// An echo queues its byte and its tail; nothing else queues more than two.
constexpr bool EveryTailFits() {
    for (const TEscRule& r : EscRules) {
        size_t len = 0;
        while (r.Tail[len] != 0) len++;
        if (1 + len > std::size(TKeyBytes{}.Bytes)) return false;
    }
    return true;
}
static_assert(EveryTailFits());

uint8_t AltCode(uint8_t C) {
    for (int i = 0; i < AltKeyCount; i++)
        if (static_cast<uint8_t>(AltKeyChars[i]) == C) return AltKeyCodes[i];
    return 0;
}

void Queue(TKeyBytes& keys, uint8_t B) {
    keys.Bytes[keys.Count++] = B;
}

// Input is gone for good: end the program, so that no wait loop spins on #0.
// exit() runs the atexit finalisation, which restores the terminal.
[[noreturn]] void EndOfInput() {
    std::exit(0);
}

// select on descriptor 0 (Ms < 0: no time-out); true when it reports input.
bool SelectInput(int32_t Ms) {
    for (;;) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(0, &set);
        timeval tv{Ms / 1000, (Ms % 1000) * 1000};
        int r = select(1, &set, nullptr, nullptr, Ms < 0 ? nullptr : &tv);
        if (r >= 0) return r > 0;
        // A descriptor that cannot even be waited on (closed, say) is gone for
        // good too; answering "no input" would let a wait loop spin.
        if (errno != EINTR) EndOfInput();
    }
}

} // namespace

void InputPause(uint16_t Ms) {
    PauseMs(Ms);
}

char TInputLinux::ReadByte() {
    while (InCount == 0) {
        ssize_t n = read(0, InRing + InWrite, sizeof(InRing) - InWrite);
        if (n > 0) {
            InCount += static_cast<int32_t>(n);
            InWrite = (InWrite + static_cast<int32_t>(n)) % 256;
        } else if (n == 0) {
            EndOfInput();
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return '\0';
        } else if (errno != EINTR) {
            EndOfInput();
        }
    }
    char c = static_cast<char>(InRing[InRead]);
    InCount--;
    InRead = (InRead + 1) % 256;
    return c;
}

void TInputLinux::PushKey(char C) {
    int32_t slot = KeyPut;
    int32_t next = (KeyPut + 1) % 20;
    if (next == KeyTake) return; // full: one slot always stays free
    KeyRing[slot] = static_cast<uint8_t>(C);
    KeyPut = next;
}

char TInputLinux::PopKey() {
    if (KeyPut == KeyTake) return '\0';
    char c = static_cast<char>(KeyRing[KeyTake]);
    KeyTake = (KeyTake + 1) % 20;
    return c;
}

void TInputLinux::PushExtKey(uint8_t Code) {
    PushKey(Key::Extended);
    PushKey(static_cast<char>(Code));
}

uint8_t TInputLinux::AltKeyCode(char C) {
    return AltCode(static_cast<uint8_t>(C));
}

bool TInputLinux::InputReady() {
    return InCount > 0 || SelectInput(0);
}

bool TInputLinux::KeyPressed() {
    return KeyPut != KeyTake || InputReady();
}

bool TInputLinux::WaitKey(int32_t Ms) {
    if (KeyPut != KeyTake || InCount > 0) return true;
    return SelectInput(Ms < 0 ? -1 : Ms);
}

void TInputLinux::Purge() {
    while (KeyPressed()) ReadKey();
}

TKeyBytes TKeyDecoder::Feed(uint8_t C) {
    const TEscRule& rule = FindRule(State, C);
    State = rule.Next;
    TKeyBytes keys;
    switch (rule.Out) {
    case EscOut::None: break;
    case EscOut::Ext:
        Queue(keys, Key::Extended);
        Queue(keys, static_cast<uint8_t>(rule.Code + (C - rule.Lo)));
        break;
    case EscOut::Alt:
        Queue(keys, Key::Extended);
        Queue(keys, AltCode(C));
        break;
    case EscOut::Key: Queue(keys, rule.Code); break;
    case EscOut::Echo:
        Queue(keys, C);
        for (const char* tail = rule.Tail; *tail; tail++) Queue(keys, static_cast<uint8_t>(*tail));
        break;
    }
    return keys;
}

TKeyBytes TKeyDecoder::Expire() {
    TKeyBytes keys;
    if (State == 1) Queue(keys, Key::Esc);
    State = 0;
    return keys;
}

void TInputLinux::PushKeys(const TKeyBytes& keys) {
    for (uint8_t i = 0; i < keys.Count; i++) PushKey(static_cast<char>(keys.Bytes[i]));
}

char TInputLinux::ReadKey() {
    if (KeyPut != KeyTake) return PopKey();
    if (!InputReady()) SelectInput(-1);
    TKeyDecoder decoder;
    PushKeys(decoder.Feed(static_cast<uint8_t>(ReadByte())));
    // Each further byte of an escape sequence must arrive within 10 ms, or
    // the sequence ends where it stands. A byte that is already there (in the
    // ring, or readable at once) is taken without the wait: keys that arrive
    // in a burst, a held arrow key, decode as fast as they are read.
    while (decoder.Pending()) {
        if (!InputReady()) PauseProc(10);
        PushKeys(InputReady() ? decoder.Feed(static_cast<uint8_t>(ReadByte())) : decoder.Expire());
    }
    return PopKey();
}
