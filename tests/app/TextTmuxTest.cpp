// Every byte of a message's text reaches the reader of the real program,
// driven in tmux on bases built byte by byte: a text without a final CR, one
// whose lines end in LF only, one whose lines end in CR LF, and a paragraph
// of one long line are listed with their flags, shown, searched and exported
// line for line. Texts whose lengths a crash left at 2 GiB, and a line made
// to cost a flag pattern dear, still give a page that answers the keys. The
// program runs with a /tmp of its own where that can be had, so the
// temporary file of its view is never another test's.

#include "app/MsgPages.h"
#include "jam/JamBase.h"
#include "tests/common/JamFixture.h"
#include "tests/common/TmuxSession.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

#ifndef QUORVEX_EMULATOR
#define QUORVEX_EMULATOR ""
#endif

// 560 bytes of words (seven rows of the view), then the end of the paragraph.
std::string LongParagraph() {
    std::string s = "Start.";
    for (int i = 0; s.size() < 560; ++i) s += " word" + std::to_string(i % 10);
    s.resize(560);
    return s + "FARWORD see http://example.org/end";
}

const std::string NoFinalCr = "first line\rmail me at joe@example.org";
const std::string LfOnly = "one\ntwo\nthree\n";
const std::string CrLf = "Here it is:\r\nbegin 644 x.bin\r\nM86)C\r\n`\r\nend\r\nbye\r\n";

class TextTmux : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
        // Not under /tmp: a private /tmp is mounted over it.
        char tmpl[] = "/var/tmp/kv-text-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        Dir = tmpl;
        fs::create_directory(Dir + "/tmp");
    }
    void TearDown() override {
        Tm.reset();
        std::error_code ec;
        fs::remove_all(Dir, ec);
    }

    // The four texts of the line rules, messages 1 to 4.
    static JamFixture TextBase() {
        JamFixture f;
        f.AddSimple("Joe", "All", "No final CR", NoFinalCr);
        f.AddSimple("Unix User", "All", "LF only", LfOnly);
        f.AddSimple("Dos User", "All", "CR LF", CrLf);
        f.AddSimple("Ann", "All", "One long paragraph", LongParagraph() + "\r");
        return f;
    }

    void Start(const std::string& Last) {
        TmuxRun run;
        run.Dir = Dir;
        run.Program = QUORVEX_PATH;
        run.Emulator = QUORVEX_EMULATOR;
        run.Args = "./base";
        run.PrivateTmp = PrivateTmpWorks();
        Tm = std::make_unique<TmuxSession>(
            "kvtext-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        Tm->Start(run);
        ASSERT_TRUE(Tm->WaitFor(Last)) << Dump();
        ASSERT_TRUE(Tm->WaitFor("ESC/Quit # H/Help |")) << Dump();
    }

    std::string Dump() const { return JoinRows(Tm->Rows()); }

    // The numbers and flags of the list rows, "number flags" each.
    std::vector<std::string> Rows() const { return ListNumbersAndFlags(Tm->Rows()); }
    void ExpectRows(const std::vector<std::string>& Want) {
        EXPECT_TRUE(Tm->WaitUntil([&] { return Rows() == Want; })) << Dump();
    }

    // Moves the highlight from the first row to row Row (0-based).
    void ToRow(int Row) {
        for (int i = 0; i < Row; ++i) Tm->Key("Down");
    }

    // The view of the highlighted row's message: its first Count rows, then
    // back to the list.
    std::vector<std::string> View(std::size_t Count) {
        Tm->Key("Enter");
        EXPECT_TRUE(Tm->WaitFor("File: ")) << Dump();
        std::vector<std::string> rows = Tm->Rows();
        rows.resize(Count);
        Tm->Key("Escape");
        EXPECT_TRUE(Tm->WaitFor("ESC/Quit # H/Help |")) << Dump();
        return rows;
    }

    // "E" on the highlighted row, saved under the name offered; its bytes.
    std::string Export(const std::string& Offered) {
        Tm->Type("e");
        EXPECT_TRUE(Tm->WaitFor(Offered)) << Dump();
        Tm->Key("Tab Tab Enter");
        EXPECT_TRUE(Tm->WaitUntil([&] { return fs::exists(Dir + "/" + Offered); })) << Dump();
        EXPECT_TRUE(Tm->WaitGone(Offered)) << Dump();
        return ReadFileBytes(Dir + "/" + Offered);
    }

    void Search(const std::string& Text) {
        Tm->Type("F");
        ASSERT_TRUE(Tm->WaitFor("Enter String")) << Dump();
        Tm->Type(Text);
        Tm->Key("Enter");
        ASSERT_TRUE(Tm->WaitFor("Make RegEx Search?")) << Dump();
        Tm->Type("N");
        ASSERT_TRUE(Tm->WaitFor("Search Mode: Simple/Case Ins.")) << Dump();
    }

    void Quit() {
        Tm->Key("Escape");
        ASSERT_TRUE(Tm->WaitFor("Are you sure to exit?")) << Dump();
        Tm->Key("Enter");
        EXPECT_TRUE(Tm->WaitUntil([&] { return Tm->Rows().empty() || !Tm->Shows("ESC/Quit"); }))
            << Dump();
    }

    // Bytes the program has read so far, by its process's I/O count; -1 when
    // the count cannot be read here.
    int64_t BytesRead() const {
        std::string pid = Tm->Tmux("display -p '#{pane_pid}'");
        std::ifstream io("/proc/" + std::to_string(std::atoi(pid.c_str())) + "/io");
        std::string key;
        for (int64_t value = 0; io >> key >> value;)
            if (key == "rchar:") return value;
        return -1;
    }

    std::string Dir;
    std::unique_ptr<TmuxSession> Tm;
};

