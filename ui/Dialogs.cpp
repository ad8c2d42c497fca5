#include "ui/Dialogs.h"
// The input fields keep their edit state (text, cursor position, first shown
// position, cursor column) in one record per call and draw only through the
// console procedures. Dialog boxes build on them.

#include "support/StrUtil.h"
#include "terminal/Console.h"
#include "terminal/KeyCodes.h"

#include <algorithm>

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
constexpr int32_t LastLine = 25; // ... by 25 lines
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
    const auto U = static_cast<uint8_t>(K);
    return (U >= 1 && U <= 7) || (U >= 9 && U <= 24) || (U >= 26 && U <= 31) || U == 255;
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
    const int32_t Room = FieldLen - WinCol + 1;
    if (WinCol < 1 || Room <= 0) return;
    PutXY(X + WinCol - 1, Y, A, S.substr(0, static_cast<size_t>(Room)));
}

void TLineEditor::DrawField() {
    const std::string Shown = Start <= Len() ? Buffer.substr(static_cast<size_t>(Start - 1),
                                                             static_cast<size_t>(FieldLen))
                                             : std::string();
    const auto Shown32 = static_cast<int32_t>(Shown.size());
    PutInWindow(1, Look.Attr, Shown);
    PutInWindow(Shown32 + 1, Look.FillAttr,
                std::string(static_cast<size_t>(FieldLen - Shown32), Look.FillChar));
    PlaceCursor();
}

