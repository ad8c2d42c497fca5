#include "ui/LightBar.h"
// The list keeps its items in a vector. Run keeps the window's first item in
// a local, places it from Start on entry and again whenever an owner callback
// left the highlight off the window, and redraws two rows for a move inside
// the window, the whole window otherwise. Nothing is drawn off the screen.

#include "support/StrUtil.h"
#include "terminal/Console.h"
#include "terminal/KeyCodes.h"

#include <algorithm>

namespace {

constexpr int32_t LastCol = 80;
constexpr int32_t LastLine = 25;
constexpr char UpMark = '\xF4';   // upper half of the integral sign
constexpr char DownMark = '\xF5'; // lower half
constexpr char Blank = ' ';

uint8_t ToByte(int32_t V) {
    return static_cast<uint8_t>(std::clamp<int32_t>(V, 0, 255));
}

bool OnScreen(int32_t X, int32_t Y) {
    return X >= 1 && X <= LastCol && Y >= 1 && Y <= LastLine;
}

// S at (X, Y) in A, cut at the screen's right edge; nothing off the screen.
void PutXY(int32_t X, int32_t Y, uint8_t A, const std::string& S) {
    if (!OnScreen(X, Y) || S.empty()) return;
    WriteXY(ToByte(X), ToByte(Y), A, S.substr(0, static_cast<size_t>(LastCol - X + 1)));
}

// One call of Run: the rectangle (kept on the screen), the window's first
// item and what the more marks last showed.
class TBarRun {
public:
    TBarRun(TBar& Bar, uint8_t X, uint8_t Y, uint8_t Width, uint8_t Height)
        : Bar(Bar), X(std::clamp<int32_t>(X, 1, LastCol)), Y(std::clamp<int32_t>(Y, 1, LastLine)),
          Width(std::min<int32_t>(Width, LastCol - this->X + 1)),
          Height(std::clamp<int32_t>(Height, 1, LastLine - this->Y + 1)) {}

    int32_t Run(int32_t Start);

private:
    TBar& Bar;
    int32_t X, Y, Width, Height;
    int32_t Top = 0;
    int32_t MoreState = 0;
    int32_t Result = -1;
    bool Done = false;

