#pragma once
// The screen and keyboard layer the rest of the program calls. The unit owns
// the one terminal writer (Screen) and the one keyboard reader (Keyboard),
// made by InitConsole and freed by DoneConsole; its procedures only forward to
// them. Everything is drawn on 80 columns by 25 lines; the terminal's real size
// is recorded at start-up for the few callers that ask.
//
// The terminal always comes back: InitConsole registers DoneConsole with
// atexit as soon as Screen exists, so every way the process ends by itself
// (return from main, exit() from deep inside a dialog, the end of standard
// input, which makes the keyboard reader call exit(0)) restores the terminal
// settings found at start-up.

#include "terminal/m_Input.h"
#include "terminal/m_Output.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

extern std::unique_ptr<TOutput> Screen;  // the terminal writer, Active set
extern std::unique_ptr<TInput> Keyboard; // the keyboard reader
extern uint8_t WinMaxCol;                // 0-based last column found at start-up: ScreenCols - 1
extern uint8_t WinMinCol;                // 0-based first column: 0
extern uint8_t ScreenRows;               // terminal height at start-up; 25 when it reports none
extern uint8_t ScreenCols;               // terminal width at start-up; 80 when it reports none

// PC colour of ANSI colour n; the table is its own inverse.
inline constexpr std::array<int32_t, 8> AnsiColors = ColorMapTable<int32_t>(1, 0);

// Screen output.
// S at the cursor, tracked, then flush. Every control byte of S, BS, CR and
// LF included, fills one cell as the stand-in.
void WriteText(const std::string& S);
void WriteString(const std::string& S); // the same as WriteText
// Program-made text at the cursor whose BS, CR and LF are moves, tracked as
// the writer's PutChar tracks them; every other control byte is a cell. The
// ANSI players' text and the prompts' own steps; never a name or a subject.
void WriteTextWithMoves(const std::string& S);
void WriteLine(const std::string& S); // S as cells, then CR LF
void WriteBlankLine();                // CR LF
// S at (X, Y) in attribute A; attribute and cursor as before.
void WriteXY(uint8_t X, uint8_t Y, uint8_t A, const std::string& S);
// Pipe-coded S at (X, Y) starting in A, to the terminal only (not the shadow);
// every column of S that is no colour code is drawn (PipedWidth).
void WriteXYPipe(uint8_t X, uint8_t Y, uint8_t A, const std::string& S);
// What WriteXYPipe(X, Y, A, S) shows, put into the shadow only (nothing is
// sent), for a caller whose boxes must save and put back those cells.
void RecordXYPipe(uint8_t X, uint8_t Y, uint8_t A, const std::string& S);
void WritePipe(const std::string& S); // pipe-coded S at the cursor, tracked
// Pipe-coded S centred on 80 columns on line Y, starting in attribute 7.
void WriteCenteredPipe(const std::string& S, uint8_t Y);
// Columns X1 to X2 - 1 of lines Y1 to Y2 filled with Ch in the current attribute.
void FillArea(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2, char Ch);
// The program's own fixed pictures that carry escape sequences: WriteText and
// WriteXY with every byte sent as it is. Text from outside never goes here:
// the plain procedures send its control bytes as a stand-in.
void WriteTextAsIs(const std::string& S);
void WriteXYAsIs(uint8_t X, uint8_t Y, uint8_t A, const std::string& S);
void ClearScreen(); // whole screen in the current attribute, cursor home
void ClearEol();    // queues "\e[K"
// Raw bytes into the queue, untracked: the program's own sequences only; a
// cell of outside text goes through CellChar (m_Output_Linux.h) first.
void QueueText(const std::string& S);
void FlushScreen();

// Cursor; positions are limited to columns 1-80 and lines 1-25.
void GotoXY(uint8_t X, uint8_t Y);
void GotoX(uint8_t X);
void GotoY(uint8_t Y);
uint8_t WhereX();
uint8_t WhereY();
void SetWindow(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2, bool Home);

// Colours. Attribute = foreground + 16 * background, bit 7 blink.
void SetTextAttr(uint8_t A);
uint8_t GetTextAttr();
void SetForeground(uint8_t Color); // background and blink kept
void SetBackground(uint8_t Color); // foreground kept; 8-15 set the blink bit
void SetBright();
void ClearBright();
void SetNormalColors();
uint8_t GetForeground();
uint8_t GetBackground(); // the blink bit included
uint8_t ForegroundOf(uint8_t A);
uint8_t BackgroundOf(uint8_t A);
std::string AttrEscape(uint8_t A); // SGR from the current attribute to A; nothing queued

// Shadow screen and screen images.
char ScreenCharAt(uint8_t X, uint8_t Y); // a blank outside columns 1-80, lines 1-25
uint8_t ScreenAttrAt(uint8_t X, uint8_t Y);
void SetScreenCharAt(char C, uint8_t X, uint8_t Y);    // shadow only; ignored off screen
void SetScreenAttrAt(uint8_t A, uint8_t X, uint8_t Y); // shadow only; ignored off screen
void SaveScreen(TConsoleImageRec& Image);              // lines 1-25, cursor, attribute
void RestoreScreen(const TConsoleImageRec& Image);     // back on the terminal and shadow
// Visible length of a pipe-coded string: every "|" with two characters after
// it is a code, up to the first "|" that has fewer. The writers draw a "|"
// group that is no colour code as text, so what they draw is measured by
// PipedWidth (m_Output_Linux.h), not by this.
uint8_t PipeLength(const std::string& S);

// Keyboard and time.
char ReadKey(); // #0 is followed by the scan code on the next call
bool KeyPressed();
bool WaitKey(int32_t Ms);
uint8_t AltKeyCode(char C);
// Reads a waiting key; true (after writing "Ctrl-C pressed") when it was #3.
bool CtrlCPressed();
void Delay(uint16_t Ms);

// Escape sequences, files, start and end.
void CursorSoft();
void CursorNormal();
void ResetCharset(); // "\e(U\e[0m" through the tracked writer
// Appends S and LF to FileName, creating the file when missing. Failures are
// silently ignored: nothing in the program depends on the line.
void AppendTextLine(const std::string& FileName, const std::string& S);
// Screen first (raw mode, start-up bytes, cleared screen), the exit
// finalisation registered, then Keyboard, then the terminal size. Calling it
// again while the console is up does nothing.
void InitConsole();
// Frees Screen (flushes, restores the terminal), then Keyboard. Safe to call
// at any time, any number of times.
void DoneConsole();