void TLineEditor::DrawTail() {
    const int32_t Room = FieldLen - Col + 1;
    if (Room > 0) {
        const std::string Tail =
            Cur <= Len() ? Buffer.substr(static_cast<size_t>(Cur - 1), static_cast<size_t>(Room))
                         : std::string();
        const auto Tail32 = static_cast<int32_t>(Tail.size());
        PutInWindow(Col, Look.Attr, Tail);
        PutInWindow(Col + Tail32, Look.FillAttr,
                    std::string(static_cast<size_t>(Room - Tail32), Look.FillChar));
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
    const int32_t At = Col;
    ++Cur;
    ++Col;
    PutInWindow(At, Look.Attr, std::string(1, C));
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
    const bool Digit = C >= '0' && C <= '9';
    switch (Mode) {
    case imNumber:
        if (Digit || C == '-') InsertChar(C);
        break;
    case imAny: InsertChar(C); break;
    case imUpper: InsertChar(UpperCase(std::string(1, C))[0]); break;
    case imDate:
        if (!Digit) break;
        if (Cur == 3 || Cur == 6) InsertChar('/');
        const bool SlashAfter = Cur == 2 || Cur == 5;
        InsertChar(C);
        if (SlashAfter) InsertChar('/');
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
        const char K = ReadKey();
        const auto U = static_cast<uint8_t>(K);
        if (K == Key::Extended) {
            const char Code = ReadKey();
            if (ExtendedKey(static_cast<uint8_t>(Code))) {
                InputKey = Code;
                break;
            }
        } else if (K == Key::Backspace) {
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
        } else if (K == Key::CtrlY) {
            Buffer.clear();
            Cur = Start = Col = 1;
            DrawField();
        } else if (U >= 32 && U <= 254) {
            TypeChar(K);
        } else if (IsExitCandidate(K) && Holds(InputExit, K)) {
            InputKey = K;
            break;
        }
    }
    return Buffer;
}

MyString RunField(uint8_t X, uint8_t Y, uint8_t FieldLen, uint8_t MaxLen, uint8_t Mode,
                  TFieldLook Look, const MyString& Default) {
    InputChanged = false;
    TLineEditor Editor(X, Y, FieldLen, MaxLen, Mode, Look, Default);
    const MyString Answer = Editor.Run();
    InputChanged = !(Answer == Default);
    return Answer;
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
    int32_t N = StrToInt(InputField(X, Y, FieldLen, MaxLen, imNumber, IntToStr(Default)));
    if (N < Min) N = Min;
    if (N > Max) N = Max;
    return N;
}

std::string InputMasked(const std::string& Default, const std::string& Allowed, char Mask,
                        uint8_t FieldLen, uint8_t MaxLen, uint8_t Attr) {
    const std::string Cut = Default.substr(0, MaxLen);
    std::string Text = Cut;
    char Fill = '\xB0';
    const uint8_t SavedAttr = GetTextAttr();
    SetTextAttr(Attr);
    const uint8_t StartCol = WhereX();
    // The cursor must stay on the line: a character written in the last
    // column would wrap it to the next one.
    const size_t Width = std::min<size_t>(FieldLen, static_cast<size_t>(LastCol - StartCol));
    auto Draw = [&] {
        GotoX(StartCol);
        if (Text.size() > Width) {
            WriteText(MaskedView(Text, Mask, Width));
            GotoX(ToByte(StartCol + static_cast<int32_t>(Width)));
        } else {
            WriteText(MaskedView(Text, Mask, Text.size()) + std::string(Width - Text.size(), Fill));
            GotoX(ToByte(StartCol + static_cast<int32_t>(Text.size())));
        }
    };
    Draw();
    bool Escaped = false;
    for (;;) {
        const char K = ReadKey();
        if (K == Key::Extended) {
            ReadKey(); // an extended key is never text: its scan code is dropped
        } else if (K == Key::Esc) {
            Escaped = true;
            break;
        } else if (K == Key::Enter && !Text.empty()) {
            break;
        } else if (K == Key::Backspace && !Text.empty()) {
            Text.pop_back();
            if (Width > 0) WriteText(std::string{'\b', Fill, '\b'});
            if (Text.size() >= Width) Draw();
        } else if (K == Key::CtrlY && !Text.empty()) {
            Text.clear();
            Draw();
        } else if (K != Key::Enter && Holds(Allowed, K) && Text.size() < MaxLen) {
            Text += K;
            if (Text.size() > Width) {
                Draw();
            } else {
                WriteText(std::string(1, Mask != 0 ? Mask : K));
            }
        }
    }
    Fill = Blank;
    Draw();
    SetTextAttr(SavedAttr);
    return Escaped ? Cut : Text;
}

bool InputYesNo(uint8_t X, uint8_t Y, bool Default) {
    InputKey = 0;
    InputChanged = false;
    GotoXY(X, Y);
    bool Choice = Default;
    for (;;) {
        PutXY(X, Y, InputAttr, Choice ? "Yes" : "No ");
        const char K = ReadKey();
        if (K == Key::Extended) {
            const auto Code = static_cast<uint8_t>(ReadKey());
            if (Code == Scan::Left || Code == Scan::Right) Choice = !Choice;
        } else if (K == Key::Enter) {
            break;
        } else if (K == ' ') {
            Choice = !Choice;
        } else if (Holds(InputExit, K)) {
            InputKey = K;
            break;
        }
    }
    InputChanged = Choice != Default;
    return Choice;
}

bool AskYesNo(uint8_t X, uint8_t Y, uint8_t YesAttr, uint8_t NoAttr, uint8_t Attr, bool Default) {
    GotoXY(X, Y);
    bool Choice = Default;
    for (;;) {
        PutXY(X, Y, Attr, " Yes ");
        PutXY(X + 5, Y, Attr, " No ");
        if (Choice) {
            PutXY(X, Y, YesAttr, " Yes ");
        } else {
            PutXY(X + 5, Y, NoAttr, " No ");
        }
        GotoXY(1, 25);
        const char K = ReadKey();
        if (K == Key::Extended) {
            const auto Code = static_cast<uint8_t>(ReadKey());
            if (Code == Scan::Left || Code == Scan::Right) Choice = !Choice;
        } else if (K == Key::Enter) {
            break;
        } else if (K == ' ') {
            Choice = !Choice;
        }
    }
    return Choice;
}

char InputChar(uint8_t X, uint8_t Y, char Default) {
    InputKey = 0;
    InputChanged = false;
    char Ch = Default;
    GotoXY(X, Y);
    for (;;) {
        PutXY(X, Y, InputAttr, std::string(1, Ch));
        const char K = ReadKey();
        if (K == Key::Extended) {
            const char Code = ReadKey();
            if (Holds(InputExitExt, Code)) {
                InputKey = Code;
                break;
            }
            continue;
        }
        if (K == Key::Esc) Ch = Default;
        if (Holds(InputExit, K)) {
            InputKey = K;
            break;
        }
        if (static_cast<uint8_t>(K) >= 32) Ch = K;
    }
    InputChanged = Ch != Default;
    return Ch;
}

bool InputButton(uint8_t X, uint8_t Y, uint8_t Width, const MyString& Text) {
    InputKey = 0;
    InputChanged = false;
    PutXY(X, Y, InputAttr, PadRight(Text, Width, Blank));
    GotoXY(X, Y);
    bool Pressed = false;
    for (;;) {
        const char K = ReadKey();
        if (K == Key::Extended) {
            const char Code = ReadKey();
            if (Holds(InputExitExt, Code)) {
                InputKey = Code;
                break;
            }
        } else if (K == Key::Enter || Holds(InputExit, K)) {
            InputKey = K;
            Pressed = K == Key::Enter;
            break;
        }
    }
    InputChanged = Pressed;
    return Pressed;
}

char GetKeyFrom(const std::string& Keys, bool Echo) {
    char K;
    do {
        K = UpperCase(std::string(1, ReadKey()))[0];
    } while (!Holds(Keys, K));
    if (Echo) WriteLine(std::string(1, K));
    return K;
}

// ---- end of input fields ---------------------------------------------------