    // Items that count: Count, but never more than the array holds.
    int32_t Count() const {
        return static_cast<int32_t>(std::min<int64_t>(Bar.Count, Bar.Items.size()));
    }
    bool HasItem(int32_t I) const { return I >= 0 && static_cast<size_t>(I) < Bar.Items.size(); }
    void Place(int32_t Start);
    void PlaceAfterOwner();
    void DrawRow(int32_t I, const std::string& Color);
    void DrawItem() { DrawRow(Bar.Index, Bar.LoColor); }
    void DrawSelected();
    void DrawPage();
    void DrawMore();
    void DrawScroll();
    void OwnerKey(char K);
    void SearchNext();
    void ExtendedKey(uint8_t Code);
    void PlainKey(char K);
    void SearchKey(char K);
};

void TBarRun::Place(int32_t Start) {
    const int32_t n = Count();
    if (Start > n - 1 || Start < 0) {
        Top = 0;
        Bar.Index = 0;
    } else if (n - Height < Start) {
        Top = std::max(n - Height, 0);
        Bar.Index = Start;
    } else {
        Top = Start;
        Bar.Index = Start;
    }
}

// The owner may have refilled the list and moved Index: a highlight that is
// off the window or names no item places the window anew.
void TBarRun::PlaceAfterOwner() {
    const bool names = Bar.Index >= 0 && Bar.Index < Count();
    const bool shown = Bar.Index >= Top && Bar.Index <= Top + Height - 1;
    if (!names || !shown) Place(Bar.Index);
}

void TBarRun::DrawRow(int32_t I, const std::string& Color) {
    if (!HasItem(I) || I < Top || I > Top + Height - 1) return;
    const int32_t y = Y + I - Top;
    // Cut or filled to Width characters, codes counting: the row never draws
    // past its Width, but its codes take no column, so it may show fewer.
    const std::string row =
        Color + PadRight(Bar.Items[static_cast<size_t>(I)].Text, ToByte(Width), Blank);
    WriteXYPipe(ToByte(X), ToByte(y), 7, row);
    // The pipe writer leaves the shadow as it was; a box opened over the list
    // saves and puts back the shadow, so the row must be recorded there too.
    RecordXYPipe(ToByte(X), ToByte(y), 7, row);
    // The columns its codes freed are blanked in the colour the row ended in,
    // or the previous page would show through after a coloured row.
    const int32_t shown = std::min<int32_t>(PipedWidth(row), Width);
    if (shown < Width) {
        const uint8_t attr = shown > 0 ? ScreenAttrAt(ToByte(X + shown - 1), ToByte(y)) : 7;
        PutXY(X + shown, y, attr, std::string(static_cast<size_t>(Width - shown), Blank));
    }
}

void TBarRun::DrawSelected() {
    if (!HasItem(Bar.Index)) return;
    DrawRow(Bar.Index, Bar.HiColor);
    if (Bar.OnChange) Bar.OnChange(Bar.Index);
}

void TBarRun::DrawPage() {
    for (int32_t r = 0; r < Height; ++r) {
        if (Top + r <= Count() - 1) {
            DrawRow(Top + r, Bar.LoColor);
        } else {
            PutXY(X, Y + r, 7, std::string(static_cast<size_t>(Width), Blank));
        }
    }
    DrawSelected();
}

void TBarRun::DrawMore() {
    const bool up = Top > 0;
    const bool down = Top + Height < Count();
    const int32_t state = (up ? 1 : 0) + (down ? 2 : 0);
    if (state == MoreState) return;
    MoreState = state;
    if (!OnScreen(Bar.MoreX, Bar.MoreY)) return;
    const std::string marks = std::string{up ? UpMark : Blank, down ? DownMark : Blank} + " more";
    GotoXY(Bar.MoreX, Bar.MoreY);
    WritePipe(Bar.MoreColor + marks.substr(0, static_cast<size_t>(LastCol - Bar.MoreX + 1)));
}

void TBarRun::DrawScroll() {
    if (Bar.Items.empty() || Width < 1) return;
    const int32_t col = X + Width - 1;
    for (int32_t r = 0; r < Height; ++r) PutXY(col, Y + r, Bar.ScrollAttr, {Bar.ScrollChar});
    const auto n = static_cast<int64_t>(Bar.Items.size());
    // The first item wins over the last: a one-item list has its thumb on top.
    int64_t p = 0;
    if (Bar.Index == 0) {
        p = 0;
    } else if (Bar.Index == n - 1) {
        p = Height - 1;
    } else {
        p = static_cast<int64_t>(Bar.Index) * Height / n;
    }
    p = std::clamp<int64_t>(p, 0, Height - 1);
    PutXY(col, Y + static_cast<int32_t>(p), Bar.BarAttr, {Bar.BarChar});
}

// A key handed to the owner, then the list as the owner left it.
void TBarRun::OwnerKey(char K) {
    if (!Bar.OnKey) return;
    Bar.OnKey(K, Bar.Index);
    PlaceAfterOwner();
    DrawPage();
}

void TBarRun::SearchNext() {
    if (Bar.Items.empty() || Bar.SearchStr.empty()) return;
    for (int32_t i = std::max(Bar.SearchPos, 0); i < Count(); ++i) {
        if (UpperCase(Bar.Items[static_cast<size_t>(i)].Text).find(Bar.SearchStr) ==
            std::string::npos)
            continue;
        Top = i;
        Bar.Index = i;
        Bar.SearchPos = i;
        DrawPage();
        return;
    }
}

void TBarRun::ExtendedKey(uint8_t Code) {
    const int32_t n = Count();
    int32_t& index = Bar.Index;
    switch (Code) {
    case Scan::Home:
        Bar.SearchPos = 0;
        Top = 0;
        index = 0;
        DrawPage();
        break;
    case Scan::End:
        Bar.SearchPos = 0;
        if (n > Height) Top = n - Height;
        if (n > 0) index = n - 1;
        DrawPage();
        break;
    case Scan::Up:
        Bar.SearchPos = 0;
        if (index > Top) {
            DrawItem();
            --index;
            DrawSelected();
        } else if (Top > 0) {
            --Top;
            --index;
            DrawPage();
        }
        break;
    case Scan::Down:
        Bar.SearchPos = 0;
        if (index < n - 1) {
            if (index < Top + Height - 1) {
                DrawItem();
                ++index;
                DrawSelected();
            } else {
                ++Top;
                ++index;
                DrawPage();
            }
        }
        break;
    case Scan::PgUp:
        if (Bar.CommandMode) {
            OwnerKey('[');
            break;
        }
        Bar.SearchPos = 0;
        if (Top - Height >= 0) {
            Top -= Height;
            index -= Height;
        } else {
            Top = 0;
            index = 0;
        }
        DrawPage();
        break;
    case Scan::PgDn:
        if (Bar.CommandMode) {
            OwnerKey(']');
            break;
        }
        Bar.SearchPos = 0;
        if (n > Height) {
            if (n - 1 > Top + Height) {
                Top += Height;
                index = Top;
            } else {
                Top = n - Height;
                index = n - 1;
            }
            DrawPage();
        }
        break;
    case Scan::Left:
    case Scan::Right:
        Bar.SearchPos = 0;
        Result = Code == Scan::Left ? brLeft : brRight;
        Done = true;
        break;
    default: break;
    }
}

void TBarRun::PlainKey(char K) {
    if (K == Key::Esc) {
        Result = brEscape;
        Done = true;
    } else if (K == Key::Enter && Bar.Count >= 0) {
        Result = Bar.Index;
        if (Bar.OnSelect) Bar.OnSelect(Bar.Index);
        Done = true;
    }
    if (!Bar.CommandMode) {
        SearchKey(K);
        return;
    }
    switch (K) {
    case '+': Result = brPlus; break;
    case '-': Result = brMinus; break;
    case '*': Result = brStar; break;
    case '/': Result = brSlash; break;
    case Key::Backspace: Result = brBackspace; break;
    default: OwnerKey(K); return;
    }
    Done = true;
}

// Outside command mode typed text searches the items.
void TBarRun::SearchKey(char K) {
    const auto u = static_cast<uint8_t>(K);
    if (K == Key::CtrlA) { // search again
        Bar.SearchPos = int64_t{Bar.SearchPos} + 1 < Count() ? Bar.SearchPos + 1 : 0;
        SearchNext();
    } else if (u >= 32 && u <= 128) {
        if (Bar.SearchStr.size() < MaxStrLen) Bar.SearchStr += UpperCase(std::string(1, K));
        Bar.SearchPos = 0;
        SearchNext();
    } else if (K == Key::Backspace) {
        if (!Bar.SearchStr.empty()) Bar.SearchStr.pop_back();
        if (Bar.SearchX != 0)
            PutXY(Bar.SearchX, Bar.SearchY, Bar.SearchAttr, Bar.SearchStr + Blank);
        Bar.SearchPos = 0;
        SearchNext();
    } else if (K == Key::CtrlY) {
        if (Bar.SearchX != 0 && OnScreen(Bar.SearchX, Bar.SearchY)) {
            GotoXY(Bar.SearchX, Bar.SearchY);
            const size_t room = static_cast<size_t>(LastCol - Bar.SearchX + 1);
            WriteText(std::string(std::min(Bar.SearchStr.size(), room), Blank));
        }
        Bar.SearchStr.clear();
        Bar.SearchPos = 0;
    }
}

int32_t TBarRun::Run(int32_t Start) {
    Place(Start);
    Result = -1;
    MoreState = 0;
    DrawPage();
    while (!Done) {
        if (Bar.ShowMore) DrawMore();
        if (Bar.SearchX != 0) PutXY(Bar.SearchX, Bar.SearchY, Bar.SearchAttr, Bar.SearchStr);
        if (Bar.ShowScroll) DrawScroll();
        const char k = ReadKey();
        if (k == Key::Extended) {
            ExtendedKey(static_cast<uint8_t>(ReadKey()));
        } else {
            PlainKey(k);
        }
    }
    return Result;
}

} // namespace

TBar::~TBar() = default;

void TBar::Add(const std::string& Text) {
    Items.push_back(TBItem{CutStr(Text), std::string()});
    Count = static_cast<int32_t>(Items.size());
}

void TBar::Clear() {
    Items.clear();
    Count = -1;
    Index = 0;
}

int32_t TBar::Run(uint8_t X, uint8_t Y, uint8_t Width, uint8_t Height, int32_t Start) {
    TBarRun r(*this, X, Y, Width, Height);
    return r.Run(Start);
}

void TBar::Sort() {
    const auto n = static_cast<size_t>(std::clamp<int64_t>(Count, 0, Items.size()));
    if (n < 2) return;
    // Every pass runs in full; std::string compares bytes as unsigned.
    for (size_t pass = 0; pass < n; ++pass)
        for (size_t i = 0; i + 1 < n; ++i)
            if (Items[i].Text > Items[i + 1].Text) std::swap(Items[i], Items[i + 1]);
}
