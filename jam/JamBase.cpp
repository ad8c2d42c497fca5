#include "jam/JamBase.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "support/DateUtil.h"
#include "support/FileDesc.h"
#include "support/FileIO.h"
#include "support/StrUtil.h"

// Bytes in the files are little-endian and packed; the records are turned
// into bytes and back here, field by field, and nowhere else. Another program
// may change the files at any time: a read operation uses buffered bytes only
// while they are younger than JamBufferAgeMs, and a change uses none at all.

namespace {

constexpr char JamSig[4] = {'J', 'A', 'M', '\0'};
constexpr int32_t MaxFromTo = 65; // kept bytes of a sender or recipient name
constexpr int32_t MaxSubj = 100;  // kept bytes of a subject
constexpr int32_t MaxText = 255;  // kept bytes of any subfield text
constexpr int32_t MaxWrittenName = 100;
constexpr int32_t ScratchSize = 64 * 1024;
constexpr int64_t MaxI32 = std::numeric_limits<int32_t>::max();

// Reads fields one after the other from a byte image.
struct ByteReader {
    const uint8_t* P;
    uint16_t U16() {
        uint16_t v = static_cast<uint16_t>(P[0] | (P[1] << 8));
        P += 2;
        return v;
    }
    uint32_t U32() {
        uint32_t v =
            uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
        P += 4;
        return v;
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    void Bytes(void* To, std::size_t N) {
        std::memcpy(To, P, N);
        P += N;
    }
};

// Writes fields one after the other into a byte image.
struct ByteWriter {
    uint8_t* P;
    void U16(uint16_t V) {
        P[0] = static_cast<uint8_t>(V);
        P[1] = static_cast<uint8_t>(V >> 8);
        P += 2;
    }
    void U32(uint32_t V) {
        for (int i = 0; i < 4; ++i) P[i] = static_cast<uint8_t>(V >> (8 * i));
        P += 4;
    }
    void I32(int32_t V) { U32(static_cast<uint32_t>(V)); }
    void Bytes(const void* From, std::size_t N) {
        std::memcpy(P, From, N);
        P += N;
    }
};

void DecodeBaseHdr(const uint8_t* B, JamHdrType& H) {
    ByteReader r{B};
    r.Bytes(H.Signature, 4);
    H.DateCreated = r.I32();
    H.ModCounter = r.I32();
    H.ActiveMsgs = r.I32();
    H.PasswordCRC = r.I32();
    H.BaseMsgNum = r.I32();
    r.Bytes(H.Reserved, sizeof H.Reserved);
}

void EncodeBaseHdr(const JamHdrType& H, uint8_t* B) {
    ByteWriter w{B};
    w.Bytes(H.Signature, 4);
    w.I32(H.DateCreated);
    w.I32(H.ModCounter);
    w.I32(H.ActiveMsgs);
    w.I32(H.PasswordCRC);
    w.I32(H.BaseMsgNum);
    w.Bytes(H.Reserved, sizeof H.Reserved);
}

void DecodeMsgHdr(const uint8_t* B, JamMsgHdrType& H) {
    ByteReader r{B};
    r.Bytes(H.Signature, 4);
    H.Revision = r.U16();
    H.ReservedWord = r.U16();
    // Field by field in stored order (read once per message, so no loop).
    H.SubfieldLen = r.I32();
    H.TimesRead = r.I32();
    H.MSGIDcrc = r.I32();
    H.REPLYcrc = r.I32();
    H.ReplyTo = r.I32();
    H.Reply1st = r.I32();
    H.ReplyNext = r.I32();
    H.DateWritten = r.I32();
    H.DateReceived = r.I32();
    H.DateProcessed = r.I32();
    H.MessageNumber = r.I32();
    H.Attribute = r.U32();
    H.Attribute2 = r.I32();
    H.TxtOffset = r.I32();
    H.TxtLen = r.I32();
    H.PasswordCRC = r.I32();
    H.Cost = r.I32();
}

void EncodeMsgHdr(const JamMsgHdrType& H, uint8_t* B) {
    ByteWriter w{B};
    w.Bytes(H.Signature, 4);
    w.U16(H.Revision);
    w.U16(H.ReservedWord);
    for (int32_t f : {H.SubfieldLen, H.TimesRead, H.MSGIDcrc, H.REPLYcrc, H.ReplyTo, H.Reply1st,
                      H.ReplyNext, H.DateWritten, H.DateReceived, H.DateProcessed, H.MessageNumber})
        w.I32(f);
    w.U32(H.Attribute);
    for (int32_t f : {H.Attribute2, H.TxtOffset, H.TxtLen, H.PasswordCRC, H.Cost}) w.I32(f);
}

void DecodeLast(const uint8_t* B, JamLastType& L) {
    ByteReader r{B};
    L.UserCRC = r.I32();
    L.UserID = r.I32();
    L.LastReadMsg = r.I32();
    L.HighReadMsg = r.I32();
}

void EncodeLast(const JamLastType& L, uint8_t* B) {
    ByteWriter w{B};
    w.I32(L.UserCRC);
    w.I32(L.UserID);
    w.I32(L.LastReadMsg);
    w.I32(L.HighReadMsg);
}

// One subfield as stored: its 8-byte head, then its text.
void AppendSubfield(std::string& To, uint16_t LoID, const std::string& Text) {
    uint8_t head[JamSubFieldSize];
    ByteWriter w{head};
    w.U16(LoID);
    w.U16(0);
    w.I32(static_cast<int32_t>(Text.size()));
    To.append(reinterpret_cast<const char*>(head), sizeof head);
    To.append(Text);
}

int32_t NowUnix() {
    return DosToUnix(NowDosTime());
}

void PauseMs(int Ms) {
    timespec ts{Ms / 1000, (Ms % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

bool SetRecordLock(int Fd, short Type) {
    struct flock fl {};
    fl.l_type = Type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 1;
    return ::fcntl(Fd, F_SETLK, &fl) == 0;
}

// A record freed by ClearLastRead: both keys are -1. The name CRC of an empty
// name is -1 too, so such a record must never pass for somebody's.
bool IsFreedLast(const JamLastType& L) {
    return L.UserCRC == -1 && L.UserID == -1;
}

// Walks the whole 16-byte records of an open last-read file from the start and
// stops at the first one whose key matches, passing over freed records; a torn
// record at the end is never read. Returns the record's number, -1 when none
// matched (Rec then holds the last record read).
int64_t FindLastRec(TFileStream& Lr, bool ById, int32_t Key, JamLastType& Rec) {
    int64_t count = Lr.Size() / JamLastSize;
    Lr.Seek(0, soBeginning);
    for (int64_t k = 0; k < count; ++k) {
        uint8_t b[JamLastSize];
        if (Lr.Read(b, JamLastSize) != JamLastSize) break;
        DecodeLast(b, Rec);
        if ((ById ? Rec.UserID : Rec.UserCRC) == Key && !IsFreedLast(Rec)) return k;
    }
    return -1;
}

int32_t HighRead(const std::string& Name, bool ById, int32_t Key) {
    TFileStream lr;
    if (!lr.Open(Name, fmOpenRead)) return -1;
    JamLastType rec;
    return FindLastRec(lr, ById, Key, rec) >= 0 ? rec.HighReadMsg : -1;
}

// Calls Fn with a pointer to every byte 13 in [P, E), in order. With SSE2 the
// bytes are tested 64 at a time, so a text of short lines costs no call and
// no unpredictable branch per byte; elsewhere memchr finds each one.
template <class F> void ForEachCr(const char* P, const char* E, F Fn) {
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8(13);
    for (; E - P >= 64; P += 64) {
        auto at = [&](int K) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 16 * K));
            return uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr)))) << (16 * K);
        };
        uint64_t hits = at(0) | at(1) | at(2) | at(3);
        for (; hits != 0; hits &= hits - 1) Fn(P + __builtin_ctzll(hits));
    }
