#pragma once
// One JAM message base: header (.jhr), index (.jdx), text (.jdt) and last-read
// (.jlr) files sharing a base path. Messages are numbered by their place in the
// index (message n is index record n - 1). Readers take no lock and trust no
// length in the files; every change takes the JAM lock (an fcntl write lock on
// byte 0 of the header file) and re-reads what it writes back under that lock.

#include "support/FileStream.h"
#include "support/StringList.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

// Subfield identifiers (SubFieldType.LoID).
inline constexpr uint16_t OADDRESS = 0;
inline constexpr uint16_t DADDRESS = 1;
inline constexpr uint16_t SENDERNAME = 2;
inline constexpr uint16_t RECEIVERNAME = 3;
inline constexpr uint16_t SUBJECT = 6;
inline constexpr uint16_t ENCLOSEDFILE = 9;
inline constexpr uint16_t ENCLOSEDFREQ = 11;
inline constexpr uint16_t FTSKLUDGE = 2000;
inline constexpr uint16_t SEENBY2D = 2001;
inline constexpr uint16_t PATH2D = 2002;
inline constexpr uint16_t TZUTCINFO = 2004;

// Attribute bits (JamMsgHdrType.Attribute).
inline constexpr uint32_t MSG_LOCAL = 0x00000001;
inline constexpr uint32_t MSG_PRIVATE = 0x00000004;
inline constexpr uint32_t MSG_READ = 0x00000008;
inline constexpr uint32_t MSG_SENT = 0x00000010;
inline constexpr uint32_t MSG_KILLSENT = 0x00000020;
inline constexpr uint32_t MSG_CRASH = 0x00000100;
inline constexpr uint32_t MSG_FILEREQUEST = 0x00001000;
inline constexpr uint32_t MSG_FILEATTACH = 0x00002000;
inline constexpr uint32_t MSG_ENCRYPT = 0x00080000;
inline constexpr uint32_t MSG_COMPRESS = 0x00100000;
inline constexpr uint32_t MSG_ESCAPED = 0x00200000;
inline constexpr uint32_t MSG_TYPELOCAL = 0x00800000;
inline constexpr uint32_t MSG_LOCKED = 0x40000000;
inline constexpr uint32_t MSG_DELETED = 0x80000000;

// Sizes of the records as stored.
inline constexpr int32_t JamHdrSize = 1024;
inline constexpr int32_t JamMsgHdrSize = 76;
inline constexpr int32_t JamSubFieldSize = 8;
inline constexpr int32_t JamIdxSize = 8;
inline constexpr int32_t JamLastSize = 16;

// The most bytes of one message's text that are read, whatever its TxtLen
// says: a length that a crash left at 2 GiB must cost neither the memory nor
// the time of 2 GiB, and a page reads the texts of 22 messages. 4 MiB is far
// more than any mail a tosser passes on, and a page of 22 such texts is read
// and flagged well within a second. A text is its first 4 MiB; a line that
// runs past them ends there.
inline constexpr int32_t JamMaxTextBytes = 4 * 1024 * 1024;

// The most lines a message's text keeps in MsgText: a text of 4 MiB made of
// carriage returns must not make a list of millions of empty lines. Reading
// stops at the 262,144th line, so only a text whose lines average fewer than
// 16 bytes loses lines to it.
inline constexpr int32_t JamMaxLines = 262144;

// The byte a purge writes over a deleted message's text.
inline constexpr uint8_t JamPurgeFill = 0x51;

// How long a stream buffer may serve reads across read operations. Other
// programs (a tosser) may change the base at any time, so what a reader sees
// is a snapshot anyway: one that sees bytes at most 20 ms old sees what a
// reader that ran a moment earlier saw. Changes must not work from a snapshot:
// every buffer is dropped when the JAM lock is taken, before every read made
// under it and when it is released, so each change is made from bytes read
// under the lock. A write through a stream drops that stream's buffer too.
inline constexpr int32_t JamBufferAgeMs = 20;

