// Fuzzes the two ANSI interpreters that draw on the live screen, their file
// players and the SAUCE reader. Whatever the bytes, nothing outside a buffer,
// the shadow screen or the parameter array may be touched, every play must
// end, and the cursor, the parameter index and the collected text must stay
// within their limits.
//
// Input layout:
//   byte 0  what to run (mod 4): 0 AnsiWrite of the rest, 1 AnsiWrite in
//           pieces of (byte 4 mod 7) + 1 bytes, 2 PipeShowFile of a file
//           holding the rest, 3 ReadSauce and AnsiShowFile of that file
//   byte 1  ScreenRows, byte 2 WinMaxCol, byte 3 WinMinCol during the call
//   byte 4  the text attribute to start from (and the piece size)
//   the rest is the text.
// Seeds: fuzz/corpus/AnsiWriteFuzz. Standard output goes to /dev/null; standard
// input is a pipe that never delivers, so no key is ever waiting.

#include "terminal/AnsiUtil.h"
#include "terminal/Console.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

std::string PlayFile; // rewritten for every input that plays a file

void RemovePlayFile() {
    if (!PlayFile.empty()) unlink(PlayFile.c_str());
}

void WritePlayFile(const uint8_t* Data, size_t Size) {
    const int fd = open(PlayFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) std::abort();
    while (Size > 0) {
        const ssize_t n = write(fd, Data, Size);
        if (n <= 0) std::abort();
        Data += n;
        Size -= static_cast<size_t>(n);
    }
    close(fd);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, 1) < 0) std::abort();
    close(null);
    int fds[2];
    if (pipe(fds) != 0 || dup2(fds[0], 0) < 0) std::abort();
    close(fds[0]); // the write end stays open and silent for the whole run
    const char* tmp = getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/ansi-fuzz-XXXXXX";
    const int fd = mkstemp(templ.data());
    if (fd < 0) std::abort();
    close(fd);
    PlayFile = templ;
    atexit(RemovePlayFile);
    InitConsole();
    InitAnsiUtil();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 5) return 0;
    const uint8_t rows = ScreenRows, maxCol = WinMaxCol, minCol = WinMinCol;
    ScreenRows = Data[1];
    WinMaxCol = Data[2];
    WinMinCol = Data[3];
    InitAnsiUtil();
    SetTextAttr(Data[4]);
    GotoXY(1, 1);
    const std::string text(reinterpret_cast<const char*>(Data + 5), Size - 5);
    switch (Data[0] % 4) {
    case 0: AnsiWrite(text); break;
    case 1: {
        const size_t piece = Data[4] % 7 + 1;
        for (size_t at = 0; at < text.size(); at += piece) AnsiWrite(text.substr(at, piece));
        break;
    }
    case 2:
        WritePlayFile(Data + 5, Size - 5);
        PipeShowFile(PlayFile);
        break;
    default: {
        WritePlayFile(Data + 5, Size - 5);
        RecSauceInfo rec;
        ReadSauce(PlayFile, rec);
        AnsiShowFile(PlayFile);
        break;
    }
    }
    ScreenRows = rows;
    WinMaxCol = maxCol;
    WinMinCol = minCol;
    if (WhereX() < 1 || WhereX() > 80 || WhereY() < 1 || WhereY() > 25) std::abort();
    if (AnsiParamIdx < 1 || AnsiParamIdx > AnsiMaxParams || AnsiParamText.size() > 255)
        std::abort();
    if (Screen->OutLen >= OutBufSize) std::abort();
    return 0;
}
