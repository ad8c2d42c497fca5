// The one-line editor and the small prompts on a real pty: keys are typed
// before the call, the answer, InputKey and InputChanged are checked, and what
// was drawn is read back from the shadow screen.

#include "terminal/Console.h"
#include "terminal/KeyCodes.h"
#include "tests/common/KeyCases.h"
#include "tests/common/PtyFixture.h"
#include "ui/Dialogs.h"

#include <string>
#include <vector>

namespace {

using namespace Typed;
const std::string Bs = "\b";
const std::string CtrlY = "\x19";

std::string Times(const std::string& S, int N) {
    std::string r;
    for (int i = 0; i < N; ++i) r += S;
    return r;
}

class InputFieldTest : public ConsolePtyFixture {
protected:
    static constexpr uint8_t X = 5, Y = 10;

    void SetUp() override {
        ConsolePtyFixture::SetUp();
        InitDialogs();
        InputKey = 0;
    }

    // Keys typed, then the field run at (X, Y); the output is drained.
    std::string Field(const std::string& Keys, uint8_t FieldLen, uint8_t MaxLen, uint8_t Mode,
                      const std::string& Default, uint8_t At = X) {
        TypeAndWait(Keys);
        const std::string answer = InputField(At, Y, FieldLen, MaxLen, Mode, Default);
        ReadOutput();
        return answer;
    }

