// The exports in the real program, driven in tmux: the save chooser opens in
// the base's own directory, where the base's files are listed and picked as
// easily as any other. An export must never replace one of them, whatever
// name the user gives it; the chooser says why and stays open.
#include "app/MsgInfo.h"
#include "jam/JamBase.h"
#include "tests/common/JamFixture.h"
#include "tests/common/TmuxSession.h"

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

#ifndef QUORVEX_EMULATOR
#define QUORVEX_EMULATOR ""
#endif

class ExportTmux : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        Tm = std::make_unique<TmuxSession>("kvexp-" + std::to_string(::getpid()) + "-" +
                                           info->name());
        // Message 1: plain text; message 2: a UUencoded block.
        JamFixture f;
        f.AddSimple("Joe", "All", "Plain text", "first line\rsecond line\r");
        f.AddSimple("Ann", "All", "A file", "see:\rbegin 644 x\rM86)C\rend\r");
        f.Lr = LastBytes(1, 2, 1, 1);
        f.Write(Base);
        Before = ReadBaseFiles(Base);
        TmuxRun run;
        run.Dir = Dir.Path();
        run.Program = QUORVEX_PATH;
        run.Emulator = QUORVEX_EMULATOR;
        run.Args = ShellQuote(Base);
        run.Record = true;
        Tm->Start(run);
        ASSERT_TRUE(Tm->WaitFor("A file")) << Dump();
    }

    std::string Dump() const { return JoinRows(Tm->Rows()); }

    // A pick in the chooser Title is refused: the box says why, and when it
    // is closed the chooser is still there.
    void ExpectRefused(const std::string& Title) {
        ASSERT_TRUE(Tm->WaitFor(BaseFileText)) << Dump();
        EXPECT_FALSE(Tm->Shows("Overwrite?"));
        Tm->Key("Enter");
        ASSERT_TRUE(Tm->WaitGone(BaseFileText)) << Dump();
        EXPECT_TRUE(Tm->Shows(Title)) << Dump();
        EXPECT_TRUE(Tm->Shows("File Name")) << Dump();
    }

    // Leaves the chooser and the program; the base is as it was written.
    void LeaveAndCompare(const std::string& Title) {
        Tm->Key("Escape");
        ASSERT_TRUE(Tm->WaitGone(Title)) << Dump();
        Tm->Key("Escape");
        ASSERT_TRUE(Tm->WaitFor("Are you sure to exit?")) << Dump();
        Tm->Key("Enter");
        ASSERT_TRUE(Tm->WaitEnded()) << Dump();
        EXPECT_EQ(Tm->ExitCode(), "0\n");
        EXPECT_TRUE(ReadBaseFiles(Base) == Before) << "a file of the base changed";
    }

    TempDir Dir;
    std::string Base = Dir / "base";
    BaseFiles Before;
    std::unique_ptr<TmuxSession> Tm;
};

TEST_F(ExportTmux, TextExportNeverReplacesAFileOfTheOpenBase) {
    const std::string title = " Save Filename ";
    Tm->Type("e"); // message 1
    ASSERT_TRUE(Tm->WaitFor(title)) << Dump();
    // The file pane lists the base's own files, the first one highlighted.
    ASSERT_TRUE(Tm->WaitUntil([&] { return Tm->At(8, 10, 10) == " base.jdt "; })) << Dump();
    Tm->Key("Enter");
    ASSERT_NO_FATAL_FAILURE(ExpectRefused(title));
    Tm->Key("Down Enter"); // the pane still takes keys: the next file
    ASSERT_NO_FATAL_FAILURE(ExpectRefused(title));
    // Another spelling typed into the name line.
    const std::string spelled = "../" + Dir.Path().substr(Dir.Path().rfind('/') + 1) + "/base.jhr";
    Tm->Key("Tab Tab C-y");
    Tm->Type(spelled);
    Tm->Key("Enter");
    ASSERT_NO_FATAL_FAILURE(ExpectRefused(title));
    EXPECT_EQ(Tm->At(8, 21, spelled.size()), spelled); // still being edited
    LeaveAndCompare(title);
}

TEST_F(ExportTmux, BlockExportNeverReplacesAFileOfTheOpenBase) {
    const std::string title = " Save File As... ";
    Tm->Key("Down");
    Tm->Type("u"); // message 2
    ASSERT_TRUE(Tm->WaitFor("UUE Block Found. Extract?")) << Dump();
    Tm->Key("Enter");
    ASSERT_TRUE(Tm->WaitFor(title)) << Dump();
    ASSERT_TRUE(Tm->WaitUntil([&] { return Tm->At(8, 10, 10) == " base.jdt "; })) << Dump();
    Tm->Key("Enter");
    ASSERT_NO_FATAL_FAILURE(ExpectRefused(title));
    LeaveAndCompare(title);
}

} // namespace
