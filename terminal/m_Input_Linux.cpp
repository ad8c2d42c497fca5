#include "terminal/m_Input_Linux.h"
// Bytes are read only when the input ring is empty, keys are decoded only when
// the key ring is empty, and the escape decoder is a table walked by one loop.

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
    uint8_t Next; // 0 ends the sequence
};

constexpr uint8_t Any0 = 0, Any1 = 255; // the whole byte range: "any other byte"
constexpr uint8_t Discard = 255;        // state: swallow one byte (the closing "~")

// The escape decoder. States: 1 escape, 2 escape "[", 3 escape "[[",
// 4 escape "[1", 5 escape "[2", 6 escape "[3", 7 escape "O", 8 escape "[15".
// The first rule of a state whose range holds the byte wins; every state ends
// with a rule for any other byte.
constexpr TEscRule EscRules[] = {
    {1, '\n', '\n', EscOut::Echo, 0, "", 0},
    {1, 'a', 'z', EscOut::Alt, 0, "", 0},
    {1, '0', '9', EscOut::Alt, 0, "", 0},
    {1, '-', '-', EscOut::Alt, 0, "", 0},
    {1, '=', '=', EscOut::Alt, 0, "", 0},
    {1, '[', '[', EscOut::None, 0, "", 2},
    {1, 'O', 'O', EscOut::None, 0, "", 7},
    {1, Any0, Any1, EscOut::Echo, 0, "\x1b", 0},

    {2, 'A', 'A', EscOut::Ext, 72, "", 0}, // Up
    {2, 'B', 'B', EscOut::Ext, 80, "", 0}, // Down
    {2, 'C', 'C', EscOut::Ext, 77, "", 0}, // Right
    {2, 'D', 'D', EscOut::Ext, 75, "", 0}, // Left
    {2, 'H', 'H', EscOut::Ext, 71, "", 0}, // Home
    {2, 'K', 'K', EscOut::Ext, 79, "", 0}, // End
    {2, 'F', 'F', EscOut::Ext, 79, "", 0}, // End of xterm-like terminals in normal cursor mode
    {2, 'U', 'U', EscOut::Ext, 81, "", 0}, // PgDn
    {2, 'V', 'V', EscOut::Ext, 73, "", 0}, // PgUp
    {2, 'G', 'G', EscOut::Key, '5', "", 0},
    {2, '1', '1', EscOut::None, 0, "", 4},
    {2, '2', '2', EscOut::None, 0, "", 5},
    {2, '3', '3', EscOut::None, 0, "", 6},
    {2, '4', '4', EscOut::Ext, 79, "", Discard}, // End
    {2, '5', '5', EscOut::Ext, 73, "", Discard}, // PgUp
    {2, '6', '6', EscOut::Ext, 81, "", Discard}, // PgDn
    {2, '[', '[', EscOut::None, 0, "", 3},
    {2, Any0, Any1, EscOut::Echo, 0, "[\x1b", 0},

    {3, 'A', 'E', EscOut::Ext, 59, "", 0}, // F1-F5
    {3, Any0, Any1, EscOut::None, 0, "", 0},

    {4, '~', '~', EscOut::Ext, 71, "", 0}, // Home
    {4, '5', '5', EscOut::None, 0, "", 8},
    {4, '7', '9', EscOut::Ext, 64, "", Discard}, // F6-F8
    {4, Any0, Any1, EscOut::None, 0, "", Discard},

    {5, '~', '~', EscOut::Ext, 82, "", 0},        // Ins
    {5, '0', '1', EscOut::Ext, 67, "", Discard},  // F9, F10
    {5, '3', '4', EscOut::Ext, 133, "", Discard}, // F11, F12
    {5, '5', '6', EscOut::Ext, 86, "", Discard},  // Shift F3, F4
    {5, '8', '9', EscOut::Ext, 88, "", Discard},  // Shift F5, F6
    {5, Any0, Any1, EscOut::None, 0, "", Discard},

    {6, '~', '~', EscOut::Ext, 83, "", 0},       // Del
    {6, '1', '4', EscOut::Ext, 90, "", Discard}, // Shift F7-F10
    {6, Any0, Any1, EscOut::None, 0, "", Discard},

    {7, 'A', 'A', EscOut::Ext, 72, "", 0}, // Up
    {7, 'B', 'B', EscOut::Ext, 80, "", 0}, // Down
    {7, 'C', 'C', EscOut::Ext, 77, "", 0}, // Right
    {7, 'D', 'D', EscOut::Ext, 75, "", 0}, // Left
    {7, 'F', 'F', EscOut::Ext, 79, "", 0}, // End
    {7, 'H', 'H', EscOut::Ext, 71, "", 0}, // Home
    {7, 'P', 'S', EscOut::Ext, 59, "", 0}, // F1-F4
    {7, Any0, Any1, EscOut::None, 0, "", 0},

    {8, '~', '~', EscOut::Ext, 63, "", 0}, // F5
    {8, Any0, Any1, EscOut::None, 0, "", 0},

    {Discard, Any0, Any1, EscOut::None, 0, "", 0},
};

