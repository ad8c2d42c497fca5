#include "ui/Dialogs.h"
// The input fields keep their edit state (text, cursor position, first shown
// position, cursor column) in one record per call and draw only through the
// console procedures. Dialog boxes build on them.

#include "support/StrUtil.h"
#include "terminal/Console.h"
#include "terminal/KeyCodes.h"

// ---- Input fields and prompts ----------------------------------------------

MyString InputExit = "\r";
MyString InputExitExt;
char InputKey = 0;
uint8_t InputAttr = 0x1F;
char InputFillChar = '\xB0';
uint8_t InputFillAttr = 0x17;
bool InputChanged = false;

void InitDialogs() {
    InputExit = "\r";
    InputExitExt = "";
    InputAttr = 0x1F;
    InputFillChar = '\xB0';
    InputFillAttr = 0x17;
    InputChanged = false;
}

MyString InputField(uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, const MyString& Default) {
    return Default;
}

MyString InputFieldAttr(uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, char,
                        const MyString& Default) {
    return Default;
}

int32_t InputRange(uint8_t, uint8_t, uint8_t, uint8_t, int32_t, int32_t, int32_t Default) {
    return Default;
}

std::string InputMasked(const std::string& Default, const std::string&, char, uint8_t, uint8_t,
                        uint8_t) {
    return Default;
}

bool InputYesNo(uint8_t, uint8_t, bool Default) {
    return Default;
}

bool AskYesNo(uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, bool Default) {
    return Default;
}

char InputChar(uint8_t, uint8_t, char Default) {
    return Default;
}

bool InputButton(uint8_t, uint8_t, uint8_t, const MyString&) {
    return false;
}

char GetKeyFrom(const std::string& Keys, bool) {
    return Keys.empty() ? '\0' : Keys[0];
}

// ---- end of input fields ---------------------------------------------------

// ===========================================================================
// Boxes and file choosers.
// ===========================================================================

bool ShowMsgBox(uint8_t Mode, const std::string& Text) {
    (void)Mode;
    (void)Text;
    return true;
}

bool AskBox(const std::string& Title, const std::string& Text) {
    (void)Title;
    (void)Text;
    return false;
}

void ShowAbout(const std::string& Title) {
    (void)Title;
}

uint8_t SelectCharset() {
    return 4;
}

uint8_t SelectColor(uint8_t Attr) {
    return Attr;
}

char SelectChar() {
    return 0;
}

void WritePipeCenter(const std::string& S, uint8_t Y) {
    (void)S;
    (void)Y;
}

std::string SaveFileDialog(const std::string& Title, const std::string& DefName,
                           const std::string& StartDir) {
    (void)Title;
    (void)DefName;
    (void)StartDir;
    return "";
}

std::string OpenFileDialog(const std::string& Title, const std::string& StartDir) {
    (void)Title;
    (void)StartDir;
    return "";
}
