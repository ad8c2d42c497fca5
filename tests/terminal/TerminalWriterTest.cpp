// The terminal writer as the terminal sees it: bytes and write(2) boundaries
// read back from a real pseudo-terminal, raw mode on the pty's settings, and
// the shadow screen checked against a small model of the terminal.

#include "terminal/m_Output.h"
#include "terminal/m_Output_Linux.h"
#include "tests/common/PtyFixture.h"

#include <memory>
#include <string>
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
        for (int I = FromY * 80 + FromX; I < FromY * 80 + FromX + Count; ++I)
            Cells[I / 80][I % 80] = TCharInfo{PcAttr(), ' '};
    }
    void Sgr(const std::vector<int>& Ps) {
        static constexpr int PcOfAnsi[8] = {0, 4, 2, 6, 1, 5, 3, 7};
        for (int P : Ps) {
            if (P == 0)
                SetPc(7);
            else if (P == 1)
                Bold = true;
            else if (P == 5)
                Blink = true;
            else if (P >= 30 && P <= 37)
                Fg = PcOfAnsi[P - 30];
            else if (P >= 40 && P <= 47)
                Bg = PcOfAnsi[P - 40];
            else
                ADD_FAILURE() << "unexpected SGR " << P;
        }
    }
    void Csi(const std::vector<int>& Ps, char Final) {
        auto Arg = [&](size_t I) { return I < Ps.size() ? Ps[I] : 0; };
        WrapPending = false;
        if (Final == 'm')
            Sgr(Ps.empty() ? std::vector<int>{0} : Ps);
        else if (Final == 'H') {
            Y = std::max(Arg(0), 1) - 1;
            X = std::max(Arg(1), 1) - 1;
        } else if (Final == 'J' && Arg(0) == 2)
            Fill(0, 0, 80 * 25);
        else if (Final == 'K' && Arg(0) == 0)
            Fill(Y, X, 80 - X);
        else
            ADD_FAILURE() << "unexpected CSI final " << Final;
    }
    void Feed(std::string_view S) {
        for (size_t I = 0; I < S.size(); ++I) {
            const char C = S[I];
            if (C == '\033' && I + 1 < S.size() && S[I + 1] == '(') {
                I += 2; // character set selection
            } else if (C == '\033' && I + 1 < S.size() && S[I + 1] == '[') {
                std::vector<int> Ps{0};
                for (I += 2; I < S.size() && (isdigit(S[I]) || S[I] == ';'); ++I) {
                    if (S[I] == ';')
                        Ps.push_back(0);
                    else
                        Ps.back() = Ps.back() * 10 + (S[I] - '0');
                }
                if (Ps.size() == 1 && S[I - 1] == '[') Ps.clear();
                if (I < S.size()) Csi(Ps, S[I]);
            } else if (C == '\r') {
                X = 0;
                WrapPending = false;
            } else if (C == '\n') {
                if (Y < 24) ++Y;
            } else if (C == '\b') {
                if (X > 0) --X;
                WrapPending = false;
            } else if (static_cast<unsigned char>(C) >= 32) {
                if (WrapPending) {
                    X = 0;
                    if (Y < 24) ++Y;
                    WrapPending = false;
                }
                Cells[Y][X] = TCharInfo{PcAttr(), C};
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
    for (int Y = 1; Y <= 25; ++Y)
        for (int X = 1; X <= 80; ++X)
            ASSERT_EQ(Out.Shadow[Y][X], T.Cells[Y - 1][X - 1]) << "cell " << X << "," << Y;
}

size_t TotalBytes(const Writes& W) {
    size_t N = 0;
    for (const std::string& S : W) N += S.size();
    return N;
}

} // namespace

TEST_F(WriterTest, CreateSendsStartupInTwoWritesAndClearsTheShadow) {
    TOutput Out(true); // the program's writer type is the Linux writer as it stands
    EXPECT_EQ(TakeWrites(), (Writes{"\033(U\033[0m", "\033[2J\033[1;1H"}));
    EXPECT_EQ(Out.Attr, 7);
    EXPECT_EQ(Out.CurX, 1);
    EXPECT_EQ(Out.CurY, 1);
    EXPECT_EQ(Out.OutLen, 0);
    EXPECT_EQ(Out.WinTop, 1);
    EXPECT_EQ(Out.WinBottom, 25);
    EXPECT_EQ(Out.ScreenLines, 25);
    for (int Y = 1; Y <= 50; ++Y)
        for (int X = 1; X <= 80; ++X) ASSERT_EQ(Out.Shadow[Y][X], (TCharInfo{7, ' '}));
}

TEST_F(WriterTest, DestroySendsOnlyWhatIsQueued) {
    {
        TOutputLinux Out(true);
        Settle();
        Out.SetAttr(0x1F);
        Out.BufWrite("x");
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
    } Cases[] = {
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
    const termios Pristine = SlaveSettings();
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        termios Before = Pristine;
        C.Prepare(Before);
        ASSERT_EQ(tcsetattr(Slave(), TCSANOW, &Before), 0);
        Before = SlaveSettings();
        {
            TOutputLinux Out(true);
            termios Raw = Before;
            cfmakeraw(&Raw);
            EXPECT_TRUE(SameSettings(SlaveSettings(), Raw));
            EXPECT_TRUE(SameSettings(Out.SavedTermios, Before));
            EXPECT_EQ(Out.InputWasRaw, C.InputRaw);
            EXPECT_EQ(Out.OutputWasRaw, C.OutputRaw);
        }
        EXPECT_TRUE(SameSettings(SlaveSettings(), Before));
        ReadOutput();
    }
}

TEST_F(WriterTest, RawModeSwitchedOnAgainStillRestoresTheFirstSettings) {
    const termios Before = SlaveSettings();
    {
        TOutputLinux Out(true);
        Out.SetRawMode(true); // a second save would keep raw mode as "the settings"
        Out.SetRawMode(false);
        EXPECT_TRUE(SameSettings(SlaveSettings(), Before));
        Out.SetRawMode(true);
        termios Raw = Before;
        cfmakeraw(&Raw);
        EXPECT_TRUE(SameSettings(SlaveSettings(), Raw));
    }
    EXPECT_TRUE(SameSettings(SlaveSettings(), Before));
    ReadOutput();
}

TEST_F(WriterTest, NonTerminalStdoutChangesNoSettings) {
    const termios Before = SlaveSettings();
    int P[2];
    ASSERT_EQ(pipe(P), 0);
    ASSERT_EQ(dup2(P[1], 1), 1);
    close(P[1]);
    auto Out = std::make_unique<TOutputLinux>(true);
    EXPECT_TRUE(SameSettings(SlaveSettings(), Before)); // fd 0 is still the pty
    Out->PutText("hi");
    // Standard output is a terminal again when the writer goes: settings that
    // were never read must not be applied to it.
    ASSERT_EQ(dup2(Slave(), 1), 1);
    Out.reset();
    EXPECT_TRUE(SameSettings(SlaveSettings(), Before));
    EXPECT_EQ(TakeWrites(), (Writes{"\033(U\033[0m", "\033[2J\033[1;1H", "hi"}));
    std::string Got;
    char Buf[256];
    for (ssize_t N; (N = read(P[0], Buf, sizeof Buf)) > 0;) Got.append(Buf, static_cast<size_t>(N));
    close(P[0]);
    EXPECT_EQ(Got, "\033(U\033[0m\033[2J\033[1;1Hhi");
}

TEST_F(WriterTest, InactiveWriterDropsItsQueue) {
    TOutputLinux Out(false);
    EXPECT_EQ(TakeWrites(), (Writes{"\033(U\033[0m"})); // WriteRaw ignores Active
    Out.BufWrite(std::string(3000, 'a'));
    Out.MoveCursor(5, 5);
    Out.PutText("abc\n");
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_LE(Out.OutLen, 1024);
    EXPECT_EQ(Out.CurX, 8);
    EXPECT_EQ(Out.CurY, 6);
}

TEST_F(WriterTest, SgrTableByteForByte) {
    struct Case {
        uint8_t Old, New;
        const char* Sent;
    } Cases[] = {
        {0x07, 0x1F, "\033[1;44m"},   {0x07, 0x0F, "\033[1m"},         {0x0F, 0x07, "\033[0m"},
        {0x07, 0x70, "\033[30;47m"},  {0x07, 0x01, "\033[34m"},        {0x07, 0x17, "\033[0;44m"},
        {0x17, 0x10, "\033[30m"},     {0x1F, 0x1E, "\033[0;1;33;44m"}, {0x07, 0x87, "\033[0;5m"},
        {0x07, 0x8E, "\033[1;5;33m"}, {0x7F, 0x78, "\033[0;1;30;47m"}, {0x1E, 0x1E, ""},
    };
    TOutputLinux Out(true);
    for (const Case& C : Cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(C.Old) << " -> " << int(C.New));
        Out.SetAttr(C.Old);
        Out.FlushBuf();
        Settle();
        EXPECT_EQ(Out.AttrToAnsi(C.New), C.Sent);
        EXPECT_EQ(Out.Attr, C.Old); // AttrToAnsi changes nothing
        Out.SetAttr(C.New);
        EXPECT_TRUE(TakeWrites().empty()); // SetAttr leaves its bytes queued
        EXPECT_EQ(Out.Attr, C.New);
        Out.FlushBuf();
        EXPECT_EQ(TakeWrites(), C.Sent[0] ? Writes{C.Sent} : Writes{});
        EXPECT_EQ(ReadOutput(), C.Sent);
    }
}

