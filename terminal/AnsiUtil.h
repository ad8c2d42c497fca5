#pragma once
// ANSI art on the live terminal: an ANSI interpreter whose state lives in unit
// globals (a sequence may span calls and plays), a line-paced file player over
// it and the SAUCE record reader; and, sharing nothing with them, a pipe-code
// player with per-play state and the colour escapes of pipe codes. Both draw
// only through Console, whose GotoXY keeps every cursor move on the screen.

#include "terminal/m_Output_Linux.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// ---------------------------------------------------------------------------
// The ANSI interpreter's state, kept from one call of AnsiWrite to the next.

inline constexpr int AnsiMaxParams = 10;

// The parameters of the sequence being read, addressed 1-10 as AnsiParamIdx
// counts them; an index outside 1-10 is taken as the nearest end, so nothing
// outside the array is ever touched. -1: the parameter was not given.
struct TAnsiParamArray {
    std::array<int32_t, AnsiMaxParams> Values{};
    int32_t& operator[](int I) { return Values[Slot(I)]; }
    const int32_t& operator[](int I) const { return Values[Slot(I)]; }

private:
    static size_t Slot(int I) {
        return static_cast<size_t>((I < 1 ? 1 : I > AnsiMaxParams ? AnsiMaxParams : I) - 1);
    }
};

extern bool AnsiInCsi;            // inside ESC "[" ..., final byte not yet seen
extern std::string AnsiParamText; // digits of the parameter being collected (255 at most)
extern uint8_t AnsiParamIdx;      // 1-based parameter being collected; never above 10
extern bool AnsiEscSeen;          // the byte before was ESC
extern TAnsiParamArray AnsiParams;
extern uint16_t AnsiSavedPos; // saved by "s": low byte column, high byte line

// Puts the state above to its start-up values (not in a sequence, saved
// position column 1, line 1). The program calls it once at start-up, right
// after InitConsole and before the input-field settings; nothing else resets
// the state. The globals start with these values anyway, so the unit also
// works before the call.
void InitAnsiUtil();
// Releases the parameter text; called once at exit, before DoneConsole.
void DoneAnsiUtil();

// Passes S (any length) through the interpreter onto the screen. Runs of
// plain text go out with one WriteTextWithMoves each (their CR, LF and BS
// move the cursor), cut to their first 255 bytes.
void AnsiWrite(const std::string& S);
// Carries out one control sequence with the parameters in AnsiParams.
void AnsiCommand(char Final);

// The pause of both players: after each line of AnsiPlayFile and at every
// Rate-th byte of PipePlayFile. Delay, or a stand-in that records the pauses.
extern void (*PlayPauseProc)(uint16_t Ms);

// Plays a text file through AnsiWrite, line by line, pausing DelayMs after each
// line (its low 16 bits; a negative value counts as 0). One waiting key is read
// per line: Esc stops, "*" sets 1000 ms, "+" and "-" change the pause by 5
// (never below 0), "/" puts back DelayMs. Lines end at LF, CR LF or a lone CR;
// every line but the last is passed on with CR LF. A missing file, a directory
// or anything but a regular file shows nothing; a read error ends the play as
// the end of the file does.
void AnsiPlayFile(const std::string& FileName, int32_t DelayMs);
// The same play without pauses and without reading keys.
void AnsiShowFile(const std::string& FileName);
// AnsiPlayFile of a file that holds Bytes, played from memory: a viewer
// replays the bytes it was shown, whatever the file holds by then.
void AnsiPlayBytes(std::string_view Bytes, int32_t DelayMs);

// ---------------------------------------------------------------------------
// The SAUCE record: the 128-byte metadata record that ANSI art files may carry
// as their last 128 bytes. Decoded field by field, numbers little-endian.

inline constexpr int32_t SauceRecSize = 128;

struct RecSauceInfo {
    std::array<char, 5> ID{}; // "SAUCE" when the file carries a record
    std::array<char, 2> Version{};
    std::array<char, 35> Title{};
    std::array<char, 20> Author{};
    std::array<char, 20> Group{};
    std::array<char, 8> Date{};
    int32_t FileSize = 0;
    uint8_t DataType = 0;
    uint8_t FileType = 0;
    uint16_t TInfo1 = 0;
    uint16_t TInfo2 = 0;
    uint16_t TInfo3 = 0;
    uint16_t TInfo4 = 0;
    uint8_t Comments = 0;
    uint8_t TFlags = 0;
    std::array<char, 22> TInfoS{};
    bool operator==(const RecSauceInfo&) const = default;
};

// Rec from the 128 bytes of a record as stored in a file.
void DecodeSauce(const std::array<uint8_t, SauceRecSize>& Buf, RecSauceInfo& Rec);

// S (cut to 255) with every byte outside 32-125 replaced by a blank.
std::string PrintableOnly(const std::string& S);

// Copies the file's last 128 bytes into Rec and writes Rec's title, made
// printable, as a line at the cursor; True when Rec starts with "SAUCE".
// A file shorter than 128 bytes holds no record: Rec is all zeros (its title
// line 35 blanks) and the result False; bytes a failed read leaves out are
// zeros too. When the file cannot be opened (missing, a directory, no regular
// file, access refused), nothing is written, Rec is left alone and the result
// is False; the three-argument form tells that case apart through Opened.
bool ReadSauce(const std::string& FileName, RecSauceInfo& Rec);
bool ReadSauce(const std::string& FileName, RecSauceInfo& Rec, bool& Opened);
// ReadSauce of a file that holds Bytes.
bool ReadSauceBytes(std::string_view Bytes, RecSauceInfo& Rec);

// ---------------------------------------------------------------------------
// The pipe-code file player and the colour escapes of pipe codes. A pipe code
// is "|" followed by two digits reading 00 to 23. The player shares no state
// with the interpreter above; each play starts afresh.

// ANSI colour number to PC colour: ForeTable[V - 30] for V = 30-37, and to the
// PC background bits: BackTable[V - 40] for V = 40-47.
inline constexpr std::array<uint8_t, 8> ForeTable = ColorMapTable<uint8_t>(1, 0);
inline constexpr std::array<uint8_t, 8> BackTable = ColorMapTable<uint8_t>(16, 0);

// Plays a file byte by byte, read in 4096-byte blocks, until Ctrl-Z, the end
// of the file or Esc. Pipe codes become colour escapes; Rate > 0 pauses 6 ms
// at every Rate-th byte of a block. Keys: Esc stops, "*" Rate 20, "+" and "-"
// change it by 3, "/" sets it from the program's second argument. A file that
// cannot be opened for reading and writing (or is no regular file) is reported
// as the line "File <name> not found.".
void PipePlayFile(const std::string& FileName, int32_t Rate);
void PipeShowFile(const std::string& FileName); // PipePlayFile with Rate 0

// S := the fixed escape of pipe code Code (empty above 23); for codes 0-7 it
// is followed by the escape of Attr's background, which their reset clears.
void PipeToAnsi(std::string& S, uint8_t Code, uint8_t Attr);
// S := the shortest escape from Screen's attribute to the colour of pipe code
// Code; empty when nothing would change. Screen's attribute is not changed.
void PipeToAnsiDiff(std::string& S, uint8_t Code);

// Writes lines 2-21, columns 1-79 of Image to FileName as characters with
// colour escapes, CR LF between lines. An empty name creates nothing; a file
// that cannot be created, or a failed write, ends the saving silently.
void SaveImageAnsi(const std::string& FileName, const TConsoleImageRec& Image);
