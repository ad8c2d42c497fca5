// The whole program in tmux: each test builds a base byte by byte, starts the
// real quorvex in a detached 80x25 tmux session on a socket of its own, types
// keys with send-keys and reads the screen with capture-pane. The pane's
// shell records the terminal settings (stty -g) before and after the run and
// the exit code, so every test also checks that the terminal came back.
//
// Keys are processed in order, so a test that expects nothing to change
// sends "*" after the key and waits for the base header box and its closing:
// once that is seen, every earlier key has been handled.

#include "jam/JamBase.h"
#include "tests/common/JamFixture.h"
#include "tests/common/TmuxSession.h"

#include <cctype>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
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

std::string RunCmd(const std::string& Cmd) {
    return ShellRun(Cmd);
}
std::string Quote(const std::string& S) {
    return ShellQuote(S);
}

// The shared tmux harness, on the server named by Socket (a test may switch
// to a fresh server by changing Socket).
class QuorvexTmux : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        Socket = "kvq-" + std::to_string(getpid()) + "-" + info->name();
    }
    void TearDown() override {
        Session.reset();
        if (!Socket.empty()) RunCmd(Tmux("kill-server") + " 2>/dev/null");
    }

    TmuxSession& Tm() const {
        if (!Session || Session->Socket() != Socket) {
            Session.reset();
            Session = std::make_unique<TmuxSession>(Socket);
        }
        return *Session;
    }
    std::string Tmux(const std::string& Args) const { return Tm().Command(Args); }

    // Starts quorvex with Args (already quoted) in the session; Input, when
    // given, is a file its standard input comes from.
    void Start(const std::string& Args, const std::string& Input = "") {
        TmuxRun run;
        run.Dir = Dir.Path();
        run.Program = QUORVEX_PATH;
        run.Emulator = QUORVEX_EMULATOR;
        run.Args = Args;
        run.Input = Input;
        run.Record = true;
        Tm().Start(run);
    }

    std::vector<std::string> Screen() const { return Tm().Rows(); }
    std::string ScreenText() const { return JoinRows(Screen()); }

    void WaitFor(const std::function<bool(const std::vector<std::string>&)>& Pred,
                 const std::string& What) {
        if (!Tm().WaitUntil([&] { return Pred(Screen()); }))
            ADD_FAILURE() << "never saw " << What << "; the screen:\n" << ScreenText();
    }
    void WaitText(const std::string& Text) {
        WaitFor([&](const auto&) { return ScreenText().find(Text) != std::string::npos; },
                "\"" + Text + "\"");
    }
    void WaitGone(const std::string& Text) {
        WaitFor([&](const auto&) { return ScreenText().find(Text) == std::string::npos; },
                "\"" + Text + "\" go away");
    }

    void Keys(const std::string& Literal) { Tm().Type(Literal); }
    void Key(const std::string& Name) { Tm().Key(Name); }

    // Every key sent so far has been handled.
    void Sync() {
        Keys("*");
        WaitText("Total Msgs");
        Keys("x");
        WaitGone("Total Msgs");
    }

    // The message numbers at the start of the list rows.
    std::vector<int> Rows() const {
        std::vector<int> n;
        auto s = Screen();
        for (int r = 2; r < 24; ++r)
            if (s[std::size_t(r)].size() >= 5 && isdigit((unsigned char)s[std::size_t(r)][0]))
                n.push_back(std::stoi(s[std::size_t(r)].substr(0, 5)));
        return n;
    }
    static std::vector<int> Range(int From, int To) {
        std::vector<int> v;
        for (int i = From; i <= To; ++i) v.push_back(i);
        return v;
    }
    void WaitRows(const std::vector<int>& Want) {
        WaitFor([&](const auto&) { return Rows() == Want; },
                "the rows " + std::to_string(Want.empty() ? 0 : Want.front()) + ".." +
                    std::to_string(Want.empty() ? 0 : Want.back()));
    }

    // After the program ended: its exit code and the terminal settings.
    void ExpectCleanEnd() {
        ASSERT_TRUE(Tm().WaitEnded()) << "the program did not end:\n" << ScreenText();
        EXPECT_EQ(Tm().ExitCode(), "0\n");
        EXPECT_FALSE(Tm().SttyBefore().empty());
        EXPECT_EQ(Tm().SttyAfter(), Tm().SttyBefore());
    }
    void Quit() {
        Key("Escape");
        WaitText("Are you sure to exit?");
        Key("Enter");
        ExpectCleanEnd();
    }

    // A base of Count messages "Subject n" from "From n" to "To n".
    std::string MakeBase(int Count, const std::string& Name = "base") {
        JamFixture f;
        for (int i = 1; i <= Count; ++i)
            f.AddSimple("From " + std::to_string(i), "To " + std::to_string(i),
                        "Subject " + std::to_string(i), "line one\rline two\r");
        f.Write(Dir / Name);
        return Dir / Name;
    }

    TempDir Dir;
    std::string Socket;
    mutable std::unique_ptr<TmuxSession> Session;
};

