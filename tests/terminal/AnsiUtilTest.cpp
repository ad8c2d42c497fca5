// The ANSI interpreter, its file player and the SAUCE reader on a real
// pseudo-terminal: the bytes that reach the terminal, the tracked cursor and
// attribute, the interpreter's state between calls, and files with and
// without a SAUCE record.
#include "terminal/AnsiUtil.h"
#include "terminal/Console.h"
#include "tests/common/PtyFixture.h"
#include "tests/common/ScreenText.h"

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Writes = std::vector<std::string>;

class AnsiOnPty : public ConsoleFilesFixture {
protected:
    void SetUp() override {
        ConsoleFilesFixture::SetUp();
        InitAnsiUtil();
    }
    void TearDown() override {
        DoneAnsiUtil();
        ConsoleFilesFixture::TearDown();
    }
    // A clean screen in attribute 7, the interpreter at its start, nothing pending.
    void Fresh(uint8_t Attr = 7) override {
        InitAnsiUtil();
        ConsoleFilesFixture::Fresh(Attr);
    }
};

TEST_F(AnsiOnPty, CursorSequencesStayOnTheScreen) {
    struct Case {
        uint8_t X, Y;
        std::string In;
        uint8_t WantX, WantY;
    };
    const std::string big = "2147483647", tooBig = "99999999999";
    const Case cases[] = {
        {1, 1, "\x1b[5;10H", 10, 5},
        {7, 7, "\x1b[5;10f", 10, 5},
        {7, 7, "\x1b[H", 1, 1},
        {7, 7, "\x1b[0;0H", 1, 1},
        {7, 7, "\x1b[5;H", 1, 5},        // the second parameter stored as 0
        {7, 7, "\x1b[300;300H", 44, 25}, // each as a byte: 44, 44; the line limited
        {7, 7, "\x1b[256;256H", 1, 1},
        {5, 5, "\x1b[A", 5, 4},
        {5, 5, "\x1b[0A", 5, 4},
        {5, 1, "\x1b[A", 5, 1},
        {5, 5, "\x1b[99B", 5, 25},
        {5, 5, "\x1b[99C", 80, 5},
        {1, 5, "\x1b[D", 1, 5},
        {10, 5, "\x1b[3D", 7, 5},
        {5, 5, "\x1b[" + big + "A", 5, 1}, // 64-bit arithmetic: no overflow
        {5, 5, "\x1b[" + big + "B", 5, 25},
        {5, 5, "\x1b[" + big + "C", 80, 5},
        {5, 5, "\x1b[" + big + "D", 1, 5},
        {5, 5, "\x1b[" + tooBig + "B", 5, 6}, // out of range reads as 0, counts as 1
        {5, 5, "\x1b[3;7H\x1b[s\x1b[H\x1b[u", 7, 3},
        {5, 5, "\x1b[u", 1, 1}, // saved position starts at column 1, line 1
        {5, 5, "\x1b[1;2;3;4;5;6;7;8;9;10;11;12;20;30H", 2, 1},
    };
    for (const Case& c : cases) {
        Fresh();
        GotoXY(c.X, c.Y);
        AnsiWrite(c.In);
        EXPECT_EQ(WhereX(), c.WantX) << Hex(c.In);
        EXPECT_EQ(WhereY(), c.WantY) << Hex(c.In);
    }
}

TEST_F(AnsiOnPty, CursorDownStopsAtTheReportedHeight) {
    DoneConsole();
    SetWindowSize(50, 132);
    InitConsole();
    Fresh();
    ASSERT_EQ(ScreenRows, 50);
    GotoXY(1, 20);
    AnsiWrite("\x1b[99B");
    EXPECT_EQ(WhereY(), 25); // 50 passed on, GotoXY keeps the line on 25
    AnsiWrite("\x1b[999C");
    EXPECT_EQ(WhereX(), 80);
}

