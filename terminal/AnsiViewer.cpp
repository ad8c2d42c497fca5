#include "terminal/AnsiViewer.h"
// The image is a fixed array inside the object: loading allocates nothing,
// and every write goes to the cell under the cursor, which MoveXY, PutChar
// and the line feed keep within lines 1-5000 and columns 1-80 whatever the
// bytes ask for. Counts from escape parameters are worked out in 64 bits and
// limited before they reach the 16-bit cursor. The viewer reads its file in
// 4096-byte blocks through the retrying open, then only draws.

#include "support/FileIO.h"
#include "support/StrUtil.h"
#include "terminal/AnsiUtil.h"
#include "terminal/Console.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

constexpr uint8_t KeyEsc = 27; // also the byte that opens a sequence
constexpr uint8_t KeyEnter = 13;
constexpr uint8_t ByteTab = 9;
constexpr uint8_t ByteFF = 12;
constexpr uint8_t ByteLF = 10;
constexpr uint8_t ByteCR = 13;
constexpr uint8_t ByteCtrlZ = 26;
constexpr size_t MaxPipeCode = 2;
constexpr size_t MaxEscParams = 255;

// Cursor limits of the image, for values computed in 64 bits.
uint16_t LimitX(int64_t X) {
    return static_cast<uint16_t>(std::clamp<int64_t>(X, 1, AnsiImageCols));
}
uint16_t LimitY(int64_t Y) {
    return static_cast<uint16_t>(std::clamp<int64_t>(Y, 1, AnsiImageLines));
}

// How #0 and #255 cells are shown.
char Shown(char C) {
    return C == '\0' || static_cast<uint8_t>(C) == 255 ? ' ' : C;
}

} // namespace

// ---------------------------------------------------------------------------
// The image.

TMsgBaseAnsi::TMsgBaseAnsi(int32_t ATag, uint8_t /*B*/) : Tag(ATag) {
    Clear();
}

TMsgBaseAnsi::~TMsgBaseAnsi() = default;

void TMsgBaseAnsi::Clear() {
    CsiStarted = false;
    InPipe = false;
    PipeCode.clear();
    std::memset(static_cast<void*>(&Data), 0, sizeof Data);
    Lines = 1;
    CurX = 1;
    CurY = 1;
    Attr = 7;
    ResetEscape();
}

void TMsgBaseAnsi::ResetEscape() {
    EscState = 0;
    EscParams.clear();
}

bool TMsgBaseAnsi::Feed(const void* Buf, uint16_t Len) {
    const uint8_t* P = static_cast<const uint8_t*>(Buf);
    for (uint16_t I = 0; I < Len; ++I) {
        const uint8_t B = P[I];
        if (CurY > Lines) Lines = CurY;
        if (B == ByteLF) {
            if (CurY >= AnsiImageLines) {
                CsiStarted = false;
                return true;
            }
            ++CurY;
            CurX = 1;
        } else if (B == ByteCR) {
            CurX = 1;
        } else if (B == ByteCtrlZ) {
            return true;
        } else {
            ProcessChar(B);
        }
    }
    return false;
}

void TMsgBaseAnsi::ProcessChar(uint8_t C) {
    if (InPipe) {
        PipeCode += static_cast<char>(C);
        if (PipeCode.size() < MaxPipeCode) return;
        const int32_t V = StrToInt(PipeCode);
        if (V >= 0 && V <= 15) {
            SetFore(static_cast<uint8_t>(V));
        } else if (V >= 16 && V <= 23) {
            SetBack(static_cast<uint8_t>(V - 16));
        } else {
            PutChar('|');
            PutChar(static_cast<uint8_t>(PipeCode[0]));
            PutChar(static_cast<uint8_t>(PipeCode[1]));
        }
        InPipe = false;
        PipeCode.clear();
        return;
    }
    switch (EscState) {
    case 0:
        if (C == ByteTab) {
            MoveXY(static_cast<uint16_t>(CurX + 8), CurY);
        } else if (C == ByteFF) {
            // dropped
        } else if (C == KeyEsc) {
            EscState = 1;
        } else if (C == '|') {
            InPipe = true;
        } else {
            PutChar(C);
        }
        break;
    case 1:
        if (C == '[') {
            EscState = 2;
            EscParams.clear();
            CsiStarted = true;
        } else {
            EscState = 0; // ESC and this byte are dropped
        }
        break;
    default: CsiCommand(C); break;
    }
}