TEST_F(QuorvexTmux, StartsOnTheLastPageAndPagesByTheArithmetic) {
    Start(Quote(MakeBase(50)));
    WaitRows(Range(29, 50));
    auto s = Screen();
    EXPECT_EQ(s[0].substr(0, 13), "Kelvarin v0.2");
    EXPECT_EQ(s[1], "Idx   Subject" + std::string(26, ' ') + "From           To             Flags");
    EXPECT_EQ(s[24], "ESC/Quit # H/Help |");
    EXPECT_EQ(s[2], "00029 Subject 29" + std::string(23, ' ') + "From 29        To 29");
    Keys("]"); // already on the last page
    Sync();
    EXPECT_EQ(Rows(), Range(29, 50));
    struct Step {
        const char* Key;
        bool Named;
        int From, To;
    };
    const Step steps[] = {
        {"[", false, 7, 28},  {"[", false, 1, 22},  {"<", false, 1, 22},    {"]", false, 23, 44},
        {"]", false, 45, 50}, {"]", false, 29, 50}, {"PPage", true, 7, 28}, {"NPage", true, 29, 50},
        {",", false, 1, 22},  {".", false, 29, 50}, {"<", false, 1, 22},    {">", false, 29, 50},
    };
    for (const Step& st : steps) {
        if (st.Named)
            Key(st.Key);
        else
            Keys(st.Key);
        WaitRows(Range(st.From, st.To));
    }
    Quit();
}

TEST_F(QuorvexTmux, EmptyBaseOpensWithAnEmptyListAndRowCommandsDoNothing) {
    Start(Quote(MakeBase(0)));
    WaitText("ESC/Quit # H/Help |");
    Keys("]>.<[DUPMLE");
    Key("Enter");
    Sync();
    EXPECT_TRUE(Rows().empty()) << ScreenText();
    Keys("F"); // a search that finds nothing still says it is one
    WaitText("Enter String");
    Keys("x");
    Key("Enter");
    WaitText("Make RegEx Search?");
    Keys("n");
    WaitText("Search Mode: Simple/Case Ins.");
    EXPECT_TRUE(Rows().empty());
    Quit();
}

TEST_F(QuorvexTmux, JumpShowsThePageThatStartsThere) {
    Start(Quote(MakeBase(50)));
    WaitRows(Range(29, 50));
    struct Step {
        const char* Key;
        const char* Answer;
        int From, To; // 0: the page stays
    };
    const Step steps[] = {
        {"J", "999", 50, 50}, {"j", "7", 7, 28}, {"J", "-3", 0, 0},
        {"J", "0", 0, 0},     {"J", "", 0, 0},   {"J", "abc", 0, 0},
    };
    std::vector<int> page = Range(29, 50);
    for (const Step& st : steps) {
        Keys(st.Key);
        WaitText("Jump To:");
        Keys(st.Answer);
        Key("Enter");
        if (st.From == 0) {
            Sync();
        } else {
            page = Range(st.From, st.To);
            WaitRows(page);
        }
        EXPECT_EQ(Rows(), page) << st.Key << " " << st.Answer;
    }
    Quit();
}

