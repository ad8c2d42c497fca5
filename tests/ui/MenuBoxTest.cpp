// Framed boxes, panels, shadows and fixed pictures on a real pseudo-terminal.
// Each test checks the shadow screen cell by cell and replays the bytes that
// reached the pty on a small terminal model, so the terminal is seen to show
// exactly what the shadow holds.
#include "tests/common/PtyFixture.h"
#include "ui/MenuBox.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

bool IsFinal(char C) {
    return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z');
}

// What a terminal shows after the bytes the writer sends: cursor moves, SGR,
// clearing and printable bytes, with the wrap pending at column 80.
class TermModel {
public:
    TermModel() { Clear(); }

    void Feed(const std::string& Bytes) {
        for (std::size_t i = 0; i < Bytes.size(); ++i) {
            const char c = Bytes[i];
            if (c == '\x1b') {
                i = Escape(Bytes, i);
            } else if (c == '\r') {
                X = 1;
                Pending = false;
            } else if (c == '\n') {
                Y = std::min(Y + 1, 25);
                Pending = false;
            } else {
                if (Pending) {
                    X = 1;
                    Y = std::min(Y + 1, 25);
                    Pending = false;
                }
                Cells[Y][X] = TCharInfo{Attr, c};
                if (X < 80)
                    ++X;
                else
                    Pending = true;
            }
        }
    }

    TConsoleScreenRec Cells;
    int X = 1, Y = 1;
    uint8_t Attr = 7;

private:
    bool Pending = false;

    void Clear() {
        for (int y = 1; y <= 25; ++y)
            for (int x = 1; x <= 80; ++x) Cells[y][x] = TCharInfo{Attr, ' '};
    }

    std::size_t Escape(const std::string& B, std::size_t i) {
        if (i + 1 < B.size() && B[i + 1] == '(') return i + 2; // character set
        std::size_t end = i + 2;
        while (end < B.size() && !IsFinal(B[end])) ++end;
        const std::string p = B.substr(i + 2, end - i - 2);
        std::vector<int> n;
        for (std::size_t s = 0;;) {
            const std::size_t semi = p.find(';', s);
            n.push_back(std::atoi(p.substr(s, semi - s).c_str()));
            if (semi == std::string::npos) break;
            s = semi + 1;
        }
        switch (B[end]) {
        case 'H':
            Y = std::clamp(n[0], 1, 25);
            X = std::clamp(n.size() > 1 ? n[1] : 1, 1, 80);
            Pending = false;
            break;
        case 'J': Clear(); break;
        case 'm':
            for (int v : n) {
                if (v == 0)
                    Attr = 7;
                else if (v == 1)
                    Attr |= 0x08;
                else if (v == 5)
                    Attr |= 0x80;
                else if (v >= 30 && v <= 37)
                    Attr = (Attr & 0xF8) | AnsiColors[v - 30];
                else if (v >= 40 && v <= 47)
                    Attr = (Attr & 0x8F) | (AnsiColors[v - 40] << 4);
            }
            break;
        default: break;
        }
        return end;
    }
};

class MenuBoxTest : public ConsolePtyFixture {
protected:
    TermModel Term;

    // The terminal has received everything so far and shows the shadow's 25 lines.
    // The pty holds a few tens of KB: tests that draw much read as they go.
    // Queued bytes (an attribute change) count as sent.
    void Drain() {
        FlushScreen();
        Term.Feed(ReadOutput());
    }

    void ExpectTerminalShowsShadow() {
        Drain();
        for (int y = 1; y <= 25; ++y) EXPECT_EQ(Term.Cells[y], Screen->Shadow[y]) << "line " << y;
        EXPECT_EQ(Term.X, WhereX());
        EXPECT_EQ(Term.Y, WhereY());
        EXPECT_EQ(Term.Attr, GetTextAttr());
    }

    // Lines 1-25 filled with a pattern of characters (high bytes included) and
    // attributes, then the cursor and attribute set to something unusual.
    void FillScreen() {
        for (int y = 1; y <= 25; ++y) {
            std::string row;
            for (int x = 1; x <= 80; ++x)
                row += static_cast<char>(x % 3 ? 'A' + (x + y) % 26 : 0xB0 + y);
            WriteXY(1, static_cast<uint8_t>(y), static_cast<uint8_t>(0x10 * (y % 8) + y % 16), row);
        }
        GotoXY(7, 3);
        SetTextAttr(0x1E);
        FlushScreen();
    }

