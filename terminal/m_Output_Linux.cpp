#include "terminal/m_Output_Linux.h"
// What reaches the terminal is the contract: every byte goes through the queue
// (or WriteRaw), the queue goes out only at the flush points below, and the
// tracked attribute always equals the terminal's rendition. Positions outside
// the shadow or an image are never read or written. A write that the terminal
// takes only in part is continued until every byte is out: one lost byte would
// leave the shadow unlike the screen for every later redraw.

#include "support/FileDesc.h"
#include "support/StrUtil.h"

#include <cstdlib>

namespace {

constexpr char Esc = '\x1b';
constexpr int LastTermLine = 25; // MoveCursor never goes below this line

bool InScreen(int X, int Y) {
    return X >= 1 && X <= ScreenWidth && Y >= 1 && Y <= ScreenHeight;
}

std::string Csi(const std::string& Params, char Final) {
    std::string S(1, Esc);
    S += '[';
    S += Params;
    S += Final;
    return S;
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
        if (SettingsSaved) tcsetattr(1, TCSANOW, &SavedTermios);
        return;
    }
    // Only the first call saves: saving again while raw would make raw mode
    // the settings put back at the end.
    if (!SettingsSaved) {
        termios T{};
        if (tcgetattr(1, &T) != 0) return; // not a terminal: nothing to save or change
        InputWasRaw = (T.c_iflag & RawClearedIFlags) == 0 && (T.c_lflag & RawClearedLFlags) == 0;
        OutputWasRaw = (T.c_oflag & OPOST) == 0 && (T.c_cflag & (CSIZE | PARENB)) == CS8;
        SavedTermios = T;
        SettingsSaved = true;
    }
    termios T = SavedTermios;
    MakeRaw(T);
    tcsetattr(1, TCSANOW, &T);
}

// Every byte reaches standard output, or the terminal is gone: then the
// program ends as it does at the end of its input, with exit code 0 and the
// terminal settings put back by the exit finalisation.
void TOutputLinux::Send(const char* P, size_t N) {
    if (OutputLost || N == 0) return;
    int Err = 0;
    if (WriteAll(1, P, static_cast<int64_t>(N), Err) == static_cast<int64_t>(N)) return;
    OutputLost = true;
    if (!Closing) std::exit(0);
}

void TOutputLinux::WriteRaw(const std::string& S) {
    Send(S.data(), S.size());
}

void TOutputLinux::BufWrite(std::string_view S) {
    for (char C : S) {
        OutBuf[OutLen] = C;
        ++OutLen;
        if (OutLen == OutBufSize) FlushBuf();
    }
}

void TOutputLinux::FlushBuf() {
    // An inactive writer drops its queue, so the queue never outgrows 1024.
    // The queue is emptied before the write: should the write end the
    // program, the finalisation finds nothing left to send.
    const uint16_t Len = OutLen;
    OutLen = 0;
    if (Len > 0 && Active) Send(OutBuf.data(), Len);
}

std::string TOutputLinux::AttrToAnsi(uint8_t NewAttr) const {
    if (NewAttr == Attr) return "";
    const int FG = NewAttr & 15;
    const int BG = NewAttr >> 4;
    int OFG = Attr & 15;
    int OBG = Attr >> 4;
    std::string P;
    auto Add = [&P](const std::string& Item) {
        if (!P.empty()) P += ';';
        P += Item;
    };
    if (OFG != 7 || FG == 7 || (OFG > 7 && FG < 8) || (OBG > 7 && BG < 8)) {
        P = "0";
        OFG = 7;
        OBG = 0;
    }
    if (FG > 7 && OFG < 8) {
        Add("1");
        OFG |= 8;
    }
    if ((BG & 8) != (OBG & 8)) {
        Add("5");
        OBG |= 8;
    }
    if (FG != OFG) Add(std::string{'3', AnsiColorDigits[FG & 7]});
    if (BG != OBG) Add(std::string{'4', AnsiColorDigits[BG & 7]});
    return Csi(P, 'm');
}

