// What the whole program shows, in tmux: list rows whose names and subjects
// hold a "|" that starts no colour code. Each test builds its bases byte by
// byte, starts the real quorvex in a detached session of its own and checks
// that the terminal came back.

#include "tests/common/JamFixture.h"
#include "tests/common/ProgramTmux.h"

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

} // namespace