const TEscRule& FindRule(uint8_t State, uint8_t C) {
    for (const TEscRule& R : EscRules)
        if (R.State == State && C >= R.Lo && C <= R.Hi) return R;
    return EscRules[std::size(EscRules) - 1]; // not reached: every state has a catch-all
}

constexpr bool EveryStateHasCatchAll() {
    for (const TEscRule& R : EscRules) {
        bool Found = false;
        for (const TEscRule& A : EscRules)
            Found = Found || (A.State == R.State && A.Lo == Any0 && A.Hi == Any1);
        if (!Found) return false;
    }
    return true;
}
static_assert(EveryStateHasCatchAll());

// Input is gone for good: end the program, so that no wait loop spins on #0.
// exit() runs the atexit finalisation, which restores the terminal.
[[noreturn]] void EndOfInput() {
    std::exit(0);
}

// select on descriptor 0 (Ms < 0: no time-out); true when it reports input.
bool SelectInput(int32_t Ms) {
    for (;;) {
        fd_set Set;
        FD_ZERO(&Set);
        FD_SET(0, &Set);
        timeval Tv{Ms / 1000, (Ms % 1000) * 1000};
        int R = select(1, &Set, nullptr, nullptr, Ms < 0 ? nullptr : &Tv);
        if (R >= 0) return R > 0;
        // A descriptor that cannot even be waited on (closed, say) is gone for
        // good too; answering "no input" would let a wait loop spin.
        if (errno != EINTR) EndOfInput();
    }
}

} // namespace

void InputPause(uint16_t Ms) {
    timeval Tv{Ms / 1000, (Ms % 1000) * 1000};
    // Linux leaves the time still to wait in Tv when a signal interrupts.
    while (select(0, nullptr, nullptr, nullptr, &Tv) < 0 && errno == EINTR) {
    }
}

char TInputLinux::ReadByte() {
    while (InCount == 0) {
        ssize_t N = read(0, InRing + InWrite, sizeof(InRing) - InWrite);
        if (N > 0) {
            InCount += static_cast<int32_t>(N);
            InWrite = (InWrite + static_cast<int32_t>(N)) % 256;
        } else if (N == 0) {
            EndOfInput();
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return '\0';
        } else if (errno != EINTR) {
            EndOfInput();
        }
    }
    char C = static_cast<char>(InRing[InRead]);
    InCount--;
    InRead = (InRead + 1) % 256;
    return C;
}

void TInputLinux::PushKey(char C) {
    int32_t Slot = KeyPut;
    int32_t Next = (KeyPut + 1) % 20;
    if (Next == KeyTake) return; // full: one slot always stays free
    KeyRing[Slot] = static_cast<uint8_t>(C);
    KeyPut = Next;
}

char TInputLinux::PopKey() {
    if (KeyPut == KeyTake) return '\0';
    char C = static_cast<char>(KeyRing[KeyTake]);
    KeyTake = (KeyTake + 1) % 20;
    return C;
}

void TInputLinux::PushExtKey(uint8_t Code) {
    PushKey('\0');
    PushKey(static_cast<char>(Code));
}

uint8_t TInputLinux::AltKeyCode(char C) {
    for (int I = 0; I < AltKeyCount; I++)
        if (AltKeyChars[I] == C) return AltKeyCodes[I];
    return 0;
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

// Runs after an escape byte: each further byte must arrive within 10 ms, or
// the sequence ends where it stands.
void TInputLinux::DecodeEscape() {
    uint8_t State = 1;
    InputPause(10);
    while (State != 0 && InputReady()) {
        uint8_t C = static_cast<uint8_t>(ReadByte());
        const TEscRule& R = FindRule(State, C);
        State = R.Next;
        switch (R.Out) {
        case EscOut::None: break;
        case EscOut::Ext: PushExtKey(static_cast<uint8_t>(R.Code + (C - R.Lo))); break;
        case EscOut::Alt: PushExtKey(AltKeyCode(static_cast<char>(C))); break;
        case EscOut::Key: PushKey(static_cast<char>(R.Code)); break;
        case EscOut::Echo:
            PushKey(static_cast<char>(C));
            for (const char* T = R.Tail; *T; T++) PushKey(*T);
            break;
        }
        if (State != 0) InputPause(10);
    }
    if (State == 1) PushKey('\x1b'); // nothing followed the escape in time
}

char TInputLinux::ReadKey() {
    if (KeyPut != KeyTake) return PopKey();
    if (!InputReady()) SelectInput(-1);
    uint8_t B = static_cast<uint8_t>(ReadByte());
    if (B == 27)
        DecodeEscape();
    else if (B == 127)
        PushKey('\b'); // DEL arrives as backspace
    else
        PushKey(static_cast<char>(B));
    return PopKey();
}
