#include "ui/MenuBox.h"
// Every cell is drawn through WriteXY or GotoXY + WriteText after being cut
// to the screen, because the writer wraps at column 80 and limits lines to 25:
// an uncut text would spill onto the next line, an off-screen line would be
// drawn on line 25. The fixed pictures are stored as their colour codes and
// decoded here into cells, so the shadow screen and the tracked attribute
// always agree with what the terminal shows.

#include "support/StrUtil.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr int32_t LastCol = 80;
constexpr int32_t LastRow = 25;

constexpr char TrackChar = '\xB0'; // the scroll column
constexpr char ThumbChar = '\xB2'; // the scroll thumb
constexpr int32_t SearchLineLen = 17;
constexpr std::size_t SearchTextMax = 15;

std::string Repeat(char Ch, int32_t Count) {
    return Count > 0 ? std::string(static_cast<std::size_t>(Count), Ch) : std::string();
}

// Cuts S at (X, Y) to the screen; false when nothing of it is on the screen.
bool CutToScreen(int32_t& X, int32_t Y, std::string& S) {
    if (Y < 1 || Y > LastRow || X > LastCol) return false;
    if (X < 1) {
        const auto skip = static_cast<std::size_t>(1 - static_cast<int64_t>(X));
        if (skip >= S.size()) return false;
        S.erase(0, skip);
        X = 1;
    }
    if (X + static_cast<int64_t>(S.size()) - 1 > LastCol)
        S.resize(static_cast<std::size_t>(LastCol - X + 1));
    return true;
}

// WriteXY of the part of S that lies on the screen.
void PutXY(int32_t X, int32_t Y, uint8_t A, std::string S) {
    if (S.empty() || !CutToScreen(X, Y, S)) return;
    WriteXY(static_cast<uint8_t>(X), static_cast<uint8_t>(Y), A, S);
}

// GotoXY + WriteText in the current attribute, cut to the screen.
void PutAt(int32_t X, int32_t Y, std::string S) {
    if (!CutToScreen(X, Y, S)) return;
    GotoXY(static_cast<uint8_t>(X), static_cast<uint8_t>(Y));
    WriteText(S);
}

// A cell keeps its character and takes attribute A.
void ShadeCell(int32_t X, int32_t Y, uint8_t A) {
    if (X < 1 || X > LastCol || Y < 1 || Y > LastRow) return;
    PutXY(X, Y, A, std::string(1, ScreenCharAt(static_cast<uint8_t>(X), static_cast<uint8_t>(Y))));
}

// ---------------------------------------------------------------------------
// Fixed pictures. A line is written as "{n}" for byte n, "{nxk}" for k copies,
// "ESC" for the escape byte and any other character for itself. ANSI lines use
// SGR sequences and "ESC[1C" (one column right, nothing drawn); pipe lines use
// "|NN" colour codes.

struct PicCell {
    int32_t Col; // offset from the picture's left column
    uint8_t Attr;
    char Ch;
};

std::string ExpandPicture(std::string_view L) {
    std::string out;
    for (std::size_t i = 0; i < L.size();) {
        if (L.compare(i, 3, "ESC") == 0) {
            out += '\x1b';
            i += 3;
        } else if (L[i] == '{') {
            const std::size_t close = L.find('}', i);
            const std::string body(L.substr(i + 1, close - i - 1));
            const std::size_t x = body.find('x');
            const int32_t ch = StrToInt(body.substr(0, x));
            const int32_t count = x == std::string::npos ? 1 : StrToInt(body.substr(x + 1));
            out += Repeat(static_cast<char>(ch), count);
            i = close + 1;
        } else {
            out += L[i++];
        }
    }
    return out;
}

uint8_t ApplySgr(uint8_t Attr, const std::string& Params) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t semi = Params.find(';', start);
        const int32_t n = StrToInt(Params.substr(start, semi - start));
        if (n == 0)
            Attr = 7;
        else if (n == 1)
            Attr |= 0x08;
        else if (n == 5)
            Attr |= 0x80;
        else if (n >= 30 && n <= 37)
            Attr = (Attr & 0xF8) | AnsiColors[n - 30];
        else if (n >= 40 && n <= 47)
            Attr = (Attr & 0x8F) | (AnsiColors[n - 40] << 4);
        if (semi == std::string::npos) break;
        start = semi + 1;
    }
    return Attr;
}

