// Fuzzes the ANSI message image (TMsgBaseAnsi.Feed) and the page drawn from
// it. Whatever the bytes, Feed must read nothing beyond its buffer, write
// nothing outside the image and keep its cursor, line count and collected
// parameters within their limits; feeding the stream whole or split in two
// must give the same image and state; DrawPage must read only lines in use.
//
// Input layout:
//   bytes 0-1  split position, little-endian, taken modulo the stream length + 1
//   bytes 2-3  top line for DrawPage, little-endian
//   the rest is the stream.
// Seeds: fuzz/corpus/AnsiImageFuzz. Standard output goes to /dev/null.

#include "terminal/AnsiViewer.h"
#include "terminal/Console.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <fcntl.h>
#include <unistd.h>

namespace {

TMsgBaseAnsi& Image(int N) {
    static std::unique_ptr<TMsgBaseAnsi> A[2] = {std::make_unique<TMsgBaseAnsi>(0, 0),
                                                 std::make_unique<TMsgBaseAnsi>(0, 0)};
    return *A[N];
}

// Feeds Len bytes in pieces Feed can take; True when it asked to stop.
bool FeedAll(TMsgBaseAnsi& A, const uint8_t* P, size_t Len) {
    while (Len > 0) {
        const uint16_t N = static_cast<uint16_t>(std::min<size_t>(Len, 65535));
        if (A.Feed(P, N)) return true;
        P += N;
        Len -= N;
    }
    return false;
}

void Check(bool Ok) {
    if (!Ok) std::abort();
}

void CheckLimits(const TMsgBaseAnsi& A) {
    Check(A.CurX >= 1 && A.CurX <= AnsiImageCols);
    Check(A.CurY >= 1 && A.CurY <= AnsiImageLines);
    Check(A.Lines >= 1 && A.Lines <= AnsiImageLines);
    Check(A.EscState <= 2 && A.EscParams.size() <= 255);
    Check(A.PipeCode.size() < 2 && (A.InPipe || A.PipeCode.empty()));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    int Null = open("/dev/null", O_WRONLY);
    if (Null < 0 || dup2(Null, 1) < 0) std::abort();
    close(Null);
    InitConsole();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 4) return 0;
    const uint8_t* Stream = Data + 4;
    const size_t Len = Size - 4;
    const size_t Split = (Data[0] | Data[1] << 8) % (Len + 1);
    const uint16_t Top = static_cast<uint16_t>(Data[2] | Data[3] << 8);

    TMsgBaseAnsi& Whole = Image(0);
    TMsgBaseAnsi& Parts = Image(1);
    Whole.Clear();
    Parts.Clear();
    const bool StopWhole = FeedAll(Whole, Stream, Len);
    bool StopParts = FeedAll(Parts, Stream, Split);
    if (!StopParts) StopParts = FeedAll(Parts, Stream + Split, Len - Split);

    CheckLimits(Whole);
    Check(StopWhole == StopParts);
    Check(Whole.Data == Parts.Data);
    Check(Whole.CurX == Parts.CurX && Whole.CurY == Parts.CurY && Whole.Lines == Parts.Lines);
    Check(Whole.Attr == Parts.Attr && Whole.EscState == Parts.EscState);
    Check(Whole.EscParams == Parts.EscParams && Whole.InPipe == Parts.InPipe &&
          Whole.PipeCode == Parts.PipeCode);
    Check(Whole.SavedX == Parts.SavedX && Whole.SavedY == Parts.SavedY);

    Whole.DrawPage(1, 24, Top);
    Check(WhereX() >= 1 && WhereX() <= 80 && WhereY() >= 1 && WhereY() <= 25);
    return 0;
}