#endif
    while (P < E) {
        const char* c = static_cast<const char*>(std::memchr(P, 13, std::size_t(E - P)));
        if (!c) break;
        Fn(c);
        P = c + 1;
    }
}

} // namespace

// ---------------------------------------------------------------- lifecycle

TJamBase::TJamBase() = default;

TJamBase::~TJamBase() {
    while (FLockDepth > 0) Unlock();
}

void TJamBase::InvalidateStreams() {
    for (auto* s : {HdrStream.get(), IdxStream.get(), TxtStream.get()})
        if (s) s->Invalidate();
}

// At the start of every read operation: under the JAM lock nothing buffered
// is trusted; otherwise buffers older than JamBufferAgeMs are dropped (one
// clock reading, no system call).
void TJamBase::FreshenStreams() {
    if (FLockDepth > 0) {
        InvalidateStreams();
        return;
    }
    int64_t notBefore = TFileStream::MonoNs() - int64_t(JamBufferAgeMs) * 1000000;
    for (auto* s : {HdrStream.get(), IdxStream.get(), TxtStream.get()})
        if (s) s->InvalidateBefore(notBefore);
}

// ---------------------------------------------------------------- the lock

// The JAM lock is a write lock on byte 0 of the header file. It is taken on
// HdrStream's own descriptor: a POSIX record lock is dropped when any
// descriptor of the file is closed by this process, so no second descriptor of
// the header file is opened while it is held. With no base open (the last-read
// operations need only BasePath) the header file is opened just for the lock
// and closed when it is released. Calls nest: only the outermost one locks.
bool TJamBase::Lock() {
    if (FLockDepth > 0) {
        ++FLockDepth;
        return true;
    }
    int fd = -1;
    if (HdrStream && HdrStream->IsOpen()) {
        fd = HdrStream->Fd();
    } else {
        FLockStream = std::make_unique<TFileStream>();
        if (!FLockStream->Open(BasePath + ".jhr", fmOpenReadWrite)) {
            FLockStream.reset();
            Refusal = TJamRefusal::jrLocked;
            return false;
        }
        fd = FLockStream->Fd();
    }
    for (int i = 0; i < JamLockTries; ++i) {
        if (SetRecordLock(fd, F_WRLCK)) {
            FLockFd = fd;
            FLockDepth = 1;
            InvalidateStreams(); // what a change reads comes from the files
            // Checked under the lock, so no packer can rename a new base
            // over the names between the check and the change: a change to
            // files that are no longer the base's would be lost unseen.
            if (!FLockStream && Replaced()) {
                Unlock();
                Refusal = TJamRefusal::jrReplaced;
                return false;
            }
            return true;
        }
        if (errno != EACCES && errno != EAGAIN && errno != EINTR) break;
        if (i + 1 < JamLockTries) PauseMs(JamLockPauseMs);
    }
    FLockStream.reset();
    Refusal = TJamRefusal::jrLocked;
    return false;
}

