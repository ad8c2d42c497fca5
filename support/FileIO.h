#pragma once
// File and path helpers over the Linux file layer. Seven operations on an
// untyped file of fixed-size records try again, up to 20 times with 100 ms
// pauses, while the system refuses access (DOS error 5), and leave the DOS-style
// code of their last attempt in IoResultCode. Name helpers are pure string
// functions; TFileBuffer reads and writes a file through one memory buffer.
// No path or name is ever cut, whatever its length: the program's 255-byte
// cut is for its text values, and a cut path names another file or none.

#include "support/FileDesc.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// ---------------------------------------------------------------------------
// Untyped file: a file of records whose size is fixed when it is opened.
// Positions and counts are in records. Give it a name with Assign, open it with
// IoReset (existing file) or IoRewrite (created or emptied), close it with Close
// (the destructor closes it too). Eof, FilePos and FileSize are the plain,
// non-retrying queries of an open file; they leave IoResultCode alone.
struct TUntypedFile {
    std::string Name;     // set by Assign
    TFileDesc File;       // closed while the file is not open
    uint16_t RecSize = 1; // bytes per record, set at opening (0 is taken as 1)

    TUntypedFile() = default;
    explicit TUntypedFile(const std::string& AName) : Name(AName) {}
    TUntypedFile(const TUntypedFile&) = delete;
    TUntypedFile& operator=(const TUntypedFile&) = delete;
    ~TUntypedFile() { Close(); }

    void Assign(const std::string& AName); // closes an open file first
    void Close();                          // no effect when closed
    bool IsOpen() const { return File.IsOpen(); }
    bool Eof() const;         // True when closed or at (or past) the end
    int32_t FilePos() const;  // current record; 0 when closed
    int32_t FileSize() const; // whole records in the file; 0 when closed
};

// Access mode byte of IoReset and IoRewrite, DOS share-mode layout: bits 0-1
// give the access (0 read, 1 write, 2 read and write; 3 is taken as read only);
// the sharing bits are ignored. On a read-only file system IoReset with read and
// write access falls back to read only. IoRewrite always opens for writing (read
// and write unless the access is 1), as a file it creates must be writable.
inline constexpr uint8_t IoModeRead = 0;
inline constexpr uint8_t IoModeWrite = 1;
inline constexpr uint8_t IoModeReadWrite = 2;
inline constexpr uint8_t IoModeShared = 66; // read and write, sharing allowed

// DOS-style code of the last attempt of a retrying operation: 0 success;
// 2 not found; 3 name too long; 4 too many open files; 5 access denied (EACCES,
// EEXIST, EISDIR, EROFS, ENOTEMPTY); 6 invalid handle (EBADF); 100 record
// not read in full; 101 record not written in full, EINTR, EIO, EAGAIN, ENOSPC,
// EPIPE; 103 file not open; any other errno value as it is.
extern int32_t IoResultCode;

// Diagnostic only: the number of attempts the last retrying operation made
// (1 unless it was refused access; 20 at most).
extern int32_t IoAttempts;

inline constexpr int32_t IoMaxAttempts = 20;
inline constexpr uint16_t IoRetryPauseMs = 100;

// The retrying operations; each is True when its last attempt succeeded.
// IoReset and IoRewrite open only regular files, and never wait in the open:
// a directory is refused with code 5, anything else that is no regular file
// (a FIFO, a device, a socket) at once with EINVAL (22).
bool IoReset(TUntypedFile& F, uint16_t RecSize, uint8_t Mode);
bool IoRewrite(TUntypedFile& F, uint16_t RecSize, uint8_t Mode);
bool IoSeek(TUntypedFile& F, int32_t Pos);
// Reads up to Count records; Got is the number of whole records read, fewer
// than Count at the end of the file (the bytes of a last, partial record are
// stored in Buf too and the position passes them).
bool IoBlockRead(TUntypedFile& F, void* Buf, int32_t Count, int32_t& Got);
bool IoBlockWrite(TUntypedFile& F, const void* Buf, int32_t Count, int32_t& Written);
bool IoReadRec(TUntypedFile& F, void* Buf);        // code 100 when short
bool IoWriteRec(TUntypedFile& F, const void* Buf); // code 101 when short

// Pauses Ms milliseconds (a select on no descriptors).
void IoWait(uint16_t Ms);

// ---------------------------------------------------------------------------
// Name helpers. "/" separates directories; the ones that say so also take "\".
std::string ExtractFilePath(const std::string& Name); // up to the last "/" or "\"; '' without "/"
std::string ExtractFileName(const std::string& Name); // after the last "/" or "\"
std::string StripExt(const std::string& Name);        // without the last "." and what follows
std::string ExtractExt(const std::string& Name);      // after the last "."
std::string ChangeExt(const std::string& Name, const std::string& Ext);
std::string DirSlash(const std::string& Path);  // "/" appended unless there; "/" for ''
std::string ParentDir(const std::string& Path); // "/a/b/" and "/a/b" give "/a/"
// DOS-style match of one name: "*" covers the name up to its first "." (so
// "*.txt" does not match "a.b.txt"), "?" exactly one character, and a name
// beginning with "." never matches a "*". An empty Mask matches nothing.
bool WildMatch(const std::string& Mask, const std::string& Name, bool IgnoreCase);

