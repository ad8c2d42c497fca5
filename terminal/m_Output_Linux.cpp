#include "terminal/m_Output_Linux.h"
// What reaches the terminal is the contract: every byte goes through the queue
// (or WriteRaw), the queue goes out only at the flush points below, and the
// tracked attribute always equals the terminal's rendition. Positions outside
// the shadow or an image are never read or written. A write that the terminal
// takes only in part is continued until every byte is out: one lost byte would
// leave the shadow unlike the screen for every later redraw.

#include "support/FileDesc.h"
#include "support/StrUtil.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>

namespace {

constexpr char Esc = '\x1b';
constexpr int LastTermLine = 25; // MoveCursor never goes below this line

bool InScreen(int X, int Y) {
    return X >= 1 && X <= ScreenWidth && Y >= 1 && Y <= ScreenHeight;
}

std::string Csi(const std::string& Params, char Final) {
    std::string s(1, Esc);
    s += '[';
    s += Params;
    s += Final;
    return s;
}

// The flags that raw mode clears, as the platform's cfmakeraw defines it.
constexpr tcflag_t RawClearedIFlags =
    IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON;
constexpr tcflag_t RawClearedLFlags = ECHO | ECHONL | ICANON | ISIG | IEXTEN;

void MakeRaw(termios& T) {
    T.c_iflag &= ~RawClearedIFlags;
    T.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    T.c_lflag &= ~RawClearedLFlags;
    T.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
    T.c_cflag |= CS8;
    T.c_cc[VMIN] = 1;
    T.c_cc[VTIME] = 0;
}

// A pipe code's text: the (up to) two characters after the "|" at Pos.
std::string PipeCodeText(const std::string& S, size_t Pos) {
    return S.substr(Pos + 1, 2);
}

// The attribute a pipe colour code N turns Cur into: 0-15 set the foreground
// (background kept, blink cleared), 16 and up set the background from N - 16.
uint8_t PipeCodeAttr(uint8_t N, uint8_t Cur) {
    if (N < 16) return static_cast<uint8_t>(N + 16 * ((Cur >> 4) & 7));
    return static_cast<uint8_t>(16 * ((N - 16) % 16) + (Cur & 15));
}

// Where the cursor goes for (X, Y): 0 counts as 1, and nothing lies past
// column 80 or below line 25.
void PlaceOnScreen(uint8_t& X, uint8_t& Y) {
    if (Y == 0) Y = 1;
    if (Y > LastTermLine) Y = LastTermLine;
    if (X == 0) X = 1;
    if (X > ScreenWidth) X = ScreenWidth;
}

// A process ended by a signal runs no exit finalisation, so a kill (or a
// crash) would leave the user's terminal raw: no echo, no line editing. While
// the terminal is raw, every catchable signal whose default action ends the
// process puts the saved settings back first and then takes its previous
// course: the process still ends by the same signal, and a handler that was
// there before (a sanitizer's) still runs. A signal the process ignores stays
// ignored. Only async-signal-safe calls run in here. The real-time signals
// (all of them end the process) join at run time: their range is the C
// library's. SIGXFSZ is not among them: the program's entry ignores it, so
// that a write past the file-size limit fails as any other write does.
constexpr int RestoringSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT,   SIGBUS,  SIGFPE, SIGUSR1, SIGSEGV,
    SIGUSR2,   SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO,  SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
};
termios SignalSettings{};
volatile sig_atomic_t SignalRestoreArmed = 0;
std::array<struct sigaction, NSIG> PreviousActions{}; // by signal number

// Whether the handler's return brings Sig back by itself: a fault raised by
// an instruction (a positive si_code other than SI_KERNEL) comes again when
// that instruction runs again, now to the previous action with its true
// details. Everything else - sent by a process, or by the kernel for a timer,
// a limit, a breakpoint or the terminal - would be lost, and the process
// would go on with its terminal put back: it is raised again.
bool ComesAgain(int Sig, const siginfo_t* Info) {
    if (Info == nullptr || Info->si_code <= 0 || Info->si_code == SI_KERNEL) return false;
    return Sig == SIGSEGV || Sig == SIGBUS || Sig == SIGFPE || Sig == SIGILL;
}

