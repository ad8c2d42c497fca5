#include "ui/Dialogs.h"
// The input fields keep their edit state (text, cursor position, first shown
// position, cursor column) in one record per call and draw only through the
// console procedures. Dialog boxes build on them.

#include "support/FileIO.h"
#include "support/QuickSort.h"
#include "support/StrUtil.h"
#include "terminal/Console.h"
#include "terminal/KeyCodes.h"
#include "ui/MenuBox.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <queue>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

// ---- Input fields and prompts ----------------------------------------------

MyString InputExit = "\r";
MyString InputExitExt;
char InputKey = 0;
uint8_t InputAttr = 0x1F;
char InputFillChar = '\xB0';
uint8_t InputFillAttr = 0x17;
bool InputChanged = false;

namespace {

constexpr int32_t LastCol = 80;  // everything stays on 80 columns ...
constexpr int32_t LastLine = 25; // ... by 25 lines, whatever the terminal's height
// The word moves; the keyboard reader has no name for them as it never
// produces them, but a field still answers them.
constexpr uint8_t ScanCtrlLeft = 115;
constexpr uint8_t ScanCtrlRight = 116;
constexpr char Blank = ' ';

uint8_t ToByte(int32_t V) {
    return static_cast<uint8_t>(std::clamp<int32_t>(V, 0, 255));
}

// S at (X, Y) in A, cut at the screen's right edge; nothing off the screen.
void PutXY(int32_t X, int32_t Y, uint8_t A, const std::string& S) {
    if (X < 1 || X > LastCol || Y < 1 || Y > LastLine || S.empty()) return;
    WriteXY(ToByte(X), ToByte(Y), A, S.substr(0, static_cast<size_t>(LastCol - X + 1)));
}

bool Holds(const std::string& Keys, char K) {
    return Keys.find(K) != std::string::npos;
}

// Plain keys that may end a field; the others edit or are refused.
bool IsExitCandidate(char K) {
    const auto u = static_cast<uint8_t>(K);
    return (u >= 1 && u <= 7) || (u >= 9 && u <= 24) || (u >= 26 && u <= 31) || u == 255;
}

// What a field draws with.
struct TFieldLook {
    uint8_t Attr;
    uint8_t FillAttr;
    char FillChar;
};

// The edit state of one field and its drawing. Positions are 1-based as in
// the screen: Cur in the text, Start the text position shown first, Col the
// window column of the cursor; Col = Cur - Start + 1 after every key.
class TLineEditor {
public:
    TLineEditor(uint8_t X, uint8_t Y, uint8_t FieldLen, uint8_t MaxLen, uint8_t Mode,
                TFieldLook Look, const std::string& Text);
    MyString Run();

private:
    int32_t X, Y;
    int32_t FieldLen; // window width: at least 2, never past the screen's edge
    int32_t MaxLen;   // as given; decides scrolling
    int32_t Limit;    // most characters the text takes: MaxLen, at most 80
    uint8_t Mode;
    TFieldLook Look;
    std::string Buffer;
    int32_t Cur = 1, Start = 1, Col = 1;

