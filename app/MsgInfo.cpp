#include "app/MsgInfo.h"

#include "app/MainProgram.h"
#include "app/RegEx.h"
#include "jam/JamBase.h"
#include "support/DateUtil.h"
#include "support/FileDesc.h"
#include "support/FileIO.h"
#include "support/StrUtil.h"
#include "terminal/AnsiViewer.h"
#include "terminal/Console.h"
#include "terminal/KeyCodes.h"
#include "ui/Dialogs.h"
#include "ui/MenuBox.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A UUencoded block starts where the U flag of a list row finds its header.
bool HasUueHeader(const std::string& Line) {
    static TRegEx start("begin \\d\\d\\d .*");
    return start.Matches(Line) == TMatch::Yes;
}

constexpr std::string_view PgpBegin = "-----BEGIN PGP ";
constexpr std::string_view PgpEnd = "-----END PGP ";

bool IsNameByte(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

// Writes all of Bytes; 0 or the errno that stopped it.
int WriteBytes(const TFileDesc& F, const std::string& Bytes) {
    int err = 0;
    int64_t n = WriteAll(F.Fd(), Bytes.data(), static_cast<int64_t>(Bytes.size()), err);
    if (n == static_cast<int64_t>(Bytes.size())) return 0;
    return err != 0 ? err : EIO;
}

TFileId IdOf(const struct stat64& St) {
    return {static_cast<uint64_t>(St.st_dev), static_cast<uint64_t>(St.st_ino)};
}

bool IsOneOf(const TFileId& Id, const std::vector<TFileId>& Ids) {
    return std::find(Ids.begin(), Ids.end(), Id) != Ids.end();
}

} // namespace

// ---------------------------------------------------------------------------
// What the boxes show.

std::string FlagLabel(const std::string& Text, bool IsSet) {
    return (IsSet ? "|15|19" : "|08|23") + Text;
}

std::vector<TInfoRow> BaseHeaderRows(const JamHdrType& Hdr, int32_t TotalMsgs) {
    return {
        {"Created      :", UnixDateStr(Hdr.DateCreated)},
        {"ModCount     :", IntToHex(static_cast<uint32_t>(Hdr.ModCounter), 8)},
        {"Active Msgs  :", IntToStr(Hdr.ActiveMsgs)},
        {"PWD CRC      :", IntToHex(static_cast<uint32_t>(Hdr.PasswordCRC), 8)},
        {"Base Msg Num :", IntToStr(Hdr.BaseMsgNum)},
        {"Total Msgs   :", IntToStr(TotalMsgs)},
    };
}

std::string LastReadTitle(const std::string& From) {
    return "User Last Read - " + From;
}

std::vector<TInfoRow> LastReadRows(const JamLastType& Rec, uint32_t UserCrc) {
    return {
        {"Last Read    :", IntToStr(Rec.LastReadMsg)},
        {"High Read    :", IntToStr(Rec.HighReadMsg)},
        {"User CRC     :", IntToHex(UserCrc, 8) + " HEX"},
        {"User ID      :", IntToStr(Rec.UserID)},
    };
}

std::string NotFoundText(const std::string& From) {
    return "User " + From + " not found in Index.";
}

std::vector<TInfoRow> MsgHeaderRows(const JamMsgHdrType& Hdr) {
    return {
        {"Msg Num      :", IntToStr(Hdr.MessageNumber)},
        {"Read Count   :", IntToStr(Hdr.TimesRead)},
        {"Written      :", UnixDateStr(Hdr.DateWritten)},
        {"Received     :", UnixDateStr(Hdr.DateReceived)},
        {"Arrived      :", UnixDateStr(Hdr.DateProcessed)},
        {"Reply To     :", IntToStr(Hdr.ReplyTo)},
    };
}