void RestoreOnSignal(int Sig, siginfo_t* Info, void*) {
    // A private temporary file holds the message being shown: it goes too.
    RemoveArmedFile();
    if (SignalRestoreArmed) {
        SignalRestoreArmed = 0;
        tcsetattr(1, TCSANOW, &SignalSettings);
    }
    if (Sig > 0 && Sig < NSIG)
        sigaction(Sig, &PreviousActions[static_cast<std::size_t>(Sig)], nullptr);
    if (!ComesAgain(Sig, Info)) raise(Sig);
}

// Puts RestoreOnSignal in place for Sig, unless the process ignores it (or
// the platform has no such signal).
void InstallRestore(int Sig) {
    struct sigaction now {};
    if (Sig <= 0 || Sig >= NSIG || sigaction(Sig, nullptr, &now) != 0 || now.sa_handler == SIG_IGN)
        return;
    PreviousActions[static_cast<std::size_t>(Sig)] = now;
    struct sigaction act {};
    act.sa_sigaction = RestoreOnSignal;
    act.sa_flags = SA_SIGINFO;
    sigfillset(&act.sa_mask); // nothing else runs while the settings go back
    sigaction(Sig, &act, nullptr);
}

void ArmSignalRestore(const termios& Settings) {
    static const bool installed = [] {
        for (int sig : RestoringSignals) InstallRestore(sig);
        for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) InstallRestore(sig);
        return true;
    }();
    (void)installed;
    SignalRestoreArmed = 0;
    SignalSettings = Settings;
    SignalRestoreArmed = 1;
}

} // namespace

TOutputLinux::TOutputLinux(bool Active) {
    SetRawMode(true);
    this->Active = Active;
    OutLen = 0;
    Attr = 7;
    WinTop = 1;
    WinBottom = 25;
    ScreenLines = 25;
    WriteRaw("\x1b(U\x1b[0m");
    ClearWindow();
}

TOutputLinux::~TOutputLinux() {
    Closing = true;
    FlushBuf();
    SetRawMode(false);
}

void TOutputLinux::SetRawMode(bool On) {
    if (!On) {
        if (SettingsSaved) {
            SignalRestoreArmed = 0;
            tcsetattr(1, TCSANOW, &SavedTermios);
        }
        return;
    }
    // Only the first call saves: saving again while raw would make raw mode
    // the settings put back at the end.
    if (!SettingsSaved) {
        termios t{};
        if (tcgetattr(1, &t) != 0) return; // not a terminal: nothing to save or change
        InputWasRaw = (t.c_iflag & RawClearedIFlags) == 0 && (t.c_lflag & RawClearedLFlags) == 0;
        OutputWasRaw = (t.c_oflag & OPOST) == 0 && (t.c_cflag & (CSIZE | PARENB)) == CS8;
        SavedTermios = t;
        SettingsSaved = true;
    }
    ArmSignalRestore(SavedTermios);
    termios t = SavedTermios;
    MakeRaw(t);
    tcsetattr(1, TCSANOW, &t);
}

// Every byte reaches standard output, or the terminal is gone: then the
// program ends as it does at the end of its input, with exit code 0. The
// settings are put back here already, since the failure may come before the
// exit finalisation is registered (at start-up); the finalisation that runs
// later writes nothing more.
void TOutputLinux::Send(const char* P, size_t N) {
    if (OutputLost || N == 0) return;
    int err = 0;
    if (WriteAll(1, P, static_cast<int64_t>(N), err) == static_cast<int64_t>(N)) return;
    OutputLost = true;
    if (Closing) return;
    SetRawMode(false);
    std::exit(0);
}

void TOutputLinux::WriteRaw(const std::string& S) {
    Send(S.data(), S.size());
}

void TOutputLinux::BufWrite(std::string_view S) {
    for (char c : S) {
        OutBuf[OutLen] = c;
        ++OutLen;
        if (OutLen == OutBufSize) FlushBuf();
    }
}

