// The terminal writer as the terminal sees it: bytes and write(2) boundaries
// read back from a real pseudo-terminal, raw mode on the pty's settings, and
// the shadow screen checked against a small model of the terminal.

#include "support/FileDesc.h"
#include "terminal/AnsiUtil.h"
#include "terminal/AnsiViewer.h"
#include "terminal/Console.h"
#include "terminal/m_Output.h"
#include "terminal/m_Output_Linux.h"
#include "tests/common/PtyFixture.h"
#include "tests/common/ScreenText.h"
#include "tests/common/WritePressure.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Writes = std::vector<std::string>;

class WriterTest : public PtyFixture {
protected:
    // Drops what the writer sent so far (its start-up bytes).
    void Settle() {
        ReadOutput();
        ClearWrites();
    }
};

// A minimal terminal: cursor position, SGR 0/1/5/3x/4x, ED 2, EL, CUP, CR,
// LF, BS and printable bytes with the deferred wrap of VT terminals. The
// rendition is kept as a PC attribute so that it compares with the writer's.
struct TermModel {
    TCharInfo Cells[25][80];
    int X = 0, Y = 0;
    bool WrapPending = false;
    int Fg = 7, Bg = 0;
    bool Bold = false, Blink = false;

    TermModel() { Fill(0, 0, 80 * 25); }
    uint8_t PcAttr() const {
        return static_cast<uint8_t>(Fg | (Bold ? 8 : 0) | (Bg << 4) | (Blink ? 0x80 : 0));
    }
    void SetPc(uint8_t A) {
        Fg = A & 7;
        Bold = A & 8;
        Bg = (A >> 4) & 7;
        Blink = A & 0x80;
    }
    void Fill(int FromY, int FromX, int Count) {
        for (int i = FromY * 80 + FromX; i < FromY * 80 + FromX + Count; ++i)
            Cells[i / 80][i % 80] = TCharInfo{PcAttr(), ' '};
    }
    void Sgr(const std::vector<int>& Ps) {
        static constexpr int PcOfAnsi[8] = {0, 4, 2, 6, 1, 5, 3, 7};
        for (int p : Ps) {
            if (p == 0)
                SetPc(7);
            else if (p == 1)
                Bold = true;
            else if (p == 5)
                Blink = true;
            else if (p >= 30 && p <= 37)
                Fg = PcOfAnsi[p - 30];
            else if (p >= 40 && p <= 47)
                Bg = PcOfAnsi[p - 40];
            else
                ADD_FAILURE() << "unexpected SGR " << p;
        }
    }
    void Csi(const std::vector<int>& Ps, char Final) {
        auto arg = [&](size_t I) { return I < Ps.size() ? Ps[I] : 0; };
        WrapPending = false;
        if (Final == 'm')
            Sgr(Ps.empty() ? std::vector<int>{0} : Ps);
        else if (Final == 'H') {
            Y = std::max(arg(0), 1) - 1;
            X = std::max(arg(1), 1) - 1;
        } else if (Final == 'J' && arg(0) == 2)
            Fill(0, 0, 80 * 25);
        else if (Final == 'K' && arg(0) == 0)
            Fill(Y, X, 80 - X);
        else
            ADD_FAILURE() << "unexpected CSI final " << Final;
    }
    void Feed(std::string_view S) {
        for (size_t i = 0; i < S.size(); ++i) {
            const char c = S[i];
            if (c == '\033' && i + 1 < S.size() && S[i + 1] == '(') {
                i += 2; // character set selection
            } else if (c == '\033' && i + 1 < S.size() && S[i + 1] == '[') {
                std::vector<int> ps{0};
                for (i += 2; i < S.size() && (isdigit(S[i]) || S[i] == ';'); ++i) {
                    if (S[i] == ';')
                        ps.push_back(0);
                    else
                        ps.back() = ps.back() * 10 + (S[i] - '0');
                }
                if (ps.size() == 1 && S[i - 1] == '[') ps.clear();
                if (i < S.size()) Csi(ps, S[i]);
            } else if (c == '\r') {
                X = 0;
                WrapPending = false;
            } else if (c == '\n') {
                if (Y < 24) ++Y;
            } else if (c == '\b') {
                if (X > 0) --X;
                WrapPending = false;
            } else if (static_cast<unsigned char>(c) >= 32) {
                if (WrapPending) {
                    X = 0;
                    if (Y < 24) ++Y;
                    WrapPending = false;
                }
                Cells[Y][X] = TCharInfo{PcAttr(), c};
                if (X == 79)
                    WrapPending = true;
                else
                    ++X;
            }
        }
    }
};

// Lines 1-25 of the shadow agree with the model's screen.
void ExpectShadowMatches(const TOutputLinux& Out, const TermModel& T) {
    for (int y = 1; y <= 25; ++y)
        for (int x = 1; x <= 80; ++x)
            ASSERT_EQ(Out.Shadow[y][x], T.Cells[y - 1][x - 1]) << "cell " << x << "," << y;
}

size_t TotalBytes(const Writes& W) {
    size_t n = 0;
    for (const std::string& s : W) n += s.size();
    return n;
}

} // namespace

TEST_F(WriterTest, CreateSendsStartupInTwoWritesAndClearsTheShadow) {
    TOutput out(true); // the program's writer type is the Linux writer as it stands
    EXPECT_EQ(TakeWrites(), (Writes{"\033(U\033[0m", "\033[2J\033[1;1H"}));
    EXPECT_EQ(out.Attr, 7);
    EXPECT_EQ(out.CurX, 1);
    EXPECT_EQ(out.CurY, 1);
    EXPECT_EQ(out.OutLen, 0);
    EXPECT_EQ(out.WinTop, 1);
    EXPECT_EQ(out.WinBottom, 25);
    EXPECT_EQ(out.ScreenLines, 25);
    for (int y = 1; y <= 50; ++y)
        for (int x = 1; x <= 80; ++x) ASSERT_EQ(out.Shadow[y][x], (TCharInfo{7, ' '}));
}

