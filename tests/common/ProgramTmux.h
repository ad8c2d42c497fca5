#pragma once
// A whole-program test in tmux: skipped where tmux is missing; every Start
// runs the program on a tmux server of its own, named after the test and a
// running count, so the cases of one test never meet. The program and its
// emulator come from the test program's build (QUORVEX_PATH and
// QUORVEX_EMULATOR), which passes them in Run.

#include "tests/common/TmuxSession.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

class ProgramTmux : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { Tm.reset(); } // takes the server down

    // Run on a fresh server; Run.Record is set, so the end can be checked.
    void Start(TmuxRun Run);
    std::string ScreenText() const;
    // Fails the test (and goes on) when Text never shows.
    void WaitText(const std::string& Text);
    // Esc and Enter: the program ends with exit code 0 and puts the terminal
    // settings back as it found them.
    void QuitAndExpectCleanEnd();

    std::unique_ptr<TmuxSession> Tm;

private:
    int FStarted = 0;
};