void TJamBase::Unlock() {
    if (FLockDepth == 0 || --FLockDepth > 0) return;
    SetRecordLock(FLockFd, F_UNLCK);
    FLockFd = -1;
    FLockStream.reset();
    InvalidateStreams(); // nothing read before or during a change is reused
}

// ---------------------------------------------------------------- reading

namespace {

constexpr const char* StreamExts[3] = {".jhr", ".jdx", ".jdt"};

// Opens one of the base's files for reading and writing or, where writing is
// refused (a base another user owns, a read-only file system), for reading
// only, which ReadOnly then records.
bool OpenBaseFile(TFileStream& S, const std::string& Name, bool& ReadOnly) {
    if (S.Open(Name, fmOpenReadWrite)) return true;
    if (errno != EACCES && errno != EPERM && errno != EROFS) return false;
    if (!S.Open(Name, fmOpenRead)) return false;
    ReadOnly = true;
    return true;
}

// Opens the base's three files at Path in order into S; the number opened,
// 3 when all were.
int OpenBaseFiles(const std::string& Path, std::unique_ptr<TFileStream> (&S)[3], bool& ReadOnly) {
    ReadOnly = false;
    for (int i = 0; i < 3; ++i) {
        S[i] = std::make_unique<TFileStream>();
        if (!OpenBaseFile(*S[i], Path + StreamExts[i], ReadOnly)) {
            S[i].reset();
            return i;
        }
    }
    return 3;
}

} // namespace

bool TJamBase::Open() {
    if (BasePath.empty()) return false;
    std::unique_ptr<TFileStream> s[3];
    const int opened = OpenBaseFiles(BasePath, s, ReadOnly);
    // Those opened before a failing one stay in their fields.
    HdrStream = std::move(s[0]);
    IdxStream = std::move(s[1]);
    TxtStream = std::move(s[2]);
    if (opened < 3) {
        WriteAll(STDOUT_FILENO, "\nError on Init\n");
        return false;
    }
    return TakeBaseHdr();
}

// The base header as the freshly opened header file holds it. A header file
// shorter than 1024 bytes fills only the first bytes; the rest is zero, also
// when this object had another base open before.
bool TJamBase::TakeBaseHdr() {
    BaseHdr = JamHdrType{};
    uint8_t b[JamHdrSize];
    EncodeBaseHdr(BaseHdr, b);
    HdrStream->Seek(0, soBeginning);
    HdrStream->Read(b, JamHdrSize);
    DecodeBaseHdr(b, BaseHdr);
    bool ok = std::memcmp(BaseHdr.Signature, JamSig, 4) == 0;
    if (ok) TotalMsgs = CountMsgs();
    LastModCounter = BaseHdr.ModCounter;
    return ok;
}

bool TJamBase::Replaced() const {
    const TFileStream* streams[] = {HdrStream.get(), IdxStream.get(), TxtStream.get()};
    for (int i = 0; i < 3; ++i) {
        if (!streams[i] || !streams[i]->IsOpen()) continue;
        struct stat64 held {};
        struct stat64 named {};
        if (::fstat64(streams[i]->Fd(), &held) != 0) return true;
        if (::stat64((BasePath + StreamExts[i]).c_str(), &named) != 0) return true;
        if (!SameFile(held, named)) return true;
    }
    return false;
}

bool TJamBase::Reopen() {
    // Never while a change holds the lock on the header file held now.
    if (BasePath.empty() || FLockDepth > 0 || !HdrStream || !IdxStream || !TxtStream) return false;
    std::unique_ptr<TFileStream> fresh[3];
    bool readOnly = false;
    if (OpenBaseFiles(BasePath, fresh, readOnly) < 3) return false;
    // Wholly another base, judged by what was opened, since that is what is
    // taken: each of the three files is another than the one held, and the
    // names still lead to them once all three are open, so that a rename
    // between two of the opens cannot slip a mix in.
    const TFileStream* held[] = {HdrStream.get(), IdxStream.get(), TxtStream.get()};
    for (int i = 0; i < 3; ++i) {
        struct stat64 was {
        }, now{}, named{};
        if (::fstat64(held[i]->Fd(), &was) != 0 || ::fstat64(fresh[i]->Fd(), &now) != 0 ||
            ::stat64((BasePath + StreamExts[i]).c_str(), &named) != 0 || SameFile(was, now) ||
            !SameFile(now, named))
            return false;
    }
    char sig[4] = {};
    if (fresh[0]->Read(sig, 4) != 4 || std::memcmp(sig, JamSig, 4) != 0) return false;
    HdrStream = std::move(fresh[0]);
    IdxStream = std::move(fresh[1]);
    TxtStream = std::move(fresh[2]);
    ReadOnly = readOnly;
    CurMsg = 0;
    return TakeBaseHdr();
}

int32_t TJamBase::CountMsgs() {
    if (!IdxStream) return 0;
    return static_cast<int32_t>(std::min<int64_t>(IdxStream->Size() / JamIdxSize, MaxI32));
}

int32_t TJamBase::HighMsgNum() {
    int64_t records = IdxStream ? IdxStream->Size() / JamIdxSize : 0;
    return static_cast<int32_t>(static_cast<uint32_t>(BaseHdr.BaseMsgNum + records - 1));
}