TEST_F(WriterTest, DestroySendsOnlyWhatIsQueued) {
    {
        TOutputLinux out(true);
        Settle();
        out.SetAttr(0x1F);
        out.BufWrite("x");
        EXPECT_TRUE(TakeWrites().empty());
    }
    EXPECT_EQ(TakeWrites(), (Writes{"\033[1;44mx"}));
    EXPECT_EQ(ReadOutput(), "\033[1;44mx");
}

TEST_F(WriterTest, RawModeForTheWritersLifetimeThenSettingsAsBefore) {
    struct Case {
        const char* Name;
        void (*Prepare)(termios&);
        bool InputRaw, OutputRaw;
    } cases[] = {
        {"cooked", [](termios&) {}, false, false},
        {"raw already", [](termios& T) { cfmakeraw(&T); }, true, true},
        {"raw but ICRNL",
         [](termios& T) {
             cfmakeraw(&T);
             T.c_iflag |= ICRNL;
         },
         false, true},
        {"raw but OPOST",
         [](termios& T) {
             cfmakeraw(&T);
             T.c_oflag |= OPOST;
         },
         true, false},
        {"cooked but no ISIG", [](termios& T) { T.c_lflag &= ~ISIG; }, false, false},
    };
    const termios pristine = SlaveSettings();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        termios before = pristine;
        c.Prepare(before);
        ASSERT_EQ(tcsetattr(Slave(), TCSANOW, &before), 0);
        before = SlaveSettings();
        {
            TOutputLinux out(true);
            termios raw = before;
            cfmakeraw(&raw);
            EXPECT_TRUE(SameSettings(SlaveSettings(), raw));
            EXPECT_TRUE(SameSettings(out.SavedTermios, before));
            EXPECT_EQ(out.InputWasRaw, c.InputRaw);
            EXPECT_EQ(out.OutputWasRaw, c.OutputRaw);
        }
        EXPECT_TRUE(SameSettings(SlaveSettings(), before));
        ReadOutput();
    }
}

TEST_F(WriterTest, RawModeSwitchedOnAgainStillRestoresTheFirstSettings) {
    const termios before = SlaveSettings();
    {
        TOutputLinux out(true);
        out.SetRawMode(true); // a second save would keep raw mode as "the settings"
        out.SetRawMode(false);
        EXPECT_TRUE(SameSettings(SlaveSettings(), before));
        out.SetRawMode(true);
        termios raw = before;
        cfmakeraw(&raw);
        EXPECT_TRUE(SameSettings(SlaveSettings(), raw));
    }
    EXPECT_TRUE(SameSettings(SlaveSettings(), before));
    ReadOutput();
}

TEST_F(WriterTest, NonTerminalStdoutChangesNoSettings) {
    const termios before = SlaveSettings();
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    ASSERT_EQ(dup2(p[1], 1), 1);
    close(p[1]);
    auto out = std::make_unique<TOutputLinux>(true);
    EXPECT_TRUE(SameSettings(SlaveSettings(), before)); // fd 0 is still the pty
    out->PutText("hi");
    // Standard output is a terminal again when the writer goes: settings that
    // were never read must not be applied to it.
    ASSERT_EQ(dup2(Slave(), 1), 1);
    out.reset();
    EXPECT_TRUE(SameSettings(SlaveSettings(), before));
    EXPECT_EQ(TakeWrites(), (Writes{"\033(U\033[0m", "\033[2J\033[1;1H", "hi"}));
    std::string got;
    char buf[256];
    for (ssize_t n; (n = read(p[0], buf, sizeof buf)) > 0;) got.append(buf, static_cast<size_t>(n));
    close(p[0]);
    EXPECT_EQ(got, "\033(U\033[0m\033[2J\033[1;1Hhi");
}

TEST_F(WriterTest, InactiveWriterDropsItsQueue) {
    TOutputLinux out(false);
    EXPECT_EQ(TakeWrites(), (Writes{"\033(U\033[0m"})); // WriteRaw ignores Active
    out.BufWrite(std::string(3000, 'a'));
    out.MoveCursor(5, 5);
    out.PutTextWithMoves("abc\n");
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_LE(out.OutLen, 1024);
    EXPECT_EQ(out.CurX, 8);
    EXPECT_EQ(out.CurY, 6);
}

TEST_F(WriterTest, SgrTableByteForByte) {
    struct Case {
        uint8_t Old, New;
        const char* Sent;
    } cases[] = {
        {0x07, 0x1F, "\033[1;44m"},   {0x07, 0x0F, "\033[1m"},         {0x0F, 0x07, "\033[0m"},
        {0x07, 0x70, "\033[30;47m"},  {0x07, 0x01, "\033[34m"},        {0x07, 0x17, "\033[0;44m"},
        {0x17, 0x10, "\033[30m"},     {0x1F, 0x1E, "\033[0;1;33;44m"}, {0x07, 0x87, "\033[0;5m"},
        {0x07, 0x8E, "\033[1;5;33m"}, {0x7F, 0x78, "\033[0;1;30;47m"}, {0x1E, 0x1E, ""},
    };
    TOutputLinux out(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.Old) << " -> " << int(c.New));
        out.SetAttr(c.Old);
        out.FlushBuf();
        Settle();
        EXPECT_EQ(out.AttrToAnsi(c.New), c.Sent);
        EXPECT_EQ(out.Attr, c.Old); // AttrToAnsi changes nothing
        out.SetAttr(c.New);
        EXPECT_TRUE(TakeWrites().empty()); // SetAttr leaves its bytes queued
        EXPECT_EQ(out.Attr, c.New);
        out.FlushBuf();
        EXPECT_EQ(TakeWrites(), c.Sent[0] ? Writes{c.Sent} : Writes{});
        EXPECT_EQ(ReadOutput(), c.Sent);
    }
}

