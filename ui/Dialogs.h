#pragma once

// ===========================================================================
// Boxes and file choosers. Each box saves the whole screen when it opens and
// puts it back when it closes (ShowMsgBox in mbStay mode excepted). The file
// choosers change the process's current directory while they run and always
// change back before they return, however they end.
// ===========================================================================

#include <cstdint>
#include <string>

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
std::string SaveFileDialog(const std::string& Title, const std::string& DefName,
                           const std::string& StartDir);
std::string OpenFileDialog(const std::string& Title, const std::string& StartDir);
