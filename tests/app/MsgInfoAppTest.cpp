// The boxes, the message view, the help screen and the exports in the real
// program, driven in tmux on bases built byte by byte. Every scenario ends
// where it began: the screen after a box or view closes equals the screen
// before it opened. The program runs with a /tmp of its own (a bind mount in
// a private mount namespace), so the fixed temporary file of one test is
// never another's, and a link planted there harms nothing outside the test.
#include "app/MsgInfo.h"
#include "jam/JamBase.h"
#include "support/StrUtil.h"
#include "tests/common/JamFixture.h"
#include "tests/common/TmuxSession.h"

#include <filesystem>
#include <iterator>
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

[[maybe_unused]] std::string Run(const std::string& Cmd) {
    return ShellRun(Cmd);
}
std::string Quote(const std::string& S) {
    return ShellQuote(S);
}
std::string Dump(const std::vector<std::string>& Rows) {
    return JoinRows(Rows);
}

// The program in a detached 80x25 tmux session of its own server: the shared
// harness under a name of its own.
class AppSession : public TmuxSession {
public:
    explicit AppSession(const TmuxRun& Run) : TmuxSession(NextSocket()) { Start(Run); }
    // Runs the shell script Script.
    explicit AppSession(const std::string& Script) : TmuxSession(NextSocket()) {
        StartShell("sh " + Quote(Script));
    }

private:
    static std::string NextSocket() {
        static int serial = 0;
        return "kvinfo-" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
    }
};

const std::string Joe = "Joe Sysop";
const std::string Uu = "Uu Sender";
const std::string ThirdText = "Who am I?\r\rI am \x1b[1mbold\x1b[0m.\r";
const std::string ThirdSaved = "Who am I?\n\nI am \x1b[1mbold\x1b[0m.\n";

// Message 1: a header with every field shown by "M"; message 2: two
// UUencoded blocks; message 3: a sender without a last-read record.
JamFixture TestBase() {
    BaseHdrFields bh;
    bh.DateCreated = 1593835520; // 04:05 04-07-2020
    bh.ModCounter = 0x00C0FFEE;
    bh.ActiveMsgs = 3;
    bh.PasswordCRC = -1;
    bh.BaseMsgNum = 1000;
    JamFixture f(bh);
    FixMsg m;
    m.Hdr.MessageNumber = 1000;
    m.Hdr.TimesRead = 4;
    m.Hdr.DateWritten = 1700000000;   // 22:13 14-11-2023
    m.Hdr.DateReceived = 1700003600;  // 23:13 14-11-2023
    m.Hdr.DateProcessed = 1700007200; // 00:13 15-11-2023
    m.Hdr.ReplyTo = 998;
    m.Hdr.Attribute = MSG_LOCAL | MSG_PRIVATE | MSG_SENT;
    m.Subfields = SubBytes(SENDERNAME, Joe) + SubBytes(RECEIVERNAME, "All") +
                  SubBytes(SUBJECT, "Hello there");
    m.Text = "First line of the text\r\rThird line, \x1b[1mbold\x1b[0m\r";
    f.Add(m);
    f.AddSimple(Uu, "All", "Two files",
                "Here they are:\rbegin 644 one.bin\rM86)C\rend\rand\rbegin 600 two.bin\r"
                "M9&%T\r`\rend\rbye\r");
    f.AddSimple("Nobody", "All", "Who am I", ThirdText);
    f.Lr = LastBytes(static_cast<int32_t>(StrCrc32(Joe)), 77, 2, 3);
    return f;
}