TEST_F(WriterTest, EverySgrChangeLeavesTheTerminalInTheNewAttribute) {
    TOutputLinux out(true);
    for (int old = 0; old < 256; ++old) {
        for (int next = 0; next < 256; ++next) {
            out.Attr = static_cast<uint8_t>(old);
            TermModel t;
            t.SetPc(out.Attr);
            const std::string s = out.AttrToAnsi(static_cast<uint8_t>(next));
            t.Feed(s);
            ASSERT_EQ(t.PcAttr(), next) << "from " << old << " sent " << testing::PrintToString(s);
            if (old != next) {
                ASSERT_NE(s, "\033[m");
            }
        }
    }
    out.Attr = 7;
}

TEST_F(WriterTest, MoveCursorLimitsAndFlushesOnce) {
    struct Case {
        uint8_t X, Y;
        const char* Sent;
        uint8_t TrackedX, TrackedY;
    } cases[] = {
        {0, 0, "\033[1;1H", 1, 1},       {90, 30, "\033[25;80H", 80, 25},
        {80, 25, "\033[25;80H", 80, 25}, {1, 26, "\033[25;1H", 1, 25},
        {81, 1, "\033[1;80H", 80, 1},    {12, 7, "\033[7;12H", 12, 7},
    };
    TOutputLinux out(true);
    Settle();
    for (const Case& c : cases) {
        out.MoveCursor(c.X, c.Y);
        EXPECT_EQ(TakeWrites(), Writes{c.Sent});
        EXPECT_EQ(out.CurX, c.TrackedX);
        EXPECT_EQ(out.CurY, c.TrackedY);
    }
    out.SetAttr(0x0F);
    out.MoveCursor(2, 3); // the queue goes out with the move, in one write
    EXPECT_EQ(TakeWrites(), Writes{"\033[1m\033[3;2H"});
}

TEST_F(WriterTest, ClearWindowWholeScreenAndScrollWindow) {
    TOutputLinux out(true);
    out.PutText("junk");
    out.SetAttr(0x1F);
    Settle();
    out.ClearWindow();
    EXPECT_EQ(TakeWrites(), (Writes{"\033[1;44m", "\033[2J\033[1;1H"}));
    for (int y = 1; y <= 50; ++y)
        for (int x = 1; x <= 80; ++x) ASSERT_EQ(out.Shadow[y][x], (TCharInfo{0x1F, ' '}));

    out.SetAttr(7);
    out.WriteAt(1, 2, 7, "two");
    out.WriteAt(1, 6, 7, "six");
    out.MoveCursor(9, 4);
    out.SetScrollRegion(1, 3, 80, 5, false); // cursor inside: no move
    Settle();
    out.ClearWindow();
    EXPECT_EQ(TakeWrites(),
              (Writes{"\033[3;5r", "\033[3;1H\033[K\033[4;1H\033[K\033[5;1H\033[K\033[3;1H"}));
    EXPECT_EQ(out.CharAt(1, 2), 't');
    EXPECT_EQ(out.CharAt(1, 6), 's');
    EXPECT_EQ(out.Shadow[4][9], (TCharInfo{7, ' '}));
    EXPECT_EQ(out.CurX, 1);
    EXPECT_EQ(out.CurY, 3);
}

TEST_F(WriterTest, OnlyTheFlushPointsWrite) {
    TOutputLinux out(true);
    Settle();
    out.SetAttr(0x1F);
    out.ClearToEol();
    out.BufWrite("abc");
    out.PutChar('x');
    out.PutChar('\r');
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_EQ(out.Shadow[1][1], (TCharInfo{0x1F, 'x'}));
    EXPECT_EQ(out.CharAt(2, 1), ' '); // ClearToEol leaves the shadow alone
    out.PutChar('\n');
    EXPECT_EQ(TakeWrites(), Writes{"\033[1;44m\033[Kabcx\r\n"});
    out.PutText("");
    EXPECT_TRUE(TakeWrites().empty()); // an empty queue is not written
}

TEST_F(WriterTest, QueueWritesExactly1024AndThe1025thStartsAnew) {
    TOutputLinux out(true);
    Settle();
    const std::string a(1023, 'a');
    out.BufWrite(a);
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_EQ(out.OutLen, 1023);
    out.BufWrite("bc");
    EXPECT_EQ(TakeWrites(), Writes{a + "b"});
    EXPECT_EQ(out.OutLen, 1);
    out.FlushBuf();
    EXPECT_EQ(TakeWrites(), Writes{"c"});

    out.BufWrite(std::string(2049, 'z'));
    const Writes w = TakeWrites();
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0].size(), 1024u);
    EXPECT_EQ(w[1].size(), 1024u);
    EXPECT_EQ(out.OutLen, 1);
    out.FlushBuf();
    EXPECT_EQ(ReadOutput(), a + "bc" + std::string(2049, 'z'));
}

