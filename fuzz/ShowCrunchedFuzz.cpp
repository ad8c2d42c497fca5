// Fuzzes the run-length screen decoder (ShowCrunched) and the region restore
// it ends in. Whatever the stream, the decoder must read nothing beyond its
// length and write nothing outside its image or the writer's shadow, and the
// writer's queue and cursor must stay within their limits.
//
// Input layout:
//   byte 0  X2, byte 1  X1, byte 2  Y1 of the region to show
//   byte 3  the writer's ScreenLines during the call (the decoder's line limit)
//   the rest is the stream, passed with its exact length.
// Seeds: fuzz/corpus/ShowCrunchedFuzz. Standard output goes to /dev/null.

#include "terminal/m_Output_Linux.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

TOutputLinux& Writer() {
    static TOutputLinux w(true);
    return w;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The decoder shows its image on standard output; keep that off the console.
    int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, 1) < 0) std::abort();
    close(null);
    Writer();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 4) return 0;
    TOutputLinux& w = Writer();
    const uint8_t lines = w.ScreenLines;
    w.ScreenLines = Data[3];
    w.ShowCrunched(Data + 4, static_cast<int32_t>(Size - 4), Data[0], Data[1], Data[2]);
    w.ScreenLines = lines;
    if (w.OutLen >= OutBufSize || w.CurX < 1 || w.CurX > 80 || w.CurY < 1 || w.CurY > 25)
        std::abort();
    return 0;
}
