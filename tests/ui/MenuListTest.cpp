// The scrolling pick list on a real pseudo-terminal: keys are typed before the
// blocking Open, and the shadow screen is compared with the rows, the scroll
// column and the search line that should be shown.
#include "support/StrUtil.h"
#include "tests/common/KeyCases.h"
#include "tests/common/PtyFixture.h"
#include "tests/common/ScreenText.h"
#include "ui/MenuBox.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace Typed;
const std::string CtrlA = "\x01", Tab = "\t", Bksp = "\x7f";

constexpr char Track = '\xB0', Thumb = '\xB2', Bottom = '\xDC'; // style 6's bottom edge

std::string Repeat(const std::string& S, int N) {
    std::string r;
    for (int i = 0; i < N; ++i) r += S;
    return r;
}

std::string Shown(int X, int Y, int N) {
    std::string s;
    for (int x = X; x < X + N; ++x) s += Screen->Shadow[Y][x].Ch;
    return s;
}

bool SameAttr(int X, int Y, int N, uint8_t A) {
    for (int x = X; x < X + N; ++x)
        if (Screen->Shadow[Y][x].Attr != A) return false;
    return true;
}

std::string ItemName(int I) {
    return std::string("Item ") + (I < 10 ? "0" : "") + std::to_string(I);
}

// What the status callback saw before each key: the selection and the search line.
struct Seen {
    int Picked;
    std::string Text, SearchLine;
    bool operator==(const Seen&) const = default;
};
std::vector<Seen> Calls;
void RecordStatus(uint16_t Picked, const std::string& Text) {
    Calls.push_back({Picked, Text, Shown(12, 16, 17)});
}

class MenuListTest : public ConsolePtyFixture {
protected:
    std::unique_ptr<TMenuList> List = std::make_unique<TMenuList>();

    void Fill(int N) {
        for (int i = 1; i <= N; ++i) List->Add(ItemName(i), 0);
    }
    void Fill(const std::vector<std::string>& Items) {
        for (const std::string& s : Items) List->Add(s, 0);
    }

    // Types the keys, then runs the list, by default in the box (10, 5, 40, 16):
    // rows 6-15 from column 11, 29 columns wide, the scroll column at 40.
    void Run(const std::string& Keys, uint8_t X2 = 40, uint8_t Y2 = 16) {
        TypeAndWait(Keys);
        List->Open(10, 5, X2, Y2);
        ReadOutput();
    }

    // The window shows items Top to Top + 9 (blank rows past the last) with
    // Picked highlighted, and one thumb.
    void ExpectWindow(int Picked, int Top, int ThumbRow) {
        EXPECT_EQ(List->Picked, Picked);
        EXPECT_EQ(List->TopPage, Top);
        for (int r = 0; r < 10; ++r) {
            const int item = Top + r, y = 6 + r;
            const std::string text = item <= List->ListMax ? " " + ItemName(item) + " " : "";
            EXPECT_EQ(Shown(11, y, 29), PadRight(text, 29, ' ')) << y;
            EXPECT_TRUE(SameAttr(11, y, 29, item == Picked ? 0x1F : 0x71)) << y;
            EXPECT_EQ(Screen->Shadow[y][40], (TCharInfo{0x78, y == ThumbRow ? Thumb : Track})) << y;
        }
    }
};

TEST_F(MenuListTest, DefaultListShowsRowsTrackAndThumbAndEndsOnEnter) {
    Fill(30);
    Run(Enter);
    EXPECT_EQ(List->Width, 29);
    EXPECT_EQ(List->WinSize, 10);
    EXPECT_EQ(List->ExitCode, Key::Enter);
    ExpectWindow(1, 1, 6);
    EXPECT_EQ(Screen->Shadow[5][10], (TCharInfo{0x7F, '\xDB'})); // framed by its box
    const TConsoleImageRec under = List->Box->Image;
    List->Close();
    EXPECT_EQ(Screen->Shadow[6], under.Data[6]);
}