TEST_F(WriterTest, PutLineCutsTheLineEndPast253Characters) {
    struct Case {
        size_t Len;
        std::string Sent;
        uint8_t X, Y;
    } cases[] = {
        {253, std::string(253, 'x') + "\r\n", 1, 5},
        {254, std::string(254, 'x') + "\r", 1, 4},
        {255, std::string(255, 'x'), 16, 4},
        {300, std::string(255, 'x'), 16, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Len);
        TOutputLinux out(true);
        Settle();
        out.PutLine(std::string(c.Len, 'x'));
        // Wraps at column 80 flush; the rest waits for a line feed.
        const size_t flushed = TotalBytes(TakeWrites());
        EXPECT_EQ(flushed, c.Len == 253 ? c.Sent.size() : 240u);
        EXPECT_EQ(out.CurX, c.X);
        EXPECT_EQ(out.CurY, c.Y);
        out.FlushBuf();
        EXPECT_EQ(ReadOutput(), c.Sent);
    }
}

TEST_F(WriterTest, PutCharTracksCursorAndShadowWithoutScrolling) {
    TOutputLinux out(true);
    out.MoveCursor(80, 10);
    Settle();
    out.PutChar('Z');
    EXPECT_EQ(TakeWrites(), Writes{"Z"}); // a wrap from column 80 flushes
    EXPECT_EQ(out.Shadow[10][80], (TCharInfo{7, 'Z'}));
    EXPECT_EQ(out.CurX, 1);
    EXPECT_EQ(out.CurY, 11);

    out.WriteAt(1, 24, 7, "above");
    out.MoveCursor(80, 25);
    const TConsoleScreenRec before = out.Shadow;
    Settle();
    out.PutChar('Q');
    EXPECT_EQ(TakeWrites(), Writes{"Q"});
    EXPECT_EQ(out.CurX, 1);
    EXPECT_EQ(out.CurY, 25);
    out.PutChar('\n');
    EXPECT_EQ(out.CurY, 25);
    TConsoleScreenRec want = before;
    want[25][80] = TCharInfo{7, 'Q'};
    EXPECT_EQ(out.Shadow, want); // nothing moved up

    // Tab and escape are one stand-in cell each; BS and CR only move.
    out.MoveCursor(5, 3);
    for (char c : std::string("\t\033\b\b\b\b\b\b")) out.PutChar(c);
    EXPECT_EQ(out.Shadow[3][5], (TCharInfo{7, ControlStandIn}));
    EXPECT_EQ(out.Shadow[3][6], (TCharInfo{7, ControlStandIn}));
    EXPECT_EQ(out.CurX, 1);
    out.MoveCursor(9, 3);
    out.PutChar('\r');
    EXPECT_EQ(out.CurX, 1);
    EXPECT_EQ(out.CharAt(9, 3), ' ');
}

TEST_F(WriterTest, WriteAtCostsThreeWritesAndPutsBackAttrAndCursor) {
    TOutputLinux out(true);
    out.MoveCursor(5, 5);
    Settle();
    out.WriteAt(10, 3, 0x1F, "Hi");
    EXPECT_EQ(TakeWrites(), (Writes{"\033[3;10H", "\033[1;44mHi", "\033[0m\033[5;5H"}));
    EXPECT_EQ(out.Shadow[3][10], (TCharInfo{0x1F, 'H'}));
    EXPECT_EQ(out.Shadow[3][11], (TCharInfo{0x1F, 'i'}));
    EXPECT_EQ(out.Attr, 7);
    EXPECT_EQ(out.CurX, 5);
    EXPECT_EQ(out.CurY, 5);
}

TEST_F(WriterTest, WriteAtPipedCodeRules) {
    struct Case {
        int32_t Width;
        const char* S;
        const char* Middle; // what is queued between the two cursor moves
    } cases[] = {
        {5, "|14ab|16c", "\033[1;33mabc  \033[0m"},
        {3, "ab", "ab"},                  // one column left over: no blank
        {4, "ab", "ab  "},                // two left over: two blanks
        {2, "abcdef", "ab"},              // Width reached: stop
        {1, "|24x", "\033[0;5mx\033[0m"}, // background 8: blink bit
        {3, "|ab", "|ab"},                // "ab" is no number
        {2, "|00x", "\033[30mx\033[0m"},
        {1, "|$Fx", "\033[1mx\033[0m"}, // any non-zero value is a code here
        {3, "ab|", "ab|"},
        {2, "a|5", "a\033[35m\033[0m"}, // "5" at the end is still a code
        {-3, "abc", "abc"},             // never reaches 0: the whole text
        {1, "|31x", "\033[0;5;47mx\033[0m"},
    };
    TOutputLinux out(true);
    out.WriteAt(1, 1, 7, "keep");
    out.MoveCursor(7, 8);
    const TConsoleScreenRec before = out.Shadow;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.S);
        Settle();
        out.WriteAtPiped(1, 1, 7, c.Width, c.S);
        EXPECT_EQ(TakeWrites(), (Writes{"\033[1;1H", std::string(c.Middle) + "\033[8;7H"}));
        EXPECT_EQ(out.Shadow, before);
        EXPECT_EQ(out.Attr, 7);
        EXPECT_EQ(out.CurX, 7);
        EXPECT_EQ(out.CurY, 8);
    }
}