void TMsgBaseAnsi::CsiCommand(uint8_t C) {
    if ((C >= '0' && C <= '9') || C == ';' || C == '?') {
        if (EscParams.size() < MaxEscParams) EscParams += static_cast<char>(C);
        return;
    }
    switch (C) {
    case 'A': CsiUp(); return;
    case 'B': CsiDown(); return;
    case 'C': CsiRight(); return;
    case 'D': CsiLeft(); return;
    case 'H':
    case 'f': CsiGoto(); return;
    case 'K': {
        const uint8_t X = CurX;
        const uint16_t Y = CurY;
        for (int Col = X; Col <= AnsiImageCols; ++Col) PutChar(' ');
        MoveXY(X, Y);
        break;
    }
    case 'm': SelectGraphicRendition(); break;
    case 's':
        SavedX = CurX;
        SavedY = static_cast<uint8_t>(CurY % 256);
        break;
    case 'u': MoveXY(SavedX, SavedY); break;
    default: break; // J, h and the rest: nothing
    }
    ResetEscape();
}

bool TMsgBaseAnsi::PutChar(uint8_t C) {
    // The cursor is always inside the image; normalising here as well keeps
    // a fault elsewhere from ever writing outside it.
    if (CurX < 1 || CurX > AnsiImageCols || CurY < 1 || CurY > AnsiImageLines) MoveXY(CurX, CurY);
    Data[CurY][CurX] = RecAnsiCell{static_cast<char>(C), Attr};
    if (CurX < AnsiImageCols) {
        ++CurX;
    } else if (CurY < AnsiImageLines) {
        CurX = 1;
        ++CurY;
    } else {
        return true;
    }
    return false;
}

void TMsgBaseAnsi::MoveXY(uint16_t X, uint16_t Y) {
    // A 0 (CSI u before any CSI s, a line saved as 0 modulo 256) is taken as 1.
    CurX = static_cast<uint8_t>(LimitX(X));
    CurY = LimitY(Y);
}

void TMsgBaseAnsi::SetFore(uint8_t C) {
    Attr = static_cast<uint8_t>((C & 0x0F) + (Attr & 0x70));
}

void TMsgBaseAnsi::SetBack(uint8_t C) {
    Attr = static_cast<uint8_t>((C & 0x07) * 16 + (Attr & 0x0F));
}

int32_t TMsgBaseAnsi::NextParam(std::string& S) {
    size_t N = 0;
    uint64_t V = 0;
    while (N < S.size() && S[N] >= '0' && S[N] <= '9') {
        if (V <= INT32_MAX) V = V * 10 + static_cast<uint64_t>(S[N] - '0');
        ++N;
    }
    S.erase(0, std::min(S.size(), N + 1));
    // A value no 32-bit signed number holds reads as 0, as StrToInt has it.
    return V > INT32_MAX ? 0 : static_cast<int32_t>(V);
}

void TMsgBaseAnsi::CsiGoto() {
    int64_t Y = NextParam(EscParams) % 256;
    int64_t X = NextParam(EscParams) % 256;
    MoveXY(LimitX(X == 0 ? 1 : X), LimitY(Y == 0 ? 1 : Y));
    ResetEscape();
}

void TMsgBaseAnsi::CsiUp() {
    int64_t N = NextParam(EscParams);
    if (N == 0) N = 1;
    CurY = LimitY(CurY - N);
    ResetEscape();
}