TEST_F(AnsiOnPty, CursorDownNeverMovesUpOnASmallTerminal) {
    DoneConsole();
    SetWindowSize(10, 40);
    InitConsole();
    Fresh();
    ASSERT_EQ(ScreenRows, 10);
    GotoXY(1, 5);
    AnsiWrite("\x1b[99B");
    EXPECT_EQ(WhereY(), 10);
    GotoXY(1, 20); // drawing uses 25 lines whatever the terminal reports
    AnsiWrite("\x1b[B");
    EXPECT_EQ(WhereY(), 20);
}

TEST_F(AnsiOnPty, SequencesSendTheirBytes) {
    struct Case {
        std::string In;
        std::string Want;
    };
    const Case cases[] = {
        {"\x1b[5;10H", "\x1b[5;10H"},
        {"\x1b[2J", "\x1b[2J\x1b[1;1H"},
        {"\x1b[J", ""},
        {"\x1b[1J", ""},
        {"\x1b[K", "\x1b[K"},
        {"\x1b[1K", "\x1b[K"},
        {"A\x1b[1mB", "A\x1b[30m\x1b[0;1mB"}, // SetBright's two steps
        {"\x1b[?25hX", "X"},
        {"\x1b(U[1]", "(U[1]"},                       // ESC without "[" starts nothing
        {"\x1b[3;38:5m", "5m"},                       // the colon ends the sequence
        {"|04", "|04"},                               // no pipe codes here
        {"ab\x1b[3\x1b[1mc", "ab\x1b[30m\x1b[0;1mc"}, // ESC abandons the first
        {"a\x1b[3\rb", "ab"},                         // a control byte is a final byte
        {"x\r\ny\x08z\t", "x\r\ny\x08z."},            // the writer sends a tab as its stand-in
        {std::string(300, 'a'), std::string(255, 'a')},
        {std::string(300, 'a') + "\x1b[K" + std::string(3, 'b'),
         std::string(255, 'a') + "\x1b[Kbbb"},
    };
    for (const Case& c : cases) {
        Fresh();
        AnsiWrite(c.In);
        EXPECT_EQ(Hex(ReadOutput()), Hex(c.Want)) << Hex(c.In);
    }
}

TEST_F(AnsiOnPty, PlainRunsGoOutInOneWriteEach) {
    Fresh();
    AnsiWrite("abc\x1b[Kdef\x1b[31m");
    // The run before a command is written before it; the command's bytes
    // wait in the queue and go out with what follows, the last at the end.
    EXPECT_EQ(TakeWrites(), (Writes{"abc", "\x1b[Kdef", "\x1b[30m\x1b[0;31m"}));
}

TEST_F(AnsiOnPty, RenditionChangesTheAttribute) {
    struct Case {
        uint8_t From;
        std::string In;
        uint8_t Want;
    };
    const Case cases[] = {
        {0x07, "\x1b[1;33;44m", 0x1E},
        {0x07, "\x1b[33;1m", 0x0E},
        {0x1E, "\x1b[m", 0x07},
        {0x1E, "\x1b[0m", 0x07},
        {0x1E, "\x1b[5m", 0x1E},
        {0x1E, "\x1b[7m", 0x61},
        {0x9F, "\x1b[7m", 0x71}, // bright and blink dropped
        {0x1E, "\x1b[8m", 0x00},
        {0x17, "\x1b[1;30m", 0x18},
        {0x9F, "\x1b[44m", 0x1F}, // blink cleared
        {0x0F, "\x1b[31m", 0x0C}, // brightness kept
        {0x1E, "\x1b[4;22;39;49;286m", 0x1E},
        {0x1E, "\x1b[99999999999m", 0x07},
        {0x1E, "\x1b[;32m", 0x02}, // empty first value is 0
    };
    for (const Case& c : cases) {
        Fresh(c.From);
        AnsiWrite(c.In);
        EXPECT_EQ(GetTextAttr(), c.Want) << Hex(c.In);
    }
}