// The shadow-only twin of WriteAtPiped: the same cells, nothing sent, the
// cursor and the attribute untouched; a row running past column 80 stops there.
TEST_F(WriterTest, RecordPipedKeepsWhatWriteAtPipedShows) {
    using namespace std::string_literals;
    struct Case {
        uint8_t X;
        int32_t Width;
        std::string S;
        std::string Text;  // line 1 from column X after the record
        std::string Attrs; // one byte per cell of Text
    } cases[] = {
        {1, 5, "|14ab|16c", "abc  ", "\x1E\x1E\x0E\x0E\x0E"},
        {1, 3, "ab", "ab ", "\x1F\x1F\x07"},                // one column left over keeps its cell
        {1, 2, "|00x|23y", "xy", "\x10\x70"},               // the background kept, then replaced
        {1, 2, "a\x1B", "a"s + ControlStandIn, "\x1F\x1F"}, // a control byte as its stand-in
        {78, 5, "abcde", "abc", "\x1F\x1F\x1F"},            // nothing past column 80
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.S);
        TOutputLinux out(true);
        out.MoveCursor(7, 8);
        out.SetAttr(0x42);
        Settle();
        TConsoleScreenRec want = out.Shadow;
        for (std::size_t i = 0; i < c.Text.size(); ++i)
            want[1][c.X + i] = TCharInfo{uint8_t(c.Attrs[i]), c.Text[i]};
        out.RecordPiped(c.X, 1, 0x1F, c.Width, c.S);
        EXPECT_EQ(TakeWrites(), Writes{});
        EXPECT_EQ(out.Shadow, want);
        EXPECT_EQ(out.Attr, 0x42);
        EXPECT_EQ(out.CurX, 7);
        EXPECT_EQ(out.CurY, 8);
    }
}

// A position off the screen lands where WriteAtPiped's cursor move puts it.
TEST_F(WriterTest, RecordPipedStartsWhereWriteAtPipedDraws) {
    const struct {
        uint8_t X, Y;
        int Col, Line; // where "ab" lands
    } cases[] = {{0, 3, 1, 3}, {4, 0, 4, 1}, {7, 30, 7, 25}, {79, 255, 79, 25}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.X) + "," + std::to_string(c.Y));
        TOutputLinux out(true);
        TConsoleScreenRec want = out.Shadow;
        want[c.Line][c.Col] = TCharInfo{0x1F, 'a'};
        want[c.Line][c.Col + 1] = TCharInfo{0x1F, 'b'};
        out.RecordPiped(c.X, c.Y, 0x1F, 2, "ab");
        EXPECT_EQ(out.Shadow, want);
    }
}

TEST_F(WriterTest, WritePipedCodeRules) {
    struct Case {
        const char* S;
        const char* Sent;
        const char* Shadow; // characters now in line 1 from column 1
        uint8_t Attr;
    } cases[] = {
        {"|24x", "|24x", "|24x", 7}, // 24 and up are text here
        {"a|b", "a|b", "a|b", 7},
        {"|14ab", "\033[1;33mab", "ab", 14},
        {"|00x|23y", "\033[30mx\033[0;30;47my", "xy", 0x70},
        {"|$1x", "|$1x", "|$1x", 7}, // "&" and "$" are text here
        {"|&1x", "|&1x", "|&1x", 7},
        {"x|", "x|", "x|", 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.S);
        TOutputLinux out(true);
        Settle();
        out.WritePiped(c.S);
        EXPECT_EQ(TakeWrites(), Writes{c.Sent}); // one write, at the end
        const std::string want = c.Shadow;
        for (size_t i = 0; i < want.size(); ++i)
            EXPECT_EQ(out.CharAt(static_cast<uint8_t>(i + 1), 1), want[i]);
        EXPECT_EQ(out.CurX, static_cast<uint8_t>(want.size() + 1));
        EXPECT_EQ(out.Attr, c.Attr);
    }
}

TEST_F(WriterTest, RestoreRegionSendsOneMovePerLineAndSgrOnlyOnChange) {
    TOutputLinux out(true);
    out.WriteAt(3, 2, 0x1F, "AB");
    out.WriteAt(5, 2, 7, "C");
    out.WriteAt(3, 3, 0x70, "DEF");
    out.MoveCursor(9, 9);
    out.SetAttr(0x0E);
    TConsoleImageRec img;
    out.SaveRegion(3, 2, 5, 3, img);
    EXPECT_EQ(img.Data[1][1], (TCharInfo{0x1F, 'A'}));
    EXPECT_EQ(img.Data[2][3], (TCharInfo{0x70, 'F'}));
    EXPECT_EQ(img.Data[1][4], (TCharInfo{})); // outside the region: zero
    EXPECT_EQ((std::vector<int>{img.CursorX, img.CursorY, img.CursorAttr, img.X1, img.X2, img.Y1,
                                img.Y2}),
              (std::vector<int>{9, 9, 0x0E, 3, 5, 2, 3}));

    out.SetAttr(7);
    out.ClearWindow();
    out.MoveCursor(1, 20);
    Settle();
    out.RestoreRegion(img);
    EXPECT_EQ(TakeWrites(), (Writes{"\033[2;3H", "\033[1;44mAB\033[0mC\033[3;3H",
                                    "\033[30;47mDEF\033[0;1;33m\033[9;9H"}));
    EXPECT_EQ(out.Shadow[2][3], (TCharInfo{0x1F, 'A'}));
    EXPECT_EQ(out.Shadow[3][5], (TCharInfo{0x70, 'F'}));
    EXPECT_EQ(out.Attr, 0x0E);
    EXPECT_EQ(out.CurX, 9);
    EXPECT_EQ(out.CurY, 9);
}

