// Screen images edited in memory and the run-length screen decoder: what the
// decoder shows on a pseudo-terminal, and that neither the image operations
// nor the decoder reach outside the 50 x 80 cells of an image or the shadow.

#include "terminal/m_Output_Linux.h"
#include "tests/common/PtyFixture.h"
#include "tests/common/ScreenText.h"

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

} // namespace

TEST_F(ImageTest, ShowCrunchedRunsAndLineBreak) {
    TOutputLinux out(true);
    Settle();
    Show(out, {26, 2, 'x', 24, 25, 1});
    EXPECT_EQ(TakeWrites(), (Writes{"\033[1;1H", "xxx\033[30m" + Empty(77) + "\033[2;1H",
                                    "\033[0m  \033[30m" + Empty(78) + "\033[0m\033[2;3H"}));
    EXPECT_EQ(out.Shadow[1][3], (TCharInfo{7, 'x'}));
    EXPECT_EQ(out.Shadow[1][4], (TCharInfo{0, ' '}));
    EXPECT_EQ(out.Shadow[2][2], (TCharInfo{7, ' '}));
    EXPECT_EQ(out.Shadow[2][3], (TCharInfo{0, ' '}));
    EXPECT_EQ(out.Shadow[3][1], (TCharInfo{7, ' '})); // below the stream: untouched
    EXPECT_EQ(out.Attr, 7);
    EXPECT_EQ(out.CurX, 3);
    EXPECT_EQ(out.CurY, 2);
}

TEST_F(ImageTest, ShowCrunchedColourCommandsOnly) {
    TOutputLinux out(true);
    Settle();
    Show(out, {1, 17});
    EXPECT_EQ(TakeWrites(),
              (Writes{"\033[1;1H", "\033[30m" + Empty(80) + "\033[0;34;44m\033[1;1H"}));
    EXPECT_EQ(out.Attr, 0x11);
    EXPECT_EQ(out.CurX, 1);
    EXPECT_EQ(out.CurY, 1);
}

TEST_F(ImageTest, ShowCrunchedStaysInsideImageAndStream) {
    struct Case {
        const char* Name;
        Bytes Stream;
        uint8_t X2, X1, Y1;
        std::string Line1, Line1End; // shadow line 1, columns 1-8 and 73-80, afterwards
        uint8_t CurX, CurY, Attr;
    } cases[] = {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TOutputLinux out(true);
        Show(out, c.Stream, c.X2, c.X1, c.Y1);
        EXPECT_EQ(RowText(out.Shadow, 1, 1, 8), c.Line1);
        EXPECT_EQ(RowText(out.Shadow, 1, 73, 80), c.Line1End);
        EXPECT_EQ(out.Shadow[2][1], (TCharInfo{7, ' '}));
        EXPECT_EQ(out.CurX, c.CurX);
        EXPECT_EQ(out.CurY, c.CurY);
        EXPECT_EQ(out.Attr, c.Attr);
        ReadOutput();
    }
}

TEST_F(ImageTest, ShowCrunchedLinesBeyondTheScreenAreDropped) {
    TOutputLinux out(true);
    out.Shadow[26][1] = TCharInfo{0x2C, 'k'};
    out.Shadow[50][1] = TCharInfo{0x2C, 'k'};
    Bytes b{'t'};
    b.insert(b.end(), 49, 24); // to line 50, the image's last
    b.push_back('w');
    b.insert(b.end(), 300, 24); // far below the image
    b.push_back('z');
    Show(out, b);
    EXPECT_EQ(out.Shadow[1][1], (TCharInfo{7, 't'}));
    for (int y = 2; y <= 25; ++y) ASSERT_EQ(out.Shadow[y][1], (TCharInfo{0, ' '})) << y;
    // Only the screen's 25 lines are shown: lines 26-50 keep what they had.
    EXPECT_EQ(out.Shadow[26][1], (TCharInfo{0x2C, 'k'}));
    EXPECT_EQ(out.Shadow[50][1], (TCharInfo{0x2C, 'k'}));
    EXPECT_EQ(out.CurX, 2);
    EXPECT_EQ(out.CurY, 25);
    ReadOutput();
}

TEST_F(ImageTest, ShowCrunchedPlacesTheImageFromLineY1) {
    // The region's bottom line is the last decoded line itself, so an image
    // shown from line Y1 > 1 loses its last Y1 - 1 lines.
    TOutputLinux out(true);
    Show(out, {'a', 24, 'b', 24, 'c'}, 80, 1, 2);
    EXPECT_EQ(out.Shadow[1][1], (TCharInfo{7, ' '}));
    EXPECT_EQ(out.Shadow[2][1], (TCharInfo{7, 'a'}));
    EXPECT_EQ(out.Shadow[3][1], (TCharInfo{7, 'b'}));
    EXPECT_EQ(out.Shadow[4][1], (TCharInfo{7, ' '}));
    EXPECT_EQ(out.CurX, 2);
    EXPECT_EQ(out.CurY, 3);
    ReadOutput();
}

