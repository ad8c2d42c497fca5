#include "support/StrUtil.h"

#include <climits>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace {

std::string Bytes(std::string_view v) {
    return std::string(v);
}

} // namespace

TEST(StrUtil, StrToIntFollowsTheWholeNumberRule) {
    struct Case {
        std::string_view in;
        int32_t want;
    };
    const Case cases[] = {
        {"42", 42},
        {"0", 0},
        {"007", 7},
        {"  -17", -17},
        {"\t\t 9", 9},
        {"+5", 5},
        {"-0", 0},
        // Bases and their prefixes, digits in either case.
        {"$1F", 31},
        {"$1f", 31},
        {"x1F", 31},
        {"X10", 16},
        {"0x1F", 31},
        {"0XfF", 255},
        {"%101", 5},
        {"&17", 15},
        {"-$10", -16},
        {"+%11", 3},
        // Decimal range edges.
        {"2147483647", INT32_MAX},
        {"2147483648", 0},
        {"-2147483648", INT32_MIN},
        {"-2147483649", 0},
        {"99999999999999999999", 0},
        {"00000000002147483647", INT32_MAX},
        // Other bases are 32-bit patterns, invalid only beyond 32 bits.
        {"$FFFFFFFF", -1},
        {"$80000000", INT32_MIN},
        {"$100000000", 0},
        {"$000000000001", 1},
        {"%11111111111111111111111111111111", -1},
        {"%111111111111111111111111111111111", 0},
        {"&37777777777", -1},
        {"&40000000000", 0},
        // Anything else makes the whole text invalid.
        {"", 0},
        {"   ", 0},
        {"-", 0},
        {"+", 0},
        {"$", 0},
        {"0x", 0},
        {"%", 0},
        {"42 ", 0},
        {"4x2", 0},
        {"12x", 0},
        {"1.5", 0},
        {" + 5", 0},
        {"+-5", 0},
        {"$-1", 0},
        {"%102", 0},
        {"&8", 0},
        {"$G", 0},
        {"0b1", 0},
        {"\n5", 0},
        {"5\t", 0},
        {"\xB3"
         "5",
         0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StrToInt(std::string(c.in)), c.want) << '"' << c.in << '"';
}

TEST(StrUtil, StrToIntStopsAtNul) {
    EXPECT_EQ(StrToInt(Bytes(std::string_view("12\0abc", 6))), 12);
    EXPECT_EQ(StrToInt(Bytes(std::string_view("$ff\0", 4))), 255);
    EXPECT_EQ(StrToInt(Bytes(std::string_view("\0"
                                              "12",
                                              3))),
              0);
    EXPECT_EQ(StrToIntDef(Bytes(std::string_view("-\0"
                                                 "1",
                                                 3)),
                          9),
              9);
}

TEST(StrUtil, StrToIntDefGivesDefaultOnlyForInvalidText) {
    EXPECT_EQ(StrToIntDef("abc", 9), 9);
    EXPECT_EQ(StrToIntDef("0", 9), 0);
    EXPECT_EQ(StrToIntDef("", 9), 9);
    EXPECT_EQ(StrToIntDef("2147483648", -3), -3);
    EXPECT_EQ(StrToIntDef("$FFFFFFFF", 9), -1);
}

TEST(StrUtil, CaseTouchesAsciiLettersOnly) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    const std::string up = UpperCase(all.substr(0, 255));
    const std::string lo = LowerCase(all.substr(0, 255));
    for (int c = 0; c < 255; ++c) {
        const char ch = static_cast<char>(c);
        const char wantUp = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : ch;
        const char wantLo = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : ch;
        EXPECT_EQ(up[c], wantUp) << c;
        EXPECT_EQ(lo[c], wantLo) << c;
        EXPECT_EQ(LoCase(ch), wantLo) << c;
    }
    EXPECT_EQ(LoCase('\xFF'), '\xFF');
    EXPECT_EQ(UpperCase(std::string(300, 'a')), std::string(255, 'A'));
}

