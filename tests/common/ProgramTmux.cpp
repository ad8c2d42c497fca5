#include "tests/common/ProgramTmux.h"

#include <unistd.h>
#include <utility>

void ProgramTmux::SetUp() {
    if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
}

void ProgramTmux::Start(TmuxRun Run) {
    Tm.reset();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    Tm = std::make_unique<TmuxSession>("kvp-" + std::to_string(::getpid()) + "-" + info->name() +
                                       "-" + std::to_string(++FStarted));
    Run.Record = true;
    Tm->Start(Run);
}

std::string ProgramTmux::ScreenText() const {
    return JoinRows(Tm->Rows());
}

void ProgramTmux::WaitText(const std::string& Text) {
    if (!Tm->WaitFor(Text)) ADD_FAILURE() << "never saw \"" << Text << "\":\n" << ScreenText();
}

void ProgramTmux::QuitAndExpectCleanEnd() {
    Tm->Key("Escape");
    WaitText("Are you sure to exit?");
    Tm->Key("Enter");
    ASSERT_TRUE(Tm->WaitEnded()) << "the program did not end:\n" << ScreenText();
    EXPECT_EQ(Tm->ExitCode(), "0\n");
    EXPECT_FALSE(Tm->SttyBefore().empty());
    EXPECT_EQ(Tm->SttyAfter(), Tm->SttyBefore());
}
