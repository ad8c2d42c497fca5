// The ANSI file viewer on a real pseudo-terminal: the progress bar, the exact
// bytes of the status line, the scrolling keys on files of 25 and 300 lines,
// Ctrl-Z before a SAUCE record, the Space replay and the files it refuses.
// Keys are typed into the master before the view starts; a helper thread
// drains the master while the view draws, so the pty never fills.
#include "terminal/AnsiViewer.h"
#include "terminal/Console.h"
#include "tests/common/KeyCases.h"
#include "tests/common/PtyFixture.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::string>;

const std::string Square(1, '\xfe'); // the bar's filled cell

class AnsiViewerTest : public ConsoleFilesFixture {
protected:
    // Types Keys, runs the viewer on Path and returns all it sent.
    std::string View(const std::string& Path, const std::string& Keys) {
        TypeAndWait(Keys);
        std::atomic<bool> stop{false};
        std::string drained;
        std::thread drain([&] {
            char buf[4096];
            while (!stop) {
                pollfd p{Master(), POLLIN, 0};
                if (poll(&p, 1, 5) <= 0) continue;
                const ssize_t n = read(Master(), buf, sizeof buf);
                if (n > 0) drained.append(buf, static_cast<size_t>(n));
            }
        });
        ViewAnsi(Path);
        stop = true;
        drain.join();
        return drained + ReadOutput();
    }
};

// The N characters drawn after each occurrence of Move (an SGR right after
// it skipped): one entry per redraw of that place.
Texts DrawnAt(const std::string& Out, const std::string& Move, size_t N) {
    Texts r;
    for (size_t at = Out.find(Move); at != std::string::npos; at = Out.find(Move, at + 1)) {
        size_t p = at + Move.size();
        if (Out.compare(p, 2, "\x1b[") == 0) p = Out.find('m', p) + 1;
        r.push_back(Out.substr(p, N));
    }
    return r;
}

Texts Percents(const std::string& Out) {
    return DrawnAt(Out, "\x1b[25;75H", 4);
}

// The label that begins the image line on row 1, per redraw.
Texts Tops(const std::string& Out, size_t Width) {
    return DrawnAt(Out, "\x1b[1;1H\x1b[1;1H", Width);
}

// Lines "L01" ... each ended by CR LF.
std::string Numbered(int Count, int Digits) {
    std::string s;
    for (int i = 1; i <= Count; ++i) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "L%0*d\r\n", Digits, i);
        s += buf;
    }
    return s;
}

using namespace Typed;

TEST_F(AnsiViewerTest, PercentBarRoundsHalvesToEvenAndLeavesAttributeZero) {
    struct P {
        int16_t Shown, Total;
        int Filled;
        int16_t Percent;
    };
    const P table[] = {
        {0, 0, 0, 0},        {0, 10, 0, 0},     {24, 25, 24, 96},
        {25, 25, 25, 100},   {30, 25, 25, 100}, // more shown than there is
        {299, 300, 25, 100}, {24, 300, 2, 8},   {1, 8, 3, 12},
        {3, 8, 9, 38},                      // 12.5 and 37.5 go to the even neighbour
        {1, 50, 0, 2},       {3, 50, 2, 6}, // so do 0.5 and 1.5 filled cells
        {-5, 10, 0, 0},      {5, -3, 0, 0}, // negative counts show nothing
    };
    RecPercent bar;
    bar.BarLen = 25;
    bar.EmptyChar = '.';
    bar.FullChar = '#';
    for (const P& t : table) {
        SetTextAttr(0x1F);
        int16_t percent = -1;
        const std::string s = PercentBar(bar, t.Shown, t.Total, percent);
        EXPECT_EQ(s, std::string(static_cast<size_t>(t.Filled), '#') +
                         std::string(static_cast<size_t>(25 - t.Filled), '.'))
            << t.Shown << "/" << t.Total;
        EXPECT_EQ(percent, t.Percent) << t.Shown << "/" << t.Total;
        EXPECT_EQ(GetTextAttr(), 0);
    }
}

TEST_F(AnsiViewerTest, EmptyFileShowsOneBlankLineFullBarAndLeavesOnEnter) {
    const std::string path = File("empty-message-file.ans", "");
    WriteXY(1, 2, 0x1E, "keep");
    const std::string out = View(path, "\r");

    std::string page = "\x1b[1;1H\x1b[1;1H\x1b[30m" + std::string(80, ' ') + "\x1b[1;1H";
    for (int row = 2; row <= 24; ++row) page += "\x1b[" + std::to_string(row) + ";1H";
    const std::string back = "\x1b[0;30m\x1b[24;1H"; // attribute 0 and the cursor put back
    const std::string status =
        "\x1b[25;1H\x1b[0;1;44m" + std::string(44, ' ') + "[" + std::string(25, '\xfe') + "]" +
        std::string(8, ' ') + back + "\x1b[25;75H\x1b[0;1;44m100%" + back +
        "\x1b[25;1H\x1b[0;1;44mFile: " + path.substr(path.size() - 20) + back;
    const size_t at = out.find("\x1b[1;1H\x1b[1;1H");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(out.substr(at), page + status + "\x1b[25;1H");

    EXPECT_EQ(ScreenCharAt(1, 2), 'k'); // rows past the image keep what they showed
    EXPECT_EQ(ScreenAttrAt(1, 2), 0x1E);
    EXPECT_EQ(ScreenAttrAt(1, 1), 0);
    EXPECT_EQ(ScreenCharAt(80, 25), ' '); // column 80 of the status row stays unwritten
    EXPECT_EQ(ScreenAttrAt(80, 25), 7);
    EXPECT_EQ(GetTextAttr(), 0);
    EXPECT_EQ(WhereX(), 1);
    EXPECT_EQ(WhereY(), 25);
}

