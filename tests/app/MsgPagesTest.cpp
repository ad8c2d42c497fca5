// The rows of the message list on bases built byte by byte, without a
// terminal: row layout, content flags, paging arithmetic, the page walk and
// the search rules.

#include "app/MsgPages.h"
#include "app/RegEx.h"
#include "jam/JamBase.h"
#include "support/StringList.h"
#include "tests/common/JamFixture.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <iterator>
#include <optional>
#include <pcre2.h>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace {

TStringList Lines(const std::vector<std::string>& L) {
    TStringList s;
    for (const auto& l : L) s.Add(l);
    return s;
}

// n lines of filler with the given lines put at their 1-based positions.
TStringList TextWith(int n, const std::vector<std::pair<int, std::string>>& At) {
    std::vector<std::string> l(std::size_t(n), "nothing to see here");
    for (const auto& [pos, line] : At) l[std::size_t(pos - 1)] = line;
    return Lines(l);
}

TEST(ContentFlags, LettersInOrderOfFirstLineThenOfTests) {
    struct Case {
        const char* Name;
        TStringList Text;
        std::string Want;
    };
    const Case cases[] = {
        {"e-mail on 2, link on 5",
         TextWith(6, {{2, "write to john.doe-x@example.com"}, {5, "see https://example.org/a"}}),
         "EL"},
        {"uue on 3, pgp on 9, second uue adds nothing",
         TextWith(20, {{3, "begin 644 file.zip"},
                       {9, "-----BEGIN PGP PUBLIC KEY BLOCK-----"},
                       {20, "begin 600 other.bin"}}),
         "UP"},
        {"uue header and address on one line", TextWith(2, {{1, "begin 644 2:502/104"}}), "UN"},
        {"all six on one line in test order",
         Lines({"-----BEGIN PGP MESSAGE----- begin 644 x 2:5/1 begin-base64 644 y ftp://a@b.cd"}),
         "PULNEB"},
        {"base64", TextWith(3, {{3, "begin-base64 644 pic.png"}}), "B"},
        {"link must run to the line's end", Lines({"http://x.org/a b"}), ""},
        {"link needs a host character first", Lines({"http://.org", "telnet://bbs.net"}), "L"},
        {"address needs slash digits", Lines({"2:502", "2:5020/9", "call 2:502/9"}), "N"},
        {"e-mail must end the line", Lines({"a@b.com then", "mail me@here.de"}), "E"},
        {"e-mail with a four-letter top level", Lines({"joe@example.info"}), "E"},
        {"no top level of five letters", Lines({"joe@example.museum"}), ""},
        {"signed message is not a key block", Lines({"-----BEGIN PGP SIGNED MESSAGE-----"}), ""},
        {"uue needs three digits and a blank", Lines({"begin 64 x", "begin 6444 x", "Begin 644 x"}),
         ""},
        {"empty text", Lines({}), ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ContentFlags(c.Text), c.Want) << c.Name;
}

TEST(RowText, FixedColumnsAndFiveDigitNumber) {
    std::string r = RowText(42, "Subject", "From Name", "To Name");
    EXPECT_EQ(r.size(), 69u);
    EXPECT_EQ(r.substr(0, 6), "00042 ");
    EXPECT_EQ(r.substr(6, 32), std::string("Subject") + std::string(25, ' '));
    EXPECT_EQ(r.substr(39, 14), "From Name     ");
    EXPECT_EQ(r.substr(54, 14), "To Name       ");
    EXPECT_EQ(r[68], ' ');
    // Six digits show their first five; long fields are cut.
    std::string big =
        RowText(123456, std::string(40, 's'), std::string(20, 'f'), std::string(20, 't'));
    EXPECT_EQ(big.size(), 69u);
    EXPECT_EQ(big.substr(0, 6), "12345 ");
    EXPECT_EQ(big.substr(39, 15), std::string(14, 'f') + " ");
}

TEST(Paging, PageKeysFollowTheArithmetic) {
    struct Case {
        const char* Key;
        int32_t Top, T, Want;
    };
    const Case cases[] = {
        {"]", 1, 0, 1},
        {">", 0, 0, 1},
        {"]", 1, 22, 1},
        {"]", 29, 50, 29},
        {"[", 29, 50, 7},
        {"[", 7, 50, 1},
        {"]", 1, 50, 23},
        {"]", 23, 50, 45},
        {"]", 45, 50, 29},
        {"]", 1, 23, 2},
        {">", 0, 50, 29},
        {">", 0, 22, 1},
        {"[", 23, 50, 1},
        {"[", 1, 50, 1},
        // 43 messages open on 22, and the page before starts at 1, not 0.
        {">", 0, 43, 22},
        {"[", 22, 43, 1},
    };
    for (const Case& c : cases) {
        int32_t got = c.Key[0] == ']'   ? NextPageTop(c.Top, c.T)
                      : c.Key[0] == '[' ? PrevPageTop(c.Top)
                                        : LastPageTop(c.T);
        EXPECT_EQ(got, c.Want) << c.Key << " from " << c.Top << " of " << c.T;
    }
    EXPECT_EQ(JumpPageTop(999, 50), 50);
    EXPECT_EQ(JumpPageTop(7, 50), 7);
    EXPECT_EQ(JumpPageTop(0, 50), 1);
    EXPECT_EQ(JumpPageTop(5, 0), 1);
    EXPECT_EQ(NextPageTop(INT32_MAX - 3, INT32_MAX), INT32_MAX - 21); // no overflow
}

struct PagesTest : JamBaseTest {
    std::vector<int32_t> Numbers(const std::vector<TListRow>& Rows) {
        std::vector<int32_t> n;
        for (const auto& r : Rows) {
            n.push_back(r.MsgNo);
            EXPECT_EQ(r.Text.substr(0, 5), PadNo(r.MsgNo));
        }
        return n;
    }
    static std::string PadNo(int32_t N) {
        std::string s = std::to_string(N);
        return std::string(5 - s.size(), '0') + s;
    }
};

TEST_F(PagesTest, RecordWithoutHeaderGivesNoRowButUsesItsPlace) {
    JamFixture f;
    for (int i = 1; i <= 30; ++i) {
        if (i == 3) {
            FixMsg m;
            m.HdrOffset = -1;
            f.Add(m);
        } else {
            f.AddSimple("From" + std::to_string(i), "To", "Subj", "text\r");
        }
    }
    ASSERT_TRUE(WriteAndOpen(f));
    std::vector<TListRow> rows = PageRows(B, 1);
    std::vector<int32_t> want;
    for (int i = 1; i <= 22; ++i)
        if (i != 3) want.push_back(i);
    EXPECT_EQ(Numbers(rows), want);
    EXPECT_EQ(rows[2].Text.substr(39, 14), "From4         ");
    EXPECT_EQ(Numbers(PageRows(B, 23)), (std::vector<int32_t>{23, 24, 25, 26, 27, 28, 29, 30}));
    EXPECT_TRUE(PageRows(B, 31).empty());
}

TEST_F(PagesTest, DeletedFlagComesBeforeContentFlags) {
    JamFixture f;
    f.AddSimple("A", "B", "S", "x\ra@b.com\rx\rx\rhttp://x.org/y\r", MSG_DELETED);
    f.AddSimple("A", "B", "S", "begin 644 a\r", 0);
    ASSERT_TRUE(WriteAndOpen(f));
    std::vector<TListRow> rows = PageRows(B, 1);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Text.substr(69), "DEL");
    EXPECT_EQ(rows[1].Text.substr(69), "U");
}