bool TJamBase::ReadBaseHdr() {
    if (!HdrStream) return false;
    HdrStream->Invalidate();
    uint8_t b[JamHdrSize];
    HdrStream->Seek(0, soBeginning);
    if (HdrStream->Read(b, JamHdrSize) != JamHdrSize) return false;
    DecodeBaseHdr(b, BaseHdr);
    LastModCounter = BaseHdr.ModCounter;
    return true;
}

bool TJamBase::ReadIdx(int32_t MsgNo, JamIdxType& Idx) {
    const char* v = nullptr;
    IdxStream->Seek(int64_t(MsgNo - 1) * JamIdxSize, soBeginning);
    if (IdxStream->ReadView(v, JamIdxSize) != JamIdxSize) return false; // shrunk since counted
    ByteReader r{reinterpret_cast<const uint8_t*>(v)};
    Idx.UserCRC = r.I32();
    Idx.HdrOffset = r.I32();
    return true;
}

bool TJamBase::ReadHeader(int32_t MsgNo) {
    if (!HdrStream || !IdxStream) return false;
    if (MsgNo < 1 || MsgNo > TotalMsgs) return false;
    FreshenStreams();
    JamIdxType idx;
    if (!ReadIdx(MsgNo, idx)) return false;
    // -1 marks a message without a header; no other negative offset can hold one.
    if (idx.HdrOffset < 0) return false;
    HdrStream->Seek(idx.HdrOffset, soBeginning);
    const char* v = nullptr;
    int32_t got = HdrStream->ReadView(v, JamMsgHdrSize);
    // Not one byte of the header is in the file (another program cut it
    // short): there is no message to read, only zeros to make one up from.
    if (got <= 0) return false;
    CurHdrOffset = idx.HdrOffset;
    uint8_t b[JamMsgHdrSize] = {}; // a header cut short by the end of the file
    if (got < JamMsgHdrSize) std::memcpy(b, v, std::size_t(got));
    DecodeMsgHdr(got == JamMsgHdrSize ? reinterpret_cast<const uint8_t*>(v) : b, MsgHdr);
    for (std::string* s : {&MsgFrom, &MsgTo, &MsgSubj, &MsgKludge, &MsgSeenBy, &MsgPath, &MsgTzUtc})
        s->clear();
    if (MsgHdr.SubfieldLen > 0) ReadSubfields(HdrStream->Position() + MsgHdr.SubfieldLen);
    CurMsg = MsgNo;
    return true;
}

// The subfields end at End. Each step reads one 8-byte head and its data, so
// every turn moves on by at least 8 bytes and the loop ends at End or at the
// end of the file. A DatLen running past End is cut to End, a negative one
// counts as 0 (the next head follows at once). Only the
// first 255 data bytes are read; the rest is stepped over by a seek.
void TJamBase::ReadSubfields(int64_t End) {
    while (HdrStream->Position() < End) {
        const char* head = nullptr;
        if (HdrStream->ReadView(head, JamSubFieldSize) != JamSubFieldSize) break;
        ByteReader r{reinterpret_cast<const uint8_t*>(head)};
        uint16_t loID = r.U16();
        r.U16(); // HiID is never examined
        int64_t datLen = r.I32();
        int64_t left = std::max<int64_t>(End - HdrStream->Position(), 0);
        datLen = std::clamp<int64_t>(datLen, 0, left);
        int32_t want = static_cast<int32_t>(std::min<int64_t>(datLen, MaxText));
        const char* text = "";
        int32_t got = want > 0 ? HdrStream->ReadView(text, want) : 0;
        KeepSubfield(loID, got > 0 ? text : "", got);
        if (got < want) break; // the file ends inside the data
        if (datLen > want) HdrStream->Seek(datLen - want, soCurrent);
    }
}

void TJamBase::KeepSubfield(uint16_t LoID, const char* P, int32_t Len) {
    auto keep = [&](std::string& To, int32_t Max) { To.assign(P, std::min(Len, Max)); };
    switch (LoID) {
    case SENDERNAME: keep(MsgFrom, MaxFromTo); break;
    case RECEIVERNAME: keep(MsgTo, MaxFromTo); break;
    case SUBJECT: keep(MsgSubj, MaxSubj); break;
    case ENCLOSEDFILE:
        if (IsFileAttach()) keep(MsgSubj, MaxSubj);
        break;
    case ENCLOSEDFREQ:
        if (IsFileRequest()) keep(MsgSubj, MaxSubj);
        break;
    case FTSKLUDGE: keep(MsgKludge, MaxText); break;
    case SEENBY2D: keep(MsgSeenBy, MaxText); break;
    case PATH2D: keep(MsgPath, MaxText); break;
    case TZUTCINFO: keep(MsgTzUtc, MaxText); break;
    default: break;
    }
}

bool TJamBase::ReadMessage(int32_t MsgNo) {
    if (!ReadHeader(MsgNo)) return false;
    MsgText.Clear();
    TextMissing = false;
    try {
        if (TxtStream) ReadText();
    } catch (const std::bad_alloc&) {
        // Lines are capped, but a 32-bit process may still run short of memory.
        MsgText.Clear();
        return false;
    }
    CurMsg = MsgNo;
    return true;
}

