// The program as installed on a host that several users share: the binary and
// help.ans belong to root and may only be read by others, and the program is
// run in tmux as the unprivileged user 65534 as well as root. The test
// directory and what the other user must reach in it are opened up to it; a
// run that touches /tmp gets a /tmp of its own (a bind mount in a private
// mount namespace), sticky and writable by all like the real one.
#include "app/MainProgram.h"
#include "app/MsgInfo.h"
#include "support/FileIO.h"
#include "tests/common/JamFixture.h"
#include "tests/common/TmuxSession.h"

#include <climits>
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

std::string Dump(const std::vector<std::string>& Rows) {
    return JoinRows(Rows);
}

const std::string MsgText = "Text for every user\r\rSecond paragraph\r";

class SharedHost : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
        char tmpl[] = "/var/tmp/kv-host-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        Dir = tmpl;
        // Installed: root's files in a directory every user may search.
        ASSERT_EQ(::chmod(Dir.c_str(), 0755), 0);
        const std::string built = QUORVEX_PATH;
        fs::copy_file(built, Dir + "/quorvex");
        fs::copy_file(ExtractFilePath(built) + "help.ans", Dir + "/help.ans");
        ASSERT_EQ(::chmod((Dir + "/quorvex").c_str(), 0755), 0);
        ASSERT_EQ(::chmod((Dir + "/help.ans").c_str(), 0644), 0);
        // A base every user may read and write.
        JamFixture f;
        f.AddSimple("Alice", "All", "For everybody", MsgText);
        f.AddSimple("Bob", "All", "Second message", "Short\r");
        f.Write(Dir + "/base");
        for (const char* ext : {".jhr", ".jdx", ".jdt"})
            ASSERT_EQ(::chmod((Dir + "/base" + ext).c_str(), 0666), 0);
        // The /tmp of the runs: sticky and open to all.
        ASSERT_EQ(::mkdir((Dir + "/tmp").c_str(), 0700), 0);
        ASSERT_EQ(::chmod((Dir + "/tmp").c_str(), 01777), 0);
    }
    void TearDown() override {
        App.reset();
        std::error_code ec;
        if (!Dir.empty()) fs::remove_all(Dir, ec);
    }

    // Starts the program on the base as Uid (-1: as the test runs) and waits
    // for its list with the first row highlighted; returns that screen.
    std::vector<std::string> Start(int Uid, bool PrivateTmp) {
        App.reset();
        static int serial = 0;
        App = std::make_unique<TmuxSession>("kvhost-" + std::to_string(::getpid()) + "-" +
                                            std::to_string(++serial));
        TmuxRun run;
        run.Dir = Dir;
        run.Program = "./quorvex";
        // Without TMPDIR, a private temporary file goes to /tmp.
        run.Emulator = std::string("env -u TMPDIR ") + QUORVEX_EMULATOR;
        run.Args = "./base";
        run.PrivateTmp = PrivateTmp;
        run.Uid = Uid;
        App->Start(run);
        EXPECT_TRUE(App->WaitFor("ESC/Quit # H/Help")) << Dump(App->Screen());
        EXPECT_TRUE(App->WaitFor("Second message")) << Dump(App->Screen());
        // The highlighted row is black on light grey.
        std::vector<std::string> s;
        EXPECT_TRUE(App->WaitUntil([&] {
            return (s = App->Cells())[2].substr(0, 9) == "0/30/47/0";
        })) << Dump(App->Screen());
        return s;
    }

    std::string Dir;
    std::unique_ptr<TmuxSession> App;
};

// help.ans is root's, mode 644: another user reads it. The viewer must not
// ask to write it (that was refused, retried for two seconds, and showed
// nothing); one the user may not read says so in a box instead.
TEST_F(SharedHost, InstalledHelpShowsToAnotherUser) {
    if (!OtherUserWorks()) GTEST_SKIP() << "cannot run a program as another user here";
    const std::vector<std::string> before = Start(OtherUid, false);
    App->Type("H");
    ASSERT_TRUE(App->WaitFor("Esc leaves this screen.")) << Dump(App->Screen());
    EXPECT_TRUE(App->Shows("keys of the main screen"));
    EXPECT_EQ(App->At(75, 25, 4), "100%") << Dump(App->Screen());
    App->Key("Escape");
    EXPECT_TRUE(App->WaitScreen(before)) << Dump(App->Screen());

    ASSERT_EQ(::chmod((Dir + "/help.ans").c_str(), 0600), 0);
    App->Type("H");
    ASSERT_TRUE(App->WaitFor(HelpUnreadableText)) << Dump(App->Screen());
    App->Key("Enter");
    EXPECT_TRUE(App->WaitScreen(before)) << Dump(App->Screen());
}