TEST_F(WriterTest, SaveRestoreRoundTripUndoesPipedWritesOnTheTerminal) {
    TermModel term;
    TOutputLinux out(true);
    auto sync = [&] { term.Feed(ReadOutput()); };
    out.SetAttr(0x17);
    out.ClearWindow();
    for (uint8_t y = 1; y <= 24; ++y)
        out.WriteAt(1, y, static_cast<uint8_t>(y * 9), std::string(80, static_cast<char>('A' + y)));
    out.PutText("wrapping text"); // from column 1 of line 1, then the cursor stays
    out.MoveCursor(70, 25);
    out.PutText("0123456789A"); // ends at column 80: the tracked cursor wraps
    out.SetAttr(0x4E);
    sync();
    ExpectShadowMatches(out, term);

    TConsoleImageRec img;
    out.SaveRegion(1, 1, 80, 25, img);
    const TConsoleScreenRec before = out.Shadow;
    const uint8_t x = out.CurX, y = out.CurY;
    out.WriteAtPiped(10, 5, 7, 30, "|12over|20written |07by pipes");
    out.WriteAtPiped(1, 12, 0x71, 80, "|03the whole line");
    out.SetAttr(0x07);
    out.MoveCursor(3, 3);
    sync();
    out.RestoreRegion(img);
    sync();
    EXPECT_EQ(out.Shadow, before);
    EXPECT_EQ(out.Attr, 0x4E);
    EXPECT_EQ(out.CurX, x);
    EXPECT_EQ(out.CurY, y);
    EXPECT_EQ(term.PcAttr(), 0x4E);
    ExpectShadowMatches(out, term);
    TConsoleImageRec again;
    out.SaveRegion(1, 1, 80, 25, again);
    EXPECT_EQ(again, img);
}

TEST_F(WriterTest, RegionsAndCellReadersStayInsideTheShadow) {
    TOutputLinux out(true);
    out.Shadow[50][80] = TCharInfo{0x2A, 'e'};
    out.Shadow[1][1] = TCharInfo{0x2B, 's'};
    EXPECT_EQ(out.CharAt(80, 50), 'e');
    EXPECT_EQ(out.AttrAt(80, 50), 0x2A);
    for (auto [x, y] : {std::pair<uint8_t, uint8_t>{0, 5}, {81, 5}, {5, 0}, {5, 51}, {255, 255}}) {
        EXPECT_EQ(out.CharAt(x, y), ' ');
        EXPECT_EQ(out.AttrAt(x, y), 0);
    }

    TConsoleImageRec img;
    out.SaveRegion(75, 48, 120, 90, img); // cut at column 80 and line 50
    EXPECT_EQ(img.Data[3][6], (TCharInfo{0x2A, 'e'}));
    EXPECT_EQ(img.Data[3][7], (TCharInfo{}));
    EXPECT_EQ(img.X2, 120);
    EXPECT_EQ(img.Y2, 90);
    out.SaveRegion(0, 0, 2, 2, img); // column 0 and line 0 do not exist
    EXPECT_EQ(img.Data[2][2], (TCharInfo{0x2B, 's'}));
    EXPECT_EQ(img.Data[1][1], (TCharInfo{}));

    // Restoring it puts cell (2, 2) back on (1, 1) and touches nothing else.
    out.Shadow[1][1] = TCharInfo{7, 'o'};
    const bool activeBefore = out.Active;
    TConsoleScreenRec want = out.Shadow;
    want[1][1] = TCharInfo{0x2B, 's'};
    want[1][2] = img.Data[2][3];
    want[2][1] = img.Data[3][2];
    want[2][2] = img.Data[3][3];
    out.RestoreRegion(img);
    EXPECT_EQ(out.Shadow, want);

    // A region as large as the bytes allow restores the 50 x 80 that exist.
    TConsoleImageRec big{};
    big.X1 = 1;
    big.X2 = 255;
    big.Y1 = 1;
    big.Y2 = 255;
    big.Data[50][80] = TCharInfo{0x11, 'L'};
    out.RestoreRegion(big);
    EXPECT_EQ(out.Shadow[50][80], (TCharInfo{0x11, 'L'}));
    EXPECT_EQ(out.Active, activeBefore);
    ReadOutput();
}

TEST_F(WriterTest, ScreenLinesAndScrollWindow) {
    TOutputLinux out(true);
    out.BufWrite("q");
    Settle();
    out.SetScreenLines(50);
    EXPECT_EQ(TakeWrites(), (Writes{"q", "\033[8;50;80t"}));
    EXPECT_EQ(out.OutLen, 7); // "\e[1;50r" stays queued: the cursor is inside
    EXPECT_EQ(out.WinBottom, 50);
    EXPECT_EQ(out.ScreenLines, 50);
    out.MoveCursor(1, 40);
    EXPECT_EQ(TakeWrites(), Writes{"\033[1;50r\033[25;1H"}); // lines stop at 25
    for (int i = 0; i < 30; ++i) out.PutChar('\n');
    EXPECT_EQ(out.CurY, 50); // line feeds go down to the window's bottom
    out.PutChar('w');
    EXPECT_EQ(out.Shadow[50][1], (TCharInfo{7, 'w'}));
    out.SetScrollRegion(1, 3, 80, 10, true);
    Writes want(30, "\n"); // every line feed flushes, also on the last line
    want.push_back("w\033[3;10r\033[3;1H");
    EXPECT_EQ(TakeWrites(), want);
    EXPECT_EQ(out.CurY, 3);
    ReadOutput();
}

// ---------------------------------------------------------------------------
// Nothing queued is ever lost: a terminal that takes bytes slowly, answers
// "try again" (its descriptor made non-blocking by another program) or has
// its writes cut short by signals still gets every byte, so the shadow stays
// what the terminal shows.

namespace {

// The writer ends the program (exit code 0) when the terminal is gone; a
// writer that took a passing hiccup for that would end this test program
// with code 0 as well, so an exit while the guard lives is made a failure.
bool ExitIsAFault = false;

void FailOnExit() {
    if (!ExitIsAFault) return;
    std::fputs("the program was ended while the terminal was still there\n", stderr);
    _exit(1);
}

struct NoExitGuard {
    NoExitGuard() {
        static const bool registered = std::atexit(FailOnExit) == 0;
        (void)registered;
        ExitIsAFault = true;
    }
    ~NoExitGuard() { ExitIsAFault = false; }
};

const std::string EndMark = "\x1b[99;99H<end>"; // never sent by the code under test

} // namespace