// Decodes one ANSI line starting in Attr; Attr ends as the line leaves it and
// Col as the column offset after its last cell.
std::vector<PicCell> DecodeAnsi(const std::string& S, uint8_t& Attr, int32_t& Col) {
    std::vector<PicCell> cells;
    Col = 0;
    for (std::size_t i = 0; i < S.size(); ++i) {
        if (S[i] != '\x1b') {
            cells.push_back({Col++, Attr, S[i]});
            continue;
        }
        std::size_t end = i + 2;
        while (end < S.size() &&
               !((S[end] >= 'A' && S[end] <= 'Z') || (S[end] >= 'a' && S[end] <= 'z')))
            ++end;
        if (end >= S.size()) break;
        const std::string params = S.substr(i + 2, end - i - 2);
        if (S[end] == 'm')
            Attr = ApplySgr(Attr, params);
        else if (S[end] == 'C')
            Col += std::max<int32_t>(StrToInt(params), 1);
        i = end;
    }
    return cells;
}

// Decodes one pipe-coded line by the rules of the pipe writer at the cursor.
std::vector<PicCell> DecodePipe(const std::string& S, uint8_t& Attr, int32_t& Col) {
    std::vector<PicCell> cells;
    Col = 0;
    for (std::size_t i = 0; i < S.size(); ++i) {
        if (S[i] == '|') {
            const std::string t = S.substr(i + 1, 2);
            const auto n = static_cast<uint8_t>(StrToInt(t));
            if (t == "00" || (n >= 1 && n <= 23 && t[0] != '&' && t[0] != '$')) {
                Attr = n < 16 ? static_cast<uint8_t>(n + 16 * ((Attr >> 4) & 7))
                              : static_cast<uint8_t>(16 * ((n - 16) % 16) + (Attr & 15));
                i += 2;
                continue;
            }
        }
        cells.push_back({Col++, Attr, S[i]});
    }
    return cells;
}

// Draws decoded cells on line Y from column X, one WriteXY per run of one attribute.
void DrawCells(int32_t X, int32_t Y, const std::vector<PicCell>& Cells) {
    for (std::size_t i = 0; i < Cells.size();) {
        std::size_t j = i + 1;
        std::string run(1, Cells[i].Ch);
        while (j < Cells.size() && Cells[j].Attr == Cells[i].Attr &&
               Cells[j].Col == Cells[j - 1].Col + 1)
            run += Cells[j++].Ch;
        PutXY(X + Cells[i].Col, Y, Cells[i].Attr, run);
        i = j;
    }
}

enum class PicCodes { Ansi, Pipe };

// Draws picture lines from (X, Y); Attr is the rendition the first line starts
// in and ends as the last line leaves it; Col is the column offset after the
// last line's last cell.
template <std::size_t N>
void DrawPicture(int32_t X, int32_t Y, const std::array<std::string_view, N>& Lines, PicCodes Codes,
                 uint8_t& Attr, int32_t& Col, bool CarryAttr) {
    const uint8_t start = Attr;
    for (std::size_t i = 0; i < N; ++i) {
        if (!CarryAttr) Attr = start;
        const std::string bytes = ExpandPicture(Lines[i]);
        const auto cells =
            Codes == PicCodes::Ansi ? DecodeAnsi(bytes, Attr, Col) : DecodePipe(bytes, Attr, Col);
        DrawCells(X, Y + static_cast<int32_t>(i), cells);
    }
}

