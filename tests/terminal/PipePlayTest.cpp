// The pipe-code file player and the colour escape builders on a real
// pseudo-terminal: what each byte of a file does to the screen, the cursor and
// the attribute, block boundaries, keys, and the escape strings byte for byte.
#include "terminal/AnsiUtil.h"
#include "terminal/Console.h"
#include "tests/common/PtyFixture.h"
#include "tests/common/ScreenText.h"

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

class PipeOnPty : public ConsoleFilesFixture {
protected:
    // Plays Bytes from a clean screen; the player's blank line puts the
    // file's first byte at column 1 of line 2.
    void Show(const std::string& Bytes, uint8_t Attr = 7) {
        Fresh(Attr);
        PipeShowFile(File("play.txt", Bytes));
    }
    // The characters of line Y up to the last non-blank one.
    std::string Line(int Y) const {
        const std::string r = ScreenRowText(Y);
        return r.substr(0, r.find_last_not_of(' ') + 1);
    }
    uint8_t AttrAt(int X, int Y) const { return Screen->Shadow[Y][X].Attr; }
};

TEST_F(PipeOnPty, PipeCodesColourTheTextAndAreNotShown) {
    Show("|04Red|15White|20Blue");
    EXPECT_EQ(Line(2), "RedWhiteBlue");
    EXPECT_EQ(AttrAt(1, 2), 0x04);
    EXPECT_EQ(AttrAt(4, 2), 0x0F);
    EXPECT_EQ(AttrAt(9, 2), 0x4F);

    Show("|12a|07b", 0x1F); // 0-7 put the background back after their reset
    EXPECT_EQ(AttrAt(1, 2), 0x1C);
    EXPECT_EQ(AttrAt(2, 2), 0x17);
}

TEST_F(PipeOnPty, BarsThatStartNoCodeAreShown) {
    struct Case {
        std::string In;
        std::string Want;
    };
    const Case cases[] = {
        {"|ab", "|ab"},   {"|24", "|24"},   {"|-1x", "|-1x"}, {"|A|05x", "|Ax"},
        {"abc|", "abc|"}, {"ab|5", "ab|5"}, {"||07z", "|z"},  {"|0|13q", "|0q"},
    };
    for (const Case& c : cases) {
        Show(c.In);
        EXPECT_EQ(Line(2), c.Want) << c.In;
    }
    Show("|A|05x");
    EXPECT_EQ(AttrAt(3, 2), 0x05);
}

TEST_F(PipeOnPty, PipeCodeCutByTheEndOfFileKeepsItsText) {
    // The bytes read after a "|" at the very end are still shown.
    Show("x|1");
    EXPECT_EQ(Line(2), "x|1");
    Show("x|");
    EXPECT_EQ(Line(2), "x|");
}

TEST_F(PipeOnPty, BytesAfterABarAtABlockEndComeFromTheNextBlock) {
    const std::string fill(4095, '.');
    Show(fill + "|ab");
    std::string out = ReadOutput();
    EXPECT_EQ(out.substr(out.size() - 4), ".|ab");

    Show(fill + "|05Z");
    out = ReadOutput();
    EXPECT_EQ(out.find("|05"), std::string::npos);
    EXPECT_EQ(out.back(), 'Z');
    EXPECT_EQ(GetTextAttr(), 0x05);

    Show(fill + "||05Z"); // "|" last of the block, then a code
    out = ReadOutput();
    EXPECT_EQ(out.substr(out.size() - 8), ".|\x1b[35mZ");
}