TEST_F(AnsiOnPty, ParametersAfterTheTenthOverwriteTheTenth) {
    Fresh(0x1E);
    AnsiWrite("\x1b[1;2;3;4;5;6;7;8;9;10;11;12m");
    EXPECT_EQ(AnsiParams.Values, (std::array<int32_t, 10>{1, 2, 3, 4, 5, 6, 7, 8, 9, 12}));
    EXPECT_EQ(AnsiParamIdx, 10);
    EXPECT_EQ(GetTextAttr(), 0x00); // 1, 7, 8 acted; 12 did nothing

    AnsiWrite("\x1b[5;H");
    EXPECT_EQ(AnsiParams[1], 5);
    EXPECT_EQ(AnsiParams[2], 0);
    EXPECT_EQ(AnsiParams[3], -1);

    AnsiWrite("\x1b[" + std::string(400, '7') + "m");
    EXPECT_LE(AnsiParamText.size(), 255u);
    EXPECT_EQ(AnsiParams[1], 0);
}

TEST_F(AnsiOnPty, SequenceSplitOverCallsActsOnce) {
    Fresh();
    AnsiWrite("x\x1b");
    EXPECT_TRUE(AnsiEscSeen);
    AnsiWrite("[3");
    EXPECT_TRUE(AnsiInCsi);
    AnsiWrite("1mY");
    EXPECT_FALSE(AnsiInCsi);
    EXPECT_EQ(GetTextAttr(), 0x04);
    EXPECT_EQ(ScreenRowText(1, 1, 2), "xY");
    EXPECT_EQ(Screen->Shadow[1][2].Attr, 0x04);

    InitAnsiUtil(); // back to the start: not in a sequence
    AnsiWrite("\x1b[3");
    InitAnsiUtil();
    AnsiWrite("1m");
    EXPECT_EQ(ScreenRowText(1, 3, 4), "1m");
}

TEST_F(AnsiOnPty, PlayedFilesShowLinesWithCrLfBetween) {
    struct Case {
        std::string Bytes;
        std::string Want;
    };
    const Case cases[] = {
        {"A\r\nB\r\n", "A\r\nB"},
        {"A\r\nB", "A\r\nB"},
        {"A\rB", "A\r\nB"},
        {"A\nB\n\n", "A\r\nB\r\n"},
        {"", ""},
        {"\r\n", ""},
        {"T\x1aSAUCE00x", "T.SAUCE00x"}, // Ctrl-Z is an ordinary byte, shown as the stand-in
        {"a\x1b[3\r\nb", "a\nb"},        // the CR ends the open sequence
        {std::string(5000, 'x'), std::string(255, 'x')},
        // CR at the end of the first 4096-byte block, its LF in the next; the
        // run is cut at 255 with the CR LF that closes it
        {std::string(4095, 'x') + "\r\ny", std::string(255, 'x') + "y"},
        {std::string(4095, 'x') + "\r\n\x1b[Ky", std::string(255, 'x') + "\x1b[Ky"},
        {std::string(4095, 'x') + "\r\r\ny", std::string(255, 'x') + "\r\ny"},
    };
    for (const Case& c : cases) {
        Fresh();
        AnsiShowFile(File("show.ans", c.Bytes));
        EXPECT_EQ(Hex(ReadOutput()), Hex(c.Want)) << Hex(c.Bytes.substr(0, 40));
        Fresh();
        AnsiPlayFile(File("play.ans", c.Bytes), 0);
        EXPECT_EQ(Hex(ReadOutput()), Hex(c.Want)) << Hex(c.Bytes.substr(0, 40));
        Fresh();
        AnsiPlayBytes(c.Bytes, 0); // the same play from memory
        EXPECT_EQ(Hex(ReadOutput()), Hex(c.Want)) << Hex(c.Bytes.substr(0, 40));
    }
}

TEST_F(AnsiOnPty, OpenSequenceCarriesIntoTheNextPlay) {
    Fresh();
    AnsiShowFile(File("a.ans", "x\x1b[3"));
    AnsiShowFile(File("b.ans", "1my"));
    EXPECT_EQ(GetTextAttr(), 0x04);
    EXPECT_EQ(ScreenRowText(1, 1, 3), "xy ");
}