// What PCRE2's JIT answers for Pattern, compiled with the options the
// wrapper uses, on Subject with a JIT stack of at most MaxStack bytes;
// nullopt where the library has no JIT.
std::optional<int> JitMatchOnStack(std::string_view Pattern, std::string_view Subject,
                                   std::size_t MaxStack) {
    int err = 0;
    PCRE2_SIZE at = 0;
    pcre2_code* code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(Pattern.data()), Pattern.size(),
                      PCRE2_DOTALL | PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_UTF, &err, &at, nullptr);
    EXPECT_NE(code, nullptr) << Pattern;
    std::optional<int> rc;
    if (code && pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0) {
        pcre2_match_data* data = pcre2_match_data_create(1, nullptr);
        pcre2_match_context* context = pcre2_match_context_create(nullptr);
        pcre2_jit_stack* stack = pcre2_jit_stack_create(32 * 1024, MaxStack, nullptr);
        pcre2_jit_stack_assign(context, nullptr, stack);
        rc = pcre2_jit_match(code, reinterpret_cast<PCRE2_SPTR>(Subject.data()), Subject.size(), 0,
                             0, data, context);
        pcre2_jit_stack_free(stack);
        pcre2_match_context_free(context);
        pcre2_match_data_free(data);
    }
    pcre2_code_free(code);
    return rc;
}