TEST_F(PipeOnPty, ControlBytesAndEscapesOfThePlayer) {
    struct Case {
        std::string In;
        std::string Want; // bytes after the blank line
    };
    const Case cases[] = {
        {"a\nb", "a\r\nb"},
        {"a\r\nb", "a\r\nb"}, // no second CR after a CR
        {"a\x1bXb", "ab"},    // ESC drops the byte after it
        {"a\x1b[3\rb", "ab"}, // a CR ends an unfinished sequence unseen
        {"a\x0e\x0f", "aXX"},
        {std::string("a\0b", 3), "ab"},
        {"ab\x1a"
         "cd",
         "ab"}, // Ctrl-Z ends the play
        {"\x1b[2J", "\x1b[2J\x1b[1;1H"},
        {"\x1b[J", "\x1b[2J\x1b[1;1H"},
        {"\x1b[0J", "\x1b[2J\x1b[1;1H"},
        {"\f", "\x1b[2J\x1b[1;1H"},
        {"\x1b[3;12H\x1b[6n", "\x1b[3;12H.[3;12R"}, // the report lands as text
        {"\x1b[?25h", ""},
    };
    for (const Case& c : cases) {
        Show(c.In);
        FlushScreen();
        EXPECT_EQ(Hex(ReadOutput()), Hex("\r\n" + c.Want)) << Hex(c.In);
    }
}

TEST_F(PipeOnPty, CursorCommandsOfThePlayer) {
    struct Case {
        std::string In;
        uint8_t WantX, WantY;
    };
    const Case cases[] = {
        {"\x1b[5;10H", 10, 5},
        {"\x1b[5;10f", 10, 5},
        {"\x1b[;5H", 5, 1},        // ;5 gives 0, then 5
        {"\x1b[?25;3H", 25, 1},    // ?25;3 gives 0, then 25
        {"\x1b[300;300H", 44, 25}, // each as a byte
        {"\x1b[999C", 80, 2},
        {"\x1b[D", 1, 2},
        {"abc\x1b[2D", 2, 2},
        {"\x1b[9;9H\x1b[3A", 9, 6},
        {"\x1b[9;9H\x1b[99A", 9, 1},
        {"\x1b[9;9H\x1b[B", 9, 10},
        {"\x1b[9;9H\x1b[256B", 9, 10}, // the count as a byte: 0, so 1
        {"a\tb", 11, 2},               // eight columns on, not to a tab stop
        {"\x1b[9;75H\t", 80, 9},
        {"\x1b[4;6H\x1b[s\x1b[H\x1b[u", 6, 4},
        {"\x1b[9;9H\x1b[u", 1, 1}, // no "s" in this play: column 1, line 1
    };
    for (const Case& c : cases) {
        Show(c.In);
        EXPECT_EQ(WhereX(), c.WantX) << Hex(c.In);
        EXPECT_EQ(WhereY(), c.WantY) << Hex(c.In);
    }
}

TEST_F(PipeOnPty, CursorDownNeverMovesUp) {
    // The line is limited, not taken modulo 256: 3 + 255 must not become 2.
    Show("\x1b[3;1H\x1b[255B");
    EXPECT_EQ(WhereY(), 25);
    Show("\x1b[24;1H\x1b[232B");
    EXPECT_EQ(WhereY(), 25);
}

TEST_F(PipeOnPty, ClearToEndOfLineWritesBlanksUpToColumn79) {
    Fresh();
    WriteXY(80, 2, 7, "Z");
    WriteXY(1, 2, 7, std::string(79, 'q'));
    PipeShowFile(File("k.txt", "\x1b[2;5H\x1b[K"));
    EXPECT_EQ(Line(2), "qqqq" + std::string(75, ' ') + "Z");
    EXPECT_EQ(WhereX(), 80);
}