TEST_F(ImageTest, ImageWritesMoveTheImagesOwnCursor) {
    TOutputLinux out(true);
    TConsoleImageRec img{};
    out.ImageWriteAt(img, 5, 2, 0x1F, "abc");
    EXPECT_EQ(img.Data[2][5], (TCharInfo{0x1F, 'a'}));
    EXPECT_EQ(img.Data[2][7], (TCharInfo{0x1F, 'c'}));
    EXPECT_EQ(img.Data[2][8], (TCharInfo{}));
    EXPECT_EQ(img.CursorX, 8);
    EXPECT_EQ(img.CursorY, 2);
    EXPECT_EQ(img.CursorAttr, 0x1F);

    out.ImageGotoXY(img, 10, 3);
    out.ImageWrite(img, 7, "ab");
    EXPECT_EQ(img.Data[3][10], (TCharInfo{7, 'a'}));
    EXPECT_EQ(img.Data[3][11], (TCharInfo{7, 'b'}));
    EXPECT_EQ(img.CursorX, 12);

    out.ImageSetAttr(img, 0x4E);
    EXPECT_EQ(img.CursorAttr, 0x4E);
    out.ImagePutChar(img, 0x30, 'q');
    EXPECT_EQ(img.Data[3][12], (TCharInfo{0x30, 'q'}));

    TConsoleImageRec copy;
    out.ImageCopy(img, copy);
    EXPECT_EQ(copy, img);
    EXPECT_EQ(TakeWrites().size(), 2u); // only the start-up: images are not the terminal
}

TEST_F(ImageTest, ImageOperationsNeverWriteOutsideTheImage) {
    TOutputLinux out(true);
    TConsoleImageRec img{};
    const TConsoleImageRec empty{};
    out.ImageWriteAt(img, 78, 1, 7, "abcdef"); // runs off column 80
    EXPECT_EQ(img.Data[1][80], (TCharInfo{7, 'c'}));
    EXPECT_EQ(img.Data[2][1], (TCharInfo{}));
    EXPECT_EQ(img.CursorX, 84);
    img = empty;
    for (auto [x, y] : {std::pair<int32_t, int32_t>{0, 1},
                        {1, 0},
                        {81, 1},
                        {1, 51},
                        {-5, -5},
                        {INT32_MAX, 1},
                        {1, INT32_MIN}})
        out.ImagePutCell(img, x, y, 7, 'x');
    img.CursorX = img.CursorY = img.CursorAttr = 0;
    EXPECT_EQ(img, empty);
    out.ImageWriteAt(img, INT32_MAX - 1, 1, 7, "abc"); // no overflow into column 1
    img.CursorX = img.CursorY = img.CursorAttr = 0;
    EXPECT_EQ(img, empty);
    out.ImageGotoXY(img, 200, 100);
    out.ImageWrite(img, 7, "zz");
    img.CursorX = img.CursorY = img.CursorAttr = 0;
    EXPECT_EQ(img, empty);

    TConsoleLineRec line;
    line[1] = TCharInfo{0x1F, 'L'};
    for (uint16_t n : {0, 51, 65535}) out.ImageSetLine(line, img, n);
    EXPECT_EQ(img, empty);
    out.ImageSetLine(line, img, 50);
    EXPECT_EQ(img.Data[50], line);

    const TConsoleScreenRec shadow = out.Shadow;
    for (uint16_t n : {0, 51, 65535}) out.ImageLineToShadow(img, n);
    EXPECT_EQ(out.Shadow, shadow);
    out.ImageLineToShadow(img, 50);
    EXPECT_EQ(out.Shadow[50], line);
    EXPECT_EQ(out.Shadow[49], shadow[49]);
}

TEST_F(ImageTest, ImageResetBlanksTheShadowButSendsNothing) {
    TOutputLinux out(true);
    out.WriteAt(1, 1, 7, "shown");
    out.SetAttr(0x1F);
    out.FlushBuf();
    Settle();
    TConsoleImageRec img;
    img.Data[4][4] = TCharInfo{9, 'g'};
    out.ImageReset(img);
    EXPECT_TRUE(TakeWrites().empty());
    EXPECT_EQ(ReadOutput(), "");
    for (int y = 1; y <= 50; ++y)
        for (int x = 1; x <= 80; ++x) ASSERT_EQ(out.Shadow[y][x], (TCharInfo{0x1F, ' '}));
    EXPECT_EQ(img.Data, TConsoleScreenRec{});
    EXPECT_EQ((std::vector<int>{img.CursorX, img.CursorY, img.CursorAttr, img.X1, img.X2, img.Y1,
                                img.Y2}),
              (std::vector<int>{1, 1, 7, 1, 80, 1, 25}));
}