    TCharInfo At(int X, int Y) const { return Screen->Shadow[Y][X]; }

    // Every cell of line Y from column X1 to X2 holds character Ch in attribute A.
    void ExpectRun(int X1, int X2, int Y, char Ch, uint8_t A) {
        for (int x = X1; x <= X2; ++x)
            EXPECT_EQ(At(x, Y), (TCharInfo{A, Ch})) << "column " << x << ", line " << Y;
    }

    std::string Text(int X, int Y, int N) const {
        std::string s;
        for (int x = X; x < X + N; ++x) s += At(x, Y).Ch;
        return s;
    }
};

struct ScreenState {
    TConsoleScreenRec Cells;
    uint8_t X, Y, Attr;
    bool operator==(const ScreenState&) const = default;
};

ScreenState Snapshot() {
    ScreenState s{Screen->Shadow, WhereX(), WhereY(), GetTextAttr()};
    for (int y = 26; y <= 50; ++y) s.Cells[y] = TConsoleLineRec{};
    return s;
}

TEST_F(MenuBoxTest, OpenAndCloseLeaveScreenCursorAndAttributeAsBefore) {
    FillScreen();
    ExpectTerminalShowsShadow();
    const ScreenState before = Snapshot();

    TMenuBox box;
    box.Header = " Info ";
    box.Open(10, 5, 30, 10);
    EXPECT_EQ(WhereX(), 7); // opening leaves the cursor and attribute alone
    EXPECT_EQ(WhereY(), 3);
    EXPECT_EQ(GetTextAttr(), 0x1E);
    ExpectTerminalShowsShadow();
    EXPECT_FALSE(Snapshot() == before);

    box.Close();
    EXPECT_TRUE(Snapshot() == before);
    ExpectTerminalShowsShadow();
}

TEST_F(MenuBoxTest, EveryCloseBringsBackTheFirstScreenAndFreeingABoxTouchesNothing) {
    FillScreen();
    const ScreenState before = Snapshot();
    ScreenState boxed;
    {
        TMenuBox box;
        box.Open(10, 5, 30, 10);
        box.Open(20, 8, 40, 12); // draws again without saving
        box.Close();
        EXPECT_TRUE(Snapshot() == before);
        Drain();
        WriteXY(1, 1, 0x4E, "changed");
        box.Close(); // still the screen of the first opening
        EXPECT_TRUE(Snapshot() == before);
        box.Open(10, 5, 30, 10);
        boxed = Snapshot();
    } // freed while open: the box stays drawn, as its owner left it
    EXPECT_TRUE(Snapshot() == boxed);
    EXPECT_FALSE(Snapshot() == before);
    ExpectTerminalShowsShadow();

    // A box never opened has nothing to put back: Hide, Show and Close
    // leave the screen, the cursor and the attribute alone.
    WriteXY(1, 1, 0x4E, "kept");
    const ScreenState kept = Snapshot();
    {
        TMenuBox never;
        never.Show();
        never.Hide();
        never.Show();
        never.Close();
    }
    EXPECT_TRUE(Snapshot() == kept);
    ExpectTerminalShowsShadow();
}

TEST_F(MenuBoxTest, AForgottenBoxStaysDrawnAndTheNextOpenSavesAfresh) {
    FillScreen();
    const ScreenState before = Snapshot();
    ScreenState boxed;
    {
        TMenuBox box;
        box.Open(10, 5, 30, 10);
        box.Hide();
        box.Show();
        boxed = Snapshot();
        box.Forget();
        box.Close();
        box.Show();
        EXPECT_TRUE(Snapshot() == boxed);
        box.Open(20, 8, 40, 12);
        box.Close(); // back to the screen of this opening
        EXPECT_TRUE(Snapshot() == boxed);
        box.Open(20, 8, 40, 12);
        box.Forget();
        boxed = Snapshot();
    } // destroyed after forgetting: the box stays
    EXPECT_TRUE(Snapshot() == boxed);
    EXPECT_FALSE(Snapshot() == before);
    ExpectTerminalShowsShadow();
}

