// The ANSI message image: a table of inputs and the cells, cursor and line
// count they must give, each fed whole and then one byte at a time (the two
// images must agree); the parameter reader; the line operations; and what
// DrawPage and the raw line writer send to a real pseudo-terminal.
#include "terminal/AnsiViewer.h"
#include "terminal/Console.h"
#include "tests/common/PtyFixture.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace std::literals;

// Text (character by character) and one attribute expected from Line, Col on.
struct Cells {
    int Line;
    int Col;
    std::string Text;
    uint8_t Attr;
};

struct Case {
    const char* Name;
    std::string In;
    std::vector<Cells> Want;
    int CurX; // -1: not checked
    int CurY;
    int Lines;
    bool Stops = false; // Feed's result
};

std::string LineFeeds(int N) {
    return std::string(static_cast<size_t>(N), '\n');
}

bool FeedWhole(TMsgBaseAnsi& A, const std::string& S) {
    bool stop = false;
    // Feed takes at most 65535 bytes at a time.
    for (size_t at = 0; at < S.size() && !stop; at += 65535) {
        const size_t n = std::min<size_t>(65535, S.size() - at);
        stop = A.Feed(S.data() + at, static_cast<uint16_t>(n));
    }
    return stop;
}

bool FeedBytes(TMsgBaseAnsi& A, const std::string& S) {
    for (char c : S)
        if (A.Feed(&c, 1)) return true;
    return false;
}

