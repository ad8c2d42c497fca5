// The Console procedures on a real pseudo-terminal: start and end, the size
// request, the two-step colour changes, the shadow readers and setters, screen
// images, the pipe-coded writers' widths and the keyboard forwards.
#include "terminal/Console.h"
#include "tests/common/PtyFixture.h"
#include "tests/common/TempDirFixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

    const termios before = SlaveSettings();
    InitConsole();
    ASSERT_TRUE(Screen);
    ASSERT_TRUE(Keyboard);
    EXPECT_EQ(TakeWrites(), (Writes{"\x1b(U\x1b[0m", "\x1b[2J\x1b[1;1H"}));
    const termios raw = SlaveSettings();
    EXPECT_EQ(raw.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(raw.c_oflag & OPOST, 0u);
    EXPECT_EQ(raw.c_cc[VMIN], 1);
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
    EXPECT_TRUE(SameSettings(SlaveSettings(), before));

    DoneConsole(); // twice: harmless
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_TRUE(SameSettings(SlaveSettings(), before));
}

TEST_F(ConsoleStart, TerminalSizeFromTheWindowSizeRequest) {
    struct Case {
        unsigned short Rows, Cols;
        int WantRows, WantCols, WantMaxCol;
    };
    const Case cases[] = {
        {0, 0, 25, 80, 79},       // the pty reports no size
        {25, 80, 25, 80, 79},     //
        {50, 132, 50, 132, 131},  // recorded, but drawing stays on 80 x 25
        {24, 0, 25, 80, 79},      // one dimension 0: no usable report
        {0, 100, 25, 80, 79},     //
        {60, 300, 60, 255, 254},  // wider than a byte holds: as wide as it can
        {256, 256, 255, 255, 254} // never wraps round to 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Rows) + "x" + std::to_string(c.Cols));
        SetWindowSize(c.Rows, c.Cols);
        InitConsole();
        EXPECT_EQ(ScreenRows, c.WantRows);
        EXPECT_EQ(ScreenCols, c.WantCols);
        EXPECT_EQ(WinMaxCol, c.WantMaxCol);
        EXPECT_EQ(WinMinCol, 0);
        GotoXY(100, 40); // still limited to 80 x 25
        EXPECT_EQ(WhereX(), 80);
        EXPECT_EQ(WhereY(), 25);
        DoneConsole();
    }
}

TEST_F(ConsoleStart, StandardOutputNotATerminalGives25By80) {
    SetWindowSize(50, 132); // on the pty, which is not standard output here
    const termios before = SlaveSettings();
    int null = open("/dev/null", O_WRONLY);
    ASSERT_GE(null, 0);
    ASSERT_EQ(dup2(null, 1), 1);
    close(null);
    InitConsole();
    EXPECT_EQ(ScreenRows, 25);
    EXPECT_EQ(ScreenCols, 80);
    WriteText("still written");
    DoneConsole();
    dup2(Slave(), 1);
    EXPECT_TRUE(SameSettings(SlaveSettings(), before));
}

using ConsoleOnPty = ConsolePtyFixture;