void TMsgBaseAnsi::CsiDown() {
    int64_t N = NextParam(EscParams) % 256;
    if (N == 0) N = 1;
    CurY = LimitY(CurY + N);
    ResetEscape();
}

void TMsgBaseAnsi::CsiRight() {
    int64_t N = NextParam(EscParams);
    if (N == 0) N = 1;
    int64_t X = CurX + N;
    int64_t Y = CurY;
    if (X > AnsiImageCols) {
        ++Y;
        X -= AnsiImageCols;
    }
    MoveXY(LimitX(X), LimitY(Y));
    ResetEscape();
}

void TMsgBaseAnsi::CsiLeft() {
    int64_t N = NextParam(EscParams);
    if (N == 0) N = 1;
    CurX = static_cast<uint8_t>(LimitX(CurX - N));
    ResetEscape();
}

void TMsgBaseAnsi::SelectGraphicRendition() {
    if (EscParams.empty()) Attr = 7; // ESC [ m
    while (!EscParams.empty()) {
        const int32_t P = NextParam(EscParams);
        if (P == 0) {
            Attr = 7;
        } else if (P == 1) {
            Attr |= 0x08;
        } else if (P == 5) {
            Attr |= 0x80;
        } else if (P == 7) {
            const uint8_t A = Attr & 0xF7;
            Attr = static_cast<uint8_t>((A & 0x80) | ((A & 0x07) << 4) | ((A & 0x70) >> 4));
        } else if (P >= 30 && P <= 37) {
            Attr = static_cast<uint8_t>((Attr & 0xF8) | AnsiColors[P - 30]);
        } else if (P >= 40 && P <= 47) {
            SetBack(static_cast<uint8_t>(AnsiColors[P - 40]));
        }
    }
}

// ---------------------------------------------------------------------------
// Drawing. A line is queued cell by cell and goes out in one write per line
// rather than one per cell; the bytes are the same.

void TMsgBaseAnsi::DrawLine(uint16_t Row, uint16_t Line, bool Flush) {
    if (Line < 1 || Line > Lines) return;
    GotoXY(1, static_cast<uint8_t>(Row));
    const RecMessageLine& L = Data[Line];
    for (int X = 1; X < AnsiImageCols; ++X) {
        SetTextAttr(L[X].Attr);
        Screen->PutChar(Shown(L[X].Ch));
    }
    Screen->PutChar('\r');
    if (Flush) FlushScreen();
}

void TMsgBaseAnsi::DrawPage(uint16_t FirstRow, uint16_t LastRow, uint16_t TopLine) {
    for (uint32_t Row = FirstRow; Row <= LastRow; ++Row) {
        GotoXY(1, static_cast<uint8_t>(Row));
        const uint32_t Line = uint32_t{TopLine} + Row - FirstRow;
        if (Line <= Lines) DrawLine(static_cast<uint16_t>(Row), static_cast<uint16_t>(Line), true);
    }
    FlushScreen();
}

void TMsgBaseAnsi::DrawAll() {
    for (int Line = 1; Line <= Lines; ++Line) {
        for (int X = 1; X < AnsiImageCols; ++X) {
            SetTextAttr(Data[Line][X].Attr);
            Screen->PutChar(Shown(Data[Line][X].Ch));
        }
        Screen->PutChar('\r');
        Screen->PutChar('\n');
    }
    FlushScreen();
}

void TMsgBaseAnsi::DrawLineRaw(uint16_t Row, uint16_t Line, bool Flush) {
    QueueText(CursorEscape(1, static_cast<uint8_t>(Row)));
    if (Line < 1 || Line > Lines) {
        SetTextAttr(7);
        QueueText("\x1b[K");
    } else {
        for (int X = 1; X <= AnsiImageCols; ++X) {
            SetTextAttr(Data[Line][X].Attr);
            // Queued past the writer's tracking, one byte per column: a
            // control byte from the file goes out as the writer's stand-in.
            QueueText(std::string(1, CellChar(Shown(Data[Line][X].Ch))));
        }
    }
    if (Flush) FlushScreen();
}

