#pragma once
// Framed pop-up boxes, the raised panels and fixed pictures drawn on the
// 80 x 25 screen, and the scrolling pick list that frames itself with a box.
// Everything is drawn through the Console procedures, cut to the screen: no
// cell outside columns 1-80 and lines 1-25 is ever written. A box saves the
// whole screen at its first opening and puts it back when closed; freeing it
// touches nothing, so its owner closes it on every way out.

#include "terminal/Console.h"
#include "terminal/KeyCodes.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Frame styles 1 to 8: top-left, top, top-right, left, right, bottom-left,
// bottom, bottom-right. Index 0 is unused.
inline constexpr std::array<const char*, 9> BoxFrameChars = {
    "",
    "\xDA\xC4\xBF\xB3\xB3\xC0\xC4\xD9", // single lines
    "\xC9\xCD\xBB\xBA\xBA\xC8\xCD\xBC", // double lines
    "\xD6\xC4\xB7\xBA\xBA\xD3\xC4\xBD", // double sides, single top and bottom
    "\xD5\xCD\xB8\xB3\xB3\xD4\xCD\xBE", // single sides, double top and bottom
    "\xDB\xDF\xDB\xDB\xDB\xDB\xDC\xDB", // blocks
    "\xDB\xDF\xDC\xDB\xDB\xDF\xDC\xDB", // blocks, half blocks at two corners
    "        ",                         // blanks
    ".-.||`-'",                         // plain ASCII
};

// A new box's style, also drawn for a FrameType outside 1 to 8.
inline constexpr uint8_t DefaultFrameType = 6;

class TMenuBox {
public:
    TMenuBox();
    virtual ~TMenuBox(); // draws nothing: an open box stays on the screen
    TMenuBox(const TMenuBox&) = delete;
    TMenuBox& operator=(const TMenuBox&) = delete;

    TConsoleImageRec Image{};     // the screen saved by the first Open
    TConsoleImageRec HideImage{}; // the screen saved by Hide
    uint8_t FrameType = DefaultFrameType;
    uint8_t BoxAttr = 0x7F;  // top-left corner, top and left edges, interior
    bool Box3D = true;       // false: Open makes BoxAttr2-4 equal to BoxAttr
    uint8_t BoxAttr2 = 0x78; // right and bottom edges, bottom-right corner
    uint8_t BoxAttr3 = 0x7F; // bottom-left corner
    uint8_t BoxAttr4 = 0x78; // top-right corner
    bool Shadow = true;
    uint8_t ShadowAttr = 0x00;
    uint8_t HeadAttr = 0x1F;
    uint8_t HeadType = 0; // 0 centred, 1 left, 2 right, other: no header
    std::string Header;
    bool WasOpened = false;

    void Open(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2);
    void Close();
    void Hide();
    void Show();
    // Drops the saved screens, leaving the box drawn: Close puts nothing
    // back, and the next Open saves afresh.
    void Forget();

private:
    bool HideSaved = false; // Hide has put a screen aside
};

// The raised panel with a blue title bar on row Y1 + 1.
void DrawPanel(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2, uint8_t Back);
// A second raised panel; Back is accepted and not used.
void DrawPanel2(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2, uint8_t Back);
// Recolours shadow cells right of and below a rectangle, keeping their characters.
void DrawShadow(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2, uint8_t Attr);
// Fixed pictures with their top-left corner at (X, Y).
void DrawPipeFrame(uint8_t X, uint8_t Y);
void DrawTitleFrame(uint8_t X, uint8_t Y);
void DrawArtBox(uint8_t X, uint8_t Y);
// The menu bar of rows 1 to 3 with its logo at column X and Title in it.
void DrawMenuBar(uint8_t X, const std::string& Title);

// ---------------------------------------------------------------------------
// Scrolling pick list.

inline constexpr int32_t MaxListItems = 10000;

struct TMenuListBoxRec {
    std::string Text;
    uint8_t Tag = 0; // 0 not tagged, 1 tagged, 2 cannot be tagged
};

// Declared with the list; nothing uses it.
using TMenuFormFlagsRec = std::bitset<27>;

class TMenuList;
using TMenuListStatusProc = void (*)(uint16_t Picked, const std::string& Text);
using TMenuListSearchProc = void (*)(TMenuList& Owner, const std::string& Text);

// The default SearchProc: the search text over the box's bottom edge.
void DefListBoxSearch(TMenuList& Owner, const std::string& Text);

class TMenuList {
public:
    TMenuList();
    virtual ~TMenuList();
    TMenuList(const TMenuList&) = delete;
    TMenuList& operator=(const TMenuList&) = delete;

    // Items 1 to ListMax are set; index 0 and items past ListMax are empty.
    std::vector<std::unique_ptr<TMenuListBoxRec>> List;
    std::unique_ptr<TMenuBox> Box;
    uint8_t HiAttr = 0x1F;
    uint8_t LoAttr = 0x71;
    bool ShowScroll = true;
    uint8_t Format = 0; // 0 left, 1 right, 2 centred
    std::string LoChars{Key::Enter, Key::Esc};
    std::string HiChars;
    char ExitCode = 0;
    int32_t Picked = 1;
    int32_t TopPage = 1;
    bool NoWindow = false;
    int32_t ListMax = 0;
    bool AllowTag = false;
    char TagChar = '*';
    char TagKey = Key::Tab;
    uint8_t TagPos = 0;
    uint8_t TagAttr = 0x7F;
    uint16_t Marked = 0;
    TMenuListStatusProc StatusProc = nullptr;
    int32_t Width = 0;
    int32_t WinSize = 0;
    uint8_t X1 = 0;
    uint8_t Y1 = 0;
    bool NoInput = false;
    uint8_t LastBarPos = 0;
    TMenuListSearchProc SearchProc = DefListBoxSearch;
    uint8_t SearchX = 0;
    uint8_t SearchY = 0;
    uint8_t SearchAttr = 0;

    // Appends an item; refused (nothing changes) when the list is full.
    void Add(const std::string& Text, uint8_t Tag);
    void Clear();
    void Delete(uint16_t Index);
    void Get(uint16_t Index, std::string& Text, bool& Tagged) const;
    void SetSearchProc(TMenuListSearchProc P);
    void SetStatusProc(TMenuListStatusProc P);
    void DrawLine(uint8_t X, uint8_t Y, uint16_t Index, bool Selected);
    void UpdateBar();
    void Update();
    void Open(uint8_t X1, uint8_t Y1, uint8_t X2, uint8_t Y2);
    void Close();

private:
    std::string ItemText(int32_t Index) const; // empty outside 1 to ListMax
    void DrawItemRow(int32_t Index);           // the item's row, when in the window
    void RedrawMove(int32_t OldPicked, int32_t OldTop);
    void MoveDown();
    void MoveByKey(uint8_t Code);
    void RunKeys();
    void DropSearch(std::string& Search);
    void DoSearch(const std::string& Search);
};