const std::vector<Case>& Cases() {
    static const std::vector<Case> c = {
        {"PlainText", "ABC", {{1, 1, "ABC\0"s, 7}}, 4, 1, 1},
        {"EightyCharsThenCrLfLeaveEmptyLine",
         std::string(80, 'x') + "\r\nY",
         {{1, 80, "x", 7}, {2, 1, "\0"s, 0}, {3, 1, "Y", 7}},
         2,
         3,
         3},
        {"TrailingLineFeedAddsNoLine", "a\r\nb\r\n", {{1, 1, "a", 7}, {2, 1, "b", 7}}, 1, 3, 2},
        {"NoLineBreakIsOneLine", "abc", {}, 4, 1, 1},
        {"BlinkThenBackgroundClearsBlink", "\x1b[5;44mx", {{1, 1, "x", 0x17}}, 2, 1, 1},
        {"BackgroundThenBlink", "\x1b[44;5mx", {{1, 1, "x", 0x97}}, 2, 1, 1},
        {"BrightThenRed", "\x1b[1;31mx", {{1, 1, "x", 12}}, -1, -1, 1},
        {"RedThenBright", "\x1b[31;1mx", {{1, 1, "x", 12}}, -1, -1, 1},
        {"ReverseDropsBright", "\x1b[1;37;44m\x1b[7mx", {{1, 1, "x", 0x71}}, -1, -1, 1},
        {"ReverseKeepsBlink", "\x1b[5;7mx", {{1, 1, "x", 0xF0}}, -1, -1, 1},
        {"BlackOnWhite", "\x1b[30;47mx", {{1, 1, "x", 0x70}}, -1, -1, 1},
        {"EmptyParameterReadsZero", "\x1b[1;;32mx", {{1, 1, "x", 2}}, -1, -1, 1},
        {"NoParameterResets", "\x1b[1;31m\x1b[mx", {{1, 1, "x", 7}}, -1, -1, 1},
        {"LongParameterListIsCut",
         "\x1b[" + std::string(254, '0') + "12mx", // 255 characters held: 0...01
         {{1, 1, "x", 15}},
         -1,
         -1,
         1},
        {"PipeForegroundKeepsBackground", "\x1b[44;5m|14x", {{1, 1, "x", 0x1E}}, 2, 1, 1},
        {"PipeBackground", "|17x", {{1, 1, "x", 0x17}}, 2, 1, 1},
        {"PipeBrightForeground", "|15x|00y", {{1, 1, "x", 15}, {1, 2, "y", 0}}, 3, 1, 1},
        {"PipeOutOfRangeIsText", "|24|-1", {{1, 1, "|24|-1", 7}}, 7, 1, 1},
        {"PipeNonNumberIsZero", "|abx", {{1, 1, "x", 0}}, 2, 1, 1},
        {"PipeAcrossLineBreak", "|1\r\n2x", {{2, 1, "x", 12}, {1, 1, "\0"s, 0}}, 2, 2, 2},
        {"PipeTakesEscape", "|\x1b[31mq", {{1, 1, "31mq", 0}}, 5, 1, 1},
        {"EscapeAndOtherByteDropped", "\x1bXab", {{1, 1, "ab\0"s, 7}}, 3, 1, 1},
        {"EscapeInsideSequenceEndsIt", "\x1b[1\x1b[0mz", {{1, 1, "[0mz", 7}}, 5, 1, 1},
        {"EraseDisplayDoesNothing", "ab\x1b[2Jq", {{1, 1, "abq", 7}}, 4, 1, 1},
        {"GotoLineThenColumn", "\x1b[10;5Hq", {{10, 5, "q", 7}}, 6, 10, 10},
        {"GotoLineModulo256", "\x1b[300;1Hq", {{44, 1, "q", 7}}, 2, 44, 44},
        {"GotoColumnModulo256",
         "\x1b[5;300Hq\x1b[6;256Hr\x1b[;3Hs",
         {{5, 44, "q", 7}, {6, 1, "r", 7}, {1, 3, "s", 7}},
         4,
         1,
         6},
        {"RightPastColumn80WrapsOnce", "\x1b[1;78H\x1b[5Cq", {{2, 3, "q", 7}}, 4, 2, 2},
        {"LeftStopsAtColumn1", "\x1b[1;20H\x1b[99Dq", {{1, 1, "q", 7}}, 2, 1, 1},
        {"UpStopsAtLine1", "\x1b[10;1H\x1b[99Aq", {{1, 1, "q", 7}}, 2, 1, 10},
        {"DownTakesModulo256", "\x1b[300Bq", {{45, 1, "q", 7}}, 2, 45, 45},
        {"HugeCountsStayInImage",
         "\x1b[2147483647Cq\x1b[2147483647Ar\x1b[2147483647Bs",
         {{2, 80, "q", 7}, {1, 1, "r", 7}, {256, 2, "s", 7}},
         3,
         256,
         256},
        {"CountBeyond32BitsReadsAsOne", "\x1b[99999999999Cq", {{1, 2, "q", 7}}, 3, 1, 1},
        {"EraseLineFromCursor",
         "\x1b[3;20H\x1b[44m\x1b[K",
         {{3, 19, "\0"s, 0}, {3, 20, std::string(61, ' '), 0x17}},
         20,
         3,
         3},
        {"SaveKeepsLineModulo256",
         LineFeeds(299) + "\x1b[5C\x1b[s\x1b[1;1H\x1b[uq",
         {{44, 6, "q", 7}},
         7,
         44,
         300},
        {"RestoreBeforeSaveGoesHome", "\x1b[5;5H\x1b[uq", {{1, 1, "q", 7}}, 2, 1, 5},
        {"TabMovesEightWithoutWriting",
         "a\tb\x1b[2;77H\tc",
         {{1, 1, "a\0"s, 7}, {1, 10, "b", 7}, {2, 80, "c", 7}},
         1,
         3,
         2},
        {"FormFeedDropped", "a\fb", {{1, 1, "ab", 7}}, 3, 1, 1},
        {"OtherControlBytesAreCells", "a\x07\x08", {{1, 1, "a\x07\x08", 7}}, 4, 1, 1},
        {"CtrlZStopsLoading",
         "ab\x1a"
         "cd\r\nSAUCE",
         {{1, 1, "ab\0"s, 7}},
         3,
         1,
         1,
         true},
        {"LineFeedOnLastLineStops",
         LineFeeds(4999) + "ab\ncd",
         {{5000, 1, "ab\0"s, 7}},
         3,
         5000,
         5000,
         true},
        {"LastCellTakesOverflow",
         LineFeeds(4999) + std::string(79, 'a') + "bcd",
         {{5000, 79, "ad", 7}},
         80,
         5000,
         5000},
        {"EraseLineOnLastCell",
         LineFeeds(4999) + "\x1b[79C\x1b[Kz",
         {{5000, 79, "\0z"s, 7}},
         80,
         5000,
         5000},
        {"RightOnLastLineStaysOnIt",
         LineFeeds(4999) + "\x1b[77C\x1b[5Cq",
         {{5000, 3, "q", 7}},
         4,
         5000,
         5000},
        {"CursorDownAfterLastByteAddsNoLine", "a\x1b[5B", {}, 2, 6, 1},
    };
    return c;
}