TEST_F(AnsiViewerTest, StatusLineShowsTheLast20CharactersOfTheName) {
    const std::string path = File("a-name-of-thirty-characters.ans", "x");
    EXPECT_NE(View(path, "\r").find("File: " + path.substr(path.size() - 20) + "\x1b[0;30m"),
              std::string::npos);

    File("message1.ans", "x");
    const std::string here = std::filesystem::current_path();
    ASSERT_EQ(chdir(Dir.Path().c_str()), 0);
    const std::string out = View("message1.ans", "\r");
    ASSERT_EQ(chdir(here.c_str()), 0);
    EXPECT_NE(out.find("\x1b[0;1;44mFile: message1.ans\x1b[0;30m"), std::string::npos);
}

TEST_F(AnsiViewerTest, EveryPagingKeyBringsLine25OntoRow24) {
    const std::string path = File("lines25.txt", Numbered(25, 2));
    for (const std::string& key : {std::string("\r"), std::string("N"), std::string("n"),
                                   std::string("P"), std::string("p"), PgDn, Right, Down, End}) {
        const std::string out = View(path, key + "\r"); // the second Enter leaves at 100 %
        EXPECT_EQ(Percents(out), (Texts{" 96%", "100%"})) << key;
        EXPECT_EQ(Tops(out, 3), (Texts{"L01", "L02"})) << key;
        EXPECT_EQ(ScreenCharAt(3, 24), '5') << key; // L25 on row 24
    }
    // Keys that change nothing redraw nothing; Esc leaves at once.
    const std::string out = View(path, Up + Home + PgUp + Left + "x" + Esc);
    EXPECT_EQ(Percents(out), (Texts{" 96%"}));
}

TEST_F(AnsiViewerTest, EnterLeavesAt100PercentBeforeTheLastLineIsShown) {
    const std::string path = File("lines300.txt", Numbered(300, 3));
    std::string keys;
    for (int i = 0; i < 11; ++i) keys += PgDn; // Top 265
    for (int i = 0; i < 11; ++i) keys += Down; // Top 276: lines 276-299, 299/300 rounds up
    const std::string out = View(path, keys + "\r");
    const Texts p = Percents(out);
    ASSERT_EQ(p.size(), 23u);
    EXPECT_EQ(p[0], "  8%");
    EXPECT_EQ(p[11], " 96%");
    EXPECT_EQ(p[21], " 99%");
    EXPECT_EQ(p[22], "100%");
    EXPECT_EQ(Tops(out, 4).back(), "L276");
    EXPECT_EQ(out.find("L300"), std::string::npos);
}

TEST_F(AnsiViewerTest, UpwardKeysStopAtTheFirstLine) {
    const std::string path = File("lines300.txt", Numbered(300, 3));
    std::string nine;
    for (int i = 0; i < 9; ++i) nine += Down;
    const std::string keys = nine + PgUp + nine + Left + Down + Down + Down + Home + PgUp + Left +
                             Home + Up + End + Up + Esc;
    Texts want{"L001"};
    for (int round = 0; round < 2; ++round) {
        for (int i = 2; i <= 10; ++i)
            want.push_back("L0" + std::to_string(i / 10) + std::to_string(i % 10));
        want.push_back("L001"); // PgUp, then Left, from Top 10
    }
    for (const char* t : {"L002", "L003", "L004", "L001"}) want.push_back(t); // then Home
    want.push_back("L277");                                                   // End
    want.push_back("L276");                                                   // Up
    EXPECT_EQ(Tops(View(path, keys), 4), want);
}

TEST_F(AnsiViewerTest, CtrlZHidesTheSauceRecord) {
    std::string sauce = "SAUCE00" + std::string("Shown title") + std::string(24, ' ');
    sauce += "\r\nhidden author\r\n";
    sauce.resize(128, '\0');
    const std::string path = File("art.ans", "visible\x1a" + sauce);
    const std::string out = View(path, "\r");
    EXPECT_EQ(out.find("hidden"), std::string::npos);
    EXPECT_EQ(Percents(out), (Texts{"100%"})); // one line: the record never reached the image
    EXPECT_EQ(ScreenCharAt(1, 1), 'v');
    EXPECT_EQ(ScreenCharAt(8, 1), ' ');
}