TEST_F(MenuBoxTest, HideBringsBackTheScreenBeforeTheBoxAndShowTheBox) {
    FillScreen();
    const ScreenState before = Snapshot();
    TMenuBox box;
    box.Open(10, 5, 30, 10);
    const ScreenState withBox = Snapshot();
    box.Hide();
    EXPECT_TRUE(Snapshot() == before);
    box.Show();
    EXPECT_TRUE(Snapshot() == withBox);
    ExpectTerminalShowsShadow();
    box.Close();
}

TEST_F(MenuBoxTest, EachFrameStyleDrawsItsCornersAndEdges) {
    struct Case {
        uint8_t Style;
        const char* Chars; // TL T TR L R BL B BR
    };
    const Case cases[] = {
        {1, "\xDA\xC4\xBF\xB3\xB3\xC0\xC4\xD9"},
        {2, "\xC9\xCD\xBB\xBA\xBA\xC8\xCD\xBC"},
        {3, "\xD6\xC4\xB7\xBA\xBA\xD3\xC4\xBD"},
        {4, "\xD5\xCD\xB8\xB3\xB3\xD4\xCD\xBE"},
        {5, "\xDB\xDF\xDB\xDB\xDB\xDB\xDC\xDB"},
        {6, "\xDB\xDF\xDC\xDB\xDB\xDF\xDC\xDB"},
        {7, "        "},
        {8, ".-.||`-'"},
        // outside the table: the default style, never an index past it
        {0, "\xDB\xDF\xDC\xDB\xDB\xDF\xDC\xDB"},
        {9, "\xDB\xDF\xDC\xDB\xDB\xDF\xDC\xDB"},
        {255, "\xDB\xDF\xDC\xDB\xDB\xDF\xDC\xDB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("style " + std::to_string(c.Style));
        TMenuBox box;
        box.FrameType = c.Style;
        box.Shadow = false;
        box.Open(10, 5, 30, 10);
        const std::string f = c.Chars;
        ExpectRun(10, 10, 5, f[0], 0x7F);
        ExpectRun(11, 29, 5, f[1], 0x7F);
        ExpectRun(30, 30, 5, f[2], 0x78);
        for (int y = 6; y <= 9; ++y) {
            ExpectRun(10, 10, y, f[3], 0x7F);
            ExpectRun(11, 29, y, ' ', 0x7F);
            ExpectRun(30, 30, y, f[4], 0x78);
        }
        ExpectRun(10, 10, 10, f[5], 0x7F);
        ExpectRun(11, 29, 10, f[6], 0x78);
        ExpectRun(30, 30, 10, f[7], 0x78);
        box.Close();
        Drain();
    }
}

TEST_F(MenuBoxTest, DropShadowRecoloursTheCellsBelowAndRightKeepingTheirCharacters) {
    FillScreen();
    const ScreenState before = Snapshot();
    TMenuBox box;
    box.Open(10, 5, 30, 10);
    for (int y = 1; y <= 25; ++y)
        for (int x = 1; x <= 80; ++x) {
            const bool inBox = x >= 10 && x <= 30 && y >= 5 && y <= 10;
            const bool inShadow =
                (x >= 31 && x <= 32 && y >= 6 && y <= 11) || (y == 11 && x >= 12 && x <= 32);
            if (inBox) continue;
            const TCharInfo was = before.Cells[y][x];
            EXPECT_EQ(At(x, y), (TCharInfo{inShadow ? uint8_t{0} : was.Attr, was.Ch}))
                << "column " << x << ", line " << y;
        }
    ExpectTerminalShowsShadow();
}

TEST_F(MenuBoxTest, HeaderSitsCentredLeftOrRightAndIsCutToTheTopEdge) {
    struct Case {
        uint8_t HeadType;
        std::string Header;
        int From;          // first header column, 0 for none
        std::string Shown; // what of it is on the top edge
    };
    const Case cases[] = {
        {0, " Info ", 17, " Info "},
        {1, " Info ", 11, " Info "},
        {2, " Info ", 24, " Info "},
        {3, " Info ", 0, ""},
        {0, std::string(30, 'H'), 11, std::string(19, 'H')},
        {2, std::string(30, 'H'), 11, std::string(19, 'H')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Header + " type " + std::to_string(c.HeadType));
        TMenuBox box;
        box.HeadType = c.HeadType;
        box.Header = c.Header;
        box.Open(10, 5, 30, 10);
        EXPECT_EQ(At(10, 5), (TCharInfo{0x7F, '\xDB'}));
        EXPECT_EQ(At(30, 5), (TCharInfo{0x78, '\xDC'}));
        const int n = static_cast<int>(c.Shown.size());
        for (int x = 11; x <= 29; ++x) {
            const bool inHead = c.From && x >= c.From && x < c.From + n;
            EXPECT_EQ(At(x, 5),
                      inHead ? (TCharInfo{0x1F, c.Shown[x - c.From]}) : (TCharInfo{0x7F, '\xDF'}))
                << "column " << x;
        }
        box.Close();
        Drain();
    }
}

// Each part of the frame in its own attribute, all six different, so that a
// part drawn in a neighbour's attribute shows.
TEST_F(MenuBoxTest, EachPartOfTheBoxTakesItsOwnAttribute) {
    FillScreen();
    const ScreenState before = Snapshot();
    TMenuBox box;
    box.BoxAttr = 0x1F;
    box.BoxAttr2 = 0x2E;
    box.BoxAttr3 = 0x3D;
    box.BoxAttr4 = 0x4C;
    box.HeadAttr = 0x5B;
    box.ShadowAttr = 0x6A;
    box.Header = " Info ";
    box.Open(10, 5, 30, 10);
    struct Part {
        const char* Name;
        int X1, X2, Y1, Y2;
        uint8_t Attr;
    };
    const Part parts[] = {
        {"top-left corner", 10, 10, 5, 5, 0x1F},
        {"top edge", 11, 16, 5, 5, 0x1F},
        {"header", 17, 22, 5, 5, 0x5B},
        {"top edge after the header", 23, 29, 5, 5, 0x1F},
        {"top-right corner", 30, 30, 5, 5, 0x4C},
        {"left edge and interior", 10, 29, 6, 9, 0x1F},
        {"right edge", 30, 30, 6, 9, 0x2E},
        {"bottom-left corner", 10, 10, 10, 10, 0x3D},
        {"bottom edge and bottom-right corner", 11, 30, 10, 10, 0x2E},
        {"shadow right", 31, 32, 6, 11, 0x6A},
        {"shadow below", 12, 30, 11, 11, 0x6A},
    };
    for (const Part& p : parts) {
        SCOPED_TRACE(p.Name);
        for (int y = p.Y1; y <= p.Y2; ++y)
            for (int x = p.X1; x <= p.X2; ++x)
                EXPECT_EQ(At(x, y).Attr, p.Attr) << "column " << x << ", line " << y;
    }
    EXPECT_EQ(At(10, 10).Ch, '\xDF');
    EXPECT_EQ(At(30, 5).Ch, '\xDC');
    EXPECT_EQ(At(31, 6).Ch, before.Cells[6][31].Ch); // the shadow keeps the characters
    ExpectTerminalShowsShadow();
    box.Close();
}

TEST_F(MenuBoxTest, FlatBoxTakesOneAttributeForEveryFrameCell) {
    TMenuBox box;
    box.Box3D = false;
    box.BoxAttr = 0x1F;
    box.Shadow = false;
    box.Open(10, 5, 30, 10);
    for (int y = 5; y <= 10; ++y)
        for (int x = 10; x <= 30; ++x) EXPECT_EQ(At(x, y).Attr, 0x1F);
    EXPECT_EQ(box.BoxAttr2, 0x1F);
    EXPECT_EQ(box.BoxAttr3, 0x1F);
    EXPECT_EQ(box.BoxAttr4, 0x1F);
    box.Close();
}

TEST_F(MenuBoxTest, BoxesAndShadowsAtTheScreenEdgeAreCutNeverWrapped) {
    FillScreen();
    const ScreenState before = Snapshot();
    struct Case {
        uint8_t X1, Y1, X2, Y2;
    };
    const Case cases[] = {{60, 20, 80, 25}, {70, 22, 95, 30}, {79, 24, 200, 255}, {40, 10, 40, 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.X1) + "," + std::to_string(c.Y1));
        TMenuBox box;
        box.Header = std::string(100, 'H');
        box.Open(c.X1, c.Y1, c.X2, c.Y2);
        // Nothing changed left of the box or above it.
        for (int y = 1; y <= 25; ++y)
            for (int x = 1; x <= 80; ++x)
                if (y < c.Y1 || x < c.X1) {
                    EXPECT_EQ(At(x, y), before.Cells[y][x]) << "column " << x << ", line " << y;
                }
        EXPECT_EQ(WhereX(), 7);
        EXPECT_EQ(WhereY(), 3);
        ExpectTerminalShowsShadow();
        box.Close();
        EXPECT_TRUE(Snapshot() == before);
        Drain();
    }
    // Degenerate rectangle: nothing drawn, and closing still restores.
    TMenuBox flat;
    flat.Open(40, 10, 40, 10);
    EXPECT_TRUE(Snapshot() == before);
    flat.Close();
}