void CheckCells(const TMsgBaseAnsi& A, const Case& C) {
    for (const Cells& w : C.Want) {
        for (size_t i = 0; i < w.Text.size(); ++i) {
            const int x = w.Col + static_cast<int>(i);
            const uint8_t wantAttr = w.Text[i] == '\0' ? 0 : w.Attr;
            EXPECT_EQ(A.Data[w.Line][x], (RecAnsiCell{w.Text[i], wantAttr}))
                << C.Name << ": line " << w.Line << ", column " << x;
        }
    }
    if (C.CurX >= 0) {
        EXPECT_EQ(A.CurX, C.CurX) << C.Name;
    }
    if (C.CurY >= 0) {
        EXPECT_EQ(A.CurY, C.CurY) << C.Name;
    }
    EXPECT_EQ(A.Lines, C.Lines) << C.Name;
}

TEST(AnsiImage, CasesGiveTheirCellsWholeAndByteByByte) {
    for (const Case& c : Cases()) {
        // Fresh objects: Clear keeps the saved cursor position.
        auto whole = std::make_unique<TMsgBaseAnsi>(0, 0);
        auto bytes = std::make_unique<TMsgBaseAnsi>(0, 0);
        EXPECT_EQ(FeedWhole(*whole, c.In), c.Stops) << c.Name;
        EXPECT_EQ(FeedBytes(*bytes, c.In), c.Stops) << c.Name;
        CheckCells(*whole, c);
        EXPECT_TRUE(whole->Data == bytes->Data) << c.Name << ": images differ";
        EXPECT_EQ(whole->CurX, bytes->CurX) << c.Name;
        EXPECT_EQ(whole->CurY, bytes->CurY) << c.Name;
        EXPECT_EQ(whole->Lines, bytes->Lines) << c.Name;
        EXPECT_EQ(whole->Attr, bytes->Attr) << c.Name;
    }
}

TEST(AnsiImage, CreateAndClearGiveTheEmptyImage) {
    auto a = std::make_unique<TMsgBaseAnsi>(42, 0);
    EXPECT_EQ(a->Tag, 42);
    EXPECT_EQ(a->SavedX, 0);
    EXPECT_EQ(a->SavedY, 0);
    FeedWhole(*a, "\x1b[3;9H\x1b[s\x1b[1;44mxyz|1");
    ASSERT_TRUE(a->InPipe);
    a->Clear();
    auto fresh = std::make_unique<TMsgBaseAnsi>(0, 0);
    EXPECT_TRUE(a->Data == fresh->Data);
    EXPECT_EQ(a->Data[5000][80], (RecAnsiCell{'\0', 0}));
    EXPECT_EQ(a->CurX, 1);
    EXPECT_EQ(a->CurY, 1);
    EXPECT_EQ(a->Lines, 1);
    EXPECT_EQ(a->Attr, 7);
    EXPECT_EQ(a->EscState, 0);
    EXPECT_FALSE(a->InPipe);
    EXPECT_TRUE(a->PipeCode.empty());
    EXPECT_TRUE(a->EscParams.empty());
    EXPECT_FALSE(a->CsiStarted);
    EXPECT_EQ(a->SavedX, 9); // Clear leaves the saved position alone
    EXPECT_EQ(a->SavedY, 3);
    // Nor does a sequence survive it.
    FeedWhole(*a, "\x1b[1;3");
    a->Clear();
    EXPECT_EQ(a->EscState, 0);
    FeedWhole(*a, "5mq");
    EXPECT_EQ(a->Data[1][1], (RecAnsiCell{'5', 7}));
}

