// Screen images edited in memory and the run-length screen decoder: what the
// decoder shows on a pseudo-terminal, and that neither the image operations
// nor the decoder reach outside the 50 x 80 cells of an image or the shadow.

#include "terminal/m_Output_Linux.h"
#include "tests/common/PtyFixture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Writes = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

class ImageTest : public PtyFixture {
protected:
    void Settle() {
        ReadOutput();
        ClearWrites();
    }
    void Show(TOutputLinux& Out, const Bytes& B, uint8_t X2 = 80, uint8_t X1 = 1, uint8_t Y1 = 1) {
        Out.ShowCrunched(B.data(), static_cast<int32_t>(B.size()), X2, X1, Y1);
    }
};

// Empty image cells (#0) go out, and stay in the shadow, as blanks.
std::string Empty(size_t N) {
    return std::string(N, ' ');
}

std::string LineText(const TOutputLinux& Out, int Y, int From, int To) {
    std::string S;
    for (int X = From; X <= To; ++X) S += Out.Shadow[Y][X].Ch;
    return S;
}

} // namespace

TEST_F(ImageTest, ShowCrunchedRunsAndLineBreak) {
    TOutputLinux Out(true);
    Settle();
    Show(Out, {26, 2, 'x', 24, 25, 1});
    EXPECT_EQ(TakeWrites(), (Writes{"\033[1;1H", "xxx\033[30m" + Empty(77) + "\033[2;1H",
                                    "\033[0m  \033[30m" + Empty(78) + "\033[0m\033[2;3H"}));
    EXPECT_EQ(Out.Shadow[1][3], (TCharInfo{7, 'x'}));
    EXPECT_EQ(Out.Shadow[1][4], (TCharInfo{0, ' '}));
    EXPECT_EQ(Out.Shadow[2][2], (TCharInfo{7, ' '}));
    EXPECT_EQ(Out.Shadow[2][3], (TCharInfo{0, ' '}));
    EXPECT_EQ(Out.Shadow[3][1], (TCharInfo{7, ' '})); // below the stream: untouched
    EXPECT_EQ(Out.Attr, 7);
    EXPECT_EQ(Out.CurX, 3);
    EXPECT_EQ(Out.CurY, 2);
}

TEST_F(ImageTest, ShowCrunchedColourCommandsOnly) {
    TOutputLinux Out(true);
    Settle();
    Show(Out, {1, 17});
    EXPECT_EQ(TakeWrites(),
              (Writes{"\033[1;1H", "\033[30m" + Empty(80) + "\033[0;34;44m\033[1;1H"}));
    EXPECT_EQ(Out.Attr, 0x11);
    EXPECT_EQ(Out.CurX, 1);
    EXPECT_EQ(Out.CurY, 1);
}

TEST_F(ImageTest, ShowCrunchedStaysInsideImageAndStream) {
    struct Case {
        const char* Name;
        Bytes Stream;
        uint8_t X2, X1, Y1;
        std::string Line1, Line1End; // shadow line 1, columns 1-8 and 73-80, afterwards
        uint8_t CurX, CurY, Attr;
    } Cases[] = {
        {"blank group cut short", {'a', 25}, 80, 1, 1, "a" + Empty(7), Empty(8), 2, 1, 7},
        {"run group cut short", {'a', 26, 5}, 80, 1, 1, "a" + Empty(7), Empty(8), 2, 1, 7},
        {"run without its character", {26}, 80, 1, 1, Empty(8), Empty(8), 1, 1, 7},
        {"ignored commands",
         {27, 28, 'b', 31, 2, 'c'},
         80,
         1,
         1,
         "bc" + Empty(6),
         Empty(8),
         3,
         1,
         2},
        // The column runs on past 80; the cursor stops at the last column.
        {"run past column 80", {26, 255, 'y', 'z'}, 80, 1, 1, "yyyyyyyy", "yyyyyyyy", 80, 1, 7},
        {"region inside the line", {'a', 'b', 'c', 'd'}, 7, 5, 1, "    abc ", "        ", 5, 1, 7},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        TOutputLinux Out(true);
        Show(Out, C.Stream, C.X2, C.X1, C.Y1);
        EXPECT_EQ(LineText(Out, 1, 1, 8), C.Line1);
        EXPECT_EQ(LineText(Out, 1, 73, 80), C.Line1End);
        EXPECT_EQ(Out.Shadow[2][1], (TCharInfo{7, ' '}));
        EXPECT_EQ(Out.CurX, C.CurX);
        EXPECT_EQ(Out.CurY, C.CurY);
        EXPECT_EQ(Out.Attr, C.Attr);
        ReadOutput();
    }
}