constexpr std::array<std::string_view, 14> PipeFrameLines = {
    "|23|07{220}|00{220x23}",
    "|16{32}|15{220}{219}{223x2}|07{223}|15{223}|07{223}{178}{223x2}|08{32}{223x3}{177x2}{223x5}"
    "{219}{220}{32}",
    "|16{32}|07{178}|00{32}|23{223}{32x17}{223}|16{32}|08{219}{32}",
    "{32}|07{219}|00{32}|23{32}{176}{32x17}|16{32}|08{219}|16{32}",
    "{32}|15|23{223}|00|16{32}|23{32x19}|16{32}|08{219}|16{32}",
    "{32}|23{220}|00{220}{32x19}|16{32}|08{219}|16{32}",
    "{32}|23{176}|00|16{32}|23{32x19}|16{32}|08{219}|16{32}",
    "{32}|23{220}|00|16{32}|23{32x19}|16{32}|08{219}|16{32}",
    "{32}{178}|00{32}|23{32x19}|16{32}|07{178}|16{32}",
    "{32}|08{223}|00{32}|23{32x19}|16{32}|07{219}|16{32}",
    "{32}|08{219}|00{32}|23{32x17}{176}{32}|16{32}|15|23{223}|16{32}",
    "{32}|08|16{219}|00{32}|23{220}{32x17}{220}|16{32}|15{219}|16{32}",
    "{32}|08{223}{219}{220x4}{32}{220}{178x2}{220x2}|00|23{176x2}|07|16{220x2}|15{220x2}|07{220}"
    "|15{220x2}|00|23{176}|15|16{223}{32}",
    "|23|07{220}|16{220x23}",
};

constexpr std::array<std::string_view, 5> TitleFrameLines = {
    "ESC[1;37m{220}{219}{223x2}ESC[0;37;40m{223}ESC[1m{223}ESC[0;37;40m{223}{178}{223x4}ESC[1;30m"
    "{223}ESC[0;37;40m{223}ESC[1;30m{223x23}ESC[0;37;40m{223}ESC[1;30m{223x4}{32}{223x3}{177x2}"
    "{223x5}{219}{220}ESC[0m",
    "{178}ESC[1C{220}{219x13}ESC[30;47m{32x4}Search{32}TitleESC[37;40m{219x20}{220}ESC[1CESC[1;30m"
    "{219}ESC[0m",
    "ESC[1;30m{219}ESC[1CESC[0;30;47m{32x50}ESC[37;40m{219}ESC[1CESC[1;47m{223}ESC[0m",
    "ESC[1;30m{219}ESC[1CESC[0;37;40m{223}{219x49}{223}ESC[1CESC[1m{219}ESC[0m",
    "ESC[1;30m{223}{219}{220x4}{32}{220}{178x2}{220x28}ESC[0;37;40m{220}ESC[1;30m{220x2}"
    "ESC[0;37;40m{220}ESC[1;30m{220}ESC[0;37;40m{220}ESC[30;47m{176x2}ESC[37;40m{220x2}ESC[1m"
    "{220x2}ESC[0;37;40m{220}ESC[1m{220x2}ESC[0;30;47m{176}ESC[1;37;40m{223}ESC[0m",
};

constexpr std::array<std::string_view, 9> ArtBoxLines = {
    "ESC[1;37;47m{32}ESC[0;37;40m{219}{223x21}{219}ESC[1;47m{32}ESC[0;30;40m{32}ESC[0m",
    "ESC[1;30;47m{177}ESC[0;30;40m{32}ESC[37m{220}ESC[30;47m{32x19}ESC[37;40m{220}ESC[1C"
    "ESC[1;30;47m{177}ESC[0;30;40m{32x3}ESC[0m",
    "ESC[1;30m{178}ESC[1CESC[0;30;47m{32x21}ESC[1CESC[1;40m{178}ESC[0m",
    "ESC[1;30m{178}ESC[1CESC[0;30;47m{32x21}ESC[1CESC[1;40m{178}ESC[0m",
    "ESC[1;30m{177}ESC[1CESC[0;30;47m{32x21}ESC[1CESC[1;40m{177}ESC[0m",
    "ESC[1;30m{177}ESC[1CESC[0;30;47m{32x21}ESC[1CESC[1;40m{177}ESC[0m",
    "ESC[1;30m{178}ESC[1CESC[0;30;47m{32x21}ESC[1CESC[1;40m{177}ESC[0m",
    "ESC[1;30m{219}ESC[1CESC[0;37;40m{223}ESC[30;47m{32x19}ESC[37;40m{223}ESC[1CESC[1;30m{178}"
    "ESC[0m",
    "ESC[1;30m{219x2}{220}{32}{220x16}{32}{220x2}{219x2}ESC[0m",
};