    // Text of columns From..To of line L on the shadow.
    static std::string Row(uint8_t L, uint8_t From, uint8_t To) {
        std::string r;
        for (int c = From; c <= To; ++c) r += ScreenCharAt(static_cast<uint8_t>(c), L);
        return r;
    }
    static std::vector<uint8_t> Attrs(uint8_t L, uint8_t From, uint8_t To) {
        std::vector<uint8_t> r;
        for (int c = From; c <= To; ++c) r.push_back(ScreenAttrAt(static_cast<uint8_t>(c), L));
        return r;
    }
};

struct EditCase {
    const char* Name;
    uint8_t FieldLen, MaxLen, Mode;
    std::string Default, Keys, Want;
    int CursorCol; // cursor column after the field, relative to X (0: X itself)
    bool Changed;
    std::string Shown; // the window's text afterwards, the fill after it
};

TEST_F(InputFieldTest, EditingKeysAndModes) {
    const std::string eighty = Times("0123456789", 8);
    const std::string last60 = eighty.substr(20);
    const std::vector<EditCase> cases = {
        {"TypeIntoEmpty", 10, 20, imAny, "", "abc" + Enter, "abc", 3, true, "abc"},
        {"HomeThenInsert", 10, 20, imAny, "abc", Home + "x" + Enter, "xabc", 1, true, "xabc"},
        {"InsertInMiddle", 10, 20, imAny, "abd", Left + "c" + Enter, "abcd", 3, true, "abcd"},
        {"BackspaceAfterLefts", 10, 20, imAny, "abcd", Left + Left + Bs + Enter, "acd", 1, true,
         "acd"},
        {"DelUnderCursor", 10, 20, imAny, "abc", Home + Del + Enter, "bc", 0, true, "bc"},
        {"DelAtEndDoesNothing", 10, 20, imAny, "abc", Del + Enter, "abc", 3, false, "abc"},
        {"BackspaceAtStartDoesNothing", 10, 20, imAny, "abc", Home + Bs + Enter, "abc", 0, false,
         "abc"},
        {"RightStopsAtEnd", 10, 20, imAny, "ab", Home + Right + Right + Right + Enter, "ab", 2,
         false, "ab"},
        {"EndAfterHome", 10, 20, imAny, "abc", Home + End + "d" + Enter, "abcd", 4, true, "abcd"},
        {"CtrlYEmpties", 10, 20, imAny, "abc", CtrlY + "z" + Enter, "z", 1, true, "z"},
        {"EditedBackIsUnchanged", 10, 20, imAny, "abc", Bs + "c" + Enter, "abc", 3, false, "abc"},
        {"MaxLenStopsTyping", 10, 3, imAny, "", "abcdef" + Enter, "abc", 3, true, "abc"},
        {"NoMoreThan80", 60, 255, imAny, eighty, "x" + Enter, eighty, 60, false, last60},
        {"DefaultCutTo80", 60, 255, imAny, eighty + "xyz", Enter, eighty, 60, false, last60},
        {"DefaultCutToMaxLen", 10, 3, imAny, "abcdef", Enter, "abc", 3, true, "abc"},
        {"NumberTakesDigitsAndMinus", 10, 20, imNumber, "", "1a -2b.3" + Enter, "1-23", 4, true,
         "1-23"},
        {"UpperCasesLettersOnly", 10, 20, imUpper, "", "aZ\xE4{q" + Enter, "AZ\xE4{Q", 5, true,
         "AZ\xE4{Q"},
        {"AnyTakesHighBytes", 10, 20, imAny, "", "\x80\xFE\xFF" + Enter, "\x80\xFE", 2, true,
         "\x80\xFE"},
        {"DateShape", 10, 20, imDate, "", "311299" + Enter, "31/12/99", 8, true, "31/12/99"},
        {"DateIgnoresNonDigits", 10, 20, imDate, "", "3a/1" + Enter, "31/", 3, true, "31/"},
        {"DateLimitStopsSecondInsert", 10, 4, imDate, "", "3112" + Enter, "31/1", 4, true, "31/1"},
        {"UnknownModeTakesNothing", 10, 20, 7, "", "a1-" + Enter, "", 0, false, ""},
        {"ControlKeysIgnored", 10, 20, imAny, "",
         "a\t\x01\x1f"
         "b" +
             Enter,
         "ab", 2, true, "ab"},
        // Eight characters in a five-column window, which opens on "defgh".
        {"LeftScrollsAtTheFirstColumn", 5, 20, imAny, "abcdefgh", Times(Left, 6) + "#" + Enter,
         "ab#cdefgh", 1, true, "#cdef"},
        {"RightScrollsAtTheLastColumn", 5, 20, imAny, "abcdefgh", Home + Times(Right, 5) + Enter,
         "abcdefgh", 4, false, "bcdef"},
        {"EndShowsTheTextsEnd", 5, 20, imAny, "abcdefgh", Home + End + Enter, "abcdefgh", 5, false,
         "defgh"},
        // A field as long as its limit never scrolls: the cursor ends right of it.
        {"FullFieldOfItsOwnLength", 5, 5, imAny, "", "abcdef" + Enter, "abcde", 5, true, "abcde"},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.Name);
        InputChanged = !c.Changed;
        EXPECT_EQ(Field(c.Keys, c.FieldLen, c.MaxLen, c.Mode, c.Default), c.Want);
        EXPECT_EQ(WhereX(), X + c.CursorCol);
        EXPECT_EQ(WhereY(), Y);
        EXPECT_EQ(InputKey, Key::Enter);
        EXPECT_EQ(InputChanged, c.Changed);
        const auto last = static_cast<uint8_t>(X + c.FieldLen - 1);
        EXPECT_EQ(Row(Y, X, last), c.Shown + std::string(c.FieldLen - c.Shown.size(), '\xB0'));
        std::vector<uint8_t> attrs(c.Shown.size(), 0x1F);
        attrs.resize(c.FieldLen, 0x17);
        EXPECT_EQ(Attrs(Y, X, last), attrs);
    }
}

