// The light-bar list on a real pty: keys are typed before Run, and the rows
// are read back from what reached the terminal (the item rows go out as
// pipe-coded text) through a small model of the terminal that knows the
// cursor moves and colour changes the writer sends.

#include "terminal/Console.h"
#include "terminal/KeyCodes.h"
#include "tests/common/KeyCases.h"
#include "tests/common/PtyFixture.h"
#include "ui/LightBar.h"

#include <array>
#include <string>
#include <vector>

namespace {

using namespace Typed;

// 25 lines of 80 cells as a terminal shows them: cursor positioning, SGR
// (reset, bold, blink, colours) and printable bytes; other sequences are
// skipped. A byte that would land right of column 80 is counted in Overflow.
class TermModel {
public:
    explicit TermModel(uint8_t StartAttr) : Attr(StartAttr) {
        for (auto& L : Cells) L.fill(TCharInfo{7, ' '});
    }

    void Feed(const std::string& S) {
        for (size_t P = 0; P < S.size(); ++P) {
            const char C = S[P];
            if (C == '\x1b' && P + 1 < S.size() && S[P + 1] == '[') {
                size_t E = P + 2;
                while (E < S.size() && !(S[E] >= '@' && S[E] <= '~')) ++E;
                if (E >= S.size()) return;
                Csi(S.substr(P + 2, E - P - 2), S[E]);
                P = E;
            } else if (C == '\x1b' && P + 1 < S.size() && S[P + 1] == '(') {
                P += 2;
            } else if (C == '\r') {
                X = 1;
            } else if (C == '\n') {
                if (Y < 25) ++Y;
            } else if (C == '\b') {
                if (X > 1) --X;
            } else {
                if (X > 80) {
                    ++Overflow;
                    continue;
                }
                Cells[static_cast<size_t>(Y - 1)][static_cast<size_t>(X - 1)] = {Attr, C};
                ++X;
            }
        }
    }

    std::string Text(int L, int From, int To) const {
        std::string R;
        for (int C = From; C <= To; ++C) R += Cell(L, C).Ch;
        return R;
    }
    TCharInfo Cell(int L, int C) const {
        return Cells[static_cast<size_t>(L - 1)][static_cast<size_t>(C - 1)];
    }
    int Overflow = 0;

private:
    std::array<std::array<TCharInfo, 80>, 25> Cells{};
    uint8_t Attr;
    int X = 1, Y = 1;

    static std::vector<int> Params(const std::string& P) {
        std::vector<int> R{0};
        for (char C : P) {
            if (C == ';') {
                R.push_back(0);
            } else if (C >= '0' && C <= '9') {
                R.back() = R.back() * 10 + (C - '0');
            }
        }
        return R;
    }

    void Csi(const std::string& P, char Final) {
        const std::vector<int> V = Params(P);
        if (Final == 'H') {
            Y = V.size() > 0 && V[0] > 0 ? V[0] : 1;
            X = V.size() > 1 && V[1] > 0 ? V[1] : 1;
        } else if (Final == 'm') {
            for (int N : V) {
                if (N == 0) Attr = 7;
                if (N == 1) Attr |= 8;
                if (N == 5) Attr |= 0x80;
                if (N >= 30 && N <= 37) Attr = (Attr & 0xF8) | AnsiColors[N - 30];
                if (N >= 40 && N <= 47) Attr = (Attr & 0x8F) | (AnsiColors[N - 40] << 4);
            }
        }
    }
};

// What the callbacks saw, in order.
std::vector<std::string> Events;
TBar* Owner = nullptr;

void RecordChange(int32_t Index) {
    Events.push_back("change " + std::to_string(Index));
}
void RecordSelect(int32_t Index) {
    Events.push_back("select " + std::to_string(Index));
}
void RecordKey(char Key, int32_t Index) {
    Events.push_back("key " + std::to_string(static_cast<uint8_t>(Key)) + " " +
                     std::to_string(Index));
}
// "r" refills the list with three rows and puts the highlight on the first,
// as the main program does when a search starts; "R" with fifty.
void RefillKey(char Key, int32_t Index) {
    RecordKey(Key, Index);
    if (Key != 'r' && Key != 'R') return;
    Owner->Clear();
    for (int I = 0; I < (Key == 'r' ? 3 : 50); ++I) Owner->Add("new" + std::to_string(I));
    Owner->Index = 0;
}

std::string KeyEvent(char C) {
    return "key " + std::to_string(static_cast<uint8_t>(C));
}

// Item I as its row starts on the screen.
std::string PadItem(int I) {
    std::string S = "item" + std::to_string(I);
    S.resize(7, ' ');
    return S;
}

class LightBarTest : public ConsolePtyFixture {
protected:
    void SetUp() override {
        ConsolePtyFixture::SetUp();
        Events.clear();
        Owner = &Bar;
    }
    void TearDown() override {
        Owner = nullptr;
        ConsolePtyFixture::TearDown();
    }

