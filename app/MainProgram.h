#pragma once
// The main program: finds and opens the base, draws the frame (title, column
// header, status row), owns the message list and hands every key of the main
// screen to its command table until the exit question is answered YES. The
// globals below belong to this unit; the page and search procedures
// (MsgPages) and the boxes, viewer and exports (MsgInfo) share them.

#include <cstdint>
#include <memory>
#include <string>

class TJamBase;
class TBar;
enum class TJamRefusal : uint8_t;

extern std::unique_ptr<TJamBase> Base; // the open base; made by OpenBase
extern std::unique_ptr<TBar> MsgList;  // the list on rows 3-24; made at start-up
extern int32_t TopMsg;                 // first message of the page; 1 while searching
extern std::string BaseDir;            // directory of the base, ending in "/"
extern std::string BaseName;           // base name without directory and extension
extern std::string ExeDir;             // the executable's directory with "/"; '' when unknown
extern std::string StatusLine;         // text of screen row 25
extern int32_t ListResult;             // last result of MsgList.Run
extern int32_t LastIndex;              // row last reported by OnListChange/OnListSelect
extern std::string SearchText;         // not empty while the list holds search results
extern bool SearchRegEx;               // SearchText is a regular expression

// The status row of the index, set at start-up and by "R"; a search adds its mode.
inline const std::string StartStatus = "ESC/Quit # H/Help | ";

// Told once at start-up when the terminal is smaller than the screen.
inline const std::string SmallTerminalText =
    "The screen needs 80 columns and 25 rows: part of it is hidden.";

// BaseDir and BaseName from a path that names the base or one of its files:
// the name as given when its ".jhr" file exists, else without its extension.
void SplitBasePath(const std::string& Path);

// The message the row Index of MsgList was built from; 0 when the list has no
// such row. Every row command acts on this message, never on the row's text.
int32_t RowMsg(int32_t Index);
// The number of messages the index file holds now, also kept in
// Base->TotalMsgs: another program may have added or removed some since the
// base was opened, and every page is placed by what the files hold then.
int32_t CurrentTotal();
// When another program has renamed a new base over the open one, opens the
// files at the base's names instead; true when it did. The page fill and the
// search ask it first, so the list never shows a base that is gone.
bool TakeReplacedBase();

// What "D" says when the base refused the deletion of MsgNo for Why.
std::string DeleteRefusalText(int32_t MsgNo, TJamRefusal Why);
// What "D" with purge says when the deletion left some of MsgNo's text as it
// was, because another message's text starts inside it.
std::string PurgeLeftText(int32_t MsgNo);
inline const std::string ReadOnlyBaseText =
    "This base may only be read here: no message can be deleted.";
inline const std::string ReplacedBaseText = "The base was replaced on disk: nothing was deleted.";

[[noreturn]] void MainProgram(int argc, char** argv);
void DrawFrame();
bool OpenBase();
[[noreturn]] void QuitProgram();
void OnListChange(int32_t Index);
void OnListKey(char Key, int32_t Index);
