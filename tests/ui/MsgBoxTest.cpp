// The message box and the other prompt boxes on a real pseudo-terminal: the
// answers to the keys typed, the screen and cursor they leave behind, and
// what they show while they wait for a key.
#include "terminal/Console.h"
#include "terminal/KeyCodes.h"
#include "tests/common/BoxFixture.h"
#include "ui/Dialogs.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Every box starts from the input-field settings of start-up, whatever an
// earlier test left.
class BoxTest : public BoxFixture {
protected:
    void SetUp() override {
        BoxFixture::SetUp();
        InitDialogs();
    }
};

using MsgBoxTest = BoxTest;

TEST_F(MsgBoxTest, YesNoAnswersByKey) {
    const struct {
        const char* keys;
        bool want;
    } cases[] = {
        {"\r", true},                // YES is preselected
        {"y", true},                 //
        {"Y", true},                 //
        {"n", false},                //
        {"N", false},                //
        {"\x1b[C\r", false},         // Right chooses NO
        {"\x1b[C\x1b[D\r", true},    // Left chooses YES again
        {" \r", false},              // Space toggles
        {"  \r", true},              //
        {"\x1b[Cy", true},           // Y answers whatever is chosen
        {"x\x1b[A\x1b\x1b\r", true}, // other keys, extended ones and Esc are ignored
        {"n\r", false},              // the key after the answer stays for the next prompt
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(c.keys));
        TypeAndWait(c.keys);
        EXPECT_EQ(ShowMsgBox(mbYesNo, "Delete this message?"), c.want);
        ExpectPatternBack();
    }
    EXPECT_TRUE(KeyPressed());
    EXPECT_EQ(ReadKey(), Key::Enter);
}

TEST_F(MsgBoxTest, YesNoBoxShowsTheChosenButton) {
    const std::string text = "abcdefghijklmnopqrst"; // 20 characters: the box is (29,10)-(52,15)
    OnIdle({[&] {
                EXPECT_EQ(Text(29, 10, 1), "\xDB");
                EXPECT_EQ(Text(52, 15, 1), "\xDB");
                ExpectRun(38, 10, " Info ", 0x70);
                ExpectRun(31, 12, text, 0x7F);
                ExpectRun(36, 14, " YES ", 0x3F);
                ExpectRun(41, 14, " NO ", 0x78);
                return "\x1b[C";
            },
            [&] {
                ExpectRun(36, 14, " YES ", 0x78);
                ExpectRun(41, 14, " NO ", 0x4F);
                return "\r";
            }},
           "n");
    EXPECT_FALSE(ShowMsgBox(mbYesNo, text));
    ExpectPatternBack();
}

TEST_F(MsgBoxTest, InfoBoxTakesEveryKeyTypedAhead) {
    TypeAndWait("ab\x1b[Ac");
    EXPECT_TRUE(ShowMsgBox(mbInfo, "Saved."));
    EXPECT_FALSE(KeyPressed());
    ExpectPatternBack();

    const std::string text = "abcdefghijklmnopqrst";
    OnIdle({[&] {
               ExpectRun(31, 12, text, 0x7F);
               ExpectRun(39, 14, " OK ", 0x3F);
               return "\x1b[B";
           }},
           "\r");
    EXPECT_TRUE(ShowMsgBox(mbInfo, text));
    EXPECT_FALSE(KeyPressed());
    ExpectPatternBack();
}

// The console draws 25 lines whatever the terminal's height: on a 50-line
// terminal the box goes down as far as it can with its shadow on line 25.
TEST_F(MsgBoxTest, BoxRowsByTerminalHeight) {
    const struct {
        uint8_t rows;
        int top;
    } cases[] = {{25, 10}, {24, 10}, {43, 10}, {50, 19}, {51, 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.rows));
        ScreenRows = c.rows;
        OnIdle({[&] {
                   EXPECT_EQ(Text(29, c.top, 1), "\xDB");
                   ExpectRun(31, c.top + 2, "abcdefghijklmnopqrst", 0x7F);
                   ExpectRun(39, c.top + 4, " OK ", 0x3F);
                   EXPECT_EQ(Text(52, c.top + 5, 1), "\xDB");
                   EXPECT_LE(c.top + 6, 25);
                   return "\r";
               }},
               "\r");
        ShowMsgBox(mbInfo, "abcdefghijklmnopqrst");
        ExpectPatternBack();
    }
}

