// The regular-expression wrapper: the translation of bracket hyphens, the
// matching rules the program's patterns rely on, rejected patterns, and what
// happens when the backtracking matcher gives up: the DFA matcher decides
// where it answers alike, and what neither decides is "gave up", never "no".

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
        EXPECT_EQ(re.Matches(c.Subject), c.Want ? TMatch::Yes : TMatch::No)
            << c.Pattern << " on " << c.Subject;
    }
}

TEST(TRegEx, RejectedPatternKeepsPcreReason) {
    TRegEx re("(abc");
    EXPECT_FALSE(re.IsCompiled());
    EXPECT_NE(re.Error.find("missing closing parenthesis"), std::string::npos) << re.Error;
    EXPECT_EQ(re.Matches("abc"), TMatch::No);
    EXPECT_TRUE(re.Compile("abc")); // the object is usable again
    EXPECT_TRUE(re.Error.empty());
    EXPECT_EQ(re.Matches("abc"), TMatch::Yes);
    // Subjects are bytes: a pattern cannot switch to UTF-8, which would let
    // the matcher step over the end of a line cut inside a character.
    EXPECT_FALSE(re.Compile("(*UTF)a."));
}

// Hits that cost many backtracking steps or a deep JIT stack on one line,
// and runaway patterns: decided where some matcher can decide, else "gave
// up". Each pattern is tried on its line and then on a short one, so the
// switch to the DFA matcher after a runaway line is covered too.
TEST(TRegEx, CostlyLinesAreDecidedOrReportedUndecided) {
    const std::string letters = "abcdefghijklmnopqrstuvwxyz";
    struct Case {
        std::string_view Pattern;
        std::string Line;
        TMatch Want;
        std::string Short;
        TMatch WantShort;
    };
    const Case cases[] = {
        {".*.*.*x", "x" + std::string(254, 'y'), TMatch::Yes, "yyx", TMatch::Yes},
        {"(a+)+b|c", std::string(30, 'a') + "c", TMatch::Yes, "aab", TMatch::Yes},
        // Millions of steps, beyond the DFA matcher (a back reference).
        {R"((\w)(\w|\w\w)*\1\d|c)", std::string(30, 'a') + "c", TMatch::Yes, "b", TMatch::No},
        // Nested groups repeated over the line need more than PCRE2's 32 KiB
        // default JIT stack; the DFA matcher cannot run the back reference.
        {R"((?:((((((((a)))))))))*z\1)", std::string(253, 'a') + "za", TMatch::Yes, "b",
         TMatch::No},
        // Runaway, and the DFA matcher says: no match.
        {"^(a+)+$", std::string(250, 'a') + "!", TMatch::No, "aaaa", TMatch::Yes},
        {R"((\w|\w\w)*\d)", std::string(255, 'a'), TMatch::No, "ab1", TMatch::Yes},
        // Runaway, and the DFA matcher cannot run a back reference.
        {R"((\w)(\w|\w\w)*\1\d)", std::string(60, 'a'), TMatch::GaveUp, "aa1", TMatch::Yes},
        // Runaway, and the DFA matcher would match "ab" in the atomic group
        // and then "c", which the backtracker never does: it must not be
        // asked.
        {R"((?>a|ab)c|(\w|\w\w)*\d)", "abc" + letters + letters, TMatch::GaveUp, "ac", TMatch::Yes},
    };
    for (const Case& c : cases) {
        TRegEx re(c.Pattern);
        ASSERT_TRUE(re.IsCompiled()) << c.Pattern << ": " << re.Error;
        EXPECT_EQ(re.Matches(c.Line), c.Want) << c.Pattern;
        EXPECT_EQ(re.Matches(c.Short), c.WantShort) << c.Pattern << " on " << c.Short;
    }
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