TEST(AnsiImage, PutCharStopsOnTheLastCell) {
    auto a = std::make_unique<TMsgBaseAnsi>(0, 0);
    a->MoveXY(79, 5000);
    EXPECT_FALSE(a->PutChar('a'));
    EXPECT_TRUE(a->PutChar('b'));
    EXPECT_TRUE(a->PutChar('c'));
    EXPECT_EQ(a->Data[5000][80], (RecAnsiCell{'c', 7}));
    EXPECT_EQ(a->CurX, 80);
    a->MoveXY(0, 0);
    EXPECT_EQ(a->CurX, 1);
    EXPECT_EQ(a->CurY, 1);
    a->MoveXY(65535, 65535);
    EXPECT_EQ(a->CurX, 80);
    EXPECT_EQ(a->CurY, 5000);
}

TEST(AnsiImage, NextParamTakesDigitsAndOneCharacter) {
    struct P {
        std::string In;
        int32_t Value;
        std::string Rest;
    };
    const P table[] = {
        {"12;5", 12, "5"},
        {"", 0, ""},
        {";7", 0, "7"},
        {"x5", 0, "5"},
        {"7", 7, ""},
        {"?25", 0, "25"},
        {"2147483647;1", 2147483647, "1"},
        {"2147483648;1", 0, "1"}, // more than a 32-bit signed value holds
        {std::string(200, '9') + ";3", 0, "3"},
        {"0000000000005", 5, ""},
    };
    for (const P& t : table) {
        std::string s = t.In;
        EXPECT_EQ(TMsgBaseAnsi::NextParam(s), t.Value) << t.In;
        EXPECT_EQ(s, t.Rest) << t.In;
    }
}

TEST(AnsiImage, LineOperations) {
    auto a = std::make_unique<TMsgBaseAnsi>(0, 0);
    FeedWhole(*a, "one\r\ntwo\r\nthree");
    EXPECT_EQ(a->LineText(2), "two" + std::string(77, '\0'));
    EXPECT_EQ(a->LineText(0), "");
    EXPECT_EQ(a->LineText(4), "");

    a->SetLineAttr(0x4E, 2);
    EXPECT_EQ(a->Data[2][1], (RecAnsiCell{'t', 0x4E}));
    EXPECT_EQ(a->Data[2][80], (RecAnsiCell{'\0', 0x4E}));
    a->SetLineAttr(0x4E, 0);    // ignored
    a->SetLineAttr(0x4E, 5001); // ignored

    a->DeleteLine(1);
    EXPECT_EQ(a->Lines, 2);
    EXPECT_EQ(a->Data[1][1], (RecAnsiCell{'t', 0x4E}));
    EXPECT_EQ(a->LineText(2).substr(0, 5), "three");
    EXPECT_EQ(a->Data[3][1], (RecAnsiCell{'t', 7})); // the old last line keeps its cells
    a->DeleteLine(9);                                // past the end: nothing moves, one line fewer
    EXPECT_EQ(a->Lines, 1);
    a->DeleteLine(1);
    a->DeleteLine(1);
    EXPECT_EQ(a->Lines, 0); // never below 0
    EXPECT_EQ(a->LineText(1), "");
}

// Drawing on a real pseudo-terminal.
class AnsiImageDraw : public ConsolePtyFixture {};