TEST(StrUtil, PaddingAndCentring) {
    EXPECT_EQ(PadRight("abcdef", 4, ' '), "abcd");
    EXPECT_EQ(PadRight("ab", 5, '.'), "ab...");
    EXPECT_EQ(PadRight("abc", 3, '.'), "abc");
    EXPECT_EQ(PadLeft("abcdef", 4, '0'), "abcd");
    EXPECT_EQ(PadLeft("7", 3, '0'), "007");
    EXPECT_EQ(PadLeft("", 0, '0'), "");
    EXPECT_EQ(PadCenter("ab", 7, '*'), "**ab***");
    EXPECT_EQ(PadCenter("ab", 6, '*'), "**ab**");
    EXPECT_EQ(PadCenter("abcdef", 4, '*'), "abcd");
    EXPECT_EQ(PadCenter("", 3, '-'), "---");
    EXPECT_EQ(PadRight(std::string(300, 'x'), 255, ' ').size(), 255u);
    EXPECT_EQ(StringOfChar('x', 0), "");
    EXPECT_EQ(StringOfChar('x', 255), std::string(255, 'x'));
    EXPECT_EQ(LeftPadChar("7", '0', 3), "007");
    EXPECT_EQ(LeftPadChar("abcdef", '0', 4), "abcd");
    EXPECT_EQ(LeftPadChar("abc", '0', 0), "");
    EXPECT_EQ(LeftPadChar("abc", '0', -5), "");
    EXPECT_EQ(LeftPadChar("abc", '0', 1000).size(), 255u);
    EXPECT_EQ(RightPadChar("ab", '-', 4), "ab--");
    EXPECT_EQ(RightPadChar("abcdef", '-', 2), "ab");
    EXPECT_EQ(RightPadChar("abc", '-', -1), "");
    EXPECT_EQ(RightPadChar("abc", '-', 1000).size(), 255u);
    EXPECT_EQ(Center80("abcd"), std::string(38, ' ') + "abcd");
    EXPECT_EQ(Center80("abc"), std::string(38, ' ') + "abc");
    EXPECT_EQ(Center80(std::string(80, 'x')), std::string(80, 'x'));
    EXPECT_EQ(RightJustify80("x"), std::string(79, ' ') + "x");
    EXPECT_EQ(RightJustify80(std::string(90, 'x')), std::string(80, 'x'));
}

TEST(StrUtil, NumbersToText) {
    struct Case {
        int32_t n;
        std::string_view plain, comma, two;
    };
    const Case cases[] = {
        {0, "0", "0", "00"},
        {7, "7", "7", "07"},
        {42, "42", "42", "42"},
        {100, "100", "100", "10"},
        {999, "999", "999", "99"},
        {1000, "1000", "1,000", "10"},
        {1234567, "1234567", "1,234,567", "12"},
        {-5, "-5", "-5", "-5"},
        {-123, "-123", "-123", "-1"},
        {-1234, "-1234", "-1,234", "-1"},
        {-123456, "-123456", "-123,456", "-1"},
        {-1234567, "-1234567", "-1,234,567", "-1"},
        {INT32_MAX, "2147483647", "2,147,483,647", "21"},
        {INT32_MIN, "-2147483648", "-2,147,483,648", "-2"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IntToStr(c.n), c.plain);
        EXPECT_EQ(IntToStrComma(c.n), c.comma);
        EXPECT_EQ(IntToStr2(c.n), c.two);
    }
}

TEST(StrUtil, HexText) {
    EXPECT_EQ(IntToHex(0, 8), "00000000");
    EXPECT_EQ(IntToHex(4294967295u, 8), "ffffffff");
    EXPECT_EQ(IntToHex(255, 2), "ff");
    EXPECT_EQ(IntToHex(0xFF00, 8), "0000ff00");
    EXPECT_EQ(IntToHex(0xABCDEF, 6), "abcdef");
    EXPECT_EQ(IntToHex(0, 0), "");
    // Too narrow a width keeps the low-order digits and the width.
    EXPECT_EQ(IntToHex(0x12345, 3), "345");
    EXPECT_EQ(ByteToHex(255), "ff");
    EXPECT_EQ(ByteToHex(10), "0a");
    EXPECT_EQ(ByteToHex(0), "00");
    EXPECT_EQ(ByteToHex(0xA5), "a5");
}

TEST(StrUtil, RealToStrRightAlignsInTenColumns) {
    EXPECT_EQ(RealToStr(3.14159, 2), "      3.14");
    EXPECT_EQ(RealToStr(-2.5, 1), "      -2.5");
    EXPECT_EQ(RealToStr(42, 0), "        42");
    EXPECT_EQ(RealToStr(123456789.125, 3), "123456789.125");
    EXPECT_EQ(RealToStr(1e300, 2).size(), 255u);
}

