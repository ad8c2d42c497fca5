// The large message information panel on the pty, read back from the
// shadow screen: labels always, values and attribute names only for a message
// whose header reads, and nothing written past column 80.
#include "app/MainProgram.h"
#include "app/MsgInfo.h"
#include "jam/JamBase.h"
#include "terminal/Console.h"
#include "tests/common/BoxFixture.h"
#include "tests/common/JamFixture.h"
#include "tests/common/PtyFixture.h"
#include "tests/common/ScreenText.h"
#include "tests/common/TempDirFixture.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

const std::string Labels[] = {"From     :", "To       :", "Subject  :", "Kludge   :",
                              "Seen By  :", "ZUTCINFO :", "Path2D   :", "Trace    :"};

class MsgInfoScreen : public ConsolePtyFixture {
protected:
    void SetUp() override {
        ConsolePtyFixture::SetUp();
        JamFixture f;
        FixMsg m;
        m.Hdr.Attribute = MSG_LOCAL | MSG_DELETED | MSG_SENT | MSG_ENCRYPT;
        m.Subfields = SubBytes(SENDERNAME, "Joe |15Sysop") + SubBytes(RECEIVERNAME, "All") +
                      SubBytes(SUBJECT, "Subject line") +
                      SubBytes(FTSKLUDGE, "MSGID: " + std::string(60, 'k')) +
                      SubBytes(SEENBY2D, std::string(100, 's')) + SubBytes(TZUTCINFO, "0100") +
                      SubBytes(PATH2D, "2:240/1");
        f.Add(m);
        f.Write(Dir / "base");
        Base = std::make_unique<TJamBase>();
        Base->BasePath = Dir / "base";
        ASSERT_TRUE(Base->Open());
        SetTextAttr(7);
        ClearScreen();
    }
    void TearDown() override {
        Base.reset();
        ConsolePtyFixture::TearDown();
    }
    void ExpectLabels() {
        EXPECT_EQ(ScreenRowText(11, 4, 15), "Message Info");
        EXPECT_EQ(ScreenRowAttrs(11, 4, 15), std::string(12, '\x1F'));
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(ScreenRowText(12 + i, 4, 13), Labels[i]);
            EXPECT_EQ(ScreenRowAttrs(12 + i, 4, 13), std::string(10, '\x70'));
        }
        EXPECT_EQ(ScreenRowText(21, 3, 79), " Attributes" + std::string(66, ' '));
        EXPECT_EQ(ScreenRowAttrs(21, 3, 79), std::string(77, '\x1F'));
    }

    TempDir Dir;
};

TEST_F(MsgInfoScreen, ShowsValuesAndAttributeNamesOfAReadableHeader) {
    ShowMessageInfo(1);
    ExpectLabels();
    const std::vector<std::string> values = {
        "Joe |15Sysop",
        "All",
        "Subject line",
        "MSGID: " + std::string(43, 'k'),
        std::string(66, 's'), // cut at the screen's edge, not wrapped
        "0100",
        "2:240/1"};
    for (std::size_t i = 0; i < values.size(); ++i) {
        int y = 12 + static_cast<int>(i);
        int end = 14 + static_cast<int>(values[i].size());
        EXPECT_EQ(ScreenRowText(y, 15, end), values[i]) << "row " << y;
        EXPECT_EQ(ScreenRowAttrs(y, 15, end), std::string(values[i].size(), '\x7F'));
    }
    EXPECT_EQ(ScreenRowText(17, 15, 20), "0100  ");
    EXPECT_EQ(ScreenRowText(19, 14, 20), std::string(7, ' '));
    struct Name {
        int X;
        std::string Text;
        char Attr;
    };
    const Name names[] = {
        {4, "Local", '\x7F'},    {10, "Crash", '\x78'},     {16, "Deleted", '\x7F'},
        {24, "Receipt", '\x78'}, {33, "Sent", '\x7F'},      {38, "File_Att.", '\x78'},
        {48, "Private", '\x78'}, {56, "Encrypted", '\x7F'},
    };
    for (const Name& n : names) {
        int end = n.X + static_cast<int>(n.Text.size()) - 1;
        EXPECT_EQ(ScreenRowText(22, n.X, end), n.Text);
        EXPECT_EQ(ScreenRowAttrs(22, n.X, end), std::string(n.Text.size(), n.Attr)) << n.Text;
    }
}

TEST_F(MsgInfoScreen, ShowsOnlyTheLabelsWithoutAReadableHeader) {
    for (int32_t msgNo : {-1, 0, 2}) {
        SCOPED_TRACE(msgNo);
        ClearScreen();
        ShowMessageInfo(msgNo);
        ExpectLabels();
        for (int y = 12; y <= 19; ++y) EXPECT_EQ(ScreenRowText(y, 15, 78), std::string(64, ' '));
        EXPECT_EQ(ScreenRowText(22, 4, 64), std::string(61, ' '));
    }
}

// A sender's name is outside data: in the box that says it has no last-read
// record, its CR, LF and BS are cells like any other byte, on the shadow and
// on the terminal, and the box keeps its place.
class LastReadBox : public BoxFixture {
protected:
    void SetUp() override {
        BoxFixture::SetUp();
        JamFixture f;
        f.Add(FixMsg{});
        f.Write(Dir / "base");
        Base = std::make_unique<TJamBase>();
        Base->BasePath = Dir / "base";
        ASSERT_TRUE(Base->Open());
    }
    void TearDown() override {
        Base.reset();
        BoxFixture::TearDown();
    }
    TempDir Dir;
};

TEST_F(LastReadBox, SenderControlBytesStayInTheBox) {
    Base->MsgFrom = "Evil\rXX\nYY\b\bZ";
    const std::string shown = "User Evil.XX.YY..Z not found in Index."; // 38: text from column 22
    OnIdle({[&] {
               ExpectRun(22, 12, shown, 0x7F);
               EXPECT_EQ(Text(1, 12, 2), "MN"); // the pattern left of the box is untouched
               return "\r";
           }},
           "\r");
    drain.reset();
    ReadOutput();
    ShowLastRead();
    const std::string got = ReadOutput();
    const size_t at = got.find("\x1b[12;22H");
    ASSERT_NE(at, std::string::npos) << Hex(got);
    EXPECT_NE(got.find(shown, at), std::string::npos) << Hex(got);
    for (char move : {'\b', '\r', '\n'}) EXPECT_EQ(got.find(move), std::string::npos) << Hex(got);
    ExpectPatternBack();
}

} // namespace
