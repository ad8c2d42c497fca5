#include "terminal/AnsiUtil.h"
// Two interpreters of outside bytes that draw on the live screen. Both are
// byte-at-a-time state machines that never look back or ahead beyond what
// they hold, keep their collected text to 255 bytes and do all cursor
// arithmetic in 64 bits before GotoXY limits it to the screen. Files are read
// in fixed blocks, so a file without line ends costs no more memory than one
// with them.

#include "support/FileDesc.h"
#include "support/FileIO.h"
#include "support/StrUtil.h"
#include "terminal/Console.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>

bool AnsiInCsi = false;
std::string AnsiParamText;
uint8_t AnsiParamIdx = 1;
bool AnsiEscSeen = false;
TAnsiParamArray AnsiParams{{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1}};
uint16_t AnsiSavedPos = 1 + 256 * 1;

namespace {

constexpr char Esc = '\x1b';
constexpr char CtrlZ = '\x1a';
constexpr size_t BlockSize = 4096;

bool IsDigit(uint8_t B) {
    return B >= '0' && B <= '9';
}

// A position worked out in 64 bits, as the byte GotoXY takes; beyond 255 it
// stays 255 instead of wrapping round to a small number.
uint8_t PosByte(int64_t V) {
    return static_cast<uint8_t>(std::clamp<int64_t>(V, 0, 255));
}

// A + D without overflow: pace counters changed by keys stop at the ends.
int32_t AddClamped(int32_t A, int32_t D) {
    const int64_t R = int64_t{A} + D;
    return static_cast<int32_t>(std::clamp<int64_t>(R, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// The attribute the escape builders start from; 7 before the console is up.
uint8_t CurrentAttr() {
    return Screen ? Screen->Attr : 7;
}

// Opens Name only when it is a regular file: a pipe or a device could block
// the open or never end, and a directory holds no text. O_NONBLOCK keeps the
// open of a FIFO from waiting for a writer; it changes nothing for a regular
// file. Closed (not IsOpen) on failure.
TFileDesc OpenRegular(const std::string& Name, int Flags, int64_t* Size = nullptr) {
    TFileDesc File;
    struct stat64 St {};
    if (!File.Open(Name, Flags | O_NONBLOCK) || !File.Stat(St) || !S_ISREG(St.st_mode))
        return TFileDesc();
    if (Size) *Size = St.st_size;
    return File;
}

// Up to Count bytes, a block filled whole unless the file ends; 0 at the end
// of the file and on a read error alike.
int32_t ReadSome(int Fd, void* Buf, size_t Count) {
    int Err = 0;
    return static_cast<int32_t>(ReadAll(Fd, Buf, static_cast<int64_t>(Count), Err));
}

// ---------------------------------------------------------------------------
// The ANSI interpreter.

void StoreParam() {
    AnsiParams[AnsiParamIdx] = StrToIntDef(AnsiParamText, 0);
}

void WritePending(std::string& Pending) {
    WriteText(Pending);
    Pending.clear();
}

// One byte through the interpreter; plain text collects in Pending, which the
// caller writes out at the end of its call.
void AnsiByte(char B, std::string& Pending) {
    if (B == Esc) { // also abandons a sequence being read
        AnsiInCsi = false;
        AnsiEscSeen = true;
        return;
    }
    if (B == '[' && AnsiEscSeen) {
        AnsiInCsi = true;
        AnsiEscSeen = false;
        AnsiParamText.clear();
        AnsiParamIdx = 1;
        AnsiParams.Values.fill(-1);
        return;
    }
    AnsiEscSeen = false;
    if (!AnsiInCsi) {
        if (Pending.size() < MaxStrLen) Pending += B;
        return;
    }
    const auto U = static_cast<uint8_t>(B);
    if (U == ' ' || (U >= '<' && U <= '?')) return;
    if (IsDigit(U)) {
        if (AnsiParamText.size() < MaxStrLen) AnsiParamText += B;
        return;
    }
    if (B == ';') {
        StoreParam();
        AnsiParamText.clear();
        if (AnsiParamIdx < AnsiMaxParams) ++AnsiParamIdx;
        return;
    }
    WritePending(Pending); // the final byte
    StoreParam();
    AnsiCommand(B);
    AnsiInCsi = false;
}

void AnsiRendition(int32_t V) {
    const uint8_t A = Screen->Attr;
    if (V == 0) {
        Screen->SetAttr(7);
    } else if (V == 1) {
        SetBright();
    } else if (V == 7) { // bright and blink are dropped
        Screen->SetAttr(static_cast<uint8_t>(((A & 0x70) >> 4) + ((A & 7) << 4)));
    } else if (V == 8) {
        Screen->SetAttr(0);
    } else if (V >= 30 && V <= 37) { // the brightness stays
        SetForeground(static_cast<uint8_t>(AnsiColors[V - 30] + ((A & 15) >= 8 ? 8 : 0)));
    } else if (V >= 40 && V <= 47) {
        SetBackground(static_cast<uint8_t>(AnsiColors[V - 40]));
    }
}

void AnsiSelectRendition() {
    if (AnsiParams[1] == -1) { // a missing first parameter is 0
        AnsiRendition(0);
        return;
    }
    for (int I = 1; I <= AnsiMaxParams && AnsiParams[I] != -1; ++I) AnsiRendition(AnsiParams[I]);
}

// ---------------------------------------------------------------------------
// The line player behind AnsiPlayFile and AnsiShowFile.

// A file's bytes, one block at a time; a read error ends the bytes as the end
// of the file does.
class TBlockReader {
public:
    explicit TBlockReader(int AFd) : Fd(AFd) {}
    bool AtEnd() { return Pos == Len && !Fill(); }
    bool Next(char& B) {
        if (AtEnd()) return false;
        B = Buf[Pos++];
        return true;
    }
    bool NextIs(char B) { return !AtEnd() && Buf[Pos] == B; }
    void Skip() { ++Pos; }

private:
    bool Fill() {
        if (Ended) return false;
        Len = static_cast<size_t>(ReadSome(Fd, Buf, BlockSize));
        Pos = 0;
        Ended = Len == 0;
        return !Ended;
    }
    int Fd;
    char Buf[BlockSize];
    size_t Pos = 0;
    size_t Len = 0;
    bool Ended = false;
};

// The key read after a line; False when it stops the play.
bool PaceKey(int32_t& DelayMs, int32_t StartMs) {
    switch (ReadKey()) {
    case Esc: return false;
    case '*': DelayMs = 1000; break;
    case '+': DelayMs = AddClamped(DelayMs, 5); break;
    case '-': DelayMs = AddClamped(DelayMs, -5); break;
    case '/': DelayMs = StartMs; break;
    default: break;
    }
    if (DelayMs < 0) DelayMs = 0;
    return true;
}

// Each line goes through the interpreter as it is read, as one AnsiWrite of
// the line (with CR LF unless the file ends after it) would take it, so a line
// of any length needs no more than one block in memory.
void PlayLines(const std::string& FileName, int32_t DelayMs, bool Paced) {
    // A negative pause would be a pause of over a minute in its low 16 bits.
    if (DelayMs < 0) DelayMs = 0;
    const int32_t StartMs = DelayMs;
    if (!FileExists(FileName)) return;
    const TFileDesc File = OpenRegular(FileName, O_RDONLY);
    if (!File.IsOpen()) return;
    TBlockReader In(File.Fd());
    std::string Pending;
    while (!In.AtEnd()) {
        char B;
        while (In.Next(B)) {
            if (B == '\n') break;
            if (B == '\r') {
                if (In.NextIs('\n')) In.Skip();
                break;
            }
            AnsiByte(B, Pending);
        }
        if (!In.AtEnd()) {
            AnsiByte('\r', Pending);
            AnsiByte('\n', Pending);
        }
        WritePending(Pending);
        if (!Paced) continue;
        Delay(static_cast<uint16_t>(DelayMs));
        if (KeyPressed() && !PaceKey(DelayMs, StartMs)) return;
    }
}

} // namespace

void InitAnsiUtil() {
    AnsiInCsi = false;
    AnsiParamText.clear();
    AnsiParamIdx = 1;
    AnsiEscSeen = false;
    AnsiParams.Values.fill(-1);
    AnsiSavedPos = 1 + 256 * 1;
}

void DoneAnsiUtil() {
    AnsiParamText.clear();
    AnsiParamText.shrink_to_fit();
}

void AnsiWrite(const std::string& S) {
    std::string Pending;
    for (char B : S) AnsiByte(B, Pending);
    WritePending(Pending);
}

void AnsiCommand(char Final) {
    const int64_t P1 = AnsiParams[1];
    const int64_t P2 = AnsiParams[2];
    const int64_t N = std::max<int64_t>(P1, 1);
    const int64_t X = WhereX(), Y = WhereY();
    switch (Final) {
    case 'A': GotoXY(WhereX(), PosByte(std::max<int64_t>(Y - N, 1))); break;
    case 'B': // limited by the reported height, but never a move up on a small terminal
        GotoXY(WhereX(), PosByte(std::max(std::min<int64_t>(Y + N, ScreenRows), Y)));
        break;
    case 'C': {
        const int64_t LastCol = int64_t{WinMaxCol} - WinMinCol + 1;
        GotoXY(PosByte(std::min(X + N, LastCol)), WhereY());
        break;
    }
    case 'D': GotoXY(PosByte(std::max<int64_t>(X - N, 1)), WhereY()); break;
    case 'H':
    case 'f': // each coordinate as a byte (its value modulo 256)
        GotoXY(static_cast<uint8_t>(std::max<int64_t>(P2, 1)),
               static_cast<uint8_t>(std::max<int64_t>(P1, 1)));
        break;
    case 'J':
        if (P1 == 2) ClearScreen();
        break;
    case 'K': ClearEol(); break;
    case 'm': AnsiSelectRendition(); break;
    case 's': AnsiSavedPos = static_cast<uint16_t>(WhereX() + 256 * WhereY()); break;
    case 'u':
        GotoXY(static_cast<uint8_t>(AnsiSavedPos & 255), static_cast<uint8_t>(AnsiSavedPos >> 8));
        break;
    default: break;
    }
}

void AnsiPlayFile(const std::string& FileName, int32_t DelayMs) {
    PlayLines(FileName, DelayMs, true);
}

void AnsiShowFile(const std::string& FileName) {
    PlayLines(FileName, 0, false);
}

// ---------------------------------------------------------------------------
// SAUCE.

void DecodeSauce(const std::array<uint8_t, SauceRecSize>& Buf, RecSauceInfo& Rec) {
    size_t At = 0;
    auto Chars = [&](auto& Field) {
        std::memcpy(Field.data(), Buf.data() + At, Field.size());
        At += Field.size();
    };
    auto Num = [&](size_t Size) {
        uint32_t V = 0;
        for (size_t I = 0; I < Size; ++I) V |= uint32_t{Buf[At + I]} << (8 * I);
        At += Size;
        return V;
    };
    Chars(Rec.ID);
    Chars(Rec.Version);
    Chars(Rec.Title);
    Chars(Rec.Author);
    Chars(Rec.Group);
    Chars(Rec.Date);
    Rec.FileSize = static_cast<int32_t>(Num(4));
    Rec.DataType = static_cast<uint8_t>(Num(1));
    Rec.FileType = static_cast<uint8_t>(Num(1));
    Rec.TInfo1 = static_cast<uint16_t>(Num(2));
    Rec.TInfo2 = static_cast<uint16_t>(Num(2));
    Rec.TInfo3 = static_cast<uint16_t>(Num(2));
    Rec.TInfo4 = static_cast<uint16_t>(Num(2));
    Rec.Comments = static_cast<uint8_t>(Num(1));
    Rec.TFlags = static_cast<uint8_t>(Num(1));
    Chars(Rec.TInfoS);
}

std::string PrintableOnly(const std::string& S) {
    std::string R = CutStr(S);
    for (char& C : R) {
        const auto U = static_cast<uint8_t>(C);
        if (U < 32 || U > 125) C = ' ';
    }
    return R;
}

bool ReadSauce(const std::string& FileName, RecSauceInfo& Rec) {
    bool Opened = false;
    return ReadSauce(FileName, Rec, Opened);
}

bool ReadSauce(const std::string& FileName, RecSauceInfo& Rec, bool& Opened) {
    int64_t Size = 0;
    const TFileDesc File = OpenRegular(FileName, O_RDONLY, &Size);
    Opened = File.IsOpen();
    if (!Opened) return false;
    // Bytes that are not there (a short file, a failed read) stay zero.
    std::array<uint8_t, SauceRecSize> Buf{};
    if (Size >= SauceRecSize) {
        int Err = 0;
        PReadAll(File.Fd(), Buf.data(), SauceRecSize, Size - SauceRecSize, Err);
    }
    DecodeSauce(Buf, Rec);
    WriteLine(PrintableOnly(std::string(Rec.Title.data(), Rec.Title.size())));
    return std::memcmp(Rec.ID.data(), "SAUCE", Rec.ID.size()) == 0;
}

// ---------------------------------------------------------------------------
// Colour escapes of pipe codes.

namespace {

constexpr std::string_view PipeEscapes[24] = {
    "\x1b[0;30m", "\x1b[0;34m", "\x1b[0;32m", "\x1b[0;36m", "\x1b[0;31m", "\x1b[0;35m",
    "\x1b[0;33m", "\x1b[0;37m", "\x1b[1;30m", "\x1b[1;34m", "\x1b[1;32m", "\x1b[1;36m",
    "\x1b[1;31m", "\x1b[1;35m", "\x1b[1;33m", "\x1b[1;37m", "\x1b[40m",   "\x1b[44m",
    "\x1b[42m",   "\x1b[46m",   "\x1b[41m",   "\x1b[45m",   "\x1b[43m",   "\x1b[47m",
};

} // namespace

void PipeToAnsi(std::string& S, uint8_t Code, uint8_t Attr) {
    S.clear();
    if (Code >= 24) return;
    S = PipeEscapes[Code];
    if (Code < 8) S += PipeEscapes[16 + ((Attr >> 4) & 7)]; // its reset cleared the background
}

void PipeToAnsiDiff(std::string& S, uint8_t Code) {
    S.clear();
    const uint8_t A = CurrentAttr();
    const int F = A & 15;
    const int G = (A >> 4) & 7;
    if (Code >= 16) {
        if (Code - 16 != G && Code <= 23) S = PipeEscapes[Code];
        return;
    }
    if (Code == F) return;
    const std::string Prefix = Code < 8 && F >= 8 ? "0;" : Code >= 8 && F < 8 ? "1;" : "";
    S = "\x1b[" + Prefix + '3' + AnsiColorDigits[Code & 7];
    S += Prefix == "0;" ? std::string(";4") + AnsiColorDigits[G] + 'm' : std::string("m");
}

void SaveImageAnsi(const std::string& FileName, const TConsoleImageRec& Image) {
    if (FileName.empty()) return;
    TFileDesc File;
    if (!File.Open(FileName, O_WRONLY | O_CREAT | O_TRUNC)) return;
    std::string Out;
    std::string Esc1, Esc2;
    uint8_t Last = 0;
    for (int Y = 2; Y <= 21; ++Y) {
        for (int X = 1; X <= 79; ++X) {
            const TCharInfo Cell = Image.Data[Y][X];
            if (Cell.Attr != Last) {
                PipeToAnsi(Esc1, Cell.Attr % 16, CurrentAttr());
                PipeToAnsi(Esc2, static_cast<uint8_t>(16 + Cell.Attr / 16), CurrentAttr());
                Out += Esc1;
                Out += Esc2;
            }
            Out += Cell.Ch;
            Last = Cell.Attr;
        }
        if (Y < 21) Out += "\r\n";
    }
    // A failed write ends the saving; the program has no message for it.
    File.WriteAll(Out);
}

// ---------------------------------------------------------------------------
// The pipe-code player.

namespace {

// The program's N-th command-line argument as the system reports it; empty
// when there is none.
std::string ProgramArg(int N) {
    TFileDesc File;
    if (!File.Open("/proc/self/cmdline", O_RDONLY)) return "";
    std::string All;
    char Block[BlockSize];
    int Err = 0;
    for (int64_t Got; (Got = File.ReadAll(Block, BlockSize, Err)) > 0;)
        All.append(Block, static_cast<size_t>(Got));
    size_t Start = 0;
    for (int I = 0; Start < All.size(); ++I) {
        const size_t End = std::min(All.find('\0', Start), All.size());
        if (I == N) return CutStr(All.substr(Start, End - Start));
        Start = End + 1;
    }
    return "";
}

// The state of one play and the routines that work on it.
class TPipePlay {
public:
    TPipePlay(int AFd, int32_t ARate) : Fd(AFd), Rate(ARate) {}
    void Run();

private:
    int Fd;
    int32_t Rate;
    bool Done = false;   // Esc was read
    uint16_t BufPos = 0; // bytes of Buf taken; paces the play
    int32_t BufLen = 0;  // bytes in Buf
    uint8_t Buf[BlockSize] = {};
    bool AtEnd = false;   // the file gave no more bytes
    uint8_t Back[2] = {}; // bytes read after a "|" that started no code
    int BackCount = 0;
    uint8_t EscState = 0; // 0 text, 1 after ESC, 2 inside ESC "["
    std::string ParamText;
    int LastChar = -1; // none yet
    uint8_t SavedX = 1;
    uint8_t SavedY = 1;

    uint8_t ReadByte();
    void PutBack(uint8_t B1, uint8_t B2);
    void HandleByte(uint8_t B, bool FromEscape);
    void WriteChar(uint8_t B);
    void WriteString(const std::string& S);
    void WriteBuf(const char* P, uint16_t Len);
    std::string CodeToAnsi(uint8_t Code);
    void CsiCommand(uint8_t B);
    int32_t NextParam();
    void ResetEscape();
    void CsiUp();
    void CsiDown();
    void CsiRight();
    void CsiLeft();
    void CsiGoto();
    void ClearToEol();
    void SelectRendition();
    void ReadPaceKey();
};

// At the end of the file (or after a failed read) every call gives Ctrl-Z;
// the buffer's old bytes are never handed out again.
uint8_t TPipePlay::ReadByte() {
    if (BackCount > 0) {
        const uint8_t B = Back[0];
        Back[0] = Back[1];
        --BackCount;
        return B;
    }
    if (BufPos >= BufLen) {
        BufLen = AtEnd ? 0 : ReadSome(Fd, Buf, BlockSize);
        BufPos = 0;
        if (BufLen == 0) {
            AtEnd = true;
            Buf[0] = CtrlZ;
            BufLen = 1;
        }
    }
    return Buf[BufPos++];
}

// Only ever called right after the two bytes following a "|" were read, when
// nothing is held back any more.
void TPipePlay::PutBack(uint8_t B1, uint8_t B2) {
    Back[0] = B1;
    Back[1] = B2;
    BackCount = 2;
}

void TPipePlay::HandleByte(uint8_t B, bool FromEscape) {
    if (EscState == 1) {
        EscState = B == '[' ? 2 : 0;
        ParamText.clear();
        return;
    }
    if (EscState == 2) {
        CsiCommand(B);
        return;
    }
    switch (B) {
    case 0: break;
    case '\t': GotoXY(static_cast<uint8_t>(WhereX() + 8), WhereY()); break;
    case '\n':
        if (!FromEscape && LastChar != '\r') WriteText("\r");
        WriteText("\n");
        break;
    case '\f': ClearScreen(); break;
    case 14:
    case 15: WriteText("X"); break;
    case 27: EscState = 1; break;
    default: WriteText(std::string(1, static_cast<char>(B))); break;
    }
}

void TPipePlay::WriteChar(uint8_t B) {
    HandleByte(B, false);
    LastChar = B;
}

void TPipePlay::WriteString(const std::string& S) {
    WriteBuf(S.data(), static_cast<uint16_t>(std::min<size_t>(S.size(), 65535)));
}

void TPipePlay::WriteBuf(const char* P, uint16_t Len) {
    for (uint16_t I = 0; I < Len; ++I) HandleByte(static_cast<uint8_t>(P[I]), true);
}

std::string TPipePlay::CodeToAnsi(uint8_t Code) {
    std::string S;
    PipeToAnsi(S, Code, Screen->Attr);
    return S;
}

void TPipePlay::ResetEscape() {
    EscState = 0;
    ParamText.clear();
}

// The number at the start of ParamText, taken off together with the byte
// that ends it. Every call shortens ParamText or empties it.
int32_t TPipePlay::NextParam() {
    size_t N = 0;
    while (N < ParamText.size() && IsDigit(static_cast<uint8_t>(ParamText[N]))) ++N;
    const int32_t V = StrToInt(ParamText.substr(0, N));
    ParamText.erase(0, std::min(N + 1, ParamText.size()));
    return V;
}

void TPipePlay::CsiUp() {
    const int64_t N = std::max<int32_t>(NextParam(), 1);
    GotoXY(WhereX(), PosByte(std::max<int64_t>(WhereY() - N, 1)));
}

// The count is a byte; the line it gives is limited, never wrapped, so a move
// down never lands above where it started.
void TPipePlay::CsiDown() {
    int64_t N = static_cast<uint8_t>(NextParam());
    if (N == 0) N = 1;
    GotoXY(WhereX(), PosByte(WhereY() + N));
}

void TPipePlay::CsiRight() {
    const int64_t N = std::max<int32_t>(NextParam(), 1);
    GotoXY(PosByte(std::min<int64_t>(WhereX() + N, 80)), WhereY());
}

void TPipePlay::CsiLeft() {
    const int64_t N = std::max<int32_t>(NextParam(), 1);
    GotoXY(PosByte(std::max<int64_t>(WhereX() - N, 1)), WhereY());
}

void TPipePlay::CsiGoto() {
    uint8_t L = static_cast<uint8_t>(NextParam());
    uint8_t C = static_cast<uint8_t>(NextParam());
    GotoXY(C == 0 ? 1 : C, L == 0 ? 1 : L);
}

void TPipePlay::ClearToEol() {
    WriteText(StringOfChar(' ', static_cast<uint8_t>(80 - std::min<int>(WhereX(), 80))));
}

void TPipePlay::SelectRendition() {
    if (ParamText.empty()) {
        Screen->SetAttr(7);
        return;
    }
    while (!ParamText.empty()) {
        const auto V = static_cast<uint8_t>(NextParam());
        const uint8_t A = Screen->Attr;
        if (V == 0) {
            Screen->SetAttr(7);
        } else if (V == 1) {
            Screen->SetAttr(A | 8);
        } else if (V == 5) {
            Screen->SetAttr(A | 0x80);
        } else if (V == 7) { // bright dropped first, blink kept
            Screen->SetAttr(A & ~8 & 0xFF);
            const uint8_t B = Screen->Attr;
            Screen->SetAttr(static_cast<uint8_t>((B & 0x80) | ((B & 7) << 4) | ((B >> 4) & 7)));
        } else if (V >= 30 && V <= 37) {
            Screen->SetAttr(static_cast<uint8_t>((A & ~7 & 0xFF) + ForeTable[V - 30]));
        } else if (V >= 40 && V <= 47) {
            Screen->SetAttr(static_cast<uint8_t>((A & 0x0F) + BackTable[V - 40]));
        }
    }
}

void TPipePlay::CsiCommand(uint8_t B) {
    if (IsDigit(B) || B == ';' || B == '?') {
        if (ParamText.size() < MaxStrLen) ParamText += static_cast<char>(B);
        return;
    }
    switch (B) {
    case 'A': CsiUp(); break;
    case 'B': CsiDown(); break;
    case 'C': CsiRight(); break;
    case 'D': CsiLeft(); break;
    case 'H':
    case 'f': CsiGoto(); break;
    case 'J': ClearScreen(); break;
    case 'K': ClearToEol(); break;
    case 'm': SelectRendition(); break;
    case 'n': // the report lands on the screen like text
        WriteText("\x1b[" + IntToStr(WhereY()) + ";" + IntToStr(WhereX()) + "R");
        break;
    case 's':
        SavedX = WhereX();
        SavedY = WhereY();
        break;
    case 'u': GotoXY(SavedX, SavedY); break;
    default: break;
    }
    ResetEscape();
}

void TPipePlay::ReadPaceKey() {
    switch (ReadKey()) {
    case Esc: Done = true; break;
    case '*': Rate = 20; break;
    case '+': Rate = AddClamped(Rate, 3); break;
    case '-': Rate = AddClamped(Rate, -3); break;
    case '/': Rate = StrToInt(ProgramArg(2)); break;
    default: break;
    }
}

void TPipePlay::Run() {
    while (!Done) {
        const uint8_t B = ReadByte();
        if (KeyPressed()) ReadPaceKey();
        if (Rate > 0 && BufPos % Rate == 0) Delay(6);
        if (B == CtrlZ) break; // also the end of the file
        if (B != '|') {
            WriteChar(B);
            continue;
        }
        const uint8_t C1 = ReadByte();
        const uint8_t C2 = ReadByte();
        if (IsDigit(C1) && IsDigit(C2) && (C1 - '0') * 10 + (C2 - '0') <= 23) {
            WriteString(CodeToAnsi(static_cast<uint8_t>((C1 - '0') * 10 + (C2 - '0'))));
        } else {
            WriteChar('|');
            PutBack(C1, C2);
        }
    }
}

} // namespace

void PipePlayFile(const std::string& FileName, int32_t Rate) {
    WriteBlankLine();
    const TFileDesc File = OpenRegular(FileName, O_RDWR);
    if (!File.IsOpen()) {
        WriteLine(CutStr("File " + FileName + " not found."));
        return;
    }
    TPipePlay Play(File.Fd(), Rate);
    Play.Run();
}

void PipeShowFile(const std::string& FileName) {
    PipePlayFile(FileName, 0);
}