TEST_F(MsgBoxTest, StayModeLeavesTheBoxDrawn) {
    EXPECT_TRUE(ShowMsgBox(mbStay, "Please wait"));
    // 11 characters: X = 33, the box (33,10)-(47,14), no button row.
    EXPECT_EQ(Text(33, 10, 1), "\xDB");
    EXPECT_EQ(Text(47, 14, 1), "\xDB");
    ExpectRun(35, 12, "Please wait", 0x7F);
    EXPECT_EQ(WhereX(), 5);
    EXPECT_EQ(WhereY(), 3);
    EXPECT_EQ(GetTextAttr(), 0x1E);
    const TConsoleScreenRec now = Screen->Shadow;
    Pattern();
    for (int y : {1, 9, 16, 25}) EXPECT_EQ(now[y], Screen->Shadow[y]) << "row " << y;
}

TEST_F(MsgBoxTest, LongTextIsCutToTheScreen) {
    std::string text;
    for (int i = 0; i < 100; ++i) text += static_cast<char>('a' + i % 26);
    ShowMsgBox(mbStay, text);
    // Cut to 76: the box spans columns 1 to 80, nothing wraps onto row 13.
    EXPECT_EQ(Text(1, 10, 1), "\xDB");
    EXPECT_EQ(Text(80, 14, 1), "\xDB");
    ExpectRun(3, 12, text.substr(0, 76), 0x7F);
    ExpectRun(79, 12, " ", 0x7F);
    ExpectRun(2, 13, std::string(78, ' '), 0x7F);
}

TEST_F(MsgBoxTest, ControlAndHighBytesKeepTheirColumns) {
    const std::string text = "a\x01"
                             "b\x7f"
                             "c\x82\xDB"
                             "d\be\rf\ng";
    const std::string shown = "a.b.c\x82\xDB"
                              "d.e.f.g"; // every control byte one stand-in cell
    drain.reset();
    ReadOutput();
    ShowMsgBox(mbStay, text); // 14 characters: X = 32, text from column 34
    ExpectRun(34, 12, shown, 0x7F);
    EXPECT_EQ(Text(49, 12, 1), "\xDB"); // the right edge stays in place
    const std::string got = ReadOutput();
    EXPECT_NE(got.find("\x1b[12;34H"), std::string::npos) << Hex(got);
    EXPECT_NE(got.find(shown), std::string::npos) << Hex(got);
    for (char move : {'\b', '\r', '\n'}) EXPECT_EQ(got.find(move), std::string::npos) << Hex(got);
}

