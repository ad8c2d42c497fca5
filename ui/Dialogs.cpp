#include "ui/Dialogs.h"

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