std::vector<std::string> MsgFlagRows(const TJamBase& B) {
    return {
        FlagLabel(" Local ", B.IsLocal()) + FlagLabel(" Del ", B.IsDeleted()) +
            FlagLabel(" Priv ", B.IsPrivate()) + FlagLabel(" Locked ", B.IsLocked()) +
            FlagLabel(" Crash ", B.IsCrash()),
        FlagLabel(" Sent ", B.IsSent()) + FlagLabel(" Received ", B.IsRead()) +
            FlagLabel(" KillSent ", B.IsKillSent()) + FlagLabel(" Attach ", B.IsFileAttach()),
    };
}

// ---------------------------------------------------------------------------
// Blocks in a text.

bool IsBlockStart(TBlockKind Kind, const std::string& Line) {
    if (Kind == TBlockKind::bkUUE) return HasUueHeader(Line);
    return Line.find(PgpBegin) != std::string::npos;
}

TBlockSpan BlockAt(TBlockKind Kind, const TStringList& Lines, int32_t First) {
    TBlockSpan span;
    span.First = First;
    span.Last = Lines.Count() - 1;
    std::string_view endMark = "end";
    if (Kind == TBlockKind::bkPGP) {
        std::size_t p = Lines[First].find(PgpBegin);
        span.Column = p == std::string::npos ? 0 : p;
        endMark = PgpEnd;
    }
    for (int32_t j = First + 1; j < Lines.Count(); ++j) {
        if (Lines[j].find(endMark) != std::string::npos) {
            span.Last = j;
            break;
        }
    }
    return span;
}

std::string BlockBytes(const TStringList& Lines, const TBlockSpan& Span) {
    std::string out;
    for (int32_t j = Span.First; j <= Span.Last; ++j) {
        const std::string& line = Lines[j];
        if (line.size() > Span.Column) out.append(line, Span.Column);
        out.push_back('\n');
    }
    return out;
}

std::string TextBytes(const TStringList& Lines) {
    std::string out;
    for (const std::string& line : Lines) {
        out += line;
        out.push_back('\n');
    }
    return out;
}

std::string SafeFileName(const std::string& Name) {
    std::string out = CutStr(Name);
    for (char& c : out)
        if (!IsNameByte(c)) c = '_';
    if (out.empty()) return "_";
    if (out[0] == '.') out[0] = '_';
    return out;
}

std::string ExportName(int32_t MsgNo) {
    std::string digits = IntToStr(MsgNo);
    if (digits.size() < 5) digits.insert(0, 5 - digits.size(), '0');
    return "msg" + digits + ".txt";
}

std::string BlockName(TBlockKind Kind, const std::string& From, int32_t K) {
    return SafeFileName(From + IntToStr(K) + (Kind == TBlockKind::bkUUE ? ".uue" : ".pgp"));
}

int32_t ExtractBlocks(TBlockKind Kind, const TStringList& Lines, const std::string& From,
                      const TBlockPrompts& Prompts) {
    int32_t k = 1;
    // A start on the last line has nothing after it and is not offered.
    for (int32_t i = 0; i < Lines.Count() - 1; ++i) {
        if (!IsBlockStart(Kind, Lines[i]) || !Prompts.Confirm()) continue;
        std::string f = Prompts.ChooseFile(BlockName(Kind, From, k));
        if (f.empty()) continue;
        TBlockSpan span = BlockAt(Kind, Lines, i);
        if (Prompts.Save(f, BlockBytes(Lines, span))) ++k;
        i = span.Last; // the examination goes on after the block
    }
    return k - 1;
}

// ---------------------------------------------------------------------------
// Writing files.