TEST_F(WriterTest, EveryQueuedByteReachesASlowTerminal) {
    struct Case {
        const char* Name;
        bool NonBlocking;
        bool Interrupted;
    } cases[] = {
        {"descriptor set non-blocking", true, false},
        {"writes cut short by signals", false, true},
    };
    for (const Case& c : cases) {
        if (c.Interrupted && !InterruptingTimer::Works()) continue;
        SCOPED_TRACE(c.Name);
        const NoExitGuard guard;
        TOutputLinux out(true);
        Settle();
        const int flags = fcntl(1, F_GETFL);
        if (c.NonBlocking) fcntl(1, F_SETFL, flags | O_NONBLOCK);
        SlowReader term(Master(), EndMark);
        {
            std::optional<InterruptingTimer> timer;
            if (c.Interrupted) timer.emplace();
            // Far more than the pty holds, in every attribute change and move.
            for (int pass = 0; pass < 40; ++pass)
                for (int y = 1; y <= 25; ++y)
                    out.WriteAt(
                        static_cast<uint8_t>(1 + (pass + y) % 5), static_cast<uint8_t>(y),
                        static_cast<uint8_t>(pass * 7 + y),
                        std::string(60 + (pass + y) % 16, static_cast<char>('A' + pass % 26)));
            out.MoveCursor(33, 12);
        }
        WriteAll(Slave(), EndMark);
        const std::string got = term.Finish();
        fcntl(1, F_SETFL, flags);
        EXPECT_GT(TotalBytes(TakeWrites()), got.size()); // some writes were retried
        TermModel t;
        t.Feed(got);
        ExpectShadowMatches(out, t);
        EXPECT_EQ(t.X + 1, out.CurX);
        EXPECT_EQ(t.Y + 1, out.CurY);
    }
}

// A terminal that is gone (here: standard output that refuses every write)
// ends the program as the end of input does: exit code 0 and the settings
// from before put back, whether it happens at start-up, while drawing or in
// the exit finalisation itself.
TEST_F(WriterTest, ALostTerminalEndsTheProgramWithTheSettingsPutBack) {
    struct Case {
        const char* Name;
        std::function<void(int)> Body; // gets a read-only descriptor of the terminal
    } cases[] = {
        {"at start-up",
         [](int ReadOnly) {
             dup2(ReadOnly, 1);
             InitConsole();
             _exit(3); // not reached
         }},
        {"while drawing",
         [](int ReadOnly) {
             InitConsole();
             dup2(ReadOnly, 1);
             WriteText("x");
             _exit(3);
         }},
        {"in the exit finalisation",
         [](int ReadOnly) {
             InitConsole();
             dup2(ReadOnly, 1);
             QueueText("x");
             std::exit(0);
         }},
    };
    const termios before = SlaveSettings();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::fflush(nullptr);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const int readOnly = open(ptsname(Master()), O_RDONLY | O_NOCTTY);
            if (readOnly < 0) _exit(2);
            c.Body(readOnly);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_TRUE(SameSettings(SlaveSettings(), before));
        ReadOutput();
    }
}

// ---------------------------------------------------------------------------
// No byte of outside text acts on the terminal: whatever path a subject, a
// name, a message text or a file takes to the screen, only the writer's own
// sequences and line ends reach the terminal, and the shadow holds what the
// terminal shows. Only the ANSI players and the message image act on the
// line ends and backspaces of their files, and track them.

namespace {

// Every byte a terminal acts on, and sequences that would set the title,
// switch the character set, ask for a report or ring the bell. Ctrl-Z is
// left out: it ends the files of the players and the message image.
std::string Hostile() {
    std::string s = "<";
    for (int c = 1; c < 32; ++c)
        if (c != 26) s += static_cast<char>(c);
    s += "\x7f\x9b"
         "6n\x1b]2;owned\x07\x1b[6n\x0e\x1bP+q\x1b\\\x1b"
         "c>";
    return s;
}

// The writer's own sequences: ESC ( U and CSI with digits and ";" ending in
// m, H, J or K. Returns the offset of the first byte a terminal would act on
// otherwise, or npos.
size_t FirstForeignControl(const std::string& S) {
    for (size_t i = 0; i < S.size(); ++i) {
        const auto u = static_cast<uint8_t>(S[i]);
        if (u == '\r' || u == '\n' || u == '\b') continue;
        if (u == 27) {
            if (S.compare(i, 3, "\x1b(U") == 0) {
                i += 2;
                continue;
            }
            if (i + 1 >= S.size() || S[i + 1] != '[') return i;
            size_t j = i + 2;
            while (j < S.size() && ((S[j] >= '0' && S[j] <= '9') || S[j] == ';')) ++j;
            if (j >= S.size() || std::string_view("mHJK").find(S[j]) == std::string_view::npos)
                return i;
            i = j;
            continue;
        }
        if (u < 32 || u == 127 || u == 155) return i;
    }
    return std::string::npos;
}

// The BS, CR and LF bytes of S, in order: the cursor moves a terminal makes
// besides the writer's own sequences.
std::string MovesIn(const std::string& S) {
    std::string m;
    for (char c : S)
        if (c == '\b' || c == '\r' || c == '\n') m += c;
    return m;
}

class HostileTextTest : public ConsoleFilesFixture {};

} // namespace

