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
#include "terminal/KeyCodes.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <string_view>
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
    const int64_t r = int64_t{A} + D;
    return static_cast<int32_t>(std::clamp<int64_t>(r, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// The attribute the escape builders start from; 7 before the console is up.
uint8_t CurrentAttr() {
    return Screen ? Screen->Attr : 7;
}

// Opens Name only when it is a regular file: a pipe or a device could block
// the open or never end, and a directory holds no text. Closed (not IsOpen)
// on failure.
TFileDesc OpenRegular(const std::string& Name, int Flags, int64_t* Size = nullptr) {
    TFileDesc file;
    struct stat64 st {};
    if (!file.OpenRegular(Name, Flags) || !file.Stat(st)) return TFileDesc();
    if (Size) *Size = st.st_size;
    return file;
}

// Up to Count bytes, a block filled whole unless the file ends; 0 at the end
// of the file and on a read error alike.
int32_t ReadSome(int Fd, void* Buf, size_t Count) {
    int err = 0;
    return static_cast<int32_t>(ReadAll(Fd, Buf, static_cast<int64_t>(Count), err));
}

// ---------------------------------------------------------------------------
// The ANSI interpreter.

void StoreParam() {
    AnsiParams[AnsiParamIdx] = StrToIntDef(AnsiParamText, 0);
}

// The file's own CR, LF and BS move the cursor, as a terminal would.
void WritePending(std::string& Pending) {
    WriteTextWithMoves(Pending);
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
    const auto u = static_cast<uint8_t>(B);
    if (u == ' ' || (u >= '<' && u <= '?')) return;
    if (IsDigit(u)) {
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
    const uint8_t a = Screen->Attr;
    if (V == 0) {
        Screen->SetAttr(7);
    } else if (V == 1) {
        SetBright();
    } else if (V == 7) { // bright and blink are dropped
        Screen->SetAttr(static_cast<uint8_t>(((a & 0x70) >> 4) + ((a & 7) << 4)));
    } else if (V == 8) {
        Screen->SetAttr(0);
    } else if (V >= 30 && V <= 37) { // the brightness stays
        SetForeground(static_cast<uint8_t>(AnsiColors[V - 30] + ((a & 15) >= 8 ? 8 : 0)));
    } else if (V >= 40 && V <= 47) {
        SetBackground(static_cast<uint8_t>(AnsiColors[V - 40]));
    }
}

void AnsiSelectRendition() {
    if (AnsiParams[1] == -1) { // a missing first parameter is 0
        AnsiRendition(0);
        return;
    }
    for (int i = 1; i <= AnsiMaxParams && AnsiParams[i] != -1; ++i) AnsiRendition(AnsiParams[i]);
}

// ---------------------------------------------------------------------------
// The line player behind AnsiPlayFile and AnsiShowFile.

// The bytes a play takes its lines from: a file's, read one block at a time
// (a read error ends them as the end of the file does), or bytes already in
// memory.
class TLineSource {
public:
    explicit TLineSource(int AFd) : Fd(AFd) {}
    explicit TLineSource(std::string_view Bytes)
        : Data(Bytes.data()), Len(Bytes.size()), Ended(true) {}
    TLineSource(const TLineSource&) = delete;
    TLineSource& operator=(const TLineSource&) = delete;
    bool AtEnd() { return Pos == Len && !Fill(); }
    bool Next(char& B) {
        if (AtEnd()) return false;
        B = Data[Pos++];
        return true;
    }
    bool NextIs(char B) { return !AtEnd() && Data[Pos] == B; }
    void Skip() { ++Pos; }

private:
    bool Fill() {
        if (Ended) return false;
        Len = static_cast<size_t>(ReadSome(Fd, Block, BlockSize));
        Data = Block;
        Pos = 0;
        Ended = Len == 0;
        return !Ended;
    }
    int Fd = -1;
    const char* Data = Block;
    size_t Pos = 0;
    size_t Len = 0;
    bool Ended = false;
    char Block[BlockSize];
};

// The key read after a line; False when it stops the play.
bool PaceKey(int32_t& DelayMs, int32_t StartMs) {
    switch (ReadKey()) {
    case Key::Esc: return false;
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
// the line (with CR LF unless the bytes end after it) would take it, so a line
// of any length needs no more than one block in memory.
void PlayLines(TLineSource& In, int32_t DelayMs, bool Paced) {
    // A negative pause would be a pause of over a minute in its low 16 bits.
    if (DelayMs < 0) DelayMs = 0;
    const int32_t startMs = DelayMs;
    std::string pending;
    while (!In.AtEnd()) {
        char b;
        while (In.Next(b)) {
            if (b == '\n') break;
            if (b == '\r') {
                if (In.NextIs('\n')) In.Skip();
                break;
            }
            AnsiByte(b, pending);
        }
        if (!In.AtEnd()) {
            AnsiByte('\r', pending);
            AnsiByte('\n', pending);
        }
        WritePending(pending);
        if (!Paced) continue;
        PlayPauseProc(static_cast<uint16_t>(DelayMs));
        if (KeyPressed() && !PaceKey(DelayMs, startMs)) return;
    }
}

void PlayFile(const std::string& FileName, int32_t DelayMs, bool Paced) {
    if (!FileExists(FileName)) return;
    const TFileDesc file = OpenRegular(FileName, O_RDONLY);
    if (!file.IsOpen()) return;
    TLineSource in(file.Fd());
    PlayLines(in, DelayMs, Paced);
}

} // namespace

void (*PlayPauseProc)(uint16_t Ms) = Delay;

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
    std::string pending;
    for (char b : S) AnsiByte(b, pending);
    WritePending(pending);
}

void AnsiCommand(char Final) {
    const int64_t p1 = AnsiParams[1];
    const int64_t p2 = AnsiParams[2];
    const int64_t n = std::max<int64_t>(p1, 1);
    const int64_t x = WhereX(), y = WhereY();
    switch (Final) {
    case 'A': GotoXY(WhereX(), PosByte(std::max<int64_t>(y - n, 1))); break;
    case 'B': // limited by the reported height, but never a move up on a small terminal
        GotoXY(WhereX(), PosByte(std::max(std::min<int64_t>(y + n, ScreenRows), y)));
        break;
    case 'C': {
        const int64_t lastCol = int64_t{WinMaxCol} - WinMinCol + 1;
        GotoXY(PosByte(std::min(x + n, lastCol)), WhereY());
        break;
    }
    case 'D': GotoXY(PosByte(std::max<int64_t>(x - n, 1)), WhereY()); break;
    case 'H':
    case 'f': // each coordinate as a byte (its value modulo 256)
        GotoXY(static_cast<uint8_t>(std::max<int64_t>(p2, 1)),
               static_cast<uint8_t>(std::max<int64_t>(p1, 1)));
        break;
    case 'J':
        if (p1 == 2) ClearScreen();
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
    PlayFile(FileName, DelayMs, true);
}

void AnsiShowFile(const std::string& FileName) {
    PlayFile(FileName, 0, false);
}

void AnsiPlayBytes(std::string_view Bytes, int32_t DelayMs) {
    TLineSource in(Bytes);
    PlayLines(in, DelayMs, true);
}

// ---------------------------------------------------------------------------
// SAUCE.

void DecodeSauce(const std::array<uint8_t, SauceRecSize>& Buf, RecSauceInfo& Rec) {
    size_t at = 0;
    auto chars = [&](auto& Field) {
        std::memcpy(Field.data(), Buf.data() + at, Field.size());
        at += Field.size();
    };
    auto num = [&](size_t Size) {
        uint32_t v = 0;
        for (size_t i = 0; i < Size; ++i) v |= uint32_t{Buf[at + i]} << (8 * i);
        at += Size;
        return v;
    };
    chars(Rec.ID);
    chars(Rec.Version);
    chars(Rec.Title);
    chars(Rec.Author);
    chars(Rec.Group);
    chars(Rec.Date);
    Rec.FileSize = static_cast<int32_t>(num(4));
    Rec.DataType = static_cast<uint8_t>(num(1));
    Rec.FileType = static_cast<uint8_t>(num(1));
    Rec.TInfo1 = static_cast<uint16_t>(num(2));
    Rec.TInfo2 = static_cast<uint16_t>(num(2));
    Rec.TInfo3 = static_cast<uint16_t>(num(2));
    Rec.TInfo4 = static_cast<uint16_t>(num(2));
    Rec.Comments = static_cast<uint8_t>(num(1));
    Rec.TFlags = static_cast<uint8_t>(num(1));
    chars(Rec.TInfoS);
}

std::string PrintableOnly(const std::string& S) {
    std::string r = CutStr(S);
    for (char& c : r) {
        const auto u = static_cast<uint8_t>(c);
        if (u < 32 || u > 125) c = ' ';
    }
    return r;
}

bool ReadSauce(const std::string& FileName, RecSauceInfo& Rec) {
    bool opened = false;
    return ReadSauce(FileName, Rec, opened);
}

namespace {

// Rec from Buf, the title line written; True when Rec is a SAUCE record.
bool TakeSauce(const std::array<uint8_t, SauceRecSize>& Buf, RecSauceInfo& Rec) {
    DecodeSauce(Buf, Rec);
    WriteLine(PrintableOnly(std::string(Rec.Title.data(), Rec.Title.size())));
    return std::memcmp(Rec.ID.data(), "SAUCE", Rec.ID.size()) == 0;
}

} // namespace

bool ReadSauce(const std::string& FileName, RecSauceInfo& Rec, bool& Opened) {
    int64_t size = 0;
    const TFileDesc file = OpenRegular(FileName, O_RDONLY, &size);
    Opened = file.IsOpen();
    if (!Opened) return false;
    // Bytes that are not there (a short file, a failed read) stay zero.
    std::array<uint8_t, SauceRecSize> buf{};
    if (size >= SauceRecSize) {
        int err = 0;
        PReadAll(file.Fd(), buf.data(), SauceRecSize, size - SauceRecSize, err);
    }
    return TakeSauce(buf, Rec);
}

bool ReadSauceBytes(std::string_view Bytes, RecSauceInfo& Rec) {
    std::array<uint8_t, SauceRecSize> buf{};
    if (Bytes.size() >= SauceRecSize)
        std::memcpy(buf.data(), Bytes.data() + Bytes.size() - SauceRecSize, SauceRecSize);
    return TakeSauce(buf, Rec);
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
    const uint8_t a = CurrentAttr();
    const int f = a & 15;
    const int g = (a >> 4) & 7;
    if (Code >= 16) {
        if (Code - 16 != g && Code <= 23) S = PipeEscapes[Code];
        return;
    }
    if (Code == f) return;
    const std::string prefix = Code < 8 && f >= 8 ? "0;" : Code >= 8 && f < 8 ? "1;" : "";
    S = "\x1b[" + prefix + '3' + AnsiColorDigits[Code & 7];
    S += prefix == "0;" ? std::string(";4") + AnsiColorDigits[g] + 'm' : std::string("m");
}

void SaveImageAnsi(const std::string& FileName, const TConsoleImageRec& Image) {
    if (FileName.empty()) return;
    TFileDesc file;
    if (!file.Open(FileName, O_WRONLY | O_CREAT | O_TRUNC)) return;
    std::string out;
    std::string esc1, esc2;
    uint8_t last = 0;
    for (int y = 2; y <= 21; ++y) {
        for (int x = 1; x <= 79; ++x) {
            const TCharInfo cell = Image.Data[y][x];
            if (cell.Attr != last) {
                PipeToAnsi(esc1, cell.Attr % 16, CurrentAttr());
                PipeToAnsi(esc2, static_cast<uint8_t>(16 + cell.Attr / 16), CurrentAttr());
                out += esc1;
                out += esc2;
            }
            out += cell.Ch;
            last = cell.Attr;
        }
        if (y < 21) out += "\r\n";
    }
    // A failed write ends the saving; the program has no message for it.
    file.WriteAll(out);
}

// ---------------------------------------------------------------------------
// The pipe-code player.

namespace {

// The program's N-th command-line argument as the system reports it; empty
// when there is none.
std::string ProgramArg(int N) {
    TFileDesc file;
    if (!file.Open("/proc/self/cmdline", O_RDONLY)) return "";
    std::string all;
    char block[BlockSize];
    int err = 0;
    for (int64_t got; (got = file.ReadAll(block, BlockSize, err)) > 0;)
        all.append(block, static_cast<size_t>(got));
    size_t start = 0;
    for (int i = 0; start < all.size(); ++i) {
        const size_t end = std::min(all.find('\0', start), all.size());
        if (i == N) return CutStr(all.substr(start, end - start));
        start = end + 1;
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
    bool Done = false;    // Esc was read
    uint16_t BufPos = 0;  // bytes of Buf taken
    uint16_t PacePos = 0; // place in its block of the byte read last; paces the play
    int32_t BufLen = 0;   // bytes in Buf
    uint8_t Buf[BlockSize] = {};
    bool AtEnd = false;       // the file gave no more bytes
    uint8_t Back[2] = {};     // bytes read after a "|" that started no code
    uint16_t BackPos[2] = {}; // their places in their blocks
    int BackCount = 0;
    uint8_t EscState = 0; // 0 text, 1 after ESC, 2 inside ESC "["
    std::string ParamText;
    int LastChar = -1; // none yet
    uint8_t SavedX = 1;
    uint8_t SavedY = 1;

    uint8_t ReadByte();
    void PutBack(uint8_t B1, uint16_t Pos1, uint8_t B2, uint16_t Pos2);
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
    if (BackCount > 0) { // read again, paced by the place it was read from
        const uint8_t b = Back[0];
        PacePos = BackPos[0];
        Back[0] = Back[1];
        BackPos[0] = BackPos[1];
        --BackCount;
        return b;
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
    PacePos = static_cast<uint16_t>(++BufPos);
    return Buf[BufPos - 1];
}

// Only ever called right after the two bytes following a "|" were read, when
// nothing is held back any more. Pos1 and Pos2 are their places in the
// blocks they came from, which pace them again when they are read again.
void TPipePlay::PutBack(uint8_t B1, uint16_t Pos1, uint8_t B2, uint16_t Pos2) {
    Back[0] = B1;
    Back[1] = B2;
    BackPos[0] = Pos1;
    BackPos[1] = Pos2;
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
        if (!FromEscape && LastChar != '\r') WriteTextWithMoves("\r");
        WriteTextWithMoves("\n");
        break;
    case '\f': ClearScreen(); break;
    case 14:
    case 15: WriteText("X"); break;
    case 27: EscState = 1; break;
    default: WriteTextWithMoves(std::string(1, static_cast<char>(B))); break; // a CR or BS moves
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
    for (uint16_t i = 0; i < Len; ++i) HandleByte(static_cast<uint8_t>(P[i]), true);
}

std::string TPipePlay::CodeToAnsi(uint8_t Code) {
    std::string s;
    PipeToAnsi(s, Code, Screen->Attr);
    return s;
}

void TPipePlay::ResetEscape() {
    EscState = 0;
    ParamText.clear();
}

// The number at the start of ParamText, taken off together with the byte
// that ends it. Every call shortens ParamText or empties it.
int32_t TPipePlay::NextParam() {
    size_t n = 0;
    while (n < ParamText.size() && IsDigit(static_cast<uint8_t>(ParamText[n]))) ++n;
    const int32_t v = StrToInt(ParamText.substr(0, n));
    ParamText.erase(0, std::min(n + 1, ParamText.size()));
    return v;
}

void TPipePlay::CsiUp() {
    const int64_t n = std::max<int32_t>(NextParam(), 1);
    GotoXY(WhereX(), PosByte(std::max<int64_t>(WhereY() - n, 1)));
}

// The count is a byte; the line it gives is limited, never wrapped, so a move
// down never lands above where it started.
void TPipePlay::CsiDown() {
    int64_t n = static_cast<uint8_t>(NextParam());
    if (n == 0) n = 1;
    GotoXY(WhereX(), PosByte(WhereY() + n));
}

void TPipePlay::CsiRight() {
    const int64_t n = std::max<int32_t>(NextParam(), 1);
    GotoXY(PosByte(std::min<int64_t>(WhereX() + n, 80)), WhereY());
}

void TPipePlay::CsiLeft() {
    const int64_t n = std::max<int32_t>(NextParam(), 1);
    GotoXY(PosByte(std::max<int64_t>(WhereX() - n, 1)), WhereY());
}

void TPipePlay::CsiGoto() {
    uint8_t l = static_cast<uint8_t>(NextParam());
    uint8_t c = static_cast<uint8_t>(NextParam());
    GotoXY(c == 0 ? 1 : c, l == 0 ? 1 : l);
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
        const auto v = static_cast<uint8_t>(NextParam());
        const uint8_t a = Screen->Attr;
        if (v == 0) {
            Screen->SetAttr(7);
        } else if (v == 1) {
            Screen->SetAttr(a | 8);
        } else if (v == 5) {
            Screen->SetAttr(a | 0x80);
        } else if (v == 7) { // bright dropped first, blink kept
            Screen->SetAttr(a & ~8 & 0xFF);
            const uint8_t b = Screen->Attr;
            Screen->SetAttr(static_cast<uint8_t>((b & 0x80) | ((b & 7) << 4) | ((b >> 4) & 7)));
        } else if (v >= 30 && v <= 37) {
            Screen->SetAttr(static_cast<uint8_t>((a & ~7 & 0xFF) + ForeTable[v - 30]));
        } else if (v >= 40 && v <= 47) {
            Screen->SetAttr(static_cast<uint8_t>((a & 0x0F) + BackTable[v - 40]));
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
    case Key::Esc: Done = true; break;
    case '*': Rate = 20; break;
    case '+': Rate = AddClamped(Rate, 3); break;
    case '-': Rate = AddClamped(Rate, -3); break;
    case '/': Rate = StrToInt(ProgramArg(2)); break;
    default: break;
    }
}

void TPipePlay::Run() {
    while (!Done) {
        const uint8_t b = ReadByte();
        if (KeyPressed()) ReadPaceKey();
        if (Rate > 0 && PacePos % Rate == 0) PlayPauseProc(6);
        if (b == CtrlZ) break; // also the end of the file
        if (b != '|') {
            WriteChar(b);
            continue;
        }
        const uint8_t c1 = ReadByte();
        const uint16_t pos1 = PacePos;
        const uint8_t c2 = ReadByte();
        if (IsDigit(c1) && IsDigit(c2) && (c1 - '0') * 10 + (c2 - '0') <= 23) {
            WriteString(CodeToAnsi(static_cast<uint8_t>((c1 - '0') * 10 + (c2 - '0'))));
        } else {
            WriteChar('|');
            PutBack(c1, pos1, c2, PacePos);
        }
    }
}

} // namespace

void PipePlayFile(const std::string& FileName, int32_t Rate) {
    WriteBlankLine();
    const TFileDesc file = OpenRegular(FileName, O_RDWR);
    if (!file.IsOpen()) {
        WriteLine(CutStr("File " + FileName + " not found."));
        return;
    }
    TPipePlay play(file.Fd(), Rate);
    play.Run();
}

void PipeShowFile(const std::string& FileName) {
    PipePlayFile(FileName, 0);
}