namespace {

bool IsBaseFile(const TBaseFileIds& Keep, const std::string& Path) {
    const std::string name = ResolvedName(Path);
    if (!name.empty() && std::find(Keep.Names.begin(), Keep.Names.end(), name) != Keep.Names.end())
        return true;
    struct stat64 st {};
    return ::stat64(Path.c_str(), &st) == 0 && IsOneOf(IdOf(st), Keep.Ids);
}

// Why an export may not take the place of what St describes; 0 for a
// regular file.
int NotPlain(const struct stat64& St) {
    if (S_ISLNK(St.st_mode)) return ExportSymlink;
    if (S_ISDIR(St.st_mode)) return EISDIR;
    return S_ISREG(St.st_mode) ? 0 : EINVAL;
}

// Removes the armed file however the scope is left: an export that is not
// complete must not stay. Once the file is renamed or disarmed, nothing is
// armed any more and this removes nothing.
struct TUnfinishedRemoved {
    TUnfinishedRemoved() = default;
    TUnfinishedRemoved(const TUnfinishedRemoved&) = delete;
    TUnfinishedRemoved& operator=(const TUnfinishedRemoved&) = delete;
    ~TUnfinishedRemoved() { RemoveArmedFile(); }
};

// What a failed create or rename says when the directory does not let this
// user make or take the name, though the file itself may be written.
bool NameRefused(int Err) {
    return Err == EACCES || Err == EPERM;
}

// Opens the regular file at Name for writing, following no link and cutting
// nothing: the open is the kernel's own answer to whether this user may
// write it (its modes, ACLs, a read-only file system), and changes nothing.
// St gets what the descriptor is.
int OpenToRewrite(const std::string& Name, TFileDesc& F, struct stat64& St) {
    if (!F.OpenRegular(Name, O_WRONLY | O_NOFOLLOW)) return errno == ELOOP ? ExportSymlink : errno;
    return F.Stat(St) ? 0 : errno;
}

// F, open on the regular file Old, is overwritten where it lies, as the last
// way left: the room for Bytes is taken first, so that a full disk leaves it
// as it was; only an error after that can cost its text, and then nothing of
// the old or the new text is left to look whole.
int RewriteOpenFile(TFileDesc& F, const std::string& Bytes, const struct stat64& Old) {
    const auto size = static_cast<off64_t>(Bytes.size());
    if (size > 0) {
        if (const int err = ::posix_fallocate64(F.Fd(), 0, size); err != 0) {
            struct stat64 after {};
            if (F.Stat(after) && after.st_size != Old.st_size)
                (void)!::ftruncate64(F.Fd(), Old.st_size);
            return err;
        }
    }
    int err = WriteBytes(F, Bytes);
    if (err == 0 && ::ftruncate64(F.Fd(), size) != 0) err = errno;
    if (err == 0 && ::fsync(F.Fd()) != 0) err = errno;
    if (err != 0) (void)!::ftruncate64(F.Fd(), 0);
    if (!F.Close() && err == 0) err = errno;
    return err;
}

// Old (the regular file at Name, which this user may write: F is open on it)
// is replaced whole: Bytes go to a new hidden file beside it, armed while it
// is written, which takes its name only once it holds them all. Where the
// directory lets no file be made beside it or refuses the rename (a sticky
// directory, another owner's file), it is written in place through F.
int ReplaceExport(const std::string& Name, const std::string& Bytes, TFileDesc& F,
                  const struct stat64& Old) {
    std::string fresh = Name.substr(0, Name.rfind('/') + 1) + ".quorvex-XXXXXX";
    TFileDesc h(CreateArmedFile(fresh));
    if (!h.IsOpen()) return NameRefused(errno) ? RewriteOpenFile(F, Bytes, Old) : errno;
    const TUnfinishedRemoved removeUnfinished;
    // The group first: changing it may clear mode bits set before.
    (void)!::fchown(h.Fd(), static_cast<uid_t>(-1), Old.st_gid);
    int err = WriteBytes(h, Bytes);
    if (err == 0 && ::fchmod(h.Fd(), Old.st_mode & 0777) != 0) err = errno;
    if (err == 0 && ::fsync(h.Fd()) != 0) err = errno;
    if (!h.Close() && err == 0) err = errno;
    if (err != 0) return err;
    // A rename replaces the name, never writes through what is there now.
    if (RenameArmedFile(Name)) return 0;
    err = errno;
    if (!NameRefused(err)) return err;
    RemoveArmedFile();
    return RewriteOpenFile(F, Bytes, Old);
}

} // namespace