TEST_F(PipeOnPty, RenditionOfThePlayer) {
    struct Case {
        uint8_t From;
        std::string In;
        uint8_t Want;
    };
    const Case cases[] = {
        {0x1E, "\x1b[m", 0x07},
        {0x1E, "\x1b[0m", 0x07},
        {0x1E, "\x1b[5m", 0x9E},
        {0x9E, "\x1b[7m", 0xE1}, // bright dropped, blink kept
        {0x1E, "\x1b[8m", 0x1E},
        {0x1E, "\x1b[286m", 0x18}, // as 30: the colour, bright kept
        {0x07, "\x1b[1;31m", 0x0C},
        {0x9F, "\x1b[44m", 0x1F},  // blink cleared
        {0x1E, "\x1b[;33m", 0x06}, // an empty value is 0
        {0x1E, "\x1b[1;99999999999m", 0x07},
        {0x07, "\x1b[1;2;3;4;5;6;7;8;9;10;11;12;40m", 0x00}, // no limit: the 40 acts
    };
    for (const Case& c : cases) {
        Show(c.In, c.From);
        EXPECT_EQ(GetTextAttr(), c.Want) << Hex(c.In);
    }
}

TEST_F(PipeOnPty, FilesThatCannotBePlayedAreReportedAsNotFound) {
    ASSERT_EQ(mkfifo((Dir / "fifo").c_str(), 0600), 0); // must not block the open
    for (const std::string& name : {Dir / "missing", Dir.Path(), Dir / "fifo"}) {
        Fresh();
        PipeShowFile(name);
        EXPECT_EQ(ReadOutput(), "\r\nFile " + name + " not found.\r\n");
    }
}

TEST_F(PipeOnPty, EscapeKeyStopsAfterTheByteBeingShown) {
    Fresh();
    TypeAndWait("\x1b");
    PipePlayFile(File("k.txt", "abc"), 0);
    EXPECT_EQ(ReadOutput(), "\r\na");

    Fresh();
    TypeAndWait("x+-");
    PipePlayFile(File("k.txt", "abcd"), 0); // one key per byte
    EXPECT_EQ(ReadOutput(), "\r\nabcd");
    EXPECT_FALSE(KeyPressed());
}

// The cursor column at each pause the play asked for, in place of waiting.
std::vector<int> PauseColumns;
void RecordPause(uint16_t Ms) {
    EXPECT_EQ(Ms, 6);
    PauseColumns.push_back(WhereX());
}

// A pause comes before the bytes at every Rate-th place of their block; the
// two bytes after a "|" that starts no code are paced when they are read
// again, each by its own place, also when the first lies in the block before.
TEST_F(PipeOnPty, PausesComeAtTheBytesPlacesInTheirBlock) {
    struct Case {
        const char* Name;
        std::string Bytes;
        int32_t Rate;
        std::vector<int> Columns; // where the cursor stood at each pause
    };
    const Case cases[] = {
        {"every second byte", "a|xyb", 2, {2, 4}},
        {"every third byte", "a|xyb", 3, {3}},
        {"the bytes of a code are not paced", "a|05bc", 2, {2, 3}},
        {"no rate, no pause", "a|xyb", 0, {}},
    };
    PlayPauseProc = RecordPause;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Fresh();
        PauseColumns.clear();
        PipePlayFile(File("pace.txt", c.Bytes), c.Rate);
        EXPECT_EQ(PauseColumns, c.Columns);
    }
    // "|" at place 4095: "a" is the block's last byte, "b" the next block's
    // first; a rate of 4096 pauses before "a" only, one of 4095 before "|" only.
    for (int32_t rate : {4096, 4095}) {
        SCOPED_TRACE(rate);
        Fresh();
        PauseColumns.clear();
        PipePlayFile(File("pace.txt", std::string(4094, '.') + "|ab"), rate);
        EXPECT_EQ(PauseColumns.size(), 1u);
    }
    PlayPauseProc = Delay;
}

TEST_F(PipeOnPty, PaceKeysNeverOverflowTheRate) {
    // A rate beyond every block position never pauses; "+" and "-" at the ends
    // of the range must stop there rather than wrap.
    Fresh();
    TypeAndWait("+++");
    PipePlayFile(File("k.txt", "abc"), INT32_MAX);
    EXPECT_EQ(ReadOutput(), "\r\nabc");
    Fresh();
    TypeAndWait("---");
    PipePlayFile(File("k.txt", "abc"), INT32_MIN);
    EXPECT_EQ(ReadOutput(), "\r\nabc");
}