    void Fill(int N) {
        for (int I = 0; I < N; ++I) Bar.Add("item" + std::to_string(I));
    }

    // Keys typed, then Run; Model holds the screen afterwards.
    int32_t Run(const std::string& Keys, uint8_t X, uint8_t Y, uint8_t W, uint8_t H,
                int32_t Start) {
        Model = TermModel(GetTextAttr());
        TypeAndWait(Keys);
        const int32_t R = Bar.Run(X, Y, W, H, Start);
        Model.Feed(ReadOutput());
        return R;
    }

    TBar Bar;
    TermModel Model{7};
};

TEST_F(LightBarTest, PlacementAtEntry) {
    struct Case {
        int Count, Height, Start, Top, Index;
    };
    const std::vector<Case> Cases = {
        {5, 22, 3, 0, 3},      {100, 22, 95, 78, 95}, {100, 22, 100, 0, 0}, {100, 22, -1, 0, 0},
        {100, 22, 10, 10, 10}, {30, 22, 8, 8, 8},     {30, 22, 9, 8, 9},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(testing::Message() << C.Count << " items, start " << C.Start);
        Bar.Clear();
        Fill(C.Count);
        EXPECT_EQ(Run(Enter, 1, 3, 20, static_cast<uint8_t>(C.Height), C.Start), C.Index);
        EXPECT_EQ(Bar.Index, C.Index);
        EXPECT_EQ(Model.Text(3, 1, 7), PadItem(C.Top));
    }
}

TEST_F(LightBarTest, MovesTheHighlight) {
    struct Case {
        const char* Name;
        int Count, Height, Start;
        std::string Keys;
        int32_t Result;
        int Top, Index;
    };
    const std::vector<Case> Cases = {
        {"DownInsideWindow", 30, 5, 0, Down + Down, 2, 0, 2},
        {"DownScrollsAtLastRow", 30, 5, 0, Down + Down + Down + Down + Down, 5, 1, 5},
        {"DownOnLastItem", 30, 5, 29, Down, 29, 25, 29},
        {"UpOnFirstItem", 30, 5, 0, Up, 0, 0, 0},
        {"UpFromFirstRowScrolls", 30, 5, 5, Up, 4, 4, 4},
        {"UpInsideWindow", 30, 5, 5, Down + Down + Up, 6, 5, 6},
        {"HomeFromAnywhere", 30, 5, 17, Home, 0, 0, 0},
        {"EndShowsLastItems", 30, 5, 0, End, 29, 25, 29},
        {"EndOnShortList", 3, 5, 0, End, 2, 0, 2},
        {"PageDownToNextWindow", 30, 22, 0, PgDn, 22, 22, 22},
        {"PageDownTwiceToEnd", 30, 22, 0, PgDn + PgDn, 29, 8, 29},
        {"PageUpAfterwards", 30, 22, 0, PgDn + PgDn + PgUp, 0, 0, 0},
        {"PageUpBackAWindow", 30, 5, 20, PgUp, 15, 15, 15},
        {"PageDownShortListStays", 3, 5, 1, PgDn, 1, 0, 1},
        {"LeftEnds", 30, 5, 3, Left, brLeft, 3, 3},
        {"RightEnds", 30, 5, 3, Right, brRight, 3, 3},
        {"EscEnds", 30, 5, 3, Down + Esc, brEscape, 3, 4},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        Bar.Clear();
        Fill(C.Count);
        const std::string Keys = C.Keys + (C.Result >= 0 ? Enter : "");
        EXPECT_EQ(Run(Keys, 1, 2, 20, static_cast<uint8_t>(C.Height), C.Start), C.Result);
        EXPECT_EQ(Bar.Index, C.Index);
        EXPECT_EQ(Model.Text(2, 1, 7), PadItem(C.Top));
    }
}

// A move inside the window rewrites the two rows concerned; a move that
// scrolls rewrites the window. Rows are counted by the cursor moves that
// start them (column 1 of lines 2-6).
TEST_F(LightBarTest, RedrawsOnlyWhatAMoveChanges) {
    struct Case {
        const char* Name;
        int Start;
        std::string Keys;
        int RowWrites; // after the first page: 5 rows and the highlight
    };
    const std::vector<Case> Cases = {
        {"UpInsideWindow", 5, Down + Down + Up, 2 + 2 + 2},
        {"DownInsideWindow", 5, Down, 2},
        {"UpScrolls", 5, Up, 6},
        {"HomeRedrawsAll", 5, Home, 6},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        Bar.Clear();
        Fill(30);
        GotoXY(40, 20);
        ReadOutput();
        TypeAndWait(C.Keys + Esc);
        EXPECT_EQ(Bar.Run(1, 2, 20, 5, C.Start), brEscape);
        const std::string Out = ReadOutput();
        int Writes = 0;
        for (int L = 2; L <= 6; ++L) {
            const std::string Move = "\x1b[" + std::to_string(L) + ";1H";
            for (size_t P = Out.find(Move); P != std::string::npos; P = Out.find(Move, P + 1))
                ++Writes;
        }
        EXPECT_EQ(Writes, 6 + C.RowWrites) << Hex(Out);
    }
}

TEST_F(LightBarTest, CommandModeResultsAndCallbacks) {
    struct Case {
        const char* Name;
        bool Command, WithOnKey;
        std::string Keys;
        int32_t Result;
        std::vector<std::string> Want;
    };
    const std::string Start = "change 2";
    const std::vector<Case> Cases = {
        {"Plus", true, true, "+", brPlus, {Start}},
        {"Minus", true, true, "-", brMinus, {Start}},
        {"Star", true, true, "*", brStar, {Start}},
        {"Slash", true, true, "/", brSlash, {Start}},
        {"Backspace", true, true, "\b", brBackspace, {Start}},
        {"Left", true, true, Left, brLeft, {Start}},
        {"Right", true, true, Right, brRight, {Start}},
        {"EscGoesToOwnerFirst", true, true, Esc, brEscape, {Start, KeyEvent(27) + " 2", Start}},
        {"EnterSelectsThenOwner",
         true,
         true,
         Down + Enter,
         3,
         {Start, "change 3", "select 3", KeyEvent(13) + " 3", "change 3"}},
        {"OtherKeysGoToOwner",
         true,
         true,
         "a" + Down + "+",
         brPlus,
         {Start, KeyEvent('a') + " 2", Start, "change 3"}},
        {"PagesGoToOwner",
         true,
         true,
         PgDn + PgUp + "+",
         brPlus,
         {Start, KeyEvent(']') + " 2", Start, KeyEvent('[') + " 2", Start}},
        {"NoOwnerNoRedraw", true, false, "a" + PgDn + "+", brPlus, {Start}},
        {"OutsideCommandModePlusSearches", false, true, "+" + Enter, 2, {Start, "select 2"}},
        {"OutsideCommandModeEsc", false, true, Esc, brEscape, {Start}},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        Bar.Clear();
        Fill(10);
        Bar.CommandMode = C.Command;
        Bar.OnChange = RecordChange;
        Bar.OnSelect = RecordSelect;
        Bar.OnKey = C.WithOnKey ? RecordKey : nullptr;
        Events.clear();
        EXPECT_EQ(Run(C.Keys, 1, 2, 20, 5, 2), C.Result);
        EXPECT_EQ(Events, C.Want);
    }
}

TEST_F(LightBarTest, RedrawAfterOwnerReplacedTheRows) {
    Fill(30);
    Bar.CommandMode = true;
    Bar.OnChange = RecordChange;
    Bar.OnKey = RefillKey;
    // The window starts at item 20; "r" leaves three rows with Index 0.
    EXPECT_EQ(Run("r" + Esc, 1, 2, 20, 5, 20), brEscape);
    EXPECT_EQ(Bar.Index, 0);
    EXPECT_EQ(Model.Text(2, 1, 6), "new0  ");
    EXPECT_EQ(Model.Cell(2, 1).Attr, 0x70);
    EXPECT_EQ(Model.Text(4, 1, 6), "new2  ");
    EXPECT_EQ(Model.Cell(4, 1).Attr, 0x07);
    for (uint8_t L : {5, 6}) EXPECT_EQ(Model.Text(L, 1, 20), std::string(20, ' '));
    EXPECT_EQ(Events, (std::vector<std::string>{"change 20", KeyEvent('r') + " 20", "change 0",
                                                KeyEvent(27) + " 0", "change 0"}));

    // Fifty new rows: the window goes back to the top, and moves go on from there.
    Bar.Clear();
    Fill(30);
    Events.clear();
    EXPECT_EQ(Run("R" + Down + Enter, 1, 2, 20, 5, 20), 1);
    EXPECT_EQ(Model.Text(2, 1, 6), "new0  ");
    EXPECT_EQ(Model.Text(3, 1, 6), "new1  ");
    EXPECT_EQ(Model.Cell(3, 1).Attr, 0x70);
}

TEST_F(LightBarTest, EmptyLists) {
    Bar.CommandMode = true;
    Bar.OnChange = RecordChange;
    Bar.OnSelect = RecordSelect;
    Bar.OnKey = RecordKey;
    Bar.Clear();
    Screen->Shadow[3][1] = TCharInfo{0x4F, 'x'};
    // After Clear: Enter only reaches the owner, moves change nothing.
    EXPECT_EQ(Run(Enter + End + Down + PgDn + Esc, 1, 2, 20, 5, 3), brEscape);
    EXPECT_EQ(Bar.Index, 0);
    EXPECT_EQ(Events, (std::vector<std::string>{KeyEvent(13) + " 0", KeyEvent(']') + " 0",
                                                KeyEvent(27) + " 0"}));
    for (uint8_t L = 2; L <= 6; ++L) {
        for (uint8_t C = 1; C <= 20; ++C) {
            EXPECT_EQ(ScreenCharAt(C, L), ' ');
            EXPECT_EQ(ScreenAttrAt(C, L), 7);
        }
    }

    // A list never filled (Count 0): Enter selects index 0.
    TBar Fresh;
    Fresh.OnSelect = RecordSelect;
    Events.clear();
    TypeAndWait(Enter);
    EXPECT_EQ(Fresh.Run(1, 2, 20, 5, 0), 0);
    EXPECT_EQ(Events, (std::vector<std::string>{"select 0"}));
    ReadOutput();
}

TEST_F(LightBarTest, DrawsTheRows) {
    Bar.Add("alpha");
    Bar.Add("beta");
    Bar.Add("|14ab");
    Bar.Add("a much longer row than the window");
    SetTextAttr(0x1E);
    ReadOutput();
    Screen->Shadow[8][3] = TCharInfo{0x4F, 'x'};
    EXPECT_EQ(Run(Esc, 3, 4, 10, 6, 1), brEscape);
    struct Row {
        int Line;
        std::string Text;
        uint8_t Attr;
    };
    for (const Row& R :
         {Row{4, "alpha     ", 0x07}, Row{5, "beta      ", 0x70}, Row{7, "a much lon", 0x07},
          Row{8, "          ", 0x07}, Row{9, "          ", 0x07}}) {
        SCOPED_TRACE(R.Line);
        EXPECT_EQ(Model.Text(R.Line, 3, 12), R.Text);
        for (int C = 3; C <= 12; ++C) EXPECT_EQ(Model.Cell(R.Line, C).Attr, R.Attr) << C;
        EXPECT_EQ(Model.Cell(R.Line, 2), (TCharInfo{7, ' '}));  // nothing left of the window
        EXPECT_EQ(Model.Cell(R.Line, 13), (TCharInfo{7, ' '})); // ... nor right of it
    }
    // A pipe code counts as width: "|14ab" padded to 10 shows 7 columns.
    EXPECT_EQ(Model.Text(6, 3, 9), "ab     ");
    EXPECT_EQ(Model.Cell(6, 3).Attr, 0x0E);
    // The blank rows also reach the shadow, in attribute 7; the item rows,
    // sent as pipe-coded text, are recorded there as the terminal shows them,
    // so a box opened over the list puts back the rows themselves.
    EXPECT_EQ(Screen->Shadow[8][3], (TCharInfo{7, ' '}));
    for (int L = 4; L <= 9; ++L)
        for (int C = 1; C <= 80; ++C)
            EXPECT_EQ(Screen->Shadow[L][C], Model.Cell(L, C)) << L << "," << C;
    EXPECT_EQ(GetTextAttr(), 0x1E); // the rows leave the attribute as it was
}

TEST_F(LightBarTest, RectangleKeptOnTheScreen) {
    Fill(5);
    EXPECT_EQ(Run(Down + Down + Enter, 75, 24, 20, 10, 0), 2);
    EXPECT_EQ(Model.Overflow, 0);
    EXPECT_EQ(Model.Text(24, 75, 80), "item1 ");
    EXPECT_EQ(Model.Text(25, 75, 80), "item2 ");
    EXPECT_EQ(Model.Cell(25, 75).Attr, 0x70);
    EXPECT_EQ(Model.Text(1, 1, 80), std::string(80, ' '));
}

TEST_F(LightBarTest, MoreMarksScrollColumnAndSearchLine) {
    Fill(30);
    Bar.ShowMore = true;
    Bar.MoreX = 30;
    Bar.MoreY = 1;
    EXPECT_EQ(Run(End + Enter, 1, 2, 20, 22, 0), 29);
    // The marks of the first window are overwritten by those after End.
    EXPECT_EQ(Model.Text(1, 30, 36), "\xF4  more");
    EXPECT_EQ(Model.Cell(1, 30).Attr, 0x08);

    Bar.Clear();
    Fill(100);
    Bar.ShowMore = false;
    Bar.ShowScroll = true;
    struct Case {
        std::string Keys;
        int ThumbLine;
    };
    for (const Case& C : {Case{Home, 2}, Case{End, 23}, Case{Home + PgDn + PgDn + Home, 2}}) {
        Run(C.Keys + Enter, 1, 2, 20, 22, 50);
        for (uint8_t L = 2; L <= 23; ++L) {
            const bool Thumb = L == C.ThumbLine;
            EXPECT_EQ(ScreenCharAt(20, L), Thumb ? '\xB2' : '\xB0') << int(L);
            EXPECT_EQ(ScreenAttrAt(20, L), Thumb ? 15 : 8) << int(L);
        }
    }
    Run(Enter, 1, 2, 20, 22, 50);
    EXPECT_EQ(ScreenCharAt(20, 2 + 11), '\xB2');
}

TEST_F(LightBarTest, IncrementalSearchOutsideCommandMode) {
    for (const char* T : {"alpha", "Beta", "alphabet"}) Bar.Add(T);
    Bar.SearchX = 40;
    Bar.SearchY = 1;
    Bar.SearchAttr = 0x1F;
    struct Case {
        std::string Keys;
        int32_t Index;
        std::string Search;
    };
    const std::vector<Case> Cases = {
        {"b", 1, "B"},
        {"\x01", 2, "B"},
        {"\x01", 1, "B"},
        {"z", 1, "BZ"},
        {"\b\b"
         "ALP\x01",
         2, "ALP"},
        {"\x19", 2, ""},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Keys);
        EXPECT_EQ(Run(C.Keys + Enter, 1, 2, 20, 5, Bar.Index), C.Index);
        EXPECT_EQ(Bar.SearchStr, C.Search);
    }
    // A find makes its item the window's first row.
    Run("b" + Enter, 1, 2, 20, 5, 0);
    EXPECT_EQ(Model.Text(2, 1, 8), "Beta    ");
    EXPECT_EQ(Model.Text(3, 1, 8), "alphabet");
    EXPECT_EQ(ScreenCharAt(40, 1), 'B');
    EXPECT_EQ(ScreenAttrAt(40, 1), 0x1F);
}

TEST_F(LightBarTest, SortOrdersByBytes) {
    for (const char* T : {"b", "a", "B", "\xE4", "ab"}) Bar.Add(T);
    Bar.Sort();
    std::vector<std::string> Got;
    for (const TBItem& I : Bar.Items) Got.push_back(I.Text);
    EXPECT_EQ(Got, (std::vector<std::string>{"B", "a", "ab", "b", "\xE4"}));
}

} // namespace
