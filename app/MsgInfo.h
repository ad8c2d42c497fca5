#pragma once
// What the main program opens on top of its list: the base header, last-read
// and message header boxes, the full-screen view of a message's text, the help
// screen, and the saving of a text or of its UUencoded and PGP blocks. The
// procedures are thin: what a box shows, where a block lies and which bytes a
// file gets are computed by the functions below from plain arguments, and the
// files are written whole or not at all.

#include "jam/JamBase.h"
#include "support/StringList.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// The procedures the main program calls.

void ShowBaseHeader(); // "*": the base header box
void ShowLastRead();   // "L": the last-read record of Base's MsgFrom
void ShowMsgHeader();  // "M": Base's MsgHdr
// "|15|19" + Text when IsSet, else "|08|23" + Text.
std::string FlagLabel(const std::string& Text, bool IsSet);
void ShowMessageInfo(int32_t MsgNo);
void OnListSelect(int32_t Index); // Enter on a row: the row's message in the viewer
void ViewMessage(int32_t MsgNo);
void ShowHelp(); // "H"
// What "H" says when help.ans is there but cannot be read.
inline constexpr const char* HelpUnreadableText = "Help file cannot be read!";
void ExtractUUE();              // "U", on Base's MsgText
void ExtractPGP();              // "P", on Base's MsgText
void ExportText(int32_t MsgNo); // "E"

// ---------------------------------------------------------------------------
// What the boxes show.

// One row of an information box: the label at column 21, the value at 36.
struct TInfoRow {
    std::string Label;
    std::string Value;
    bool operator==(const TInfoRow&) const = default;
};

std::vector<TInfoRow> BaseHeaderRows(const JamHdrType& Hdr, int32_t TotalMsgs);
std::string LastReadTitle(const std::string& From);
std::vector<TInfoRow> LastReadRows(const JamLastType& Rec, uint32_t UserCrc);
std::string NotFoundText(const std::string& From);
std::vector<TInfoRow> MsgHeaderRows(const JamMsgHdrType& Hdr);
// The two pipe-coded flag rows of the message header box, from B's MsgHdr.
std::vector<std::string> MsgFlagRows(const TJamBase& B);

// ---------------------------------------------------------------------------
// Blocks in a text.

enum class TBlockKind : uint8_t { bkUUE, bkPGP };

struct TBlockSpan {
    int32_t First = 0;      // line index of the start line
    int32_t Last = 0;       // line index of the end line (or of the text's last line)
    std::size_t Column = 0; // bytes dropped from every line (the PGP marker's column)
    bool operator==(const TBlockSpan&) const = default;
};

// True when Line starts a block of Kind.
bool IsBlockStart(TBlockKind Kind, const std::string& Line);
// The block that starts on line First (which must be a start line).
TBlockSpan BlockAt(TBlockKind Kind, const TStringList& Lines, int32_t First);
// The bytes a block is saved as: each line from Column on, ended by LF.
std::string BlockBytes(const TStringList& Lines, const TBlockSpan& Span);
// The whole text, each line ended by LF.
std::string TextBytes(const TStringList& Lines);

// A file name made safe to offer: letters, digits, "-", "_" and "." stay
// (no "." in front), every other byte becomes "_"; never empty.
std::string SafeFileName(const std::string& Name);
// "msg" + MsgNo with "0" in front to five digits + ".txt".
std::string ExportName(int32_t MsgNo);
// The name offered for block K of a sender: SafeFileName(From + K + ".uue"/".pgp").
std::string BlockName(TBlockKind Kind, const std::string& From, int32_t K);

// What the block loop asks of the user and of the file system; the program
// answers through message boxes and the save dialog, tests through tables.
struct TBlockPrompts {
    std::function<bool()> Confirm;                                    // "... Block Found. Extract?"
    std::function<std::string(const std::string&)> ChooseFile;        // offered name -> path or ''
    std::function<bool(const std::string&, const std::string&)> Save; // path, bytes -> written
};

// Walks Lines for blocks of Kind as "U" and "P" do; returns the number saved.
int32_t ExtractBlocks(TBlockKind Kind, const TStringList& Lines, const std::string& From,
                      const TBlockPrompts& Prompts);

// ---------------------------------------------------------------------------
// Writing files.

inline constexpr const char* TempFileName = "/tmp/quorvex.tmp";
// A private temporary file is this followed by six characters of mkstemp.
inline constexpr const char* PrivateTempPrefix = "quorvex-";

// A file as the system knows it, whatever name leads to it: two names that
// give the same identity (a hard link, a symbolic link, "./x" and "../d/x")
// are one file.
struct TFileId {
    uint64_t Dev = 0;
    uint64_t Ino = 0;
    bool operator==(const TFileId&) const = default;
};

