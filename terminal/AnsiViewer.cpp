#include "terminal/AnsiViewer.h"
// The image is a fixed array inside the object: loading allocates nothing,
// and every write goes to the cell under the cursor, which MoveXY, PutChar
// and the line feed keep within lines 1-5000 and columns 1-80 whatever the
// bytes ask for. Counts from escape parameters are worked out in 64 bits and
// limited before they reach the 16-bit cursor. The viewer opens its file for
// reading only and reads it once, through one descriptor, in 4096-byte
// blocks; the image, the SAUCE record and the Space replay all come from the
// bytes it read, so a file rewritten meanwhile (by another session of the
// same user) changes nothing of the view. Then it only draws.

#include "support/FileDesc.h"
#include "support/FileIO.h"
#include "support/StrUtil.h"
#include "terminal/AnsiUtil.h"
#include "terminal/Console.h"
#include "terminal/KeyCodes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace {

constexpr uint8_t ByteEsc = 27; // the byte that opens a sequence
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
    const uint8_t* p = static_cast<const uint8_t*>(Buf);
    for (uint16_t i = 0; i < Len; ++i) {
        const uint8_t b = p[i];
        if (CurY > Lines) Lines = CurY;
        if (b == ByteLF) {
            if (CurY >= AnsiImageLines) {
                CsiStarted = false;
                return true;
            }
            ++CurY;
            CurX = 1;
        } else if (b == ByteCR) {
            CurX = 1;
        } else if (b == ByteCtrlZ) {
            return true;
        } else {
            ProcessChar(b);
        }
    }
    return false;
}