TEST_F(WriterTest, EverySgrChangeLeavesTheTerminalInTheNewAttribute) {
    TOutputLinux Out(true);
    for (int Old = 0; Old < 256; ++Old) {
        for (int New = 0; New < 256; ++New) {
            Out.Attr = static_cast<uint8_t>(Old);
            TermModel T;
            T.SetPc(Out.Attr);
            const std::string S = Out.AttrToAnsi(static_cast<uint8_t>(New));
            T.Feed(S);
            ASSERT_EQ(T.PcAttr(), New) << "from " << Old << " sent " << testing::PrintToString(S);
            if (Old != New) {
                ASSERT_NE(S, "\033[m");
            }
        }
    }
    Out.Attr = 7;
}

TEST_F(WriterTest, MoveCursorLimitsAndFlushesOnce) {
    struct Case {
        uint8_t X, Y;
        const char* Sent;
        uint8_t TrackedX, TrackedY;
    } Cases[] = {
        {0, 0, "\033[1;1H", 1, 1},       {90, 30, "\033[25;80H", 80, 25},
        {80, 25, "\033[25;80H", 80, 25}, {1, 26, "\033[25;1H", 1, 25},
        {81, 1, "\033[1;80H", 80, 1},    {12, 7, "\033[7;12H", 12, 7},
    };
    TOutputLinux Out(true);
    Settle();
    for (const Case& C : Cases) {
        Out.MoveCursor(C.X, C.Y);
        EXPECT_EQ(TakeWrites(), Writes{C.Sent});
        EXPECT_EQ(Out.CurX, C.TrackedX);
        EXPECT_EQ(Out.CurY, C.TrackedY);
    }
    Out.SetAttr(0x0F);
    Out.MoveCursor(2, 3); // the queue goes out with the move, in one write
    EXPECT_EQ(TakeWrites(), Writes{"\033[1m\033[3;2H"});
}

