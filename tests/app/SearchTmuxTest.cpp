// The search of the whole program in tmux, with patterns that cost the
// matchers dear: hits that need millions of backtracking steps are listed,
// messages no matcher could decide are reported after the search, and Esc
// stops a search that would run for an hour, keeping the hits found so far.
// Each test builds its base byte by byte, drives the real quorvex in a
// detached 80x25 session of its own and checks that the terminal came back.

#include "tests/common/JamFixture.h"
#include "tests/common/TmuxSession.h"

#include <climits>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

#ifndef QUORVEX_EMULATOR
#define QUORVEX_EMULATOR ""
#endif

class SearchTmux : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        Session =
            std::make_unique<TmuxSession>("kvs-" + std::to_string(getpid()) + "-" + info->name());
    }

    void Start(const JamFixture& F) {
        F.Write(Dir / "base");
        TmuxRun run;
        run.Dir = Dir.Path();
        run.Program = QUORVEX_PATH;
        run.Emulator = QUORVEX_EMULATOR;
        run.Args = ShellQuote(Dir / "base");
        run.Record = true;
        Session->Start(run);
        WaitText("ESC/Quit # H/Help |");
    }

    std::string ScreenText() const { return JoinRows(Session->Rows()); }
    void WaitText(const std::string& Text) {
        if (!Session->WaitUntil([&] { return ScreenText().find(Text) != std::string::npos; }))
            ADD_FAILURE() << "never saw \"" << Text << "\"; the screen:\n" << ScreenText();
    }
    // The numbers and flags of the list rows, "number flags" each.
    std::vector<std::string> Rows() const { return ListNumbersAndFlags(Session->Rows()); }
    void WaitRows(const std::vector<std::string>& Want) {
        if (!Session->WaitUntil([&] { return Rows() == Want; }))
            ADD_FAILURE() << "never saw the rows; the screen:\n" << ScreenText();
    }

    // "F", the pattern, and YES for a regular expression.
    void RegExSearch(const std::string& Pattern) {
        Session->Type("F");
        WaitText("Enter String");
        Session->Type(Pattern);
        Session->Key("Enter");
        WaitText("Make RegEx Search?");
        Session->Type("Y");
    }

    void QuitAndExpectCleanEnd() { ::QuitAndExpectCleanEnd(*Session); }

    TempDir Dir;
    std::unique_ptr<TmuxSession> Session;
};

// "(a+)+b|c" on a line of 30 "a" and a "c" runs the backtracker out of
// steps; the message is listed all the same. A back reference keeps the
// other matcher out, and then a line of 60 letters stays undecided: the
// search says so instead of passing the message off as one without a hit.
TEST_F(SearchTmux, CostlyPatternsFindTheirHitsOrSaySo) {
    JamFixture f;
    f.AddSimple("Joe", "Ann", "one", "line one\rline two\r");
    f.AddSimple("Joe", "Ann", "two", "line one\r" + std::string(30, 'a') + "c\r");
    f.AddSimple("Joe", "Ann", "three", std::string(60, 'a') + "\r");
    Start(f);
    WaitRows({"1 ", "2 ", "3 "});

    RegExSearch("(a+)+b|c");
    WaitText("Search Mode: RegEx");
    WaitRows({"2 B"});

    RegExSearch(R"((\w)(\w|\w\w)*\1\d)");
    WaitText("Lines of 1 message could not be tested: the RegEx is too complex.");
    Session->Key("Enter");
    WaitRows({});
    QuitAndExpectCleanEnd();
}

// "(\w)(\w|\w\w)*\1\d" gives up on every line of letters only after ten
// million steps, and a back reference keeps the DFA matcher out: over 3000
// messages of 30 such lines the search would run for most of an hour. The
// first message is a hit by its subject. Esc stops the search; the list
// holds that hit, in search mode, and the program goes on working.
TEST_F(SearchTmux, EscStopsARunawaySearchAndKeepsTheHitsSoFar) {
    JamFixture f;
    f.AddSimple("Joe", "Ann", "aa1 early hit", "nothing here\r");
    std::string text;
    for (int l = 0; l < 30; ++l) {
        for (int c = 0; c < 79; ++c) text += char('a' + (l + c) % 26);
        text += '\r';
    }
    for (int i = 2; i <= 3001; ++i) f.AddSimple("Joe", "Ann", "letters", text);
    Start(f);

    RegExSearch(R"((\w)(\w|\w\w)*\1\d)");
    WaitText("Populating List...");
    Session->Key("Escape");
    WaitText("Search stopped: the list holds the hits found so far.");
    Session->Key("Enter");
    // Lines the search gave up on before the stop are reported too, unless
    // the stop came while the first of them was in hand.
    const auto listed = [&] { return Rows() == std::vector<std::string>{"1 S"}; };
    const auto untested = [&] {
        return ScreenText().find("could not be tested") != std::string::npos;
    };
    ASSERT_TRUE(Session->WaitUntil([&] { return listed() || untested(); })) << ScreenText();
    if (untested()) Session->Key("Enter");
    WaitRows({"1 S"});
    EXPECT_EQ(Session->Rows()[24], "ESC/Quit # H/Help |  Search Mode: RegEx");

    Session->Type("R"); // back to the index, which pages as before
    WaitText("00023 letters");
    EXPECT_EQ(Session->Rows()[24], "ESC/Quit # H/Help |");
    QuitAndExpectCleanEnd();
}

} // namespace