    int32_t Len() const { return static_cast<int32_t>(Buffer.size()); }
    bool BlankAt(int32_t P) const { return P >= 1 && P <= Len() && Buffer[P - 1] == Blank; }
    void PlaceCursor() const;
    // S from window column WinCol on, cut at the window's right edge.
    void PutInWindow(int32_t WinCol, uint8_t A, const std::string& S) const;
    void DrawField();
    void DrawTail();
    void ScrollLeft();
    void ScrollRight();
    void InsertChar(char C);
    void StepLeft();
    void StepRight();
    void WordLeft();
    void WordRight();
    void TypeChar(char C);
    bool ExtendedKey(uint8_t Code); // true when it ends the field
};

TLineEditor::TLineEditor(uint8_t X_, uint8_t Y_, uint8_t FieldLen_, uint8_t MaxLen_, uint8_t Mode_,
                         TFieldLook Look_, const std::string& Text)
    : X(std::clamp<int32_t>(X_, 1, LastCol)), Y(std::clamp<int32_t>(Y_, 1, LastLine)),
      FieldLen(std::min<int32_t>(std::max<int32_t>(FieldLen_, 2), LastCol - X + 1)),
      MaxLen(MaxLen_), Limit(std::min<int32_t>(MaxLen_, MyString::MaxLen)), Mode(Mode_),
      Look(Look_), Buffer(Text.substr(0, static_cast<size_t>(Limit))) {
    Cur = Len() + 1;
    Start = std::max(Len() - FieldLen + 1, 1);
    Col = Cur - Start + 1;
}

void TLineEditor::PlaceCursor() const {
    GotoXY(ToByte(std::min(X + Col - 1, LastCol)), ToByte(Y));
}

void TLineEditor::PutInWindow(int32_t WinCol, uint8_t A, const std::string& S) const {
    const int32_t room = FieldLen - WinCol + 1;
    if (WinCol < 1 || room <= 0) return;
    PutXY(X + WinCol - 1, Y, A, S.substr(0, static_cast<size_t>(room)));
}

void TLineEditor::DrawField() {
    const std::string shown = Start <= Len() ? Buffer.substr(static_cast<size_t>(Start - 1),
                                                             static_cast<size_t>(FieldLen))
                                             : std::string();
    const auto shown32 = static_cast<int32_t>(shown.size());
    PutInWindow(1, Look.Attr, shown);
    PutInWindow(shown32 + 1, Look.FillAttr,
                std::string(static_cast<size_t>(FieldLen - shown32), Look.FillChar));
    PlaceCursor();
}

void TLineEditor::DrawTail() {
    const int32_t room = FieldLen - Col + 1;
    if (room > 0) {
        const std::string tail =
            Cur <= Len() ? Buffer.substr(static_cast<size_t>(Cur - 1), static_cast<size_t>(room))
                         : std::string();
        const auto tail32 = static_cast<int32_t>(tail.size());
        PutInWindow(Col, Look.Attr, tail);
        PutInWindow(Col + tail32, Look.FillAttr,
                    std::string(static_cast<size_t>(room - tail32), Look.FillChar));
    }
    PlaceCursor();
}

void TLineEditor::ScrollLeft() {
    if (Start <= 1) return;
    --Start;
    Col = Cur - Start + 1;
    DrawField();
}

void TLineEditor::ScrollRight() {
    ++Start;
    if (Start > Len()) Start = Len();
    if (Start > MaxLen) Start = MaxLen;
    // An empty text, or a limit of 0, would put the window before the text.
    if (Start < 1) Start = 1;
    Col = Cur - Start + 1;
    DrawField();
}

void TLineEditor::InsertChar(char C) {
    if (Len() >= Limit) return;
    if (Col >= FieldLen && FieldLen != MaxLen) ScrollRight();
    Buffer.insert(static_cast<size_t>(Cur - 1), 1, C);
    if (Len() > Cur) DrawTail();
    const int32_t at = Col;
    ++Cur;
    ++Col;
    PutInWindow(at, Look.Attr, std::string(1, C));
    PlaceCursor();
}

void TLineEditor::StepLeft() {
    if (Col == 1) ScrollLeft();
    --Cur;
    --Col;
}

void TLineEditor::StepRight() {
    if (Col == FieldLen && Cur < Len()) ScrollRight();
    ++Cur;
    ++Col;
}

void TLineEditor::WordLeft() {
    if (Cur > 1 && (BlankAt(Cur) || BlankAt(Cur - 1))) {
        StepLeft();
        while (Cur > 1 && BlankAt(Cur)) StepLeft();
    }
    while (Cur > 1 && !BlankAt(Cur)) StepLeft();
    if (Cur > 1 && BlankAt(Cur)) {
        ++Cur;
        ++Col;
    }
    DrawField();
}

void TLineEditor::WordRight() {
    while (Cur <= Len()) {
        StepRight();
        if (BlankAt(Cur)) {
            if (Cur <= Len()) StepRight();
            break;
        }
    }
    PlaceCursor();
}

void TLineEditor::TypeChar(char C) {
    const bool digit = C >= '0' && C <= '9';
    switch (Mode) {
    case imNumber:
        if (digit || C == '-') InsertChar(C);
        break;
    case imAny: InsertChar(C); break;
    case imUpper: InsertChar(UpperCase(std::string(1, C))[0]); break;
    case imDate:
        if (!digit) break;
        if (Cur == 3 || Cur == 6) InsertChar('/');
        const bool slashAfter = Cur == 2 || Cur == 5;
        InsertChar(C);
        if (slashAfter) InsertChar('/');
        break;
    }
}

bool TLineEditor::ExtendedKey(uint8_t Code) {
    switch (Code) {
    case Scan::Home:
        if (Cur > 1) {
            Cur = Start = Col = 1;
            DrawField();
        }
        return false;
    case Scan::Left:
        if (Cur > 1) {
            StepLeft();
            PlaceCursor();
        }
        return false;
    case Scan::Right:
        if (Cur <= Len()) {
            StepRight();
            PlaceCursor();
        }
        return false;
    case Scan::End:
        Cur = Len() + 1;
        Start = std::max(Len() - FieldLen + 1, 1);
        Col = Cur - Start + 1;
        DrawField();
        return false;
    case Scan::Del:
        if (Cur <= Len()) {
            Buffer.erase(static_cast<size_t>(Cur - 1), 1);
            DrawTail();
        }
        return false;
    case ScanCtrlLeft: WordLeft(); return false;
    case ScanCtrlRight: WordRight(); return false;
    default: return Holds(InputExitExt, static_cast<char>(Code));
    }
}

MyString TLineEditor::Run() {
    GotoXY(ToByte(X), ToByte(Y));
    SetTextAttr(Look.Attr);
    DrawField();
    for (;;) {
        const char k = ReadKey();
        const auto u = static_cast<uint8_t>(k);
        if (k == Key::Extended) {
            const char code = ReadKey();
            if (ExtendedKey(static_cast<uint8_t>(code))) {
                InputKey = code;
                break;
            }
        } else if (k == Key::Backspace) {
            if (Cur > 1) {
                --Cur;
                Buffer.erase(static_cast<size_t>(Cur - 1), 1);
                if (Col == 1) {
                    ScrollLeft();
                } else {
                    --Col;
                    PlaceCursor();
                    DrawTail();
                }
            }
        } else if (k == Key::CtrlY) {
            Buffer.clear();
            Cur = Start = Col = 1;
            DrawField();
        } else if (u >= 32 && u <= 254) {
            TypeChar(k);
        } else if (IsExitCandidate(k) && Holds(InputExit, k)) {
            InputKey = k;
            break;
        }
    }
    return Buffer;
}

MyString RunField(uint8_t X, uint8_t Y, uint8_t FieldLen, uint8_t MaxLen, uint8_t Mode,
                  TFieldLook Look, const MyString& Default) {
    InputChanged = false;
    TLineEditor editor(X, Y, FieldLen, MaxLen, Mode, Look, Default);
    const MyString answer = editor.Run();
    InputChanged = !(answer == Default);
    return answer;
}

// The text the append-only prompt shows: the last Width characters, or
// masks in their place.
std::string MaskedView(const std::string& Text, char Mask, size_t Count) {
    if (Mask != 0) return std::string(Count, Mask);
    return Text.substr(Text.size() - Count);
}

} // namespace

void InitDialogs() {
    InputExit = "\r";
    InputExitExt = "";
    InputAttr = 0x1F;
    InputFillChar = '\xB0';
    InputFillAttr = 0x17;
    InputChanged = false;
}