constexpr std::array<std::string_view, 3> MenuLogoLines = {
    "ESC[37m{220}ESC[1;47m{176}{220}{219x2}{220x2}{219}{220}ESC[0;37;40m{178}ESC[1m{220}ESC[47m"
    "{220x2}ESC[0;37;40m{219}{220}",
    "{178}ESC[1;47m{32x13}ESC[0;37;40m{177}",
    "{223}{219}ESC[1;30;47m{223x2}ESC[0;37;40m{178}ESC[1;30;47m{223x3}ESC[40m{223}ESC[47m{223x4}"
    "ESC[37m{178}ESC[40m{223}ESC[0m",
};

constexpr const char* MenuBarText =
    "    File       Tools      Other                                      Help ";

// The cursor moved to (X, Y), limited to the screen.
void GotoClamped(int32_t X, int32_t Y) {
    GotoXY(static_cast<uint8_t>(std::clamp(X, 1, LastCol)),
           static_cast<uint8_t>(std::clamp(Y, 1, LastRow)));
}

// The eight characters of style FrameType; the default style when out of range.
std::string FrameCharsOf(uint8_t FrameType) {
    return BoxFrameChars[FrameType >= 1 && FrameType <= 8 ? FrameType : DefaultFrameType];
}

} // namespace

// ---------------------------------------------------------------------------
// TMenuBox

TMenuBox::TMenuBox() = default;

TMenuBox::~TMenuBox() = default;

void TMenuBox::Open(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2) {
    if (!WasOpened) SaveScreen(Image);
    WasOpened = true;
    if (!Box3D) BoxAttr2 = BoxAttr3 = BoxAttr4 = BoxAttr;
    if (X2 <= X1 || Y2 <= Y1) return; // no room for a frame: nothing is drawn

    const std::string f = FrameCharsOf(FrameType);
    const int32_t w = X2 - X1 - 1;
    PutXY(X1, Y1, BoxAttr, f[0] + Repeat(f[1], w));
    PutXY(X2, Y1, BoxAttr4, std::string(1, f[2]));
    for (int32_t y = Y1 + 1; y <= std::min<int32_t>(Y2 - 1, LastRow); ++y) {
        PutXY(X1, y, BoxAttr, f[3] + Repeat(' ', w));
        PutXY(X2, y, BoxAttr2, std::string(1, f[4]));
    }
    PutXY(X1, Y2, BoxAttr3, std::string(1, f[5]));
    PutXY(X1 + 1, Y2, BoxAttr2, Repeat(f[6], w) + f[7]);

    if (!Header.empty() && HeadType <= 2 && w > 0) {
        // A header wider than the box is cut to the top edge.
        const std::string head = Header.substr(0, static_cast<std::size_t>(w));
        const auto n = static_cast<int32_t>(head.size());
        const int32_t x = HeadType == 0 ? X1 + 1 + (w - n) / 2 : HeadType == 1 ? X1 + 1 : X2 - n;
        PutXY(x, Y1, HeadAttr, head);
    }

    if (Shadow) {
        for (int32_t y = Y1 + 1; y <= std::min<int32_t>(Y2 + 1, LastRow); ++y) {
            ShadeCell(X2 + 1, y, ShadowAttr);
            ShadeCell(X2 + 2, y, ShadowAttr);
        }
        for (int32_t x = X1 + 2; x <= std::min<int32_t>(X2 + 2, LastCol); ++x)
            ShadeCell(x, Y2 + 1, ShadowAttr);
    }
}

void TMenuBox::Close() {
    if (!WasOpened) return;
    RestoreScreen(Image);
}

void TMenuBox::Hide() {
    if (!WasOpened) return; // nothing was saved to come back to
    SaveScreen(HideImage);
    HideSaved = true;
    RestoreScreen(Image);
}

void TMenuBox::Show() {
    // Before any Hide the image is all zero bytes: putting it back would draw
    // no cell but leave the text black on black and the cursor at the top.
    if (HideSaved) RestoreScreen(HideImage);
}