TEST_F(WriterTest, ClearWindowWholeScreenAndScrollWindow) {
    TOutputLinux Out(true);
    Out.PutText("junk");
    Out.SetAttr(0x1F);
    Settle();
    Out.ClearWindow();
    EXPECT_EQ(TakeWrites(), (Writes{"\033[1;44m", "\033[2J\033[1;1H"}));
    for (int Y = 1; Y <= 50; ++Y)
        for (int X = 1; X <= 80; ++X) ASSERT_EQ(Out.Shadow[Y][X], (TCharInfo{0x1F, ' '}));

    Out.SetAttr(7);
    Out.WriteAt(1, 2, 7, "two");
    Out.WriteAt(1, 6, 7, "six");
    Out.MoveCursor(9, 4);
    Out.SetScrollRegion(1, 3, 80, 5, false); // cursor inside: no move
    Settle();
    Out.ClearWindow();
    EXPECT_EQ(TakeWrites(),
              (Writes{"\033[3;5r", "\033[3;1H\033[K\033[4;1H\033[K\033[5;1H\033[K\033[3;1H"}));
    EXPECT_EQ(Out.CharAt(1, 2), 't');
    EXPECT_EQ(Out.CharAt(1, 6), 's');
    EXPECT_EQ(Out.Shadow[4][9], (TCharInfo{7, ' '}));
    EXPECT_EQ(Out.CurX, 1);
    EXPECT_EQ(Out.CurY, 3);
}

