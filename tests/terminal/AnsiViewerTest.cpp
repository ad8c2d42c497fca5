// The ANSI file viewer on a real pseudo-terminal: the progress bar, the exact
// bytes of the status line, the scrolling keys on files of 25 and 300 lines,
// Ctrl-Z before a SAUCE record, the Space replay and the files it refuses.
// Keys are typed into the master before the view starts; a helper thread
// drains the master while the view draws, so the pty never fills.
#include "terminal/AnsiViewer.h"

#include "terminal/Console.h"
#include "tests/common/PtyFixture.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::string>;

const std::string Square(1, '\xfe'); // the bar's filled cell

class AnsiViewerTest : public ConsoleFilesFixture {
protected:
    // Types Keys, runs the viewer on Path and returns all it sent.
    std::string View(const std::string& Path, const std::string& Keys) {
        TypeAndWait(Keys);
        std::atomic<bool> Stop{false};
        std::string Drained;
        std::thread Drain([&] {
            char Buf[4096];
            while (!Stop) {
                pollfd P{Master(), POLLIN, 0};
                if (poll(&P, 1, 5) <= 0) continue;
                const ssize_t N = read(Master(), Buf, sizeof Buf);
                if (N > 0) Drained.append(Buf, static_cast<size_t>(N));
            }
        });
        ViewAnsi(Path);
        Stop = true;
        Drain.join();
        return Drained + ReadOutput();
    }
};

// The N characters drawn after each occurrence of Move (an SGR right after
// it skipped): one entry per redraw of that place.
Texts DrawnAt(const std::string& Out, const std::string& Move, size_t N) {
    Texts R;
    for (size_t At = Out.find(Move); At != std::string::npos; At = Out.find(Move, At + 1)) {
        size_t P = At + Move.size();
        if (Out.compare(P, 2, "\x1b[") == 0) P = Out.find('m', P) + 1;
        R.push_back(Out.substr(P, N));
    }
    return R;
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
    std::string S;
    for (int I = 1; I <= Count; ++I) {
        char Buf[16];
        std::snprintf(Buf, sizeof Buf, "L%0*d\r\n", Digits, I);
        S += Buf;
    }
    return S;
}

const std::string Esc = "\x1b", Up = "\x1b[A", Down = "\x1b[B", Right = "\x1b[C", Left = "\x1b[D",
                  Home = "\x1b[H", End = "\x1b[F", PgUp = "\x1b[5~", PgDn = "\x1b[6~";

TEST_F(AnsiViewerTest, PercentBarRoundsHalvesToEvenAndLeavesAttributeZero) {
    struct P {
        int16_t Shown, Total;
        int Filled;
        int16_t Percent;
    };
    const P Table[] = {
        {0, 0, 0, 0},        {0, 10, 0, 0},     {24, 25, 24, 96},
        {25, 25, 25, 100},   {30, 25, 25, 100}, // more shown than there is
        {299, 300, 25, 100}, {24, 300, 2, 8},   {1, 8, 3, 12},
        {3, 8, 9, 38},                      // 12.5 and 37.5 go to the even neighbour
        {1, 50, 0, 2},       {3, 50, 2, 6}, // so do 0.5 and 1.5 filled cells
        {-5, 10, 0, 0},      {5, -3, 0, 0}, // negative counts show nothing
    };
    RecPercent Bar;
    Bar.BarLen = 25;
    Bar.EmptyChar = '.';
    Bar.FullChar = '#';
    for (const P& T : Table) {
        SetTextAttr(0x1F);
        int16_t Percent = -1;
        const std::string S = PercentBar(Bar, T.Shown, T.Total, Percent);
        EXPECT_EQ(S, std::string(static_cast<size_t>(T.Filled), '#') +
                         std::string(static_cast<size_t>(25 - T.Filled), '.'))
            << T.Shown << "/" << T.Total;
        EXPECT_EQ(Percent, T.Percent) << T.Shown << "/" << T.Total;
        EXPECT_EQ(GetTextAttr(), 0);
    }
}