std::string TMsgBaseAnsi::LineText(uint16_t Line) const {
    std::string S;
    if (Line < 1 || Line > Lines) return S;
    for (const RecAnsiCell& C : Data[Line].Cells) S += C.Ch;
    return S;
}

void TMsgBaseAnsi::SetLineAttr(uint8_t A, uint16_t Line) {
    if (Line < 1 || Line > AnsiImageLines) return;
    for (RecAnsiCell& C : Data[Line].Cells) C.Attr = A;
}

void TMsgBaseAnsi::DeleteLine(uint16_t Line) {
    if (Line < 1 || Line > AnsiImageLines) return;
    for (int L = Line; L < Lines; ++L) Data[L] = Data[L + 1];
    if (Lines > 0) --Lines;
}

std::string CursorEscape(uint8_t X, uint8_t Y) {
    if (X == 0) X = WhereX();
    if (Y == 0) Y = WhereY();
    return "\x1b[" + IntToStr(Y) + ";" + IntToStr(X) + "H";
}

// ---------------------------------------------------------------------------
// The viewer.

std::string PercentBar(const RecPercent& Bar, int16_t Shown, int16_t Total, int16_t& Percent) {
    SetTextAttr(0);
    if (Shown > Total) Shown = Total;
    uint8_t Filled = 0;
    if (Shown <= 0 || Total <= 0) {
        Percent = 0;
    } else {
        // Nearest integer, an exact half to the even one.
        auto Round = [](double V) {
            double F = std::floor(V);
            const double D = V - F;
            if (D > 0.5 || (D == 0.5 && std::fmod(F, 2.0) != 0.0)) F += 1.0;
            return F;
        };
        const double Part = static_cast<double>(Shown) / static_cast<double>(Total);
        Filled = static_cast<uint8_t>(Round(Part * Bar.BarLen));
        Percent = static_cast<int16_t>(Round(Part * 100.0));
    }
    return StringOfChar(Bar.FullChar, Filled) +
           StringOfChar(Bar.EmptyChar, static_cast<uint8_t>(Bar.BarLen - Filled));
}

namespace {

constexpr int32_t ViewPageLen = 24;
constexpr int32_t ViewBlockSize = 4096;
constexpr uint8_t ViewPlayDelay = 6;

// Scan codes of the extended keys the viewer knows.
constexpr uint8_t ScanHome = 71, ScanUp = 72, ScanPgUp = 73, ScanLeft = 75;
constexpr uint8_t ScanRight = 77, ScanEnd = 79, ScanDown = 80, ScanPgDn = 81;

// One view: the loaded image and where it is scrolled to.
struct TAnsiView {
    std::string FileName;
    uint8_t StatusAttr = 0;
    std::unique_ptr<TMsgBaseAnsi> Image;
    int32_t Top = 1;
    int32_t PageLen = ViewPageLen;
    int16_t Percent = 0;
    bool Done = false;
    uint8_t PlayDelay = ViewPlayDelay;
    RecPercent Bar;

    int32_t Lines() const { return Image->Lines; }

    void ResetView() {
        PageLen = ViewPageLen;
        Top = 1;
        RedrawView();
    }

    void RedrawView() {
        Image->DrawPage(1, static_cast<uint16_t>(PageLen), static_cast<uint16_t>(Top));
        const std::string Text = PercentBar(Bar, static_cast<int16_t>(Top + PageLen - 1),
                                            static_cast<int16_t>(Lines()), Percent);
        WriteXY(1, 25, StatusAttr, PadLeft("[" + Text + "]" + std::string(8, ' '), 79, ' '));
        WriteXY(75, 25, StatusAttr, PadLeft(IntToStr(Percent) + "%", 4, ' '));
        const std::string Name =
            FileName.size() > 20 ? FileName.substr(FileName.size() - 20) : FileName;
        WriteXY(1, 25, StatusAttr, "File: " + Name);
    }