// The tosser's base, root's and mode 644: another user reads the list and
// the messages, and "D" is refused with a box before anything is asked or
// written. A base file that is missing still ends the program as before.
TEST_F(SharedHost, ABaseAnotherUserMayOnlyReadShowsAndRefusesDeletes) {
    if (!OtherUserWorks()) GTEST_SKIP() << "cannot run a program as another user here";
    if (!PrivateTmpWorks()) GTEST_SKIP() << "no private /tmp (needs a mount namespace)";
    for (const char* ext : {".jhr", ".jdx", ".jdt"})
        ASSERT_EQ(::chmod((Dir + "/base" + ext).c_str(), 0644), 0);
    const BaseFiles before = ReadBaseFiles(Dir + "/base");
    const std::vector<std::string> list = Start(OtherUid, true);
    App->Key("Enter");
    ASSERT_TRUE(App->WaitFor("Text for every user")) << Dump(App->Screen());
    App->Key("Escape");
    ASSERT_TRUE(App->WaitScreen(list)) << Dump(App->Screen());
    App->Type("D");
    ASSERT_TRUE(App->WaitFor(ReadOnlyBaseText)) << Dump(App->Screen());
    EXPECT_FALSE(App->Shows("Are you sure?"));
    App->Key("Enter");
    EXPECT_TRUE(App->WaitScreen(list)) << Dump(App->Screen());
    EXPECT_EQ(ReadBaseFiles(Dir + "/base"), before);

    ASSERT_EQ(::unlink((Dir + "/base.jdt").c_str()), 0);
    App.reset();
    App = std::make_unique<TmuxSession>("kvhost-" + std::to_string(::getpid()) + "-missing");
    TmuxRun run;
    run.Dir = Dir;
    run.Program = "./quorvex";
    run.Emulator = QUORVEX_EMULATOR;
    run.Args = "./base";
    run.Uid = OtherUid;
    run.Record = true; // the pane stays after the program has ended
    App->Start(run);
    EXPECT_TRUE(App->WaitFor("Could not initialize JAM Base. Aborting...")) << Dump(App->Screen());
    EXPECT_TRUE(App->WaitEnded());
    EXPECT_EQ(App->ExitCode(), "0\n");
}

struct FileFacts {
    std::string Bytes;
    uid_t Owner = 0;
    mode_t Mode = 0;
    ino_t Inode = 0;
    bool operator==(const FileFacts&) const = default;
};

FileFacts FactsOf(const std::string& Name) {
    struct stat st {};
    EXPECT_EQ(::lstat(Name.c_str(), &st), 0) << Name;
    return {ReadFileBytes(Name), st.st_uid, st.st_mode, st.st_ino};
}

// The private temporary files now in Dir.
std::vector<std::string> PrivateFiles(const std::string& Dir) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(Dir))
        if (e.path().filename().string().rfind(PrivateTempPrefix, 0) == 0)
            found.push_back(e.path().string());
    return found;
}

// The first user to read a message leaves /tmp/quorvex.tmp behind, its own
// and mode 600. Another user still reads messages: through a private file of
// its own, which goes again when the view ends, and the first user's file
// is left exactly as it was.
TEST_F(SharedHost, SecondUserReadsMessagesBesideTheFirstUsersTempFile) {
    if (!OtherUserWorks()) GTEST_SKIP() << "cannot run a program as another user here";
    if (!PrivateTmpWorks()) GTEST_SKIP() << "no private /tmp (needs a mount namespace)";
    const std::string fixed = Dir + "/tmp/quorvex.tmp";
    std::vector<std::string> before = Start(-1, true);
    App->Key("Enter");
    ASSERT_TRUE(App->WaitFor("File: /tmp/quorvex.tmp")) << Dump(App->Screen());
    App->Key("Escape");
    ASSERT_TRUE(App->WaitScreen(before)) << Dump(App->Screen());
    const FileFacts rootFile = FactsOf(fixed);
    EXPECT_EQ(rootFile.Owner, 0u);
    EXPECT_EQ(rootFile.Mode, S_IFREG | 0600);
    EXPECT_EQ(rootFile.Bytes, "Text for every user\n\nSecond paragraph\n");

    before = Start(OtherUid, true);
    for (int round = 0; round < 2; ++round) { // and again: nothing left over is in the way
        SCOPED_TRACE(round);
        App->Key("Enter");
        ASSERT_TRUE(App->WaitFor("File: /tmp/quorvex-")) << Dump(App->Screen());
        EXPECT_EQ(App->At(1, 1, 20), "Text for every user ");
        EXPECT_EQ(App->At(1, 3, 17), "Second paragraph ");
        const std::vector<std::string> open = PrivateFiles(Dir + "/tmp");
        ASSERT_EQ(open.size(), 1u);
        const FileFacts own = FactsOf(open[0]);
        EXPECT_EQ(own.Owner, static_cast<uid_t>(OtherUid));
        EXPECT_EQ(own.Mode, S_IFREG | 0600);
        EXPECT_EQ(own.Bytes, rootFile.Bytes);
        App->Key("Escape");
        ASSERT_TRUE(App->WaitScreen(before)) << Dump(App->Screen());
        EXPECT_TRUE(PrivateFiles(Dir + "/tmp").empty());
    }
    EXPECT_EQ(FactsOf(fixed), rootFile);
}