TEST_F(AnsiViewerTest, EmptyFileShowsOneBlankLineFullBarAndLeavesOnEnter) {
    const std::string Path = File("empty-message-file.ans", "");
    WriteXY(1, 2, 0x1E, "keep");
    const std::string Out = View(Path, "\r");

    std::string Page = "\x1b[1;1H\x1b[1;1H\x1b[30m" + std::string(79, ' ') + "\r";
    for (int Row = 2; Row <= 24; ++Row) Page += "\x1b[" + std::to_string(Row) + ";1H";
    const std::string Back = "\x1b[0;30m\x1b[24;1H"; // attribute 0 and the cursor put back
    const std::string Status =
        "\x1b[25;1H\x1b[0;1;44m" + std::string(44, ' ') + "[" + std::string(25, '\xfe') + "]" +
        std::string(8, ' ') + Back + "\x1b[25;75H\x1b[0;1;44m100%" + Back +
        "\x1b[25;1H\x1b[0;1;44mFile: " + Path.substr(Path.size() - 20) + Back;
    const size_t At = Out.find("\x1b[1;1H\x1b[1;1H");
    ASSERT_NE(At, std::string::npos);
    EXPECT_EQ(Out.substr(At), Page + Status + "\x1b[25;1H");

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
    const std::string Long = File("a-name-of-thirty-characters.ans", "x");
    EXPECT_NE(View(Long, "\r").find("File: " + Long.substr(Long.size() - 20) + "\x1b[0;30m"),
              std::string::npos);

    File("message1.ans", "x");
    const std::string Here = std::filesystem::current_path();
    ASSERT_EQ(chdir(Dir.Path().c_str()), 0);
    const std::string Out = View("message1.ans", "\r");
    ASSERT_EQ(chdir(Here.c_str()), 0);
    EXPECT_NE(Out.find("\x1b[0;1;44mFile: message1.ans\x1b[0;30m"), std::string::npos);
}

TEST_F(AnsiViewerTest, EveryPagingKeyBringsLine25OntoRow24) {
    const std::string Path = File("lines25.txt", Numbered(25, 2));
    for (const std::string& Key : {std::string("\r"), std::string("N"), std::string("n"),
                                   std::string("P"), std::string("p"), PgDn, Right, Down, End}) {
        const std::string Out = View(Path, Key + "\r"); // the second Enter leaves at 100 %
        EXPECT_EQ(Percents(Out), (Texts{" 96%", "100%"})) << Key;
        EXPECT_EQ(Tops(Out, 3), (Texts{"L01", "L02"})) << Key;
        EXPECT_EQ(ScreenCharAt(3, 24), '5') << Key; // L25 on row 24
    }
    // Keys that change nothing redraw nothing; Esc leaves at once.
    const std::string Out = View(Path, Up + Home + PgUp + Left + "x" + Esc);
    EXPECT_EQ(Percents(Out), (Texts{" 96%"}));
}

TEST_F(AnsiViewerTest, EnterLeavesAt100PercentBeforeTheLastLineIsShown) {
    const std::string Path = File("lines300.txt", Numbered(300, 3));
    std::string Keys;
    for (int I = 0; I < 11; ++I) Keys += PgDn; // Top 265
    for (int I = 0; I < 11; ++I) Keys += Down; // Top 276: lines 276-299, 299/300 rounds up
    const std::string Out = View(Path, Keys + "\r");
    const Texts P = Percents(Out);
    ASSERT_EQ(P.size(), 23u);
    EXPECT_EQ(P[0], "  8%");
    EXPECT_EQ(P[11], " 96%");
    EXPECT_EQ(P[21], " 99%");
    EXPECT_EQ(P[22], "100%");
    EXPECT_EQ(Tops(Out, 4).back(), "L276");
    EXPECT_EQ(Out.find("L300"), std::string::npos);
}