TEST_F(WriterTest, OnlyTheFlushPointsWrite) {
    TOutputLinux Out(true);
    Settle();
    Out.SetAttr(0x1F);
    Out.ClearToEol();
    Out.BufWrite("abc");
    Out.PutChar('x');
    Out.PutChar('\r');
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_EQ(Out.Shadow[1][1], (TCharInfo{0x1F, 'x'}));
    EXPECT_EQ(Out.CharAt(2, 1), ' '); // ClearToEol leaves the shadow alone
    Out.PutChar('\n');
    EXPECT_EQ(TakeWrites(), Writes{"\033[1;44m\033[Kabcx\r\n"});
    Out.PutText("");
    EXPECT_TRUE(TakeWrites().empty()); // an empty queue is not written
}

TEST_F(WriterTest, QueueWritesExactly1024AndThe1025thStartsAnew) {
    TOutputLinux Out(true);
    Settle();
    const std::string A(1023, 'a');
    Out.BufWrite(A);
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_EQ(Out.OutLen, 1023);
    Out.BufWrite("bc");
    EXPECT_EQ(TakeWrites(), Writes{A + "b"});
    EXPECT_EQ(Out.OutLen, 1);
    Out.FlushBuf();
    EXPECT_EQ(TakeWrites(), Writes{"c"});

    Out.BufWrite(std::string(2049, 'z'));
    const Writes W = TakeWrites();
    ASSERT_EQ(W.size(), 2u);
    EXPECT_EQ(W[0].size(), 1024u);
    EXPECT_EQ(W[1].size(), 1024u);
    EXPECT_EQ(Out.OutLen, 1);
    Out.FlushBuf();
    EXPECT_EQ(ReadOutput(), A + "bc" + std::string(2049, 'z'));
}

TEST_F(WriterTest, PutLineCutsTheLineEndPast253Characters) {
    struct Case {
        size_t Len;
        std::string Sent;
        uint8_t X, Y;
    } Cases[] = {
        {253, std::string(253, 'x') + "\r\n", 1, 5},
        {254, std::string(254, 'x') + "\r", 1, 4},
        {255, std::string(255, 'x'), 16, 4},
        {300, std::string(255, 'x'), 16, 4},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Len);
        TOutputLinux Out(true);
        Settle();
        Out.PutLine(std::string(C.Len, 'x'));
        // Wraps at column 80 flush; the rest waits for a line feed.
        const size_t Flushed = TotalBytes(TakeWrites());
        EXPECT_EQ(Flushed, C.Len == 253 ? C.Sent.size() : 240u);
        EXPECT_EQ(Out.CurX, C.X);
        EXPECT_EQ(Out.CurY, C.Y);
        Out.FlushBuf();
        EXPECT_EQ(ReadOutput(), C.Sent);
    }
}

