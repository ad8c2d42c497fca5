#pragma once
// Keyboard prompts and dialogs. The input fields edit one line in place and
// save nothing; they share the input-field settings below, which start-up
// sets once (InitDialogs) and callers may change for the rest of the run.
// Every prompt leaves the key that ended it in InputKey.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// ---- Input fields and prompts ----------------------------------------------

// A string of at most 80 characters: a longer value is cut to its first 80.
class MyString {
public:
    static constexpr std::size_t MaxLen = 80;

    MyString() = default;
    MyString(const std::string& S) : Str(S.substr(0, MaxLen)) {}
    MyString(const char* S) : MyString(std::string(S)) {}

    operator const std::string&() const { return Str; }
    const std::string& str() const { return Str; }
    std::size_t size() const { return Str.size(); }
    std::size_t length() const { return Str.size(); }
    bool empty() const { return Str.empty(); }
    char operator[](std::size_t I) const { return Str[I]; }
    bool operator==(const MyString&) const = default;

private:
    std::string Str;
};

// Input modes of InputField.
inline constexpr uint8_t imNumber = 0; // digits and '-'
inline constexpr uint8_t imAny = 1;    // #32 to #254
inline constexpr uint8_t imUpper = 2;  // as imAny, a-z stored upper-cased
inline constexpr uint8_t imDate = 3;   // digits, '/' put in as 99/99/99

extern MyString InputExit;    // plain control keys that end a field (#13)
extern MyString InputExitExt; // scan codes of extended keys that end a field
extern char InputKey;         // key that ended the last prompt (scan code for extended)
extern uint8_t InputAttr;     // field text ($1F)
extern char InputFillChar;    // fills the window after the text (#176)
extern uint8_t InputFillAttr; // attribute of the fill ($17)
extern bool InputChanged;     // the last answer differs from its default

// Puts the settings above to their start-up values. Start-up calls it once,
// after InitConsole and InitAnsiUtil. The globals start with these values
// anyway, so the prompts also work before the call.
void InitDialogs();

// One-line editor in FieldLen columns from (X, Y); the text holds at most
// MaxLen (and 80) characters.
MyString InputField(uint8_t X, uint8_t Y, uint8_t FieldLen, uint8_t MaxLen, uint8_t Mode,
                    const MyString& Default);
// InputField drawn in Attr with FillChar in FillAttr after the text.
MyString InputFieldAttr(uint8_t X, uint8_t Y, uint8_t FieldLen, uint8_t MaxLen, uint8_t Mode,
                        uint8_t Attr, uint8_t FillAttr, char FillChar, const MyString& Default);
// A number typed in an imNumber field, kept within Min..Max.
int32_t InputRange(uint8_t X, uint8_t Y, uint8_t FieldLen, uint8_t MaxLen, int32_t Min, int32_t Max,
                   int32_t Default);
// Append-only prompt at the cursor taking only characters of Allowed; Mask,
// when not #0, is shown in place of each character.
std::string InputMasked(const std::string& Default, const std::string& Allowed, char Mask,
                        uint8_t FieldLen, uint8_t MaxLen, uint8_t Attr);
bool InputYesNo(uint8_t X, uint8_t Y, bool Default);
bool AskYesNo(uint8_t X, uint8_t Y, uint8_t YesAttr, uint8_t NoAttr, uint8_t Attr, bool Default);
char InputChar(uint8_t X, uint8_t Y, char Default);
// Text shown as a field; true when Enter ended it.
bool InputButton(uint8_t X, uint8_t Y, uint8_t Width, const MyString& Text);
// Waits for a key of Keys (a-z read as A-Z); Echo writes it and a line end.
char GetKeyFrom(const std::string& Keys, bool Echo);

// ---- end of input fields ---------------------------------------------------

// ===========================================================================
// Boxes and file choosers. Each box saves the whole screen when it opens and
// puts it back when it closes (ShowMsgBox in mbStay mode excepted). The file
// choosers change the process's current directory while they run and always
// change back before they return, however they end.
// ===========================================================================

// ShowMsgBox modes.
inline constexpr uint8_t mbInfo = 0;  // message with an " OK " button; waits for a key
inline constexpr uint8_t mbYesNo = 1; // question with " YES " and " NO "
inline constexpr uint8_t mbStay = 2;  // draws the box and returns at once, leaving it drawn

// The message box: True unless a yes/no question was answered NO. A text
// longer than the box can hold on 80 columns is cut.
bool ShowMsgBox(uint8_t Mode, const std::string& Text);
// A question in an ANSI-art frame, NO preselected.
bool AskBox(const std::string& Title, const std::string& Text);
// An information box; waits for one key.
void ShowAbout(const std::string& Title);
// Picks one of ten sets of drawing characters: 1 to 10 (4 for Esc).
uint8_t SelectCharset();
// Picks a text attribute starting from Attr; Esc gives Attr back.
uint8_t SelectColor(uint8_t Attr);
// Picks one of the 256 characters; Esc gives #0.
char SelectChar();
// Pipe-coded S centred on row Y, starting in attribute 7.
void WritePipeCenter(const std::string& S, uint8_t Y);

// The file choosers: the full path chosen ('' for Esc), which names the same
// file from the directory that was current when the chooser was called.
// SaveFileDialog offers each path the user picks to Refuse, when given,
// before anything else: a non-empty answer is shown in a message box and the
// chooser stays open for another name. The chooser itself knows no file it
// must keep; the caller does. It refuses a symbolic link itself, dangling or
// not (SymlinkText says why), before it asks "File Exists. Overwrite?". A
// typed name that starts with "/" is that path, not one below the directory.
using TSaveRefusal = std::function<std::string(const std::string& Path)>;
std::string SaveFileDialog(const std::string& Title, const std::string& DefName,
                           const std::string& StartDir, const TSaveRefusal& Refuse = {});
std::string OpenFileDialog(const std::string& Title, const std::string& StartDir);
// What a save is told when Path is a symbolic link: its file name and why,
// within the 76 characters of the message box.
std::string SymlinkText(const std::string& Path);