TEST_F(QuorvexTmux, PlainAndRegExSearchWithTheirStatusTexts) {
    JamFixture f;
    f.AddSimple("Joe", "Ann", "ABC news", "first\rthe AbC line\r");
    f.AddSimple("Ann", "Joe", "nothing", "nothing\r");
    f.AddSimple("Xabc", "Ann", "other", "x\r");
    f.Write(Dir / "base");
    Start(Quote(Dir / "base"));
    WaitRows({1, 2, 3});
    Keys("f");
    WaitText("Enter String");
    Keys("abc");
    Key("Enter");
    WaitText("Make RegEx Search?");
    Keys("n");
    WaitText("Search Mode:");
    WaitRows({1, 3});
    auto s = Screen();
    EXPECT_EQ(s[24], "ESC/Quit # H/Help |  Search Mode: Simple/Case Ins.");
    EXPECT_EQ(s[2].substr(69), "SB");
    EXPECT_EQ(s[3].substr(69), "F");
    Keys("J"); // refused in search mode
    WaitText("This is possible only in main Index");
    Key("Enter");
    WaitGone("This is possible only in main Index");
    Keys("]"); // page keys do nothing in search mode
    Sync();
    EXPECT_EQ(Rows(), (std::vector<int>{1, 3}));

    Keys("F");
    WaitText("Enter String");
    Keys("A.C|^X");
    Key("Enter");
    WaitText("Make RegEx Search?");
    Key("Enter");
    WaitText("Search Mode: RegEx");
    WaitRows({1, 3});
    s = Screen();
    EXPECT_EQ(s[24], "ESC/Quit # H/Help |  Search Mode: RegEx");
    EXPECT_EQ(s[2].substr(69), "SB");
    EXPECT_EQ(s[3].substr(69), "F");

    Keys("r"); // back to the index: the page "]" reaches from 1
    WaitFor([](const auto& S) { return S[24] == "ESC/Quit # H/Help |"; }, "the index status");
    WaitRows({1, 2, 3});
    Quit();
}

TEST_F(QuorvexTmux, RejectedPatternSaysWhyAndKeepsTheList) {
    Start(Quote(MakeBase(30)));
    WaitRows(Range(9, 30));
    auto before = Screen();
    Keys("F");
    WaitText("Enter String");
    Keys("[abc");
    Key("Enter");
    WaitText("Make RegEx Search?");
    Keys("y");
    WaitText("Bad RegEx");
    EXPECT_NE(ScreenText().find("missing terminating ]"), std::string::npos) << ScreenText();
    Key("Enter");
    WaitGone("Bad RegEx");
    WaitFor([&](const auto& S) { return S == before; }, "the list as it was");
    Keys("["); // still in index mode: the page keys work
    WaitRows(Range(1, 22));
    Quit();
}

TEST_F(QuorvexTmux, DeleteWithAndWithoutPurgeOnACopy) {
    std::string base = MakeBase(5);
    std::string text = ReadFileBytes(base + ".jdt");
    Start(Quote(base));
    WaitRows(Range(1, 5));
    Keys("D"); // row 0: message 1
    WaitText("Delete Msg.No: 1. Are you sure?");
    Keys("y");
    WaitText("Purge text?");
    Keys("n");
    WaitFor([](const auto& S) { return S[2].size() > 69 && S[2].substr(69) == "D"; },
            "the D flag on message 1");
    EXPECT_EQ(ReadFileBytes(base + ".jdt"), text); // not purged
    Key("Down");
    Key("Down");
    Keys("d"); // row 2: message 3, with purge
    WaitText("Delete Msg.No: 3. Are you sure?");
    Key("Enter");
    WaitText("Purge text?");
    Key("Enter");
    WaitFor([](const auto& S) { return S[4].size() > 69 && S[4].substr(69) == "D"; },
            "the D flag on message 3");
    std::string purged = ReadFileBytes(base + ".jdt");
    ASSERT_EQ(purged.size(), text.size());
    EXPECT_NE(purged, text);
    Keys("D"); // answered NO: nothing changes
    WaitText("Delete Msg.No: 1. Are you sure?");
    Keys("n");
    Sync();
    EXPECT_EQ(ReadFileBytes(base + ".jdt"), purged);
    Quit();
    TJamBase b;
    b.BasePath = base;
    ASSERT_TRUE(b.Open());
    for (int n = 1; n <= 5; ++n) {
        ASSERT_TRUE(b.ReadHeader(n));
        EXPECT_EQ(b.IsDeleted(), n == 1 || n == 3) << n;
    }
}