TEST_F(WriterTest, PutCharTracksCursorAndShadowWithoutScrolling) {
    TOutputLinux Out(true);
    Out.MoveCursor(80, 10);
    Settle();
    Out.PutChar('Z');
    EXPECT_EQ(TakeWrites(), Writes{"Z"}); // a wrap from column 80 flushes
    EXPECT_EQ(Out.Shadow[10][80], (TCharInfo{7, 'Z'}));
    EXPECT_EQ(Out.CurX, 1);
    EXPECT_EQ(Out.CurY, 11);

    Out.WriteAt(1, 24, 7, "above");
    Out.MoveCursor(80, 25);
    const TConsoleScreenRec Before = Out.Shadow;
    Settle();
    Out.PutChar('Q');
    EXPECT_EQ(TakeWrites(), Writes{"Q"});
    EXPECT_EQ(Out.CurX, 1);
    EXPECT_EQ(Out.CurY, 25);
    Out.PutChar('\n');
    EXPECT_EQ(Out.CurY, 25);
    TConsoleScreenRec Want = Before;
    Want[25][80] = TCharInfo{7, 'Q'};
    EXPECT_EQ(Out.Shadow, Want); // nothing moved up

    // Tab and escape are one stand-in cell each; BS and CR only move.
    Out.MoveCursor(5, 3);
    for (char C : std::string("\t\033\b\b\b\b\b\b")) Out.PutChar(C);
    EXPECT_EQ(Out.Shadow[3][5], (TCharInfo{7, ControlStandIn}));
    EXPECT_EQ(Out.Shadow[3][6], (TCharInfo{7, ControlStandIn}));
    EXPECT_EQ(Out.CurX, 1);
    Out.MoveCursor(9, 3);
    Out.PutChar('\r');
    EXPECT_EQ(Out.CurX, 1);
    EXPECT_EQ(Out.CharAt(9, 3), ' ');
}

TEST_F(WriterTest, WriteAtCostsThreeWritesAndPutsBackAttrAndCursor) {
    TOutputLinux Out(true);
    Out.MoveCursor(5, 5);
    Settle();
    Out.WriteAt(10, 3, 0x1F, "Hi");
    EXPECT_EQ(TakeWrites(), (Writes{"\033[3;10H", "\033[1;44mHi", "\033[0m\033[5;5H"}));
    EXPECT_EQ(Out.Shadow[3][10], (TCharInfo{0x1F, 'H'}));
    EXPECT_EQ(Out.Shadow[3][11], (TCharInfo{0x1F, 'i'}));
    EXPECT_EQ(Out.Attr, 7);
    EXPECT_EQ(Out.CurX, 5);
    EXPECT_EQ(Out.CurY, 5);
}

TEST_F(WriterTest, WriteAtPipedCodeRules) {
    struct Case {
        int32_t Width;
        const char* S;
        const char* Middle; // what is queued between the two cursor moves
    } Cases[] = {
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
    TOutputLinux Out(true);
    Out.WriteAt(1, 1, 7, "keep");
    Out.MoveCursor(7, 8);
    const TConsoleScreenRec Before = Out.Shadow;
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.S);
        Settle();
        Out.WriteAtPiped(1, 1, 7, C.Width, C.S);
        EXPECT_EQ(TakeWrites(), (Writes{"\033[1;1H", std::string(C.Middle) + "\033[8;7H"}));
        EXPECT_EQ(Out.Shadow, Before);
        EXPECT_EQ(Out.Attr, 7);
        EXPECT_EQ(Out.CurX, 7);
        EXPECT_EQ(Out.CurY, 8);
    }
}

TEST_F(WriterTest, WritePipedCodeRules) {
    struct Case {
        const char* S;
        const char* Sent;
        const char* Shadow; // characters now in line 1 from column 1
        uint8_t Attr;
    } Cases[] = {
        {"|24x", "|24x", "|24x", 7}, // 24 and up are text here
        {"a|b", "a|b", "a|b", 7},
        {"|14ab", "\033[1;33mab", "ab", 14},
        {"|00x|23y", "\033[30mx\033[0;30;47my", "xy", 0x70},
        {"|$1x", "|$1x", "|$1x", 7}, // "&" and "$" are text here
        {"|&1x", "|&1x", "|&1x", 7},
        {"x|", "x|", "x|", 7},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.S);
        TOutputLinux Out(true);
        Settle();
        Out.WritePiped(C.S);
        EXPECT_EQ(TakeWrites(), Writes{C.Sent}); // one write, at the end
        const std::string Want = C.Shadow;
        for (size_t I = 0; I < Want.size(); ++I)
            EXPECT_EQ(Out.CharAt(static_cast<uint8_t>(I + 1), 1), Want[I]);
        EXPECT_EQ(Out.CurX, static_cast<uint8_t>(Want.size() + 1));
        EXPECT_EQ(Out.Attr, C.Attr);
    }
}