void TMenuBox::Forget() {
    WasOpened = false;
    HideSaved = false;
}

// ---------------------------------------------------------------------------
// Panels, shadows and pictures

void DrawPanel(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2, uint8_t Back) {
    const int32_t across = X2 - X1 + 1, inner = X2 - X1 - 1;
    const int32_t lastInner = std::min<int32_t>(Y2 - 1, LastRow);
    SetTextAttr(static_cast<uint8_t>(Back * 16 + 15));
    PutAt(X1, Y1, Repeat('\xDC', across));
    SetTextAttr(0x7F);
    for (int32_t y = Y1 + 1; y <= lastInner; ++y) PutAt(X1, y, "\xDD");
    SetTextAttr(static_cast<uint8_t>(Back * 16 + 8));
    PutAt(X1, Y2, Repeat('\xDF', across));
    SetTextAttr(0x78);
    for (int32_t y = Y1 + 1; y <= lastInner; ++y) PutAt(X2, y, "\xDE");
    SetTextAttr(0x70);
    for (int32_t y = Y1 + 1; y <= lastInner; ++y) PutAt(X1 + 1, y, Repeat(' ', inner));
    SetTextAttr(0x1F);
    PutAt(X1, Y1 + 1, "\xDD");
    SetTextAttr(0x18);
    PutAt(X2, Y1 + 1, "\xDE");
    PutAt(X1 + 1, Y1 + 1, Repeat(' ', inner));
    SetTextAttr(7);
}

void DrawPanel2(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2, uint8_t /*Back*/) {
    const int32_t inner = X2 - X1 - 1;
    SetTextAttr(0x7F);
    PutAt(X1, Y1, Repeat('\xDF', X2 - X1));
    for (int32_t y = Y1; y <= std::min<int32_t>(Y2 - 1, LastRow); ++y) PutAt(X1, y, "\xDB");
    SetTextAttr(0x78);
    PutAt(X1, Y2, Repeat('\xDC', X2 - X1 + 1));
    for (int32_t y = Y1 + 1; y <= std::min<int32_t>(Y2, LastRow); ++y) PutAt(X2, y, "\xDB");
    SetTextAttr(0x70);
    for (int32_t y = Y1 + 1; y <= std::min<int32_t>(Y2 - 1, LastRow); ++y)
        PutAt(X1 + 1, y, Repeat(' ', inner));
    PutXY(X2, Y1, 0x78, "\xDC");
    PutXY(X1, Y2, 0x7F, "\xDF");
}

void DrawShadow(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2, uint8_t Attr) {
    for (int32_t y = Y1 + 3; y <= std::min<int32_t>(Y2, LastRow); ++y) {
        ShadeCell(X2 + 1, y, Attr);
        ShadeCell(X2 + 2, y, Attr);
    }
    for (int32_t x = X1 + 5; x <= std::min<int32_t>(X2, LastCol); ++x) ShadeCell(x, Y2 + 3, Attr);
}

void DrawPipeFrame(uint8_t X, uint8_t Y) {
    // The colours carry over from line to line and stay set afterwards, with
    // the cursor after the last line, as when the lines are written at the cursor.
    uint8_t attr = 0;
    int32_t col = 0;
    DrawPicture(X, Y, PipeFrameLines, PicCodes::Pipe, attr, col, true);
    SetTextAttr(attr);
    GotoClamped(X + col, Y + static_cast<int32_t>(PipeFrameLines.size()) - 1);
}

void DrawTitleFrame(uint8_t X, uint8_t Y) {
    // Starts in the current rendition; the text attribute is left as it was
    // and the cursor after the last line.
    uint8_t attr = GetTextAttr();
    int32_t col = 0;
    DrawPicture(X, Y, TitleFrameLines, PicCodes::Ansi, attr, col, true);
    GotoClamped(X + col, Y + static_cast<int32_t>(TitleFrameLines.size()) - 1);
}

void DrawArtBox(uint8_t X, uint8_t Y) {
    uint8_t attr = 7;
    int32_t col = 0;
    DrawPicture(X, Y, ArtBoxLines, PicCodes::Ansi, attr, col, false);
}