// A question that follows another one (the purge question, the chooser after
// an extract question) is drawn over the screen the first one put back: the
// list must still be there, not what the screen held before the list was drawn.
TEST_F(QuorvexTmux, SecondQuestionShowsTheListBehindIt) {
    Start(Quote(MakeBase(5)));
    WaitRows(Range(1, 5));
    Keys("D");
    WaitText("Delete Msg.No: 1. Are you sure?");
    Keys("y");
    WaitText("Purge text?");
    auto s = Screen();
    EXPECT_EQ(ScreenText().find("Please Wait"), std::string::npos) << ScreenText();
    for (int r = 2; r < 7; ++r)
        EXPECT_EQ(s[std::size_t(r)].substr(0, 15),
                  "0000" + std::to_string(r - 1) + " Subject " + std::to_string(r - 1))
            << ScreenText();
    Keys("n");
    WaitFor([](const auto& S) { return S[2].size() > 69 && S[2].substr(69) == "D"; },
            "the D flag on message 1");
    Quit();
}

TEST_F(QuorvexTmux, RefusedDeleteSaysSoAndLeavesTheBase) {
    std::string base = MakeBase(5);
    BaseFiles before = ReadBaseFiles(base);
    // Another program holds the JAM lock (a write lock on the header's first byte).
    int fd = open((base + ".jhr").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    struct flock lk {};
    lk.l_type = F_WRLCK;
    lk.l_whence = SEEK_SET;
    lk.l_start = 0;
    lk.l_len = 1;
    ASSERT_EQ(fcntl(fd, F_SETLK, &lk), 0);
    Start(Quote(base));
    WaitRows(Range(1, 5));
    Keys("D");
    WaitText("Delete Msg.No: 1. Are you sure?");
    Keys("y");
    WaitText("Purge text?");
    Keys("y");
    WaitText("Msg.No: 1 could not be deleted!");
    Key("Enter");
    WaitGone("could not be deleted");
    Sync();
    EXPECT_LT(Screen()[2].size(), 70u) << "no D flag: " << Screen()[2];
    EXPECT_EQ(ReadBaseFiles(base), before);
    close(fd);
    Quit();
}

// The header of message 18 claims a text of 2 GiB. Deleted with purge, it
// loses its own text and nothing else: every other header and text stays
// byte for byte.
TEST_F(QuorvexTmux, PurgeOfADamagedLengthFillsOnlyItsOwnText) {
    JamFixture f(BaseHdrFields{.ModCounter = 3, .ActiveMsgs = 34});
    std::vector<int32_t> at{0};
    for (int i = 1; i <= 34; ++i)
        at.push_back(f.AddSimple("From " + std::to_string(i), "To", "Subject " + std::to_string(i),
                                 "Text of message " + std::to_string(i) + "\r"));
    const std::size_t txtLenAt = std::size_t(at[18]) + 64;
    const int32_t ownStart = GetLe32(f.Hdr, std::size_t(at[18]) + 60);
    const int32_t ownLen = GetLe32(f.Hdr, txtLenAt);
    f.Hdr.replace(txtLenAt, 4, Le32(0x7FFFFFFF));
    const std::string base = Dir / "base";
    f.Write(base);
    Start(Quote(base));
    WaitRows(Range(13, 34));
    for (int i = 0; i < 5; ++i) Key("Down"); // row 5: message 18
    Keys("D");
    WaitText("Delete Msg.No: 18. Are you sure?");
    Key("Enter");
    WaitText("Purge text?");
    Key("Enter");
    // What the damaged length claims past message 19's start is not purged,
    // and the user is told so.
    WaitText("Msg.No: 18 deleted; text that another message claims too was not purged.");
    Key("Enter");
    WaitFor([](const auto& S) { return S[7].size() > 69 && S[7].substr(69, 1) == "D"; },
            "the D flag on message 18");
    std::string txt = f.Txt;
    txt.replace(std::size_t(ownStart), std::size_t(ownLen), std::string(std::size_t(ownLen), 'Q'));
    EXPECT_EQ(ReadFileBytes(base + ".jdt"), txt);
    std::string hdr = f.Hdr;
    hdr.replace(std::size_t(at[18]) + 52, 4, Le32(MSG_DELETED));
    hdr.replace(txtLenAt, 4, Le32(0));
    hdr.replace(8, 8, Le32(4) + Le32(33));
    EXPECT_EQ(ReadFileBytes(base + ".jhr"), hdr);
    EXPECT_EQ(ReadFileBytes(base + ".jdx"), f.Idx);
    Quit();
}

// A tosser killed after 4 (or 30) bytes of a header and its index record;
// restarted, it appended two more messages after the torn bytes. "D" on the
// torn row says so and writes nothing, with purge or without.
TEST_F(QuorvexTmux, DeleteOfATornHeaderIsRefusedAndWritesNothing) {
    const std::string socket = Socket;
    for (std::size_t torn : {4u, 30u}) {
        SCOPED_TRACE(torn);
        JamFixture f(BaseHdrFields{.ActiveMsgs = 3});
        f.AddSimple("Early", "All", "Before the crash", "first text\r");
        f.AddTorn(MsgHdrFields{.SubfieldLen = 60, .TxtOffset = 11, .TxtLen = 400}, torn);
        f.AddSimple("Later", "All", "After the restart", "second text\r");
        f.AddSimple("Last", "All", "And one more", "third text\r");
        const std::string base = Dir / ("torn" + std::to_string(torn));
        f.Write(base);
        const BaseFiles before = ReadBaseFiles(base);
        Socket = socket + "-" + std::to_string(torn);
        Start(Quote(base));
        WaitRows({1, 2, 3, 4});
        for (const char* purge : {"y", "n"}) {
            Key("Home");
            Key("Down"); // row 1: the torn message 2
            Keys("D");
            WaitText("Delete Msg.No: 2. Are you sure?");
            Keys("y");
            WaitText("Purge text?");
            Keys(purge);
            WaitText("Msg.No: 2 is damaged: nothing was changed.");
            Key("Enter");
            WaitGone("is damaged");
            EXPECT_EQ(ReadBaseFiles(base), before) << purge;
        }
        Quit();
        RunCmd(Tmux("kill-server"));
    }
}

// A packer renames a new base of 10 messages over the open base of 30. "D"
// does not write to the old, unlinked files: it says the base was replaced,
// and the list then shows the new base. A page fill finds it too.
TEST_F(QuorvexTmux, ABaseReplacedOnDiskIsNoticedAndReadAnew) {
    const std::string base = MakeBase(30);
    Start(Quote(base));
    WaitRows(Range(9, 30));
    auto replace = [&](const std::string& Subject) {
        JamFixture fresh;
        for (int i = 1; i <= 10; ++i)
            fresh.AddSimple("Packer", "All", Subject + " " + std::to_string(i), "packed\r");
        fresh.Write(Dir / "fresh");
        for (const char* ext : {".jhr", ".jdx", ".jdt"})
            ASSERT_EQ(::rename((Dir / "fresh" + ext).c_str(), (base + ext).c_str()), 0);
    };
    replace("Packed");
    const BaseFiles fresh = ReadBaseFiles(base);
    Keys("D");
    WaitText("Delete Msg.No: 9. Are you sure?");
    Keys("y");
    WaitText("Purge text?");
    Keys("y");
    WaitText("The base was replaced on disk: nothing was deleted.");
    Key("Enter");
    WaitRows({9, 10}); // the page that started at 9, now of the new base
    EXPECT_EQ(Screen()[2].substr(0, 14), "00009 Packed 9") << ScreenText();
    EXPECT_EQ(ReadBaseFiles(base), fresh);
    Keys("D"); // now on the new base
    WaitText("Delete Msg.No: 9. Are you sure?");
    Keys("y");
    WaitText("Purge text?");
    Keys("n");
    WaitFor([](const auto& S) { return S[2].size() > 69 && S[2].substr(69, 1) == "D"; },
            "the D flag on message 9");
    {
        TJamBase b;
        b.BasePath = base;
        ASSERT_TRUE(b.Open());
        ASSERT_TRUE(b.ReadHeader(9));
        EXPECT_TRUE(b.IsDeleted()); // in the files at the base's names
    }

    replace("Again"); // a page fill alone takes the new base
    Keys("<");
    WaitFor([](const auto& S) { return S[2].substr(0, 13) == "00001 Again 1"; },
            "the new base's first row");
    EXPECT_LT(Screen()[2].size(), 70u) << "no D flag: " << Screen()[2];
    Quit();
}

// Anyone who may write the directory can put a FIFO in place of a base
// file. Nothing hangs: "L" on a FIFO .jlr finds no record, and a FIFO text
// file is a base that cannot be opened.
TEST_F(QuorvexTmux, AFifoInPlaceOfABaseFileBlocksNothing) {
    const std::string base = MakeBase(3);
    ASSERT_EQ(::mkfifo((base + ".jlr").c_str(), 0666), 0);
    Start(Quote(base));
    WaitRows({1, 2, 3});
    Keys("L");
    WaitText("User From 1 not found in Index.");
    Key("Enter");
    WaitGone("not found in Index");
    Quit();

    ASSERT_EQ(::unlink((base + ".jdt").c_str()), 0);
    ASSERT_EQ(::mkfifo((base + ".jdt").c_str(), 0666), 0);
    Socket += "-fifo";
    Start(Quote(base));
    WaitText("Could not initialize JAM Base. Aborting...");
    ExpectCleanEnd();
}

TEST_F(QuorvexTmux, NextPageShowsWhatAnotherProgramLeftInTheBase) {
    std::string base = MakeBase(30);
    Start(Quote(base));
    WaitRows(Range(9, 30));
    MakeBase(60); // a tosser appended 30 messages
    Keys(">");
    WaitRows(Range(39, 60));
    MakeBase(10); // and then the base was packed to 10
    Keys("]");
    WaitRows(Range(1, 10));
    Keys("J");
    WaitText("Jump To:");
    Keys("55");
    Key("Enter");
    WaitRows({10});
    Quit();
}

TEST_F(QuorvexTmux, HelpScreenComesFromBesideTheProgram) {
    Start(Quote(MakeBase(3)));
    WaitRows({1, 2, 3});
    Keys("h");
    WaitText("keys of the main screen");
    Key("Escape");
    WaitRows({1, 2, 3});
    WaitText("ESC/Quit # H/Help |");
    Quit();
}

TEST_F(QuorvexTmux, DeleteInSearchModeAsksAboutTheRowsMessage) {
    Start(Quote(MakeBase(30)));
    WaitRows(Range(9, 30));
    Keys("F");
    WaitText("Enter String");
    Keys("Subject 2");
    Key("Enter");
    WaitText("Make RegEx Search?");
    Keys("n");
    WaitRows({2, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29});
    Key("Down");
    Key("Down");
    Keys("D");
    WaitText("Delete Msg.No: 21. Are you sure?");
    Keys("n");
    Sync();
    Quit();
}

TEST_F(QuorvexTmux, RowCommandsActOnTheRowsMessageBeyondFiveDigits) {
    JamFixture f;
    for (int i = 1; i <= 100030; ++i) f.AddSimple("F", "T", "S" + std::to_string(i), "");
    f.Write(Dir / "big");
    Start(Quote(Dir / "big"));
    WaitText("S100030");
    auto s = Screen();
    EXPECT_EQ(s[2].substr(0, 13), "10000 S100009"); // the row shows five digits only
    Key("Down");
    Key("Down");
    Keys("D");
    WaitText("Delete Msg.No: 100011. Are you sure?");
    Keys("n");
    Sync();
    Quit();
}

TEST_F(QuorvexTmux, EscapeAnsweredNoKeepsTheRowAndEnterQuits) {
    Start(Quote(MakeBase(50)));
    WaitRows(Range(29, 50));
    for (int i = 0; i < 3; ++i) Key("Down");
    Key("Escape");
    WaitText("Are you sure to exit?");
    Keys("n");
    WaitGone("Are you sure to exit?");
    Keys("D"); // the highlight is still on row 3: message 32
    WaitText("Delete Msg.No: 32. Are you sure?");
    Keys("n");
    Sync();
    Quit();
}

TEST_F(QuorvexTmux, BaseThatCannotBeOpenedEndsWithTheMessage) {
    MakeBase(3, "good");
    mkdir((Dir / "adir").c_str(), 0755);
    JamFixture nosig(BaseHdrFields{std::string("JAM\x01", 4)});
    nosig.AddSimple("a", "b", "c", "");
    nosig.Write(Dir / "nosig");
    struct Case {
        const char* Arg;
        bool Opens;
    };
    const Case cases[] = {
        {"missing", false}, {"nosig", false}, {"adir", false},      {"adir/", false},
        {"good.jdx", true}, {"good", true},   {"./good.jhr", true},
    };
    const std::string socket = Socket;
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Arg);
        unlink((Dir / "after").c_str());
        Socket = socket + "-" + std::to_string(++i); // a fresh server for each run
        Start(c.Arg);
        if (c.Opens) {
            WaitRows({1, 2, 3});
            Quit();
        } else {
            WaitText("Could not initialize JAM Base. Aborting...");
            ExpectCleanEnd();
        }
        RunCmd(Tmux("kill-server"));
    }
}