std::string ResolvedName(const std::string& Path) {
    const std::size_t slash = Path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : Path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? Path : Path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return "";
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(dir.c_str(), nullptr), &std::free);
    return real ? DirSlash(real.get()) + name : "";
}

TBaseFileIds BaseFileIds(const TJamBase& B) {
    TBaseFileIds keep;
    for (const auto* stream : {&B.HdrStream, &B.IdxStream, &B.TxtStream}) {
        struct stat64 st {};
        if (*stream && (*stream)->IsOpen() && ::fstat64((*stream)->Fd(), &st) == 0)
            keep.Ids.push_back(IdOf(st));
    }
    // The names too: another program may have put new files in place of the
    // open ones, and the .jlr is opened only for each lookup, or not there.
    for (const char* ext : {".jhr", ".jdx", ".jdt", ".jlr"}) {
        const std::string name = B.BasePath + ext;
        struct stat64 st {};
        if (::stat64(name.c_str(), &st) == 0) keep.Ids.push_back(IdOf(st));
        if (std::string resolved = ResolvedName(name); !resolved.empty())
            keep.Names.push_back(std::move(resolved));
    }
    return keep;
}

std::string BaseFileRefusal(const TBaseFileIds& Keep, const std::string& Path) {
    return IsBaseFile(Keep, Path) ? BaseFileText : "";
}

int WriteExportFile(const std::string& Name, const std::string& Bytes, const TBaseFileIds& Keep) {
    if (IsBaseFile(Keep, Name)) return ExportRefused;
    // Looked at, not opened: opening a FIFO or a device could block or act.
    struct stat64 old {};
    if (::lstat64(Name.c_str(), &old) != 0)
        return errno == ENOENT ? CreateExportFile(Name, Bytes) : errno;
    if (const int why = NotPlain(old); why != 0) return why;
    // Once more on what was looked at: the name may have changed since the
    // test above, and only this very file is replaced (or, in place, written).
    if (IsOneOf(IdOf(old), Keep.Ids)) return ExportRefused;
    // Only a file this user may write is replaced: one it may not stays as
    // it is, whatever the directory would allow.
    TFileDesc f;
    struct stat64 now {};
    if (const int err = OpenToRewrite(Name, f, now); err != 0) return err;
    if (!SameFile(now, old)) return EAGAIN; // replaced since it was looked at
    return ReplaceExport(Name, Bytes, f, old);
}

int CreateExportFile(const std::string& Name, const std::string& Bytes) {
    // Armed from its creation: a signal or an error before the last byte
    // leaves no partial file that looks like a whole export.
    TFileDesc f(CreateArmedFileAt(Name, 0666));
    if (!f.IsOpen()) return errno;
    const TUnfinishedRemoved removeUnfinished;
    int err = WriteBytes(f, Bytes);
    if (!f.Close() && err == 0) err = errno;
    if (err == 0) DisarmArmedFile();
    return err;
}

int RewriteExportInPlace(const std::string& Name, const std::string& Bytes) {
    TFileDesc f;
    struct stat64 st {};
    if (const int err = OpenToRewrite(Name, f, st); err != 0) return err;
    return RewriteOpenFile(f, Bytes, st);
}

std::string UnreadableMsgText(int32_t MsgNo) {
    return "Msg.No: " + IntToStr(MsgNo) + " could not be read!";
}

bool ReadRowMessage(int32_t MsgNo, bool Text) {
    const bool read =
        Text ? Base->ReadMessage(MsgNo) && !Base->TextMissing : Base->ReadHeader(MsgNo);
    if (!read) ShowMsgBox(mbInfo, UnreadableMsgText(MsgNo));
    return read;
}