TEST_F(ImageTest, ShowCrunchedLinesBeyondTheScreenAreDropped) {
    TOutputLinux Out(true);
    Out.Shadow[26][1] = TCharInfo{0x2C, 'k'};
    Out.Shadow[50][1] = TCharInfo{0x2C, 'k'};
    Bytes B{'t'};
    B.insert(B.end(), 49, 24); // to line 50, the image's last
    B.push_back('w');
    B.insert(B.end(), 300, 24); // far below the image
    B.push_back('z');
    Show(Out, B);
    EXPECT_EQ(Out.Shadow[1][1], (TCharInfo{7, 't'}));
    for (int Y = 2; Y <= 25; ++Y) ASSERT_EQ(Out.Shadow[Y][1], (TCharInfo{0, ' '})) << Y;
    // Only the screen's 25 lines are shown: lines 26-50 keep what they had.
    EXPECT_EQ(Out.Shadow[26][1], (TCharInfo{0x2C, 'k'}));
    EXPECT_EQ(Out.Shadow[50][1], (TCharInfo{0x2C, 'k'}));
    EXPECT_EQ(Out.CurX, 2);
    EXPECT_EQ(Out.CurY, 25);
    ReadOutput();
}

TEST_F(ImageTest, ShowCrunchedPlacesTheImageFromLineY1) {
    // The region's bottom line is the last decoded line itself, so an image
    // shown from line Y1 > 1 loses its last Y1 - 1 lines.
    TOutputLinux Out(true);
    Show(Out, {'a', 24, 'b', 24, 'c'}, 80, 1, 2);
    EXPECT_EQ(Out.Shadow[1][1], (TCharInfo{7, ' '}));
    EXPECT_EQ(Out.Shadow[2][1], (TCharInfo{7, 'a'}));
    EXPECT_EQ(Out.Shadow[3][1], (TCharInfo{7, 'b'}));
    EXPECT_EQ(Out.Shadow[4][1], (TCharInfo{7, ' '}));
    EXPECT_EQ(Out.CurX, 2);
    EXPECT_EQ(Out.CurY, 3);
    ReadOutput();
}

TEST_F(ImageTest, ImageWritesMoveTheImagesOwnCursor) {
    TOutputLinux Out(true);
    TConsoleImageRec Img{};
    Out.ImageWriteAt(Img, 5, 2, 0x1F, "abc");
    EXPECT_EQ(Img.Data[2][5], (TCharInfo{0x1F, 'a'}));
    EXPECT_EQ(Img.Data[2][7], (TCharInfo{0x1F, 'c'}));
    EXPECT_EQ(Img.Data[2][8], (TCharInfo{}));
    EXPECT_EQ(Img.CursorX, 8);
    EXPECT_EQ(Img.CursorY, 2);
    EXPECT_EQ(Img.CursorAttr, 0x1F);

    Out.ImageGotoXY(Img, 10, 3);
    Out.ImageWrite(Img, 7, "ab");
    EXPECT_EQ(Img.Data[3][10], (TCharInfo{7, 'a'}));
    EXPECT_EQ(Img.Data[3][11], (TCharInfo{7, 'b'}));
    EXPECT_EQ(Img.CursorX, 12);

    Out.ImageSetAttr(Img, 0x4E);
    EXPECT_EQ(Img.CursorAttr, 0x4E);
    Out.ImagePutChar(Img, 0x30, 'q');
    EXPECT_EQ(Img.Data[3][12], (TCharInfo{0x30, 'q'}));

    TConsoleImageRec Copy;
    Out.ImageCopy(Img, Copy);
    EXPECT_EQ(Copy, Img);
    EXPECT_EQ(TakeWrites().size(), 2u); // only the start-up: images are not the terminal
}