TEST(StrUtil, SearchAndSlashes) {
    EXPECT_EQ(PosNoCase("LO w", "hello World"), 4);
    EXPECT_EQ(PosNoCase("", "abc"), 0);
    EXPECT_EQ(PosNoCase("x", "abc"), 0);
    EXPECT_EQ(PosNoCase("\x84", "a\x84"), 2);
    EXPECT_EQ(PosNoCase("\x8E", "a\x84"), 0); // no case beyond ASCII
    EXPECT_TRUE(ContainsNoCase("ABC", "xabcx"));
    EXPECT_FALSE(ContainsNoCase("", "xabcx"));
    EXPECT_EQ(AddSlash(""), "/");
    EXPECT_EQ(AddSlash("/tmp"), "/tmp/");
    EXPECT_EQ(AddSlash("/tmp/"), "/tmp/");
    EXPECT_EQ(DelSlash("/tmp/"), "/tmp");
    EXPECT_EQ(DelSlash("/tmp"), "/tmp");
    EXPECT_EQ(DelSlash(""), "");
    EXPECT_EQ(IfStr(true, "a", "b"), "a");
    EXPECT_EQ(IfStr(false, "a", "b"), "b");
    EXPECT_EQ(YesNoStr(true), "Yes");
    EXPECT_EQ(YesNoStr(false), "No");
}

TEST(StrUtil, ReplaceAllIgnoresCaseAndSearchesAgainFromTheFront) {
    EXPECT_EQ(ReplaceAll("a-B-b", "b", "x"), "a-x-x");
    EXPECT_EQ(ReplaceAll("aabb", "ab", ""), ""); // produced text is searched again
    EXPECT_EQ(ReplaceAll("xaAbBy", "AB", "-"), "xa-By");
    EXPECT_EQ(ReplaceAll("abc", "b", "xBx"), "abc"); // Repl holds Find
    EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
    EXPECT_EQ(ReplaceAll("abc", "d", "x"), "abc");
    EXPECT_EQ(ReplaceAll("abcabc", "BC", ""), "aa");
    EXPECT_EQ(ReplaceAll(std::string(200, 'a'), "a", "bb"), std::string(255, 'b'));
}

TEST(StrUtil, Stripping) {
    EXPECT_EQ(StripChar("a-b--c", '-'), "abc");
    EXPECT_EQ(StripLeft("--a-", '-'), "a-");
    EXPECT_EQ(StripRight("-a--", '-'), "-a");
    EXPECT_EQ(StripRight("----", '-'), "");
    EXPECT_EQ(StripBoth("  a b  ", ' '), "a b");
    EXPECT_EQ(StripBoth("", ' '), "");
    EXPECT_EQ(StripCtrl("a\tb\x1B[c\r\n\x7F\xFF"), "ab[c\x7F\xFF");
    std::string full;
    for (int k = 0; k < 255; ++k) full += static_cast<char>(32 + k % 224);
    EXPECT_EQ(StripCtrl(full), full);
}

TEST(StrUtil, Words) {
    struct CountCase {
        std::string_view s;
        char ch;
        uint8_t want;
    };
    const CountCase counts[] = {
        {"", ' ', 0},       {"   ", ' ', 0},  {"  one  two", ' ', 2}, {"a b ", ' ', 3},
        {"one", ' ', 1},    {"a,,b", ',', 3}, {",a", ',', 2},         {"a,b,", ',', 3},
        {"a b  c", ' ', 3}, {"", ',', 0},
    };
    for (const CountCase& c : counts)
        EXPECT_EQ(WordCount(std::string(c.s), c.ch), c.want) << '"' << c.s << '"';
    EXPECT_EQ(WordCount(std::string(255, ','), ','), 255); // a Byte holds no more

    struct PosCase {
        uint8_t n;
        std::string_view s;
        char ch;
        uint8_t want;
    };
    const PosCase positions[] = {
        {1, "one two", ' ', 1}, {0, "one two", ' ', 1}, {2, "one  two", ' ', 6},
        {3, "a b c", ' ', 5},   {5, "a b", ' ', 3},     {2, "  a b", ' ', 3},
        {3, "a,,b", ',', 4},    {2, "a,b,", ',', 3},    {3, "a,b,", ',', 5},
    };
    for (const PosCase& c : positions)
        EXPECT_EQ(WordPos(c.n, std::string(c.s), c.ch), c.want) << int(c.n) << " \"" << c.s << '"';

    struct GetCase {
        uint8_t n;
        std::string_view s;
        char ch;
        std::string_view want;
    };
    const GetCase words[] = {
        {2, "one two three", ' ', "two"},
        {1, "one two three", ' ', "one"},
        {3, "one two three", ' ', "three"},
        {0, "one two", ' ', "one"},
        {1, "single", ' ', ""},
        {5, "a b", ' ', ""},
        {2, "  a   b  ", ' ', "b"},
        {1, "  a b", ' ', "a"},
        {2, "a,,b", ',', ""},
        {3, "a,,b", ',', "b"},
        {1, ",a", ',', ""},
        {2, ",a", ',', "a"},
    };
    for (const GetCase& c : words)
        EXPECT_EQ(WordGet(c.n, std::string(c.s), c.ch), c.want) << int(c.n) << " \"" << c.s << '"';
}

