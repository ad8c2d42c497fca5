// The Console procedures on a real pseudo-terminal: start and end, the size
// request, the two-step colour changes, the shadow readers and setters, screen
// images, the pipe-coded writers' widths and the keyboard forwards.
#include "terminal/Console.h"

#include "tests/common/PtyFixture.h"
#include "tests/common/TempDirFixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using Writes = std::vector<std::string>;

class ConsoleStart : public PtyFixture {
protected:
    void TearDown() override {
        DoneConsole();
        PtyFixture::TearDown();
    }
};

TEST_F(ConsoleStart, InitSendsStartBytesAndDoneRestoresSettings) {
    DoneConsole(); // never initialised: nothing to do, nothing sent
    EXPECT_TRUE(TakeWrites().empty());

    const termios Before = SlaveSettings();
    InitConsole();
    ASSERT_TRUE(Screen);
    ASSERT_TRUE(Keyboard);
    EXPECT_EQ(TakeWrites(), (Writes{"\x1b(U\x1b[0m", "\x1b[2J\x1b[1;1H"}));
    const termios Raw = SlaveSettings();
    EXPECT_EQ(Raw.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(Raw.c_oflag & OPOST, 0u);
    EXPECT_EQ(Raw.c_cc[VMIN], 1);
    EXPECT_EQ(WhereX(), 1);
    EXPECT_EQ(WhereY(), 1);
    EXPECT_EQ(GetTextAttr(), 7);

    InitConsole(); // already up: the saved settings stay the ones found first
    EXPECT_TRUE(TakeWrites().empty());

    SetTextAttr(0x1F); // queued only; the finalisation sends it
    EXPECT_TRUE(TakeWrites().empty());
    DoneConsole();
    EXPECT_FALSE(Screen);
    EXPECT_FALSE(Keyboard);
    EXPECT_EQ(TakeWrites(), (Writes{"\x1b[1;44m"}));
    EXPECT_TRUE(SameSettings(SlaveSettings(), Before));

    DoneConsole(); // twice: harmless
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_TRUE(SameSettings(SlaveSettings(), Before));
}

TEST_F(ConsoleStart, TerminalSizeFromTheWindowSizeRequest) {
    struct Case {
        unsigned short Rows, Cols;
        int WantRows, WantCols, WantMaxCol;
    };
    const Case Cases[] = {
        {0, 0, 25, 80, 79},       // the pty reports no size
        {25, 80, 25, 80, 79},     //
        {50, 132, 50, 132, 131},  // recorded, but drawing stays on 80 x 25
        {24, 0, 25, 80, 79},      // one dimension 0: no usable report
        {0, 100, 25, 80, 79},     //
        {60, 300, 60, 255, 254},  // wider than a byte holds: as wide as it can
        {256, 256, 255, 255, 254} // never wraps round to 0
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(std::to_string(C.Rows) + "x" + std::to_string(C.Cols));
        SetWindowSize(C.Rows, C.Cols);
        InitConsole();
        EXPECT_EQ(ScreenRows, C.WantRows);
        EXPECT_EQ(ScreenCols, C.WantCols);
        EXPECT_EQ(WinMaxCol, C.WantMaxCol);
        EXPECT_EQ(WinMinCol, 0);
        GotoXY(100, 40); // still limited to 80 x 25
        EXPECT_EQ(WhereX(), 80);
        EXPECT_EQ(WhereY(), 25);
        DoneConsole();
    }
}

TEST_F(ConsoleStart, StandardOutputNotATerminalGives25By80) {
    SetWindowSize(50, 132); // on the pty, which is not standard output here
    const termios Before = SlaveSettings();
    int Null = open("/dev/null", O_WRONLY);
    ASSERT_GE(Null, 0);
    ASSERT_EQ(dup2(Null, 1), 1);
    close(Null);
    InitConsole();
    EXPECT_EQ(ScreenRows, 25);
    EXPECT_EQ(ScreenCols, 80);
    WriteText("still written");
    DoneConsole();
    dup2(Slave(), 1);
    EXPECT_TRUE(SameSettings(SlaveSettings(), Before));
}

using ConsoleOnPty = ConsolePtyFixture;

TEST(PipeLengthTest, CountsEveryBarWithTwoCharactersAfterItAsACode) {
    struct Case {
        std::string In;
        int Want;
    };
    const Case Cases[] = {
        {"|07Hello", 5},   {"ab|5", 4},
        {"|ab", 0},        {"||ab", 1},
        {"", 0},           {"|", 1},
        {"a|", 2},         {"|0", 2},
        {"x|07", 1},       {"|07|14ab", 2},
        {"|&1x", 1},       {"a|b|c", 2},
        {"|07ab|1", 4},    {"|||", 0},
        {"ab|07cd|99", 4}, {std::string(300, 'a'), 255}, // longer strings are cut first
    };
    for (const Case& C : Cases) EXPECT_EQ(PipeLength(C.In), C.Want) << C.In;
}

TEST_F(ConsoleOnPty, WriteXYPipeTouchesOnlyTheTerminal) {
    GotoXY(5, 6);
    ClearWrites();
    WriteXYPipe(1, 1, 7, "|14Hi");
    // Width is the visible length: exactly "Hi", no padding, then back.
    EXPECT_EQ(TakeWrites(), (Writes{"\x1b[1;1H", "\x1b[1;33mHi\x1b[0m\x1b[6;5H"}));
    EXPECT_EQ(ScreenCharAt(1, 1), ' ');
    EXPECT_EQ(ScreenCharAt(2, 1), ' ');
    EXPECT_EQ(GetTextAttr(), 7);
    EXPECT_EQ(WhereX(), 5);
    EXPECT_EQ(WhereY(), 6);
}

TEST_F(ConsoleOnPty, WriteCenteredPipeCentresTheVisibleText) {
    WriteCenteredPipe("|07abcd", 5);
    Writes W = TakeWrites();
    ASSERT_EQ(W.size(), 2u);
    EXPECT_EQ(W[0], "\x1b[5;38H");
    EXPECT_EQ(W[1], "abcd\x1b[1;1H");
}

TEST_F(ConsoleOnPty, WideCenteredTextStartsAtColumnOne) {
    WriteCenteredPipe(std::string(200, 'x'), 3);
    Writes W = TakeWrites();
    ASSERT_FALSE(W.empty());
    EXPECT_EQ(W[0], "\x1b[3;1H");
}

TEST_F(ConsoleOnPty, ScreenCellsOutsideTheScreenAreBlankAndUntouchable) {
    Screen->Shadow[26][5] = TCharInfo{0x4F, 'Z'}; // the shadow has lines beyond 25
    EXPECT_EQ(ScreenCharAt(5, 26), ' ');
    const std::pair<uint8_t, uint8_t> Outside[] = {{0, 5}, {81, 5}, {5, 0}, {255, 255}};
    for (auto [X, Y] : Outside) EXPECT_EQ(ScreenCharAt(X, Y), ' ') << int(X) << "," << int(Y);

    SetScreenCharAt('Q', 5, 26);
    SetScreenAttrAt(0x12, 5, 26);
    EXPECT_EQ(Screen->Shadow[26][5], (TCharInfo{0x4F, 'Z'}));
    SetScreenCharAt('Q', 0, 1);
    SetScreenCharAt('Q', 81, 1);
    SetScreenAttrAt(0x12, 1, 0);

    SetScreenCharAt('Q', 80, 25);
    SetScreenAttrAt(0x12, 80, 25);
    EXPECT_EQ(Screen->Shadow[25][80], (TCharInfo{0x12, 'Q'}));
    EXPECT_EQ(ScreenCharAt(80, 25), 'Q');
    EXPECT_EQ(ScreenAttrAt(80, 25), 0x12);
    EXPECT_EQ(ScreenAttrAt(5, 26), 0x4F); // the attribute reader is not limited to 25 lines
    EXPECT_TRUE(TakeWrites().empty());    // the setters send nothing
    FlushScreen();
    EXPECT_TRUE(TakeWrites().empty());
}

TEST_F(ConsoleOnPty, ColourChangesQueueTheirStepsAndKeepTheOtherColour) {
    struct Case {
        const char* Name;
        uint8_t Start;
        std::function<void()> Op;
        uint8_t Want;
        std::string Sent;
    };
    const std::vector<Case> Cases = {
        {"SetForeground14", 0x17, [] { SetForeground(14); }, 0x1E, "\x1b[30m\x1b[0;1;33;44m"},
        {"SetBackground9", 0x07, [] { SetBackground(9); }, 0x97, "\x1b[0;5;44m"},
        {"SetBright", 0x07, [] { SetBright(); }, 0x0F, "\x1b[30m\x1b[0;1m"},
        {"ClearBright", 0x1F, [] { ClearBright(); }, 0x17, "\x1b[0;30;44m\x1b[0;44m"},
        {"SetNormalColors", 0x4E, [] { SetNormalColors(); }, 0x07,
         "\x1b[0;30;41m\x1b[0;41m\x1b[0m"},
        {"SameForeground", 0x1E, [] { SetForeground(14); }, 0x1E, "\x1b[0;30;44m\x1b[0;1;33;44m"},
        {"SetTextAttrSame", 0x1E, [] { SetTextAttr(0x1E); }, 0x1E, ""},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        SetTextAttr(C.Start);
        FlushScreen();
        ClearWrites();
        C.Op();
        EXPECT_TRUE(TakeWrites().empty()); // queued, not yet sent
        FlushScreen();
        Writes W = TakeWrites();
        EXPECT_EQ(W.empty() ? "" : W[0], C.Sent);
        EXPECT_EQ(GetTextAttr(), C.Want);
    }
}

TEST_F(ConsoleOnPty, ColourReadersSplitTheAttribute) {
    SetTextAttr(0x97);
    EXPECT_EQ(GetForeground(), 7);
    EXPECT_EQ(GetBackground(), 9); // the blink bit included
    EXPECT_EQ(ForegroundOf(0xAB), 11);
    EXPECT_EQ(BackgroundOf(0xAB), 10);
    SetTextAttr(7);
    FlushScreen();
    ClearWrites();
    EXPECT_EQ(AttrEscape(0x1F), "\x1b[1;44m");
    EXPECT_EQ(AttrEscape(7), "");
    EXPECT_EQ(GetTextAttr(), 7);
    FlushScreen();
    EXPECT_TRUE(TakeWrites().empty()); // nothing was queued
}

TEST_F(ConsoleOnPty, SaveAndRestoreScreenRoundTrip) {
    WriteXY(1, 1, 0x1F, "top line");
    WriteXY(70, 12, 0x4E, "middle");
    WriteXY(75, 25, 0x70, "last");
    Screen->Shadow[26][1] = TCharInfo{0x4F, 'Z'}; // not part of an image
    SetTextAttr(0x1E);
    GotoXY(10, 12);
    const TConsoleScreenRec Drawn = Screen->Shadow;

    TConsoleImageRec Img;
    SaveScreen(Img);
    EXPECT_EQ(Img.X1, 1);
    EXPECT_EQ(Img.X2, 80);
    EXPECT_EQ(Img.Y1, 1);
    EXPECT_EQ(Img.Y2, 25);
    for (int Y = 1; Y <= 25; Y++) EXPECT_EQ(Img.Data[Y], Drawn[Y]) << "line " << Y;
    for (int Y = 26; Y <= 50; Y++) EXPECT_EQ(Img.Data[Y], TConsoleLineRec{}) << "line " << Y;

    for (int Round = 0; Round < 2; Round++) { // an image may be restored again
        SCOPED_TRACE(Round);
        SetTextAttr(0x70);
        ClearScreen();
        WriteXY(1, 1, 0x0C, "scribble");
        WriteXYPipe(70, 12, 7, "|14over");
        GotoXY(3, 3);
        RestoreScreen(Img);
        for (int Y = 1; Y <= 25; Y++) EXPECT_EQ(Screen->Shadow[Y], Drawn[Y]) << "line " << Y;
        EXPECT_EQ(GetTextAttr(), 0x1E);
        EXPECT_EQ(WhereX(), 10);
        EXPECT_EQ(WhereY(), 12);
    }
    const std::string Out = ReadOutput();
    EXPECT_NE(Out.find("middle"), std::string::npos);
}

TEST_F(ConsoleOnPty, FillAreaFillsUpToButExcludingX2) {
    SetTextAttr(0x1F);
    FillArea(10, 2, 15, 3, 'x');
    for (int Y = 1; Y <= 4; Y++)
        for (int X = 8; X <= 16; X++) {
            const bool In = Y >= 2 && Y <= 3 && X >= 10 && X <= 14;
            EXPECT_EQ(ScreenCharAt(X, Y), In ? 'x' : ' ') << X << "," << Y;
            EXPECT_EQ(ScreenAttrAt(X, Y), In ? 0x1F : 0x07) << X << "," << Y;
        }
    EXPECT_EQ(GetTextAttr(), 0x1F);
    // X2 not right of X1: nothing is filled (no count wraps round).
    FillArea(20, 5, 20, 5, 'y');
    FillArea(21, 5, 20, 5, 'y');
    for (int X = 1; X <= 80; X++) EXPECT_EQ(ScreenCharAt(X, 5), ' ');
}

TEST_F(ConsoleOnPty, TextAndCursorProceduresForwardToTheWriter) {
    GotoXY(3, 4);
    WriteText("ab");
    EXPECT_EQ(ScreenCharAt(3, 4), 'a');
    EXPECT_EQ(WhereX(), 5);
    WriteString("c");
    EXPECT_EQ(ScreenCharAt(5, 4), 'c');
    GotoX(10);
    EXPECT_EQ(WhereX(), 10);
    EXPECT_EQ(WhereY(), 4);
    GotoY(7);
    EXPECT_EQ(WhereX(), 10);
    EXPECT_EQ(WhereY(), 7);
    WriteLine("x");
    EXPECT_EQ(WhereX(), 1);
    EXPECT_EQ(WhereY(), 8);
    WriteBlankLine();
    EXPECT_EQ(WhereY(), 9);
    WritePipe("|14y");
    EXPECT_EQ(ScreenCharAt(1, 9), 'y');
    EXPECT_EQ(ScreenAttrAt(1, 9), 0x0E);
    ClearWrites();
    QueueText("zz");
    ClearEol();
    EXPECT_TRUE(TakeWrites().empty());
    FlushScreen();
    EXPECT_EQ(TakeWrites(), (Writes{"zz\x1b[K"}));
    EXPECT_EQ(WhereX(), 2); // queued text is not tracked
}

TEST_F(ConsoleOnPty, EscapeProceduresGoThroughTheTrackedWriter) {
    SetTextAttr(0x1F);
    FlushScreen();
    ClearWrites();
    ResetCharset();
    EXPECT_EQ(TakeWrites(), (Writes{"\x1b(U\x1b[0m"}));
    EXPECT_EQ(GetTextAttr(), 0x1F); // the terminal's rendition changed, the tracked one not
    EXPECT_EQ(WhereX(), 8);
    EXPECT_EQ(ScreenCharAt(1, 1), '\x1b');
    CursorSoft();
    EXPECT_EQ(TakeWrites(), (Writes{"\x1b[?112c\x07\r\n"}));
    CursorNormal();
    EXPECT_EQ(TakeWrites(), (Writes{"\x1b[?2c\x07\r\n"}));
}

TEST_F(ConsoleOnPty, KeyboardProceduresForwardToTheReader) {
    EXPECT_FALSE(KeyPressed());
    EXPECT_FALSE(WaitKey(0));
    TypeAndWait("\x1b[Aq");
    EXPECT_TRUE(KeyPressed());
    EXPECT_EQ(ReadKey(), '\0');
    EXPECT_EQ(ReadKey(), 72);
    EXPECT_TRUE(WaitKey(-1));
    EXPECT_EQ(ReadKey(), 'q');
    EXPECT_EQ(AltKeyCode('q'), 16);
    Delay(1);
}

TEST_F(ConsoleOnPty, CtrlCPressedConsumesTheKeyItLooksAt) {
    EXPECT_FALSE(CtrlCPressed()); // nothing waiting: no wait either

    TypeAndWait("a");
    EXPECT_FALSE(CtrlCPressed());
    EXPECT_FALSE(KeyPressed()); // "a" is gone

    TypeAndWait("\x03");
    ClearWrites();
    EXPECT_TRUE(CtrlCPressed());
    EXPECT_EQ(TakeWrites(), (Writes{"Ctrl-C pressed\r\n"}));
    EXPECT_FALSE(KeyPressed());
}

TEST(AppendTextLineTest, CreatesThenAppendsLinesEndedByLF) {
    TempDir Dir;
    const std::string Name = Dir / "log.txt";
    AppendTextLine(Name, "one");
    EXPECT_EQ(ReadFileBytes(Name), "one\n");
    AppendTextLine(Name, "two \xC4");
    EXPECT_EQ(ReadFileBytes(Name), "one\ntwo \xC4\n");
    AppendTextLine(Dir.Path(), "into a directory"); // cannot be opened: ignored
    AppendTextLine(Dir / "missing/x.txt", "no such directory");
    EXPECT_EQ(ReadFileBytes(Name), "one\ntwo \xC4\n");
}

} // namespace