// ---------------------------------------------------------------------------
// File and directory helpers. None raises an error; failure is False, '' or 0.
// Listings by pattern ("*" any run, "?" one character, case-sensitive, in the
// part after the last "/") keep an entry when each of its marks, directory
// ($10) and hidden ($02, a name beginning with "."), is in the attribute mask.

// The listing pattern's match of one name: "*" any run (the empty one too),
// "?" one character, every other character itself, case-sensitively.
bool PatternMatch(std::string_view Pattern, std::string_view Name);

// True when Name's attributes can be read and Name is not a directory.
bool FileExists(const std::string& Name);
bool DirExists(const std::string& Name);
bool EraseFile(const std::string& Name);
// Deletes NewName first, then renames; NewName is left alone when OldName is
// missing or both name the same file.
bool RenameFile(const std::string& OldName, const std::string& NewName);
// Copies in blocks of 4096 bytes; False when either cannot be opened for
// reading and writing, when both name the same file, or on a short write.
bool CopyFile(const std::string& Src, const std::string& Dst);
bool MakePath(const std::string& Path);  // creates every missing directory
bool ChangeDir(const std::string& Path); // '' is "/"
// Deletes every plain, non-hidden file of Dir (ending in "/") whose name
// differs from Keep apart from letter case.
void EraseAllBut(const std::string& Dir, const std::string& Keep);
// Name with its last part spelled as the directory spells it; Name unchanged
// when no entry matches apart from letter case.
std::string ResolveCase(const std::string& Name);
int64_t FileSizeOf(const std::string& Name); // first entry of the listing of Name
int32_t CountFiles(const std::string& Dir);  // non-directories of Dir + "*"
// The directory that is current now; '' when the system reports none (it was
// removed, or lies below a directory that may not be searched).
std::string CurrentDir();
// The running program's own file as the system names it; '' when it does not.
std::string ExecutablePath();
std::string ProgramName(); // own path without extension; '' when unknown
std::string ProgramDir();  // own directory with "/"; current directory when unknown

// ---------------------------------------------------------------------------
// Buffered record file: one buffer of BufSize bytes (1 to 65536) over a file of
// one-byte records. Reads come from the buffer and refill it when they cross its
// end; writes are held in it until a write crosses its end, it must be refilled,
// the file is repositioned outside it, its size is asked for or the file closes.
// File errors after Open are not reported (fewer bytes read, Eof).

// Scoped, because the file stream unit has its own fmCreate.
enum class TFileBufferOpenType : uint8_t {
    fmOpen = 0,       // an existing file
    fmOpenCreate = 1, // an existing file, or a new one when none exists
    fmOpenAppend = 2, // as fmOpenCreate, positioned at the end
    fmCreate = 3,     // a new, empty file (an existing one is emptied)
};

inline constexpr int32_t FileBufferMax = 65536;

// The largest buffer's shape. A buffer is BufSize bytes of it, indexed from
// 0; PFileBufferRec owns one, allocated by Open and freed by Close.
using TFileBufferRec = char[FileBufferMax];
using PFileBufferRec = std::unique_ptr<char[]>;

class TFileBuffer {
public:
    int32_t RecSize = 1;   // bytes per record of the record operations, at least 1
    int32_t BufSize = 0;   // capacity of the buffer
    PFileBufferRec Buffer; // null while closed
    int32_t BufLen = 0;    // valid bytes in the buffer
    int32_t BufStart = 0;  // file offset of Buffer[0]
    int32_t BufEnd = 0;    // BufStart + BufLen
    int32_t BufPos = 0;    // current byte; the file offset is BufStart + BufPos
    TUntypedFile DataFile; // one-byte records
    bool AtEof = false;    // the file stood at its end after the last fill
    bool Dirty = false;    // the buffer holds bytes not yet in the file
    bool IsOpen = false;

    // ABufSize is clamped to 1..65536.
    explicit TFileBuffer(int32_t ABufSize);
    TFileBuffer(const TFileBuffer&) = delete;
    TFileBuffer& operator=(const TFileBuffer&) = delete;
    ~TFileBuffer();

    // Closes an open file first; ARecSize below 1 is taken as 1. False leaves
    // the object closed; an existing file that cannot be opened is never
    // replaced by fmOpenCreate or fmOpenAppend.
    bool Open(const std::string& Name, int32_t ARecSize, TFileBufferOpenType OpenType,
              uint8_t Mode);
    void Close();
    void Fill();
    void WriteBack();
    int32_t GetPos() const;
    int32_t GetRecPos() const;
    void Seek(int32_t Pos); // a negative Pos is ignored
    void SeekRec(int32_t N);
    // The current byte; at the end of the file #0, and the offset stays.
    char ReadByte();
    // Up to Count bytes, BufSize at most per call; Got 0 at the end of the file.
    void ReadBlockEx(void* Dest, int32_t Count, int32_t& Got);
    void ReadBlock(void* Dest, int32_t Count);
    void ReadRec(void* Dest);
    // Any Count: a block larger than the buffer goes through it in pieces.
    void WriteBlock(const void* Src, int32_t Count);
    void WriteRec(const void* Src);
    bool Eof() const;
    int32_t GetSize();
    int32_t GetRecCount();

private:
    void WritePiece(const char* Src, int32_t Count);
    void FillAt(int64_t Pos);
};