    // Moves Top and redraws; a key that changes nothing redraws nothing.
    void ScrollTo(int32_t NewTop) {
        if (NewTop == Top) return;
        Top = NewTop;
        RedrawView();
    }

    void PageDown() {
        if (Top + PageLen > Lines()) return;
        int32_t T = Top + PageLen;
        if (T + PageLen > Lines()) T = Lines() - PageLen + 1;
        ScrollTo(T);
    }

    void Replay() {
        SetTextAttr(7);
        ClearScreen();
        AnsiPlayFile(FileName, PlayDelay);
        ReadKey();
        ResetView();
    }

    void ExtendedKey(uint8_t Code) {
        switch (Code) {
        case ScanHome:
            if (Top > 1) ScrollTo(1);
            break;
        case ScanUp:
            if (Top > 1) ScrollTo(Top - 1);
            break;
        case ScanPgUp:
        case ScanLeft:
            if (Top > 1) ScrollTo(std::max<int32_t>(1, Top - PageLen));
            break;
        case ScanRight:
        case ScanPgDn: PageDown(); break;
        case ScanEnd:
            if (Top + PageLen <= Lines()) ScrollTo(Lines() - PageLen + 1);
            break;
        case ScanDown:
            if (Top + PageLen <= Lines()) ScrollTo(Top + 1);
            break;
        default: break;
        }
    }

    void KeyLoop() {
        while (!Done) {
            uint8_t K = static_cast<uint8_t>(ReadKey());
            if (K >= 'a' && K <= 'z') K = static_cast<uint8_t>(K - 'a' + 'A');
            if (K == 0) {
                ExtendedKey(static_cast<uint8_t>(ReadKey()));
            } else if (K == KeyEsc) {
                Done = true;
            } else if (K == KeyEnter || K == 'N') {
                if (Percent == 100)
                    Done = true;
                else
                    PageDown();
            } else if (K == 'P') {
                PageDown();
            } else if (K == ' ') {
                Replay();
            }
        }
    }

    // Feeds the file block by block; a failed or empty read ends the loading
    // as the end of the file does.
    void Load(TUntypedFile& F) {
        auto Buf = std::make_unique<uint8_t[]>(ViewBlockSize);
        while (!F.Eof()) {
            int32_t Got = 0;
            const bool Ok = IoBlockRead(F, Buf.get(), ViewBlockSize, Got);
            if (Got > 0 && Image->Feed(Buf.get(), static_cast<uint16_t>(Got))) break;
            if (!Ok || Got <= 0) break;
        }
    }
};

} // namespace

void ViewAnsiFile(const std::string& FileName, uint8_t StatusAttr) {
    SetTextAttr(7);
    if (!FileExists(FileName)) return;
    TAnsiView View;
    View.FileName = FileName;
    View.StatusAttr = StatusAttr;
    View.Bar.BarLen = 25;
    View.Bar.EmptyChar = ' ';
    View.Bar.EmptyAttr = 8;
    View.Bar.FullChar = static_cast<char>(254);
    View.Bar.FullAttr = 15;
    View.Bar.PosX = 1;
    View.Bar.PosY = 25;
    View.Bar.Visible = true;
    View.Bar.Param1 = 1;
    View.Bar.Param2 = 1;
    RecSauceInfo Sauce;
    bool Opened = false;
    ReadSauce(FileName, Sauce, Opened);
    if (!Opened) return;
    View.Image = std::make_unique<TMsgBaseAnsi>(0, 0);
    View.Image->Clear();
    TUntypedFile F(FileName);
    if (!IoReset(F, 1, IoModeShared)) return;
    View.Load(F);
    F.Close();
    View.ResetView();
    View.KeyLoop();
    View.Image.reset();
    GotoXY(1, 25);
}

void ViewAnsi(const std::string& FileName) {
    ViewAnsiFile(FileName, 0x1F);
}