MyString InputField(uint8_t X, uint8_t Y, uint8_t FieldLen, uint8_t MaxLen, uint8_t Mode,
                    const MyString& Default) {
    return RunField(X, Y, FieldLen, MaxLen, Mode, {InputAttr, InputFillAttr, InputFillChar},
                    Default);
}

MyString InputFieldAttr(uint8_t X, uint8_t Y, uint8_t FieldLen, uint8_t MaxLen, uint8_t Mode,
                        uint8_t Attr, uint8_t FillAttr, char FillChar, const MyString& Default) {
    return RunField(X, Y, FieldLen, MaxLen, Mode, {Attr, FillAttr, FillChar}, Default);
}

int32_t InputRange(uint8_t X, uint8_t Y, uint8_t FieldLen, uint8_t MaxLen, int32_t Min, int32_t Max,
                   int32_t Default) {
    int32_t n = StrToInt(InputField(X, Y, FieldLen, MaxLen, imNumber, IntToStr(Default)));
    if (n < Min) n = Min;
    if (n > Max) n = Max;
    return n;
}

std::string InputMasked(const std::string& Default, const std::string& Allowed, char Mask,
                        uint8_t FieldLen, uint8_t MaxLen, uint8_t Attr) {
    const std::string cut = Default.substr(0, MaxLen);
    std::string text = cut;
    char fill = '\xB0';
    const uint8_t savedAttr = GetTextAttr();
    SetTextAttr(Attr);
    const uint8_t startCol = WhereX();
    // The cursor must stay on the line: a character written in the last
    // column would wrap it to the next one.
    const size_t width = std::min<size_t>(FieldLen, static_cast<size_t>(LastCol - startCol));
    auto draw = [&] {
        GotoX(startCol);
        if (text.size() > width) {
            WriteText(MaskedView(text, Mask, width));
            GotoX(ToByte(startCol + static_cast<int32_t>(width)));
        } else {
            WriteText(MaskedView(text, Mask, text.size()) + std::string(width - text.size(), fill));
            GotoX(ToByte(startCol + static_cast<int32_t>(text.size())));
        }
    };
    draw();
    bool escaped = false;
    for (;;) {
        const char k = ReadKey();
        if (k == Key::Extended) {
            ReadKey(); // an extended key is never text: its scan code is dropped
        } else if (k == Key::Esc) {
            escaped = true;
            break;
        } else if (k == Key::Enter && !text.empty()) {
            break;
        } else if (k == Key::Backspace && !text.empty()) {
            text.pop_back();
            if (width > 0) WriteTextWithMoves(std::string{'\b', fill, '\b'});
            if (text.size() >= width) draw();
        } else if (k == Key::CtrlY && !text.empty()) {
            text.clear();
            draw();
        } else if (k != Key::Enter && Holds(Allowed, k) && text.size() < MaxLen) {
            text += k;
            if (text.size() > width) {
                draw();
            } else {
                WriteText(std::string(1, Mask != 0 ? Mask : k));
            }
        }
    }
    fill = Blank;
    draw();
    SetTextAttr(savedAttr);
    return escaped ? cut : text;
}

namespace {

// One key of a Yes/No choice: Left, Right and Space turn Choice over and give
// 0, as does any other extended key; every other key is returned.
char ReadChoiceKey(bool& Choice) {
    const char key = ReadKey();
    if (key == Key::Extended) {
        const auto code = static_cast<uint8_t>(ReadKey());
        if (code == Scan::Left || code == Scan::Right) Choice = !Choice;
        return 0;
    }
    if (key == ' ') {
        Choice = !Choice;
        return 0;
    }
    return key;
}

// The scan code after Key::Extended: True, and InputKey set to it, when it is
// one of the exit keys.
bool ExtendedExit() {
    const char code = ReadKey();
    if (!Holds(InputExitExt, code)) return false;
    InputKey = code;
    return true;
}

} // namespace

bool InputYesNo(uint8_t X, uint8_t Y, bool Default) {
    InputKey = 0;
    InputChanged = false;
    GotoXY(X, Y);
    bool choice = Default;
    for (;;) {
        PutXY(X, Y, InputAttr, choice ? "Yes" : "No ");
        const char k = ReadChoiceKey(choice);
        if (k == Key::Enter) break;
        if (k != 0 && Holds(InputExit, k)) {
            InputKey = k;
            break;
        }
    }
    InputChanged = choice != Default;
    return choice;
}

bool AskYesNo(uint8_t X, uint8_t Y, uint8_t YesAttr, uint8_t NoAttr, uint8_t Attr, bool Default) {
    GotoXY(X, Y);
    bool choice = Default;
    for (;;) {
        PutXY(X, Y, Attr, " Yes ");
        PutXY(X + 5, Y, Attr, " No ");
        if (choice) {
            PutXY(X, Y, YesAttr, " Yes ");
        } else {
            PutXY(X + 5, Y, NoAttr, " No ");
        }
        GotoXY(1, 25);
        if (ReadChoiceKey(choice) == Key::Enter) break;
    }
    return choice;
}

char InputChar(uint8_t X, uint8_t Y, char Default) {
    InputKey = 0;
    InputChanged = false;
    char ch = Default;
    GotoXY(X, Y);
    for (;;) {
        PutXY(X, Y, InputAttr, std::string(1, ch));
        const char k = ReadKey();
        if (k == Key::Extended) {
            if (ExtendedExit()) break;
            continue;
        }
        if (k == Key::Esc) ch = Default;
        if (Holds(InputExit, k)) {
            InputKey = k;
            break;
        }
        if (static_cast<uint8_t>(k) >= 32) ch = k;
    }
    InputChanged = ch != Default;
    return ch;
}