TEST_F(MenuBoxTest, PanelCellByCell) {
    GotoXY(1, 1);
    SetTextAttr(0x4E);
    DrawPanel(20, 9, 60, 17, 0);
    ExpectRun(20, 60, 9, '\xDC', 0x0F);
    ExpectRun(20, 20, 10, '\xDD', 0x1F);
    ExpectRun(21, 59, 10, ' ', 0x18);
    ExpectRun(60, 60, 10, '\xDE', 0x18);
    for (int y = 11; y <= 16; ++y) {
        ExpectRun(20, 20, y, '\xDD', 0x7F);
        ExpectRun(21, 59, y, ' ', 0x70);
        ExpectRun(60, 60, y, '\xDE', 0x78);
    }
    ExpectRun(20, 60, 17, '\xDF', 0x08);
    ExpectRun(19, 19, 12, ' ', 0x07); // beside it: untouched
    ExpectRun(61, 61, 12, ' ', 0x07);
    EXPECT_EQ(GetTextAttr(), 7);
    EXPECT_EQ(WhereX(), 60); // after the last blank of the title bar
    EXPECT_EQ(WhereY(), 10);
    ExpectTerminalShowsShadow();

    DrawPanel(20, 9, 60, 17, 1); // the top and bottom bars take the background
    ExpectRun(20, 60, 9, '\xDC', 0x1F);
    ExpectRun(20, 60, 17, '\xDF', 0x18);
}

