#include "terminal/Console.h"
// Free procedures over the two global objects. They keep no state of their
// own: the bytes sent and the cursor and shadow tracking are the writer's; the
// keys are the reader's. Positions are 1-based as the writer takes them.

#include "support/FileDesc.h"
#include "support/StrUtil.h"
#include "terminal/KeyCodes.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

std::unique_ptr<TOutput> Screen;
std::unique_ptr<TInput> Keyboard;
uint8_t WinMaxCol = 79;
uint8_t WinMinCol = 0;
uint8_t ScreenRows = 25;
uint8_t ScreenCols = 80;

namespace {

constexpr int DrawCols = 80;  // everything draws on 80 columns ...
constexpr int DrawLines = 25; // ... by 25 lines, whatever the terminal's size

bool OnScreen(uint8_t X, uint8_t Y) {
    return X >= 1 && X <= DrawCols && Y >= 1 && Y <= DrawLines;
}

// A terminal dimension as a byte; sizes beyond 255 count as 255 rather than
// wrapping round to a small number.
uint8_t SizeByte(unsigned short N) {
    return static_cast<uint8_t>(std::min<unsigned>(N, 255));
}

} // namespace

// Screen output.

void WriteText(const std::string& S) {
    Screen->PutText(S);
}

void WriteString(const std::string& S) {
    WriteText(S);
}

void WriteTextWithMoves(const std::string& S) {
    Screen->PutTextWithMoves(S);
}

void WriteLine(const std::string& S) {
    Screen->PutLine(S);
}

void WriteBlankLine() {
    Screen->PutLine("");
}

void WriteXY(uint8_t X, uint8_t Y, uint8_t A, const std::string& S) {
    Screen->WriteAt(X, Y, A, S);
}

// The width is what the writer draws of S, by its own rule for what is a
// code: PipeLength takes every "|" group for a code, so a subject holding
// "|bc" would lose three columns at the row's end.
void WriteXYPipe(uint8_t X, uint8_t Y, uint8_t A, const std::string& S) {
    Screen->WriteAtPiped(X, Y, A, PipedWidth(S), S);
}

void RecordXYPipe(uint8_t X, uint8_t Y, uint8_t A, const std::string& S) {
    Screen->RecordPiped(X, Y, A, PipedWidth(S), S);
}

void WritePipe(const std::string& S) {
    Screen->WritePiped(S);
}

void WriteCenteredPipe(const std::string& S, uint8_t Y) {
    const int width = PipedWidth(S);
    // A text wider than the screen starts at column 1 instead of a column
    // that wrapped below 0.
    const int x = std::max(1, 40 - width / 2);
    Screen->WriteAtPiped(static_cast<uint8_t>(x), Y, 7, width, S);
}

void FillArea(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2, char Ch) {
    const std::string fill(X2 > X1 ? static_cast<size_t>(X2 - X1) : 0, Ch);
    for (int l = Y1; l <= Y2; l++) Screen->WriteAt(X1, static_cast<uint8_t>(l), Screen->Attr, fill);
}

void WriteTextAsIs(const std::string& S) {
    Screen->PutTextAsIs(S);
}

void WriteXYAsIs(uint8_t X, uint8_t Y, uint8_t A, const std::string& S) {
    Screen->WriteAtAsIs(X, Y, A, S);
}

void ClearScreen() {
    Screen->ClearWindow();
}

void ClearEol() {
    Screen->ClearToEol();
}

void QueueText(const std::string& S) {
    Screen->BufWrite(S);
}

void FlushScreen() {
    Screen->FlushBuf();
}

// Cursor.

void GotoXY(uint8_t X, uint8_t Y) {
    Screen->MoveCursor(X, Y);
}

void GotoX(uint8_t X) {
    Screen->MoveCursor(X, Screen->CurY);
}

void GotoY(uint8_t Y) {
    Screen->MoveCursor(Screen->CurX, Y);
}

uint8_t WhereX() {
    return Screen->CurX;
}

uint8_t WhereY() {
    return Screen->CurY;
}

void SetWindow(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2, bool Home) {
    Screen->SetScrollRegion(X1, Y1, X2, Y2, Home);
}

// Colours: two SetAttr steps where the table asks for them, so up to two SGR
// sequences are queued.

void SetTextAttr(uint8_t A) {
    Screen->SetAttr(A);
}

uint8_t GetTextAttr() {
    return Screen->Attr;
}

void SetForeground(uint8_t Color) {
    Screen->SetAttr(Screen->Attr & 0xF0);
    Screen->SetAttr(static_cast<uint8_t>(Screen->Attr | (Color & 15)));
}

void SetBackground(uint8_t Color) {
    Screen->SetAttr(Screen->Attr & 0x0F);
    Screen->SetAttr(static_cast<uint8_t>((Screen->Attr | 16 * Color) & 255));
}