// The files of base B that an export must never replace. By identity: the
// header, index and text files it holds open, and the files its four names
// lead to now. By name: the four names themselves, their directory resolved,
// so that one that does not exist yet (a .jlr) is not made by an export
// either. A relative BasePath is looked up from the current directory, so
// take them where the program's own directory is current (not inside a
// chooser, which changes it).
struct TBaseFileIds {
    std::vector<TFileId> Ids;
    std::vector<std::string> Names; // as ResolvedName gives them
};
TBaseFileIds BaseFileIds(const TJamBase& B);
// Path with its directory resolved (no link, "." or ".." left in it) and its
// last name as it is; '' when the directory cannot be resolved or Path ends
// in no file name.
std::string ResolvedName(const std::string& Path);
// What an export to Path is told when Path is one of Keep, by name or by the
// file it leads to; '' when it is not.
std::string BaseFileRefusal(const TBaseFileIds& Keep, const std::string& Path);
inline constexpr const char* BaseFileText =
    "This file belongs to the open base. Choose another name.";

// WriteExportFile's results when Name turned out to be one of Keep, and when
// it is a symbolic link (never written through, dangling or not).
inline constexpr int ExportRefused = -1;
inline constexpr int ExportSymlink = -2;

// 0 when the file at Name holds exactly Bytes, else the errno of the
// failure, ExportRefused or ExportSymlink. Only a regular file is written:
// a directory gives EISDIR, anything else (a FIFO, a device) EINVAL, and
// neither is opened. A missing file is made by CreateExportFile. An existing
// file is replaced only when this user may write it, as the kernel answers
// an open for writing that cuts nothing: one it may not (EACCES, EPERM,
// EROFS) is left as it is, whatever the directory allows. It stays whole
// until the new text is: the text goes to a new hidden file beside it (its
// mode and, where allowed, its group), armed while it is written, which is
// renamed over it once complete and removed when not. Where no file can be
// made beside it (a directory this user may not write) or the rename is
// refused (a sticky directory, another owner's file), RewriteExportInPlace
// writes it where it lies.
int WriteExportFile(const std::string& Name, const std::string& Bytes,
                    const TBaseFileIds& Keep = {});
// Makes the missing file Name with Bytes: created exclusively (EEXIST for
// anything at the name, a symbolic link too, never written through), armed
// while it is written, so that an error or a signal before the last byte
// removes it, and disarmed once complete.
int CreateExportFile(const std::string& Name, const std::string& Bytes);
// Writes Bytes into the regular file at Name where it lies, following no link
// (ExportSymlink), after the room for them is reserved: a failure to reserve
// leaves it as it was, a failure after that leaves it empty.
int RewriteExportInPlace(const std::string& Name, const std::string& Bytes);
// What a row command says when the message cannot be read any more.
std::string UnreadableMsgText(int32_t MsgNo);
// Reads message MsgNo of Base for a row command, its text too when Text is
// set. When the message cannot be read (another program cut the header file
// short), or its header claims a text of which the text file holds nothing,
// a box says so and the result is false: the command then does nothing.
bool ReadRowMessage(int32_t MsgNo, bool Text);

// What lstat tells of the fixed temporary name.
struct TTempNameState {
    bool Exists = false;
    uint32_t Mode = 0; // st_mode, file type included
    uint64_t Links = 0;
    uint32_t Owner = 0;
};
// 0 when the fixed name may be written: nothing is there, or a regular file
// of Uid's own with a single link. Anything else is left alone, and the view
// uses a private file instead; the errno says why: ELOOP for a symbolic link,
// EISDIR for a directory, EINVAL for a FIFO or a device, EMLINK for a hard
// link, EPERM for another user's file.
int TempNameRefusal(const TTempNameState& State, uint32_t Uid);
// Writes the fixed temporary file Name as TempNameRefusal allows: a missing
// one is created exclusively, an own one is replaced whole; either is mode
// 600 (set on its descriptor) before the text goes in. An own file that the
// group or others could read is removed and created anew, since one of them
// may hold it open. What it refuses is never opened for writing and is left
// as it is (ELOOP, EISDIR, EINVAL, EMLINK, EPERM). A text that cannot be
// written whole leaves the file empty.
int WriteTempFile(const std::string& Name, const std::string& Bytes, uint32_t Uid);
// The directory of private temporary files: TmpDir (the value of $TMPDIR)
// without trailing "/" when it names an absolute path to a directory this
// user may write and search, else "/tmp".
std::string PrivateTempDir(const char* TmpDir);
// Creates "quorvex-XXXXXX" in Dir exclusively (mode 600, no link followed)
// and writes Bytes to it; Name gets its path. 0, or the errno with nothing
// left behind and Name empty. The file is armed (CreateArmedFile): a signal
// or an exit() removes it, and the caller removes it with RemoveArmedFile.
int WritePrivateTempFile(const std::string& Dir, const std::string& Bytes, std::string& Name);
// The message shown when Name could not be written.
std::string WriteFailText(const std::string& Name);
