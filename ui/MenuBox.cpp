#include "ui/MenuBox.h"

std::string FrameCharsOf(uint8_t FrameType) {
    return BoxFrameChars[FrameType >= 1 && FrameType <= 8 ? FrameType : DefaultFrameType];
}

TMenuBox::TMenuBox() = default;
TMenuBox::~TMenuBox() = default;
void TMenuBox::Open(uint8_t, uint8_t, uint8_t, uint8_t) {}
void TMenuBox::Close() {}
void TMenuBox::Hide() {}
void TMenuBox::Show() {}

void DrawPanel(uint8_t, uint8_t, uint8_t, uint8_t, uint8_t) {}
void DrawPanel2(uint8_t, uint8_t, uint8_t, uint8_t, uint8_t) {}
void DrawShadow(uint8_t, uint8_t, uint8_t, uint8_t, uint8_t) {}
void DrawPipeFrame(uint8_t, uint8_t) {}
void DrawTitleFrame(uint8_t, uint8_t) {}
void DrawArtBox(uint8_t, uint8_t) {}
void DrawMenuBar(uint8_t, const std::string&) {}

void DefListBoxSearch(TMenuList&, const std::string&) {}

TMenuList::TMenuList() : List(MaxListItems + 1), Box(std::make_unique<TMenuBox>()) {}
TMenuList::~TMenuList() = default;
void TMenuList::Add(const std::string&, uint8_t) {}
void TMenuList::Clear() {}
void TMenuList::Delete(uint16_t) {}
void TMenuList::Get(uint16_t, std::string& Text, bool& Tagged) const {
    Text.clear();
    Tagged = false;
}
void TMenuList::SetSearchProc(TMenuListSearchProc P) {
    SearchProc = P;
}
void TMenuList::SetStatusProc(TMenuListStatusProc P) {
    StatusProc = P;
}
void TMenuList::DrawLine(uint8_t, uint8_t, uint16_t, bool) {}
void TMenuList::UpdateBar() {}
void TMenuList::Update() {}
void TMenuList::Open(uint8_t, uint8_t, uint8_t, uint8_t) {}
void TMenuList::Close() {}
std::string TMenuList::ItemText(int32_t) const {
    return {};
}
void TMenuList::MoveDown() {}
void TMenuList::RedrawMove(int32_t, int32_t) {}
void TMenuList::DropSearch(std::string&) {}
void TMenuList::DoSearch(const std::string&) {}