// The JAM lock: tried this many times, this many milliseconds apart, before a
// change gives up (about 200 ms in all).
inline constexpr int JamLockTries = 20;
inline constexpr int JamLockPauseMs = 10;

// Why the last change (DeleteMsg) was refused; jrNone after one that was made.
enum class TJamRefusal : uint8_t {
    jrNone,
    jrNoMessage, // no such message, or its header cannot be read
    jrReadOnly,  // the base could be opened for reading only
    jrLocked,    // another program holds the JAM lock
    jrReplaced,  // the files at the base's names are no longer the open ones
    jrDamaged,   // what the change would write is not certainly the message's own
    jrWriteFailed
};

// Result codes of CreateBase and AddMessage.
inline constexpr int16_t JamOk = 0;
inline constexpr int16_t JamErrExists =
    -1; // CreateBase: header file exists; AddMessage: no text file
inline constexpr int16_t JamErrEmpty = -2; // AddMessage: sender, recipient or subject empty
inline constexpr int16_t JamErrHdrWrite =
    -3; // AddMessage: index record, header or subfield not written
inline constexpr int16_t JamErrLocked = -4;   // AddMessage: another program holds the JAM lock
inline constexpr int16_t JamErrBaseHdr = -10; // AddMessage: base header not written
inline constexpr int16_t JamErrTxtCopy = -40; // AddMessage: text not copied
inline constexpr int16_t JamErrLrCreate = -96;
inline constexpr int16_t JamErrTxtCreate =
    -97; // CreateBase: .jdt; AddMessage: text file not opened
inline constexpr int16_t JamErrIdxCreate = -98;
inline constexpr int16_t JamErrHdrCreate = -99;

// The base header, 1024 bytes at offset 0 of the header file.
struct JamHdrType {
    char Signature[4] = {};
    int32_t DateCreated = 0;
    int32_t ModCounter = 0;
    int32_t ActiveMsgs = 0;
    int32_t PasswordCRC = 0;
    int32_t BaseMsgNum = 0;
    uint8_t Reserved[1000] = {};
    bool operator==(const JamHdrType&) const = default;
};
static_assert(sizeof(JamHdrType) == 1024);

// The fixed part of a message header, 76 bytes; its subfields follow it.
struct JamMsgHdrType {
    char Signature[4] = {};
    uint16_t Revision = 0;
    uint16_t ReservedWord = 0;
    int32_t SubfieldLen = 0;
    int32_t TimesRead = 0;
    int32_t MSGIDcrc = 0;
    int32_t REPLYcrc = 0;
    int32_t ReplyTo = 0;
    int32_t Reply1st = 0;
    int32_t ReplyNext = 0;
    int32_t DateWritten = 0;
    int32_t DateReceived = 0;
    int32_t DateProcessed = 0;
    int32_t MessageNumber = 0;
    uint32_t Attribute = 0;
    int32_t Attribute2 = 0;
    int32_t TxtOffset = 0;
    int32_t TxtLen = 0;
    int32_t PasswordCRC = 0;
    int32_t Cost = 0;
    bool operator==(const JamMsgHdrType&) const = default;
};
static_assert(sizeof(JamMsgHdrType) == 76);

// The head of one subfield, 8 bytes; DatLen data bytes follow it.
struct SubFieldType {
    uint16_t LoID = 0;
    uint16_t HiID = 0;
    int32_t DatLen = 0;
    bool operator==(const SubFieldType&) const = default;
};
static_assert(sizeof(SubFieldType) == 8);

// One index record, 8 bytes; HdrOffset -1 means the message has no header.
struct JamIdxType {
    int32_t UserCRC = 0;
    int32_t HdrOffset = 0;
    bool operator==(const JamIdxType&) const = default;
};
static_assert(sizeof(JamIdxType) == 8);

// One last-read record, 16 bytes; UserCRC and UserID -1 in a freed record.
struct JamLastType {
    int32_t UserCRC = 0;
    int32_t UserID = 0;
    int32_t LastReadMsg = 0;
    int32_t HighReadMsg = 0;
    bool operator==(const JamLastType&) const = default;
};
static_assert(sizeof(JamLastType) == 16);