TEST_F(AnsiImageDraw, DrawPageSendsAll80ColumnsAndSkipsLinesPastTheEnd) {
    auto a = std::make_unique<TMsgBaseAnsi>(0, 0);
    FeedWhole(*a, "AB\x1b[1;44m\xff\x1b[0m\x1b[1;80HZ\x1b[2;1H\x1b[1;31mC");
    ASSERT_EQ(a->Lines, 2);
    WriteXY(1, 3, 0x1E, "keep");
    ReadOutput();

    a->DrawPage(1, 3, 1);
    // Column 80 is drawn too (the Z), and each row ends by putting the
    // cursor back at its start.
    const std::string want = "\x1b[1;1H\x1b[1;1HAB\x1b[1;44m \x1b[0;30m" + std::string(76, ' ') +
                             "\x1b[0mZ\x1b[1;1H\x1b[2;1H\x1b[2;1H\x1b[1;31mC\x1b[0;30m" +
                             std::string(79, ' ') + "\x1b[2;1H\x1b[3;1H";
    EXPECT_EQ(ReadOutput(), want);
    EXPECT_EQ(ScreenCharAt(3, 1), ' ');
    EXPECT_EQ(ScreenAttrAt(3, 1), 0x1F);
    EXPECT_EQ(ScreenCharAt(80, 1), 'Z');
    EXPECT_EQ(ScreenAttrAt(80, 1), 7);
    EXPECT_EQ(ScreenCharAt(1, 3), 'k'); // a row past the image keeps what it showed
    EXPECT_EQ(ScreenAttrAt(1, 3), 0x1E);
    EXPECT_EQ(WhereX(), 1);
    EXPECT_EQ(WhereY(), 3);
    EXPECT_EQ(GetTextAttr(), 0); // the last cell drawn

    a->DrawPage(5, 4, 1); // no rows: only the flush
    a->DrawPage(1, 1, 0); // line 0 is no line
    EXPECT_EQ(ReadOutput(), "\x1b[1;1H");
}

TEST_F(AnsiImageDraw, ControlBytesOfTheTextStayInTheirCells) {
    // A text line may hold BS and other control bytes (CR and LF end lines,
    // tabs move): each is one cell of the stand-in, drawn in place.
    auto a = std::make_unique<TMsgBaseAnsi>(0, 0);
    FeedWhole(*a, "a\bb\x01"
                  "c\x7f"
                  "d");
    ReadOutput();
    const std::string row =
        "a"s + ControlStandIn + "b" + ControlStandIn + "c" + ControlStandIn + "d";
    a->DrawPage(2, 2, 1);
    EXPECT_EQ(ReadOutput(), "\x1b[2;1H\x1b[2;1H" + row + "\x1b[30m" +
                                std::string(80 - row.size(), ' ') + "\x1b[2;1H");
    for (std::size_t i = 0; i < row.size(); ++i) EXPECT_EQ(ScreenCharAt(uint8_t(1 + i), 2), row[i]);
    a->DrawAll();
    EXPECT_EQ(ReadOutput().substr(0, 4 + row.size()), "\x1b[0m" + row);
}

TEST_F(AnsiImageDraw, RawLineAndCursorEscape) {
    auto a = std::make_unique<TMsgBaseAnsi>(0, 0);
    FeedWhole(*a, "\x1b[1;80HZ");
    GotoXY(7, 4);
    ReadOutput();
    EXPECT_EQ(CursorEscape(0, 0), "\x1b[4;7H");
    EXPECT_EQ(CursorEscape(12, 0), "\x1b[4;12H");
    EXPECT_EQ(CursorEscape(3, 9), "\x1b[9;3H");

    a->DrawLineRaw(5, 1, true);
    EXPECT_EQ(ReadOutput(), "\x1b[5;1H\x1b[30m" + std::string(79, ' ') + "\x1b[0mZ");
    a->DrawLineRaw(6, 2, true);
    EXPECT_EQ(ReadOutput(), "\x1b[6;1H\x1b[K");
    EXPECT_EQ(ScreenCharAt(80, 5), ' '); // raw output passes the shadow by
    EXPECT_EQ(WhereX(), 7);
    EXPECT_EQ(WhereY(), 4);
}

TEST_F(AnsiImageDraw, DrawAllPutsEachLineOnItsOwnRow) {
    auto a = std::make_unique<TMsgBaseAnsi>(0, 0);
    FeedWhole(*a, "\x1b[0;1;37mab\r\ncd");
    a->DrawAll();
    EXPECT_EQ(ReadOutput(), "\x1b[1mab\x1b[0;30m" + std::string(77, ' ') + "\r\n\x1b[0;1mcd" +
                                "\x1b[0;30m" + std::string(77, ' ') + "\r\n");
    EXPECT_EQ(ScreenCharAt(1, 2), 'c');
    EXPECT_EQ(WhereY(), 3);
}

} // namespace