bool InputButton(uint8_t X, uint8_t Y, uint8_t Width, const MyString& Text) {
    InputKey = 0;
    InputChanged = false;
    PutXY(X, Y, InputAttr, PadRight(Text, Width, Blank));
    GotoXY(X, Y);
    bool pressed = false;
    for (;;) {
        const char k = ReadKey();
        if (k == Key::Extended) {
            if (ExtendedExit()) break;
        } else if (k == Key::Enter || Holds(InputExit, k)) {
            InputKey = k;
            pressed = k == Key::Enter;
            break;
        }
    }
    InputChanged = pressed;
    return pressed;
}

char GetKeyFrom(const std::string& Keys, bool Echo) {
    char k;
    do {
        k = UpperCase(std::string(1, ReadKey()))[0];
    } while (!Holds(Keys, k));
    if (Echo) WriteLine(std::string(1, k));
    return k;
}

// ---- end of input fields ---------------------------------------------------

// ===========================================================================
// Boxes and file choosers. A box saves the whole screen when it opens and puts
// it back when it closes, also when it is left by an exception. The file
// choosers list a directory by changing into it; a guard holding the directory
// that was current at the call changes back on every way out.
// ===========================================================================

namespace {

// ---- Box helpers -------------------------------------------------------------

// The longest message the box shows: the box then spans columns 1 to 80.
constexpr std::size_t MsgBoxMaxText = 76;

// The style shared by the message box and the colour and character pickers.
void SetSharedBoxStyle(TMenuBox& Box) {
    Box.FrameType = 6;
    Box.HeadAttr = 0x70;
    Box.BoxAttr = 0x7F;
    Box.BoxAttr2 = 0x78;
    Box.BoxAttr3 = 0x7F;
    Box.BoxAttr4 = 0x78;
    Box.Box3D = true;
}

// One key; an extended key is read whole (its scan code is returned).
struct KeyPress {
    bool Extended = false;
    uint8_t Code = 0;
};

KeyPress ReadOneKey() {
    const char k = ReadKey();
    if (k != Key::Extended) return {false, static_cast<uint8_t>(k)};
    return {true, static_cast<uint8_t>(ReadKey())};
}

char UpCaseKey(uint8_t Code) {
    return Code >= 'a' && Code <= 'z' ? static_cast<char>(Code - 'a' + 'A')
                                      : static_cast<char>(Code);
}

// Closes a box on every way out of its owner, an exception included: a box
// that is only freed stays on the screen.
class BoxCloser {
public:
    explicit BoxCloser(TMenuBox& Box) : box(Box) {}
    ~BoxCloser() { box.Close(); }
    BoxCloser(const BoxCloser&) = delete;
    BoxCloser& operator=(const BoxCloser&) = delete;

private:
    TMenuBox& box;
};

// Puts the cursor back where it was on every way out.
class CursorKeeper {
public:
    CursorKeeper() : x(WhereX()), y(WhereY()) {}
    ~CursorKeeper() { GotoXY(x, y); }
    CursorKeeper(const CursorKeeper&) = delete;
    CursorKeeper& operator=(const CursorKeeper&) = delete;

private:
    uint8_t x, y;
};

// The ten sets of drawing characters offered by SelectCharset.
const char* const CharsetTable[10] = {
    "\xDA\xBF\xC0\xD9\xC4\xB3\xC3\xB4\xC1\xC2", // single-line corners, lines and tees
    "\xC9\xBB\xC8\xBC\xCD\xBA\xC7\xB9\xCA\xCB", // double-line corners, lines and tees
    "\xD5\xB8\xD4\xBE\xCD\xB3\xC6\xBD\xCF\xD1", // double horizontal, single vertical
    "\xC5\xCE\xD8\xD7\x9F\xE9\x9B\x9C\x99\xEF", // crossings and symbols
    "\xB0\xB1\xB2\xDB\xDC\xDF\xDD\xDE\xFE\xF9", // shades and blocks
    "\xD6\xB7\xD3\xBD\xC4\xBA\xC7\xB6\xD0\xD2", // single horizontal, double vertical
    "\xAE\xAF\xF2\xF3\xF4\xF5\xF6\xF7\xF0\xFB", // quotation marks and mathematical signs
    "\xA6\xA7\xA8\xA9\xAA\xAB\xAC\xF8\xFC\xFD", // ordinals, fractions and small signs
    "\xE0\xE1\xE2\xEB\xEE\xED\xEA\xE4\xE5\xE6", // Greek letters
    "\xE8\xE9\xEA\x9B\x9C\x9D\x9F\x91\x92\xF7", // Greek letters, currency signs, ligatures
};

} // namespace

// ---- Message box and prompt boxes ----------------------------------------------

bool ShowMsgBox(uint8_t Mode, const std::string& Text) {
    bool result = true;
    const uint8_t oldX = WhereX(), oldY = WhereY(), oldAttr = GetTextAttr();
    // A longer text would push the box off the screen: it is cut, never wrapped.
    const std::string text = Text.substr(0, MsgBoxMaxText);
    const int len = static_cast<int>(text.size());
    const int x = (78 - len) / 2;
    const int bottom = Mode == mbInfo || Mode == mbYesNo ? 15 : 14;
    // On a 50-line terminal the box moves 12 lines down, but never so far that
    // it or its shadow leaves the lines the console draws.
    const int d = std::min(ScreenRows == 50 ? 12 : 0, LastLine - (bottom + 1));
    const auto at = [](int v) { return static_cast<uint8_t>(v); };
    {
        TMenuBox box;
        const BoxCloser closer(box);
        box.Header = " Info ";
        SetSharedBoxStyle(box);
        box.Open(at(x), at(10 + d), at(x + len + 3), at(bottom + d));
        WriteXY(at(x + 2), at(12 + d), 0x7F, text);
        if (Mode == mbInfo) {
            WriteXY(at(x + 2 + (len - 4) / 2), at(14 + d), 0x3F, " OK ");
            ReadOneKey();
            while (KeyPressed()) ReadKey();
        } else if (Mode == mbYesNo) {
            const int b = x + 2 + (len - 9) / 2;
            bool yes = true;
            for (;;) {
                WriteXY(at(b), at(14 + d), 0x78, " YES ");
                WriteXY(at(b + 5), at(14 + d), 0x78, " NO ");
                if (yes)
                    WriteXY(at(b), at(14 + d), 0x3F, " YES ");
                else
                    WriteXY(at(b + 5), at(14 + d), 0x4F, " NO ");
                const KeyPress k = ReadOneKey();
                if (k.Extended) {
                    if (k.Code == Scan::Left) yes = true;
                    if (k.Code == Scan::Right) yes = false;
                    continue;
                }
                const char c = UpCaseKey(k.Code);
                if (c == Key::Enter) {
                    result = yes;
                    break;
                }
                if (c == 'Y' || c == 'N') {
                    result = c == 'Y';
                    break;
                }
                if (c == ' ') yes = !yes;
            }
        }
        if (Mode == mbStay) box.Forget(); // the box outlives this call: nothing to close
    }
    GotoXY(oldX, oldY);
    SetTextAttr(oldAttr);
    return result;
}