// The text is the bytes TxtOffset .. TxtOffset + TxtLen (in 64 bits, so no
// sum overflows), read from offset 0 on when TxtOffset is negative, at most
// JamMaxTextBytes of them, in views of up to 64 KiB straight out of the
// stream's buffer. A CR ends a line, and an LF right after it belongs to that
// line end (so CR LF ends one line); any other LF stays in its line. Bytes
// after the last line end form the last line, an LF that ends the text being
// its line end. Lines are kept whole; reading stops at JamMaxLines lines.
void TJamBase::ReadText() {
    int64_t start = std::max<int64_t>(MsgHdr.TxtOffset, 0);
    int64_t end = std::min(int64_t(MsgHdr.TxtOffset) + MsgHdr.TxtLen, start + JamMaxTextBytes);
    if (end <= start) return;
    std::string* open = nullptr; // the last line, begun in an earlier view
    bool afterCr = false;        // the last view ended in a CR, whose LF may open this one
    bool full = false;
    TxtStream->Seek(start, soBeginning);
    for (int64_t left = end - start; left > 0 && !full;) {
        int32_t want = static_cast<int32_t>(std::min<int64_t>(left, ScratchSize));
        const char* p = nullptr;
        int32_t got = TxtStream->ReadView(p, want);
        if (got <= 0) {
            TextMissing = left == end - start; // not one byte of it is there
            break;
        }
        left -= got;
        const char* e = p + got;
        const char* from = p; // the current line's first byte in this view
        if (afterCr && *from == '\n') ++from;
        ForEachCr(from, e, [&](const char* cr) {
            if (full) return;
            if (open)
                open->append(from, cr);
            else
                MsgText.Add(from, std::size_t(cr - from));
            open = nullptr;
            full = MsgText.Count() >= JamMaxLines;
            from = cr + 1;
            if (from < e && *from == '\n') ++from;
        });
        afterCr = e[-1] == '\r';
        if (!full && from < e) {
            if (!open) open = &MsgText.AddEmpty();
            open->append(from, e);
        }
        if (got < want) break;
    }
    if (open && open->back() == '\n') open->pop_back();
}

bool TJamBase::ReadFirst() {
    if (!ReadHeader(1)) return false;
    CurMsg = 0;
    return true;
}

bool TJamBase::ReadLast() {
    int32_t n = BaseHdr.ActiveMsgs;
    if (!ReadHeader(n)) return false;
    CurMsg = n;
    return true;
}

bool TJamBase::ReadNext() {
    if (int64_t(CurMsg) + 1 <= BaseHdr.ActiveMsgs) ++CurMsg;
    return ReadHeader(CurMsg);
}

void TJamBase::SetAttr(uint32_t Mask, bool OnOff) {
    if (OnOff)
        MsgHdr.Attribute |= Mask;
    else
        MsgHdr.Attribute &= ~Mask;
}

bool TJamBase::FindLastRead(int32_t UserCRC, JamLastType& Rec) {
    TFileStream lr;
    if (!lr.Open(BasePath + ".jlr", fmOpenRead)) return false;
    return FindLastRec(lr, false, UserCRC, Rec) >= 0;
}

// ---------------------------------------------------------------- changing

void TJamBase::IncModCounter() {
    BaseHdr.ModCounter = static_cast<int32_t>(static_cast<uint32_t>(BaseHdr.ModCounter) + 1u);
}

bool TJamBase::WriteBaseHdr() {
    IncModCounter();
    if (!HdrStream || !Lock()) return false;
    uint8_t b[JamHdrSize];
    EncodeBaseHdr(BaseHdr, b);
    HdrStream->Seek(0, soBeginning);
    bool ok = HdrStream->Write(b, JamHdrSize) == JamHdrSize;
    Unlock();
    return ok;
}

bool TJamBase::DeleteMsg(int32_t MsgNo, bool Purge) {
    Refusal = TJamRefusal::jrNone;
    PurgeLeftShared = false;
    if (!HdrStream || !IdxStream || !TxtStream) {
        Refusal = TJamRefusal::jrNoMessage;
        return false;
    }
    if (ReadOnly) {
        Refusal = TJamRefusal::jrReadOnly;
        return false;
    }
    InvalidateStreams(); // even the check before the lock reads the files
    if (!ReadHeader(MsgNo)) {
        Refusal = TJamRefusal::jrNoMessage;
        return false;
    }
    if (!Lock()) return false; // Refusal says why
    bool ok = DeleteLocked(MsgNo, Purge);
    Unlock();
    return ok;
}

// A message header is written back only where one really is: wholly inside
// the header file, past the base header, starting with the signature.
bool TJamBase::HeaderIsReal() {
    return CurHdrOffset >= JamHdrSize &&
           int64_t(CurHdrOffset) + JamMsgHdrSize <= HdrStream->Size() &&
           std::memcmp(MsgHdr.Signature, JamSig, 4) == 0;
}

// What the other index records claim near the current message: the nearest
// header offset at or after its own, and the nearest start of another
// message's text at or after its own text's start. Headers and texts are laid
// down one after the other, so each ends, at the latest, where the next one
// starts.
struct TJamBase::TOthers {
    int64_t NextHdr = std::numeric_limits<int64_t>::max();
    int64_t NextTxt = std::numeric_limits<int64_t>::max();
};

