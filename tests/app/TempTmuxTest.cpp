// The message view's temporary files in the real program, in tmux, with a
// /tmp of its own (a bind mount in a private mount namespace) that two
// sessions may share: a private file goes with every end of the program that
// it handles, a write past the file-size limit (of a view or an export)
// leaves no part of the text behind, and the Space replay plays the text of
// the view it was pressed in, whatever another session wrote to the fixed
// file since.
#include "app/MsgInfo.h"
#include "tests/common/JamFixture.h"
#include "tests/common/TempDirFixture.h"
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
        std::string longText;
        while (longText.size() <= 2 * FileSizeLimit) longText += "a line of Cy's long text\r";
        f.AddSimple("Cy", "All", "Third", longText);
        f.Write(Dir + "/base");
    }
    void TearDown() override {
        Apps.clear();
        std::error_code ec;
        if (!Dir.empty()) fs::remove_all(Dir, ec);
    }

    // Message 3's text is longer than this; a run may be limited to it.
    static constexpr std::size_t FileSizeLimit = 8192;

    // A new session on the base, its /tmp Dir/tmp, waiting in its list with
    // Row (0-based) highlighted; Limited: no file it writes may grow past
    // FileSizeLimit bytes.
    TmuxSession& Start(int Row, bool Record = false, bool Limited = false) {
        static int serial = 0;
        Apps.push_back(std::make_unique<TmuxSession>("kvtemp-" + std::to_string(::getpid()) + "-" +
                                                     std::to_string(++serial)));
        TmuxSession& app = *Apps.back();
        TmuxRun run;
        run.Dir = Dir;
        run.Program = QUORVEX_PATH;
        // Without TMPDIR, a private temporary file goes to /tmp.
        run.Emulator = std::string("env -u TMPDIR ") +
                       (Limited ? "prlimit --fsize=" + std::to_string(FileSizeLimit) + " " : "") +
                       QUORVEX_EMULATOR;
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

// Under a file-size limit, the view of a text longer than the limit cannot
// write the fixed file nor a private one: the box says so, neither file
// keeps a part of the text, and the program goes on at its list, where a
// short message is shown as ever.
TEST_F(TempTmux, ViewPastTheFileSizeLimitSaysSoAndLeavesNoPart) {
    TmuxSession& app = Start(2, true, true);
    app.Key("Enter");
    ASSERT_TRUE(app.WaitFor(WriteFailText("/tmp/quorvex.tmp"))) << JoinRows(app.Screen());
    EXPECT_EQ(InTmp(), std::vector<std::string>{"quorvex.tmp"});
    EXPECT_EQ(fs::file_size(Tmp + "/quorvex.tmp"), 0u);
    app.Key("Enter");
    ASSERT_TRUE(app.WaitGone(WriteFailText("/tmp/quorvex.tmp"))) << JoinRows(app.Screen());
    app.Key("Up Up Enter");
    ASSERT_TRUE(app.WaitFor("File: /tmp/quorvex.tmp")) << JoinRows(app.Screen());
    EXPECT_EQ(app.At(1, 1, 16), "Ann's own words ");
    app.Key("Escape");
    ASSERT_TRUE(app.WaitFor("ESC/Quit # H/Help")) << JoinRows(app.Screen());
    QuitAndExpectCleanEnd(app);
}

// Under a file-size limit, exporting a text longer than the limit fails as
// any failed write does: to a new name, no file is left; over an existing
// file, that file keeps its text and the new one beside it goes.
TEST_F(TempTmux, ExportPastTheFileSizeLimitSaysSoAndLeavesNoPart) {
    TmuxSession& app = Start(2, true, true);
    const std::string name = Dir + "/msg00003.txt";
    const auto exportAndFail = [&](bool Exists) {
        app.Type("e");
        ASSERT_TRUE(app.WaitFor(" Save Filename ")) << JoinRows(app.Screen());
        app.Key("Tab Tab Enter");
        if (Exists) {
            ASSERT_TRUE(app.WaitFor("File Exists. Overwrite?")) << JoinRows(app.Screen());
            app.Key("Enter");
        }
        ASSERT_TRUE(app.WaitFor(WriteFailText(name))) << JoinRows(app.Screen());
        app.Key("Enter");
        ASSERT_TRUE(app.WaitGone(WriteFailText(name))) << JoinRows(app.Screen());
        for (const auto& e : fs::directory_iterator(Dir))
            EXPECT_NE(e.path().filename().string().rfind(".quorvex-", 0), 0u) << e.path();
    };
    exportAndFail(false);
    EXPECT_FALSE(fs::exists(name));
    WriteFileBytes(name, "the old text\n");
    exportAndFail(true);
    EXPECT_EQ(ReadFileBytes(name), "the old text\n");
    ASSERT_TRUE(app.WaitFor("ESC/Quit # H/Help")) << JoinRows(app.Screen());
    QuitAndExpectCleanEnd(app);
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