// A network address zone:net/node.point; all four 0 means "not set".
struct RecEchoMailAddr {
    uint16_t Zone = 0;
    uint16_t Net = 0;
    uint16_t Node = 0;
    uint16_t Point = 0;
    bool operator==(const RecEchoMailAddr&) const = default;
};

class TJamBase {
public:
    TJamBase();
    ~TJamBase();
    TJamBase(const TJamBase&) = delete;
    TJamBase& operator=(const TJamBase&) = delete;

    std::string BasePath; // directory + base name, no extension
    // The owner may seek and read IdxStream itself. Such reads go through the
    // same buffer and are not checked for age; the next read operation of
    // this object checks it (and reads its own index record).
    std::unique_ptr<TFileStream> HdrStream;
    std::unique_ptr<TFileStream> IdxStream;
    std::unique_ptr<TFileStream> TxtStream;
    int32_t LastModCounter = 0;
    JamHdrType BaseHdr;
    JamMsgHdrType MsgHdr;
    int32_t CurHdrOffset = 0;
    int32_t TotalMsgs = 0;
    TStringList MsgText;
    int32_t CurMsg = 0;
    std::string MsgFrom;   // up to 65 bytes
    std::string MsgTo;     // up to 65 bytes
    std::string MsgSubj;   // up to 100 bytes
    std::string MsgKludge; // the rest up to 255 bytes each
    std::string MsgSeenBy;
    std::string MsgPath;
    std::string MsgTzUtc;
    // The base's files could only be opened for reading (another user's base,
    // a read-only file system): it reads as any other, and every change is
    // refused (jrReadOnly) before anything is written.
    bool ReadOnly = false;
    TJamRefusal Refusal = TJamRefusal::jrNone;
    // The last ReadMessage found a header that claims a text of which the
    // text file holds not one byte (another program cut the file short):
    // MsgText is empty, but not because the message is.
    bool TextMissing = false;
    // The last DeleteMsg with purge left some of the message's text as it
    // was, because another message's text starts inside it (two headers
    // sharing one text, or a torn record claiming it): that part is the other
    // message's too, and is never overwritten.
    bool PurgeLeftShared = false;

    // Reading. Open reads a base that may not be written for reading only;
    // a file that is missing, not a regular file or cannot be read at all
    // fails it ("Error on Init" on standard output).
    bool Open();
    // True when a file at the base's names is not the one held open (a packer
    // renamed a new base over it, or a name is gone): what the open files
    // hold is no longer the base, and every change is refused.
    bool Replaced() const;
    // Takes the files at the base's names in place of the open ones, silently,
    // but only when they are wholly another base: each of the three names
    // leads to a file other than the one held, and the three open as a base.
    // A packer renames its files over the names one at a time, and a mix of
    // its files and the old ones is no base (the old headers point into the
    // new text): then, as when the new files cannot be opened, the open base
    // stays and the result is false.
    bool Reopen();
    int32_t CountMsgs();
    int32_t HighMsgNum();
    // Reads the 1024-byte base header; false (BaseHdr unchanged) when the
    // header file holds fewer than 1024 bytes.
    bool ReadBaseHdr();
    bool ReadHeader(int32_t MsgNo);
    bool ReadMessage(int32_t MsgNo);
    bool ReadFirst();
    bool ReadLast();
    bool ReadNext();
    void SetAttr(uint32_t Mask, bool OnOff);
    // The first last-read record with that name CRC; a freed record (both
    // keys -1) never matches, so an empty name (CRC -1) finds no freed slot.
    bool FindLastRead(int32_t UserCRC, JamLastType& Rec);

