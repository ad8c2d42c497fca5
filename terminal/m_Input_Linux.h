#pragma once
// Keyboard reader: raw bytes from descriptor 0 collect in a 256-byte input
// ring; a key decoder (a table of state, byte range, what is queued and next
// state) turns them into PC key codes, the reader waiting up to 10 ms for each
// further byte of an escape sequence that has not arrived yet; a 20-slot key
// ring hands the key bytes out one at a time. An extended key is the byte 0
// followed by its PC scan code on the next call.
//
// End of input: when a read of descriptor 0 returns 0 (end of file, including
// a descriptor that select/poll reported readable), or fails for good (any
// error but EINTR, which is retried, and EAGAIN, which just yields no byte),
// the reader ends the process with exit(0). The atexit finaliser of the
// Console unit then puts the terminal back. So a loop of ReadKey or
// KeyPressed calls can never spin on #0 once the input is gone.

#include <cstdint>

// Alt with one of these characters is the extended key with the scan code of
// AltKeyCodes at the same position. Only lower-case letters are listed.
inline constexpr int AltKeyCount = 38;
inline constexpr char AltKeyChars[AltKeyCount + 1] = "qwertyuiopasdfghjklzxcvbnm1234567890-=";
inline constexpr uint8_t AltKeyCodes[AltKeyCount] = {
    16,  17,  18,  19,  20,  21,  22,  23,  24,  25,            // q-p
    30,  31,  32,  33,  34,  35,  36,  37,  38,                 // a-l
    44,  45,  46,  47,  48,  49,  50,                           // z-m
    120, 121, 122, 123, 124, 125, 126, 127, 128, 129, 130, 131, // 1-0 - =
};

// The key bytes one step of the decoder queues, oldest first.
struct TKeyBytes {
    uint8_t Count = 0;
    uint8_t Bytes[3] = {}; // a step never queues more than three
    bool operator==(const TKeyBytes&) const = default;
};

// The key decoder on its own: it is handed each byte as it arrives (Feed) and
// told when no byte came within the pause (Expire), and answers with the key
// bytes to queue. It reads nothing and never waits; the reader owns the byte
// source and the clock. State 0 lies between keys; in any other state the
// decoder is inside an escape sequence and wants the next byte or the expiry.
// Each key is complete after at most five bytes.
class TKeyDecoder {
public:
    uint8_t State = 0;

    bool Pending() const { return State != 0; }
    TKeyBytes Feed(uint8_t C);
    // The sequence ends where it stands: an escape that nothing followed is
    // the Esc key; a sequence cut later queues nothing for its incomplete part.
    TKeyBytes Expire();
};

// Waits Ms milliseconds (a select on no descriptors).
void InputPause(uint16_t Ms);

class TInputLinux {
public:
    uint8_t InRing[256] = {}; // bytes read and not yet decoded
    int32_t InCount = 0;      // unread bytes in InRing, 0-256
    int32_t InWrite = 0;      // where the next read stores
    int32_t InRead = 0;       // the next unread byte
    uint8_t KeyRing[20] = {}; // decoded key bytes, oldest first; one slot stays free
    int32_t KeyPut = 0;       // where the next key byte goes
    int32_t KeyTake = 0;      // the next key byte to hand out; == KeyPut when empty
    // The wait for a further byte of an escape sequence that has not arrived
    // yet: InputPause, or a stand-in that counts the waits.
    void (*PauseProc)(uint16_t Ms) = InputPause;

    TInputLinux() = default;
    virtual ~TInputLinux() = default;
    TInputLinux(const TInputLinux&) = delete;
    TInputLinux& operator=(const TInputLinux&) = delete;

    // The next key byte, waiting for input when none is held.
    char ReadKey();
    // A key byte is held, or InputReady.
    bool KeyPressed();
    // Bytes are buffered, or a zero-time-out poll of descriptor 0 reports input.
    bool InputReady();
    // True at once when a key or byte is held; otherwise waits up to Ms
    // milliseconds (negative: without limit) for input on descriptor 0.
    bool WaitKey(int32_t Ms);
    // Discards every waiting key and byte.
    void Purge();
    // The next byte of InRing, reading descriptor 0 first when it is empty;
    // #0 when nothing could be read.
    char ReadByte();
    // Appends C to KeyRing; dropped when the ring is full.
    void PushKey(char C);
    // The oldest key byte, removed; #0 when the ring is empty.
    char PopKey();
    void PushExtKey(uint8_t Code);
    // The Alt scan code of C; 0 when C has none.
    uint8_t AltKeyCode(char C);

private:
    void PushKeys(const TKeyBytes& keys);
};