TEST(PipeLengthTest, CountsEveryBarWithTwoCharactersAfterItAsACode) {
    struct Case {
        std::string In;
        int Want;
    };
    const Case cases[] = {
        {"|07Hello", 5},   {"ab|5", 4},
        {"|ab", 0},        {"||ab", 1},
        {"", 0},           {"|", 1},
        {"a|", 2},         {"|0", 2},
        {"x|07", 1},       {"|07|14ab", 2},
        {"|&1x", 1},       {"a|b|c", 2},
        {"|07ab|1", 4},    {"|||", 0},
        {"ab|07cd|99", 4}, {std::string(300, 'a'), 255}, // longer strings are cut first
    };
    for (const Case& c : cases) EXPECT_EQ(PipeLength(c.In), c.Want) << c.In;
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

// WriteXYPipe draws every column the writer takes for text: a "|" whose two
// characters make no colour code is shown, all three of them, and a "|" with
// a code number before the end takes none. Nothing is cut short or padded.
TEST_F(ConsoleOnPty, WriteXYPipeDrawsWhatTheWriterTakesForText) {
    struct Case {
        std::string In, Sent; // Sent: what follows the cursor move
    };
    const Case cases[] = {
        {"a|bc d|ef", "a|bc d|ef"},
        {"Trail|  ", "Trail|  "},
        {"Two|1 x", "Two|1 x"},               // "1 " reads as 0: no code
        {"|ab|14c", "|ab\x1b[1;33mc\x1b[0m"}, // text, then a code
        {"x|1", "x"},                         // "|1" at the end is a code: no blanks
        {"|&1y|$Fz", "\x1b[34my\x1b[0;1mz\x1b[0m"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.In);
        GotoXY(5, 6);
        ClearWrites();
        WriteXYPipe(1, 1, 7, c.In);
        EXPECT_EQ(TakeWrites(), (Writes{"\x1b[1;1H", c.Sent + "\x1b[6;5H"}));
    }
}

// The drawn width by the writer's rule, beside PipeLength's, which takes
// every "|" group for a code.
TEST(PipedWidthTest, CountsWhatWriteAtPipedDraws) {
    struct Case {
        std::string In;
        int Want;
    };
    const Case cases[] = {
        {"|07Hello", 5}, {"|ab", 3},   {"||ab", 4},
        {"", 0},         {"|", 1},     {"a|", 2},
        {"|0", 2},       {"|1", 0},    {"|00x", 1},
        {"|24x", 1},     {"|&1x", 1},  {"|$Fx", 1},
        {"|1 x", 4},     {"a|bc", 4},  {"|07|16ab", 2},
        {"|ab|14c", 4},  {"x|99y", 2}, {std::string(300, 'a'), 300},
    };
    for (const Case& c : cases) EXPECT_EQ(PipedWidth(c.In), c.Want) << c.In;
}

TEST_F(ConsoleOnPty, WriteCenteredPipeCentresTheVisibleText) {
    WriteCenteredPipe("|07abcd", 5);
    Writes w = TakeWrites();
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0], "\x1b[5;38H");
    EXPECT_EQ(w[1], "abcd\x1b[1;1H");
}

TEST_F(ConsoleOnPty, WideCenteredTextStartsAtColumnOne) {
    WriteCenteredPipe(std::string(200, 'x'), 3);
    Writes w = TakeWrites();
    ASSERT_FALSE(w.empty());
    EXPECT_EQ(w[0], "\x1b[3;1H");
}