void TOutputLinux::FlushBuf() {
    // An inactive writer drops its queue, so the queue never outgrows 1024.
    // The queue is emptied before the write: should the write end the
    // program, the finalisation finds nothing left to send.
    const uint16_t len = OutLen;
    OutLen = 0;
    if (len > 0 && Active) Send(OutBuf.data(), len);
}

std::string TOutputLinux::AttrToAnsi(uint8_t NewAttr) const {
    if (NewAttr == Attr) return "";
    const int fg = NewAttr & 15;
    const int bg = NewAttr >> 4;
    int ofg = Attr & 15;
    int obg = Attr >> 4;
    std::string p;
    auto add = [&p](const std::string& Item) {
        if (!p.empty()) p += ';';
        p += Item;
    };
    if (ofg != 7 || fg == 7 || (ofg > 7 && fg < 8) || (obg > 7 && bg < 8)) {
        p = "0";
        ofg = 7;
        obg = 0;
    }
    if (fg > 7 && ofg < 8) {
        add("1");
        ofg |= 8;
    }
    if ((bg & 8) != (obg & 8)) {
        add("5");
        obg |= 8;
    }
    if (fg != ofg) add(std::string{'3', AnsiColorDigits[fg & 7]});
    if (bg != obg) add(std::string{'4', AnsiColorDigits[bg & 7]});
    return Csi(p, 'm');
}

void TOutputLinux::SetAttr(uint8_t A) {
    if (A == Attr) return;
    BufWrite(AttrToAnsi(A));
    Attr = A;
}

void TOutputLinux::MoveCursor(uint8_t X, uint8_t Y) {
    PlaceOnScreen(X, Y);
    BufWrite(Csi(IntToStr(Y) + ";" + IntToStr(X), 'H'));
    FlushBuf();
    CurX = X;
    CurY = Y;
}

void TOutputLinux::BlankShadowLine(int Y) {
    if (Y < 1 || Y > ScreenHeight) return;
    Shadow[Y].Cells.fill(TCharInfo{Attr, ' '});
}

void TOutputLinux::ClearWindow() {
    FlushBuf();
    if (WinTop == 1 && WinBottom == 25) {
        BufWrite(Csi("2", 'J'));
        for (int y = 1; y <= ScreenHeight; ++y) BlankShadowLine(y);
    } else {
        for (int l = WinTop; l <= WinBottom; ++l) {
            BufWrite(Csi(IntToStr(l) + ";1", 'H') + Csi("", 'K'));
            BlankShadowLine(l);
        }
    }
    MoveCursor(1, WinTop);
}

void TOutputLinux::ClearToEol() {
    BufWrite(Csi("", 'K'));
}

void TOutputLinux::PutChar(char C) {
    Track(C == '\b' || C == '\n' || C == '\r' ? C : CellChar(C));
}

void TOutputLinux::PutCell(char C) {
    Track(CellChar(C));
}

void TOutputLinux::Track(char C) {
    BufWrite(std::string_view(&C, 1));
    switch (C) {
    case '\b':
        if (CurX >= 2) --CurX;
        break;
    case '\n':
        if (CurY < WinBottom) ++CurY;
        FlushBuf();
        break;
    case '\r': CurX = 1; break;
    default:
        if (InScreen(CurX, CurY)) Shadow[CurY][CurX] = TCharInfo{Attr, C};
        if (CurX < ScreenWidth) {
            ++CurX;
        } else {
            CurX = 1;
            if (CurY < WinBottom) ++CurY;
            FlushBuf();
        }
    }
}

void TOutputLinux::PutText(const std::string& S) {
    for (char c : S) PutCell(c);
    FlushBuf();
}

void TOutputLinux::PutTextWithMoves(const std::string& S) {
    for (char c : S) PutChar(c);
    FlushBuf();
}

void TOutputLinux::PutLine(const std::string& S) {
    // Only the line end the writer adds moves the cursor; a CR or LF inside S
    // is a cell like any other control byte.
    const std::string line = CutStr(S + "\r\n");
    const size_t text = std::min(S.size(), line.size());
    for (size_t i = 0; i < line.size(); ++i) {
        if (i < text)
            PutCell(line[i]);
        else
            Track(line[i]);
    }
}