void TMsgBaseAnsi::ProcessChar(uint8_t C) {
    if (InPipe) {
        PipeCode += static_cast<char>(C);
        if (PipeCode.size() < MaxPipeCode) return;
        const int32_t v = StrToInt(PipeCode);
        if (v >= 0 && v <= 15) {
            SetFore(static_cast<uint8_t>(v));
        } else if (v >= 16 && v <= 23) {
            SetBack(static_cast<uint8_t>(v - 16));
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
        } else if (C == ByteEsc) {
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
        const uint8_t x = CurX;
        const uint16_t y = CurY;
        for (int col = x; col <= AnsiImageCols; ++col) PutChar(' ');
        MoveXY(x, y);
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
    size_t n = 0;
    uint64_t v = 0;
    while (n < S.size() && S[n] >= '0' && S[n] <= '9') {
        if (v <= INT32_MAX) v = v * 10 + static_cast<uint64_t>(S[n] - '0');
        ++n;
    }
    S.erase(0, std::min(S.size(), n + 1));
    // A value no 32-bit signed number holds reads as 0, as StrToInt has it.
    return v > INT32_MAX ? 0 : static_cast<int32_t>(v);
}

void TMsgBaseAnsi::CsiGoto() {
    int64_t y = NextParam(EscParams) % 256;
    int64_t x = NextParam(EscParams) % 256;
    MoveXY(LimitX(x == 0 ? 1 : x), LimitY(y == 0 ? 1 : y));
    ResetEscape();
}

void TMsgBaseAnsi::CsiUp() {
    int64_t n = NextParam(EscParams);
    if (n == 0) n = 1;
    CurY = LimitY(CurY - n);
    ResetEscape();
}

void TMsgBaseAnsi::CsiDown() {
    int64_t n = NextParam(EscParams) % 256;
    if (n == 0) n = 1;
    CurY = LimitY(CurY + n);
    ResetEscape();
}

void TMsgBaseAnsi::CsiRight() {
    int64_t n = NextParam(EscParams);
    if (n == 0) n = 1;
    int64_t x = CurX + n;
    int64_t y = CurY;
    if (x > AnsiImageCols) {
        ++y;
        x -= AnsiImageCols;
    }
    MoveXY(LimitX(x), LimitY(y));
    ResetEscape();
}

void TMsgBaseAnsi::CsiLeft() {
    int64_t n = NextParam(EscParams);
    if (n == 0) n = 1;
    CurX = static_cast<uint8_t>(LimitX(CurX - n));
    ResetEscape();
}

void TMsgBaseAnsi::SelectGraphicRendition() {
    if (EscParams.empty()) Attr = 7; // ESC [ m
    while (!EscParams.empty()) {
        const int32_t p = NextParam(EscParams);
        if (p == 0) {
            Attr = 7;
        } else if (p == 1) {
            Attr |= 0x08;
        } else if (p == 5) {
            Attr |= 0x80;
        } else if (p == 7) {
            const uint8_t a = Attr & 0xF7;
            Attr = static_cast<uint8_t>((a & 0x80) | ((a & 0x07) << 4) | ((a & 0x70) >> 4));
        } else if (p >= 30 && p <= 37) {
            Attr = static_cast<uint8_t>((Attr & 0xF8) | AnsiColors[p - 30]);
        } else if (p >= 40 && p <= 47) {
            SetBack(static_cast<uint8_t>(AnsiColors[p - 40]));
        }
    }
}

// ---------------------------------------------------------------------------
// Drawing. A line is queued cell by cell and goes out in one write per line
// rather than one per cell; the bytes are the same.

void TMsgBaseAnsi::DrawLine(uint16_t Row, uint16_t Line, bool Flush) {
    if (Line < 1 || Line > Lines) return;
    GotoXY(1, static_cast<uint8_t>(Row));
    const RecMessageLine& l = Data[Line];
    // All 80 columns: a long line wraps in the image at column 80, so a row
    // that left out its last cell would hide one byte of the text in every
    // 80. The cursor is then put back at the row's start by position, not by
    // a CR, which after the last column would land on the next row in the
    // writer's count while the terminal still stands on this one.
    for (int x = 1; x <= AnsiImageCols; ++x) {
        SetTextAttr(l[x].Attr);
        // A cell, whatever byte the text left in it: a BS, say, must not
        // step the cursor back and shift the rest of the row.
        Screen->PutCell(Shown(l[x].Ch));
    }
    GotoXY(1, static_cast<uint8_t>(Row));
    if (Flush) FlushScreen();
}

void TMsgBaseAnsi::DrawPage(uint16_t FirstRow, uint16_t LastRow, uint16_t TopLine) {
    for (uint32_t row = FirstRow; row <= LastRow; ++row) {
        GotoXY(1, static_cast<uint8_t>(row));
        const uint32_t line = uint32_t{TopLine} + row - FirstRow;
        if (line <= Lines) DrawLine(static_cast<uint16_t>(row), static_cast<uint16_t>(line), true);
    }
    FlushScreen();
}

void TMsgBaseAnsi::DrawAll() {
    for (int line = 1; line <= Lines; ++line) {
        for (int x = 1; x < AnsiImageCols; ++x) {
            SetTextAttr(Data[line][x].Attr);
            Screen->PutCell(Shown(Data[line][x].Ch));
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
        for (int x = 1; x <= AnsiImageCols; ++x) {
            SetTextAttr(Data[Line][x].Attr);
            // Queued past the writer's tracking, one byte per column: a
            // control byte from the file goes out as the writer's stand-in.
            QueueText(std::string(1, CellChar(Shown(Data[Line][x].Ch))));
        }
    }
    if (Flush) FlushScreen();
}

std::string TMsgBaseAnsi::LineText(uint16_t Line) const {
    std::string s;
    if (Line < 1 || Line > Lines) return s;
    for (const RecAnsiCell& c : Data[Line].Cells) s += c.Ch;
    return s;
}

void TMsgBaseAnsi::SetLineAttr(uint8_t A, uint16_t Line) {
    if (Line < 1 || Line > AnsiImageLines) return;
    for (RecAnsiCell& c : Data[Line].Cells) c.Attr = A;
}

void TMsgBaseAnsi::DeleteLine(uint16_t Line) {
    if (Line < 1 || Line > AnsiImageLines) return;
    for (int l = Line; l < Lines; ++l) Data[l] = Data[l + 1];
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
    uint8_t filled = 0;
    if (Shown <= 0 || Total <= 0) {
        Percent = 0;
    } else {
        // Nearest integer, an exact half to the even one.
        auto round = [](double V) {
            double f = std::floor(V);
            const double d = V - f;
            if (d > 0.5 || (d == 0.5 && std::fmod(f, 2.0) != 0.0)) f += 1.0;
            return f;
        };
        const double part = static_cast<double>(Shown) / static_cast<double>(Total);
        filled = static_cast<uint8_t>(round(part * Bar.BarLen));
        Percent = static_cast<int16_t>(round(part * 100.0));
    }
    return StringOfChar(Bar.FullChar, filled) +
           StringOfChar(Bar.EmptyChar, static_cast<uint8_t>(Bar.BarLen - filled));
}

namespace {

constexpr int32_t ViewPageLen = 24;
constexpr int32_t ViewBlockSize = 4096;
constexpr uint8_t ViewPlayDelay = 6;
// The bytes a view keeps of its file. A message text as the base reader
// gives it, 262,144 lines of at most 255 bytes and a line feed each, fits
// whole; of a larger file the view is of its first ViewMaxBytes.
constexpr int64_t ViewMaxBytes = int64_t{64} << 20;

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
    std::string Bytes; // what was read of the file: the replay plays these

    int32_t Lines() const { return Image->Lines; }

    void ResetView() {
        PageLen = ViewPageLen;
        Top = 1;
        RedrawView();
    }

    void RedrawView() {
        Image->DrawPage(1, static_cast<uint16_t>(PageLen), static_cast<uint16_t>(Top));
        const std::string text = PercentBar(Bar, static_cast<int16_t>(Top + PageLen - 1),
                                            static_cast<int16_t>(Lines()), Percent);
        WriteXY(1, 25, StatusAttr, PadLeft("[" + text + "]" + std::string(8, ' '), 79, ' '));
        WriteXY(75, 25, StatusAttr, PadLeft(IntToStr(Percent) + "%", 4, ' '));
        const std::string name =
            FileName.size() > 20 ? FileName.substr(FileName.size() - 20) : FileName;
        WriteXY(1, 25, StatusAttr, "File: " + name);
    }

    // Moves Top and redraws; a key that changes nothing redraws nothing.
    void ScrollTo(int32_t NewTop) {
        if (NewTop == Top) return;
        Top = NewTop;
        RedrawView();
    }

    void PageDown() {
        if (Top + PageLen > Lines()) return;
        int32_t t = Top + PageLen;
        if (t + PageLen > Lines()) t = Lines() - PageLen + 1;
        ScrollTo(t);
    }

    void Replay() {
        SetTextAttr(7);
        ClearScreen();
        AnsiPlayBytes(Bytes, PlayDelay);
        ReadKey();
        ResetView();
    }

    void ExtendedKey(uint8_t Code) {
        switch (Code) {
        case Scan::Home:
            if (Top > 1) ScrollTo(1);
            break;
        case Scan::Up:
            if (Top > 1) ScrollTo(Top - 1);
            break;
        case Scan::PgUp:
        case Scan::Left:
            if (Top > 1) ScrollTo(std::max<int32_t>(1, Top - PageLen));
            break;
        case Scan::Right:
        case Scan::PgDn: PageDown(); break;
        case Scan::End:
            if (Top + PageLen <= Lines()) ScrollTo(Lines() - PageLen + 1);
            break;
        case Scan::Down:
            if (Top + PageLen <= Lines()) ScrollTo(Top + 1);
            break;
        default: break;
        }
    }

    void KeyLoop() {
        while (!Done) {
            uint8_t k = static_cast<uint8_t>(ReadKey());
            if (k >= 'a' && k <= 'z') k = static_cast<uint8_t>(k - 'a' + 'A');
            if (k == Key::Extended) {
                ExtendedKey(static_cast<uint8_t>(ReadKey()));
            } else if (k == Key::Esc) {
                Done = true;
            } else if (k == Key::Enter || k == 'N') {
                if (Percent == 100)
                    Done = true;
                else
                    PageDown();
            } else if (k == 'P') {
                PageDown();
            } else if (k == ' ') {
                Replay();
            }
        }
    }

    // Reads the file whole, up to ViewMaxBytes; a failed or empty read ends
    // the bytes as the end of the file does.
    void Read(TUntypedFile& F) {
        Bytes.reserve(static_cast<size_t>(std::min<int64_t>(F.FileSize(), ViewMaxBytes)));
        while (static_cast<int64_t>(Bytes.size()) < ViewMaxBytes) {
            const auto want = static_cast<int32_t>(std::min<int64_t>(
                ViewBlockSize, ViewMaxBytes - static_cast<int64_t>(Bytes.size())));
            const std::size_t had = Bytes.size();
            Bytes.resize(had + std::size_t(want));
            int32_t got = 0;
            const bool ok = IoBlockRead(F, Bytes.data() + had, want, got);
            Bytes.resize(had + std::size_t(std::max(got, 0)));
            if (!ok || got <= 0) break;
        }
    }

    // Feeds the bytes block by block until the image takes no more (Ctrl-Z,
    // or line 5000 full).
    void Load() {
        for (size_t at = 0; at < Bytes.size(); at += ViewBlockSize) {
            const size_t n = std::min<size_t>(ViewBlockSize, Bytes.size() - at);
            if (Image->Feed(Bytes.data() + at, static_cast<uint16_t>(n))) break;
        }
    }
};

} // namespace

bool CanViewFile(const std::string& FileName) {
    // Nothing but a regular file is opened: a FIFO would block the open, and
    // a device could answer an open with effects of its own.
    struct stat64 st {};
    if (::stat64(FileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    TFileDesc probe;
    return probe.OpenRegular(FileName, O_RDONLY);
}

void ViewAnsiFile(const std::string& FileName, uint8_t StatusAttr) {
    SetTextAttr(7);
    if (!FileExists(FileName)) return;
    TAnsiView view;
    view.FileName = FileName;
    view.StatusAttr = StatusAttr;
    view.Bar.BarLen = 25;
    view.Bar.EmptyChar = ' ';
    view.Bar.EmptyAttr = 8;
    view.Bar.FullChar = static_cast<char>(254);
    view.Bar.FullAttr = 15;
    view.Bar.PosX = 1;
    view.Bar.PosY = 25;
    view.Bar.Visible = true;
    view.Bar.Param1 = 1;
    view.Bar.Param2 = 1;
    // The file is only read, so it is opened for reading only: a file the
    // user may read but not write (the help file of an installed program)
    // opens at once. It is opened before the SAUCE record is read, whose
    // title line would otherwise stay on the screen when the open fails.
    TUntypedFile f(FileName);
    if (!CanViewFile(FileName) || !IoReset(f, 1, IoModeRead)) return;
    view.Read(f);
    f.Close();
    RecSauceInfo sauce;
    ReadSauceBytes(view.Bytes, sauce);
    view.Image = std::make_unique<TMsgBaseAnsi>(0, 0);
    view.Image->Clear();
    view.Load();
    view.ResetView();
    view.KeyLoop();
    view.Image.reset();
    GotoXY(1, 25);
}

void ViewAnsi(const std::string& FileName) {
    ViewAnsiFile(FileName, 0x1F);
}