bool AskBox(const std::string& Title, const std::string& Text) {
    auto saved = std::make_unique<TConsoleImageRec>();
    SaveScreen(*saved);
    FillArea(13, 11, 69, 15, ' ');
    DrawTitleFrame(12, 10);
    WriteXY(17, 11, 0x70, std::string(28, ' '));
    WriteXY(15, 12, 0x70, PadCenter(Text, 49, ' '));
    WriteXY(15, 11, 0x70, Title.substr(0, 80 - 15 + 1)); // never wraps onto the next line
    bool answer = false;
    try {
        answer = AskYesNo(34, 13, 0x2F, 0x4F, 0x70, false);
    } catch (...) {
        RestoreScreen(*saved);
        throw;
    }
    RestoreScreen(*saved);
    return answer;
}

void ShowAbout(const std::string& Title) {
    TMenuBox box;
    const BoxCloser closer(box);
    box.Open(19, 7, 62, 19);
    WriteXY(21, 8, 0x1F, PadCenter(Title, 40, ' '));
    WriteXY(21, 9, 0x70, std::string(40, '-'));
    WriteXY(21, 10, 0x71, PadCenter("Kelvarin", 40, ' '));
    WriteXY(21, 11, 0x71, PadCenter("A reader for JAM message bases", 40, ' '));
    WriteXY(21, 13, 0x71, PadCenter("Version 0.8 Beta", 40, ' '));
    WriteXY(21, 15, 0x71, PadCenter("Written in C++ for Linux terminals", 40, ' '));
    WriteXY(21, 16, 0x71, PadCenter("Pages, searches and exports messages", 40, ' '));
    WriteXY(21, 17, 0x70, std::string(40, '-'));
    WriteXY(21, 18, 0x1F, PadCenter("(.. Press A Key ..", 40, ' '));
    ReadOneKey();
}

uint8_t SelectCharset() {
    const CursorKeeper cursor;
    TMenuList list;
    const BoxCloser closer(*list.Box);
    list.Box->Header = " Charset ";
    list.Box->HeadAttr = 0x7F;
    list.Box->FrameType = 6;
    list.Box->Box3D = true;
    list.ShowScroll = false;
    list.HiAttr = 0x1F;
    list.LoAttr = 0x70;
    for (const char* set : CharsetTable) list.Add(set, 0);
    list.Open(30, 8, 43, 19);
    return list.ExitCode == Key::Esc ? 4 : static_cast<uint8_t>(list.Picked);
}

namespace {

void DrawPalette() {
    for (uint8_t y = 7; y <= 13; ++y) WriteXY(9, y, 0x70, std::string(65, ' '));
    WritePipeCenter("|00|23ForeGround Color", 6);
    for (int i = 0; i < 16; ++i)
        WriteXY(static_cast<uint8_t>(10 + 4 * i), 8, static_cast<uint8_t>(0x70 + i), "\xDB\xDB");
    WritePipeCenter("|00|23BackGround Color", 10);
    for (int i = 0; i < 8; ++i)
        WriteXY(static_cast<uint8_t>(27 + 4 * i), 12, static_cast<uint8_t>(16 * i), "  ");
}

void DrawMarks(int F, int G, int Row) {
    const uint8_t fgAttr = Row == 1 ? 0x7F : 0x70;
    const uint8_t bgAttr = Row == 2 ? 0x7F : 0x70;
    WriteXY(static_cast<uint8_t>(9 + 4 * F), 8, fgAttr, "[");
    WriteXY(static_cast<uint8_t>(12 + 4 * F), 8, fgAttr, "]");
    WriteXY(static_cast<uint8_t>(26 + 4 * G), 12, bgAttr, "[");
    WriteXY(static_cast<uint8_t>(29 + 4 * G), 12, bgAttr, "]");
}

} // namespace

uint8_t SelectColor(uint8_t Attr) {
    const CursorKeeper cursor;
    TMenuBox box;
    const BoxCloser closer(box);
    box.Header = " Colors ";
    SetSharedBoxStyle(box);
    box.Open(7, 5, 74, 14);
    int f = Attr % 16;
    // The blink bit has no swatch of its own: the background starts on the
    // swatch of its colour, so the marks stay beside the eight swatches.
    int g = (Attr / 16) % 8;
    int row = 1;
    uint8_t result = Attr;
    for (;;) {
        DrawPalette();
        DrawMarks(f, g, row);
        const KeyPress k = ReadOneKey();
        if (!k.Extended) {
            if (k.Code == Key::Enter) {
                result = static_cast<uint8_t>(f + 16 * g);
                break;
            }
            if (k.Code == Key::Esc) break;
            continue;
        }
        int& value = row == 1 ? f : g;
        switch (k.Code) {
        case Scan::Up: row = 1; break;
        case Scan::Down: row = 2; break;
        case Scan::Left: value = std::max(0, value - 1); break;
        case Scan::Right: value = std::min(row == 1 ? 15 : 7, value + 1); break;
        default: break;
        }
    }
    return result;
}