// The flags and the search see the last line of a text without a final CR
// and the end of a long line; a CR LF text has its UU block flagged.
TEST_F(TextTmux, FlagsAndSearchTestEveryLineWhole) {
    TextBase().Write(Dir + "/base");
    Start("One long paragraph");
    ExpectRows({"1 E", "2 ", "3 U", "4 L"});
    Search("joe@example");
    ExpectRows({"1 B"});
    Tm->Type("R");
    ExpectRows({"1 E", "2 ", "3 U", "4 L"});
    Search("farword");
    ExpectRows({"4 B"});
    Quit();
}

// Each line shows once, on a row of its own: the last line without a CR,
// LF line ends, CR LF line ends without an empty row between, and a long
// line wrapped at 80 columns down to its last word.
TEST_F(TextTmux, TheViewShowsEveryLineOnce) {
    TextBase().Write(Dir + "/base");
    Start("One long paragraph");
    EXPECT_EQ(View(2), (std::vector<std::string>{"first line", "mail me at joe@example.org"}));
    ToRow(1);
    EXPECT_EQ(View(3), (std::vector<std::string>{"one", "two", "three"}));
    ToRow(1);
    EXPECT_EQ(View(4), (std::vector<std::string>{"Here it is:", "begin 644 x.bin", "M86)C", "`"}));
    ToRow(1);
    std::vector<std::string> rows = View(8);
    EXPECT_EQ(rows[0].substr(0, 12), "Start. word0");
    // Every byte of the wrapped rows shows, column 80 too.
    std::string shown;
    for (std::size_t r = 0; r < 7; ++r) shown += rows[r] + std::string(80 - rows[r].size(), ' ');
    EXPECT_EQ(shown, LongParagraph().substr(0, 560));
    EXPECT_EQ(rows[7], "FARWORD see http://example.org/end");
    Quit();
}