namespace {

// Reads small pieces of a file at the offsets a scan asks for through a window
// of its own. The window doubles while the pieces asked for follow each other
// (headers in the order of the index, as a tosser appends them) up to 1 MiB,
// and shrinks back to 4 KiB after a jump, so a scan of every header of a big
// base costs a system call per megabyte, and a shuffled one reads no more
// than it needs.
class TWindowReader {
public:
    explicit TWindowReader(int Fd) : FFd(Fd) {}
    // The Count bytes at At, or nullptr when the file holds fewer there.
    const char* Get(int64_t At, int32_t Count) {
        if (At < FStart || At + Count > FStart + FLen) {
            const bool onward = At >= FStart + FLen && At < FStart + FLen + FSize;
            FSize = onward ? std::min(FSize * 2, MaxWindow) : MinWindow;
            if (FBuf.size() < std::size_t(FSize)) FBuf.resize(std::size_t(FSize));
            int err = 0;
            FStart = At;
            FLen = PReadAll(FFd, FBuf.data(), FSize, At, err);
            if (At + Count > FStart + FLen) return nullptr;
        }
        return FBuf.data() + (At - FStart);
    }

private:
    static constexpr int64_t MinWindow = 4096;
    static constexpr int64_t MaxWindow = 1 << 20;
    int FFd;
    std::vector<char> FBuf;
    int64_t FStart = 0, FLen = 0, FSize = MinWindow;
};

constexpr int32_t TxtOffsetAt = 60; // TxtOffset, then TxtLen, in a message header

} // namespace

// Walks every index record but message MsgNo's; with Texts, also the text
// range of every header they point to. False when the index cannot be read
// to its end.
bool TJamBase::ScanOthers(int32_t MsgNo, bool Texts, TOthers& Others) {
    const int64_t ownHdr = CurHdrOffset;
    const int64_t ownTxt = std::max<int64_t>(MsgHdr.TxtOffset, 0);
    const int64_t count = IdxStream->Size() / JamIdxSize;
    const int64_t hdrSize = HdrStream->Size();
    TWindowReader idx(IdxStream->Fd()), hdr(HdrStream->Fd());
    for (int64_t k = 0; k < count; ++k) {
        const char* rec = idx.Get(k * JamIdxSize, JamIdxSize);
        if (!rec) return false;
        if (k == MsgNo - 1) continue;
        ByteReader r{reinterpret_cast<const uint8_t*>(rec)};
        r.I32(); // UserCRC
        const int64_t at = r.I32();
        if (at < 0) continue; // no header
        if (at >= ownHdr) Others.NextHdr = std::min(Others.NextHdr, at);
        if (!Texts) continue;
        // As ReadHeader sees it: bytes the end of the file cuts off are zero.
        const int64_t avail = std::clamp<int64_t>(hdrSize - (at + TxtOffsetAt), 0, 8);
        const char* f = avail > 0 ? hdr.Get(at + TxtOffsetAt, int32_t(avail)) : nullptr;
        if (!f) continue; // no text fields in the file: no text
        uint8_t fields[8] = {};
        std::memcpy(fields, f, std::size_t(avail));
        ByteReader t{fields};
        const int64_t off = t.I32(), len = t.I32();
        if (len <= 0 || off + len <= 0) continue; // no text to own
        const int64_t start = std::max<int64_t>(off, 0);
        if (start >= ownTxt) Others.NextTxt = std::min(Others.NextTxt, start);
    }
    return true;
}

// The 76 bytes and the subfields written back must be the message's alone:
// inside the header file, with no other index record pointing inside them.
// A header a crash left torn reads the next message's bytes as its own;
// writing it back would destroy that message. (The next message itself,
// whose pointer lies inside the torn bytes' claim, is sound and its own.)
bool TJamBase::HeaderIsItsOwn(const TOthers& Others) {
    const int64_t end =
        int64_t(CurHdrOffset) + JamMsgHdrSize + std::max<int32_t>(MsgHdr.SubfieldLen, 0);
    return end <= HdrStream->Size() && Others.NextHdr >= end;
}

// Fills the message's text with the purge byte, but only what is certainly
// its own: from its start (never before offset 0), up to its end, the end of
// the text file, or the start of another message's text, whichever comes
// first. A damaged TxtLen thus never reaches the texts laid down after it,
// and a text whose start another message shares is not touched at all.
// PurgeLeftShared tells when the file holds more of the text than that.
// False when a write failed.
bool TJamBase::PurgeText(const TOthers& Others) {
    int64_t start = std::max<int64_t>(MsgHdr.TxtOffset, 0);
    const int64_t held = std::min(int64_t(MsgHdr.TxtOffset) + MsgHdr.TxtLen, TxtStream->Size());
    int64_t end = std::min(held, Others.NextTxt);
    PurgeLeftShared = end < held;
    if (end <= start) return true;
    char fill[4096];
    std::memset(fill, JamPurgeFill, sizeof fill);
    TxtStream->Seek(start, soBeginning);
    while (start < end) {
        int32_t n = static_cast<int32_t>(std::min<int64_t>(end - start, sizeof fill));
        if (TxtStream->Write(fill, n) != n) return false;
        start += n;
    }
    return true;
}