void DrawMenuBar(uint8_t X, const std::string& Title) {
    std::string t = CutStr(Title);
    while (t.size() < 12) t = ' ' + t + ' ';
    PutXY(1, 2, 0x78, MenuBarText);
    uint8_t attr = 7;
    int32_t col = 0;
    DrawPicture(X, 1, MenuLogoLines, PicCodes::Ansi, attr, col, false);
    PutXY(X + 2, 2, 0x7F, t);
}

// ---------------------------------------------------------------------------
// TMenuList

void DefListBoxSearch(TMenuList& Owner, const std::string& Text) {
    const char bottom = FrameCharsOf(Owner.Box->FrameType)[6];
    std::string line;
    if (!Text.empty()) {
        const std::string tail =
            Text.size() > SearchTextMax ? Text.substr(Text.size() - SearchTextMax) : Text;
        line = "[" + LowerCase(tail) + "]";
    }
    line += Repeat(bottom, SearchLineLen - static_cast<int32_t>(line.size()));
    // On a narrow list the line stops before the box's right edge.
    const int32_t x = Owner.SearchX, rightmost = Owner.X1 + Owner.Width;
    if (x >= Owner.X1 && x <= rightmost && x + static_cast<int32_t>(line.size()) - 1 > rightmost)
        line.resize(static_cast<std::size_t>(rightmost - x + 1));
    PutXY(x, Owner.SearchY, Owner.SearchAttr, line);
}

TMenuList::TMenuList()
    : List(static_cast<std::size_t>(MaxListItems) + 1), Box(std::make_unique<TMenuBox>()) {}

TMenuList::~TMenuList() {
    Clear();
}

void TMenuList::Add(const std::string& Text, uint8_t Tag) {
    if (ListMax >= MaxListItems) return;
    ++ListMax;
    List[static_cast<std::size_t>(ListMax)] =
        std::make_unique<TMenuListBoxRec>(TMenuListBoxRec{CutStr(Text), Tag});
    if (Tag == 1) ++Marked;
}

void TMenuList::Clear() {
    for (int32_t i = 1; i <= ListMax; ++i) List[static_cast<std::size_t>(i)].reset();
    ListMax = 0;
    Marked = 0;
}

void TMenuList::Delete(uint16_t Index) {
    if (Index < 1 || Index > ListMax) return;
    if (List[Index]->Tag == 1) --Marked;
    for (int32_t i = Index; i < ListMax; ++i)
        List[static_cast<std::size_t>(i)] = std::move(List[static_cast<std::size_t>(i) + 1]);
    List[static_cast<std::size_t>(ListMax)].reset();
    --ListMax;
}

void TMenuList::Get(uint16_t Index, std::string& Text, bool& Tagged) const {
    Text.clear();
    Tagged = false;
    if (Index < 1 || Index > ListMax) return;
    Text = List[Index]->Text;
    Tagged = List[Index]->Tag == 1;
}

void TMenuList::SetSearchProc(TMenuListSearchProc P) {
    SearchProc = P;
}

void TMenuList::SetStatusProc(TMenuListStatusProc P) {
    StatusProc = P;
}

std::string TMenuList::ItemText(int32_t Index) const {
    if (Index < 1 || Index > ListMax) return {};
    return List[static_cast<std::size_t>(Index)]->Text;
}

void TMenuList::DrawLine(uint8_t X, uint8_t Y, uint16_t Index, bool Selected) {
    const uint8_t attr = Selected ? HiAttr : LoAttr;
    const auto width = static_cast<uint8_t>(std::clamp<int32_t>(Width, 0, 255));
    const bool exists = Index >= 1 && Index <= ListMax;
    std::string text;
    if (exists) {
        text = CutStr(' ' + List[Index]->Text + ' ');
        if (Format == 0)
            text = PadRight(text, width, ' ');
        else if (Format == 1)
            text = PadLeft(text, width, ' ');
        else if (Format == 2)
            text = PadCenter(text, width, ' ');
        else if (text.size() > width)
            text.resize(width); // never past the row
    } else {
        text = Repeat(' ', width);
    }
    PutXY(X, Y, attr, text);
    if (AllowTag && width > 0) {
        const bool tagged = exists && List[Index]->Tag == 1;
        PutXY(TagPos, Y, TagAttr, std::string(1, tagged ? TagChar : ' '));
    }
}