TEST_F(HostileTextTest, OutsideBytesNeverActOnTheTerminal) {
    const std::string h = Hostile();
    const char* const FileMoves = nullptr; // the file's own BS, CR and LF act
    struct Case {
        const char* Name;
        std::function<void()> Draw;
        bool Tracked;      // the path records what it draws in the shadow and cursor
        const char* Moves; // the BS, CR and LF that reach the terminal
    } cases[] = {
        {"WriteXY", [&] { WriteXY(3, 2, 0x1F, h); }, true, ""},
        {"WriteText", [&] { WriteText(h); }, true, ""},
        {"WriteLine", [&] { WriteLine(h); }, true, "\r\n"},
        {"WritePipe", [&] { WritePipe("|14" + h + "|07"); }, true, ""},
        {"WriteXYPipe", [&] { WriteXYPipe(3, 4, 7, "|12" + h); }, false, ""},
        {"WriteCenteredPipe", [&] { WriteCenteredPipe(h, 5); }, false, ""},
        {"ANSI interpreter",
         [&] {
             InitAnsiUtil();
             AnsiWrite("\x1b[1;33m" + h + "\x1b[0m");
         },
         true, FileMoves},
        {"ANSI file player", [&] { AnsiShowFile(File("a.ans", h + "\r\n" + h)); }, true, FileMoves},
        {"pipe-code player", [&] { PipeShowFile(File("p.txt", "|10" + h)); }, true, FileMoves},
        // A blank line, then the message with the name in it.
        {"pipe-code player's message", [&] { PipeShowFile(Dir / h); }, true, "\r\n\r\n"},
        {"message image, DrawPage",
         [&] {
             auto img = std::make_unique<TMsgBaseAnsi>(0, 0);
             const std::string text = h + "\r\n|09" + h;
             img->Feed(text.data(), static_cast<uint16_t>(text.size()));
             img->DrawPage(1, 3, 1);
         },
         true, FileMoves},
        {"message image, DrawLineRaw",
         [&] {
             auto img = std::make_unique<TMsgBaseAnsi>(0, 0);
             img->Feed(h.data(), static_cast<uint16_t>(h.size()));
             img->DrawLineRaw(6, 1, true);
         },
         false, ""},
        {"screen image with control bytes in its cells",
         [&] {
             TConsoleImageRec img;
             SaveScreen(img);
             for (int x = 1; x <= static_cast<int>(h.size()) && x <= 80; ++x)
                 img.Data[7][x].Ch = h[static_cast<size_t>(x - 1)];
             img.Data[8][1].Ch = '\0';
             RestoreScreen(img);
         },
         true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Fresh();
        c.Draw();
        FlushScreen();
        const std::string got = ReadOutput();
        const size_t bad = FirstForeignControl(got);
        EXPECT_EQ(bad, std::string::npos) << "at " << bad << " of " << Hex(got);
        EXPECT_NE(got.find(ControlStandIn), std::string::npos);
        if (c.Moves) {
            EXPECT_EQ(Hex(MovesIn(got)), Hex(c.Moves)) << Hex(got);
        }
        TermModel t;
        t.Feed(got);
        if (!c.Tracked) continue;
        ExpectShadowMatches(*Screen, t);
        EXPECT_EQ(t.X + 1, WhereX());
        EXPECT_EQ(t.Y + 1, WhereY());
    }
}

TEST_F(HostileTextTest, EachControlByteIsOneStandInCellAndTheOwnSequencesStay) {
    // #0, the empty cell of images, is shown as a blank; BS, CR and LF are
    // cells like every other control byte.
    const std::string text("a\tb\x1b[31mc\x07\x7f\x9b\x00z\b\r\ny\x82", 19);
    const std::string shown = "a.b.[31mc... z...y\x82";
    const std::string home = "\x1b[1;1H";
    struct Case {
        const char* Name;
        std::function<void()> Draw;
        std::string Sent;
        bool Tracked;
    } cases[] = {
        {"WriteXY", [&] { WriteXY(1, 1, 7, text); }, home + shown + home, true},
        {"WriteLine", [&] { WriteLine(text); }, shown + "\r\n", true},
        {"WritePipe", [&] { WritePipe(text); }, shown, true},
        {"WriteXYPipe", [&] { WriteXYPipe(1, 1, 7, text); }, home + shown + home, false},
        {"WriteText without BS", [&] { WriteText(std::string(text).erase(14, 1)); },
         "a.b.[31mc... z..y\x82", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Fresh();
        c.Draw();
        EXPECT_EQ(Hex(ReadOutput()), Hex(c.Sent));
        const std::string cells = c.Tracked ? c.Sent.substr(c.Sent.find('a'), shown.size()) : "";
        for (size_t i = 0; i < cells.size(); ++i)
            EXPECT_EQ(ScreenCharAt(static_cast<uint8_t>(i + 1), 1), cells[i]) << i;
    }

    // Program-made text asks for its moves by name.
    Fresh();
    WriteText("ab\b");
    WriteTextWithMoves("\b.c\bd\r\ne");
    EXPECT_EQ(ReadOutput(), "ab.\b.c\bd\r\ne");
    EXPECT_EQ(ScreenRowText(1, 1, 4), "ab.d");
    EXPECT_EQ(ScreenRowText(2, 1, 2), "e ");
    Fresh();

    // The program's own fixed texts keep their escapes and bell.
    ResetCharset();
    CursorSoft();
    WriteXYAsIs(5, 5, 7, "\x1b[1C|");
    EXPECT_EQ(ReadOutput(), "\x1b(U\x1b[0m\x1b[?112c\x07\r\n\x1b[5;5H\x1b[1C|\x1b[2;1H");
}
