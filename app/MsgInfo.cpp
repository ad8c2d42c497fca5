#include "app/MsgInfo.h"

// Stubs until the boxes and dialogs they draw with are in place.

void ShowBaseHeader() {}
void ShowLastRead() {}
void ShowMsgHeader() {}
std::string FlagLabel(const std::string& Text, bool IsSet) {
    return (IsSet ? "|15|19" : "|08|23") + Text;
}
void ShowMessageInfo(int32_t) {}
void OnListSelect(int32_t) {}
void ViewMessage(int32_t) {}
void ShowHelp() {}
void ExtractUUE() {}
void ExtractPGP() {}
void ExportText(int32_t) {}
