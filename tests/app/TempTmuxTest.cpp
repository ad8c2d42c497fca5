// The message view's temporary files in the real program, in tmux, with a
// /tmp of its own (a bind mount in a private mount namespace) that two
// sessions may share: a private file goes with every end of the program that
// it handles, and the Space replay plays the text of the view it was pressed
// in, whatever another session wrote to the fixed file since.
#include "app/MsgInfo.h"
#include "tests/common/JamFixture.h"
#include "tests/common/TmuxSession.h"

#include <csignal>
#include <cstring>
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

// The pid of the program in a recorded session: the only child of the
// pane's shell (the emulator, where one runs it).
int ProgramPid(const TmuxSession& App) {
    std::string shell = App.Tmux("display-message -p '#{pane_pid}'");
    while (!shell.empty() && shell.back() == '\n') shell.pop_back();
    std::ifstream children("/proc/" + shell + "/task/" + shell + "/children");
    int pid = 0;
    children >> pid;
    return pid;
}

// A FIFO at the fixed name is neither opened nor removed: the text is shown
// from a private file. Killed during that view by a signal whose default
// action ends a process, the program still ends by that signal, the private
// file with the message in it is gone and the terminal is as before.
TEST_F(TempTmux, PrivateFileGoesWhenASignalEndsTheView) {
    const std::string fixed = Tmp + "/quorvex.tmp";
    ASSERT_EQ(::mkfifo(fixed.c_str(), 0600), 0);
    for (int sig : {SIGTERM, SIGHUP, SIGINT, SIGUSR1, SIGALRM}) {
        SCOPED_TRACE(strsignal(sig));
        TmuxSession& app = Start(0, true);
        app.Key("Enter");
        ASSERT_TRUE(app.WaitFor("File: /tmp/quorvex-")) << JoinRows(app.Screen());
        EXPECT_EQ(app.At(1, 1, 16), "Ann's own words ");
        ASSERT_EQ(InTmp().size(), 2u);
        const int pid = ProgramPid(app);
        ASSERT_GT(pid, 1);
        ASSERT_EQ(::kill(pid, sig), 0);
        ASSERT_TRUE(app.WaitEnded()) << JoinRows(app.Screen());
        EXPECT_EQ(app.ExitCode(), std::to_string(128 + sig) + "\n");
        EXPECT_FALSE(app.SttyBefore().empty());
        EXPECT_EQ(app.SttyAfter(), app.SttyBefore());
        EXPECT_EQ(InTmp(), std::vector<std::string>{"quorvex.tmp"});
        struct stat st {};
        ASSERT_EQ(::lstat(fixed.c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode));
        Apps.clear();
    }
}

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