TEST_F(AnsiViewerTest, UpwardKeysStopAtTheFirstLine) {
    const std::string Path = File("lines300.txt", Numbered(300, 3));
    std::string Nine;
    for (int I = 0; I < 9; ++I) Nine += Down;
    const std::string Keys = Nine + PgUp + Nine + Left + Down + Down + Down + Home + PgUp + Left +
                             Home + Up + End + Up + Esc;
    Texts Want{"L001"};
    for (int Round = 0; Round < 2; ++Round) {
        for (int I = 2; I <= 10; ++I)
            Want.push_back("L0" + std::to_string(I / 10) + std::to_string(I % 10));
        Want.push_back("L001"); // PgUp, then Left, from Top 10
    }
    for (const char* T : {"L002", "L003", "L004", "L001"}) Want.push_back(T); // then Home
    Want.push_back("L277");                                                   // End
    Want.push_back("L276");                                                   // Up
    EXPECT_EQ(Tops(View(Path, Keys), 4), Want);
}

TEST_F(AnsiViewerTest, CtrlZHidesTheSauceRecord) {
    std::string Sauce = "SAUCE00" + std::string("Shown title") + std::string(24, ' ');
    Sauce += "\r\nhidden author\r\n";
    Sauce.resize(128, '\0');
    const std::string Path = File("art.ans", "visible\x1a" + Sauce);
    const std::string Out = View(Path, "\r");
    EXPECT_EQ(Out.find("hidden"), std::string::npos);
    EXPECT_EQ(Percents(Out), (Texts{"100%"})); // one line: the record never reached the image
    EXPECT_EQ(ScreenCharAt(1, 1), 'v');
    EXPECT_EQ(ScreenCharAt(8, 1), ' ');
}

TEST_F(AnsiViewerTest, SpaceReplaysTheRawFileThenStartsAgainAtLine1) {
    // The image stops at Ctrl-Z; the replay shows what follows, on row 3.
    const std::string Path = File("replay.ans", "top\x1a\x1b[2Btail");
    // Space; "x" is the key the player reads after its one line; "k" ends
    // the replay; Esc leaves.
    const std::string Out = View(Path, " xk" + Esc);
    EXPECT_EQ(Percents(Out), (Texts{"100%", "100%"}));
    const size_t Clear = Out.find("\x1b[0m\x1b[2J\x1b[1;1H");
    ASSERT_NE(Clear, std::string::npos);
    EXPECT_LT(Out.find("\x1b[25;75H"), Clear);
    EXPECT_NE(Out.find("tail", Clear), std::string::npos);
    EXPECT_EQ(ScreenCharAt(1, 1), 't');
    EXPECT_EQ(ScreenCharAt(4, 1), ' '); // the image's line, redrawn over the replay
    EXPECT_EQ(ScreenCharAt(5, 3), 't'); // the replay's text below the image stays
    EXPECT_EQ(ScreenCharAt(8, 3), 'l');
}

TEST_F(AnsiViewerTest, ExtendedKeyEndingTheReplayActsAfterIt) {
    // One line for the player, 31 lines of image (Z lands on line 31).
    const std::string Path = File("tall.ans", "A\x1b[30BZ");
    // Down ends the replay with its 0 byte; its scan code 80 then reads as P.
    const std::string Out = View(Path, " x" + Down + Esc);
    EXPECT_EQ(Percents(Out), (Texts{" 77%", " 77%", "100%"}));
    EXPECT_EQ(ScreenCharAt(2, 24), 'Z');
}

TEST_F(AnsiViewerTest, MissingDirectoryOrUnopenableFileShowsNothingAndReadsNoKey) {
    const std::string Fifo = Dir / "fifo";
    ASSERT_EQ(mkfifo(Fifo.c_str(), 0600), 0);
    for (const std::string& Name : {Dir / "missing.ans", Dir.Path(), Fifo}) {
        SetTextAttr(0x1E);
        FlushScreen();
        TypeAndWait("q");
        ClearWrites();
        ViewAnsi(Name);
        FlushScreen();
        EXPECT_EQ(TakeWrites(), (Texts{"\x1b[0m"})) << Name; // attribute 7, nothing else
        EXPECT_EQ(GetTextAttr(), 7) << Name;
        ASSERT_TRUE(KeyPressed()) << Name;
        EXPECT_EQ(ReadKey(), 'q') << Name;
    }
}

} // namespace