// Row r of the window shows item TopPage + r.
void TMenuList::DrawItemRow(int32_t Index) {
    const int32_t r = Index - TopPage;
    const int32_t x = X1 + 1, y = Y1 + 1 + r;
    if (r < 0 || r >= WinSize || x > LastCol || y > LastRow) return;
    const bool valid = Index >= 1 && Index <= 65535;
    DrawLine(static_cast<uint8_t>(x), static_cast<uint8_t>(y),
             static_cast<uint16_t>(valid ? Index : 0), Index == Picked);
}

void TMenuList::UpdateBar() {
    if (!ShowScroll || ListMax <= 0 || WinSize <= 0) return;
    int32_t p = static_cast<int32_t>(static_cast<int64_t>(Picked) * WinSize / ListMax);
    if (Picked >= ListMax) p = WinSize - 1;
    if (Picked == 1) p = 0;
    p = std::clamp(p, 0, WinSize - 1);
    const int32_t row = Y1 + 1 + p, col = X1 + Width + 1;
    if (row == LastBarPos) return;
    if (LastBarPos > 0) PutXY(col, LastBarPos, Box->BoxAttr2, std::string(1, TrackChar));
    LastBarPos = static_cast<uint8_t>(std::min(row, 255));
    PutXY(col, row, Box->BoxAttr2, std::string(1, ThumbChar));
}

void TMenuList::Update() {
    for (int32_t r = 0; r < WinSize; ++r) DrawItemRow(TopPage + r);
    UpdateBar();
}

void TMenuList::Close() {
    if (!NoWindow) Box->Close();
}

// Redraws after the selection moved: everything when the window scrolled,
// else the two rows concerned.
void TMenuList::RedrawMove(int32_t OldPicked, int32_t OldTop) {
    if (TopPage != OldTop) {
        Update();
    } else if (Picked != OldPicked) {
        DrawItemRow(OldPicked);
        DrawItemRow(Picked);
        UpdateBar();
    }
}

void TMenuList::MoveDown() {
    if (Picked >= ListMax) return;
    const int32_t oldPicked = Picked, oldTop = TopPage;
    if (Picked >= TopPage + WinSize - 1) ++TopPage;
    ++Picked;
    RedrawMove(oldPicked, oldTop);
}

void TMenuList::DropSearch(std::string& Search) {
    if (Search.empty()) return;
    if (SearchProc) SearchProc(*this, "");
    Search.clear();
}

void TMenuList::DoSearch(const std::string& Search) {
    if (SearchProc) SearchProc(*this, Search);
    if (Search.empty() || ListMax <= 0) return;
    const std::string want = UpperCase(Search);
    const auto matches = [&](int32_t i) {
        return UpperCase(List[static_cast<std::size_t>(i)]->Text).find(want) != std::string::npos;
    };
    int32_t found = 0;
    if (Picked >= ListMax) {
        for (int32_t i = 1; i <= ListMax && !found; ++i)
            if (matches(i)) found = i;
    } else {
        for (int32_t i = Picked + 1; i <= ListMax && !found; ++i)
            if (matches(i)) found = i;
        for (int32_t i = 1; i < Picked && !found; ++i)
            if (matches(i)) found = i;
    }
    if (!found) return;
    const int32_t oldPicked = Picked, oldTop = TopPage;
    while (Picked != found) {
        Picked += found > Picked ? 1 : -1;
        if (Picked > TopPage + WinSize - 1) ++TopPage;
        if (Picked < TopPage) --TopPage;
    }
    RedrawMove(oldPicked, oldTop);
}