void TOutputLinux::SetAttr(uint8_t A) {
    if (A == Attr) return;
    BufWrite(AttrToAnsi(A));
    Attr = A;
}

void TOutputLinux::MoveCursor(uint8_t X, uint8_t Y) {
    if (Y == 0) Y = 1;
    if (Y > LastTermLine) Y = LastTermLine;
    if (X == 0) X = 1;
    if (X > ScreenWidth) X = ScreenWidth;
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
        for (int Y = 1; Y <= ScreenHeight; ++Y) BlankShadowLine(Y);
    } else {
        for (int L = WinTop; L <= WinBottom; ++L) {
            BufWrite(Csi(IntToStr(L) + ";1", 'H') + Csi("", 'K'));
            BlankShadowLine(L);
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
    for (char C : S) PutChar(C);
    FlushBuf();
}

void TOutputLinux::PutLine(const std::string& S) {
    for (char C : CutStr(S + "\r\n")) PutChar(C);
}

void TOutputLinux::PutTextAsIs(const std::string& S) {
    for (char C : S) Track(C);
    FlushBuf();
}

void TOutputLinux::PutLineAsIs(const std::string& S) {
    for (char C : CutStr(S + "\r\n")) Track(C);
}

void TOutputLinux::WriteAt(uint8_t X, uint8_t Y, uint8_t A, const std::string& S) {
    PlaceText(X, Y, A, S, false);
}

void TOutputLinux::WriteAtAsIs(uint8_t X, uint8_t Y, uint8_t A, const std::string& S) {
    PlaceText(X, Y, A, S, true);
}

void TOutputLinux::PlaceText(uint8_t X, uint8_t Y, uint8_t A, const std::string& S, bool AsIs) {
    const uint8_t OldAttr = Attr, OldX = CurX, OldY = CurY;
    MoveCursor(X, Y);
    SetAttr(A);
    if (AsIs)
        PutTextAsIs(S);
    else
        PutText(S);
    SetAttr(OldAttr);
    MoveCursor(OldX, OldY);
}

void TOutputLinux::WriteAtPiped(uint8_t X, uint8_t Y, uint8_t A, int32_t Width,
                                const std::string& S) {
    const uint8_t OldAttr = Attr, OldX = CurX, OldY = CurY;
    MoveCursor(X, Y);
    SetAttr(A);
    int64_t Left = Width; // 64 bits: counting down never overflows
    for (size_t P = 0; P < S.size(); ++P) {
        const std::string T = S[P] == '|' ? PipeCodeText(S, P) : std::string();
        const uint8_t N = static_cast<uint8_t>(StrToInt(T));
        if (S[P] == '|' && (T == "00" || N != 0)) {
            P += 2;
            SetAttr(PipeCodeAttr(N, Attr));
        } else {
            // One column of text, past the tracking: a line end or a
            // backspace here would move the real cursor unseen.
            const char C = CellChar(S[P]);
            BufWrite(std::string_view(&C, 1));
            --Left;
        }
        if (Left == 0) break;
    }
    // Width > 1, not > 0: a single column left over stays unwritten.
    if (Left > 1)
        for (; Left > 0; --Left) BufWrite(" ");
    SetAttr(OldAttr);
    MoveCursor(OldX, OldY);
}

void TOutputLinux::WritePiped(const std::string& S) {
    for (size_t P = 0; P < S.size(); ++P) {
        if (S[P] == '|') {
            const std::string T = PipeCodeText(S, P);
            const uint8_t N = static_cast<uint8_t>(StrToInt(T));
            const bool Code = T == "00" || (N >= 1 && N <= 23 && T[0] != '&' && T[0] != '$');
            if (Code) {
                P += 2;
                SetAttr(PipeCodeAttr(N, Attr));
                continue;
            }
        }
        PutChar(S[P]);
    }
    FlushBuf();
}

void TOutputLinux::SaveRegion(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2,
                              TConsoleImageRec& Img) const {
    Img = TConsoleImageRec{};
    for (int L = Y1; L <= Y2; ++L) {
        for (int C = X1; C <= X2; ++C) {
            const int IX = C - X1 + 1, IY = L - Y1 + 1;
            if (InScreen(C, L) && InScreen(IX, IY)) Img.Data[IY][IX] = Shadow[L][C];
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
    const int Lines = Img.Y2 - Img.Y1 + 1;
    const int Cols = Img.X2 - Img.X1 + 1;
    for (int R = 1; R <= Lines && R <= ScreenHeight; ++R) {
        const int Y = Img.Y1 + R - 1;
        if (Y < 1 || Y > ScreenHeight) continue;
        MoveCursor(Img.X1, static_cast<uint8_t>(Y));
        for (int I = 1; I <= Cols && I <= ScreenWidth; ++I) {
            const int X = Img.X1 + I - 1;
            if (X < 1 || X > ScreenWidth) continue;
            // Cells set in memory may hold any byte; each one fills one
            // column, so a control byte goes out, and is kept, as the stand-in.
            const TCharInfo Cell{Img.Data[R][I].Attr, CellChar(Img.Data[R][I].Ch)};
            Shadow[Y][X] = Cell;
            SetAttr(Cell.Attr);
            BufWrite(std::string_view(&Cell.Ch, 1));
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
    TConsoleImageRec Img{};
    int Col = 1, Line = 1;
    uint8_t A = 7;
    auto Put = [&](uint8_t C, int Count) {
        for (int I = 0; I < Count; ++I) {
            if (InScreen(Col, Line)) Img.Data[Line][Col] = TCharInfo{A, static_cast<char>(C)};
            if (Col < 255) ++Col;
        }
    };
    for (int32_t Pos = 0; Pos < Len; ++Pos) {
        const uint8_t B = Data[Pos];
        if (B <= 15) {
            A = static_cast<uint8_t>(B + 16 * ((A >> 4) & 7));
        } else if (B <= 23) {
            A = static_cast<uint8_t>(16 * (B - 16) + (A & 15));
        } else if (B == 24) {
            if (Line < 255) ++Line;
            Col = 1;
        } else if (B == 25) {
            if (Len - Pos < 2) break;
            Put(' ', Data[Pos + 1] + 1);
            Pos += 1;
        } else if (B == 26) {
            if (Len - Pos < 3) break;
            Put(Data[Pos + 2], Data[Pos + 1] + 1);
            Pos += 2;
        } else if (B >= 32) {
            Put(B, 1);
        }
    }
    if (Line > ScreenLines) Line = ScreenLines;
    Img.CursorX = static_cast<uint8_t>(Col);
    Img.CursorY = static_cast<uint8_t>(Line);
    Img.CursorAttr = A;
    Img.X1 = X1;
    Img.X2 = X2;
    Img.Y1 = Y1;
    Img.Y2 = static_cast<uint8_t>(Line);
    RestoreRegion(Img);
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
    for (size_t I = 0; I < S.size(); ++I)
        ImagePutCell(Img, static_cast<int32_t>(static_cast<int64_t>(X) + static_cast<int64_t>(I)),
                     Y, A, S[I]);
}

void TOutputLinux::ImagePutChar(TConsoleImageRec& Img, uint8_t A, char C) const {
    ImagePutCell(Img, Img.CursorX, Img.CursorY, A, C);
}

void TOutputLinux::ImageWrite(TConsoleImageRec& Img, uint8_t A, const std::string& S) const {
    for (char C : S) ImagePutChar(Img, A, C);
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
    for (int Y = 1; Y <= ScreenHeight; ++Y) BlankShadowLine(Y);
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