// Freeing a box leaves the screen as it is: every box closes itself on the
// way out, an exception from under its key wait included.
TEST_F(MsgBoxTest, BoxesLeftByAnExceptionPutTheScreenBack) {
    struct PulledOut {};
    const struct {
        const char* name;
        std::function<void()> open;
    } cases[] = {
        {"info", [] { ShowMsgBox(mbInfo, "Saved."); }},
        {"question", [] { ShowMsgBox(mbYesNo, "Delete this message?"); }},
        {"about", [] { ShowAbout("About"); }},
        {"charset", [] { SelectCharset(); }},
        {"colour", [] { SelectColor(0x1E); }},
        {"character", [] { SelectChar(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OnIdle({[]() -> std::string { throw PulledOut{}; }}, "\x1b");
        EXPECT_THROW(c.open(), PulledOut);
        ExpectPatternBack();
    }
}

using AskBoxTest = BoxTest;

TEST_F(AskBoxTest, NoIsPreselectedAndTheScreenComesBack) {
    const struct {
        const char* keys;
        bool want;
    } cases[] = {{"\r", false}, {"\x1b[D\r", true}, {" \r", true}, {"  \r", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(c.keys));
        TypeAndWait(c.keys);
        EXPECT_EQ(AskBox(" Delete ", "Delete the marked messages?"), c.want);
        ExpectPatternBack();
    }
}

TEST_F(AskBoxTest, ShowsTitleTextAndChoice) {
    OnIdle({[&] {
               ExpectRun(15, 11, " Delete ", 0x70);
               ExpectRun(23, 11, std::string(22, ' '), 0x70); // placeholder caption blanked
               ExpectRun(15, 12,
                         std::string(11, ' ') + "Delete the marked messages?" +
                             std::string(11, ' '),
                         0x70);
               ExpectRun(39, 13, " No ", 0x4F);
               return "\r";
           }},
           "\r");
    EXPECT_FALSE(AskBox(" Delete ", "Delete the marked messages?"));
    ExpectPatternBack();
}

using AboutTest = BoxTest;

TEST_F(AboutTest, ShowsTitleAndVersionUntilAKey) {
    OnIdle({[&] {
               ExpectRun(21, 8, std::string(17, ' ') + "About" + std::string(18, ' '), 0x1F);
               ExpectRun(21, 9, std::string(40, '-'), 0x70);
               ExpectRun(21, 13, std::string(12, ' ') + "Version 0.8 Beta" + std::string(12, ' '),
                         0x71);
               ExpectRun(21, 17, std::string(40, '-'), 0x70);
               for (int y : {10, 11, 15, 16}) EXPECT_EQ(Screen->Shadow[y][21].Attr, 0x71);
               return "\x1b[B";
           }},
           "\r");
    ShowAbout("About");
    EXPECT_FALSE(KeyPressed()); // an extended key is one key: its scan code went too
    ExpectPatternBack();
}

using PickerTest = BoxTest;

TEST_F(PickerTest, SelectCharsetAnswers) {
    const struct {
        const char* keys;
        int want;
    } cases[] = {
        {"\r", 1}, {"\x1b[B\x1b[B\r", 3}, {"\x1b[B\x1b[B\x1b", 4}, {"\x1b", 4}, {"\x1b[F\r", 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(c.keys));
        TypeAndWait(c.keys);
        EXPECT_EQ(SelectCharset(), c.want);
        ExpectPatternBack();
    }
}

TEST_F(PickerTest, SelectCharsetShowsEachSetBetweenBlanks) {
    OnIdle({[&] {
               ExpectRun(31, 9, " \xDA\xBF\xC0\xD9\xC4\xB3\xC3\xB4\xC1\xC2 ", 0x1F);
               ExpectRun(31, 13, " \xB0\xB1\xB2\xDB\xDC\xDF\xDD\xDE\xFE\xF9 ", 0x70);
               ExpectRun(31, 18, " \xE8\xE9\xEA", 0x70); // the tenth and last set
               return "\r";
           }},
           "\r");
    EXPECT_EQ(SelectCharset(), 1);
}

TEST_F(PickerTest, SelectColorAnswers) {
    const struct {
        uint8_t attr;
        const char* keys;
        int want;
    } cases[] = {
        {0x1E, "\x1b", 0x1E},
        {0x1E, "\r", 0x1E},
        {0x1E, "\x1b[C\x1b[C\x1b[C\r", 0x1F},                               // Right stops at 15
        {0x1E, "\x1b[B\x1b[D\x1b[D\r", 0x0E},                               // Left stops at 0
        {0x1E, "\x1b[B\x1b[C\x1b[C\x1b[C\x1b[C\x1b[C\x1b[C\x1b[C\r", 0x7E}, // and Right at 7
        {0x1E, "\x1b[B\x1b[C\x1b[A\x1b[D\r", 0x2D}, // Up goes back to the foreground
        {0x9E, "\r", 0x1E},                         // the blink bit's swatch is its colour
        {0x9E, "\x1b", 0x9E},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(c.keys));
        TypeAndWait(c.keys);
        EXPECT_EQ(SelectColor(c.attr), c.want);
        ExpectPatternBack();
        while (KeyPressed()) ReadKey();
    }
}

TEST_F(PickerTest, SelectColorMarksTheActiveRow) {
    OnIdle({[&] {
                ExpectRun(65, 8, "[", 0x7F); // F = 14
                ExpectRun(68, 8, "]", 0x7F);
                ExpectRun(30, 12, "[", 0x70); // G = 1
                ExpectRun(33, 12, "]", 0x70);
                ExpectRun(10, 8, "\xDB\xDB", 0x70);
                ExpectRun(70, 8, "\xDB\xDB", 0x7F);
                ExpectRun(55, 12, "  ", 0x70);
                return "\x1b[B";
            },
            [&] {
                ExpectRun(65, 8, "[", 0x70);
                ExpectRun(30, 12, "[", 0x7F);
                return "\r";
            }},
           "\r");
    EXPECT_EQ(SelectColor(0x1E), 0x1E);
}

TEST_F(PickerTest, SelectCharAnswers) {
    const struct {
        const char* keys;
        int want;
    } cases[] = {
        {"\r", 0},
        {"\x1b[C\x1b[B\r", 17},
        {"\x1b[A\x1b[D\r", 0}, // no move past the first row and column
        {"\x1b[C\x1b\x1b", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(c.keys));
        TypeAndWait(c.keys);
        EXPECT_EQ(SelectChar(), static_cast<char>(c.want));
        ExpectPatternBack();
        while (KeyPressed()) ReadKey();
    }
    std::string keys;
    for (int i = 0; i < 20; ++i) keys += "\x1b[C\x1b[B";
    TypeAndWait(keys + "\r");
    EXPECT_EQ(SelectChar(), '\xFF');
}

TEST_F(PickerTest, SelectCharShowsTheCodeOfTheChosenCell) {
    std::string toHundred;
    for (int i = 0; i < 6; ++i) toHundred += "\x1b[B";
    for (int i = 0; i < 4; ++i) toHundred += "\x1b[C"; // 16 * 6 + 4 = 100
    OnIdle({[&] {
                ExpectRun(32, 5, "Dec: 0 Hex: 00  ", 0x70);
                EXPECT_EQ(Screen->Shadow[6][32].Attr, 0x2F); // character 0 chosen
                EXPECT_EQ(Screen->Shadow[6][33].Attr, 0x70);
                ExpectRun(32, 10, "@ABCDEFGHIJKLMNO", 0x70);
                ExpectRun(47, 21, "\xFF", 0x70);
                return toHundred;
            },
            [&] {
                ExpectRun(32, 5, "Dec: 100 Hex: 64", 0x70);
                ExpectRun(36, 12, "d", 0x2F);
                return std::string("\x1b[D");
            },
            [&] {
                ExpectRun(32, 5, "Dec: 99 Hex: 63 ", 0x70); // no digit left behind
                return std::string("\r");
            }},
           "\x1b");
    EXPECT_EQ(SelectChar(), 'c');
    ExpectPatternBack();
}

TEST_F(PickerTest, WritePipeCenterCentresTheVisibleText) {
    drain.reset();
    FlushScreen();
    ReadOutput();
    WritePipeCenter("|00|23ForeGround Color", 6); // 16 visible characters
    WritePipeCenter("abc", 7);
    FlushScreen();
    const std::string out = ReadOutput();
    EXPECT_NE(out.find("\x1b[6;32H"), std::string::npos) << Hex(out);
    EXPECT_NE(out.find("\x1b[7;39H"), std::string::npos) << Hex(out);
    EXPECT_NE(out.find("ForeGround Color"), std::string::npos) << Hex(out);
}

} // namespace