void TOutputLinux::PutTextAsIs(const std::string& S) {
    for (char c : S) Track(c);
    FlushBuf();
}

void TOutputLinux::PutLineAsIs(const std::string& S) {
    for (char c : CutStr(S + "\r\n")) Track(c);
}

void TOutputLinux::WriteAt(uint8_t X, uint8_t Y, uint8_t A, const std::string& S) {
    PlaceText(X, Y, A, S, false);
}

void TOutputLinux::WriteAtAsIs(uint8_t X, uint8_t Y, uint8_t A, const std::string& S) {
    PlaceText(X, Y, A, S, true);
}

void TOutputLinux::PlaceText(uint8_t X, uint8_t Y, uint8_t A, const std::string& S, bool AsIs) {
    const uint8_t oldAttr = Attr, oldX = CurX, oldY = CurY;
    MoveCursor(X, Y);
    SetAttr(A);
    if (AsIs)
        PutTextAsIs(S);
    else
        PutText(S);
    SetAttr(oldAttr);
    MoveCursor(oldX, oldY);
}

namespace {

// Whether the "|" at P of S starts a colour code for WriteAtPiped, and its
// number N: the two characters after it are "00" or read as a number that is
// not 0 in its low eight bits. The one rule for WriteAtPiped's codes, so what
// it draws and what PipedWidth measures never differ.
bool PlacedCode(const std::string& S, size_t P, uint8_t& N) {
    if (S[P] != '|') return false;
    const std::string t = PipeCodeText(S, P);
    N = static_cast<uint8_t>(StrToInt(t));
    return t == "00" || N != 0;
}

// Walks pipe-coded S as WriteAtPiped shows it, from attribute A: Code(attr)
// at each colour code, Cell(attr, c) for each of the Width columns written.
template <class CodeFn, class CellFn>
void WalkPiped(uint8_t A, int32_t Width, const std::string& S, CodeFn Code, CellFn Cell) {
    uint8_t attr = A;
    int64_t left = Width; // 64 bits: counting down never overflows
    for (size_t p = 0; p < S.size(); ++p) {
        uint8_t n = 0;
        if (PlacedCode(S, p, n)) {
            p += 2;
            attr = PipeCodeAttr(n, attr);
            Code(attr);
        } else {
            Cell(attr, CellChar(S[p]));
            --left;
        }
        if (left == 0) break;
    }
    // Width > 1, not > 0: a single column left over stays unwritten.
    if (left > 1)
        for (; left > 0; --left) Cell(attr, ' ');
}

} // namespace

int32_t PipedWidth(const std::string& S) {
    int32_t width = 0;
    for (size_t p = 0; p < S.size(); ++p) {
        uint8_t n = 0;
        if (PlacedCode(S, p, n))
            p += 2;
        else
            ++width;
    }
    return width;
}

void TOutputLinux::WriteAtPiped(uint8_t X, uint8_t Y, uint8_t A, int32_t Width,
                                const std::string& S) {
    const uint8_t oldAttr = Attr, oldX = CurX, oldY = CurY;
    MoveCursor(X, Y);
    SetAttr(A);
    // Each column goes out past the tracking: a line end or a backspace here
    // would move the real cursor unseen.
    WalkPiped(
        A, Width, S, [this](uint8_t NewAttr) { SetAttr(NewAttr); },
        [this](uint8_t, char C) { BufWrite(std::string_view(&C, 1)); });
    SetAttr(oldAttr);
    MoveCursor(oldX, oldY);
}

void TOutputLinux::RecordPiped(uint8_t X, uint8_t Y, uint8_t A, int32_t Width,
                               const std::string& S) {
    // The cells WriteAtPiped's cursor move would put them in.
    PlaceOnScreen(X, Y);
    int x = X;
    WalkPiped(
        A, Width, S, [](uint8_t) {},
        [this, &x, Y](uint8_t CellAttr, char C) {
            if (InScreen(x, Y)) Shadow[Y][x] = TCharInfo{CellAttr, C};
            ++x;
        });
}