TEST_F(AnsiViewerTest, SpaceReplaysTheRawFileThenStartsAgainAtLine1) {
    // The image stops at Ctrl-Z; the replay shows what follows, on row 3.
    const std::string path = File("replay.ans", "top\x1a\x1b[2Btail");
    // Space; "x" is the key the player reads after its one line; "k" ends
    // the replay; Esc leaves.
    const std::string out = View(path, " xk" + Esc);
    EXPECT_EQ(Percents(out), (Texts{"100%", "100%"}));
    const size_t clear = out.find("\x1b[0m\x1b[2J\x1b[1;1H");
    ASSERT_NE(clear, std::string::npos);
    EXPECT_LT(out.find("\x1b[25;75H"), clear);
    EXPECT_NE(out.find("tail", clear), std::string::npos);
    EXPECT_EQ(ScreenCharAt(1, 1), 't');
    EXPECT_EQ(ScreenCharAt(4, 1), ' '); // the image's line, redrawn over the replay
    EXPECT_EQ(ScreenCharAt(5, 3), 't'); // the replay's text below the image stays
    EXPECT_EQ(ScreenCharAt(8, 3), 'l');
}

// Another session of the same user rewrites the file while this view shows
// it: the replay plays the bytes this view was shown. The file changes (in
// place, as the temporary file does) once the first page is out, and only
// then are the keys typed.
TEST_F(AnsiViewerTest, SpaceReplaysTheBytesShownThoughTheFileChangedSince) {
    const std::string path = File("shared.tmp", "mine, line one\r\nmine, line two\r\n");
    std::atomic<bool> stop{false};
    std::string drained;
    std::thread drain([&] {
        char buf[4096];
        bool typed = false;
        while (!stop) {
            pollfd p{Master(), POLLIN, 0};
            if (poll(&p, 1, 5) <= 0) continue;
            const ssize_t n = read(Master(), buf, sizeof buf);
            if (n > 0) drained.append(buf, static_cast<size_t>(n));
            if (!typed && drained.find("100%") != std::string::npos) {
                typed = true;
                WriteFileBytes(path, "theirs, line one\r\n");
                Type(" xyk" + Esc); // x and y: read by the player after its two lines
            }
        }
    });
    ViewAnsi(path);
    stop = true;
    drain.join();
    const std::string out = drained + ReadOutput();
    const size_t clear = out.find("\x1b[0m\x1b[2J\x1b[1;1H");
    ASSERT_NE(clear, std::string::npos) << Hex(out);
    EXPECT_NE(out.find("mine, line two", clear), std::string::npos) << Hex(out.substr(clear));
    EXPECT_EQ(out.find("theirs"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(path), "theirs, line one\r\n");
}

TEST_F(AnsiViewerTest, ExtendedKeyEndingTheReplayActsAfterIt) {
    // One line for the player, 31 lines of image (Z lands on line 31).
    const std::string path = File("tall.ans", "A\x1b[30BZ");
    // Down ends the replay with its 0 byte; its scan code 80 then reads as P.
    const std::string out = View(path, " x" + Down + Esc);
    EXPECT_EQ(Percents(out), (Texts{" 77%", " 77%", "100%"}));
    EXPECT_EQ(ScreenCharAt(2, 24), 'Z');
}

TEST_F(AnsiViewerTest, MissingDirectoryOrUnopenableFileShowsNothingAndReadsNoKey) {
    const std::string fifo = Dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& name : {Dir / "missing.ans", Dir.Path(), fifo}) {
        SetTextAttr(0x1E);
        FlushScreen();
        TypeAndWait("q");
        ClearWrites();
        ViewAnsi(name);
        FlushScreen();
        EXPECT_EQ(TakeWrites(), (Texts{"\x1b[0m"})) << name; // attribute 7, nothing else
        EXPECT_EQ(GetTextAttr(), 7) << name;
        ASSERT_TRUE(KeyPressed()) << name;
        EXPECT_EQ(ReadKey(), 'q') << name;
    }
}

// The viewer only reads its file, so it never opens it for writing: a help
// file that other users may only read (an installed program's) must show.
// The kernel tells how the file was opened when it is closed.
TEST_F(AnsiViewerTest, FileIsOpenedForReadingOnly) {
    const std::string path = File("read-only.ans", "text\r\n");
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, path.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE), 0);
    View(path, "\r");
    EXPECT_EQ(ScreenCharAt(1, 1), 't');
    uint32_t closed = 0;
    alignas(inotify_event) char buf[4096];
    for (ssize_t n; (n = read(watch, buf, sizeof buf)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            inotify_event ev;
            std::memcpy(&ev, buf + at, sizeof ev);
            closed |= ev.mask;
            at += static_cast<ssize_t>(sizeof ev + ev.len);
        }
    }
    close(watch);
    EXPECT_NE(closed & IN_CLOSE_NOWRITE, 0u);
    EXPECT_EQ(closed & IN_CLOSE_WRITE, 0u);
}

} // namespace
