#pragma once
// The terminal writer: the one path to the terminal on standard output. It
// keeps the terminal raw for its lifetime, batches bytes in a 1024-byte queue,
// tracks the cursor and the PC text attribute (sent as SGR only on change) and
// keeps a shadow screen: lines 1-50, columns 1-80, each cell the attribute then
// the character. The shadow never scrolls. Screen images are edited in memory
// with the same cells and can be decoded from a run-length screen stream.
// Text is outside data: a byte that a terminal would act on goes out as a
// stand-in, so only the writer's own escapes and line ends ever steer the
// terminal. BS, CR and LF move the cursor only where a caller asks for it by
// name: PutChar (the byte primitive) and PutTextWithMoves.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <termios.h>

inline constexpr int ScreenWidth = 80;  // columns of the shadow and of images
inline constexpr int ScreenHeight = 50; // lines of the shadow and of images

// One screen cell: the attribute comes first.
struct TCharInfo {
    uint8_t Attr = 0;
    char Ch = 0;
    bool operator==(const TCharInfo&) const = default;
};

// One screen line; cells are addressed by column 1-80.
struct TConsoleLineRec {
    std::array<TCharInfo, ScreenWidth> Cells{};
    TCharInfo& operator[](int X) { return Cells[static_cast<size_t>(X - 1)]; }
    const TCharInfo& operator[](int X) const { return Cells[static_cast<size_t>(X - 1)]; }
    bool operator==(const TConsoleLineRec&) const = default;
};

// A screen; lines are addressed 1-50.
struct TConsoleScreenRec {
    std::array<TConsoleLineRec, ScreenHeight> Lines{};
    TConsoleLineRec& operator[](int Y) { return Lines[static_cast<size_t>(Y - 1)]; }
    const TConsoleLineRec& operator[](int Y) const { return Lines[static_cast<size_t>(Y - 1)]; }
    bool operator==(const TConsoleScreenRec&) const = default;
};

// A saved screen region: its top line is Data line 1, its left column Data
// column 1; then the cursor and attribute at saving and the region's bounds.
struct TConsoleImageRec {
    TConsoleScreenRec Data;
    uint8_t CursorX = 0;
    uint8_t CursorY = 0;
    uint8_t CursorAttr = 0;
    uint8_t X1 = 0;
    uint8_t X2 = 0;
    uint8_t Y1 = 0;
    uint8_t Y2 = 0;
    bool operator==(const TConsoleImageRec&) const = default;
};

static_assert(sizeof(TCharInfo) == 2);
static_assert(sizeof(TConsoleImageRec) == ScreenWidth * ScreenHeight * 2 + 7);

// The one map between the PC's colour numbers and ANSI's: blue and red, cyan
// and brown trade places. Swapping is its own inverse, so the map reads both
// ways, and every colour table of the terminal units is derived from it.
inline constexpr std::array<uint8_t, 8> PcAnsiColorMap = {0, 4, 2, 6, 1, 5, 3, 7};

// Entry c is PcAnsiColorMap[c] * Scale + Offset, as type T.
template <typename T> constexpr std::array<T, 8> ColorMapTable(int Scale, int Offset) {
    std::array<T, 8> table{};
    for (size_t c = 0; c < table.size(); ++c)
        table[c] = static_cast<T>(PcAnsiColorMap[c] * Scale + Offset);
    return table;
}

static_assert([] {
    for (size_t c = 0; c < PcAnsiColorMap.size(); ++c)
        if (PcAnsiColorMap[PcAnsiColorMap[c]] != c) return false;
    return true;
}());

// ANSI colour digit of PC colour c (0-7) is AnsiColorDigits[c].
inline constexpr std::array<char, 8> AnsiColorDigitChars = ColorMapTable<char>(1, '0');
inline constexpr std::string_view AnsiColorDigits{AnsiColorDigitChars.data(),
                                                  AnsiColorDigitChars.size()};

inline constexpr uint16_t OutBufSize = 1024;

// What the terminal receives, and the shadow holds, in place of a byte of text
// that a terminal would take as a control (0-31, 127, and 155, which the Linux
// console and 8-bit terminals take as the start of a sequence): a title change, a
// switch to the line-drawing set, a bell or a status request could otherwise
// come from a message, and a tab or an escape would move the real cursor where
// the shadow's did not move. A plain "." looks the same on every terminal.
inline constexpr char ControlStandIn = '.';

// True for the bytes a terminal acts on rather than shows.
constexpr bool IsControlByte(char C) {
    const auto u = static_cast<uint8_t>(C);
    return u < 32 || u == 127 || u == 155;
}

// C as it may go out to fill one cell: #0, the empty cell of every image (and
// a byte terminals drop without moving the cursor), is a blank; every other
// control byte is the stand-in.
constexpr char CellChar(char C) {
    return C == '\0' ? ' ' : IsControlByte(C) ? ControlStandIn : C;
}

// The columns WriteAtPiped(X, Y, A, Width, S) draws of S when Width does not
// stop it first: every byte of S but the colour codes it takes. This is the
// measure of a pipe-coded text as shown; a "|" whose two characters make no
// colour code is drawn as text and counts its three columns.
int32_t PipedWidth(const std::string& S);

