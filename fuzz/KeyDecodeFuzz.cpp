// Fuzzes the key decoder with arbitrary bytes and arbitrary pauses between
// them. Whatever arrives, every key must be complete after at most five
// bytes, queue at most three key bytes (so the 20-slot key ring of the reader
// can never overflow), end when the pause runs out, and never come out as an
// extended key with the scan code 0.
//
// Input layout, repeated: one pause byte, then up to eight key bytes. Bit i
// of the pause byte set: the pause runs out before key byte i arrives. The
// end of the input is a pause that runs out too.
// Seeds: fuzz/corpus/KeyDecodeFuzz.

#include "terminal/m_Input_Linux.h"

#include <cstdint>
#include <cstdlib>

namespace {

constexpr int MaxKeyLength = 5; // escape "[15~" and its kin
constexpr int MaxKeyBytes = 3;  // an echoed escape "[" with its byte

void Check(bool Ok) {
    if (!Ok) std::abort();
}

struct TRun {
    TKeyDecoder Decoder;
    int KeyLength = 0; // bytes of the key being decoded
    int KeyBytes = 0;  // key bytes it queued so far
    size_t Steps = 0;

    void Take(const TKeyBytes& keys, bool inSequence) {
        Steps++;
        Check(keys.Count <= MaxKeyBytes);
        KeyBytes += keys.Count;
        Check(KeyBytes <= MaxKeyBytes);
        if (inSequence && keys.Count >= 2 && keys.Bytes[0] == 0) Check(keys.Bytes[1] != 0);
        if (!Decoder.Pending()) KeyLength = KeyBytes = 0;
    }

    void Feed(uint8_t c) {
        const bool inSequence = Decoder.Pending();
        KeyLength++;
        Take(Decoder.Feed(c), inSequence);
        Check(!Decoder.Pending() || KeyLength < MaxKeyLength);
    }

    void Expire() {
        const bool inSequence = Decoder.Pending();
        Take(Decoder.Expire(), inSequence);
        Check(!Decoder.Pending());
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TRun run;
    size_t keyBytesSeen = 0;
    for (size_t at = 0; at < Size;) {
        const uint8_t pauses = Data[at++];
        for (int i = 0; i < 8 && at < Size; i++, at++) {
            if ((pauses >> i) & 1) run.Expire();
            run.Feed(Data[at]);
            keyBytesSeen++;
        }
    }
    run.Expire();
    // One step per byte, one per pause and the last expiry.
    Check(run.Steps <= 2 * keyBytesSeen + 1);
    return 0;
}