    bool IsLocal() const { return (MsgHdr.Attribute & MSG_LOCAL) != 0; }
    bool IsPrivate() const { return (MsgHdr.Attribute & MSG_PRIVATE) != 0; }
    bool IsRead() const { return (MsgHdr.Attribute & MSG_READ) != 0; }
    bool IsSent() const { return (MsgHdr.Attribute & MSG_SENT) != 0; }
    bool IsKillSent() const { return (MsgHdr.Attribute & MSG_KILLSENT) != 0; }
    bool IsCrash() const { return (MsgHdr.Attribute & MSG_CRASH) != 0; }
    bool IsFileRequest() const { return (MsgHdr.Attribute & MSG_FILEREQUEST) != 0; }
    bool IsFileAttach() const { return (MsgHdr.Attribute & MSG_FILEATTACH) != 0; }
    bool IsEncrypted() const { return (MsgHdr.Attribute & MSG_ENCRYPT) != 0; }
    bool IsCompressed() const { return (MsgHdr.Attribute & MSG_COMPRESS) != 0; }
    bool IsEscaped() const { return (MsgHdr.Attribute & MSG_ESCAPED) != 0; }
    bool IsLocked() const { return (MsgHdr.Attribute & MSG_LOCKED) != 0; }
    bool IsDeleted() const { return (MsgHdr.Attribute & MSG_DELETED) != 0; }

    // Changing (each takes the JAM lock for the whole change).
    bool DeleteMsg(int32_t MsgNo, bool Purge);
    bool WriteBaseHdr();
    void IncModCounter();
    bool BaseChanged() const { return LastModCounter != BaseHdr.ModCounter; }
    // Makes the four empty files of base Name in directory Dir; never
    // replaces an existing header file (JamErrExists). Opens nothing.
    static int16_t CreateBase(const std::string& Dir, const std::string& Name);
    int16_t AddMessage(const std::string& From, const std::string& To, const std::string& Subject,
                       RecEchoMailAddr OrigAddr, RecEchoMailAddr DestAddr,
                       const std::string& TextFile);

    // Last-read records (need only BasePath). Freed records match no key;
    // SetLastRead refuses user -1, whose new record would look freed.
    int32_t HighReadById(int32_t UserID);
    int32_t HighReadByCrc(int32_t UserCRC);
    void ClearLastRead(int32_t UserID);
    bool SetLastRead(int32_t UserID, int32_t MsgNo);

private:
    struct TOthers; // what the other index records claim around a message
    bool TakeBaseHdr();
    bool Lock();
    void Unlock();
    void InvalidateStreams();
    void FreshenStreams();
    bool ReadIdx(int32_t MsgNo, JamIdxType& Idx);
    void ReadSubfields(int64_t End);
    void KeepSubfield(uint16_t LoID, const char* P, int32_t Len);
    void ReadText();
    bool HeaderIsReal();
    bool HeaderIsItsOwn(const TOthers& Others);
    bool PurgeText(const TOthers& Others);
    bool ScanOthers(int32_t MsgNo, bool Texts, TOthers& Others);
    bool DeleteLocked(int32_t MsgNo, bool Purge);
    int16_t AddLocked(const std::string& From, const std::string& To, const std::string& Subj,
                      RecEchoMailAddr OrigAddr, RecEchoMailAddr DestAddr, TFileStream& Src);

    int FLockDepth = 0;                       // nesting of Lock() calls by this object
    int FLockFd = -1;                         // descriptor the lock is held on
    std::unique_ptr<TFileStream> FLockStream; // .jhr opened only for a lock
    std::string FScratch;                     // reused buffer for texts
};

// The CRC-32 table of the reflected polynomial $EDB88320: entry i is i put
// through eight steps of "shift right, exclusive-or the polynomial when the bit
// shifted out was 1".
inline constexpr std::array<uint32_t, 256> Crc32Table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[i] = c;
    }
    return t;
}();
uint32_t UpdCrc32(uint8_t Octet, uint32_t Crc);
// The name CRC: CRC-32 of the lower-cased (A-Z only) name, without the final
// inversion. "" gives $FFFFFFFF.
uint32_t StrCrc32(const std::string& S);

std::string AddrToStr(RecEchoMailAddr Addr);
bool StrToAddr(const std::string& S, RecEchoMailAddr& Addr);
bool AddrIsSet(RecEchoMailAddr Addr);