// Under the lock: the base header and the message header are read again, so
// what is written back holds every change another program made before. A
// purge that fails stops the deletion: the user asked for the text to go, so
// the message is not reported deleted while its text may still be there.
bool TJamBase::DeleteLocked(int32_t MsgNo, bool Purge) {
    if (!ReadBaseHdr()) {
        Refusal = TJamRefusal::jrDamaged;
        return false;
    }
    if (!ReadHeader(MsgNo)) {
        Refusal = TJamRefusal::jrNoMessage;
        return false;
    }
    TOthers others;
    if (!HeaderIsReal() || !ScanOthers(MsgNo, Purge, others) || !HeaderIsItsOwn(others)) {
        Refusal = TJamRefusal::jrDamaged;
        return false;
    }
    bool wasDeleted = IsDeleted();
    if (Purge && !PurgeText(others)) {
        Refusal = TJamRefusal::jrWriteFailed;
        return false;
    }
    MsgHdr.TxtLen = 0;
    SetAttr(MSG_DELETED, true);
    uint8_t b[JamMsgHdrSize];
    EncodeMsgHdr(MsgHdr, b);
    HdrStream->Seek(CurHdrOffset, soBeginning);
    if (HdrStream->Write(b, JamMsgHdrSize) != JamMsgHdrSize) {
        Refusal = TJamRefusal::jrWriteFailed;
        return false;
    }
    if (!wasDeleted)
        BaseHdr.ActiveMsgs = static_cast<int32_t>(static_cast<uint32_t>(BaseHdr.ActiveMsgs) - 1u);
    TotalMsgs = CountMsgs();
    WriteBaseHdr(); // its result does not change the deletion's
    ReadBaseHdr();
    return true;
}

int16_t TJamBase::CreateBase(const std::string& Dir, const std::string& Name) {
    std::string base = AddSlash(Dir) + Name;
    if (FileExists(base + ".jhr")) return JamErrExists;
    TFileStream f;
    // Created exclusively, so a header file that appears meanwhile is not replaced.
    if (!f.Open(base + ".jhr", fmCreateNew))
        return errno == EEXIST ? JamErrExists : JamErrHdrCreate;
    JamHdrType h;
    std::memcpy(h.Signature, JamSig, 4);
    h.DateCreated = NowUnix();
    h.PasswordCRC = -1;
    h.BaseMsgNum = 1;
    uint8_t b[JamHdrSize];
    EncodeBaseHdr(h, b);
    bool written = f.Write(b, JamHdrSize) == JamHdrSize;
    if (!f.Close() || !written) return JamErrHdrCreate;
    const struct {
        const char* Ext;
        int16_t Code;
    } rest[] = {{".jdx", JamErrIdxCreate}, {".jdt", JamErrTxtCreate}, {".jlr", JamErrLrCreate}};
    for (const auto& r : rest)
        if (!f.Open(base + r.Ext, fmCreate) || !f.Close()) return r.Code;
    return JamOk;
}

int16_t TJamBase::AddMessage(const std::string& From, const std::string& To,
                             const std::string& Subject, RecEchoMailAddr OrigAddr,
                             RecEchoMailAddr DestAddr, const std::string& TextFile) {
    if (!FileExists(TextFile)) return JamErrExists;
    if (From.empty() || To.empty() || Subject.empty()) return JamErrEmpty;
    if (!HdrStream || !IdxStream || !TxtStream) return JamErrHdrWrite;
    TFileStream src;
    if (!src.Open(TextFile, fmOpenRead)) return JamErrTxtCreate;
    if (!Lock()) return JamErrLocked;
    int16_t code = AddLocked(From.substr(0, MaxWrittenName), To.substr(0, MaxWrittenName),
                             Subject.substr(0, MaxWrittenName), OrigAddr, DestAddr, src);
    Unlock();
    return code;
}

// Under the lock, in an order that never leaves a record pointing at nothing:
// the text, then the header with its subfields, then the index record, and
// last the base header, read again first.
int16_t TJamBase::AddLocked(const std::string& From, const std::string& To, const std::string& Subj,
                            RecEchoMailAddr OrigAddr, RecEchoMailAddr DestAddr, TFileStream& Src) {
    if (!ReadBaseHdr()) return JamErrBaseHdr;
    JamMsgHdrType h;
    std::memcpy(h.Signature, JamSig, 4);
    h.Revision = 1;
    h.MessageNumber = static_cast<int32_t>(static_cast<uint32_t>(BaseHdr.ActiveMsgs) + 1u);
    h.DateProcessed = NowUnix();
    h.DateWritten = NowUnix();
    h.Attribute = MSG_TYPELOCAL;
    int64_t srcSize = Src.Size();
    int64_t txtOffset = TxtStream->Size();
    if (srcSize + 1 > MaxI32 || txtOffset > MaxI32 - (srcSize + 1)) return JamErrTxtCopy;
    h.TxtOffset = static_cast<int32_t>(txtOffset);
    h.TxtLen = static_cast<int32_t>(srcSize + 1);

    std::string subs;
    if (AddrIsSet(OrigAddr)) AppendSubfield(subs, OADDRESS, AddrToStr(OrigAddr));
    if (AddrIsSet(DestAddr)) AppendSubfield(subs, DADDRESS, AddrToStr(DestAddr));
    AppendSubfield(subs, SENDERNAME, From);
    AppendSubfield(subs, RECEIVERNAME, To);
    AppendSubfield(subs, SUBJECT, Subj);
    h.SubfieldLen = static_cast<int32_t>(subs.size());
    int64_t hdrOffset = HdrStream->Size();
    if (hdrOffset > MaxI32 - JamMsgHdrSize - int64_t(subs.size())) return JamErrHdrWrite;

    // The text, byte for byte, then one CR.
    if (FScratch.size() < ScratchSize) FScratch.resize(ScratchSize);
    TxtStream->Seek(txtOffset, soBeginning);
    for (int64_t copied = 0; copied < srcSize;) {
        int32_t want = static_cast<int32_t>(std::min<int64_t>(srcSize - copied, ScratchSize));
        int32_t got = Src.Read(FScratch.data(), want);
        if (got <= 0 || TxtStream->Write(FScratch.data(), got) != got) return JamErrTxtCopy;
        copied += got;
    }
    if (TxtStream->Write("\r", 1) != 1) return JamErrTxtCopy;

    // The header and its subfields at the end of the header file.
    std::string rec(JamMsgHdrSize, '\0');
    EncodeMsgHdr(h, reinterpret_cast<uint8_t*>(rec.data()));
    rec += subs;
    HdrStream->Seek(hdrOffset, soBeginning);
    if (HdrStream->Write(rec.data(), int32_t(rec.size())) != int32_t(rec.size()))
        return JamErrHdrWrite;

    // The index record after the last whole record, so that a torn record left
    // at the end by a crash cannot shift every later one.
    uint8_t idx[JamIdxSize];
    ByteWriter w{idx};
    w.I32(static_cast<int32_t>(StrCrc32(To)));
    w.I32(static_cast<int32_t>(hdrOffset));
    IdxStream->Seek(IdxStream->Size() / JamIdxSize * JamIdxSize, soBeginning);
    if (IdxStream->Write(idx, JamIdxSize) != JamIdxSize) return JamErrHdrWrite;
    TotalMsgs = CountMsgs();

    if (!ReadBaseHdr()) return JamErrBaseHdr;
    BaseHdr.ActiveMsgs = static_cast<int32_t>(static_cast<uint32_t>(BaseHdr.ActiveMsgs) + 1u);
    if (!WriteBaseHdr()) return JamErrBaseHdr;
    ReadBaseHdr();
    return JamOk;
}