TEST_F(MenuListTest, PagingAndMovingKeys) {
    struct Case {
        std::string Name, Keys;
        int Picked, Top, ThumbRow;
        int Items = 30;
    };
    const Case cases[] = {
        {"PgDn", PgDn, 11, 11, 9},
        {"PgDnTwice", PgDn + PgDn, 21, 21, 13},
        {"PgDnToTheEnd", PgDn + PgDn + PgDn, 30, 21, 15},
        {"PgDnPastTheEnd", Repeat(PgDn, 5), 30, 21, 15},
        {"PgUpFromTheEnd", Repeat(PgDn, 3) + PgUp, 20, 11, 12},
        {"RightAndLeftPageToo", Right + Right + Left, 11, 11, 9},
        {"PgUpAtTheTop", PgUp + Up + Home, 1, 1, 6},
        {"End", End, 30, 21, 15},
        {"EndThenHome", End + Home, 1, 1, 6},
        {"DownScrollsFromTheLastRow", Repeat(Down, 10), 11, 2, 9},
        {"UpWithinTheWindow", Repeat(Down, 10) + Up, 10, 2, 9},
        {"UpScrollsFromTheFirstRow", Repeat(Down, 10) + Repeat(Up, 10), 1, 1, 6},
        {"DownStopsOnTheLastItem", End + Down, 30, 21, 15},
        {"OtherExtendedKeysDoNothing", F1 + "\x1b[2~", 1, 1, 6},
        // From a row other than the window's first both the selection and the
        // window move by a window's height, so the selection keeps its row.
        {"PgDnFromTheFourthRow", Repeat(Down, 3) + PgDn, 14, 11, 10},
        {"RightFromTheFourthRow", Repeat(Down, 3) + Right, 14, 11, 10},
        {"PgDnTwiceFromTheFourthRow", Repeat(Down, 3) + PgDn + PgDn, 24, 21, 14},
        {"PgDnPastTheEndFromTheFourthRow", Repeat(Down, 3) + Repeat(PgDn, 3), 30, 21, 15},
        {"PgDnThenPgUpFromTheSixthRow", Repeat(Down, 5) + PgDn + PgUp, 6, 1, 8},
        {"PgUpFromTheSeventhRow", End + Repeat(Up, 3) + PgUp, 17, 11, 11},
        {"LeftFromTheSeventhRow", End + Repeat(Up, 3) + Left, 17, 11, 11},
        // 25 items, not a multiple of the window: the second page leaves
        // five rows blank, the third ends on the last item with the window
        // drawn back to show a full page.
        {"PgDnOf25", PgDn, 11, 11, 10, 25},
        {"PgDnTwiceOf25", PgDn + PgDn, 21, 21, 14, 25},
        {"PgDnThriceOf25", Repeat(PgDn, 3), 25, 16, 15, 25},
        {"RightThriceOf25", Repeat(Right, 3), 25, 16, 15, 25},
        {"PgUpAfterTheEndOf25", Repeat(PgDn, 3) + PgUp, 15, 6, 12, 25},
        // No longer than the window: the selection goes to the last item.
        {"PgDnOf7", PgDn, 7, 1, 15, 7},
        {"RightOf7FromTheThirdRow", Down + Down + Right, 7, 1, 15, 7},
        {"PgDnOf10", PgDn, 10, 1, 15, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        List = std::make_unique<TMenuList>();
        Fill(c.Items);
        Run(c.Keys + Enter);
        ExpectWindow(c.Picked, c.Top, c.ThumbRow);
        List->Close();
        ReadOutput();
    }
}

TEST_F(MenuListTest, SelectionBelowTheWindowEndsOnItsLastRowAndReopeningRedrawsTheThumb) {
    Fill(30);
    List->Picked = 15;
    Run(Enter);
    ExpectWindow(15, 6, 11);
    Run(Enter);
    ExpectWindow(15, 6, 11);

    // Out of range after Clear: the next opening starts again at the top.
    List->Clear();
    Fill(5);
    List->Picked = 15;
    Run(End + Enter);
    EXPECT_EQ(List->Picked, 5);
    EXPECT_EQ(List->TopPage, 1);
}

// The first item puts the thumb on the first row, also when the list is
// shorter than the window (where the proportion alone would put it lower)
// and when it has a single item (which is also its last).
TEST_F(MenuListTest, ThumbOfShortLists) {
    struct Case {
        int Items, Picked, ThumbRow;
    };
    const Case cases[] = {{1, 1, 6}, {3, 1, 6}, {3, 2, 12}, {3, 3, 15}, {9, 1, 6}, {9, 4, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Picked << " of " << c.Items);
        List = std::make_unique<TMenuList>();
        Fill(c.Items);
        List->Picked = c.Picked;
        Run(Enter);
        for (int y = 6; y <= 15; ++y)
            EXPECT_EQ(Screen->Shadow[y][40], (TCharInfo{0x78, y == c.ThumbRow ? Thumb : Track}))
                << y;
        List->Close();
        ReadOutput();
    }
}

// The search line is painted in the box's top-right-corner attribute and the
// scroll column in its right-edge attribute, each its own when they differ.
TEST_F(MenuListTest, SearchLineAndScrollColumnTakeTheirOwnAttributes) {
    Fill(30);
    List->Box->BoxAttr2 = 0x2E;
    List->Box->BoxAttr4 = 0x4C;
    // The attributes of row 16, columns 11-40, before each key.
    List->StatusProc = [](uint16_t Picked, const std::string& Text) {
        Calls.push_back({Picked, Text, ScreenRowAttrs(16, 11, 40)});
    };
    Calls.clear();
    Run("t" + Enter);
    // The bottom edge is $2E until the search text is painted over its 17
    // columns from column 12; dropping the text paints them again.
    const std::string edge(30, '\x2E');
    const std::string painted = "\x2E" + std::string(17, '\x4C') + std::string(12, '\x2E');
    ASSERT_EQ(Calls.size(), 2u);
    EXPECT_EQ(Hex(Calls[0].SearchLine), Hex(edge));
    EXPECT_EQ(Hex(Calls[1].SearchLine), Hex(painted));
    EXPECT_EQ(Hex(ScreenRowAttrs(16, 11, 40)), Hex(painted));
    EXPECT_EQ(Shown(12, 16, 17), std::string(17, Bottom));
    for (int y = 6; y <= 15; ++y) EXPECT_EQ(Screen->Shadow[y][40].Attr, 0x2E) << y;
}

TEST_F(MenuListTest, IncrementalSearchFollowsTheTypedLetters) {
    Fill({"readme", "main", "make"});
    List->StatusProc = RecordStatus;
    Calls.clear();
    Run("ma" + CtrlA + Down + Enter);
    const std::string edge(17, Bottom);
    const std::vector<Seen> want = {
        {1, "readme", edge},
        {2, "main", "[m]" + std::string(14, Bottom)},
        {3, "make", "[ma]" + std::string(13, Bottom)},
        {2, "main", "[ma]" + std::string(13, Bottom)}, // Ctrl-A searches again, wrapping round
        {3, "make", edge},                             // an arrow key drops the text
    };
    EXPECT_EQ(Calls, want);
    EXPECT_TRUE(SameAttr(12, 16, 17, 0x78));
    EXPECT_EQ(List->Picked, 3);
}

TEST_F(MenuListTest, SearchTriesItemsAfterTheSelectionThenFromTheTop) {
    struct Case {
        std::string Name;
        std::vector<std::string> Items;
        int Start;
        std::string Keys;
        int Picked, Top;
    };
    const std::vector<std::string> thirty = [] {
        std::vector<std::string> v;
        for (int i = 1; i <= 30; ++i) v.push_back(ItemName(i));
        return v;
    }();
    const Case cases[] = {
        {"LastItemMatchesItself", {"alpha", "beta"}, 2, "b", 2, 1},
        {"SelectedItemIsNotTried", {"alpha", "beta"}, 1, "l", 1, 1},
        {"CaseIgnoredBothWays", {"Alpha", "beta", "GAMMA"}, 1, "gAm", 3, 1},
        {"NoMatchKeepsTheSelection", {"alpha", "beta"}, 1, "zz", 1, 1},
        {"EmptyTextMatchesNothing", {"ab", "ac"}, 1, CtrlA, 1, 1},
        {"BackspaceToAnEmptyTextMatchesNothing", {"ab", "b"}, 1, "z" + Bksp, 1, 1},
        {"BackspaceSearchesWithTheShorterText", {"ab", "ac", "ad"}, 1, "ax" + Bksp, 3, 1},
        {"MatchBelowTheWindowEndsOnItsLastRow", thirty, 1, "25", 25, 16},
        {"MatchAboveTheWindowEndsOnItsFirstRow", thirty, 1, End + "3", 3, 3},
        {"ControlKeysDropTheText",
         {"ab", "xb", "b"},
         1,
         "b\x19"
         "b",
         3,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        List = std::make_unique<TMenuList>();
        Fill(c.Items);
        List->Picked = c.Start;
        Run(c.Keys + Enter);
        EXPECT_EQ(List->Picked, c.Picked);
        EXPECT_EQ(List->TopPage, c.Top);
        EXPECT_EQ(Shown(12, 16, 17), std::string(17, Bottom)); // the text is gone at the end
        EXPECT_TRUE(SameAttr(11, 6 + c.Picked - c.Top, 29, 0x1F));
        List->Close();
        ReadOutput();
    }
}

TEST_F(MenuListTest, ExitKeysEndTheChoice) {
    struct Case {
        std::string Name, LoChars, HiChars, Keys;
        char ExitCode;
        int Picked;
    };
    const std::string defaults{Key::Enter, Key::Esc};
    const Case cases[] = {
        {"Enter", defaults, "", Enter, Key::Enter, 1},
        {"Esc", defaults, "", Down + "\x1b", Key::Esc, 2},
        {"ExtendedKeyInHiChars", defaults, std::string(1, char(Scan::F1)), F1, char(Scan::F1), 1},
        {"MovementKeyInHiCharsEndsInsteadOfMoving", defaults, std::string(1, char(Scan::Down)),
         Down, char(Scan::Down), 1},
        {"OwnPlainKey", "q", "", "q", 'q', 1},
        {"EnterNotListedIsNoExit", "q", "", Enter + Down + "q", 'q', 2},
        {"ExitDropsTheSearchText", defaults, "", "Item 2" + Enter, Key::Enter, 20},
        {"RightInHiCharsDropsTheSearchText", defaults, std::string(1, char(Scan::Right)),
         "Item 2" + Right, char(Scan::Right), 20},
        {"LeftInHiCharsDropsTheSearchText", defaults, std::string(1, char(Scan::Left)),
         "Item 2" + Left, char(Scan::Left), 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        List = std::make_unique<TMenuList>();
        Fill(30);
        List->LoChars = c.LoChars;
        List->HiChars = c.HiChars;
        Run(c.Keys);
        EXPECT_EQ(List->ExitCode, c.ExitCode);
        EXPECT_EQ(List->Picked, c.Picked);
        EXPECT_EQ(Shown(12, 16, 17), std::string(17, Bottom));
        List->Close();
        ReadOutput();
    }
}

TEST_F(MenuListTest, TagKeyTogglesMarksAndMovesDown) {
    List->AllowTag = true;
    List->Add("a", 0);
    List->Add("b", 2); // cannot be tagged
    List->Add("c", 0);
    List->Add("d", 1);
    EXPECT_EQ(List->Marked, 1);
    Run(Tab + Tab + Down + Tab + Tab + Enter);
    const uint8_t tags[] = {1, 2, 1, 0};
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(List->List[i]->Tag, tags[i - 1]) << i;
    EXPECT_EQ(List->Marked, 2);
    EXPECT_EQ(List->Picked, 4);
    EXPECT_EQ(Screen->Shadow[6][11], (TCharInfo{0x7F, '*'})); // over the row's leading blank
    EXPECT_EQ(Screen->Shadow[7][11], (TCharInfo{0x7F, ' '}));
    EXPECT_EQ(Screen->Shadow[8][11], (TCharInfo{0x7F, '*'}));
    EXPECT_EQ(Shown(12, 6, 2), "a ");
}

TEST_F(MenuListTest, ItemsAreCountedAddedDeletedAndCapped) {
    List->Add("one", 1);
    List->Add("two", 0);
    List->Add("three", 1);
    EXPECT_EQ(List->Marked, 2);
    List->Delete(1);
    EXPECT_EQ(List->Marked, 1);
    EXPECT_EQ(List->ListMax, 2);
    List->Delete(0);
    List->Delete(3);
    EXPECT_EQ(List->ListMax, 2);

    struct GetCase {
        uint16_t Index;
        std::string Text;
        bool Tagged;
    };
    const GetCase gets[] = {{1, "two", false}, {2, "three", true}, {0, "", false}, {3, "", false}};
    for (const GetCase& g : gets) {
        std::string text = "stale";
        bool tagged = true;
        List->Get(g.Index, text, tagged);
        EXPECT_EQ(text, g.Text) << g.Index;
        EXPECT_EQ(tagged, g.Tagged) << g.Index;
    }
    List->Clear();
    EXPECT_EQ(List->ListMax, 0);
    EXPECT_EQ(List->Marked, 0);

    for (int i = 1; i <= MaxListItems; ++i) List->Add("x", 0);
    List->Add("one too many", 1);
    EXPECT_EQ(List->ListMax, MaxListItems);
    EXPECT_EQ(List->Marked, 0);
    EXPECT_EQ(List->List[MaxListItems]->Text, "x");
}

TEST_F(MenuListTest, NoInputDrawsOnlyTheTrackAndUpdateTheRows) {
    Fill(30);
    List->NoInput = true;
    List->ExitCode = 'x';
    List->Picked = 12;
    List->Open(10, 5, 40, 16); // reads no key: nothing was typed
    EXPECT_EQ(List->ExitCode, 'x');
    EXPECT_EQ(List->TopPage, 3);
    for (int y = 6; y <= 15; ++y) {
        EXPECT_EQ(Shown(11, y, 29), std::string(29, ' ')) << y;
        EXPECT_TRUE(SameAttr(11, y, 29, 0x7F)) << y;
        EXPECT_EQ(Screen->Shadow[y][40], (TCharInfo{0x78, Track})) << y;
    }
    List->Update();
    ExpectWindow(12, 3, 10);

    List->NoInput = false;
    Run(Down + Enter);
    EXPECT_EQ(List->Picked, 13);
}

TEST_F(MenuListTest, WithoutAWindowNothingButRowsAndTrackIsDrawn) {
    WriteXY(1, 5, 0x4E, std::string(80, '#'));
    Fill(30);
    List->NoWindow = true;
    Run(Enter);
    EXPECT_EQ(Shown(1, 5, 80), std::string(80, '#'));
    EXPECT_EQ(Screen->Shadow[10][10], (TCharInfo{0x07, ' '}));
    ExpectWindow(1, 1, 6);
    List->Close(); // nothing to put back
    EXPECT_EQ(Screen->Shadow[6][11].Attr, 0x1F);
}

TEST_F(MenuListTest, EmptyListMovesNowhereAndStillExits) {
    List->AllowTag = true;
    Run(Right + PgDn + End + Down + Tab + Enter);
    EXPECT_EQ(List->Picked, 1);
    EXPECT_EQ(List->TopPage, 1);
    EXPECT_EQ(List->ExitCode, Key::Enter);
    EXPECT_EQ(List->Marked, 0);
    for (int y = 6; y <= 15; ++y) {
        EXPECT_EQ(Shown(11, y, 29), std::string(29, ' ')) << y;
        EXPECT_EQ(Screen->Shadow[y][11], (TCharInfo{0x7F, ' '})) << y; // the tag column
        EXPECT_TRUE(SameAttr(12, y, 28, y == 6 ? 0x1F : 0x71)) << y;
        EXPECT_EQ(Screen->Shadow[y][40], (TCharInfo{0x78, Track})) << y; // no thumb
    }
}

TEST_F(MenuListTest, RowTextIsAlignedAndCutToTheRow) {
    struct Case {
        uint8_t Format;
        std::string Item, Row; // Row: the 9 columns of a row, '.' where nothing is drawn
    };
    const Case cases[] = {
        {0, "abc", " abc     "},
        {1, "abc", "     abc "},
        {2, "abc", "   abc   "},
        {3, "abc", " abc ...."},
        {0, "0123456789AB", " 01234567"},
        {1, "0123456789AB", " 01234567"},
        {3, "0123456789AB", " 01234567"},
        {0, "\xC9\xCD\x80", " \xC9\xCD\x80     "}, // code page 437 bytes as they are
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Format) + " " + c.Item);
        WriteXY(1, 6, 0x07, std::string(80, '.'));
        List = std::make_unique<TMenuList>();
        List->NoWindow = true;
        List->ShowScroll = false;
        List->Format = c.Format;
        List->Add(c.Item, 0);
        Run(Enter, 20, 8);
        EXPECT_EQ(List->Width, 9);
        EXPECT_EQ(Shown(11, 6, 9), c.Row);
        EXPECT_EQ(Shown(20, 6, 2), "..");
    }
}

TEST_F(MenuListTest, SearchLineShowsTheLastFifteenLettersAndStaysInsideANarrowBox) {
    Fill(3);
    Run(Enter);
    DefListBoxSearch(*List, "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(Shown(12, 16, 17), "[fghijklmnopqrst]");
    EXPECT_EQ(Screen->Shadow[16][29].Ch, Bottom);

    List = std::make_unique<TMenuList>();
    Fill(3);
    Run(Enter, 20, 8); // 9 columns: the search line stops before the corner
    DefListBoxSearch(*List, "IT");
    EXPECT_EQ(Shown(12, 8, 9), "[it]" + std::string(4, Bottom) + '\xDB');
    EXPECT_EQ(Screen->Shadow[8][20].Attr, 0x78);
}

} // namespace

TEST_F(MenuListTest, ListsPartlyOffTheScreenOrWithoutRoomDrawOnlyOnTheScreen) {
    struct Case {
        std::string Name;
        uint8_t X1, Y1, X2, Y2;
    };
    const Case cases[] = {
        {"RightAndBelow", 70, 20, 100, 40},
        {"FarOff", 200, 200, 255, 255},
        {"NoInterior", 30, 10, 31, 11},
        {"NoRoomAtAll", 30, 10, 30, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        for (int y = 1; y <= 25; ++y)
            WriteXY(1, static_cast<uint8_t>(y), 0x4E, std::string(80, '#'));
        GotoXY(5, 5);
        const TConsoleScreenRec before = Screen->Shadow;
        List = std::make_unique<TMenuList>();
        Fill(30);
        TypeAndWait(Down + PgDn + End + Up + "item" + Tab + Enter);
        List->Open(c.X1, c.Y1, c.X2, c.Y2);
        ReadOutput();
        EXPECT_EQ(List->ExitCode, Key::Enter);
        EXPECT_EQ(WhereX(), 5);
        EXPECT_EQ(WhereY(), 5);
        for (int y = 1; y <= 25; ++y)
            for (int x = 1; x <= 80; ++x)
                if (y < c.Y1 || x < c.X1) {
                    EXPECT_EQ(Screen->Shadow[y][x], before[y][x]) << x << "," << y;
                }
        List->Close();
        EXPECT_EQ(Screen->Shadow, before);
        ReadOutput();
    }
}
