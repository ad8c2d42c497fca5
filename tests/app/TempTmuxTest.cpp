// The message view's temporary files in the real program, in tmux, with a
// /tmp of its own (a bind mount in a private mount namespace) that two
// sessions may share: the Space replay plays the text of the view it was
// pressed in, whatever another session wrote to the fixed file since.
#include "app/MsgInfo.h"
#include "tests/common/JamFixture.h"
#include "tests/common/TmuxSession.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

#ifndef QUORVEX_EMULATOR
#define QUORVEX_EMULATOR ""
#endif

class TempTmux : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
        if (!PrivateTmpWorks()) GTEST_SKIP() << "no private /tmp (needs a mount namespace)";
        char tmpl[] = "/var/tmp/kv-temp-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        Dir = tmpl;
        Tmp = Dir + "/tmp";
        ASSERT_EQ(::mkdir(Tmp.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(Tmp.c_str(), 01777), 0);
        JamFixture f;
        f.AddSimple("Ann", "All", "First", "Ann's own words\rsecond line of Ann\r");
        f.AddSimple("Ben", "All", "Second", "Ben writes here\r");
        f.Write(Dir + "/base");
    }
    void TearDown() override {
        Apps.clear();
        std::error_code ec;
        if (!Dir.empty()) fs::remove_all(Dir, ec);
    }

    // A new session on the base, its /tmp Dir/tmp, waiting in its list with
    // Row (0-based) highlighted.
    TmuxSession& Start(int Row, bool Record = false) {
        static int serial = 0;
        Apps.push_back(std::make_unique<TmuxSession>("kvtemp-" + std::to_string(::getpid()) + "-" +
                                                     std::to_string(++serial)));
        TmuxSession& app = *Apps.back();
        TmuxRun run;
        run.Dir = Dir;
        run.Program = QUORVEX_PATH;
        // Without TMPDIR, a private temporary file goes to /tmp.
        run.Emulator = std::string("env -u TMPDIR ") + QUORVEX_EMULATOR;
        run.Args = "./base";
        run.PrivateTmp = true;
        run.Record = Record;
        app.Start(run);
        EXPECT_TRUE(app.WaitFor("ESC/Quit # H/Help")) << JoinRows(app.Screen());
        EXPECT_TRUE(app.WaitFor("Second")) << JoinRows(app.Screen());
        for (int i = 0; i < Row; ++i) app.Key("Down");
        const std::size_t y = static_cast<std::size_t>(2 + Row);
        EXPECT_TRUE(app.WaitUntil([&] { return app.Cells()[y].substr(0, 9) == "0/30/47/0"; }))
            << JoinRows(app.Screen());
        return app;
    }

    // The names in Dir/tmp.
    std::vector<std::string> InTmp() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(Tmp)) names.push_back(e.path().filename());
        return names;
    }

    std::string Dir;
    std::string Tmp;
    std::vector<std::unique_ptr<TmuxSession>> Apps;
};

// Two sessions of one user: A views message 1, then B views message 2 and so
// rewrites /tmp/quorvex.tmp. Space in A replays A's message.
TEST_F(TempTmux, ReplayPlaysTheTextOfItsOwnView) {
    TmuxSession& a = Start(0);
    a.Key("Enter");
    ASSERT_TRUE(a.WaitFor("File: /tmp/quorvex.tmp")) << JoinRows(a.Screen());
    EXPECT_EQ(a.At(1, 1, 16), "Ann's own words ");
    TmuxSession& b = Start(1);
    b.Key("Enter");
    ASSERT_TRUE(b.WaitFor("File: /tmp/quorvex.tmp")) << JoinRows(b.Screen());
    EXPECT_EQ(b.At(1, 1, 16), "Ben writes here ");
    std::ifstream fixed(Tmp + "/quorvex.tmp");
    std::string first;
    std::getline(fixed, first);
    ASSERT_EQ(first, "Ben writes here");

    a.Key("Space");
    ASSERT_TRUE(a.WaitGone("File: ")) << JoinRows(a.Screen()); // the replay clears the screen
    ASSERT_TRUE(a.WaitFor("second line of Ann")) << JoinRows(a.Screen());
    EXPECT_EQ(a.At(1, 1, 16), "Ann's own words ");
    EXPECT_FALSE(a.Shows("Ben")) << JoinRows(a.Screen());
    a.Key("Space"); // ends the replay: the view again
    ASSERT_TRUE(a.WaitFor("File: /tmp/quorvex.tmp")) << JoinRows(a.Screen());
    EXPECT_EQ(a.At(1, 1, 16), "Ann's own words ");
}

} // namespace