// "E" writes each line once, ended by LF, the last one and the long one
// whole; "U" saves the block of a CR LF text without an LF in front of its
// lines.
TEST_F(TextTmux, ExportsHoldEveryLineOnce) {
    TextBase().Write(Dir + "/base");
    Start("One long paragraph");
    EXPECT_EQ(Export("msg00001.txt"), "first line\nmail me at joe@example.org\n");
    ToRow(1);
    EXPECT_EQ(Export("msg00002.txt"), LfOnly);
    ToRow(1);
    EXPECT_EQ(Export("msg00003.txt"), "Here it is:\nbegin 644 x.bin\nM86)C\n`\nend\nbye\n");
    Tm->Type("u");
    ASSERT_TRUE(Tm->WaitFor("UUE Block Found. Extract?")) << Dump();
    Tm->Key("Enter");
    ASSERT_TRUE(Tm->WaitFor("Dos_User1.uue")) << Dump();
    Tm->Key("Tab Tab Enter");
    ASSERT_TRUE(Tm->WaitUntil([&] { return fs::exists(Dir + "/Dos_User1.uue"); })) << Dump();
    ASSERT_TRUE(Tm->WaitGone("Dos_User1.uue")) << Dump();
    EXPECT_EQ(ReadFileBytes(Dir + "/Dos_User1.uue"), "begin 644 x.bin\nM86)C\n`\nend\n");
    ToRow(1);
    EXPECT_EQ(Export("msg00004.txt"), LongParagraph() + "\n");
    Quit();
}

// 22 headers whose TxtLen a crash left at nearly 2 GiB, over a text file
// that is one hole: a page reads no more than the byte limit of each text,
// whatever the headers claim, and goes on answering the keys: paging back
// and forth, and the view of such a text.
TEST_F(TextTmux, DamagedLengthsReadNoMoreThanTheLimit) {
    JamFixture f;
    for (int i = 0; i < PageSize; ++i) {
        FixMsg m;
        m.Subfields = SubBytes(SENDERNAME, "Crash") + SubBytes(RECEIVERNAME, "All") +
                      SubBytes(SUBJECT, "Damaged " + std::to_string(i + 1));
        m.AutoText = false;
        m.Hdr.TxtOffset = 4096;
        m.Hdr.TxtLen = 0x7FFFF000;
        f.Add(m);
    }
    f.AddSimple("Joe", "All", "Sound one", "fine\r");
    f.Write(Dir + "/base");
    ASSERT_EQ(::truncate((Dir + "/base.jdt").c_str(), 0x7FFFF000LL + 8192), 0);
    Start("Sound one");
    const int64_t limit = int64_t(PageSize) * (JamMaxTextBytes + (1 << 20));
    const int64_t first = BytesRead();
    if (first < 0) GTEST_SKIP() << "no I/O count of the program's process here";
    EXPECT_LT(first, limit) << "bytes read for the first page";
    Tm->Type("<");
    ASSERT_TRUE(Tm->WaitFor("Damaged 1 ")) << Dump();
    Tm->Type(">");
    ASSERT_TRUE(Tm->WaitFor("Sound one")) << Dump();
    ToRow(1);
    std::vector<std::string> rows = View(1); // message 3: one line of zero bytes, drawn blank
    EXPECT_EQ(rows[0], "");
    EXPECT_LT(BytesRead() - first, 3 * limit) << "bytes read for two pages and a view";
    Quit();
}

// A line of 3 MiB made so that the e-mail flag's pattern would take hours
// to reject it, were it tried from every place of the line the slow way.
TEST_F(TextTmux, ALineBuiltToStallAFlagPatternStillGivesAPage) {
    std::string crawl;
    while (crawl.size() < 3u << 19) crawl += "a.";
    crawl += '@';
    while (crawl.size() < 3u << 20) crawl += "b.";
    crawl += "!";
    JamFixture f;
    f.AddSimple("Mallory", "All", "Crawl", crawl + "\rmail me at joe@example.org\r");
    f.AddSimple("Joe", "All", "Sound one", "fine\r");
    f.Write(Dir + "/base");
    Start("Sound one");
    ExpectRows({"1 E", "2 "});
    Quit();
}

} // namespace
