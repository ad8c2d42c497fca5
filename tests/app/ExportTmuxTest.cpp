// The exports in the real program, driven in tmux: the save chooser opens in
// the base's own directory, where the base's files are listed and picked as
// easily as any other. An export must never replace one of them, whatever
// name the user gives it (also one that does not exist yet); the chooser says
// why and stays open. Nor does it write through a symbolic link someone else
// planted in a shared directory, or into a FIFO.
#include "app/MsgInfo.h"
#include "jam/JamBase.h"
#include "support/FileDesc.h"
#include "tests/common/JamFixture.h"
#include "tests/common/TmuxSession.h"
#include "ui/Dialogs.h"

#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/stat.h>
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

    // Message 2 can no longer be read (HeaderGone) or its text is gone: every
    // row command that needs what is gone says so in a box and does nothing
    // more. "E", then Enter on the name offered: the box says so, no file is
    // written, and the base stays.
    void ExpectUnreadableSecondMessage(bool HeaderGone);

    // Waits for Text in a box, closes it, and waits for it to go.
    void CloseBox(const std::string& Text) {
        ASSERT_TRUE(Tm->WaitFor(Text)) << Dump();
        Tm->Key("Enter");
        ASSERT_TRUE(Tm->WaitGone(Text)) << Dump();
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

// Another user who may write the directory makes the names offered links to
// files of the victim's (or to none yet). The user picks them, and is told
// that they are links; the chooser stays open and nothing is written where
// they point. A FIFO at the name, a reader waiting on it, gets nothing.
TEST_F(ExportTmux, ExportNeverWritesThroughALinkOrIntoAFifo) {
    ASSERT_EQ(::mkdir((Dir / "victim").c_str(), 0700), 0);
    const std::string precious = Dir.Put("victim/notes.txt", "precious\n");
    ASSERT_EQ(::symlink(precious.c_str(), (Dir / "msg00001.txt").c_str()), 0);
    ASSERT_EQ(::symlink((Dir / "victim/new.uue").c_str(), (Dir / "Ann1.uue").c_str()), 0);
    ASSERT_EQ(::mkfifo((Dir / "msg00002.txt").c_str(), 0666), 0);
    TFileDesc reader;
    ASSERT_TRUE(reader.Open(Dir / "msg00002.txt", O_RDONLY | O_NONBLOCK));

    const std::string title = " Save Filename ";
    Tm->Type("e"); // message 1, its name offered on the name line
    ASSERT_TRUE(Tm->WaitFor(title)) << Dump();
    Tm->Key("Tab Tab Enter");
    ASSERT_NO_FATAL_FAILURE(CloseBox(SymlinkText("msg00001.txt")));
    EXPECT_FALSE(Tm->Shows("Overwrite?"));
    EXPECT_TRUE(Tm->Shows(title)) << Dump();
    Tm->Key("Escape");
    ASSERT_TRUE(Tm->WaitGone(title)) << Dump();

    Tm->Key("Down");
    Tm->Type("u"); // message 2: its block offered as Ann1.uue
    ASSERT_NO_FATAL_FAILURE(CloseBox("UUE Block Found. Extract?"));
    ASSERT_TRUE(Tm->WaitFor(" Save File As... ")) << Dump();
    Tm->Key("Tab Tab Enter");
    ASSERT_NO_FATAL_FAILURE(CloseBox(SymlinkText("Ann1.uue")));
    EXPECT_TRUE(Tm->Shows(" Save File As... ")) << Dump();
    Tm->Key("Escape");
    ASSERT_TRUE(Tm->WaitGone(" Save File As... ")) << Dump();

    Tm->Type("e"); // message 2 into the FIFO
    ASSERT_TRUE(Tm->WaitFor(title)) << Dump();
    Tm->Key("Tab Tab Enter");
    ASSERT_NO_FATAL_FAILURE(CloseBox("File Exists. Overwrite?"));
    ASSERT_NO_FATAL_FAILURE(CloseBox(WriteFailText(Dir / "msg00002.txt")));
    char got[64];
    EXPECT_LE(::read(reader.Fd(), got, sizeof got), 0) << "the FIFO was written";

    EXPECT_EQ(ReadFileBytes(precious), "precious\n");
    EXPECT_FALSE(PathExists(Dir / "victim/new.uue"));
    LeaveAndCompare(title);
}

// On a base without a .jlr, its name is refused all the same; a name typed
// with a leading "/" is written at that very path.
TEST_F(ExportTmux, MissingBaseFileIsRefusedAndAnAbsoluteNameIsThatPath) {
    ASSERT_EQ(::unlink((Base + ".jlr").c_str()), 0);
    Before.Lr.clear();
    ASSERT_EQ(::mkdir((Dir / "sub").c_str(), 0755), 0);
    const std::string title = " Save Filename ";
    Tm->Type("e");
    ASSERT_TRUE(Tm->WaitFor(title)) << Dump();
    Tm->Key("Tab Tab C-y");
    Tm->Type("base.jlr");
    Tm->Key("Enter");
    ASSERT_NO_FATAL_FAILURE(ExpectRefused(title));
    EXPECT_FALSE(PathExists(Base + ".jlr"));
    Tm->Key("C-y");
    Tm->Type(Dir / "sub/abs.txt");
    Tm->Key("Enter");
    ASSERT_TRUE(Tm->WaitGone(title)) << Dump();
    EXPECT_TRUE(Tm->WaitUntil([&] { return PathExists(Dir / "sub/abs.txt"); }));
    EXPECT_EQ(ReadFileBytes(Dir / "sub/abs.txt"), "first line\nsecond line\n");
    EXPECT_FALSE(PathExists(Base + ".jlr"));
    // The program is still at its list: a further export opens the chooser.
    Tm->Type("e");
    ASSERT_TRUE(Tm->WaitFor(title)) << Dump();
    LeaveAndCompare(title);
}

// Another program cut the index, or the header file, short after the list
// was filled: "E" on the message that is gone says so, and writes nothing.
TEST_F(ExportTmux, ExportOfAMessageThatCannotBeReadSaysSo) {
    ASSERT_EQ(::truncate((Base + ".jdx").c_str(), 8), 0); // message 1's record only
    Before.Idx.resize(8);
    ExpectUnreadableSecondMessage(true);
}

TEST_F(ExportTmux, ExportOfAMessageWhoseHeaderWasCutAwaySaysSo) {
    const auto header2 = static_cast<std::size_t>(GetLe32(Before.Idx, 12));
    ASSERT_EQ(::truncate((Base + ".jhr").c_str(), static_cast<off_t>(header2)), 0);
    Before.Hdr.resize(header2);
    ExpectUnreadableSecondMessage(true);
}

// The text file cut to nothing under the running program: the headers still
// read, but no text is there to view, extract or save.
TEST_F(ExportTmux, ExportOfAMessageWhoseTextWasCutAwaySaysSo) {
    ASSERT_EQ(::truncate((Base + ".jdt").c_str(), 0), 0);
    Before.Txt.clear();
    ExpectUnreadableSecondMessage(false);
}

void ExportTmux::ExpectUnreadableSecondMessage(bool HeaderGone) {
    const std::string title = " Save Filename ";
    Tm->Key("Down");
    std::vector<std::string> commands = {"Enter", "u"};
    if (HeaderGone) commands.insert(commands.end(), {"m", "l"});
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        if (command == "Enter")
            Tm->Key(command);
        else
            Tm->Type(command);
        ASSERT_NO_FATAL_FAILURE(CloseBox(UnreadableMsgText(2)));
        ASSERT_TRUE(Tm->WaitFor("A file")) << Dump(); // back at the list
    }
    Tm->Type("e");
    ASSERT_TRUE(Tm->WaitFor(title)) << Dump();
    Tm->Key("Tab Tab Enter");
    ASSERT_NO_FATAL_FAILURE(CloseBox(UnreadableMsgText(2)));
    EXPECT_FALSE(Tm->Shows(title)) << Dump();
    EXPECT_FALSE(PathExists(Dir / "msg00002.txt"));
    Tm->Type("e");
    ASSERT_TRUE(Tm->WaitFor(title)) << Dump();
    LeaveAndCompare(title);
}

} // namespace