// ---------------------------------------------------------------- last-read

int32_t TJamBase::HighReadById(int32_t UserID) {
    return HighRead(BasePath + ".jlr", true, UserID);
}

int32_t TJamBase::HighReadByCrc(int32_t UserCRC) {
    return HighRead(BasePath + ".jlr", false, UserCRC);
}

void TJamBase::ClearLastRead(int32_t UserID) {
    if (!Lock()) return;
    TFileStream lr;
    JamLastType rec;
    int64_t k = -1;
    if (lr.Open(BasePath + ".jlr", fmOpenReadWrite)) k = FindLastRec(lr, true, UserID, rec);
    if (k >= 0) {
        rec.UserID = -1;
        rec.UserCRC = -1;
        uint8_t b[JamLastSize];
        EncodeLast(rec, b);
        lr.Seek(k * JamLastSize, soBeginning);
        lr.Write(b, JamLastSize);
    }
    lr.Close();
    Unlock();
}

bool TJamBase::SetLastRead(int32_t UserID, int32_t MsgNo) {
    // A new record of user -1 would carry both keys -1: the mark of a freed
    // record, which no lookup finds.
    if (UserID == -1) return false;
    if (!Lock()) return false;
    TFileStream lr;
    if (!lr.Open(BasePath + ".jlr", fmOpenReadWrite)) {
        Unlock();
        return false;
    }
    JamLastType rec;
    int64_t k = FindLastRec(lr, true, UserID, rec);
    if (k < 0) {
        // A new record goes after the last whole one, so records stay aligned
        // even when the file ends in a torn record.
        k = lr.Size() / JamLastSize;
        rec.UserCRC = UserID;
        rec.UserID = UserID;
    }
    rec.LastReadMsg = MsgNo;
    rec.HighReadMsg = MsgNo;
    uint8_t b[JamLastSize];
    EncodeLast(rec, b);
    lr.Seek(k * JamLastSize, soBeginning);
    lr.Write(b, JamLastSize);
    lr.Close();
    Unlock();
    return true;
}

// ---------------------------------------------------------------- CRC and addresses

uint32_t UpdCrc32(uint8_t Octet, uint32_t Crc) {
    return (Crc >> 8) ^ Crc32Table[(Crc ^ Octet) & 0xFF];
}

uint32_t StrCrc32(const std::string& S) {
    uint32_t crc = 0xFFFFFFFFu;
    for (char c : S) crc = UpdCrc32(static_cast<uint8_t>(LoCase(c)), crc);
    return crc;
}

std::string AddrToStr(RecEchoMailAddr Addr) {
    std::string s = IntToStr(Addr.Zone) + ":" + IntToStr(Addr.Net) + "/" + IntToStr(Addr.Node);
    if (Addr.Point != 0) s += "." + IntToStr(Addr.Point);
    return s.substr(0, 20);
}

bool StrToAddr(const std::string& S, RecEchoMailAddr& Addr) {
    // Positions are taken in S as passed, before any "@domain" is cut off.
    int64_t at = Pos('@', S), colon = Pos(':', S), slash = Pos('/', S), dot = Pos('.', S);
    if (colon == 0 || slash <= colon) return false;
    std::string s = at > 0 ? S.substr(0, std::size_t(at - 1)) : S;
    int64_t len = static_cast<int64_t>(s.size());
    int64_t nodeEnd = dot == 0 ? len : dot - 1;
    auto field = [](const std::string& T) { return static_cast<uint16_t>(StrToInt(T)); };
    Addr.Zone = field(Copy(s, 1, colon - 1));
    Addr.Net = field(Copy(s, colon + 1, slash - colon - 1));
    Addr.Node = field(Copy(s, slash + 1, std::min(nodeEnd, len) - slash));
    Addr.Point = dot == 0 ? 0 : field(Copy(s, dot + 1, len - dot));
    return true;
}

bool AddrIsSet(RecEchoMailAddr Addr) {
    return Addr.Zone != 0 || Addr.Net != 0 || Addr.Node != 0 || Addr.Point != 0;
}
