// The message list's jump prompt on the pty, looked at while it waits for a
// key: its field holds 18 characters, shows them without scrolling, draws
// nothing right of itself, and the number typed decides the page.
#include "app/MainProgram.h"
#include "app/MsgPages.h"
#include "jam/JamBase.h"
#include "terminal/Console.h"
#include "tests/common/BoxFixture.h"
#include "tests/common/JamFixture.h"
#include "tests/common/TempDirFixture.h"
#include "ui/Dialogs.h"
#include "ui/LightBar.h"
#include "ui/MenuBox.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

class JumpPrompt : public BoxFixture {
protected:
    void SetUp() override {
        BoxFixture::SetUp();
        InitDialogs();
        JamFixture f;
        for (int i = 1; i <= 50; ++i) f.AddSimple("F", "T", "S" + std::to_string(i), "");
        f.Write(Dir / "base");
        Base = std::make_unique<TJamBase>();
        Base->BasePath = Dir / "base";
        ASSERT_TRUE(Base->Open());
        MsgList = std::make_unique<TBar>();
        TopMsg = 29;
    }
    void TearDown() override {
        MsgList.reset();
        Base.reset();
        BoxFixture::TearDown();
    }
    // Row 12 from column 59 to the screen's edge: the panel right of the
    // field and what lies beside the panel.
    static std::vector<TCharInfo> RightOfTheField() {
        std::vector<TCharInfo> cells;
        for (int x = 59; x <= 80; ++x) cells.push_back(Screen->Shadow[12][x]);
        return cells;
    }
    TempDir Dir;
};

TEST_F(JumpPrompt, FieldTakesEighteenCharactersAndDrawsNothingRightOfIt) {
    // The panel as the prompt draws it, before any field is in it.
    DrawPanel(30, 9, 60, 14, 0);
    const std::vector<TCharInfo> beside = RightOfTheField();
    const std::string digits = "000000000000000007";
    OnIdle({[&] {
                ExpectRun(32, 12, "Jump To:", 0x70);
                ExpectRun(41, 12, std::string(18, '\xB0'), 0x17);
                EXPECT_EQ(RightOfTheField(), beside);
                return digits + "5"; // one character more than the field takes
            },
            [&] {
                ExpectRun(41, 12, digits, 0x1F); // all of it, not scrolled
                EXPECT_EQ(RightOfTheField(), beside);
                EXPECT_EQ(WhereX(), 59); // the column right of the window, left free
                return "\r";
            }},
           "\r");
    JumpTo();
    EXPECT_EQ(TopMsg, 7);
    EXPECT_EQ(RowMsg(0), 7);
    EXPECT_EQ(MsgList->Index, 0);
}

} // namespace
