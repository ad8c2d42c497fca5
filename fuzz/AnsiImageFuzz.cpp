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
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

TMsgBaseAnsi& Image(int N) {
    static std::unique_ptr<TMsgBaseAnsi> a[2] = {std::make_unique<TMsgBaseAnsi>(0, 0),
                                                 std::make_unique<TMsgBaseAnsi>(0, 0)};
    return *a[N];
}

// Feeds Len bytes in pieces Feed can take; True when it asked to stop.
bool FeedAll(TMsgBaseAnsi& A, const uint8_t* P, size_t Len) {
    while (Len > 0) {
        const uint16_t n = static_cast<uint16_t>(std::min<size_t>(Len, 65535));
        if (A.Feed(P, n)) return true;
        P += n;
        Len -= n;
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
    int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, 1) < 0) std::abort();
    close(null);
    InitConsole();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 4) return 0;
    const uint8_t* stream = Data + 4;
    const size_t len = Size - 4;
    const size_t split = (Data[0] | Data[1] << 8) % (len + 1);
    const uint16_t top = static_cast<uint16_t>(Data[2] | Data[3] << 8);

    TMsgBaseAnsi& whole = Image(0);
    TMsgBaseAnsi& parts = Image(1);
    whole.Clear();
    parts.Clear();
    const bool stopWhole = FeedAll(whole, stream, len);
    bool stopParts = FeedAll(parts, stream, split);
    if (!stopParts) stopParts = FeedAll(parts, stream + split, len - split);

    CheckLimits(whole);
    Check(stopWhole == stopParts);
    Check(whole.Data == parts.Data);
    Check(whole.CurX == parts.CurX && whole.CurY == parts.CurY && whole.Lines == parts.Lines);
    Check(whole.Attr == parts.Attr && whole.EscState == parts.EscState);
    Check(whole.EscParams == parts.EscParams && whole.InPipe == parts.InPipe &&
          whole.PipeCode == parts.PipeCode);
    Check(whole.SavedX == parts.SavedX && whole.SavedY == parts.SavedY);

    whole.DrawPage(1, 24, top);
    Check(WhereX() >= 1 && WhereX() <= 80 && WhereY() >= 1 && WhereY() <= 25);
    return 0;
}