namespace {

TTempNameState StateOf(const struct stat64& St) {
    return {true, static_cast<uint32_t>(St.st_mode), static_cast<uint64_t>(St.st_nlink),
            static_cast<uint32_t>(St.st_uid)};
}

// Replaces the content of the open file F by Bytes; 0 or the errno. A text
// that cannot be written whole is not left in part for a viewer.
int ReplaceContent(const TFileDesc& F, const std::string& Bytes) {
    int err = ::ftruncate(F.Fd(), 0) == 0 ? 0 : errno;
    if (err == 0) err = WriteBytes(F, Bytes);
    if (err != 0) ::ftruncate(F.Fd(), 0);
    return err;
}

} // namespace

int TempNameRefusal(const TTempNameState& State, uint32_t Uid) {
    if (!State.Exists) return 0;
    if (S_ISLNK(State.Mode)) return ELOOP;
    if (S_ISDIR(State.Mode)) return EISDIR;
    if (!S_ISREG(State.Mode)) return EINVAL;
    if (State.Links != 1) return EMLINK;
    return State.Owner == Uid ? 0 : EPERM;
}

int WriteTempFile(const std::string& Name, const std::string& Bytes, uint32_t Uid) {
    // The name is examined before anything is opened, so a file that is not
    // this user's own is never opened for writing, whatever its mode allows.
    struct stat64 seen {};
    TFileDesc f;
    const bool there = ::lstat64(Name.c_str(), &seen) == 0;
    if (!there && errno != ENOENT) return errno;
    if (there) {
        if (int refusal = TempNameRefusal(StateOf(seen), Uid); refusal != 0) return refusal;
        // A file the group or others may read may be held open by them, and
        // an open descriptor outlives any change of mode: it goes, and the
        // text gets a new file. Only the owner may remove or replace a name
        // in a sticky /tmp, so the name still is the file just examined.
        if ((seen.st_mode & 077) != 0 && ::unlink(Name.c_str()) != 0) return errno;
    }
    if (!there || (seen.st_mode & 077) != 0) {
        // Made anew, and never through whatever appears there meanwhile
        // (O_EXCL follows no link and takes no existing file).
        if (!f.Open(Name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK, 0600))
            return errno;
    } else {
        if (!f.Open(Name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK)) return errno;
        struct stat64 now {};
        if (!f.Stat(now)) return errno;
        if (!SameFile(now, seen)) return EAGAIN;
        if (int refusal = TempNameRefusal(StateOf(now), Uid); refusal != 0) return refusal;
    }
    // Whatever mode the file had or the umask gave it, no one else may read
    // the message that goes into it.
    if (::fchmod(f.Fd(), 0600) != 0) return errno;
    int err = ReplaceContent(f, Bytes);
    if (!f.Close() && err == 0) err = errno;
    return err;
}