class MsgInfoApp : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/var/tmp/kv-info-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        Dir = tmpl;
        fs::create_directory(Dir + "/tmp");
        // The program is copied into the test's directory, so that is where
        // it looks for help.ans.
        fs::copy_file(QUORVEX_PATH, Dir + "/quorvex");
        TestBase().Write(Dir + "/base");
    }
    void TearDown() override {
        App.reset();
        std::error_code ec;
        fs::remove_all(Dir, ec);
    }

    // Starts the program on the test base and waits for its list.
    void Start() {
        TmuxRun run;
        run.Dir = Dir;
        run.Program = "./quorvex";
        run.Emulator = QUORVEX_EMULATOR;
        run.Args = "./base";
        run.PrivateTmp = PrivateTmpWorks();
        App = std::make_unique<AppSession>(run);
        ASSERT_TRUE(App->WaitFor("Who am I")) << Dump(App->Screen());
        ASSERT_TRUE(App->WaitFor("ESC/Quit # H/Help")) << Dump(App->Screen());
    }
    // Highlights row Row (0-based) of the list and returns the screen.
    std::vector<std::string> OnRow(int Row) {
        for (int i = 0; i < Row; ++i) App->Key("Down");
        // The highlighted row is black on light grey.
        auto lit = [&](const std::vector<std::string>& Cells) {
            return Cells[static_cast<std::size_t>(2 + Row)].substr(0, 9) == "0/30/47/0";
        };
        std::vector<std::string> s;
        EXPECT_TRUE(App->WaitUntil([&] { return lit(s = App->Cells()); })) << Dump(s);
        return s;
    }
    // The screen is Before again and the program waits in its list: a probe
    // ("*", the base header box) opens and closes, which it would not if some
    // further box had been waiting for a key.
    void ExpectBackTo(const std::vector<std::string>& Before) {
        EXPECT_TRUE(App->WaitScreen(Before)) << Dump(App->Screen());
        App->Type("*");
        EXPECT_TRUE(App->WaitFor("Total Msgs   :")) << Dump(App->Screen());
        App->Key("Space");
        EXPECT_TRUE(App->WaitScreen(Before)) << Dump(App->Screen());
    }

    const std::string Prog = std::string(QUORVEX_EMULATOR) + " ./quorvex";
    std::string Dir;
    std::unique_ptr<AppSession> App;
};

struct BoxRow {
    int X, Y;
    std::string Text;
};

