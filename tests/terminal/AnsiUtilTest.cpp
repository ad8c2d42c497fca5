// The ANSI interpreter, its file player and the SAUCE reader on a real
// pseudo-terminal: the bytes that reach the terminal, the tracked cursor and
// attribute, the interpreter's state between calls, and files with and
// without a SAUCE record.
#include "terminal/AnsiUtil.h"

#include "terminal/Console.h"
#include "tests/common/PtyFixture.h"

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    std::string ShadowLine(int Y, int From, int To) const {
        std::string R;
        for (int X = From; X <= To; X++) R += Screen->Shadow[Y][X].Ch;
        return R;
    }
};

TEST_F(AnsiOnPty, CursorSequencesStayOnTheScreen) {
    struct Case {
        uint8_t X, Y;
        std::string In;
        uint8_t WantX, WantY;
    };
    const std::string Big = "2147483647", TooBig = "99999999999";
    const Case Cases[] = {
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
        {5, 5, "\x1b[" + Big + "A", 5, 1}, // 64-bit arithmetic: no overflow
        {5, 5, "\x1b[" + Big + "B", 5, 25},
        {5, 5, "\x1b[" + Big + "C", 80, 5},
        {5, 5, "\x1b[" + Big + "D", 1, 5},
        {5, 5, "\x1b[" + TooBig + "B", 5, 6}, // out of range reads as 0, counts as 1
        {5, 5, "\x1b[3;7H\x1b[s\x1b[H\x1b[u", 7, 3},
        {5, 5, "\x1b[u", 1, 1}, // saved position starts at column 1, line 1
        {5, 5, "\x1b[1;2;3;4;5;6;7;8;9;10;11;12;20;30H", 2, 1},
    };
    for (const Case& C : Cases) {
        Fresh();
        GotoXY(C.X, C.Y);
        AnsiWrite(C.In);
        EXPECT_EQ(WhereX(), C.WantX) << Hex(C.In);
        EXPECT_EQ(WhereY(), C.WantY) << Hex(C.In);
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
    const Case Cases[] = {
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
    for (const Case& C : Cases) {
        Fresh();
        AnsiWrite(C.In);
        EXPECT_EQ(Hex(ReadOutput()), Hex(C.Want)) << Hex(C.In);
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
    const Case Cases[] = {
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
    for (const Case& C : Cases) {
        Fresh(C.From);
        AnsiWrite(C.In);
        EXPECT_EQ(GetTextAttr(), C.Want) << Hex(C.In);
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
    EXPECT_EQ(ShadowLine(1, 1, 2), "xY");
    EXPECT_EQ(Screen->Shadow[1][2].Attr, 0x04);

    InitAnsiUtil(); // back to the start: not in a sequence
    AnsiWrite("\x1b[3");
    InitAnsiUtil();
    AnsiWrite("1m");
    EXPECT_EQ(ShadowLine(1, 3, 4), "1m");
}

TEST_F(AnsiOnPty, PlayedFilesShowLinesWithCrLfBetween) {
    struct Case {
        std::string Bytes;
        std::string Want;
    };
    const Case Cases[] = {
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
    for (const Case& C : Cases) {
        Fresh();
        AnsiShowFile(File("show.ans", C.Bytes));
        EXPECT_EQ(Hex(ReadOutput()), Hex(C.Want)) << Hex(C.Bytes.substr(0, 40));
        Fresh();
        AnsiPlayFile(File("play.ans", C.Bytes), 0);
        EXPECT_EQ(Hex(ReadOutput()), Hex(C.Want)) << Hex(C.Bytes.substr(0, 40));
    }
}

TEST_F(AnsiOnPty, OpenSequenceCarriesIntoTheNextPlay) {
    Fresh();
    AnsiShowFile(File("a.ans", "x\x1b[3"));
    AnsiShowFile(File("b.ans", "1my"));
    EXPECT_EQ(GetTextAttr(), 0x04);
    EXPECT_EQ(ShadowLine(1, 1, 3), "xy ");
}

TEST_F(AnsiOnPty, UnplayableFilesShowNothing) {
    ASSERT_EQ(mkfifo((Dir + "/fifo").c_str(), 0600), 0);
    for (const std::string& Name : {Dir + "/missing", Dir, Dir + "/fifo"}) {
        Fresh();
        AnsiShowFile(Name);
        AnsiPlayFile(Name, 0);
        EXPECT_EQ(ReadOutput(), "") << Name;
    }
}

TEST_F(AnsiOnPty, EscapeKeyStopsThePlayAfterTheLineShown) {
    const std::string Name = File("keys.ans", "L1\r\nL2\r\nL3\r\nL4");
    Fresh();
    TypeAndWait("\x1b");
    AnsiPlayFile(Name, 0);
    EXPECT_EQ(ReadOutput(), "L1\r\n");

    Fresh();
    TypeAndWait("x+-/!"); // one key per line, none of them stops
    AnsiPlayFile(Name, 0);
    EXPECT_EQ(ReadOutput(), "L1\r\nL2\r\nL3\r\nL4");
    EXPECT_TRUE(KeyPressed()); // four lines took four keys
    EXPECT_EQ(ReadKey(), '!');

    Fresh();
    TypeAndWait("-"); // keys are left alone by the show variant
    AnsiShowFile(Name);
    EXPECT_EQ(ReadOutput(), "L1\r\nL2\r\nL3\r\nL4");
    EXPECT_EQ(ReadKey(), '-');
}

TEST(PrintableOnlyTest, KeepsThirtyTwoToOneTwentyFive) {
    struct Case {
        std::string In;
        std::string Want;
    };
    const Case Cases[] = {
        {std::string("a~b\0", 4), "a b "},
        {" }\x1f\x7f\x80\xff", " }    "},
        {"", ""},
        {std::string(300, 'q'), std::string(255, 'q')},
    };
    for (const Case& C : Cases) EXPECT_EQ(PrintableOnly(C.In), C.Want) << Hex(C.In);
}

// The 128 bytes of a record with the given title bytes and a few numbers.
std::string SauceBytes(const std::string& Id, const std::string& Title) {
    std::string R(128, '\0');
    R.replace(0, Id.size(), Id);
    R.replace(5, 2, "00");
    R.replace(7, Title.size(), Title);
    R.replace(42, 6, "Author");
    R.replace(90, 4, std::string("\x34\x12\x00\x80", 4)); // FileSize
    R[94] = 1;
    R[95] = 2;
    R.replace(96, 2, std::string("\x50\x00", 2)); // TInfo1 80
    R.replace(98, 2, std::string("\x19\x01", 2)); // TInfo2 281
    R[104] = 3;
    R[105] = 4;
    R.replace(106, 5, "IBM V");
    return R;
}

TEST_F(AnsiOnPty, ReadSauceFindsTheRecordInTheLast128Bytes) {
    const std::string Title = std::string("Dark\x01Night~", 11);
    const std::string Name = File("art.ans", "\x1b[1mart\r\n\x1a" + SauceBytes("SAUCE", Title));
    Fresh();
    RecSauceInfo Rec;
    bool Opened = false;
    EXPECT_TRUE(ReadSauce(Name, Rec, Opened));
    EXPECT_TRUE(Opened);
    EXPECT_EQ(std::string(Rec.ID.data(), 5), "SAUCE");
    EXPECT_EQ(std::string(Rec.Author.data(), 6), "Author");
    EXPECT_EQ(Rec.FileSize, static_cast<int32_t>(0x80001234));
    EXPECT_EQ(Rec.DataType, 1);
    EXPECT_EQ(Rec.FileType, 2);
    EXPECT_EQ(Rec.TInfo1, 80);
    EXPECT_EQ(Rec.TInfo2, 281);
    EXPECT_EQ(Rec.Comments, 3);
    EXPECT_EQ(Rec.TFlags, 4);
    EXPECT_EQ(std::string(Rec.TInfoS.data(), 5), "IBM V");
    // The title made printable, padded to 35 with the zero bytes as blanks.
    EXPECT_EQ(Hex(ReadOutput()), Hex("Dark Night " + std::string(24, ' ') + "\r\n"));

    // A file that is exactly the record.
    EXPECT_TRUE(ReadSauce(File("only.ans", SauceBytes("SAUCE", "T")), Rec));
}

TEST_F(AnsiOnPty, ReadSauceWithoutARecordShowsBytesOfTheTail) {
    std::string Body(300, '.');
    for (int I = 0; I < 35; I++) Body[300 - 128 + 7 + I] = static_cast<char>('A' + I % 26);
    Body[300 - 128 + 7] = '\t';
    RecSauceInfo Rec;
    Fresh();
    EXPECT_FALSE(ReadSauce(File("plain.ans", Body), Rec));
    std::string Want = Body.substr(300 - 128 + 7, 35);
    Want[0] = ' ';
    EXPECT_EQ(ReadOutput(), Want + "\r\n");
    EXPECT_FALSE(ReadSauce(File("sauce-lower.ans", SauceBytes("sauce", "")), Rec));
}

TEST_F(AnsiOnPty, ReadSauceOfAShortFileGivesAnEmptyRecord) {
    for (const std::string& Bytes :
         {std::string(""), std::string("SAUCE00 short title"), std::string(127, 'S')}) {
        RecSauceInfo Rec;
        Rec.ID = {'S', 'A', 'U', 'C', 'E'};
        Rec.FileSize = 99;
        Fresh();
        bool Opened = false;
        EXPECT_FALSE(ReadSauce(File("short.ans", Bytes), Rec, Opened));
        EXPECT_TRUE(Opened);
        EXPECT_EQ(Rec, RecSauceInfo{}) << Bytes.size();
        EXPECT_EQ(ReadOutput(), std::string(35, ' ') + "\r\n");
    }
}

TEST_F(AnsiOnPty, ReadSauceThatCannotOpenLeavesRecAndScreenAlone) {
    ASSERT_EQ(mkfifo((Dir + "/fifo").c_str(), 0600), 0); // must not wait for a writer
    for (const std::string& Name : {Dir + "/missing", Dir, Dir + "/fifo"}) {
        RecSauceInfo Rec;
        Rec.FileSize = 42;
        Fresh();
        bool Opened = true;
        EXPECT_FALSE(ReadSauce(Name, Rec, Opened)) << Name;
        EXPECT_FALSE(Opened) << Name;
        EXPECT_EQ(Rec.FileSize, 42);
        EXPECT_EQ(ReadOutput(), "") << Name;
    }
}

} // namespace