TEST_F(PipeOnPty, PipeToAnsiGivesTheFixedEscapes) {
    struct Case {
        uint8_t Code, Attr;
        std::string Want;
    };
    const Case cases[] = {
        {0, 0x07, "\x1b[0;30m\x1b[40m"},
        {4, 0x1F, "\x1b[0;31m\x1b[44m"},
        {7, 0x70, "\x1b[0;37m\x1b[47m"},
        {7, 0xF0, "\x1b[0;37m\x1b[47m"},
        {8, 0x70, "\x1b[1;30m"},
        {14, 0x07, "\x1b[1;33m"},
        {15, 0x07, "\x1b[1;37m"},
        {16, 0x07, "\x1b[40m"},
        {20, 0x07, "\x1b[41m"},
        {23, 0x07, "\x1b[47m"},
        {24, 0x07, ""},
        {255, 0x07, ""},
    };
    for (const Case& c : cases) {
        std::string s = "old";
        PipeToAnsi(s, c.Code, c.Attr);
        EXPECT_EQ(Hex(s), Hex(c.Want)) << int(c.Code);
    }
}

TEST_F(PipeOnPty, PipeToAnsiDiffGivesTheShortestChange) {
    struct Case {
        uint8_t Attr, Code;
        std::string Want;
    };
    const Case cases[] = {
        {0x1F, 4, "\x1b[0;31;44m"},
        {0x1F, 12, "\x1b[31m"},
        {0x1F, 15, ""},
        {0x1F, 17, ""},
        {0x1F, 20, "\x1b[41m"},
        {0x07, 9, "\x1b[1;34m"},
        {0x07, 3, "\x1b[36m"},
        {0x07, 16, ""},
        {0x07, 24, ""},
        {0x9F, 17, ""},
        {0x70, 8, "\x1b[1;30m"},
        {0x0C, 2, "\x1b[0;32;40m"},
        {0x70, 0, ""},
    };
    for (const Case& c : cases) {
        Fresh(c.Attr);
        std::string s = "old";
        PipeToAnsiDiff(s, c.Code);
        EXPECT_EQ(Hex(s), Hex(c.Want)) << int(c.Attr) << " " << int(c.Code);
        EXPECT_EQ(GetTextAttr(), c.Attr);
    }
}

TEST_F(PipeOnPty, SaveImageAnsiWritesTwentyLinesWithTheirColours) {
    TConsoleImageRec image;
    for (int y = 1; y <= 50; y++)
        for (int x = 1; x <= 80; x++) image.Data[y][x] = {0, ' '};
    image.Data[1][1] = {0x4E, '!'}; // line 1 is not saved
    image.Data[2][1] = {0x1F, 'A'};
    image.Data[2][2] = {0x1F, 'B'};
    image.Data[2][3] = {0x87, 'C'};  // blink: background code 24 gives nothing
    image.Data[2][80] = {0x4E, '?'}; // column 80 is not saved
    image.Data[21][79] = {0x00, '\0'};
    Fresh(0x07);
    const std::string name = Dir / "img.ans";
    SaveImageAnsi(name, image);

    std::string want =
        "\x1b[1;37m\x1b[44mAB\x1b[0;37m\x1b[40mC\x1b[0;30m\x1b[40m\x1b[40m" + std::string(76, ' ');
    for (int y = 3; y <= 21; y++) want += "\r\n" + std::string(79, ' ');
    want.back() = '\0';
    std::ifstream in(name, std::ios::binary);
    const std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(Hex(got), Hex(want));
    EXPECT_EQ(ReadOutput(), ""); // nothing on the screen

    SaveImageAnsi("", image);
    SaveImageAnsi(Dir.Path(), image); // a directory cannot be created: nothing happens
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

} // namespace