TEST_F(QuorvexTmux, NoArgumentOpensTheChooserAndEscEnds) {
    MakeBase(3);
    Start("");
    WaitText("Select JAM Base");
    Key("Escape");
    ExpectCleanEnd();
}

TEST_F(QuorvexTmux, ClosingTheInputEndsTheProgramAndRestoresTheTerminal) {
    MakeBase(3);
    std::string fifo = Dir / "keys";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Start(Quote(Dir / "base"), fifo);
    int fd = open(fifo.c_str(), O_WRONLY); // meets the program's reading end
    ASSERT_GE(fd, 0);
    WaitRows({1, 2, 3});
    close(fd);
    ExpectCleanEnd();
}

// Killed from outside, the program runs no exit code of its own; the terminal
// must come back all the same, and the shell sees the death by SIGTERM.
TEST_F(QuorvexTmux, KilledFromOutsideRestoresTheTerminal) {
    MakeBase(3);
    Start(Quote(Dir / "base"));
    WaitRows({1, 2, 3});
    std::string shell = RunCmd(Tmux("display-message -p '#{pane_pid}'"));
    while (!shell.empty() && shell.back() == '\n') shell.pop_back();
    ASSERT_FALSE(shell.empty());
    // The program is the pane shell's only child (the emulator, where one runs it).
    std::ifstream children("/proc/" + shell + "/task/" + shell + "/children");
    int pid = 0;
    ASSERT_TRUE(children >> pid);
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    ASSERT_TRUE(Tm().WaitEnded()) << "the program did not end:\n" << ScreenText();
    EXPECT_EQ(Tm().ExitCode(), "143\n");
    EXPECT_EQ(Tm().SttyAfter(), Tm().SttyBefore());
}

} // namespace