std::string PrivateTempDir(const char* TmpDir) {
    std::string dir = TmpDir != nullptr ? TmpDir : "";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    struct stat64 st {};
    if (dir.empty() || dir[0] != '/' || ::stat64(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        ::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return "/tmp";
    return dir;
}

int WritePrivateTempFile(const std::string& Dir, const std::string& Bytes, std::string& Name) {
    Name.clear();
    std::string path = DirSlash(Dir) + PrivateTempPrefix + "XXXXXX";
    // Made exclusively, mode 600, following no link, and armed at once: a
    // signal or an exit() removes it from then on.
    TFileDesc f(CreateArmedFile(path));
    if (!f.IsOpen()) return errno;
    int err = WriteBytes(f, Bytes);
    if (!f.Close() && err == 0) err = errno;
    if (err != 0) {
        RemoveArmedFile();
        return err;
    }
    Name = path;
    return 0;
}

std::string WriteFailText(const std::string& Name) {
    // The message box holds 76 characters; a long path shows its end.
    constexpr std::size_t room = 76 - 17;
    std::string shown = Name.size() > room ? Name.substr(Name.size() - room) : Name;
    return "Could not write " + shown + "!";
}

// ---------------------------------------------------------------------------
// The procedures.

namespace {

// Values are not cut to the panel, but nothing is written past column 80:
// a long name would otherwise wrap onto the rows below.
std::string ToScreenEdge(uint8_t X, const std::string& S) {
    return S.substr(0, static_cast<std::size_t>(81 - X));
}

// The panel, title and rows shared by the three boxes.
void DrawInfoBox(uint8_t Y2, const std::string& Title, const std::vector<TInfoRow>& Rows) {
    DrawPanel(20, 9, 60, Y2, 0);
    WriteXY(22, 10, 0x1F, ToScreenEdge(22, Title));
    uint8_t y = 11;
    for (const TInfoRow& row : Rows) {
        WriteXY(21, y, 0x70, row.Label);
        WriteXY(36, y, 0x7F, ToScreenEdge(36, row.Value));
        ++y;
    }
}

// Any key closes a box; an extended key is taken whole, so its scan code
// does not reach the list as a command letter (Up would read as "H").
void WaitAnyKey() {
    if (ReadKey() == Key::Extended) ReadKey();
}

// Writes Bytes to Name as an export, never over a file of the open base; says
// so when it could not.
bool SaveExport(const std::string& Name, const std::string& Bytes) {
    const int err = WriteExportFile(Name, Bytes, BaseFileIds(*Base));
    if (err == 0) return true;
    if (err == ExportRefused)
        ShowMsgBox(mbInfo, BaseFileText);
    else if (err == ExportSymlink)
        ShowMsgBox(mbInfo, SymlinkText(Name));
    else
        ShowMsgBox(mbInfo, WriteFailText(Name));
    return false;
}

// The save chooser for an export: it refuses the open base's files. Their
// identities are taken now, while the program's own directory is current.
std::string ChooseExportFile(const std::string& Title, const std::string& Offered) {
    const TBaseFileIds keep = BaseFileIds(*Base);
    return SaveFileDialog(Title, Offered, BaseDir,
                          [&keep](const std::string& Path) { return BaseFileRefusal(keep, Path); });
}

void ExtractFromText(TBlockKind Kind, const std::string& Question) {
    TBlockPrompts prompts{
        [&Question] { return ShowMsgBox(mbYesNo, Question); },
        [](const std::string& Offered) { return ChooseExportFile(" Save File As... ", Offered); },
        SaveExport,
    };
    ExtractBlocks(Kind, Base->MsgText, Base->MsgFrom, prompts);
}

} // namespace

void ShowBaseHeader() {
    auto saved = std::make_unique<TConsoleImageRec>();
    SaveScreen(*saved);
    DrawInfoBox(17, "Header", BaseHeaderRows(Base->BaseHdr, Base->TotalMsgs));
    WaitAnyKey();
    RestoreScreen(*saved);
}

void ShowLastRead() {
    auto saved = std::make_unique<TConsoleImageRec>();
    SaveScreen(*saved);
    const uint32_t crc = StrCrc32(Base->MsgFrom);
    JamLastType rec;
    if (Base->FindLastRead(static_cast<int32_t>(crc), rec)) {
        DrawInfoBox(16, LastReadTitle(Base->MsgFrom), LastReadRows(rec, crc));
        WaitAnyKey();
    } else {
        ShowMsgBox(mbInfo, NotFoundText(Base->MsgFrom));
    }
    RestoreScreen(*saved);
}

void ShowMsgHeader() {
    auto saved = std::make_unique<TConsoleImageRec>();
    SaveScreen(*saved);
    DrawInfoBox(20, "Message Header", MsgHeaderRows(Base->MsgHdr));
    WriteXY(21, 17, 0x1F, PadRight("Flags", 39, ' '));
    std::vector<std::string> flags = MsgFlagRows(*Base);
    WriteXYPipe(21, 18, 0x7F, flags[0]);
    WriteXYPipe(21, 19, 0x7F, flags[1]);
    WaitAnyKey();
    RestoreScreen(*saved);
}

void ShowMessageInfo(int32_t MsgNo) {
    DrawPanel(2, 10, 79, 24, 0);
    WriteXY(4, 11, 0x1F, "Message Info");
    static constexpr const char* labels[] = {
        "From     :", "To       :", "Subject  :", "Kludge   :",
        "Seen By  :", "ZUTCINFO :", "Path2D   :", "Trace    :"};
    uint8_t y = 12;
    for (const char* label : labels) WriteXY(4, y++, 0x70, label);
    WriteXY(3, 21, 0x1F, PadRight(" Attributes", 77, ' '));
    if (MsgNo < 0 || !Base->ReadHeader(MsgNo)) return;
    const std::string values[] = {
        Base->MsgFrom,   Base->MsgTo,    Base->MsgSubj, Base->MsgKludge.substr(0, 50),
        Base->MsgSeenBy, Base->MsgTzUtc, Base->MsgPath};
    y = 12;
    for (const std::string& v : values) WriteXY(15, y++, 0x7F, ToScreenEdge(15, v));
    struct Attr {
        uint8_t X;
        const char* Name;
        bool Set;
    };
    const Attr attrs[] = {
        {4, "Local", Base->IsLocal()},      {10, "Crash", Base->IsCrash()},
        {16, "Deleted", Base->IsDeleted()}, {24, "Receipt", Base->IsRead()},
        {33, "Sent", Base->IsSent()},       {38, "File_Att.", Base->IsFileAttach()},
        {48, "Private", Base->IsPrivate()}, {56, "Encrypted", Base->IsEncrypted()},
    };
    for (const Attr& a : attrs) WriteXY(a.X, 22, a.Set ? 0x7F : 0x78, a.Name);
}

void OnListSelect(int32_t Index) {
    ClearScreen();
    ViewMessage(RowMsg(Index));
    LastIndex = Index;
}

void ViewMessage(int32_t MsgNo) {
    if (ReadRowMessage(MsgNo, true)) {
        const std::string bytes = TextBytes(Base->MsgText);
        const auto uid = static_cast<uint32_t>(::geteuid());
        if (WriteTempFile(TempFileName, bytes, uid) == 0) {
            ViewAnsi(TempFileName);
        } else {
            // The fixed name cannot serve (another user's file, a link, a
            // file that cannot be written): the text goes to a private file
            // of this user's, removed when the view ends.
            std::string name;
            if (WritePrivateTempFile(PrivateTempDir(std::getenv("TMPDIR")), bytes, name) == 0) {
                // However the view is left (an exception, too), the file goes.
                struct TRemoveAtEnd {
                    ~TRemoveAtEnd() { RemoveArmedFile(); }
                } removeAtEnd;
                ViewAnsi(name);
            } else {
                ShowMsgBox(mbInfo, WriteFailText(TempFileName));
            }
        }
    }
    SetForeground(7);
    ClearScreen();
}

void ShowHelp() {
    const std::string name = ExeDir + "help.ans";
    if (!FileExists(name)) {
        ShowMsgBox(mbInfo, "Help file is missing!");
        return;
    }
    // There but not readable (say, mode 600 of another user): the viewer
    // would show nothing, so say why instead.
    if (!CanViewFile(name)) {
        ShowMsgBox(mbInfo, HelpUnreadableText);
        return;
    }
    SetForeground(7);
    ClearScreen();
    ViewAnsi(name);
    SetForeground(7);
    ClearScreen();
}

void ExtractUUE() {
    ExtractFromText(TBlockKind::bkUUE, "UUE Block Found. Extract?");
}

void ExtractPGP() {
    ExtractFromText(TBlockKind::bkPGP, "PGP Block Found. Extract?");
}

void ExportText(int32_t MsgNo) {
    std::string f = ChooseExportFile(" Save Filename ", ExportName(MsgNo));
    if (f.empty() || !ReadRowMessage(MsgNo, true)) return;
    SaveExport(f, TextBytes(Base->MsgText));
}