char SelectChar() {
    const CursorKeeper cursor;
    TMenuBox box;
    const BoxCloser closer(box);
    box.Header = " Chars ";
    SetSharedBoxStyle(box);
    box.Open(30, 4, 49, 22);
    int c = 0, r = 0;
    char result = 0;
    for (;;) {
        // One write per cell: a control character, however the writer shows
        // it, cannot shift the cells after it.
        for (int rr = 0; rr < 16; ++rr)
            for (int cc = 0; cc < 16; ++cc)
                WriteXY(static_cast<uint8_t>(32 + cc), static_cast<uint8_t>(6 + rr), 0x70,
                        std::string(1, static_cast<char>(16 * rr + cc)));
        const uint8_t code = static_cast<uint8_t>(16 * r + c);
        WriteXY(static_cast<uint8_t>(32 + c), static_cast<uint8_t>(6 + r), 0x2F,
                std::string(1, static_cast<char>(code)));
        // Padded to the longest line, so a shorter one leaves no digits behind.
        WriteXY(32, 5, 0x70,
                PadRight("Dec: " + IntToStr(code) + " Hex: " + ByteToHex(code), 16, ' '));
        const KeyPress k = ReadOneKey();
        if (!k.Extended) {
            if (k.Code == Key::Enter) {
                result = static_cast<char>(code);
                break;
            }
            if (k.Code == Key::Esc) break;
            continue;
        }
        switch (k.Code) {
        case Scan::Up: r = std::max(0, r - 1); break;
        case Scan::Down: r = std::min(15, r + 1); break;
        case Scan::Left: c = std::max(0, c - 1); break;
        case Scan::Right: c = std::min(15, c + 1); break;
        default: break;
        }
    }
    return result;
}

void WritePipeCenter(const std::string& S, uint8_t Y) {
    const int x = 40 - StrPipeLength(S) / 2;
    WriteXYPipe(static_cast<uint8_t>(std::max(1, x)), Y, 7, S);
}

// ---- File choosers -------------------------------------------------------------