void TMenuList::Open(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2) {
    if (!NoWindow) Box->Open(X1, Y1, X2, Y2);
    if (SearchX == 0) SearchX = static_cast<uint8_t>(std::min(X1 + 2, 255));
    if (SearchY == 0) SearchY = Y2;
    if (SearchAttr == 0) SearchAttr = Box->BoxAttr4;
    this->X1 = X1;
    this->Y1 = Y1;
    if (Picked < TopPage || Picked < 1 || Picked > ListMax || TopPage < 1 || TopPage > ListMax)
        Picked = TopPage = 1;
    // A rectangle without an interior shows no rows; it never goes negative.
    Width = std::max(X2 - X1 - 1, 0);
    WinSize = std::max(Y2 - Y1 - 1, 0);
    TagPos = static_cast<uint8_t>(std::min(X1 + 1, 255));
    if (WinSize > 0 && TopPage + WinSize - 1 < Picked) TopPage = Picked - WinSize + 1;
    if (ShowScroll) {
        for (int32_t r = 0; r < WinSize; ++r)
            PutXY(X2, Y1 + 1 + r, Box->BoxAttr2, std::string(1, TrackChar));
        LastBarPos = 0;
    }
    if (NoInput) return;
    Update();
    RunKeys();
}

void TMenuList::RunKeys() {
    std::string search;
    bool searching = false; // the previous key was a search key
    for (;;) {
        if (!searching) DropSearch(search);
        searching = false;
        if (StatusProc) StatusProc(static_cast<uint16_t>(Picked), ItemText(Picked));

        const char key = ReadKey();
        if (key == Key::Extended) {
            const auto scan = static_cast<uint8_t>(ReadKey());
            if (HiChars.find(static_cast<char>(scan)) != std::string::npos) {
                DropSearch(search);
                ExitCode = static_cast<char>(scan);
                return;
            }
            MoveByKey(scan);
            continue;
        }

        if (AllowTag && key == TagKey && ListMax > 0 &&
            List[static_cast<std::size_t>(Picked)]->Tag != 2) {
            uint8_t& tag = List[static_cast<std::size_t>(Picked)]->Tag;
            if (tag == 1) {
                tag = 0;
                --Marked;
            } else {
                tag = 1;
                ++Marked;
            }
            MoveDown();
        } else if (LoChars.find(key) != std::string::npos) {
            DropSearch(search);
            ExitCode = key;
            return;
        } else if (key == Key::CtrlA) {
            DoSearch(search);
            searching = true;
        } else if (key == Key::Backspace) {
            if (!search.empty()) {
                search.pop_back();
                DoSearch(search);
                searching = true;
            }
        } else if (static_cast<uint8_t>(key) >= 32) {
            if (search.size() < MaxStrLen) search += UpperCase(std::string(1, key));
            DoSearch(search);
            searching = true;
        }
        // Ctrl-Y and the other control keys do nothing; the search text goes.
    }
}

void TMenuList::MoveByKey(uint8_t Code) {
    const int32_t oldPicked = Picked, oldTop = TopPage;
    switch (Code) {
    case Scan::Home:
        if (Picked > 1) {
            Picked = TopPage = 1;
            Update();
        }
        break;
    case Scan::Up:
        if (Picked > 1) {
            if (Picked <= TopPage) --TopPage;
            --Picked;
            RedrawMove(oldPicked, oldTop);
        }
        break;
    case Scan::PgUp:
    case Scan::Left:
        if (TopPage > 1 || Picked > 1) {
            Picked = Picked - WinSize > 1 ? Picked - WinSize : 1;
            TopPage = TopPage - WinSize >= 1 ? TopPage - WinSize : 1;
            Update();
        }
        break;
    case Scan::Right:
    case Scan::PgDn:
        if (ListMax > 0 && Picked != ListMax) {
            if (ListMax > WinSize) {
                Picked = Picked + WinSize > ListMax ? ListMax : Picked + WinSize;
                TopPage = TopPage + WinSize > ListMax ? ListMax - WinSize + 1 : TopPage + WinSize;
            } else {
                Picked = ListMax;
            }
            Update();
        }
        break;
    case Scan::End:
        if (Picked < ListMax) {
            if (ListMax > WinSize) TopPage = ListMax - WinSize + 1;
            Picked = ListMax;
            Update();
        }
        break;
    case Scan::Down: MoveDown(); break;
    default: break;
    }
}
