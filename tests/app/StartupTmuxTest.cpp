// The whole program started without an argument, in tmux: it asks for the
// base with the file chooser, and the file picked there opens the base. The
// bases are built byte by byte; the pane's shell records the terminal settings
// before and after the run and the exit code, so each case also checks that
// the terminal came back.

#include "tests/common/JamFixture.h"
#include "tests/common/TmuxSession.h"

#include <cctype>
#include <filesystem>
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

class StartupTmux : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
    }
    void TearDown() override { Tm.reset(); } // takes the server down

    // A session on a tmux server of its own, named after the test and N.
    void NewSession(int N) {
        Tm.reset();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        Tm = std::make_unique<TmuxSession>("kvs-" + std::to_string(::getpid()) + "-" +
                                           info->name() + "-" + std::to_string(N));
    }

    // A base of Count messages "<Word> n", written at Dir/Path.
    void MakeBase(const std::string& Path, const std::string& Word, int Count) {
        JamFixture f;
        for (int i = 1; i <= Count; ++i)
            f.AddSimple("From " + std::to_string(i), "To " + std::to_string(i),
                        Word + " " + std::to_string(i), "line one\r");
        f.Write(Dir / Path);
    }

    std::string ScreenText() const { return JoinRows(Tm->Rows()); }
    void WaitText(const std::string& Text) {
        if (!Tm->WaitFor(Text)) ADD_FAILURE() << "never saw \"" << Text << "\":\n" << ScreenText();
    }

    TempDir Dir;
    std::unique_ptr<TmuxSession> Tm;
};

// Keys go in one by one: a tmux key name, or literal text after "=".
void Send(const TmuxSession& Tm, const std::vector<std::string>& Keys) {
    for (const std::string& k : Keys) {
        if (!k.empty() && k[0] == '=')
            Tm.Type(k.substr(1));
        else
            Tm.Key(k);
    }
}

TEST_F(StartupTmux, TheFilePickedInTheChooserOpensItsBase) {
    const struct {
        const char* name;
        std::vector<std::string> keys; // in the chooser, from the file pane
        const char* firstRow;          // the list's first row once the base is open
        int rows;
    } cases[] = {
        {"the first file", {"Enter"}, "00001 Subject 1", 3},
        {"a file found by typing", {"=jhr", "Enter"}, "00001 Subject 1", 3},
        {"a file in a subdirectory", {"Tab", "Down", "Enter", "Left", "Enter"}, "00001 Other 1", 5},
    };
    MakeBase("base", "Subject", 3);
    std::filesystem::create_directory(Dir / "sub");
    MakeBase("sub/other", "Other", 5);
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NewSession(++n);
        TmuxRun run;
        run.Dir = Dir.Path();
        run.Program = QUORVEX_PATH;
        run.Emulator = QUORVEX_EMULATOR;
        run.Record = true;
        Tm->Start(run);
        WaitText("Select JAM Base");
        WaitText("base.jdt"); // listed: the chooser waits for keys
        Send(*Tm, c.keys);
        WaitText(c.firstRow);
        const std::vector<std::string> rows = Tm->Rows();
        EXPECT_EQ(rows[0].substr(0, 13), "Kelvarin v0.2");
        EXPECT_EQ(rows[2].substr(0, std::string(c.firstRow).size()), c.firstRow);
        int listed = 0;
        for (int r = 2; r < 24; ++r)
            if (rows[static_cast<std::size_t>(r)].size() >= 5 &&
                std::isdigit(static_cast<unsigned char>(rows[static_cast<std::size_t>(r)][0])))
                ++listed;
        EXPECT_EQ(listed, c.rows) << ScreenText();
        QuitAndExpectCleanEnd(*Tm);
    }
}

} // namespace
