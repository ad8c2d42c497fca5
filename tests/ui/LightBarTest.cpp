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
        for (auto& l : Cells) l.fill(TCharInfo{7, ' '});
    }

    void Feed(const std::string& S) {
        for (size_t p = 0; p < S.size(); ++p) {
            const char c = S[p];
            if (c == '\x1b' && p + 1 < S.size() && S[p + 1] == '[') {
                size_t e = p + 2;
                while (e < S.size() && !(S[e] >= '@' && S[e] <= '~')) ++e;
                if (e >= S.size()) return;
                Csi(S.substr(p + 2, e - p - 2), S[e]);
                p = e;
            } else if (c == '\x1b' && p + 1 < S.size() && S[p + 1] == '(') {
                p += 2;
            } else if (c == '\r') {
                X = 1;
            } else if (c == '\n') {
                if (Y < 25) ++Y;
            } else if (c == '\b') {
                if (X > 1) --X;
            } else {
                if (X > 80) {
                    ++Overflow;
                    continue;
                }
                Cells[static_cast<size_t>(Y - 1)][static_cast<size_t>(X - 1)] = {Attr, c};
                ++X;
            }
        }
    }

    std::string Text(int L, int From, int To) const {
        std::string r;
        for (int c = From; c <= To; ++c) r += Cell(L, c).Ch;
        return r;
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
        std::vector<int> r{0};
        for (char c : P) {
            if (c == ';') {
                r.push_back(0);
            } else if (c >= '0' && c <= '9') {
                r.back() = r.back() * 10 + (c - '0');
            }
        }
        return r;
    }

    void Csi(const std::string& P, char Final) {
        const std::vector<int> v = Params(P);
        if (Final == 'H') {
            Y = v.size() > 0 && v[0] > 0 ? v[0] : 1;
            X = v.size() > 1 && v[1] > 0 ? v[1] : 1;
        } else if (Final == 'm') {
            for (int n : v) {
                if (n == 0) Attr = 7;
                if (n == 1) Attr |= 8;
                if (n == 5) Attr |= 0x80;
                if (n >= 30 && n <= 37) Attr = (Attr & 0xF8) | AnsiColors[n - 30];
                if (n >= 40 && n <= 47) Attr = (Attr & 0x8F) | (AnsiColors[n - 40] << 4);
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
// as the main program does when a search starts; "R" with fifty; "p" with
// thirty and leaves Index to Clear, as the main program's page keys do.
void RefillKey(char Key, int32_t Index) {
    RecordKey(Key, Index);
    if (Key != 'r' && Key != 'R' && Key != 'p') return;
    Owner->Clear();
    const int rows = Key == 'r' ? 3 : Key == 'R' ? 50 : 30;
    for (int i = 0; i < rows; ++i) Owner->Add((Key == 'p' ? "page" : "new") + std::to_string(i));
    if (Key != 'p') Owner->Index = 0;
}

// What OnChange finds on the screen: the rows 2-6 of a window whose top is
// item 0, each the digit of its item where it is highlighted, else ".".
void RecordChangeSeen(int32_t Index) {
    std::string rows;
    for (uint8_t y = 2; y <= 6; ++y) rows += ScreenAttrAt(1, y) == 0x70 ? ScreenCharAt(5, y) : '.';
    Events.push_back("change " + std::to_string(Index) + " " + rows);
}

// Enter's callback moves the highlight, as an owner may.
void MoveOnSelect(int32_t Index) {
    RecordSelect(Index);
    Owner->Index = 7;
}

std::string KeyEvent(char C) {
    return "key " + std::to_string(static_cast<uint8_t>(C));
}

// Item I as its row starts on the screen.
std::string PadItem(int I) {
    std::string s = "item" + std::to_string(I);
    s.resize(7, ' ');
    return s;
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
        for (int i = 0; i < N; ++i) Bar.Add("item" + std::to_string(i));
    }

    // Keys typed, then Run; Model holds the screen afterwards.
    int32_t Run(const std::string& Keys, uint8_t X, uint8_t Y, uint8_t W, uint8_t H,
                int32_t Start) {
        Model = TermModel(GetTextAttr());
        TypeAndWait(Keys);
        const int32_t r = Bar.Run(X, Y, W, H, Start);
        Model.Feed(ReadOutput());
        return r;
    }

    TBar Bar;
    TermModel Model{7};
};

TEST_F(LightBarTest, PlacementAtEntry) {
    struct Case {
        int Count, Height, Start, Top, Index;
    };
    const std::vector<Case> cases = {
        {5, 22, 3, 0, 3},      {100, 22, 95, 78, 95}, {100, 22, 100, 0, 0}, {100, 22, -1, 0, 0},
        {100, 22, 10, 10, 10}, {30, 22, 8, 8, 8},     {30, 22, 9, 8, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Count << " items, start " << c.Start);
        Bar.Clear();
        Fill(c.Count);
        EXPECT_EQ(Run(Enter, 1, 3, 20, static_cast<uint8_t>(c.Height), c.Start), c.Index);
        EXPECT_EQ(Bar.Index, c.Index);
        EXPECT_EQ(Model.Text(3, 1, 7), PadItem(c.Top));
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
    const std::vector<Case> cases = {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Bar.Clear();
        Fill(c.Count);
        const std::string keys = c.Keys + (c.Result >= 0 ? Enter : "");
        EXPECT_EQ(Run(keys, 1, 2, 20, static_cast<uint8_t>(c.Height), c.Start), c.Result);
        EXPECT_EQ(Bar.Index, c.Index);
        EXPECT_EQ(Model.Text(2, 1, 7), PadItem(c.Top));
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
    const std::vector<Case> cases = {
        {"UpInsideWindow", 5, Down + Down + Up, 2 + 2 + 2},
        {"DownInsideWindow", 5, Down, 2},
        {"UpScrolls", 5, Up, 6},
        {"HomeRedrawsAll", 5, Home, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Bar.Clear();
        Fill(30);
        GotoXY(40, 20);
        ReadOutput();
        TypeAndWait(c.Keys + Esc);
        EXPECT_EQ(Bar.Run(1, 2, 20, 5, c.Start), brEscape);
        const std::string out = ReadOutput();
        int writes = 0;
        for (int l = 2; l <= 6; ++l) {
            const std::string move = "\x1b[" + std::to_string(l) + ";1H";
            for (size_t p = out.find(move); p != std::string::npos; p = out.find(move, p + 1))
                ++writes;
        }
        EXPECT_EQ(writes, 6 + c.RowWrites) << Hex(out);
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
    const std::string start = "change 2";
    const std::vector<Case> cases = {
        {"Plus", true, true, "+", brPlus, {start}},
        {"Minus", true, true, "-", brMinus, {start}},
        {"Star", true, true, "*", brStar, {start}},
        {"Slash", true, true, "/", brSlash, {start}},
        {"Backspace", true, true, "\b", brBackspace, {start}},
        {"Left", true, true, Left, brLeft, {start}},
        {"Right", true, true, Right, brRight, {start}},
        {"EscGoesToOwnerFirst", true, true, Esc, brEscape, {start, KeyEvent(27) + " 2", start}},
        {"EnterSelectsThenOwner",
         true,
         true,
         Down + Enter,
         3,
         {start, "change 3", "select 3", KeyEvent(13) + " 3", "change 3"}},
        {"OtherKeysGoToOwner",
         true,
         true,
         "a" + Down + "+",
         brPlus,
         {start, KeyEvent('a') + " 2", start, "change 3"}},
        {"PagesGoToOwner",
         true,
         true,
         PgDn + PgUp + "+",
         brPlus,
         {start, KeyEvent(']') + " 2", start, KeyEvent('[') + " 2", start}},
        {"NoOwnerNoRedraw", true, false, "a" + PgDn + "+", brPlus, {start}},
        {"OutsideCommandModePlusSearches", false, true, "+" + Enter, 2, {start, "select 2"}},
        {"OutsideCommandModeEsc", false, true, Esc, brEscape, {start}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Bar.Clear();
        Fill(10);
        Bar.CommandMode = c.Command;
        Bar.OnChange = RecordChange;
        Bar.OnSelect = RecordSelect;
        Bar.OnKey = c.WithOnKey ? RecordKey : nullptr;
        Events.clear();
        EXPECT_EQ(Run(c.Keys, 1, 2, 20, 5, 2), c.Result);
        EXPECT_EQ(Events, c.Want);
    }
}

// Enter returns the item highlighted when it was read: the result is taken
// before OnSelect runs, whatever OnSelect then does with Index.
TEST_F(LightBarTest, EnterReturnsTheItemHighlightedWhenItWasRead) {
    for (const bool command : {false, true}) {
        SCOPED_TRACE(command ? "command mode" : "search mode");
        Bar.Clear();
        Fill(10);
        Bar.CommandMode = command;
        Bar.OnSelect = MoveOnSelect;
        Bar.OnKey = RecordKey;
        Events.clear();
        EXPECT_EQ(Run(Down + Enter, 1, 2, 20, 5, 1), 2);
        EXPECT_EQ(Bar.Index, 7);
        std::vector<std::string> want = {"select 2"};
        if (command) want.push_back(KeyEvent(13) + " 7"); // the owner sees the new Index
        EXPECT_EQ(Events, want);
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
    for (uint8_t l : {5, 6}) EXPECT_EQ(Model.Text(l, 1, 20), std::string(20, ' '));
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

    // Rows replaced without setting Index: Clear has put it on the first row.
    Bar.Clear();
    Fill(30);
    Events.clear();
    EXPECT_EQ(Run("p" + Esc, 1, 2, 20, 5, 20), brEscape);
    EXPECT_EQ(Bar.Index, 0);
    EXPECT_EQ(Model.Text(2, 1, 6), "page0 ");
    EXPECT_EQ(Model.Cell(2, 1).Attr, 0x70);
    EXPECT_EQ(Events, (std::vector<std::string>{"change 20", KeyEvent('p') + " 20", "change 0",
                                                KeyEvent(27) + " 0", "change 0"}));
}

// OnChange runs once its row is drawn highlighted and the row left is drawn
// plain again, so what it draws or reads sees the list as shown.
TEST_F(LightBarTest, OnChangeComesAfterItsRowIsDrawnHighlighted) {
    Fill(10);
    Bar.OnChange = RecordChangeSeen;
    EXPECT_EQ(Run(Down + Down + Up + Enter, 1, 2, 20, 5, 0), 1);
    EXPECT_EQ(Events, (std::vector<std::string>{"change 0 0....", "change 1 .1...",
                                                "change 2 ..2..", "change 1 .1..."}));
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
    for (uint8_t l = 2; l <= 6; ++l) {
        for (uint8_t c = 1; c <= 20; ++c) {
            EXPECT_EQ(ScreenCharAt(c, l), ' ');
            EXPECT_EQ(ScreenAttrAt(c, l), 7);
        }
    }

    // A list never filled (Count 0): Enter selects index 0.
    TBar fresh;
    fresh.OnSelect = RecordSelect;
    Events.clear();
    TypeAndWait(Enter);
    EXPECT_EQ(fresh.Run(1, 2, 20, 5, 0), 0);
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
    for (const Row& r :
         {Row{4, "alpha     ", 0x07}, Row{5, "beta      ", 0x70}, Row{7, "a much lon", 0x07},
          Row{8, "          ", 0x07}, Row{9, "          ", 0x07}}) {
        SCOPED_TRACE(r.Line);
        EXPECT_EQ(Model.Text(r.Line, 3, 12), r.Text);
        for (int c = 3; c <= 12; ++c) EXPECT_EQ(Model.Cell(r.Line, c).Attr, r.Attr) << c;
        EXPECT_EQ(Model.Cell(r.Line, 2), (TCharInfo{7, ' '}));  // nothing left of the window
        EXPECT_EQ(Model.Cell(r.Line, 13), (TCharInfo{7, ' '})); // ... nor right of it
    }
    // A pipe code counts towards the padding but takes no column: "|14ab"
    // still covers the row's 10 columns, in the colour it set.
    EXPECT_EQ(Model.Text(6, 3, 12), "ab        ");
    for (int c = 3; c <= 12; ++c) EXPECT_EQ(Model.Cell(6, c).Attr, 0x0E) << c;
    // The blank rows also reach the shadow, in attribute 7; the item rows,
    // sent as pipe-coded text, are recorded there as the terminal shows them,
    // so a box opened over the list puts back the rows themselves.
    EXPECT_EQ(Screen->Shadow[8][3], (TCharInfo{7, ' '}));
    for (int l = 4; l <= 9; ++l)
        for (int c = 1; c <= 80; ++c)
            EXPECT_EQ(Screen->Shadow[l][c], Model.Cell(l, c)) << l << "," << c;
    EXPECT_EQ(GetTextAttr(), 0x1E); // the rows leave the attribute as it was
}

// Pipe codes in a row count towards its width but take no column: the
// columns they free are blanked, so a page of coloured subjects after a page
// of flagged rows shows no flag letters of the rows that were there before.
TEST_F(LightBarTest, ColouredRowsLeaveNothingOfThePreviousPage) {
    const auto row = [](int N, const std::string& Subject, const std::string& Flags) {
        std::string r = "0000" + std::to_string(N) + " " + Subject;
        r.resize(69, ' ');
        return r + Flags;
    };
    for (int n = 1; n <= 3; ++n) Bar.Add(row(n, "Subject", "NE"));
    for (uint8_t l = 3; l <= 5; ++l) WriteXY(80, l, 0x4F, "#"); // beyond the rows
    Model = TermModel(GetTextAttr());
    Model.Feed(std::string(ReadOutput()));
    TypeAndWait(Esc);
    EXPECT_EQ(Bar.Run(1, 3, 79, 3, 0), brEscape);
    Model.Feed(ReadOutput());
    ASSERT_EQ(Model.Text(3, 70, 71), "NE");

    // The second page: codes in the subjects, one row longer than the width.
    struct Row {
        std::string Text, Shown; // Shown: columns 1-79 as they must read
    };
    const std::string longText = "00005 |14" + std::string(80, 'x');
    const Row rows[] = {
        {row(4, "|14Yel|12low |11r|10ed", ""), "00004 Yellow red"}, // ends before column 70
        {longText, "00005 " + std::string(70, 'x')}, // cut at 79 characters, codes counting
        {"|15|17x|1", "x|1"},                        // "|1 " holds no colour number: it is shown
    };
    Bar.Clear();
    for (const Row& r : rows) Bar.Add(r.Text);
    TypeAndWait(Down + Esc);
    EXPECT_EQ(Bar.Run(1, 3, 79, 3, 0), brEscape);
    Model.Feed(ReadOutput());
    for (int i = 0; i < 3; ++i) {
        const int l = 3 + i;
        SCOPED_TRACE(l);
        std::string want = rows[i].Shown;
        want.resize(79, ' ');
        EXPECT_EQ(Model.Text(l, 1, 79), want);
        for (int c = 1; c <= 80; ++c) EXPECT_EQ(Screen->Shadow[l][c], Model.Cell(l, c)) << c;
        EXPECT_EQ(Model.Cell(l, 80), (TCharInfo{0x4F, '#'}));
        // The freed columns take the colour the row ended in: the highlight
        // runs on to the row's end.
        const int end = static_cast<int>(rows[i].Shown.size());
        for (int c = end + 1; c <= 79; ++c)
            EXPECT_EQ(Model.Cell(l, c).Attr, Model.Cell(l, end).Attr) << c;
    }
    EXPECT_EQ(Model.Cell(4, 79).Attr & 0x70, 0x70); // row 5 is highlighted
    EXPECT_EQ(Model.Overflow, 0);
}

// A "|" whose two characters make no colour code is text: the row shows it
// and still reaches its flag letters at column 70, highlighted or not, on
// the terminal and in the shadow alike.
TEST_F(LightBarTest, BarsThatStartNoCodeKeepTheirColumns) {
    const auto field = [](const std::string& S, std::size_t W) {
        std::string f = S;
        f.resize(W, ' ');
        return f;
    };
    const std::string row = "00001 " + field("a|bc d|ef g|hi j|kl", 32) + " " +
                            field("Trail|", 14) + " " + field("Two|1", 14) + " E";
    Bar.Add(row);
    Bar.Add(row);
    TypeAndWait(Esc);
    EXPECT_EQ(Bar.Run(1, 3, 79, 2, 1), brEscape);
    Model.Feed(ReadOutput());
    for (int l = 3; l <= 4; ++l) {
        SCOPED_TRACE(l);
        EXPECT_EQ(Model.Text(l, 1, 79), field(row, 79));
        for (int c = 1; c <= 79; ++c) EXPECT_EQ(Screen->Shadow[l][c], Model.Cell(l, c)) << c;
    }
    EXPECT_EQ(Model.Cell(4, 70), (TCharInfo{0x70, 'E'})); // the highlighted row
    EXPECT_EQ(Model.Overflow, 0);
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
    for (const Case& c : {Case{Home, 2}, Case{End, 23}, Case{Home + PgDn + PgDn + Home, 2}}) {
        Run(c.Keys + Enter, 1, 2, 20, 22, 50);
        for (uint8_t l = 2; l <= 23; ++l) {
            const bool thumb = l == c.ThumbLine;
            EXPECT_EQ(ScreenCharAt(20, l), thumb ? '\xB2' : '\xB0') << int(l);
            EXPECT_EQ(ScreenAttrAt(20, l), thumb ? 15 : 8) << int(l);
        }
    }
    Run(Enter, 1, 2, 20, 22, 50);
    EXPECT_EQ(ScreenCharAt(20, 2 + 11), '\xB2');
}

// The thumb is on the first row for the first item, on the last row for the
// last item, and in proportion between; a list of one item is at its first.
TEST_F(LightBarTest, ScrollThumbRow) {
    struct Case {
        int Count, Height, Index, ThumbRow; // ThumbRow from 0
    };
    const Case cases[] = {
        {1, 5, 0, 0}, {3, 22, 0, 0}, {3, 22, 1, 7}, {3, 22, 2, 21}, {100, 22, 50, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Count << " items, index " << c.Index);
        Bar.Clear();
        Fill(c.Count);
        Bar.ShowScroll = true;
        EXPECT_EQ(Run(Enter, 1, 2, 20, static_cast<uint8_t>(c.Height), c.Index), c.Index);
        for (int r = 0; r < c.Height; ++r)
            EXPECT_EQ(ScreenCharAt(20, static_cast<uint8_t>(2 + r)),
                      r == c.ThumbRow ? '\xB2' : '\xB0')
                << r;
    }
}

TEST_F(LightBarTest, IncrementalSearchOutsideCommandMode) {
    for (const char* t : {"alpha", "Beta", "alphabet"}) Bar.Add(t);
    Bar.SearchX = 40;
    Bar.SearchY = 1;
    Bar.SearchAttr = 0x1F;
    struct Case {
        std::string Keys;
        int32_t Index;
        std::string Search;
    };
    const std::vector<Case> cases = {
        {"b", 1, "B"},
        {"\x01", 2, "B"},
        {"\x01", 1, "B"},
        {"z", 1, "BZ"},
        {"\b\b"
         "ALP\x01",
         2, "ALP"},
        {"\x19", 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Keys);
        EXPECT_EQ(Run(c.Keys + Enter, 1, 2, 20, 5, Bar.Index), c.Index);
        EXPECT_EQ(Bar.SearchStr, c.Search);
    }
    // A find makes its item the window's first row.
    Run("b" + Enter, 1, 2, 20, 5, 0);
    EXPECT_EQ(Model.Text(2, 1, 8), "Beta    ");
    EXPECT_EQ(Model.Text(3, 1, 8), "alphabet");
    EXPECT_EQ(ScreenCharAt(40, 1), 'B');
    EXPECT_EQ(ScreenAttrAt(40, 1), 0x1F);
}

TEST_F(LightBarTest, SortOrdersByBytes) {
    for (const char* t : {"b", "a", "B", "\xE4", "ab"}) Bar.Add(t);
    Bar.Sort();
    std::vector<std::string> got;
    for (const TBItem& i : Bar.Items) got.push_back(i.Text);
    EXPECT_EQ(got, (std::vector<std::string>{"B", "a", "ab", "b", "\xE4"}));
}

} // namespace
