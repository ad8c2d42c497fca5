#include "app/MainProgram.h"

// Start-up finds and opens the base and shows its last page; the loop then
// runs the list until the exit question is answered YES. Each key of the
// list reaches OnListKey, which reads the globals, calls the page, search and
// box procedures and leaves the list refilled for TBar to redraw. Every row
// command acts on the message number the row remembers.

#include "app/MsgInfo.h"
#include "app/MsgPages.h"
#include "jam/JamBase.h"
#include "support/FileIO.h"
#include "support/StrUtil.h"
#include "terminal/Console.h"
#include "ui/Dialogs.h"
#include "ui/LightBar.h"

#include <cstdlib>

std::unique_ptr<TJamBase> Base;
std::unique_ptr<TBar> MsgList;
int32_t TopMsg = 0;
std::string BaseDir;
std::string BaseName;
std::string ExeDir;
std::string StatusLine;
int32_t ListResult = 0;
int32_t LastIndex = 0;
std::string SearchText;
bool SearchRegEx = false;

namespace {

const std::string Title = "Kelvarin v0.2";
const std::string ColumnHeader =
    "Idx   Subject" + std::string(26, ' ') + "From           To             Flags";
constexpr uint8_t FrameWidth = 79;

bool IndexMode() {
    return SearchText.empty();
}

// The row's flag characters (columns 70 to 79 of its text).
std::string RowFlags(int32_t Index) {
    if (!MsgList || Index < 0 || Index >= int32_t(MsgList->Items.size())) return "";
    const std::string& text = MsgList->Items[std::size_t(Index)].Text;
    return text.size() > 69 ? text.substr(69, 10) : "";
}

void DeleteRowMsg(int32_t N) {
    // Asked nothing where nothing can be deleted.
    if (Base->ReadOnly) {
        ShowMsgBox(mbInfo, DeleteRefusalText(N, TJamRefusal::jrReadOnly));
        return;
    }
    if (!ShowMsgBox(mbYesNo, "Delete Msg.No: " + IntToStr(N) + ". Are you sure?")) return;
    bool purge = ShowMsgBox(mbYesNo, "Purge text?");
    // A refused deletion must not look like one that worked, nor a purge
    // that left text standing like one that took it all; the page is filled
    // again either way (from the new base, when it was replaced).
    if (!Base->DeleteMsg(N, purge))
        ShowMsgBox(mbInfo, DeleteRefusalText(N, Base->Refusal));
    else if (Base->PurgeLeftShared)
        ShowMsgBox(mbInfo, PurgeLeftText(N));
    FillPage();
}

void StartSearch() {
    std::string oldText = SearchText;
    std::string text = InputString(20, 11, 40, 5, "");
    SearchText = text;
    if (text.empty()) return;
    bool regEx = ShowMsgBox(mbYesNo, "Make RegEx Search?");
    if (regEx) {
        TSearcher probe(text, true);
        if (!probe.Ok()) { // the list and the mode stay as they were
            ShowMsgBox(mbInfo, "Bad RegEx: " + probe.Error());
            SearchText = oldText;
            return;
        }
    }
    SearchRegEx = regEx;
    Base->CurMsg = 0;
    MsgList->Index = 0;
    TopMsg = 1;
    SearchMessages();
    // The list's redraw draws the frame only through a highlighted row; with
    // no hits the status row would still claim the index.
    DrawFrame();
}

// A terminal smaller than the screen hides its last rows or columns (on
// 80x24 the status row covers the newest message); say so once and go on.
void WarnSmallTerminal() {
    if (ScreenRows >= 25 && ScreenCols >= 80) return;
    ShowMsgBox(mbInfo, SmallTerminalText);
}

} // namespace

std::string PurgeLeftText(int32_t MsgNo) {
    return "Msg.No: " + IntToStr(MsgNo) +
           " deleted; text that another message claims too was not purged.";
}

std::string DeleteRefusalText(int32_t MsgNo, TJamRefusal Why) {
    switch (Why) {
    case TJamRefusal::jrReadOnly: return ReadOnlyBaseText;
    case TJamRefusal::jrReplaced: return ReplacedBaseText;
    case TJamRefusal::jrDamaged:
        return "Msg.No: " + IntToStr(MsgNo) + " is damaged: nothing was changed.";
    default: return "Msg.No: " + IntToStr(MsgNo) + " could not be deleted!";
    }
}

bool TakeReplacedBase() {
    return Base && Base->Replaced() && Base->Reopen();
}

void SplitBasePath(const std::string& Path) {
    BaseDir = ExtractFilePath(Path);
    if (BaseDir.empty()) BaseDir = "./";
    // A base whose name holds a dot ("my.echo") is named as it is; only a
    // name that is no base by itself loses its extension.
    const std::string name = ExtractFileName(Path);
    BaseName = FileExists(Path + ".jhr") ? name : StripExt(name);
}

int32_t CurrentTotal() {
    if (!Base) return 0;
    Base->TotalMsgs = Base->CountMsgs();
    return Base->TotalMsgs;
}