TEST(StrUtil, TextBetween) {
    EXPECT_EQ(TextBetween("x[abc]y", "[", "]"), "abc");
    EXPECT_EQ(TextBetween("x]abc[y", "[", "]"), "");
    EXPECT_EQ(TextBetween("x[]y", "[", "]"), "");
    EXPECT_EQ(TextBetween("xy", "[", "]"), "not found");
    EXPECT_EQ(TextBetween("x[y", "[", "]"), "not found");
    EXPECT_EQ(TextBetween("x[y]", "", "]"), "not found");
    EXPECT_EQ(TextBetween("x[y]", "[", ""), "not found");
    EXPECT_EQ(TextBetween("<<a>>b>>", "<<", ">>"), "a");
    EXPECT_EQ(TextBetween("ab", "ab", "b"), ""); // Close found inside Open
}

TEST(StrUtil, CopyTakesWhatLiesInsideTheString) {
    struct Case {
        std::string_view s;
        int64_t index, count;
        std::string_view want;
    };
    const Case cases[] = {
        {"abcdef", 2, 3, "bcd"}, {"abcdef", 5, 10, "ef"}, // as far as the string goes
        {"abcdef", 6, 1, "f"},   {"abcdef", 7, 1, ""},    // just past the end
        {"abcdef", 0, 2, "ab"},                           // an index below 1 reads from the start
        {"abcdef", -5, 2, "ab"}, {"abcdef", 2, 0, ""},
        {"abcdef", 2, -1, ""}, // a negative count is nothing, not "to the end"
        {"", 1, 1, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Copy(std::string(c.s), c.index, c.count), c.want)
            << '"' << c.s << "\" " << c.index << ' ' << c.count;
    const std::string longText = std::string(300, 'a') + "tail";
    EXPECT_EQ(Copy(longText, 301, 4), "tail"); // positions beyond 255 are kept
}

TEST(StrUtil, PosGivesTheFirstPositionFromOne) {
    EXPECT_EQ(Pos('b', "abcb"), 2);
    EXPECT_EQ(Pos('x', "abc"), 0);
    EXPECT_EQ(Pos('\0', std::string("a\0b", 3)), 2);
    EXPECT_EQ(Pos("cb", "abcb"), 3);
    EXPECT_EQ(Pos("CB", "abcb"), 0); // case counts
    EXPECT_EQ(Pos("", "abc"), 0);
    EXPECT_EQ(Pos("abcd", "abc"), 0);
    EXPECT_EQ(Pos('z', std::string(300, 'a') + "z"), 301);
}

TEST(StrUtil, CharsToStrEndsAtNul) {
    const char raw[] = {'a', 'b', 0, 'c'};
    EXPECT_EQ(CharsToStr(raw, 4), "ab");
    EXPECT_EQ(CharsToStr(raw, 1), "a");
    EXPECT_EQ(CharsToStr(raw, 0), "");
    const char full[] = {'\xC9', '\xCD', '\xBB'};
    EXPECT_EQ(CharsToStr(full, 3), "\xC9\xCD\xBB");
}

TEST(StrUtil, PipeHelpers) {
    EXPECT_EQ(StripPipe("|07Hi|24|"), "Hi|24|");
    EXPECT_EQ(StripPipe("|00a|23b|16c"), "abc");
    EXPECT_EQ(StripPipe("|ABx|1"), "|ABx|1");
    EXPECT_EQ(StripPipe("||07x"), "||07x"); // "||0" is copied whole, then "7x"
    EXPECT_EQ(StripAllPipe("|07Hi|24|"), "Hi");
    EXPECT_EQ(StripAllPipe("a|b"), "a");
    EXPECT_EQ(StripAllPipe("||||x"), "");
    EXPECT_EQ(StripAllPipe("||07x"), "7x");
    EXPECT_EQ(StrPipeLength("|07Hi|1"), 4);
    EXPECT_EQ(StrPipeLength("a|"), 2);
    EXPECT_EQ(StrPipeLength("|XYab"), 2);
    EXPECT_EQ(StrPipeLength("x|1|"), 1); // a "|" may be part of a code
    EXPECT_EQ(StrPipeLength("ab|c"), 4); // the short code counts, and all after it
    EXPECT_EQ(StrPipeLength(""), 0);
    EXPECT_EQ(PipeWidth("|07Hi", 10), 13);
    EXPECT_EQ(PipeWidth("plain", 10), 10);
    EXPECT_EQ(PipeWidth(std::string(255, 'x'), 255), 255);
    EXPECT_EQ(ColorToPipe(5), "|05");
    EXPECT_EQ(ColorToPipe(12), "|12");
    EXPECT_EQ(ColorToPipe(0), "|00");
    EXPECT_EQ(ColorToPipe(16), "|07");
    EXPECT_EQ(HotKeyStr("Open"), "|00|23\xC3\x9DO\xC3\x9E|07|16pen");
    EXPECT_EQ(HotKeyStr(""), "|00|23\xC3\x9D\xC3\x9E|07|16");
    EXPECT_EQ(HotKeyStr(std::string(255, 'x')).size(), 255u);
}

TEST(StrUtil, WrapLine) {
    std::string s = "The quick brown fox";
    EXPECT_EQ(WrapLine(s, 10, false), "The quick ");
    EXPECT_EQ(s, "brown fox");
    EXPECT_EQ(WrapLine(s, 10, false), "brown fox");
    EXPECT_EQ(s, "");

    s = "The quick brown fox";
    EXPECT_EQ(WrapLine(s, 10, true), "The \xFFquick");
    EXPECT_EQ(s, "brown fox");
    EXPECT_EQ(WrapLine(s, 10, true), "brown fox"); // the last line is not justified

    s = "Extraordinary words";
    EXPECT_EQ(WrapLine(s, 5, false), "Extra");
    EXPECT_EQ(s, "ordinary words");
}

TEST(StrUtil, WrapLineJustifiesFromTheFirstFullStop) {
    // Line "a b. c d " trimmed to "a b. c d" (8), widened to 12: the passes
    // begin at the full stop, so the blanks after it gain first and the blank
    // after the stop gains twice.
    std::string s = "a b. c d efgh";
    EXPECT_EQ(WrapLine(s, 12, true), "a \xFF"
                                     "b. \xFF\xFF"
                                     "c \xFF"
                                     "d");
    EXPECT_EQ(s, "efgh");
    // Several passes: each blank gains at most one byte per pass.
    s = "ab cd efghijklm";
    EXPECT_EQ(WrapLine(s, 9, true), "ab \xFF\xFF\xFF\xFF"
                                    "cd");
    // A line without blanks after trimming stays as it is.
    s = "   abc defgh";
    EXPECT_EQ(WrapLine(s, 7, true), "abc");
}

TEST(StrUtil, SplitAtBlank) {
    std::string s = "one two three";
    std::string rest = "old";
    EXPECT_EQ(SplitAtBlank(s, rest, 10), 8);
    EXPECT_EQ(s, "one two");
    EXPECT_EQ(rest, "three");

    s = "one two";
    rest = "old";
    EXPECT_EQ(SplitAtBlank(s, rest, 20), 0); // shorter than Col
    EXPECT_EQ(s, "one two");
    EXPECT_EQ(rest, "");

    s = "onetwothree";
    EXPECT_EQ(SplitAtBlank(s, rest, 5), 0);
    EXPECT_EQ(s, "onetwothree");

    s = "ab cdefgh";
    EXPECT_EQ(SplitAtBlank(s, rest, 3), 0); // the only blank is at Col, not before it
    EXPECT_EQ(s, "ab cdefgh");
}

TEST(StrUtil, CutStrKeeps255Bytes) {
    EXPECT_EQ(CutStr(std::string(256, '\xDB')), std::string(255, '\xDB'));
    EXPECT_EQ(CutStr("abc"), "abc");
    EXPECT_EQ(MaxStrLen, 255u);
}
