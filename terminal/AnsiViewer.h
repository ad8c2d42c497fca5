#pragma once
// The ANSI message image and the full-screen ANSI file viewer. TMsgBaseAnsi is
// an off-screen terminal: a file's bytes go in, ANSI sequences, pipe colour
// codes and a few control bytes move its cursor and colour, and characters
// land in a fixed image of lines 1-5000 by columns 1-80, each cell the
// character then the attribute. The cursor never leaves the image. The viewer
// loads a whole file into one image and shows 24-line windows of it above a
// status line, scrolled by keys until Esc.

#include <array>
#include <cstdint>
#include <string>

inline constexpr int AnsiImageCols = 80;    // columns of an image line
inline constexpr int AnsiImageLines = 5000; // lines of an image

// One image cell: the character comes first (the opposite of TCharInfo).
struct RecAnsiCell {
    char Ch = 0;
    uint8_t Attr = 0;
    bool operator==(const RecAnsiCell&) const = default;
};

// One image line; cells are addressed by column 1-80.
struct RecMessageLine {
    std::array<RecAnsiCell, AnsiImageCols> Cells{};
    RecAnsiCell& operator[](int X) { return Cells[static_cast<size_t>(X - 1)]; }
    const RecAnsiCell& operator[](int X) const { return Cells[static_cast<size_t>(X - 1)]; }
    bool operator==(const RecMessageLine&) const = default;
};

// The image; lines are addressed 1-5000.
struct AnsiImage {
    std::array<RecMessageLine, AnsiImageLines> Rows{};
    RecMessageLine& operator[](int Y) { return Rows[static_cast<size_t>(Y - 1)]; }
    const RecMessageLine& operator[](int Y) const { return Rows[static_cast<size_t>(Y - 1)]; }
    bool operator==(const AnsiImage&) const = default;
};

static_assert(sizeof(RecAnsiCell) == 2);
static_assert(sizeof(AnsiImage) == AnsiImageLines * AnsiImageCols * 2);

// About 800 KB: always create it on the heap (std::make_unique).
class TMsgBaseAnsi {
public:
    TMsgBaseAnsi(int32_t ATag, uint8_t B); // B is not used
    virtual ~TMsgBaseAnsi();
    TMsgBaseAnsi(const TMsgBaseAnsi&) = delete;
    TMsgBaseAnsi& operator=(const TMsgBaseAnsi&) = delete;

    bool CsiStarted = false; // an ESC [ was met; nothing reads it
    bool InPipe = false;     // the two characters after a "|" are being collected
    std::string PipeCode;    // those collected so far (at most 2)
    int32_t Tag = 0;         // the constructor's ATag; nothing reads it
    AnsiImage Data;
    std::string EscParams; // parameter bytes of the sequence being read (255 at most)
    uint16_t Lines = 1;    // highest line the cursor stood on when a byte arrived
    uint16_t CurY = 1;     // cursor line, 1-5000
    uint8_t EscState = 0;  // 0 text, 1 after ESC, 2 inside ESC [
    uint8_t SavedX = 0;    // column saved by CSI s
    uint8_t SavedY = 0;    // line saved by CSI s, modulo 256
    uint8_t CurX = 1;      // cursor column, 1-80
    uint8_t Attr = 7;      // current text attribute

    // Blank image (#0 in attribute 0), cursor at 1,1, Lines 1, Attr 7, no
    // sequence or pipe code in progress; SavedX and SavedY stay.
    void Clear();
    void ResetEscape();
    // Interprets Buf[0 .. Len - 1]; True when loading is to stop (LF on line
    // 5000, or Ctrl-Z), the rest of Buf then untaken. State carries over
    // between calls, so a sequence or pipe code may span blocks.
    bool Feed(const void* Buf, uint16_t Len);
    void ProcessChar(uint8_t C);
    void CsiCommand(uint8_t C);
    // C in Attr at the cursor, which then advances; True only at column 80 of
    // line 5000, where it stays.
    bool PutChar(uint8_t C);
    // Cursor to column X, line Y, each kept within 1-80 and 1-5000.
    void MoveXY(uint16_t X, uint16_t Y);
    void SetFore(uint8_t C); // foreground C, background kept, blink cleared
    void SetBack(uint8_t C); // background C, foreground kept, blink cleared
    // The value of the digits at the start of S (0 when there are none or
    // when it is above 2147483647); those digits and the character after them
    // are removed from S.
    static int32_t NextParam(std::string& S);
    void CsiGoto();
    void CsiUp();
    void CsiDown();
    void CsiRight();
    void CsiLeft();

    // Image line Line on screen row Row, columns 1-80, the cursor back at
    // the row's first column; nothing when Line is not in 1..Lines.
    void DrawLine(uint16_t Row, uint16_t Line, bool Flush);
    // Rows FirstRow..LastRow from image line TopLine on, then a flush.
    void DrawPage(uint16_t FirstRow, uint16_t LastRow, uint16_t TopLine);
    // Every line in use at the cursor, each followed by CR LF.
    void DrawAll();
    // One line as raw queued output past the shadow screen.
    void DrawLineRaw(uint16_t Row, uint16_t Line, bool Flush);
    // The 80 characters of a line, #0 included; '' when Line is not in 1..Lines.
    std::string LineText(uint16_t Line) const;
    // Lines outside 1-5000 are ignored by the two below.
    void SetLineAttr(uint8_t A, uint16_t Line);
    void DeleteLine(uint16_t Line); // Lines never goes below 0

private:
    void SelectGraphicRendition();
};

// "\e[Y;XH"; an X or Y of 0 is the screen cursor's column or line.
std::string CursorEscape(uint8_t X, uint8_t Y);

// ---------------------------------------------------------------------------
// The viewer.

// A progress bar's description, 13 bytes. PercentBar reads only BarLen,
// EmptyChar and FullChar; the viewer fills the rest for completeness.
struct RecPercent {
    uint8_t BarLen = 0; // cells
    char EmptyChar = ' ';
    uint8_t EmptyAttr = 0;
    char FullChar = ' ';
    uint8_t FullAttr = 0;
    uint8_t PosX = 0;
    uint8_t PosY = 0;
    bool Visible = false;
    uint8_t Param1 = 0;
    uint8_t Param2 = 0;
    std::array<uint8_t, 3> Spare{};
};

static_assert(sizeof(RecPercent) == 13);

// Filled FullChar cells then empty ones, BarLen in all, for Shown of Total;
// Percent gets the rounded percentage (halves to even). The screen's current
// attribute is left at 0. Shown or Total of 0 or below count as nothing shown.
std::string PercentBar(const RecPercent& Bar, int16_t Shown, int16_t Total, int16_t& Percent);

// True when FileName is a regular file this user may open for reading, the
// files the viewer shows; a refused open is not tried again.
bool CanViewFile(const std::string& FileName);

// Shows FileName full screen with the status line in StatusAttr until Esc, or
// Enter or N once the percentage reads 100. Returns with the attribute 0 and
// the cursor at column 1 of row 25; a file that does not exist or cannot be
// opened (no regular file among them) shows nothing and reads no key. The
// file is read once, at most its first 64 MiB: the Space replay plays those
// bytes, whatever the file holds by then.
void ViewAnsiFile(const std::string& FileName, uint8_t StatusAttr);
void ViewAnsi(const std::string& FileName); // status line $1F
