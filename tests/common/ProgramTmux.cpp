#include "tests/common/ProgramTmux.h"

#include <algorithm>
#include <unistd.h>
#include <utility>

void ProgramTmux::SetUp() {
    if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
}

void ProgramTmux::Start(TmuxRun Run) {
    Tm.reset();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // A parameterised test's name holds a "/", which no socket name may.
    std::string name = info->name();
    std::replace(name.begin(), name.end(), '/', '-');
    Tm = std::make_unique<TmuxSession>("kvp-" + std::to_string(::getpid()) + "-" + name + "-" +
                                       std::to_string(++FStarted));
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
    ::QuitAndExpectCleanEnd(*Tm);
}