TEST_F(WriterTest, RestoreRegionSendsOneMovePerLineAndSgrOnlyOnChange) {
    TOutputLinux Out(true);
    Out.WriteAt(3, 2, 0x1F, "AB");
    Out.WriteAt(5, 2, 7, "C");
    Out.WriteAt(3, 3, 0x70, "DEF");
    Out.MoveCursor(9, 9);
    Out.SetAttr(0x0E);
    TConsoleImageRec Img;
    Out.SaveRegion(3, 2, 5, 3, Img);
    EXPECT_EQ(Img.Data[1][1], (TCharInfo{0x1F, 'A'}));
    EXPECT_EQ(Img.Data[2][3], (TCharInfo{0x70, 'F'}));
    EXPECT_EQ(Img.Data[1][4], (TCharInfo{})); // outside the region: zero
    EXPECT_EQ((std::vector<int>{Img.CursorX, Img.CursorY, Img.CursorAttr, Img.X1, Img.X2, Img.Y1,
                                Img.Y2}),
              (std::vector<int>{9, 9, 0x0E, 3, 5, 2, 3}));

    Out.SetAttr(7);
    Out.ClearWindow();
    Out.MoveCursor(1, 20);
    Settle();
    Out.RestoreRegion(Img);
    EXPECT_EQ(TakeWrites(), (Writes{"\033[2;3H", "\033[1;44mAB\033[0mC\033[3;3H",
                                    "\033[30;47mDEF\033[0;1;33m\033[9;9H"}));
    EXPECT_EQ(Out.Shadow[2][3], (TCharInfo{0x1F, 'A'}));
    EXPECT_EQ(Out.Shadow[3][5], (TCharInfo{0x70, 'F'}));
    EXPECT_EQ(Out.Attr, 0x0E);
    EXPECT_EQ(Out.CurX, 9);
    EXPECT_EQ(Out.CurY, 9);
}

TEST_F(WriterTest, SaveRestoreRoundTripUndoesPipedWritesOnTheTerminal) {
    TermModel Term;
    TOutputLinux Out(true);
    auto Sync = [&] { Term.Feed(ReadOutput()); };
    Out.SetAttr(0x17);
    Out.ClearWindow();
    for (uint8_t Y = 1; Y <= 24; ++Y)
        Out.WriteAt(1, Y, static_cast<uint8_t>(Y * 9), std::string(80, static_cast<char>('A' + Y)));
    Out.PutText("wrapping text"); // from column 1 of line 1, then the cursor stays
    Out.MoveCursor(70, 25);
    Out.PutText("0123456789A"); // ends at column 80: the tracked cursor wraps
    Out.SetAttr(0x4E);
    Sync();
    ExpectShadowMatches(Out, Term);

    TConsoleImageRec Img;
    Out.SaveRegion(1, 1, 80, 25, Img);
    const TConsoleScreenRec Before = Out.Shadow;
    const uint8_t X = Out.CurX, Y = Out.CurY;
    Out.WriteAtPiped(10, 5, 7, 30, "|12over|20written |07by pipes");
    Out.WriteAtPiped(1, 12, 0x71, 80, "|03the whole line");
    Out.SetAttr(0x07);
    Out.MoveCursor(3, 3);
    Sync();
    Out.RestoreRegion(Img);
    Sync();
    EXPECT_EQ(Out.Shadow, Before);
    EXPECT_EQ(Out.Attr, 0x4E);
    EXPECT_EQ(Out.CurX, X);
    EXPECT_EQ(Out.CurY, Y);
    EXPECT_EQ(Term.PcAttr(), 0x4E);
    ExpectShadowMatches(Out, Term);
    TConsoleImageRec Again;
    Out.SaveRegion(1, 1, 80, 25, Again);
    EXPECT_EQ(Again, Img);
}