void TOutputLinux::WritePiped(const std::string& S) {
    for (size_t p = 0; p < S.size(); ++p) {
        if (S[p] == '|') {
            const std::string t = PipeCodeText(S, p);
            const uint8_t n = static_cast<uint8_t>(StrToInt(t));
            const bool code = t == "00" || (n >= 1 && n <= 23 && t[0] != '&' && t[0] != '$');
            if (code) {
                p += 2;
                SetAttr(PipeCodeAttr(n, Attr));
                continue;
            }
        }
        PutCell(S[p]);
    }
    FlushBuf();
}

void TOutputLinux::SaveRegion(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2,
                              TConsoleImageRec& Img) const {
    Img = TConsoleImageRec{};
    for (int l = Y1; l <= Y2; ++l) {
        for (int c = X1; c <= X2; ++c) {
            const int ix = c - X1 + 1, iy = l - Y1 + 1;
            if (InScreen(c, l) && InScreen(ix, iy)) Img.Data[iy][ix] = Shadow[l][c];
        }
    }
    Img.CursorX = CurX;
    Img.CursorY = CurY;
    Img.CursorAttr = Attr;
    Img.X1 = X1;
    Img.X2 = X2;
    Img.Y1 = Y1;
    Img.Y2 = Y2;
}

void TOutputLinux::RestoreRegion(const TConsoleImageRec& Img) {
    const int lines = Img.Y2 - Img.Y1 + 1;
    const int cols = Img.X2 - Img.X1 + 1;
    for (int r = 1; r <= lines && r <= ScreenHeight; ++r) {
        const int y = Img.Y1 + r - 1;
        if (y < 1 || y > ScreenHeight) continue;
        MoveCursor(Img.X1, static_cast<uint8_t>(y));
        for (int i = 1; i <= cols && i <= ScreenWidth; ++i) {
            const int x = Img.X1 + i - 1;
            if (x < 1 || x > ScreenWidth) continue;
            // Cells set in memory may hold any byte; each one fills one
            // column, so a control byte goes out, and is kept, as the stand-in.
            const TCharInfo cell{Img.Data[r][i].Attr, CellChar(Img.Data[r][i].Ch)};
            Shadow[y][x] = cell;
            SetAttr(cell.Attr);
            BufWrite(std::string_view(&cell.Ch, 1));
        }
    }
    SetAttr(Img.CursorAttr);
    MoveCursor(Img.CursorX, Img.CursorY);
}

char TOutputLinux::CharAt(uint8_t X, uint8_t Y) const {
    return InScreen(X, Y) ? Shadow[Y][X].Ch : ' ';
}

uint8_t TOutputLinux::AttrAt(uint8_t X, uint8_t Y) const {
    return InScreen(X, Y) ? Shadow[Y][X].Attr : 0;
}

void TOutputLinux::SetScrollRegion(uint8_t /*X1*/, uint8_t Y1, uint8_t /*X2*/, uint8_t Y2,
                                   bool Home) {
    WinTop = Y1;
    WinBottom = Y2;
    BufWrite(Csi(IntToStr(Y1) + ";" + IntToStr(Y2), 'r'));
    if (Home || CurY < Y1 || CurY > Y2) MoveCursor(1, Y1);
}

void TOutputLinux::SetScreenLines(uint8_t N) {
    WinBottom = N;
    ScreenLines = N;
    FlushBuf();
    WriteRaw(Csi("8;" + IntToStr(N) + ";80", 't'));
    SetScrollRegion(1, 1, 80, N, false);
}