void SetBright() {
    SetForeground(Screen->Attr | 8);
}

void ClearBright() {
    SetForeground(Screen->Attr & 0x77);
}

void SetNormalColors() {
    SetForeground(7);
    SetBackground(0);
}

uint8_t GetForeground() {
    return Screen->Attr & 15;
}

uint8_t GetBackground() {
    return Screen->Attr >> 4;
}

uint8_t ForegroundOf(uint8_t A) {
    return A % 16;
}

uint8_t BackgroundOf(uint8_t A) {
    return A / 16;
}

std::string AttrEscape(uint8_t A) {
    return Screen->AttrToAnsi(A);
}

// Shadow screen and screen images.

char ScreenCharAt(uint8_t X, uint8_t Y) {
    return OnScreen(X, Y) ? Screen->CharAt(X, Y) : ' ';
}

uint8_t ScreenAttrAt(uint8_t X, uint8_t Y) {
    return Screen->AttrAt(X, Y);
}

void SetScreenCharAt(char C, uint8_t X, uint8_t Y) {
    if (OnScreen(X, Y)) Screen->Shadow[Y][X].Ch = C;
}

void SetScreenAttrAt(uint8_t A, uint8_t X, uint8_t Y) {
    if (OnScreen(X, Y)) Screen->Shadow[Y][X].Attr = A;
}

void SaveScreen(TConsoleImageRec& Image) {
    Screen->SaveRegion(1, 1, DrawCols, DrawLines, Image);
}

void RestoreScreen(const TConsoleImageRec& Image) {
    Screen->RestoreRegion(Image);
}

// The console and the string helpers count visible width by the same rule.
uint8_t PipeLength(const std::string& S) {
    return StrPipeLength(S);
}

// Keyboard and time.

char ReadKey() {
    return Keyboard->ReadKey();
}

bool KeyPressed() {
    return Keyboard->KeyPressed();
}

bool WaitKey(int32_t Ms) {
    return Keyboard->WaitKey(Ms);
}

uint8_t AltKeyCode(char C) {
    return Keyboard->AltKeyCode(C);
}

bool CtrlCPressed() {
    if (!KeyPressed()) return false;
    if (ReadKey() != Key::CtrlC) return false; // any other key is consumed and lost
    WriteLine("Ctrl-C pressed");
    return true;
}

void Delay(uint16_t Ms) {
    PauseMs(Ms);
}

// Escape sequences, files, start and end.

// The program's own sequences: sent as they are, tracked like text.
void CursorSoft() {
    Screen->PutLineAsIs("\x1b[?112c\x07");
}

void CursorNormal() {
    Screen->PutLineAsIs("\x1b[?2c\x07");
}

void ResetCharset() {
    Screen->PutTextAsIs("\x1b(U\x1b[0m");
}

void AppendTextLine(const std::string& FileName, const std::string& S) {
    TFileDesc file;
    if (!file.Open(FileName, O_WRONLY | O_APPEND | O_CREAT)) return;
    file.WriteAll(S + '\n');
}

namespace {

void DoneConsoleAtExit() {
    DoneConsole();
}

// An exception that nobody catches ends the process without the atexit
// finalisation; put the terminal back before the default handler aborts.
std::terminate_handler PreviousTerminate = nullptr;

[[noreturn]] void DoneConsoleAtTerminate() {
    DoneConsole();
    if (PreviousTerminate) PreviousTerminate();
    std::abort();
}

// The window-size request on standard output: 25 x 80 when there is no
// terminal, the request fails or a dimension is 0.
void ReadTerminalSize() {
    winsize w{};
    if (ioctl(1, TIOCGWINSZ, &w) == 0 && w.ws_row > 0 && w.ws_col > 0) {
        ScreenRows = SizeByte(w.ws_row);
        ScreenCols = SizeByte(w.ws_col);
    } else {
        ScreenRows = 25;
        ScreenCols = 80;
    }
    WinMaxCol = static_cast<uint8_t>(ScreenCols - 1);
    WinMinCol = 0;
}

} // namespace

void InitConsole() {
    if (Screen) return;
    Screen = std::make_unique<TOutput>(true);
    // Registered once per process, right after the terminal went raw: from
    // here on every normal end of the process puts the settings back.
    static const bool registered = [] {
        PreviousTerminate = std::set_terminate(DoneConsoleAtTerminate);
        return std::atexit(DoneConsoleAtExit) == 0;
    }();
    (void)registered;
    Keyboard = std::make_unique<TInput>();
    ReadTerminalSize();
}

void DoneConsole() {
    Screen.reset(); // flushes the queue and restores the saved settings
    Keyboard.reset();
}