// An address line of 300,000 bytes, "a@b.b.b...cc": the E flag's repeated
// group takes JIT stack for every "b." (here 24 bytes with 64-bit pointers,
// 12 with 32-bit ones), more than the megabyte a match first gets, which the
// test checks with the flag's pattern on such a stack. The row keeps its
// flag from the retry on a stack sized for the line.
TEST_F(PagesTest, AnAddressLineTooLongForTheFirstJitStackKeepsItsFlag) {
    std::string line = "a@";
    while (line.size() < 300000) line += "b.";
    line += "cc";
    const std::optional<int> first =
        JitMatchOnStack(TranslatePattern(R"([\w-\.]+@([\w-]+\.)+[\w-]{2,4}$)"), line, 1 << 20);
    if (!first) GTEST_SKIP() << "no JIT in this PCRE2";
    ASSERT_EQ(*first, PCRE2_ERROR_JIT_STACKLIMIT);
    JamFixture f;
    f.AddSimple("A", "B", "S", "write to\r" + line + "\r");
    ASSERT_TRUE(WriteAndOpen(f));
    const std::vector<TListRow> rows = PageRows(B, 1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Text.substr(69), "E");
}

TEST_F(PagesTest, PageShowsWhatTheIndexHoldsNowAndAPartialRecordGivesNoRow) {
    JamFixture f;
    for (int i = 1; i <= 5; ++i) f.AddSimple("F", "T", "S" + std::to_string(i), "");
    ASSERT_TRUE(WriteAndOpen(f));
    // Another program cuts the index to three records and half of a fourth.
    WriteFileBytes(Base + ".jdx", f.Idx.substr(0, 3 * 8 + 4));
    EXPECT_EQ(Numbers(PageRows(B, 1)), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_TRUE(PageRows(B, 5).empty());
}

TEST_F(PagesTest, SearchFollowsTheRules) {
    JamFixture f;
    f.AddSimple("Joe", "Ann", "ABC news", "first\rthe AbC line\r");        // 1: S B
    f.AddSimple("abc Smith", "xabcx", "none", "nothing\r");                // 2: F R
    f.AddSimple("Joe", "Ann", "none", std::string(260, 'x') + "abc\rabc"); // 3: long, no CR
    f.AddSimple("Joe", "Ann", "none", std::string(250, 'x') + "abc\r");    // 4: B (ends at 253)
    f.AddSimple("Joe", "Ann", "none", "ab\rc\r");                          // 5: no span
    {
        FixMsg m;
        m.HdrOffset = -1;
        f.Add(m); // 6: no header
    }
    f.AddSimple("Joe", "Ann", "none", "line\nwith abc after a line feed\r"); // 7: B
    f.AddSimple("Joe", "Ann", "none", "one\r\nabc\r\n");                     // 8: CR LF
    f.AddSimple("Joe", "Ann", "none", "x\nabc\n");                           // 9: LF only
    ASSERT_TRUE(WriteAndOpen(f));
    struct Case {
        std::string Text;
        bool RegEx;
        std::vector<std::string> Want; // "number flags"
    };
    const Case cases[] = {
        {"abc", false, {"1 SB", "2 FR", "3 B", "4 B", "7 B", "8 B", "9 B"}},
        {"abc", true, {"2 FR", "3 B", "4 B", "7 B", "8 B", "9 B"}},
        {"A.C", true, {"1 SB"}},
        {"^abc", true, {"2 F", "3 B", "8 B"}},             // a CR LF's LF starts no line
        {"c$", true, {"3 B", "4 B", "5 B", "8 B", "9 B"}}, // a final LF ends the line
        {"Joe|Smith", true, {"1 F", "2 F", "3 F", "4 F", "5 F", "7 F", "8 F", "9 F"}},
        {"line.with", true, {"7 B"}},  // "." takes the line feed
        {"x{260}abc$", true, {"3 B"}}, // a long line is tested whole
        {"zzz", false, {}},
    };
    for (const Case& c : cases) {
        TSearcher s(c.Text, c.RegEx);
        ASSERT_TRUE(s.Ok()) << s.Error();
        std::vector<std::string> got;
        TSearchResult res = SearchRows(B, s);
        for (const TListRow& r : res.Rows)
            got.push_back(std::to_string(r.MsgNo) + " " + r.Text.substr(69));
        EXPECT_EQ(got, c.Want) << c.Text << (c.RegEx ? " (regex)" : "");
        EXPECT_EQ(res.Untested, 0) << c.Text;
        EXPECT_FALSE(res.Stopped) << c.Text;
    }
}

// A line the matchers cannot decide leaves its message undecided unless a
// later line decides it; undecided messages are counted, never passed off as
// messages without a hit.
TEST_F(PagesTest, SearchCountsMessagesItCouldNotTest) {
    const std::string runaway = std::string(60, 'a') + "\r";
    JamFixture f;
    f.AddSimple("Joe", "Ann", "one", std::string(30, 'a') + "c\r");         // 1
    f.AddSimple("Joe", "Ann", "two", "short\r" + runaway);                  // 2
    f.AddSimple("Joe", "Ann", "three", runaway + "the pair aa7 decides\r"); // 3
    f.AddSimple("Joe", std::string(60, 'b'), "four", "nothing\r");          // 4: the recipient
    ASSERT_TRUE(WriteAndOpen(f));
    struct Case {
        std::string Text;
        std::vector<std::string> Want;
        int32_t Untested;
    };
    const Case cases[] = {
        {"(a+)+b|c", {"1 B", "3 B"}, 0}, // 1 found after the backtracker gave up
        // 2 and 4 undecided, 4 listed for its subject all the same; 1 is
        // short enough to decide.
        {R"((\w)(\w|\w\w)*\1\d|four)", {"3 B", "4 S"}, 2},
    };
    for (const Case& c : cases) {
        TSearcher s(c.Text, true);
        ASSERT_TRUE(s.Ok()) << s.Error();
        TSearchResult res = SearchRows(B, s);
        std::vector<std::string> got;
        for (const TListRow& r : res.Rows)
            got.push_back(std::to_string(r.MsgNo) + " " + r.Text.substr(69));
        EXPECT_EQ(got, c.Want) << c.Text;
        EXPECT_EQ(res.Untested, c.Untested) << c.Text;
        EXPECT_FALSE(res.Stopped);
    }
    EXPECT_EQ(UntestedText(3),
              "Lines of 3 messages could not be tested: the RegEx is too complex.");
    EXPECT_LE(UntestedText(INT32_MAX).size(), 76u); // what a message box shows
}

// The stop test ends the walk: the rows found so far stay, the message in
// hand with them when it already has a flag, and a stop is no "untested".
TEST_F(PagesTest, StoppedSearchKeepsTheHitsSoFar) {
    JamFixture f;
    for (int i = 1; i <= 10; ++i)
        f.AddSimple("Joe", "Ann", "aa1 hit " + std::to_string(i), std::string(60, 'a') + "\r");
    ASSERT_TRUE(WriteAndOpen(f));
    struct Case {
        std::string Text;
        bool RegEx;
        int StopAtCall; // the call of the stop test that says stop
        std::vector<int32_t> Want;
    };
    const Case cases[] = {
        {"hit", false, 4, {1, 2, 3}}, // plain: asked once per message
        // Asked before each message and each match: message 1 is stopped on
        // its text after its subject matched.
        {R"((\w)(\w|\w\w)*\1\d)", true, 5, {1}},
        {"hit", false, 1000, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
    };
    for (const Case& c : cases) {
        TSearcher s(c.Text, c.RegEx);
        ASSERT_TRUE(s.Ok()) << s.Error();
        int calls = 0;
        s.Stop = [&] { return ++calls >= c.StopAtCall; };
        TSearchResult res = SearchRows(B, s);
        std::vector<int32_t> got;
        for (const TListRow& r : res.Rows) got.push_back(r.MsgNo);
        EXPECT_EQ(got, c.Want) << c.Text;
        EXPECT_EQ(res.Stopped, c.StopAtCall <= calls) << c.Text;
        EXPECT_EQ(res.Untested, 0) << c.Text;
        if (c.RegEx) {
            EXPECT_EQ(res.Rows.at(0).Text.substr(69), "S");
        }
    }
}

TEST(TSearcher, AsksTheStopTestOncePerIntervalAndKeepsAStop) {
    int polls = 0;
    bool answer = false;
    TSearcher hourly("x", true);
    hourly.Stop = [&] { return ++polls, answer; };
    hourly.StopIntervalMs = 3600 * 1000;
    for (int i = 0; i < 1000; ++i) EXPECT_FALSE(hourly.CheckStop());
    EXPECT_EQ(polls, 1); // the first check asks, the rest wait for the hour
    TSearcher always("x", true);
    always.Stop = [&] { return ++polls, answer; };
    EXPECT_FALSE(always.CheckStop());
    answer = true;
    EXPECT_TRUE(always.CheckStop());
    answer = false;
    EXPECT_TRUE(always.CheckStop()); // a stop is kept
    EXPECT_EQ(always.Hit("x"), TMatch::GaveUp);
    EXPECT_EQ(polls, 3);
}

TEST_F(PagesTest, RejectedPatternFindsNothingAndSaysWhy) {
    JamFixture f;
    f.AddSimple("Joe", "Ann", "S", "");
    ASSERT_TRUE(WriteAndOpen(f));
    TSearcher s("[abc", true);
    EXPECT_FALSE(s.Ok());
    EXPECT_FALSE(s.Error().empty());
    EXPECT_TRUE(SearchRows(B, s).Rows.empty());
}

} // namespace

namespace {

// The text test on stored bytes must agree with the test on the lines the
// base reader makes of them (CR, CR LF and a final LF end lines, long lines
// whole, the bytes after the last line end a line), for plain and
// regular-expression searches, near every case boundary of bytes.
TEST_F(PagesTest, StoredTextTestAgreesWithTheLinesRead) {
    const std::string alphabet = std::string("aAbBzZ@[`{\n x\xE1\xC1", 16);
    const std::string ends[] = {"\r", "\r\n", "\r\r\n", "\n\r"};
    const std::string tails[] = {"", "", "ab tail", "ab\n", "\n", "b\r\n\n"};
    uint32_t seed = 7;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    JamFixture f;
    std::vector<std::string> texts;
    for (int i = 0; i < 300; ++i) {
        std::string t;
        int lines = int(next(6));
        for (int l = 0; l < lines; ++l) {
            uint32_t len = next(4) == 0 ? 240 + next(2000) : next(12);
            for (uint32_t k = 0; k < len; ++k) t += alphabet[next(uint32_t(alphabet.size()))];
            if (len >= 240 && next(2)) t.replace(t.size() - 3, 3, "ab"); // a hit far along
            t += ends[next(4)];
        }
        t += tails[next(6)];
        texts.push_back(t);
        f.AddSimple("F", "T", "S", t);
    }
    ASSERT_TRUE(WriteAndOpen(f));
    struct Case {
        std::string Text;
        bool RegEx;
    };
    const Case cases[] = {
        {"ab", false},
        {"AB", false},
        {"b", false},
        {"a\nb", false},
        {"x ab", false},
        {"{", false},
        {"`A", false},
        {"\xE1"
         "b",
         false},
        {"Z@", false},
        {"\nab", false}, // never the LF of a CR LF
        {"b\n", false},  // never a final LF
        {"a.b", true},
        {"^\n", true},
        {"^\\s", true}, // no byte required: every line is tried
        {"\n$", true},
        {"b$", true},
        {"^a", true},
        {"ab|ba", true},
        {"[ab]{3}", true},
        {"x*", true},
        {"\xC1", true},
        {"A[^a]", true},
    };
    int hits = 0;
    for (const Case& c : cases) {
        TSearcher s(c.Text, c.RegEx);
        ASSERT_TRUE(s.Ok()) << s.Error();
        for (int32_t n = 1; n <= int32_t(texts.size()); ++n) {
            ASSERT_TRUE(B.ReadMessage(n));
            const std::string& t = texts[std::size_t(n - 1)];
            TMatch want = s.TextHit(B.MsgText);
            hits += want == TMatch::Yes;
            EXPECT_EQ(s.RawTextHit(t.data(), t.size()), want)
                << (c.RegEx ? "regex " : "plain ") << c.Text << " in message " << n;
        }
    }
    EXPECT_GT(hits, 100); // the cases do find things
}

// Both text tests at the ends of lines: a hit that ends on a line's last byte
// counts, one that would run on into the next line does not.
TEST_F(PagesTest, TextHitsEndAtTheEndOfTheirLine) {
    const std::string texts[] = {
        "xxab\r",        // 1: ends on the line's last byte
        "xxa\rbxx\r",    // 2: would run across the line end
        "first\rxxab\r", // 3: ends on the last byte of the last line
        "ab\rzz\r",      // 4: the whole first line
        "a\rb\r",        // 5: one letter on each side of the line end
    };
    JamFixture f;
    for (const std::string& t : texts) f.AddSimple("F", "T", "S", t);
    ASSERT_TRUE(WriteAndOpen(f));
    struct Case {
        std::string Text;
        bool RegEx;
        std::vector<int32_t> Want; // the messages whose text holds it
    };
    const Case cases[] = {
        {"ab", false, {1, 3, 4}}, {"AB", false, {1, 3, 4}},   {"a\rb", false, {}},
        {"ab$", true, {1, 3, 4}}, {"b$", true, {1, 3, 4, 5}}, {"a$", true, {2, 5}},
        {"^b", true, {2, 5}},     {"a.b", true, {}},          {R"(a\s)", true, {}},
    };
    for (const Case& c : cases) {
        TSearcher s(c.Text, c.RegEx);
        ASSERT_TRUE(s.Ok()) << s.Error();
        std::vector<int32_t> byLines, stored;
        for (int32_t n = 1; n <= int32_t(std::size(texts)); ++n) {
            ASSERT_TRUE(B.ReadMessage(n));
            if (s.TextHit(B.MsgText) == TMatch::Yes) byLines.push_back(n);
            const std::string& t = texts[std::size_t(n - 1)];
            if (s.RawTextHit(t.data(), t.size()) == TMatch::Yes) stored.push_back(n);
        }
        const std::string what = (c.RegEx ? "regex " : "plain ") + c.Text;
        EXPECT_EQ(byLines, c.Want) << what;
        EXPECT_EQ(stored, c.Want) << what;
    }
}

} // namespace