// Run-length screen stream: 0-15 foreground, 16-23 background, 24 next line,
// (25, N) N + 1 blanks, (26, N, C) N + 1 copies of C, 27-31 nothing, 32-255
// the character. Cells beyond the image are dropped, a group cut short by the
// end of the stream ends the decoding, and the column and line stop counting
// at 255 (the most a byte of the image can hold).
void TOutputLinux::ShowCrunched(const uint8_t* Data, int32_t Len, uint8_t X2, uint8_t X1,
                                uint8_t Y1) {
    TConsoleImageRec img{};
    int col = 1, line = 1;
    uint8_t a = 7;
    auto put = [&](uint8_t C, int Count) {
        for (int i = 0; i < Count; ++i) {
            if (InScreen(col, line)) img.Data[line][col] = TCharInfo{a, static_cast<char>(C)};
            if (col < 255) ++col;
        }
    };
    for (int32_t pos = 0; pos < Len; ++pos) {
        const uint8_t b = Data[pos];
        if (b <= 15) {
            a = static_cast<uint8_t>(b + 16 * ((a >> 4) & 7));
        } else if (b <= 23) {
            a = static_cast<uint8_t>(16 * (b - 16) + (a & 15));
        } else if (b == 24) {
            if (line < 255) ++line;
            col = 1;
        } else if (b == 25) {
            if (Len - pos < 2) break;
            put(' ', Data[pos + 1] + 1);
            pos += 1;
        } else if (b == 26) {
            if (Len - pos < 3) break;
            put(Data[pos + 2], Data[pos + 1] + 1);
            pos += 2;
        } else if (b >= 32) {
            put(b, 1);
        }
    }
    if (line > ScreenLines) line = ScreenLines;
    img.CursorX = static_cast<uint8_t>(col);
    img.CursorY = static_cast<uint8_t>(line);
    img.CursorAttr = a;
    img.X1 = X1;
    img.X2 = X2;
    img.Y1 = Y1;
    img.Y2 = static_cast<uint8_t>(line);
    RestoreRegion(img);
}

void TOutputLinux::ImagePutCell(TConsoleImageRec& Img, int32_t X, int32_t Y, uint8_t A,
                                char C) const {
    if (InScreen(X, Y)) Img.Data[Y][X] = TCharInfo{A, C};
    Img.CursorX = static_cast<uint8_t>(static_cast<uint8_t>(X) + 1);
    Img.CursorY = static_cast<uint8_t>(Y);
    Img.CursorAttr = A;
}

void TOutputLinux::ImageWriteAt(TConsoleImageRec& Img, int32_t X, int32_t Y, uint8_t A,
                                const std::string& S) const {
    for (size_t i = 0; i < S.size(); ++i)
        ImagePutCell(Img, static_cast<int32_t>(static_cast<int64_t>(X) + static_cast<int64_t>(i)),
                     Y, A, S[i]);
}

void TOutputLinux::ImagePutChar(TConsoleImageRec& Img, uint8_t A, char C) const {
    ImagePutCell(Img, Img.CursorX, Img.CursorY, A, C);
}

void TOutputLinux::ImageWrite(TConsoleImageRec& Img, uint8_t A, const std::string& S) const {
    for (char c : S) ImagePutChar(Img, A, c);
}

void TOutputLinux::ImageGotoXY(TConsoleImageRec& Img, uint8_t X, uint8_t Y) const {
    Img.CursorX = X;
    Img.CursorY = Y;
}

void TOutputLinux::ImageSetAttr(TConsoleImageRec& Img, uint8_t A) const {
    Img.CursorAttr = A;
}

void TOutputLinux::ImageReset(TConsoleImageRec& Img) {
    Img = TConsoleImageRec{};
    for (int y = 1; y <= ScreenHeight; ++y) BlankShadowLine(y);
    Img.CursorX = 1;
    Img.CursorY = 1;
    Img.CursorAttr = 7;
    Img.X1 = 1;
    Img.X2 = 80;
    Img.Y1 = 1;
    Img.Y2 = 25;
}

void TOutputLinux::ImageCopy(const TConsoleImageRec& Src, TConsoleImageRec& Dst) const {
    Dst = Src;
}

void TOutputLinux::ImageSetLine(const TConsoleLineRec& Line, TConsoleImageRec& Img,
                                uint16_t N) const {
    if (N >= 1 && N <= ScreenHeight) Img.Data[N] = Line;
}

void TOutputLinux::ImageLineToShadow(const TConsoleImageRec& Img, uint16_t N) {
    if (N >= 1 && N <= ScreenHeight) Shadow[N] = Img.Data[N];
}