TEST_F(MenuBoxTest, SecondPanelAndShadowProcedure) {
    FillScreen();
    const ScreenState before = Snapshot();
    DrawPanel2(10, 5, 20, 9, 3);
    ExpectRun(10, 10, 5, '\xDB', 0x7F);
    ExpectRun(11, 19, 5, '\xDF', 0x7F);
    ExpectRun(20, 20, 5, '\xDC', 0x78);
    ExpectRun(10, 10, 7, '\xDB', 0x7F);
    ExpectRun(11, 19, 7, ' ', 0x70);
    ExpectRun(20, 20, 7, '\xDB', 0x78);
    ExpectRun(10, 10, 9, '\xDF', 0x7F);
    ExpectRun(11, 19, 9, '\xDC', 0x78);
    ExpectRun(20, 20, 9, '\xDB', 0x78);
    EXPECT_EQ(GetTextAttr(), 0x70);
    ExpectTerminalShowsShadow();

    DrawShadow(40, 5, 60, 12, 0x08);
    for (int y = 1; y <= 25; ++y)
        for (int x = 30; x <= 80; ++x) {
            const bool shaded =
                (x >= 61 && x <= 62 && y >= 8 && y <= 12) || (y == 15 && x >= 45 && x <= 60);
            const TCharInfo was = before.Cells[y][x];
            EXPECT_EQ(At(x, y), (TCharInfo{shaded ? uint8_t{0x08} : was.Attr, was.Ch}))
                << "column " << x << ", line " << y;
        }
    DrawShadow(70, 20, 80, 24, 0x08); // cut at the screen's edges
    ExpectTerminalShowsShadow();
}

