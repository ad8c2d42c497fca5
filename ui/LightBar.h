#pragma once
// A light-bar list: one-line items in a screen rectangle, one highlighted, the
// highlight moved by the cursor keys and the items scrolled through the
// rectangle. Run draws no frame and saves nothing; it reports through its
// result and through plain-procedure callbacks. In command mode the keys Run
// does not handle go to OnKey; otherwise typed text searches the items.

#include <cstdint>
#include <string>
#include <vector>

// One item: the row text (may hold pipe colour codes) and a spare text that
// Add leaves empty and the list never reads.
struct TBItem {
    std::string Text;
    std::string Data;
    bool operator==(const TBItem&) const = default;
};

// Callbacks are plain procedures (function pointers, no object); an unset
// one (nullptr) is not called.
using TBarEventProc = void (*)(int32_t Index);
using TBarKeyProc = void (*)(char Key, int32_t Index);

// Results of Run besides an item index (0 or more).
inline constexpr int32_t brEscape = -998;
inline constexpr int32_t brBackspace = -997;
inline constexpr int32_t brLeft = -996;
inline constexpr int32_t brRight = -995;
inline constexpr int32_t brPlus = -994;
inline constexpr int32_t brMinus = -993;
inline constexpr int32_t brStar = -992;
inline constexpr int32_t brSlash = -991;

class TBar {
public:
    TBar() = default;
    ~TBar();
    TBar(const TBar&) = delete;
    TBar& operator=(const TBar&) = delete;

    int32_t Index = 0;              // highlighted item, from 0
    std::string HiColor = "|23|00"; // pipe prefix of the highlighted row
    std::string LoColor = "|07|16"; // pipe prefix of the other rows
    uint8_t X = 1;                  // stored only; Run takes its rectangle as arguments
    uint8_t Y = 1;
    int32_t Count = 0;     // items after Add; -1 after Clear
    bool ShowMore = false; // draw the more marks
    uint8_t MoreX = 1;
    uint8_t MoreY = 1;
    std::string MoreColor = "|08|16";
    bool CommandMode = false;
    std::string SearchStr;    // incremental-search text, upper case
    bool ShowScroll = false;  // draw the scroll column
    char ScrollChar = '\xB0'; // track
    char BarChar = '\xB2';    // thumb
    uint8_t ScrollAttr = 8;
    uint8_t BarAttr = 15;
    uint8_t SearchX = 0; // column of the search line; 0: none
    uint8_t SearchY = 0;
    uint8_t SearchAttr = 7;
    int32_t SearchPos = 0; // item the next search starts from
    std::vector<TBItem> Items;
    TBarEventProc OnChange = nullptr; // each time the highlighted row is drawn
    TBarEventProc OnSelect = nullptr; // Enter on an item
    TBarKeyProc OnKey = nullptr;      // command mode: the keys left to the owner

    void Add(const std::string& Text);
    void Clear();
    // Shows the items in columns X to X + Width - 1 of rows Y to Y + Height - 1
    // (1-based), highlighting Start first, and reads keys until one ends it.
    int32_t Run(uint8_t X, uint8_t Y, uint8_t Width, uint8_t Height, int32_t Start);
    void Sort(); // by Text, bytes compared unsigned
};
