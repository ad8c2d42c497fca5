// What the whole program shows, in tmux: list rows whose names and subjects
// hold a "|" that starts no colour code, a terminal smaller than the screen,
// a base whose name holds a dot, and the help screen's word on stopping a
// search. Each test builds its bases byte by byte, starts the real quorvex in
// a detached session of its own and checks that the terminal came back.

#include "tests/common/JamFixture.h"
#include "tests/common/ProgramTmux.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace {

#ifndef QUORVEX_EMULATOR
#define QUORVEX_EMULATOR ""
#endif

class ScreenTmux : public ProgramTmux {
protected:
    // quorvex with Args (already quoted) in a Width x Height pane.
    void StartArgs(const std::string& Args, int Width = 80, int Height = 25) {
        TmuxRun run;
        run.Dir = Dir.Path();
        run.Program = QUORVEX_PATH;
        run.Emulator = QUORVEX_EMULATOR;
        run.Args = Args;
        run.Width = Width;
        run.Height = Height;
        Start(run);
    }
    // F written as Dir/base and opened; a base of the one message "Hello"
    // when none is given.
    void StartBase(JamFixture F = HelloBase(), int Width = 80, int Height = 25) {
        F.Write(Dir / "base");
        StartArgs(ShellQuote(Dir / "base"), Width, Height);
    }
    static JamFixture HelloBase() {
        JamFixture f;
        f.AddSimple("Joe", "Ann", "Hello", "line\r");
        return f;
    }

    TempDir Dir;
};

// Names and a subject full of "|" groups that are no colour codes: the row
// shows every one of them and still ends in its flag letter at column 70.
TEST_F(ScreenTmux, BarsThatStartNoColourCodeKeepTheRowWhole) {
    JamFixture f;
    f.AddSimple("Trail|", "Two|1", "a|bc d|ef g|hi j|kl", "Write to joe@example.org\r");
    StartBase(f);
    const std::string want =
        "00001 a|bc d|ef g|hi j|kl              Trail|         Two|1          E";
    if (!Tm->WaitUntil([&] { return Tm->Rows()[2] == want; }))
        ADD_FAILURE() << "never saw the row \"" << want << "\":\n" << ScreenText();
    QuitAndExpectCleanEnd();
}

// A terminal smaller than 80x25 is told so once at start-up, before the base
// is opened; after the key the program goes on as on a full screen. A full
// screen gets no box: the list shows at once.
TEST_F(ScreenTmux, ASmallTerminalIsToldTheScreensSize) {
    const struct {
        int Width, Height;
        bool Told;
    } cases[] = {{80, 24, true}, {79, 25, true}, {80, 25, false}, {100, 30, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Width) + "x" + std::to_string(c.Height));
        StartBase(HelloBase(), c.Width, c.Height);
        if (c.Told) {
            WaitText("needs 80 columns and 25 rows");
            EXPECT_EQ(ScreenText().find("00001"), std::string::npos); // not opened yet
            Tm->Key("Enter");
        }
        WaitText("00001 Hello");
        EXPECT_EQ(ScreenText().find("needs 80 columns"), std::string::npos) << ScreenText();
        QuitAndExpectCleanEnd();
    }
}

// my.echo.jhr and its kin open by the name my.echo; a name whose ".jhr" file
// does not exist still loses its extension, so my.other and my open base my.
TEST_F(ScreenTmux, ABaseWhoseNameHoldsADotOpensByItsName) {
    std::filesystem::create_directory(Dir / "dir");
    JamFixture dotted, plain;
    dotted.AddSimple("Joe", "Ann", "Dotted base", "line\r");
    plain.AddSimple("Joe", "Ann", "Plain base", "line\r");
    dotted.Write(Dir / "dir/my.echo");
    plain.Write(Dir / "dir/my");
    const struct {
        const char* Arg;
        const char* Row;
    } cases[] = {
        {"dir/my.echo", "00001 Dotted base"},
        {"dir/my.echo.jdx", "00001 Dotted base"},
        {"dir/my.other", "00001 Plain base"},
        {"dir/my", "00001 Plain base"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Arg);
        StartArgs(ShellQuote(c.Arg));
        WaitText(c.Row);
        QuitAndExpectCleanEnd();
    }
}

// The help says that Esc stops a search, and still fits its one page: the
// viewer's status line reads 100%.
TEST_F(ScreenTmux, HelpSaysEscStopsASearch) {
    StartBase();
    WaitText("00001 Hello");
    Tm->Type("H");
    WaitText("Esc stops a running search and lists the hits so far");
    WaitText("100%");
    Tm->Key("Escape");
    WaitText("00001 Hello");
    QuitAndExpectCleanEnd();
}

} // namespace