// The pictures' listings: "{n}" is byte n, "{nxk}" k copies of it, "ESC" the
// escape byte; every other character stands for itself.
std::string Expand(const std::string& L) {
    std::string out;
    for (std::size_t i = 0; i < L.size();) {
        if (L.compare(i, 3, "ESC") == 0) {
            out += '\x1b';
            i += 3;
        } else if (L[i] == '{') {
            const std::size_t close = L.find('}', i), x = L.find('x', i);
            const int n = std::atoi(L.c_str() + i + 1);
            const int k = x < close ? std::atoi(L.c_str() + x + 1) : 1;
            out += std::string(static_cast<std::size_t>(k), static_cast<char>(n));
            i = close + 1;
        } else {
            out += L[i++];
        }
    }
    return out;
}

const std::vector<std::string> PipeFrameListing = {
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

const std::vector<std::string> TitleFrameListing = {
    "ESC[1;37m{220}{219}{223x2}ESC[0;37;40m{223}ESC[1m{223}ESC[0;37;40m{223}{178}{223x4}"
    "ESC[1;30m{223}ESC[0;37;40m{223}ESC[1;30m{223x23}ESC[0;37;40m{223}ESC[1;30m{223x4}{32}"
    "{223x3}{177x2}{223x5}{219}{220}ESC[0m",
    "{178}ESC[1C{220}{219x13}ESC[30;47m{32x4}Search{32}TitleESC[37;40m{219x20}{220}ESC[1C"
    "ESC[1;30m{219}ESC[0m",
    "ESC[1;30m{219}ESC[1CESC[0;30;47m{32x50}ESC[37;40m{219}ESC[1CESC[1;47m{223}ESC[0m",
    "ESC[1;30m{219}ESC[1CESC[0;37;40m{223}{219x49}{223}ESC[1CESC[1m{219}ESC[0m",
    "ESC[1;30m{223}{219}{220x4}{32}{220}{178x2}{220x28}ESC[0;37;40m{220}ESC[1;30m{220x2}"
    "ESC[0;37;40m{220}ESC[1;30m{220}ESC[0;37;40m{220}ESC[30;47m{176x2}ESC[37;40m{220x2}"
    "ESC[1m{220x2}ESC[0;37;40m{220}ESC[1m{220x2}ESC[0;30;47m{176}ESC[1;37;40m{223}ESC[0m",
};

const std::vector<std::string> ArtBoxListing = {
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

const std::vector<std::string> MenuLogoListing = {
    "ESC[37m{220}ESC[1;47m{176}{220}{219x2}{220x2}{219}{220}ESC[0;37;40m{178}ESC[1m{220}"
    "ESC[47m{220x2}ESC[0;37;40m{219}{220}",
    "{178}ESC[1;47m{32x13}ESC[0;37;40m{177}",
    "{223}{219}ESC[1;30;47m{223x2}ESC[0;37;40m{178}ESC[1;30;47m{223x3}ESC[40m{223}ESC[47m"
    "{223x4}ESC[37m{178}ESC[40m{223}ESC[0m",
};

// What a terminal shows when the listings' lines are sent to it as text: pipe
// codes 00-23 set the colours as the pipe writer does, SGR and "ESC[nC" act
// as on a terminal.
struct Painter {
    TConsoleScreenRec Cells;
    int X, Y;
    uint8_t Attr;

    void Put(char C) { Cells[Y][X++] = TCharInfo{Attr, C}; }
    void Text(int AtX, int AtY, uint8_t A, const std::string& S) {
        X = AtX, Y = AtY, Attr = A;
        for (char c : S) Put(c);
    }
    void Pipe(const std::string& S) {
        for (std::size_t i = 0; i < S.size(); ++i) {
            const int n =
                i + 2 < S.size() && S[i] == '|' ? std::atoi(S.substr(i + 1, 2).c_str()) : -1;
            if (n < 0 || n > 23) {
                Put(S[i]);
            } else {
                Attr = n < 16 ? static_cast<uint8_t>(n + 16 * ((Attr >> 4) & 7))
                              : static_cast<uint8_t>(16 * (n - 16) + (Attr & 15));
                i += 2;
            }
        }
    }
    void Ansi(const std::string& S) {
        static const uint8_t pc[8] = {0, 4, 2, 6, 1, 5, 3, 7};
        for (std::size_t i = 0; i < S.size(); ++i) {
            if (S[i] != '\x1b') {
                Put(S[i]);
                continue;
            }
            std::size_t end = i + 2;
            while (!IsFinal(S[end])) ++end;
            std::vector<int> ps;
            for (std::size_t p = i + 2; p <= end; p = S.find(';', p) + 1) {
                ps.push_back(std::atoi(S.c_str() + p));
                if (S.find(';', p) > end) break;
            }
            for (int v : ps) {
                if (S[end] == 'C') X += std::max(v, 1);
                if (S[end] != 'm') continue;
                if (v == 0) Attr = 7;
                if (v == 1) Attr |= 0x08;
                if (v >= 30 && v <= 37) Attr = (Attr & 0xF8) | pc[v - 30];
                if (v >= 40 && v <= 47)
                    Attr = static_cast<uint8_t>((Attr & 0x8F) | pc[v - 40] << 4);
            }
            i = end;
        }
    }
};

// Each picture against its listing, every cell of the screen: the pictures
// are drawn as cells, and must show what the listing's bytes would show.
TEST_F(MenuBoxTest, FixedPicturesMatchTheirListingsCellByCell) {
    struct Case {
        const char* Name;
        std::function<void()> Draw;
        std::function<void(Painter&)> Expect; // from the screen before, cursor and attribute
    };
    const Case cases[] = {
        {"pipe frame", [] { DrawPipeFrame(3, 2); },
         [](Painter& p) {
             p.Attr = 0; // the colours carry over from line to line, and stay
             for (int i = 0; i < 14; ++i) {
                 p.X = 3, p.Y = 2 + i;
                 p.Pipe(Expand(PipeFrameListing[static_cast<std::size_t>(i)]));
             }
         }},
        {"title frame", [] { DrawTitleFrame(5, 17); },
         [](Painter& p) {
             const uint8_t kept = p.Attr; // the rendition in use; the attribute is kept
             for (int i = 0; i < 5; ++i) {
                 p.X = 5, p.Y = 17 + i;
                 p.Ansi(Expand(TitleFrameListing[static_cast<std::size_t>(i)]));
             }
             p.Attr = kept;
         }},
        {"art box", [] { DrawArtBox(40, 1); },
         [](Painter& p) {
             const Painter before = p;
             for (int i = 0; i < 9; ++i) {
                 p.X = 40, p.Y = 1 + i, p.Attr = 7;
                 p.Ansi(Expand(ArtBoxListing[static_cast<std::size_t>(i)]));
             }
             p.X = before.X, p.Y = before.Y, p.Attr = before.Attr;
         }},
        {"menu bar", [] { DrawMenuBar(30, "Mail"); },
         [](Painter& p) {
             const Painter before = p;
             p.Text(1, 2, 0x78,
                    "    File       Tools      Other                                      Help ");
             for (int i = 0; i < 3; ++i) {
                 p.X = 30, p.Y = 1 + i, p.Attr = 7;
                 p.Ansi(Expand(MenuLogoListing[static_cast<std::size_t>(i)]));
             }
             p.Text(32, 2, 0x7F, "    Mail    ");
             p.X = before.X, p.Y = before.Y, p.Attr = before.Attr;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        FillScreen();
        Drain();
        Painter want{Screen->Shadow, WhereX(), WhereY(), GetTextAttr()};
        c.Expect(want);
        c.Draw();
        for (int y = 1; y <= 25; ++y)
            for (int x = 1; x <= 80; ++x)
                if (!(At(x, y) == want.Cells[y][x]))
                    ADD_FAILURE() << "column " << x << ", line " << y << ": "
                                  << Hex(std::string(1, At(x, y).Ch)) << " in "
                                  << int(At(x, y).Attr) << ", want "
                                  << Hex(std::string(1, want.Cells[y][x].Ch)) << " in "
                                  << int(want.Cells[y][x].Attr);
        EXPECT_EQ(WhereX(), want.X);
        EXPECT_EQ(WhereY(), want.Y);
        EXPECT_EQ(GetTextAttr(), want.Attr);
        ExpectTerminalShowsShadow();
    }
}

TEST_F(MenuBoxTest, FixedPicturesShowTheirCellsOnTerminalAndShadowAlike) {
    SetTextAttr(7);
    DrawPipeFrame(3, 2);
    EXPECT_EQ(At(3, 2), (TCharInfo{0x77, '\xDC'}));
    ExpectRun(4, 26, 2, '\xDC', 0x70);
    EXPECT_EQ(Text(4, 3, 24),
              "\xDC\xDB\xDF\xDF\xDF\xDF\xDF\xB2\xDF\xDF \xDF\xDF\xDF\xB1\xB1\xDF\xDF\xDF\xDF\xDF"
              "\xDB\xDC ");
    EXPECT_EQ(At(6, 4), (TCharInfo{0x70, '\xDF'})); // on the light-grey field
    EXPECT_EQ(GetTextAttr(), 0x07);                 // the colours set last stay
    EXPECT_EQ(WhereX(), 3 + 24);                    // after the last line
    EXPECT_EQ(WhereY(), 2 + 13);
    ExpectTerminalShowsShadow();

    SetTextAttr(0x1E);
    GotoXY(1, 1);
    DrawTitleFrame(5, 17);
    EXPECT_EQ(Text(5 + 16, 18, 16), "    Search Title");
    EXPECT_EQ(At(5 + 16, 18).Attr, 0x70);
    EXPECT_EQ(At(5, 17), (TCharInfo{0x1F, '\xDC'})); // bright white on the background in use
    EXPECT_EQ(At(5, 18), (TCharInfo{0x07, '\xB2'}));
    ExpectRun(7, 56, 19, ' ', 0x70);                  // the 50-column field
    EXPECT_EQ(At(6, 19), (TCharInfo{0x07, ' '}));     // skipped, not drawn
    EXPECT_EQ(At(59, 21), (TCharInfo{0x0F, '\xDF'})); // the last cell of the last line
    EXPECT_EQ(GetTextAttr(), 0x1E);
    EXPECT_EQ(WhereX(), 5 + 55);
    EXPECT_EQ(WhereY(), 17 + 4);
    ExpectTerminalShowsShadow();

    WriteXY(40, 2, 0x4E, "XXXXXXXXXXXXXXXXXXXXXXXXXXXX");
    GotoXY(2, 2);
    DrawArtBox(40, 1);
    EXPECT_EQ(At(40, 1), (TCharInfo{0x7F, ' '}));
    EXPECT_EQ(At(41, 1), (TCharInfo{0x07, '\xDB'}));
    EXPECT_EQ(At(63, 2), (TCharInfo{0x4E, 'X'})); // "one column right" draws nothing
    ExpectRun(42, 62, 3, ' ', 0x70);
    EXPECT_EQ(At(64, 3), (TCharInfo{0x08, '\xB2'}));
    EXPECT_EQ(GetTextAttr(), 0x1E);
    EXPECT_EQ(WhereX(), 2);
    ExpectTerminalShowsShadow();

    DrawArtBox(70, 20); // cut at the right edge and the bottom
    DrawPipeFrame(75, 22);
    DrawTitleFrame(60, 24);
    ExpectTerminalShowsShadow();
}

TEST_F(MenuBoxTest, MenuBarCentresShortTitlesInTheLogo) {
    struct Case {
        std::string Title, Shown;
    };
    const Case cases[] = {
        {"Mail", "    Mail    "},
        {"Mails", "    Mails    "},
        {"", "            "},
        {"Twelve chars", "Twelve chars"},
        {"A title longer than twelve", "A title longer than twelve"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Title);
        DrawMenuBar(30, c.Title);
        EXPECT_EQ(Text(32, 2, static_cast<int>(c.Shown.size())), c.Shown);
        EXPECT_EQ(At(32, 2).Attr, 0x7F);
        Drain();
    }
    EXPECT_EQ(Text(1, 2, 12), "    File    ");
    EXPECT_EQ(At(1, 2).Attr, 0x78);
    EXPECT_EQ(At(30, 1), (TCharInfo{0x07, '\xDC'}));
    EXPECT_EQ(At(31, 1), (TCharInfo{0x7F, '\xB0'}));
    ExpectTerminalShowsShadow();
    DrawMenuBar(75, std::string(200, 'T')); // cut at column 80
    EXPECT_EQ(At(80, 2).Ch, 'T');
    ExpectTerminalShowsShadow();
}

} // namespace