namespace {

// Holds the directory that was current when it was made and changes back to
// it when it goes, however the chooser ends. A descriptor of the directory
// finds it again even when its path has changed meanwhile.
class CurrentDirGuard {
public:
    CurrentDirGuard() : path(CurrentDir()) {
        fd = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    ~CurrentDirGuard() {
        const bool back = fd >= 0 && ::fchdir(fd) == 0;
        if (!back && !path.empty()) (void)!::chdir(path.c_str());
        if (fd >= 0) ::close(fd);
    }
    CurrentDirGuard(const CurrentDirGuard&) = delete;
    CurrentDirGuard& operator=(const CurrentDirGuard&) = delete;

private:
    std::string path;
    int fd = -1;
};

// Whether Name in the directory Dir (ending in "/") is a directory; a symbolic
// link counts as what it points to. False when it cannot be examined at all.
bool Examine(const std::string& Dir, const std::string& Name, bool& IsDir) {
    struct stat st;
    const std::string full = Dir + Name;
    if (::stat(full.c_str(), &st) != 0 && ::lstat(full.c_str(), &st) != 0) return false;
    IsDir = S_ISDIR(st.st_mode);
    return true;
}

// Whether writing Path would overwrite a file (a directory is no file).
bool NameTaken(const std::string& Path) {
    struct stat64 st;
    return ::lstat64(Path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// A symbolic link is never written through, dangling or not: another user
// who may write the directory could point it at any file of this user's.
bool IsSymlink(const std::string& Path) {
    struct stat64 st;
    return ::lstat64(Path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// A typed name that starts with "/" names that very path.
std::string InDir(const std::string& Dir, const std::string& Name) {
    return !Name.empty() && Name[0] == '/' ? Name : Dir + Name;
}

struct DirCloser {
    void operator()(DIR* D) const { ::closedir(D); }
};

// Every entry of the listing of Search (the directory up to its last "/", the
// pattern after it), names beginning with "." included. A pattern without "*"
// or "?" finds at most the entry of that name. An unreadable directory lists
// nothing; an error in between ends the listing.
template <class Visit> void ListEntries(const std::string& Search, Visit visit) {
    const std::size_t slash = Search.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : Search.substr(0, slash + 1);
    const std::string pattern = slash == std::string::npos ? Search : Search.substr(slash + 1);
    if (pattern.empty()) return;
    bool isDir = false;
    if (pattern.find_first_of("*?") == std::string::npos) {
        if (Examine(dir, pattern, isDir)) visit(pattern, isDir);
        return;
    }
    std::unique_ptr<DIR, DirCloser> d(::opendir(dir.empty() ? "." : dir.c_str()));
    if (!d) return;
    while (const struct dirent* de = ::readdir(d.get())) {
        const std::string name = de->d_name;
        if (!PatternMatch(pattern, name)) continue;
        // The entry's type, when the listing gives it, saves a look at each
        // entry of a large directory; links and unknown types are looked at.
        if (de->d_type != DT_UNKNOWN && de->d_type != DT_LNK)
            visit(name, de->d_type == DT_DIR);
        else if (Examine(dir, name, isDir))
            visit(name, isDir);
    }
}

// The names a pane shows: the first QuickSortMaxItems in byte order, however
// many the directory holds, so that a huge directory lists the start of what
// it would list whole.
class PaneNames {
public:
    void Offer(const std::string& Name) {
        if (kept.size() < QuickSortMaxItems) {
            kept.push(Name);
        } else if (Name < kept.top()) {
            kept.pop();
            kept.push(Name);
        }
    }
    // Sorted by the sorter and added to List; the number of names.
    int32_t MoveTo(TMenuList& List) {
        auto sorter = std::make_unique<TQuickSort>();
        for (; !kept.empty(); kept.pop()) sorter->Add(kept.top(), 0);
        sorter->Sort(1, sorter->Total, qAscending);
        for (uint16_t k = 1; k <= sorter->Total; ++k) List.Add(sorter->Items[k]->Name, 0);
        return sorter->Total;
    }

private:
    std::priority_queue<std::string> kept; // the largest kept name on top
};

constexpr uint8_t PaneLo = 7;    // rows of a pane, and a pane without the focus
constexpr uint8_t PaneHi = 0x3F; // the highlight of the focused pane
constexpr uint8_t LabelAttr = 0x70;
constexpr uint8_t LineAttr = 0x3F; // the directory line and the second line
constexpr uint8_t LineWidth = 60;
constexpr uint8_t CountWidth = 7; // "(" + the number + ")"
const std::string PaneExitKeys{Key::Tab, Key::Enter, Key::Esc};

// One run of a file chooser; Saving tells the two apart.
class FileChooser {
public:
    FileChooser(const std::string& Title, bool Saving, const std::string& DefName,
                const std::string& StartDir, TSaveRefusal Refuse = {});
    ~FileChooser();
    FileChooser(const FileChooser&) = delete;
    FileChooser& operator=(const FileChooser&) = delete;

    std::string Run();

private:
    enum class Place { Files, Dirs, SecondLine, DirLine };

    void FillLists();
    void DrawPaths();
    void ClearPanes();
    static void Redraw(TMenuList& Pane, uint8_t X1, uint8_t X2);
    void RedrawPanes();
    void FocusFiles();
    std::string& SecondValue() { return saving ? name : mask; }
    bool ConfirmWrite(const std::string& Path);
    // The directory change of FillLists and of the directory line: Dir itself
    // when absolute, else where the change led, so that a relative Dir is
    // never applied twice and names the same place from any directory.
    bool EnterDir(const std::string& Path);

    bool saving;
    TSaveRefusal refuse; // the caller's veto on a chosen path
    std::string dir, mask = "*.*", name, title;
    std::string filePrefix; // the directory part of the mask
    CurrentDirGuard saved;
    TMenuBox box;
    std::unique_ptr<TMenuList> files = std::make_unique<TMenuList>();
    std::unique_ptr<TMenuList> dirs = std::make_unique<TMenuList>();
};

FileChooser::FileChooser(const std::string& Title, bool Saving, const std::string& DefName,
                         const std::string& StartDir, TSaveRefusal Refuse)
    : saving(Saving), refuse(std::move(Refuse)), dir(StartDir), name(Saving ? DefName : ""),
      title(Title) {
    box.Header = title;
    box.HeadAttr = 0x7F;
    for (TMenuList* pane : {files.get(), dirs.get()}) {
        pane->NoWindow = true;
        pane->LoAttr = PaneLo;
    }
    files->LoChars = PaneExitKeys;
    files->HiChars = std::string(1, static_cast<char>(Scan::Right));
    files->HiAttr = PaneHi;
    files->NoInput = false;
    dirs->HiAttr = PaneLo;
    dirs->NoInput = true;
}

FileChooser::~FileChooser() {
    box.Close();
}

std::string FileChooser::Run() {
    box.Open(6, 5, 74, 22);
    WriteXY(8, 6, LabelAttr, "Directory");
    WriteXY(8, 9, LabelAttr, "Files");
    WriteXY(41, 9, LabelAttr, "Directories");
    WriteXY(8, 20, LabelAttr, saving ? "File Name" : "File Mask");
    WriteXY(8, 21, LineAttr, std::string(40, ' '));
    FillLists();
    dirs->Open(40, 9, 72, 19);
    dirs->Update();

    std::string result;
    Place place = Place::Files;
    for (bool done = false; !done;) {
        switch (place) {
        case Place::Files: {
            files->Open(7, 9, 39, 19);
            const char code = files->ExitCode;
            if (code == Key::Tab || static_cast<uint8_t>(code) == Scan::Right) {
                files->HiAttr = PaneLo;
                files->Update();
                dirs->NoInput = false;
                dirs->LoChars = PaneExitKeys;
                dirs->HiChars = std::string(1, static_cast<char>(Scan::Left));
                dirs->HiAttr = PaneHi;
                place = Place::Dirs;
            } else if (code == Key::Enter && files->ListMax > 0) {
                const std::string path = dir + filePrefix + files->List[files->Picked]->Text;
                if (!saving || ConfirmWrite(path)) {
                    result = path;
                    done = true;
                }
            } else if (code == Key::Esc) {
                done = true;
            }
            break;
        }
        case Place::Dirs: {
            dirs->Open(40, 9, 72, 19);
            const char code = dirs->ExitCode;
            if (code == Key::Tab) {
                dirs->HiAttr = PaneLo;
                dirs->Update();
                InputExit = PaneExitKeys;
                InputAttr = LineAttr;
                InputFillAttr = 15;
                place = Place::SecondLine;
            } else if (code == Key::Enter && dirs->ListMax > 0) {
                // The entry lies in Dir, which is the current directory.
                const bool entered = ::chdir(dirs->List[dirs->Picked]->Text.c_str()) == 0;
                const std::string now = CurrentDir();
                if (!now.empty()) dir = DirSlash(now);
                if (entered)
                    FillLists();
                else
                    ClearPanes();
                Redraw(*files, 7, 39);
            } else if (code == Key::Esc) {
                done = true;
            } else if (static_cast<uint8_t>(code) == Scan::Left) {
                FocusFiles();
                place = Place::Files;
            }
            break;
        }
        case Place::SecondLine: {
            const MyString typed = InputField(8, 21, LineWidth, 255, imAny, SecondValue());
            if (InputKey == Key::Tab) {
                place = Place::DirLine;
            } else if (InputKey == Key::Esc) {
                DrawPaths();
                done = true;
            } else if (InputKey != Key::Enter) {
                // another key listed as an exit key: the line stays focused
            } else if (saving) {
                name = typed.str();
                if (!name.empty() && ConfirmWrite(InDir(dir, name))) {
                    result = InDir(dir, name);
                    done = true;
                }
            } else {
                mask = typed.str();
                FillLists();
                RedrawPanes();
            }
            break;
        }
        case Place::DirLine: {
            DrawPaths();
            const MyString typed = InputField(8, 7, LineWidth, 255, imAny, dir);
            if (InputKey == Key::Tab) {
                DrawPaths();
                FocusFiles();
                place = Place::Files;
            } else if (InputKey == Key::Esc) {
                DrawPaths();
                done = true;
            } else if (InputKey == Key::Enter && EnterDir(typed.str())) {
                FillLists();
                RedrawPanes();
            }
            break;
        }
        }
    }
    return result;
}

bool FileChooser::ConfirmWrite(const std::string& Path) {
    // The caller's veto comes first: a refused name is not worth a question.
    if (refuse) {
        const std::string why = refuse(Path);
        if (!why.empty()) {
            ShowMsgBox(mbInfo, why);
            return false;
        }
    }
    if (IsSymlink(Path)) {
        ShowMsgBox(mbInfo, SymlinkText(Path));
        return false;
    }
    return !NameTaken(Path) || ShowMsgBox(mbYesNo, "File Exists. Overwrite?");
}

bool FileChooser::EnterDir(const std::string& Path) {
    if (Path.empty() || ::chdir(Path.c_str()) != 0) return false;
    dir = Path;
    if (Path[0] != '/') {
        const std::string now = CurrentDir();
        if (!now.empty()) dir = DirSlash(now);
    }
    return true;
}

void FileChooser::FillLists() {
    ClearPanes();
    std::string stripped = dir;
    while (!stripped.empty() && stripped.back() == '/') stripped.pop_back();
    const std::string target = stripped.empty() ? "/" : stripped;
    const bool entered = ::chdir(target.c_str()) == 0;
    if (entered && target[0] != '/') {
        // Resolved once, here: the listing and the result must not apply it again.
        const std::string now = CurrentDir();
        if (!now.empty()) stripped = now == "/" ? "" : now;
    }
    dir = stripped + "/";
    if (!entered) return;
    files->Picked = dirs->Picked = 1;
    files->TopPage = dirs->TopPage = 1;
    DrawPaths();

    PaneNames dirNames, fileNames;
    ListEntries(dir + "*", [&](const std::string& entry, bool isDir) {
        if (isDir && entry != ".") dirNames.Offer(entry);
    });
    // A mask with a directory part lists that directory: the choice then
    // names the file listed.
    filePrefix = mask.substr(0, mask.rfind('/') + 1);
    ListEntries(dir + mask, [&](const std::string& entry, bool isDir) {
        if (!isDir) fileNames.Offer(entry);
    });
    const int32_t nDirs = dirNames.MoveTo(*dirs);
    const int32_t nFiles = fileNames.MoveTo(*files);
    // A count fills its 7 columns exactly, so it covers what a longer one
    // left there. "(10,000)", the most a pane holds, would take 8: a count
    // whose commas do not fit is written without them, "(10000)".
    const auto count = [](int32_t n) {
        std::string s = "(" + IntToStrComma(n) + ")";
        if (s.size() > CountWidth) s = "(" + IntToStr(n) + ")";
        return PadRight(s, CountWidth, ' ').substr(0, CountWidth);
    };
    WriteXY(14, 9, LabelAttr, count(nFiles));
    WriteXY(53, 9, LabelAttr, count(nDirs));
}

void FileChooser::DrawPaths() {
    WriteXY(8, 7, LineAttr, PadRight(dir, LineWidth, ' '));
    WriteXY(8, 21, LineAttr, PadRight(SecondValue(), LineWidth, ' '));
}

void FileChooser::ClearPanes() {
    files->Clear();
    dirs->Clear();
}

// Rows and the whole scroll column drawn again, with the selection brought
// back into range (a refilled pane may be shorter, or empty, so no thumb).
void FileChooser::Redraw(TMenuList& Pane, uint8_t X1, uint8_t X2) {
    const bool noInput = Pane.NoInput;
    Pane.NoInput = true;
    Pane.Open(X1, 9, X2, 19);
    Pane.NoInput = noInput;
    Pane.Update();
}

void FileChooser::RedrawPanes() {
    Redraw(*files, 7, 39);
    Redraw(*dirs, 40, 72);
}

void FileChooser::FocusFiles() {
    dirs->NoInput = true;
    dirs->HiAttr = PaneLo;
    dirs->Update();
    files->HiAttr = PaneHi;
}

} // namespace

std::string SymlinkText(const std::string& Path) {
    static constexpr std::string_view tail = " is a symbolic link. Choose another name.";
    const std::string name = Path.substr(Path.rfind('/') + 1);
    if (name.empty() || name.size() + tail.size() > 76)
        return "This name is a symbolic link. Choose another name.";
    return name + std::string(tail);
}

std::string SaveFileDialog(const std::string& Title, const std::string& DefName,
                           const std::string& StartDir, const TSaveRefusal& Refuse) {
    FileChooser chooser(Title, true, DefName, StartDir, Refuse);
    return chooser.Run();
}

std::string OpenFileDialog(const std::string& Title, const std::string& StartDir) {
    FileChooser chooser(Title, false, "", StartDir);
    return chooser.Run();
}