TEST_F(ConsoleOnPty, ScreenCellsOutsideTheScreenAreBlankAndUntouchable) {
    Screen->Shadow[26][5] = TCharInfo{0x4F, 'Z'}; // the shadow has lines beyond 25
    EXPECT_EQ(ScreenCharAt(5, 26), ' ');
    const std::pair<uint8_t, uint8_t> outside[] = {{0, 5}, {81, 5}, {5, 0}, {255, 255}};
    for (auto [x, y] : outside) EXPECT_EQ(ScreenCharAt(x, y), ' ') << int(x) << "," << int(y);

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
    const std::vector<Case> cases = {
        {"SetForeground14", 0x17, [] { SetForeground(14); }, 0x1E, "\x1b[30m\x1b[0;1;33;44m"},
        {"SetBackground9", 0x07, [] { SetBackground(9); }, 0x97, "\x1b[0;5;44m"},
        {"SetBright", 0x07, [] { SetBright(); }, 0x0F, "\x1b[30m\x1b[0;1m"},
        {"ClearBright", 0x1F, [] { ClearBright(); }, 0x17, "\x1b[0;30;44m\x1b[0;44m"},
        {"SetNormalColors", 0x4E, [] { SetNormalColors(); }, 0x07,
         "\x1b[0;30;41m\x1b[0;41m\x1b[0m"},
        {"SameForeground", 0x1E, [] { SetForeground(14); }, 0x1E, "\x1b[0;30;44m\x1b[0;1;33;44m"},
        {"SetTextAttrSame", 0x1E, [] { SetTextAttr(0x1E); }, 0x1E, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        SetTextAttr(c.Start);
        FlushScreen();
        ClearWrites();
        c.Op();
        EXPECT_TRUE(TakeWrites().empty()); // queued, not yet sent
        FlushScreen();
        Writes w = TakeWrites();
        EXPECT_EQ(w.empty() ? "" : w[0], c.Sent);
        EXPECT_EQ(GetTextAttr(), c.Want);
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
    const TConsoleScreenRec drawn = Screen->Shadow;

    TConsoleImageRec img;
    SaveScreen(img);
    EXPECT_EQ(img.X1, 1);
    EXPECT_EQ(img.X2, 80);
    EXPECT_EQ(img.Y1, 1);
    EXPECT_EQ(img.Y2, 25);
    for (int y = 1; y <= 25; y++) EXPECT_EQ(img.Data[y], drawn[y]) << "line " << y;
    for (int y = 26; y <= 50; y++) EXPECT_EQ(img.Data[y], TConsoleLineRec{}) << "line " << y;

    for (int round = 0; round < 2; round++) { // an image may be restored again
        SCOPED_TRACE(round);
        SetTextAttr(0x70);
        ClearScreen();
        WriteXY(1, 1, 0x0C, "scribble");
        WriteXYPipe(70, 12, 7, "|14over");
        GotoXY(3, 3);
        RestoreScreen(img);
        for (int y = 1; y <= 25; y++) EXPECT_EQ(Screen->Shadow[y], drawn[y]) << "line " << y;
        EXPECT_EQ(GetTextAttr(), 0x1E);
        EXPECT_EQ(WhereX(), 10);
        EXPECT_EQ(WhereY(), 12);
    }
    const std::string out = ReadOutput();
    EXPECT_NE(out.find("middle"), std::string::npos);
}

TEST_F(ConsoleOnPty, FillAreaFillsUpToButExcludingX2) {
    SetTextAttr(0x1F);
    FillArea(10, 2, 15, 3, 'x');
    for (int y = 1; y <= 4; y++)
        for (int x = 8; x <= 16; x++) {
            const bool in = y >= 2 && y <= 3 && x >= 10 && x <= 14;
            EXPECT_EQ(ScreenCharAt(x, y), in ? 'x' : ' ') << x << "," << y;
            EXPECT_EQ(ScreenAttrAt(x, y), in ? 0x1F : 0x07) << x << "," << y;
        }
    EXPECT_EQ(GetTextAttr(), 0x1F);
    // X2 not right of X1: nothing is filled (no count wraps round).
    FillArea(20, 5, 20, 5, 'y');
    FillArea(21, 5, 20, 5, 'y');
    for (int x = 1; x <= 80; x++) EXPECT_EQ(ScreenCharAt(x, 5), ' ');
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
    // A pause neither reads keys nor writes: a key typed before it is still
    // waiting afterwards. (How long it waits is for the benchmarks, not here.)
    TypeAndWait("z");
    ClearWrites();
    Delay(5);
    EXPECT_TRUE(TakeWrites().empty());
    ASSERT_TRUE(KeyPressed()); // else ReadKey would wait for ever
    EXPECT_EQ(ReadKey(), 'z');
    EXPECT_FALSE(KeyPressed());
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
    TempDir dir;
    const std::string name = dir / "log.txt";
    AppendTextLine(name, "one");
    EXPECT_EQ(ReadFileBytes(name), "one\n");
    AppendTextLine(name, "two \xC4");
    EXPECT_EQ(ReadFileBytes(name), "one\ntwo \xC4\n");
    AppendTextLine(dir.Path(), "into a directory"); // cannot be opened: ignored
    AppendTextLine(dir / "missing/x.txt", "no such directory");
    EXPECT_EQ(ReadFileBytes(name), "one\ntwo \xC4\n");
}

} // namespace