class TOutputLinux {
public:
    explicit TOutputLinux(bool Active);
    virtual ~TOutputLinux();
    TOutputLinux(const TOutputLinux&) = delete;
    TOutputLinux& operator=(const TOutputLinux&) = delete;

    termios SavedTermios{};   // fd 1's settings as Create found them
    bool InputWasRaw = false; // recorded only; nothing decides by them
    bool OutputWasRaw = false;
    std::array<char, OutBufSize> OutBuf{}; // OutBuf[0 .. OutLen - 1] are queued
    uint16_t OutLen = 0;
    uint8_t Attr = 0; // the terminal's rendition; changed only by SetAttr
    uint8_t WinTop = 0;
    uint8_t WinBottom = 0; // line feeds and wraps never take CurY below it
    uint8_t CurX = 0;      // tracked cursor, 1-based
    uint8_t CurY = 0;
    uint8_t ScreenLines = 0;
    TConsoleScreenRec Shadow; // what was drawn, cell by cell
    bool Active = false;      // the queue is written out only when set

    void SetRawMode(bool On);
    void WriteRaw(const std::string& S);
    void BufWrite(std::string_view S);
    void FlushBuf();
    std::string AttrToAnsi(uint8_t NewAttr) const;
    void SetAttr(uint8_t A);
    void MoveCursor(uint8_t X, uint8_t Y);
    void ClearWindow();
    void ClearToEol();
    // One byte: BS, LF and CR act as the writer tracks them; every other byte
    // goes out, and is recorded, as CellChar gives it.
    void PutChar(char C);
    // One cell of text: every control byte, BS, CR and LF included, is the
    // stand-in, so the text stays on the cells it was given.
    void PutCell(char C);
    // Text at the cursor, one cell per byte, then flush.
    void PutText(const std::string& S);
    // PutChar for each byte, then flush: for text whose BS, CR and LF are
    // meant as moves (the ANSI players, the program's own prompts).
    void PutTextWithMoves(const std::string& S);
    // S as cells, then the line end CR LF (cut with S to 255 bytes).
    void PutLine(const std::string& S);
    void WriteAt(uint8_t X, uint8_t Y, uint8_t A, const std::string& S);
    // PutText, PutLine and WriteAt for the program's own fixed texts that
    // carry escape sequences: every byte goes out as it is, tracked as
    // PutChar tracks a character. Never for outside data.
    void PutTextAsIs(const std::string& S);
    void PutLineAsIs(const std::string& S);
    void WriteAtAsIs(uint8_t X, uint8_t Y, uint8_t A, const std::string& S);
    void WriteAtPiped(uint8_t X, uint8_t Y, uint8_t A, int32_t Width, const std::string& S);
    // Records in the shadow the cells WriteAtPiped(X, Y, A, Width, S) shows,
    // from where its cursor move lands (not past column 80); sends nothing,
    // moves no cursor.
    void RecordPiped(uint8_t X, uint8_t Y, uint8_t A, int32_t Width, const std::string& S);
    void WritePiped(const std::string& S);
    void SaveRegion(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2, TConsoleImageRec& Img) const;
    void RestoreRegion(const TConsoleImageRec& Img);
    char CharAt(uint8_t X, uint8_t Y) const;
    uint8_t AttrAt(uint8_t X, uint8_t Y) const;
    void SetScrollRegion(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2, bool Home);
    void SetScreenLines(uint8_t N);

    // Screen images in memory and the run-length screen stream.
    void ShowCrunched(const uint8_t* Data, int32_t Len, uint8_t X2, uint8_t X1, uint8_t Y1);
    void ImagePutCell(TConsoleImageRec& Img, int32_t X, int32_t Y, uint8_t A, char C) const;
    void ImageWriteAt(TConsoleImageRec& Img, int32_t X, int32_t Y, uint8_t A,
                      const std::string& S) const;
    void ImagePutChar(TConsoleImageRec& Img, uint8_t A, char C) const;
    void ImageWrite(TConsoleImageRec& Img, uint8_t A, const std::string& S) const;
    void ImageGotoXY(TConsoleImageRec& Img, uint8_t X, uint8_t Y) const;
    void ImageSetAttr(TConsoleImageRec& Img, uint8_t A) const;
    void ImageReset(TConsoleImageRec& Img);
    void ImageCopy(const TConsoleImageRec& Src, TConsoleImageRec& Dst) const;
    void ImageSetLine(const TConsoleLineRec& Line, TConsoleImageRec& Img, uint16_t N) const;
    void ImageLineToShadow(const TConsoleImageRec& Img, uint16_t N);

private:
    // Whether SavedTermios holds settings actually read from the terminal;
    // settings that could not be read are never applied.
    bool SettingsSaved = false;
    // Standard output failed for good (the terminal is gone): nothing more is
    // written. Set before the program is ended, so the finalisation that runs
    // at exit never writes, fails and ends the program again.
    bool OutputLost = false;
    bool Closing = false; // the destructor runs: a failed write ends nothing

    void BlankShadowLine(int Y);
    void Send(const char* P, size_t N);
    void Track(char C); // sends C as it is and records its effect
    void PlaceText(uint8_t X, uint8_t Y, uint8_t A, const std::string& S, bool AsIs);
};