int32_t RowMsg(int32_t Index) {
    if (!MsgList || MsgList->Count <= 0 || Index < 0 || Index >= int32_t(MsgList->Items.size()))
        return 0;
    return StrToIntDef(MsgList->Items[std::size_t(Index)].Data, 0);
}

void DrawFrame() {
    WriteXY(1, 1, 0x1F, PadRight(Title, FrameWidth, ' '));
    WriteXY(1, 2, 0x3E, PadRight(ColumnHeader, FrameWidth, ' '));
    WriteXY(1, 25, 0x1F, PadRight(StatusLine, FrameWidth, ' '));
}

bool OpenBase() {
    Base = std::make_unique<TJamBase>();
    Base->BasePath = BaseDir + BaseName;
    return Base->Open();
}

void QuitProgram() {
    MsgList.reset();
    Base.reset();
    Screen->SetAttr(7);
    ClearScreen();
    std::exit(0);
}

void OnListChange(int32_t Index) {
    LastIndex = Index;
    DrawFrame();
}

void OnListKey(char Key, int32_t Index) {
    char k = Key >= 'a' && Key <= 'z' ? char(Key - 32) : Key;
    int32_t n = RowMsg(Index); // 0: the list has no such row
    switch (k) {
    case ']':
        if (IndexMode()) {
            TopMsg = NextPageTop(TopMsg, CurrentTotal());
            FillPage();
        }
        break;
    case '[':
        if (IndexMode()) {
            TopMsg = PrevPageTop(TopMsg);
            FillPage();
        }
        break;
    case 'U':
        if (n == 0) break;
        if (RowFlags(Index).find('U') == std::string::npos)
            ShowMsgBox(mbInfo, "Message doesn't contain a UUEncoded file!");
        else if (ReadRowMessage(n, true))
            ExtractUUE();
        break;
    case 'R':
        SearchText.clear();
        TopMsg = NextPageTop(TopMsg, CurrentTotal());
        FillPage();
        MsgList->Index = 0;
        StatusLine = StartStatus;
        DrawFrame();
        break;
    case 'P':
        if (n == 0) break;
        if (RowFlags(Index).find('P') == std::string::npos)
            ShowMsgBox(mbInfo, "Message doesn't contain a PGP Key");
        else if (ReadRowMessage(n, true))
            ExtractPGP();
        break;
    case 'M':
        if (n != 0 && ReadRowMessage(n, false)) ShowMsgHeader();
        break;
    case 'L':
        if (n != 0 && ReadRowMessage(n, false)) ShowLastRead();
        break;
    case 'J':
        if (IndexMode())
            JumpTo();
        else
            ShowMsgBox(mbInfo, "This is possible only in main Index");
        break;
    case 'H':
        ShowHelp();
        DrawFrame();
        break;
    case 'F': StartSearch(); break;
    case 'E':
        if (n != 0) ExportText(n);
        break;
    case 'D':
        if (n != 0) DeleteRowMsg(n);
        break;
    case '>':
    case '.':
        if (IndexMode()) {
            TopMsg = LastPageTop(CurrentTotal());
            FillPage();
        }
        break;
    case '<':
    case ',':
        if (IndexMode()) {
            TopMsg = 1;
            FillPage();
        }
        break;
    default: break;
    }
}

void MainProgram(int argc, char** argv) {
    ClearScreen();
    WriteXY(1, 1, 0x1F, PadRight(Title, FrameWidth, ' '));
    WriteXY(1, 25, 0x1F, PadRight(StatusLine, FrameWidth, ' '));
    WarnSmallTerminal();
    if (argc < 2) {
        BaseDir = CurrentDir();
        std::string s = OpenFileDialog("Select JAM Base", BaseDir);
        if (s.empty()) std::exit(0);
        SplitBasePath(s);
    } else {
        SplitBasePath(argv[1]);
    }
    // The executable's directory, ending in "/"; '' when the system names no
    // path with a "/".
    ExeDir = ExtractFilePath(ExecutablePath());
    if (!OpenBase()) {
        ClearScreen();
        WriteLine("Could not initialize JAM Base. Aborting...");
        WriteBlankLine();
        std::exit(0);
    }
    TopMsg = LastPageTop(Base->TotalMsgs);
    MsgList = std::make_unique<TBar>();
    MsgList->OnChange = OnListChange;
    MsgList->OnSelect = OnListSelect;
    MsgList->OnKey = OnListKey;
    MsgList->CommandMode = true;
    FillPage();
    MsgList->HiColor = "|00|23";
    MsgList->LoColor = "|07|16";
    ListResult = 0;
    StatusLine = StartStatus;
    for (;;) {
        DrawFrame();
        if (ListResult >= 0) {
            ListResult = MsgList->Run(1, 3, FrameWidth, PageSize, ListResult);
        } else if (ListResult == brStar) {
            ShowBaseHeader();
            ListResult = LastIndex;
        } else if (ListResult == brEscape) {
            if (ShowMsgBox(mbYesNo, "Are you sure to exit?")) QuitProgram();
            ListResult = LastIndex;
        } else {
            ListResult = LastIndex;
        }
    }
}