// What another user reads of Name: the bytes, or "" when it may not.
std::string ReadAsOtherUser(const std::string& Name) {
    return ShellRun("setpriv --reuid=" + std::to_string(OtherUid) +
                    " --regid=" + std::to_string(OtherUid) + " --clear-groups cat " +
                    ShellQuote(Name) + " 2>/dev/null");
}

// The user's own /tmp/quorvex.tmp of mode 644, left so by some earlier
// program: the netmail viewed through it is not for other users' eyes, not
// even through a descriptor one of them opened before.
TEST_F(SharedHost, OwnTempFileOfMode644KeepsTheMessageFromOtherUsers) {
    if (!OtherUserWorks()) GTEST_SKIP() << "cannot run a program as another user here";
    if (!PrivateTmpWorks()) GTEST_SKIP() << "no private /tmp (needs a mount namespace)";
    const std::string fixed = Dir + "/tmp/quorvex.tmp";
    WriteFileBytes(fixed, "an older text\n");
    ASSERT_EQ(::chmod(fixed.c_str(), 0644), 0);
    ASSERT_EQ(ReadAsOtherUser(fixed), "an older text\n");
    std::ifstream held(fixed);

    const std::vector<std::string> before = Start(-1, true);
    App->Key("Enter");
    ASSERT_TRUE(App->WaitFor("File: /tmp/quorvex.tmp")) << Dump(App->Screen());
    EXPECT_EQ(App->At(1, 1, 20), "Text for every user ");
    const FileFacts now = FactsOf(fixed);
    EXPECT_EQ(now.Mode, S_IFREG | 0600);
    EXPECT_EQ(now.Bytes, "Text for every user\n\nSecond paragraph\n");
    EXPECT_EQ(ReadAsOtherUser(fixed), "");
    std::string seen;
    std::getline(held, seen);
    EXPECT_EQ(seen, "an older text");
    App->Key("Escape");
    EXPECT_TRUE(App->WaitScreen(before)) << Dump(App->Screen());
}

} // namespace

// The names in Dir that an export leaves beside the file it writes.
std::vector<std::string> HiddenExports(const std::string& Dir) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(Dir))
        if (e.path().filename().string().rfind(".quorvex-", 0) == 0)
            found.push_back(e.path().string());
    return found;
}

// In a directory every user may write, not sticky, root's file of mode 644
// has the name that "E" offers: another user answers YES to the overwrite
// question, is told that the file could not be written, and root's file
// stays as it was. In a sticky directory, root's file that every user may
// write takes the export where it lies: still root's, the same file.
TEST_F(SharedHost, ExportOverRootsFileOnlyWhereTheOtherUserMayWriteIt) {
    if (!OtherUserWorks()) GTEST_SKIP() << "cannot run a program as another user here";
    ASSERT_EQ(::chmod(Dir.c_str(), 0777), 0);
    const std::string kept = Dir + "/msg00001.txt";
    WriteFileBytes(kept, "root's own notes\n");
    ASSERT_EQ(::chmod(kept.c_str(), 0644), 0);
    const std::string sticky = Dir + "/sticky";
    ASSERT_EQ(::mkdir(sticky.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(sticky.c_str(), 01777), 0);
    const std::string shared = sticky + "/shared.txt";
    WriteFileBytes(shared, "a text of root's that every user may write, longer than the export\n");
    ASSERT_EQ(::chmod(shared.c_str(), 0666), 0);
    const FileFacts keptBefore = FactsOf(kept);
    const FileFacts sharedBefore = FactsOf(shared);

    const std::vector<std::string> list = Start(OtherUid, false);
    App->Type("e");
    ASSERT_TRUE(App->WaitFor(" Save Filename ")) << Dump(App->Screen());
    App->Key("Tab Tab Enter"); // the name offered
    ASSERT_TRUE(App->WaitFor("File Exists. Overwrite?")) << Dump(App->Screen());
    App->Key("Enter");
    ASSERT_TRUE(App->WaitFor("Could not write ")) << Dump(App->Screen());
    EXPECT_TRUE(App->Shows("msg00001.txt!")) << Dump(App->Screen());
    App->Key("Enter");
    ASSERT_TRUE(App->WaitScreen(list)) << Dump(App->Screen());
    EXPECT_EQ(FactsOf(kept), keptBefore);
    EXPECT_TRUE(HiddenExports(Dir).empty());

    App->Type("e");
    ASSERT_TRUE(App->WaitFor(" Save Filename ")) << Dump(App->Screen());
    App->Key("Tab Tab C-y");
    App->Type(shared);
    App->Key("Enter");
    ASSERT_TRUE(App->WaitFor("File Exists. Overwrite?")) << Dump(App->Screen());
    App->Key("Enter");
    ASSERT_TRUE(App->WaitScreen(list)) << Dump(App->Screen());
    FileFacts want = sharedBefore;
    want.Bytes = "Text for every user\n\nSecond paragraph\n";
    EXPECT_EQ(FactsOf(shared), want);
    EXPECT_TRUE(HiddenExports(sticky).empty());
}