TEST_F(AnsiOnPty, UnplayableFilesShowNothing) {
    ASSERT_EQ(mkfifo((Dir / "fifo").c_str(), 0600), 0);
    for (const std::string& name : {Dir / "missing", Dir.Path(), Dir / "fifo"}) {
        Fresh();
        AnsiShowFile(name);
        AnsiPlayFile(name, 0);
        EXPECT_EQ(ReadOutput(), "") << name;
    }
}

TEST_F(AnsiOnPty, EscapeKeyStopsThePlayAfterTheLineShown) {
    const std::string name = File("keys.ans", "L1\r\nL2\r\nL3\r\nL4");
    Fresh();
    TypeAndWait("\x1b");
    AnsiPlayFile(name, 0);
    EXPECT_EQ(ReadOutput(), "L1\r\n");

    Fresh();
    TypeAndWait("x+-/!"); // one key per line, none of them stops
    AnsiPlayFile(name, 0);
    EXPECT_EQ(ReadOutput(), "L1\r\nL2\r\nL3\r\nL4");
    EXPECT_TRUE(KeyPressed()); // four lines took four keys
    EXPECT_EQ(ReadKey(), '!');

    Fresh();
    TypeAndWait("-"); // keys are left alone by the show variant
    AnsiShowFile(name);
    EXPECT_EQ(ReadOutput(), "L1\r\nL2\r\nL3\r\nL4");
    EXPECT_EQ(ReadKey(), '-');
}

// The pauses a play asked for, recorded in place of waiting.
std::vector<uint16_t> Pauses;
void RecordPause(uint16_t Ms) {
    Pauses.push_back(Ms);
}

// One key is read after each line's pause and changes the pause of the
// lines after it; an extended key is two keys, at two lines.
TEST_F(AnsiOnPty, PaceKeysChangeThePauseOfTheLinesAfterThem) {
    const std::string name = File("pace.ans", "L1\r\nL2\r\nL3\r\nL4\r\nL5\r\nL6");
    struct Case {
        const char* Name;
        std::string Keys;
        std::vector<uint16_t> Want;
    };
    const Case cases[] = {
        {"minus twice from 6 stops at 0", "--/", {6, 1, 0, 6, 6, 6}},
        {"star then plus", "*+", {6, 1000, 1005, 1005, 1005, 1005}},
        {"Alt-X's scan code is the minus key", "\x1bx", {6, 6, 1, 1, 1, 1}},
        {"other keys change nothing", "x?", {6, 6, 6, 6, 6, 6}},
    };
    PlayPauseProc = RecordPause;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Fresh();
        Pauses.clear();
        TypeAndWait(c.Keys);
        AnsiPlayFile(name, 6);
        EXPECT_EQ(Pauses, c.Want);
        EXPECT_EQ(ReadOutput(), "L1\r\nL2\r\nL3\r\nL4\r\nL5\r\nL6");
    }
    PlayPauseProc = Delay;
}

TEST(PrintableOnlyTest, KeepsThirtyTwoToOneTwentyFive) {
    struct Case {
        std::string In;
        std::string Want;
    };
    const Case cases[] = {
        {std::string("a~b\0", 4), "a b "},
        {" }\x1f\x7f\x80\xff", " }    "},
        {"", ""},
        {std::string(300, 'q'), std::string(255, 'q')},
    };
    for (const Case& c : cases) EXPECT_EQ(PrintableOnly(c.In), c.Want) << Hex(c.In);
}

// The 128 bytes of a record with the given title bytes and a few numbers.
std::string SauceBytes(const std::string& Id, const std::string& Title) {
    std::string r(128, '\0');
    r.replace(0, Id.size(), Id);
    r.replace(5, 2, "00");
    r.replace(7, Title.size(), Title);
    r.replace(42, 6, "Author");
    r.replace(90, 4, std::string("\x34\x12\x00\x80", 4)); // FileSize
    r[94] = 1;
    r[95] = 2;
    r.replace(96, 2, std::string("\x50\x00", 2)); // TInfo1 80
    r.replace(98, 2, std::string("\x19\x01", 2)); // TInfo2 281
    r[104] = 3;
    r[105] = 4;
    r.replace(106, 5, "IBM V");
    return r;
}

