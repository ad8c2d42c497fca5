// The regular-expression wrapper: the translation of bracket hyphens, the
// matching rules the program's patterns rely on, rejected patterns and the
// match limit.

#include "app/RegEx.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace {

TEST(TranslatePattern, HyphenAfterClassEscapeInsideBracketsBecomesPlain) {
    struct Case {
        std::string_view In, Want;
    };
    const Case cases[] = {
        {R"([\w-\.]+@)", R"([\w\-\.]+@)"},
        {R"([\w-]+)", R"([\w-]+)"}, // before "]" PCRE2 takes it as plain already
        {R"([\d-a])", R"([\d\-a])"},
        {R"([^\s-x])", R"([^\t\n\f\r\x20\-x])"},
        {R"(a\sb\S)", R"(a[\t\n\f\r\x20]b[\S\x0B])"},
        {R"([\S])", R"([\S\x0B])"},
        {R"([a-z])", R"([a-z])"},      // a real range stays
        {R"(\w-\d)", R"(\w-\d)"},      // outside brackets nothing changes
        {R"([]\w-x])", R"([]\w\-x])"}, // "]" first is a member
        {R"([[:alpha:]\w-x])", R"([[:alpha:]\w\-x])"},
        // A POSIX item ends where PCRE2 ends it: "[:]" is no item (a "]"
        // comes first), nor is "[:a:[:b:]" (another "[:" comes first).
        {R"([[:]\s)", R"([[:][\t\n\f\r\x20])"},
        {R"([[:a:[:alpha:]\s])", R"([[:a:[:alpha:]\t\n\f\r\x20])"},
        {R"([[:a\]:]\s])", R"([[:a\]:]\t\n\f\r\x20])"}, // an escaped "]" is passed over
        {R"([[.\s.]])", R"([[.\s.]])"},                 // collating items stay as typed
        // "\E" and "\Q\E" before the first member are passed over: the "]"
        // after them is still a member.
        {R"([\E]^\S])", R"([\E]^\S\x0B])"},
        {R"([^\Q\E\E]\s])", R"([^\Q\E\E]\t\n\f\r\x20])"},
        // Under "xx" a class passes over blanks and tabs, at its start too;
        // the option lasts to the end of its group.
        {R"((?xx)[ ]\s])", R"((?xx)[ ]\t\n\f\r\x20])"},
        {R"((?xx)[\w - .])", R"((?xx)[\w \- .])"},
        {R"(((?xx))[ ]\s])", R"(((?xx))[ ][\t\n\f\r\x20]])"},
        {R"((?xx:a)[ ]\s])", R"((?xx:a)[ ][\t\n\f\r\x20]])"},
        {R"((?xx)(?-x)[ ]\s])", R"((?xx)(?-x)[ ][\t\n\f\r\x20]])"},
        {R"((?xx)(?x)[ ]\s])", R"((?xx)(?x)[ ][\t\n\f\r\x20]])"}, // "x" alone ends "xx"
        {R"(\[\w-x])", R"(\[\w-x])"},                             // an escaped "[" opens no class
        {R"(\Q[\w-\E\w-)", R"(\Q[\w-\E\w-)"},                     // quoted text is left alone
        {R"([\\]\w-x)", R"([\\]\w-x)"},
        // Bytes that are no pattern syntax open no class and are not translated.
        {R"(\c\s)", R"(\c\s)"}, // control-\ then "s"
        {R"(\c[\s)", R"(\c[[\t\n\f\r\x20])"},
        {R"((?#[)\s)", R"((?#[)[\t\n\f\r\x20])"},
        {R"((*MARK:[)\s)", R"((*MARK:[)[\t\n\f\r\x20])"},
        {R"((?C'[''x')\s)", R"((?C'[''x')[\t\n\f\r\x20])"},
        {R"((*pla:[\s]))", R"((*pla:[\t\n\f\r\x20]))"}, // an assertion's body is pattern
        {"", ""},
        {"\\", "\\"},
    };
    for (const Case& c : cases) EXPECT_EQ(TranslatePattern(c.In), c.Want) << c.In;
}

TEST(TRegEx, MatchesByTheProgramsRules) {
    struct Case {
        std::string_view Pattern;
        std::string Subject;
        bool Want;
    };
    const Case cases[] = {
        {"abc", "xxabcxx", true}, // anywhere in the string
        {"abc", "ABC", false},    // case counts
        {"a.b", "a\nb", true},    // "." takes a line feed
        {"end$", "the end", true},
        {"end$", "the end\n", false}, // "$" only at the very end
        {"^two", "one\ntwo", false},  // no multi-line mode
        {R"(\w)", "\xE9", false},     // bytes, ASCII word characters only
        {R"(\s)", "\f", true},
        {R"(a\sb)", "a\vb", false}, // the vertical tab is no white space
        {R"(a\Sb)", "a\vb", true},
        {R"([\s])", "\v", false},
        {R"([^\s])", "\v", true},
        {R"([^\S])", "\v", false},
        {R"([^\S])", " ", true},
        {R"(\d)", "\xB2", false},
        {R"([\w-\.]+@x)", "a-b.c@x", true},
        {R"((?xx)[ ]\s])", "]", true},
        {R"((?xx)[\w - .])", "-", true},
        {R"(\:\/\.)", ":/.", true},
        {"[$.?#]", "?", true},
        {R"(a{2,3})", "xaax", true},
        {R"(a{2,3}b)", "xab", false},
        {"\xB0+", "\xB0\xB0", true}, // high bytes are plain bytes, not UTF-8
    };
    for (const Case& c : cases) {
        TRegEx re(c.Pattern);
        ASSERT_TRUE(re.IsCompiled()) << c.Pattern << ": " << re.Error;
        EXPECT_EQ(re.Matches(c.Subject), c.Want) << c.Pattern << " on " << c.Subject;
    }
}

TEST(TRegEx, RejectedPatternKeepsPcreReason) {
    TRegEx re("(abc");
    EXPECT_FALSE(re.IsCompiled());
    EXPECT_NE(re.Error.find("missing closing parenthesis"), std::string::npos) << re.Error;
    EXPECT_FALSE(re.Matches("abc"));
    EXPECT_TRUE(re.Compile("abc")); // the object is usable again
    EXPECT_TRUE(re.Error.empty());
    EXPECT_TRUE(re.Matches("abc"));
    // Subjects are bytes: a pattern cannot switch to UTF-8, which would let
    // the matcher step over the end of a line cut inside a character.
    EXPECT_FALSE(re.Compile("(*UTF)a."));
}

TEST(TRegEx, RunawayPatternCountsAsNoMatchAndTheNextMatchWorks) {
    TRegEx nested("^(a+)+$");
    ASSERT_TRUE(nested.IsCompiled());
    std::string line(250, 'a');
    line += '!';
    EXPECT_FALSE(nested.Matches(line));
    EXPECT_TRUE(nested.Matches("aaaa"));
}

TEST(TRegEx, RequiredByteIsOneEveryMatchHolds) {
    struct Case {
        std::string_view Pattern;
        int32_t Want;
    };
    const Case cases[] = {{"abc", 'c'}, {"a.*", 'a'}, {"a*", -1}, {"(x|y)", -1}};
    for (const Case& c : cases) EXPECT_EQ(TRegEx(c.Pattern).RequiredByte(), c.Want) << c.Pattern;
}

} // namespace