TEST_F(MsgInfoApp, BoxesShowTheirFieldsAndCloseWithoutATrace) {
    Start();
    struct Case {
        const char* What;
        int Row;            // list row to act on
        std::string Key;    // opens the box
        std::string Closer; // tmux key that closes it
        std::vector<BoxRow> Want;
    };
    const std::vector<Case> cases = {
        {"base header",
         0,
         "*",
         "Space",
         {{22, 10, "Header"},
          {21, 11, "Created      :"},
          {36, 11, "04:05 04-07-2020"},
          {21, 12, "ModCount     :"},
          {36, 12, "00c0ffee"},
          {21, 13, "Active Msgs  :"},
          {36, 13, "3 "},
          {21, 14, "PWD CRC      :"},
          {36, 14, "ffffffff"},
          {21, 15, "Base Msg Num :"},
          {36, 15, "1000 "},
          {21, 16, "Total Msgs   :"},
          {36, 16, "3 "}}},
        // Closed by an arrow key: the whole key is taken, so its second byte
        // does not reach the list as a command (Down would read as "P").
        {"message header",
         0,
         "m",
         "Down",
         {{22, 10, "Message Header"},
          {21, 11, "Msg Num      :"},
          {36, 11, "1000 "},
          {21, 12, "Read Count   :"},
          {36, 12, "4 "},
          {21, 13, "Written      :"},
          {36, 13, "22:13 14-11-2023"},
          {21, 14, "Received     :"},
          {36, 14, "23:13 14-11-2023"},
          {21, 15, "Arrived      :"},
          {36, 15, "00:13 15-11-2023"},
          {21, 16, "Reply To     :"},
          {36, 16, "998 "},
          {21, 17, "Flags" + std::string(34, ' ')},
          {21, 18, " Local  Del  Priv  Locked  Crash "},
          {21, 19, " Sent  Received  KillSent  Attach "}}},
        {"last-read record",
         0,
         "L",
         "Up",
         {{22, 10, "User Last Read - Joe Sysop"},
          {21, 11, "Last Read    :"},
          {36, 11, "2 "},
          {21, 12, "High Read    :"},
          {36, 12, "3 "},
          {21, 13, "User CRC     :"},
          {36, 13, IntToHex(StrCrc32(Joe), 8) + " HEX"},
          {21, 14, "User ID      :"},
          {36, 14, "77 "}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        std::vector<std::string> before = OnRow(c.Row);
        App->Type(c.Key);
        ASSERT_TRUE(App->WaitFor(c.Want[0].Text)) << Dump(App->Screen());
        for (const BoxRow& r : c.Want)
            EXPECT_EQ(App->At(r.X, r.Y, r.Text.size()), r.Text) << "row " << r.Y;
        App->Key(c.Closer);
        ExpectBackTo(before);
    }
}

TEST_F(MsgInfoApp, LastReadOfASenderWithoutRecordSaysSo) {
    Start();
    std::vector<std::string> before = OnRow(2);
    App->Type("l");
    ASSERT_TRUE(App->WaitFor("User Nobody not found in Index.")) << Dump(App->Screen());
    App->Key("Enter");
    ExpectBackTo(before);
}

TEST_F(MsgInfoApp, EnterShowsTheTextAndEscReturnsToTheSameRow) {
    if (!PrivateTmpWorks()) GTEST_SKIP() << "no private /tmp (needs a mount namespace)";
    Start();
    std::vector<std::string> before = OnRow(2);
    App->Key("Enter");
    ASSERT_TRUE(App->WaitFor("File: ")) << Dump(App->Screen());
    EXPECT_EQ(App->At(1, 1, 10), "Who am I? ");
    EXPECT_EQ(App->At(1, 3, 11), "I am bold. ");
    EXPECT_EQ(ReadFileBytes(Dir + "/tmp/quorvex.tmp"), ThirdSaved);
    App->Key("Escape");
    ExpectBackTo(before);
}

// A link planted at the fixed name is neither followed nor removed: the text
// is shown from a private file instead, which goes again after the view.
TEST_F(MsgInfoApp, TempFileBehindASymbolicLinkGivesWayToAPrivateFile) {
    if (!PrivateTmpWorks()) GTEST_SKIP() << "no private /tmp (needs a mount namespace)";
    WriteFileBytes(Dir + "/victim", "precious");
    ASSERT_EQ(::symlink((Dir + "/victim").c_str(), (Dir + "/tmp/quorvex.tmp").c_str()), 0);
    Start();
    std::vector<std::string> before = OnRow(2);
    App->Key("Enter");
    ASSERT_TRUE(App->WaitFor("File: ")) << Dump(App->Screen());
    EXPECT_EQ(App->At(1, 1, 10), "Who am I? ");
    App->Key("Escape");
    ExpectBackTo(before);
    EXPECT_EQ(ReadFileBytes(Dir + "/victim"), "precious");
    struct stat st {};
    ASSERT_EQ(::lstat((Dir + "/tmp/quorvex.tmp").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir + "/tmp"), fs::directory_iterator()), 1);
}

TEST_F(MsgInfoApp, HelpShowsHelpAnsOrSaysItIsMissing) {
    Start();
    std::vector<std::string> before = OnRow(1);
    App->Type("h");
    ASSERT_TRUE(App->WaitFor("Help file is missing!")) << Dump(App->Screen());
    App->Key("Enter");
    ExpectBackTo(before);

    WriteFileBytes(Dir + "/help.ans", "Keys of the list\r\n\x1b[1mEsc\x1b[0m leaves\r\n");
    App->Type("H");
    ASSERT_TRUE(App->WaitFor("File: ")) << Dump(App->Screen());
    EXPECT_EQ(App->At(1, 1, 17), "Keys of the list ");
    EXPECT_EQ(App->At(1, 2, 11), "Esc leaves ");
    App->Key("Escape");
    ExpectBackTo(before);

    // A FIFO that no program writes: opening it must not wait for one.
    fs::remove(Dir + "/help.ans");
    ASSERT_EQ(::mkfifo((Dir + "/help.ans").c_str(), 0644), 0);
    App->Type("H");
    ASSERT_TRUE(App->WaitFor(HelpUnreadableText)) << Dump(App->Screen());
    App->Key("Enter");
    ExpectBackTo(before);
}

TEST_F(MsgInfoApp, ExportWritesTheTextByteForByteOrSaysItCannot) {
    Start();
    std::vector<std::string> before = OnRow(2);
    App->Type("e");
    ASSERT_TRUE(App->WaitFor("msg00003.txt")) << Dump(App->Screen());
    App->Key("Tab Tab Enter");
    ExpectBackTo(before);
    EXPECT_EQ(ReadFileBytes(Dir + "/msg00003.txt"), ThirdSaved);

    // A directory of the offered name: nothing is written, and a box says so.
    ASSERT_EQ(::mkdir((Dir + "/msg00001.txt").c_str(), 0755), 0);
    App->Key("Up Up");
    before = OnRow(0);
    App->Type("E");
    ASSERT_TRUE(App->WaitFor("msg00001.txt")) << Dump(App->Screen());
    App->Key("Tab Tab Enter");
    ASSERT_TRUE(App->WaitFor("Could not write ")) << Dump(App->Screen());
    EXPECT_TRUE(App->Shows("msg00001.txt!"));
    App->Key("Enter");
    ExpectBackTo(before);
    EXPECT_TRUE(fs::is_directory(Dir + "/msg00001.txt"));
    EXPECT_TRUE(fs::is_empty(Dir + "/msg00001.txt"));
}

TEST_F(MsgInfoApp, TwoUueBlocksAreOfferedOneAndTwoAndADeclinedOneKeepsItsNumber) {
    Start();
    std::vector<std::string> before = OnRow(1);
    const std::string question = "UUE Block Found. Extract?";
    App->Type("u");
    for (const char* name : {"Uu_Sender1.uue", "Uu_Sender2.uue"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(App->WaitFor(question)) << Dump(App->Screen());
        App->Key("Enter");
        // The name line of the chooser (the file pane may list the name too).
        ASSERT_TRUE(App->WaitUntil([&] { return App->At(8, 21, 15) == std::string(name) + " "; }))
            << Dump(App->Screen());
        App->Key("Tab Tab Enter");
        ASSERT_TRUE(App->WaitGone(name)) << Dump(App->Screen());
    }
    ExpectBackTo(before);
    EXPECT_EQ(ReadFileBytes(Dir + "/Uu_Sender1.uue"), "begin 644 one.bin\nM86)C\nend\n");
    EXPECT_EQ(ReadFileBytes(Dir + "/Uu_Sender2.uue"), "begin 600 two.bin\nM9&%T\n`\nend\n");

    // The first block declined: the second is offered with 1; Esc saves nothing.
    App->Type("U");
    ASSERT_TRUE(App->WaitFor(question)) << Dump(App->Screen());
    // The second question looks like the first: its answer is typed ahead.
    App->Type("n");
    App->Key("Enter");
    ASSERT_TRUE(App->WaitUntil([&] { return App->At(8, 21, 15) == "Uu_Sender1.uue "; }))
        << Dump(App->Screen());
    App->Key("Escape");
    ExpectBackTo(before);
}

TEST_F(MsgInfoApp, RowWithoutABlockSaysSo) {
    Start();
    std::vector<std::string> before = OnRow(0);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"u", "Message doesn't contain a UUEncoded file!"},
        {"p", "Message doesn't contain a PGP Key"},
    };
    for (const auto& [key, text] : cases) {
        App->Type(key);
        ASSERT_TRUE(App->WaitFor(text)) << Dump(App->Screen());
        App->Key("Enter");
        ExpectBackTo(before);
    }
}

} // namespace