// Word moves are keys no terminal sequence produces; they go straight into
// the key ring.
TEST_F(InputFieldTest, WordMoves) {
    constexpr uint8_t ctrlLeft = 115, ctrlRight = 116;
    struct Case {
        const char* Name;
        std::vector<uint8_t> Moves;
        int Cur; // where "#" lands, 1-based in the text
    };
    const std::string text = "one two  three";
    const std::vector<Case> cases = {
        {"LeftFromEndToWordStart", {ctrlLeft}, 10},
        {"LeftTwice", {ctrlLeft, ctrlLeft}, 5},
        {"LeftToTextStart", {ctrlLeft, ctrlLeft, ctrlLeft, ctrlLeft}, 1},
        {"RightFromStartPastBlank", {ctrlLeft, ctrlLeft, ctrlLeft, ctrlRight}, 5},
        {"RightStopsAfterFirstBlank", {ctrlLeft, ctrlLeft, ctrlRight}, 9},
        {"RightAtEndStays", {ctrlRight}, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        for (uint8_t m : c.Moves) Keyboard->PushExtKey(m);
        Keyboard->PushKey('#');
        Keyboard->PushKey(Key::Enter);
        std::string want = text;
        want.insert(static_cast<size_t>(c.Cur - 1), "#");
        EXPECT_EQ(Field("", 30, 40, imAny, text), want);
    }
}

TEST_F(InputFieldTest, DrawsTextThenFill) {
    EXPECT_EQ(Field("d" + Left + Left + "x" + Enter, 8, 20, imAny, "abc"), "abxcd");
    EXPECT_EQ(Row(Y, X, X + 7), "abxcd\xB0\xB0\xB0");
    const std::vector<uint8_t> want = {0x1F, 0x1F, 0x1F, 0x1F, 0x1F, 0x17, 0x17, 0x17};
    EXPECT_EQ(Attrs(Y, X, X + 7), want);
    EXPECT_EQ(GetTextAttr(), 0x1F); // the field's attribute stays current
    EXPECT_EQ(WhereX(), X + 3);

    // The same with the drawing settings as arguments.
    TypeAndWait(Bs + Enter);
    EXPECT_EQ(InputFieldAttr(X, Y, 6, 20, imAny, 0x4E, 0x20, '.', "xy").str(), "x");
    EXPECT_EQ(Row(Y, X, X + 5), "x.....");
    EXPECT_EQ(Attrs(Y, X, X + 1), (std::vector<uint8_t>{0x4E, 0x20}));
    EXPECT_EQ(GetTextAttr(), 0x4E);
}

TEST_F(InputFieldTest, LongDefaultShowsItsEndInTheWindow) {
    std::string text;
    for (int i = 0; i < 80; ++i) text += static_cast<char>('A' + i % 26);
    TypeAndWait(Enter);
    InputField(1, Y, 60, 255, imAny, text + "tail");
    EXPECT_EQ(Row(Y, 1, 60), text.substr(20));
    EXPECT_EQ(WhereX(), 61);
}

TEST_F(InputFieldTest, BackspaceInFirstColumnScrollsBack) {
    // 15 characters in a 10-column window: positions 6-15 shown; ten Lefts
    // bring the cursor to the window's first column over position 6.
    EXPECT_EQ(Field(Times(Left, 10) + Bs + Enter, 10, 20, imAny, "ABCDEFGHIJKLMNO"),
              "ABCDFGHIJKLMNO");
    EXPECT_EQ(Row(Y, X, X + 9), "FGHIJKLMNO");
    EXPECT_EQ(WhereX(), X);
}

TEST_F(InputFieldTest, TypingPastTheWindowScrollsIt) {
    EXPECT_EQ(Field("abcdefghijkl" + Enter, 5, 20, imAny, ""), "abcdefghijkl");
    EXPECT_EQ(Row(Y, X, X + 5), "ijkl\xB0 ");
    EXPECT_EQ(WhereX(), X + 4);
    EXPECT_EQ(Field(Home + Enter, 5, 20, imAny, "abcdefghijkl"), "abcdefghijkl");
    EXPECT_EQ(Row(Y, X, X + 5), "abcde ");
}

TEST_F(InputFieldTest, NarrowFieldsAndTheScreenEdgeDrawOnlyInside) {
    struct Case {
        uint8_t At, FieldLen;
        int LastDrawn; // last column a field of this kind may touch
    };
    for (const Case& c : {Case{X, 0, X + 1}, Case{X, 1, X + 1}, Case{75, 20, 80}}) {
        SCOPED_TRACE(testing::Message() << int(c.At) << "/" << int(c.FieldLen));
        SetTextAttr(7);
        ClearScreen();
        ReadOutput();
        EXPECT_EQ(Field("abcdefgh" + Enter, c.FieldLen, 20, imAny, "", c.At), "abcdefgh");
        for (int col = 1; col <= 80; ++col) {
            const bool inside = col >= c.At && col <= c.LastDrawn;
            if (!inside) {
                EXPECT_EQ(ScreenCharAt(static_cast<uint8_t>(col), Y), ' ') << col;
            }
        }
        EXPECT_EQ(Row(Y + 1, 1, 80), std::string(80, ' '));
        EXPECT_LE(WhereX(), 80);
        EXPECT_EQ(WhereY(), Y);
    }
}

TEST_F(InputFieldTest, ExitKeys) {
    struct Case {
        const char* Name;
        std::string Exit, ExitExt, Keys, Want;
        char Key;
    };
    const std::string extF1Home{static_cast<char>(Scan::F1), static_cast<char>(Scan::Home)};
    const std::vector<Case> cases = {
        {"TabAndUnlistedKeysIgnored", "\r", "", "a\tb" + F1 + "c" + Enter, "abc", Key::Enter},
        {"TabEnds", "\t\r\x1b", "", "ab\tc", "ab", Key::Tab},
        {"EscEnds", "\t\r\x1b", "", "ab\x1b", "ab", Key::Esc},
        {"EnterNotListed", "\t", "", "a\rb\t", "ab", Key::Tab},
        {"ListedExtendedKeyEnds", "\r", extF1Home, "a" + Home + "x" + F2 + F1, "xa",
         static_cast<char>(Scan::F1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        InputExit = c.Exit;
        InputExitExt = c.ExitExt;
        EXPECT_EQ(Field(c.Keys, 10, 20, imAny, ""), c.Want);
        EXPECT_EQ(InputKey, c.Key);
        EXPECT_TRUE(InputChanged);
        ReadOutput();
        // Whatever stayed unread must not leak into the next case.
        while (KeyPressed()) ReadKey();
    }
}

TEST_F(InputFieldTest, InitDialogsSetsTheSettings) {
    InputExit = "\t";
    InputExitExt = "x";
    InputAttr = 1;
    InputFillChar = 'x';
    InputFillAttr = 2;
    InputChanged = true;
    InitDialogs();
    EXPECT_EQ(InputExit.str(), "\r");
    EXPECT_EQ(InputExitExt.str(), "");
    EXPECT_EQ(InputAttr, 0x1F);
    EXPECT_EQ(InputFillChar, '\xB0');
    EXPECT_EQ(InputFillAttr, 0x17);
    EXPECT_FALSE(InputChanged);
    MyString longText = std::string(100, 'a');
    EXPECT_EQ(longText.size(), 80u);
}

TEST_F(InputFieldTest, InputRangeClamps) {
    struct Case {
        std::string Keys;
        int32_t Min, Max, Default, Want;
    };
    const std::vector<Case> cases = {
        {Enter, 1, 10, 5, 5},
        {Bs + "0" + Enter, 1, 10, 5, 1},
        {CtrlY + Enter, 1, 10, 5, 1},
        {Bs + "99" + Enter, 1, 10, 5, 10},
        {Bs + "-3" + Enter, -5, 10, 5, -3},
        {Bs + "1-2" + Enter, -5, 10, 5, 0},
        {Bs + "-" + Enter, -5, 10, 5, 0},
        {Bs + "7" + Enter, 10, 5, 5, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Keys);
        TypeAndWait(c.Keys);
        EXPECT_EQ(InputRange(X, Y, 6, 6, c.Min, c.Max, c.Default), c.Want);
        ReadOutput();
    }
}

TEST_F(InputFieldTest, InputMaskedAppendsAndMasks) {
    const uint8_t before = GetTextAttr();
    GotoXY(X, Y);
    TypeAndWait(Enter + "a1b" + Bs + "c" + Enter);
    ReadOutput();
    EXPECT_EQ(InputMasked("", "abc", '*', 6, 10, 0x1E), "ac");
    EXPECT_EQ(Row(Y, X, X + 6), "**     ");
    // Backspace blanks the cell and steps back onto it: real cursor moves,
    // not text.
    EXPECT_NE(ReadOutput().find("**\b\xB0\b*"), std::string::npos);
    EXPECT_EQ(GetTextAttr(), before); // the caller's attribute is back

    GotoXY(X, Y);
    TypeAndWait("x\x1b");
    EXPECT_EQ(InputMasked("secret", "xyz", 0, 6, 3, 0x1E), "sec");

    // Longer than the window: its last characters are shown.
    GotoXY(X, Y);
    TypeAndWait("abcdef" + Enter);
    EXPECT_EQ(InputMasked("", "abcdef", 0, 4, 10, 7), "abcdef");
    EXPECT_EQ(Row(Y, X, X + 4), "cdef ");

    // An arrow key is no text, though its scan code is a letter.
    GotoXY(X, Y);
    TypeAndWait(Up + "a" + Enter);
    EXPECT_EQ(InputMasked("", "Ha", 0, 4, 10, 7), "a");
}

TEST_F(InputFieldTest, YesNoCharAndButton) {
    TypeAndWait(" " + Enter);
    EXPECT_TRUE(InputYesNo(X, Y, false));
    EXPECT_EQ(InputKey, 0);
    EXPECT_TRUE(InputChanged);
    EXPECT_EQ(Row(Y, X, X + 2), "Yes");

    InputExit = "\r\t";
    TypeAndWait(Left + Right + "\t");
    EXPECT_TRUE(InputYesNo(X, Y, true));
    EXPECT_EQ(InputKey, Key::Tab);
    EXPECT_FALSE(InputChanged);

    InputChanged = true;
    InputKey = 'q';
    TypeAndWait(Right + Enter);
    EXPECT_FALSE(AskYesNo(X, Y, 0x2F, 0x4F, 0x70, true));
    EXPECT_EQ(Row(Y, X, X + 8), " Yes  No ");
    EXPECT_EQ(ScreenAttrAt(X, Y), 0x70);
    EXPECT_EQ(ScreenAttrAt(X + 5, Y), 0x4F);
    EXPECT_EQ(InputKey, 'q'); // it leaves the settings alone
    EXPECT_TRUE(InputChanged);

    InputExit = "\r\x1b";
    TypeAndWait("xy" + Enter);
    EXPECT_EQ(InputChar(X, Y, 'a'), 'y');
    EXPECT_EQ(InputKey, Key::Enter);
    EXPECT_TRUE(InputChanged);
    TypeAndWait("x\x1b");
    EXPECT_EQ(InputChar(X, Y, 'a'), 'a');
    EXPECT_EQ(InputKey, Key::Esc);
    EXPECT_FALSE(InputChanged);

    InputExit = "\t";
    InputExitExt = std::string(1, static_cast<char>(Scan::F1));
    TypeAndWait("a" + Enter);
    EXPECT_TRUE(InputButton(X, Y, 6, "OK"));
    EXPECT_EQ(InputKey, Key::Enter);
    EXPECT_EQ(Row(Y, X, X + 5), "OK    ");
    TypeAndWait(F1);
    EXPECT_FALSE(InputButton(X, Y, 6, "OK"));
    EXPECT_EQ(InputKey, static_cast<char>(Scan::F1));
    EXPECT_FALSE(InputChanged);
    // An extended key ends a character input only when it is an exit key.
    TypeAndWait(Up + "z" + F1);
    EXPECT_EQ(InputChar(X, Y, 'a'), 'z');
    EXPECT_EQ(InputKey, static_cast<char>(Scan::F1));
    EXPECT_TRUE(InputChanged);
}

TEST_F(InputFieldTest, GetKeyFromWaitsForAListedKey) {
    TypeAndWait("xay");
    EXPECT_EQ(GetKeyFrom("YN", false), 'Y');
    TypeAndWait(Up);
    EXPECT_EQ(GetKeyFrom("H", false), 'H'); // an arrow's scan code counts as a key
    GotoXY(1, 3);
    TypeAndWait("n");
    EXPECT_EQ(GetKeyFrom("YN", true), 'N');
    EXPECT_EQ(ScreenCharAt(1, 3), 'N');
    EXPECT_EQ(WhereY(), 4);
}

} // namespace