TEST_F(ImageTest, ImageOperationsNeverWriteOutsideTheImage) {
    TOutputLinux Out(true);
    TConsoleImageRec Img{};
    const TConsoleImageRec Empty{};
    Out.ImageWriteAt(Img, 78, 1, 7, "abcdef"); // runs off column 80
    EXPECT_EQ(Img.Data[1][80], (TCharInfo{7, 'c'}));
    EXPECT_EQ(Img.Data[2][1], (TCharInfo{}));
    EXPECT_EQ(Img.CursorX, 84);
    Img = Empty;
    for (auto [X, Y] : {std::pair<int32_t, int32_t>{0, 1},
                        {1, 0},
                        {81, 1},
                        {1, 51},
                        {-5, -5},
                        {INT32_MAX, 1},
                        {1, INT32_MIN}})
        Out.ImagePutCell(Img, X, Y, 7, 'x');
    Img.CursorX = Img.CursorY = Img.CursorAttr = 0;
    EXPECT_EQ(Img, Empty);
    Out.ImageWriteAt(Img, INT32_MAX - 1, 1, 7, "abc"); // no overflow into column 1
    Img.CursorX = Img.CursorY = Img.CursorAttr = 0;
    EXPECT_EQ(Img, Empty);
    Out.ImageGotoXY(Img, 200, 100);
    Out.ImageWrite(Img, 7, "zz");
    Img.CursorX = Img.CursorY = Img.CursorAttr = 0;
    EXPECT_EQ(Img, Empty);

    TConsoleLineRec Line;
    Line[1] = TCharInfo{0x1F, 'L'};
    for (uint16_t N : {0, 51, 65535}) Out.ImageSetLine(Line, Img, N);
    EXPECT_EQ(Img, Empty);
    Out.ImageSetLine(Line, Img, 50);
    EXPECT_EQ(Img.Data[50], Line);

    const TConsoleScreenRec Shadow = Out.Shadow;
    for (uint16_t N : {0, 51, 65535}) Out.ImageLineToShadow(Img, N);
    EXPECT_EQ(Out.Shadow, Shadow);
    Out.ImageLineToShadow(Img, 50);
    EXPECT_EQ(Out.Shadow[50], Line);
    EXPECT_EQ(Out.Shadow[49], Shadow[49]);
}

TEST_F(ImageTest, ImageResetBlanksTheShadowButSendsNothing) {
    TOutputLinux Out(true);
    Out.WriteAt(1, 1, 7, "shown");
    Out.SetAttr(0x1F);
    Out.FlushBuf();
    Settle();
    TConsoleImageRec Img;
    Img.Data[4][4] = TCharInfo{9, 'g'};
    Out.ImageReset(Img);
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_EQ(ReadOutput(), "");
    for (int Y = 1; Y <= 50; ++Y)
        for (int X = 1; X <= 80; ++X) ASSERT_EQ(Out.Shadow[Y][X], (TCharInfo{0x1F, ' '}));
    EXPECT_EQ(Img.Data, TConsoleScreenRec{});
    EXPECT_EQ((std::vector<int>{Img.CursorX, Img.CursorY, Img.CursorAttr, Img.X1, Img.X2, Img.Y1,
                                Img.Y2}),
              (std::vector<int>{1, 1, 7, 1, 80, 1, 25}));
}