TEST_F(WriterTest, RegionsAndCellReadersStayInsideTheShadow) {
    TOutputLinux Out(true);
    Out.Shadow[50][80] = TCharInfo{0x2A, 'e'};
    Out.Shadow[1][1] = TCharInfo{0x2B, 's'};
    EXPECT_EQ(Out.CharAt(80, 50), 'e');
    EXPECT_EQ(Out.AttrAt(80, 50), 0x2A);
    for (auto [X, Y] : {std::pair<uint8_t, uint8_t>{0, 5}, {81, 5}, {5, 0}, {5, 51}, {255, 255}}) {
        EXPECT_EQ(Out.CharAt(X, Y), ' ');
        EXPECT_EQ(Out.AttrAt(X, Y), 0);
    }

    TConsoleImageRec Img;
    Out.SaveRegion(75, 48, 120, 90, Img); // cut at column 80 and line 50
    EXPECT_EQ(Img.Data[3][6], (TCharInfo{0x2A, 'e'}));
    EXPECT_EQ(Img.Data[3][7], (TCharInfo{}));
    EXPECT_EQ(Img.X2, 120);
    EXPECT_EQ(Img.Y2, 90);
    Out.SaveRegion(0, 0, 2, 2, Img); // column 0 and line 0 do not exist
    EXPECT_EQ(Img.Data[2][2], (TCharInfo{0x2B, 's'}));
    EXPECT_EQ(Img.Data[1][1], (TCharInfo{}));

    // Restoring it puts cell (2, 2) back on (1, 1) and touches nothing else.
    Out.Shadow[1][1] = TCharInfo{7, 'o'};
    const bool ActiveBefore = Out.Active;
    TConsoleScreenRec Want = Out.Shadow;
    Want[1][1] = TCharInfo{0x2B, 's'};
    Want[1][2] = Img.Data[2][3];
    Want[2][1] = Img.Data[3][2];
    Want[2][2] = Img.Data[3][3];
    Out.RestoreRegion(Img);
    EXPECT_EQ(Out.Shadow, Want);

    // A region as large as the bytes allow restores the 50 x 80 that exist.
    TConsoleImageRec Big{};
    Big.X1 = 1;
    Big.X2 = 255;
    Big.Y1 = 1;
    Big.Y2 = 255;
    Big.Data[50][80] = TCharInfo{0x11, 'L'};
    Out.RestoreRegion(Big);
    EXPECT_EQ(Out.Shadow[50][80], (TCharInfo{0x11, 'L'}));
    EXPECT_EQ(Out.Active, ActiveBefore);
    ReadOutput();
}

TEST_F(WriterTest, ScreenLinesAndScrollWindow) {
    TOutputLinux Out(true);
    Out.BufWrite("q");
    Settle();
    Out.SetScreenLines(50);
    EXPECT_EQ(TakeWrites(), (Writes{"q", "\033[8;50;80t"}));
    EXPECT_EQ(Out.OutLen, 7); // "\e[1;50r" stays queued: the cursor is inside
    EXPECT_EQ(Out.WinBottom, 50);
    EXPECT_EQ(Out.ScreenLines, 50);
    Out.MoveCursor(1, 40);
    EXPECT_EQ(TakeWrites(), Writes{"\033[1;50r\033[25;1H"}); // lines stop at 25
    for (int I = 0; I < 30; ++I) Out.PutChar('\n');
    EXPECT_EQ(Out.CurY, 50); // line feeds go down to the window's bottom
    Out.PutChar('w');
    EXPECT_EQ(Out.Shadow[50][1], (TCharInfo{7, 'w'}));
    Out.SetScrollRegion(1, 3, 80, 10, true);
    Writes Want(30, "\n"); // every line feed flushes, also on the last line
    Want.push_back("w\033[3;10r\033[3;1H");
    EXPECT_EQ(TakeWrites(), Want);
    EXPECT_EQ(Out.CurY, 3);
    ReadOutput();
}