TEST_F(AnsiOnPty, ReadSauceFindsTheRecordInTheLast128Bytes) {
    const std::string title = std::string("Dark\x01Night~", 11);
    const std::string name = File("art.ans", "\x1b[1mart\r\n\x1a" + SauceBytes("SAUCE", title));
    Fresh();
    RecSauceInfo rec;
    bool opened = false;
    EXPECT_TRUE(ReadSauce(name, rec, opened));
    EXPECT_TRUE(opened);
    EXPECT_EQ(std::string(rec.ID.data(), 5), "SAUCE");
    EXPECT_EQ(std::string(rec.Author.data(), 6), "Author");
    EXPECT_EQ(rec.FileSize, static_cast<int32_t>(0x80001234));
    EXPECT_EQ(rec.DataType, 1);
    EXPECT_EQ(rec.FileType, 2);
    EXPECT_EQ(rec.TInfo1, 80);
    EXPECT_EQ(rec.TInfo2, 281);
    EXPECT_EQ(rec.Comments, 3);
    EXPECT_EQ(rec.TFlags, 4);
    EXPECT_EQ(std::string(rec.TInfoS.data(), 5), "IBM V");
    // The title made printable, padded to 35 with the zero bytes as blanks.
    EXPECT_EQ(Hex(ReadOutput()), Hex("Dark Night " + std::string(24, ' ') + "\r\n"));

    // A file that is exactly the record.
    EXPECT_TRUE(ReadSauce(File("only.ans", SauceBytes("SAUCE", "T")), rec));
}

TEST_F(AnsiOnPty, ReadSauceWithoutARecordShowsBytesOfTheTail) {
    std::string body(300, '.');
    for (int i = 0; i < 35; i++) body[300 - 128 + 7 + i] = static_cast<char>('A' + i % 26);
    body[300 - 128 + 7] = '\t';
    RecSauceInfo rec;
    Fresh();
    EXPECT_FALSE(ReadSauce(File("plain.ans", body), rec));
    std::string want = body.substr(300 - 128 + 7, 35);
    want[0] = ' ';
    EXPECT_EQ(ReadOutput(), want + "\r\n");
    EXPECT_FALSE(ReadSauce(File("sauce-lower.ans", SauceBytes("sauce", "")), rec));
}

TEST_F(AnsiOnPty, ReadSauceOfAShortFileGivesAnEmptyRecord) {
    for (const std::string& bytes :
         {std::string(""), std::string("SAUCE00 short title"), std::string(127, 'S')}) {
        RecSauceInfo rec;
        rec.ID = {'S', 'A', 'U', 'C', 'E'};
        rec.FileSize = 99;
        Fresh();
        bool opened = false;
        EXPECT_FALSE(ReadSauce(File("short.ans", bytes), rec, opened));
        EXPECT_TRUE(opened);
        EXPECT_EQ(rec, RecSauceInfo{}) << bytes.size();
        EXPECT_EQ(ReadOutput(), std::string(35, ' ') + "\r\n");
    }
}

TEST_F(AnsiOnPty, ReadSauceThatCannotOpenLeavesRecAndScreenAlone) {
    ASSERT_EQ(mkfifo((Dir / "fifo").c_str(), 0600), 0); // must not wait for a writer
    for (const std::string& name : {Dir / "missing", Dir.Path(), Dir / "fifo"}) {
        RecSauceInfo rec;
        rec.FileSize = 42;
        Fresh();
        bool opened = true;
        EXPECT_FALSE(ReadSauce(name, rec, opened)) << name;
        EXPECT_FALSE(opened) << name;
        EXPECT_EQ(rec.FileSize, 42);
        EXPECT_EQ(ReadOutput(), "") << name;
    }
}

} // namespace
