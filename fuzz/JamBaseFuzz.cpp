// Fuzzes TJamBase on whole bases: one input becomes the four files of a base,
// which is opened, read message by message (each text must come out as its
// bytes split by the line rule of FuzzLines.h), searched for a last-read record
// and has one message deleted with purge. Whatever the files hold, nothing
// may crash, and no file may change beyond what the deletion writes: a file
// that grew, shrank or changed elsewhere aborts, which libFuzzer reports as a
// crash. Run it with fuzz/run.sh JamBaseFuzz SECONDS.
//
// Input layout (all integers little-endian):
//   bytes 0-1  length of the header file (.jhr)
//   bytes 2-3  length of the index file (.jdx)
//   bytes 4-5  length of the text file (.jdt)
//   byte  6    which message to delete: this value modulo (messages + 2), so
//              0 and the number past the last are tried too
//   byte  7    flags: bit 0 leaves the last-read file out, bit 1 the text file
//   then the header, index and text file bytes, in this order, each length
//   cut to what is left of the input; all remaining bytes are the last-read
//   file (.jlr).
// Seeds: fuzz/corpus/JamBaseFuzz, written by fuzz/make_seeds.py.

#include "FuzzLines.h"
#include "jam/JamBase.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int FileCount = 4;
constexpr const char* Exts[FileCount] = {".jhr", ".jdx", ".jdt", ".jlr"};
enum { HdrFile, IdxFile, TxtFile, LrFile };
constexpr int32_t MaxRead = 256; // messages read per input, to keep runs fast

struct BaseFile {
    bool Present = false;
    std::string Bytes;
};

// Made once per process and removed at exit; a plain array, so that it is
// still there when the exit handler runs after the static destructors.
const char* ScratchDir() {
    static char dir[4096];
    if (!dir[0]) {
        const char* tmp = getenv("TMPDIR");
        snprintf(dir, sizeof dir, "%s/JamBaseFuzz.XXXXXX", tmp && *tmp ? tmp : "/tmp");
        if (!mkdtemp(dir)) {
            perror("mkdtemp");
            abort();
        }
        atexit([] {
            for (const char* ext : Exts) unlink((std::string(dir) + "/f" + ext).c_str());
            rmdir(dir);
        });
    }
    return dir;
}

std::string PathOf(int i) {
    return std::string(ScratchDir()) + "/f" + Exts[i];
}

[[noreturn]] void Fail(const char* what) {
    fprintf(stderr, "JamBaseFuzz: %s\n", what);
    abort();
}

void WriteFile(int i, const BaseFile& f) {
    std::string path = PathOf(i);
    unlink(path.c_str());
    if (!f.Present) return;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) Fail("cannot create a scratch file");
    ssize_t n = f.Bytes.empty() ? 0 : write(fd, f.Bytes.data(), f.Bytes.size());
    if (close(fd) != 0 || n != static_cast<ssize_t>(f.Bytes.size()))
        Fail("cannot write a scratch file");
}

BaseFile ReadBack(int i) {
    BaseFile f;
    int fd = open(PathOf(i).c_str(), O_RDONLY);
    if (fd < 0) return f;
    f.Present = true;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) f.Bytes.append(buf, static_cast<size_t>(n));
    close(fd);
    return f;
}

int32_t Le32(const std::string& s, int64_t at) {
    uint32_t v = 0;
    for (int k = 3; k >= 0; --k)
        v = (v << 8) | static_cast<uint8_t>(s[static_cast<size_t>(at + k)]);
    return static_cast<int32_t>(v);
}

// The header offset of index record K; -1 for a record past the end.
int64_t HdrOffsetOf(const std::string& Idx, int64_t K) {
    if ((K + 1) * JamIdxSize > static_cast<int64_t>(Idx.size())) return -1;
    return Le32(Idx, K * JamIdxSize + 4);
}

// Field At (TxtOffset 60, TxtLen 64) of the header at Off as the reader sees
// it: bytes past the end of the file are zero.
int32_t HdrField(const std::string& Hdr, int64_t Off, int64_t At) {
    std::string b(4, '\0');
    for (int64_t k = 0; k < 4; ++k)
        if (Off + At + k < static_cast<int64_t>(Hdr.size()))
            b[static_cast<size_t>(k)] = Hdr[static_cast<size_t>(Off + At + k)];
    return Le32(b, 0);
}

// Where the deletion of message MsgNo may write in the header file: its
// fixed header, when one wholly inside the file and past the base header
// starts with the signature, its subfields lie inside the file too, and no
// other index record points inside the two; -1 when there is none.
int64_t DeletableHeader(const BaseFile* f, int32_t MsgNo) {
    const std::string& idx = f[IdxFile].Bytes;
    const std::string& hdr = f[HdrFile].Bytes;
    const int64_t off = MsgNo < 1 ? -1 : HdrOffsetOf(idx, MsgNo - 1);
    if (off < JamHdrSize || off + JamMsgHdrSize > static_cast<int64_t>(hdr.size())) return -1;
    if (hdr.compare(static_cast<size_t>(off), 4, std::string("JAM\0", 4)) != 0) return -1;
    const int64_t end = off + JamMsgHdrSize + std::max(Le32(hdr, off + 8), 0);
    if (end > static_cast<int64_t>(hdr.size())) return -1;
    for (int64_t k = 0; k * JamIdxSize + JamIdxSize <= static_cast<int64_t>(idx.size()); ++k) {
        const int64_t other = HdrOffsetOf(idx, k);
        if (k != MsgNo - 1 && other >= off && other < end) return -1;
    }
    return off;
}

// The bytes a purge of message MsgNo (header at Off) may fill: from its text's
// start (0 when negative) to its end, the end of the file or the nearest
// start of another message's text at or after its own, whichever is first.
void PurgeRange(const BaseFile* f, int32_t MsgNo, int64_t Off, int64_t& From, int64_t& To) {
    const std::string& idx = f[IdxFile].Bytes;
    const std::string& hdr = f[HdrFile].Bytes;
    const int64_t txtOff = HdrField(hdr, Off, 60), txtLen = HdrField(hdr, Off, 64);
    From = std::max<int64_t>(txtOff, 0);
    To = std::min<int64_t>(txtOff + txtLen, static_cast<int64_t>(f[TxtFile].Bytes.size()));
    for (int64_t k = 0; k * JamIdxSize + JamIdxSize <= static_cast<int64_t>(idx.size()); ++k) {
        const int64_t other = HdrOffsetOf(idx, k);
        if (k == MsgNo - 1 || other < 0 || other >= static_cast<int64_t>(hdr.size())) continue;
        const int64_t o = HdrField(hdr, other, 60), l = HdrField(hdr, other, 64);
        if (l <= 0 || o + l <= 0) continue;
        const int64_t start = std::max<int64_t>(o, 0);
        if (start >= From) To = std::min(To, start);
    }
    if (To < From) To = From;
}

bool InRange(int64_t at, int64_t from, int64_t len) {
    return at >= from && at < from + len;
}

// The header file may differ only in ModCounter (one higher), ActiveMsgs (the
// same or one lower) and the deleted message's Attribute (MSG_DELETED added)
// and TxtLen (0).
void CheckHeaderFile(const std::string& before, const std::string& after, int64_t msgOff) {
    for (size_t at = 0; at < before.size(); ++at) {
        if (before[at] == after[at]) continue;
        int64_t a = static_cast<int64_t>(at);
        bool ok = InRange(a, 8, 8) && before.size() >= 16;
        if (msgOff >= 0) ok = ok || InRange(a, msgOff + 52, 4) || InRange(a, msgOff + 64, 4);
        if (!ok) Fail("header file changed outside the fields a deletion writes");
    }
    if (before.size() >= 16 && before.compare(8, 8, after, 8, 8) != 0) {
        uint32_t mod0 = static_cast<uint32_t>(Le32(before, 8));
        uint32_t act0 = static_cast<uint32_t>(Le32(before, 12));
        uint32_t mod1 = static_cast<uint32_t>(Le32(after, 8));
        uint32_t act1 = static_cast<uint32_t>(Le32(after, 12));
        if (mod1 != mod0 + 1u) Fail("ModCounter did not rise by exactly one");
        if (act1 != act0 && act1 != act0 - 1u) Fail("ActiveMsgs changed by more than one");
    }
    if (msgOff >= 0 && before.compare(static_cast<size_t>(msgOff), JamMsgHdrSize, after,
                                      static_cast<size_t>(msgOff), JamMsgHdrSize) != 0) {
        uint32_t attr0 = static_cast<uint32_t>(Le32(before, msgOff + 52));
        if (static_cast<uint32_t>(Le32(after, msgOff + 52)) != (attr0 | MSG_DELETED))
            Fail("a deleted message's Attribute is not the old one plus MSG_DELETED");
        if (Le32(after, msgOff + 64) != 0) Fail("a deleted message's TxtLen is not 0");
    }
}

// The text file may differ only inside the purge range [From, To) of the
// deleted message, which is filled whole.
void CheckTextFile(const std::string& before, const std::string& after, int64_t From, int64_t To) {
    for (size_t at = 0; at < before.size(); ++at) {
        bool inside = InRange(static_cast<int64_t>(at), From, To - From);
        if (before[at] != after[at] && (!inside || static_cast<uint8_t>(after[at]) != JamPurgeFill))
            Fail("text file changed outside the deleted message's own text");
        if (inside && static_cast<uint8_t>(after[at]) != JamPurgeFill)
            Fail("a purge left part of the message's own text unfilled");
    }
}

// The lines of message B's text as its header places it in the text file's
// bytes: from TxtOffset (0 when negative) on, TxtLen bytes, at most
// JamMaxTextBytes, as far as the file goes; split by the line rule.
TStringList ExpectedLines(const TJamBase& B, const std::string& Txt) {
    int64_t start = std::max<int64_t>(B.MsgHdr.TxtOffset, 0);
    int64_t end = std::min({int64_t(B.MsgHdr.TxtOffset) + B.MsgHdr.TxtLen, start + JamMaxTextBytes,
                            static_cast<int64_t>(Txt.size())});
    if (end <= start) return {};
    return SplitLines(std::string_view(Txt).substr(size_t(start), size_t(end - start)));
}

void CheckMessage(const TJamBase& B, int32_t MsgNo, const std::string& Txt) {
    if (B.CurMsg != MsgNo) Fail("CurMsg is not the message just read");
    if (B.MsgFrom.size() > 65 || B.MsgTo.size() > 65 || B.MsgSubj.size() > 100)
        Fail("a name or the subject is longer than its field");
    if (B.MsgKludge.size() > 255 || B.MsgSeenBy.size() > 255 || B.MsgPath.size() > 255 ||
        B.MsgTzUtc.size() > 255)
        Fail("a subfield text is longer than 255 bytes");
    // Texts here are far shorter than the line cap.
    TStringList want = ExpectedLines(B, Txt);
    if (B.MsgText.Count() != want.Count() ||
        !std::equal(want.begin(), want.end(), B.MsgText.begin()))
        Fail("the text lines are not the text's bytes split by the line rule");
}

// Opens the base, reads it, looks up a last-read record and deletes one
// message; returns the number deleted, or 0 when no deletion succeeded.
// LeftShared gets what the deletion said of text it left standing.
int32_t Exercise(const BaseFile* f, uint8_t select, bool& LeftShared) {
    TJamBase b;
    b.BasePath = std::string(ScratchDir()) + "/f";
    if (!b.Open()) return 0;
    int32_t total = static_cast<int32_t>(f[IdxFile].Bytes.size() / JamIdxSize);
    if (b.TotalMsgs != total) Fail("TotalMsgs is not the number of whole index records");
    if (b.ReadMessage(0) || b.ReadMessage(total + 1)) Fail("read a message number out of range");

    std::string from;
    for (int32_t n = 1; n <= total && n <= MaxRead; ++n)
        if (b.ReadMessage(n)) {
            CheckMessage(b, n, f[TxtFile].Bytes);
            from = b.MsgFrom;
        }
    JamLastType rec;
    b.FindLastRead(static_cast<int32_t>(StrCrc32(from)), rec);

    int32_t victim = static_cast<int32_t>(select % (static_cast<uint32_t>(total) + 2u));
    const bool done = b.DeleteMsg(victim, true);
    LeftShared = b.PurgeLeftShared;
    return done ? victim : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 8) return 0;
    size_t lens[3];
    for (int i = 0; i < 3; ++i) lens[i] = Data[2 * i] | (Data[2 * i + 1] << 8);
    uint8_t select = Data[6], flags = Data[7];
    BaseFile files[FileCount];
    size_t at = 8;
    for (int i = 0; i < FileCount; ++i) {
        size_t n = i < 3 ? std::min(lens[i], Size - at) : Size - at;
        files[i].Present = true;
        files[i].Bytes.assign(reinterpret_cast<const char*>(Data + at), n);
        at += n;
    }
    files[LrFile].Present = (flags & 1) == 0;
    files[TxtFile].Present = (flags & 2) == 0;
    for (BaseFile& f : files)
        if (!f.Present) f.Bytes.clear();
    for (int i = 0; i < FileCount; ++i) WriteFile(i, files[i]);

    bool leftShared = false;
    int32_t deleted = Exercise(files, select, leftShared);

    int64_t msgOff = deleted ? DeletableHeader(files, deleted) : -1;
    if (deleted && msgOff < 0) Fail("deleted a message that has no sound header");
    BaseFile after[FileCount];
    for (int i = 0; i < FileCount; ++i) {
        after[i] = ReadBack(i);
        if (after[i].Present != files[i].Present) Fail("a base file appeared or vanished");
        if (after[i].Bytes.size() > files[i].Bytes.size()) Fail("a base file grew");
        if (after[i].Bytes.size() < files[i].Bytes.size()) Fail("a base file shrank");
    }
    if (after[IdxFile].Bytes != files[IdxFile].Bytes) Fail("the index file changed");
    if (after[LrFile].Bytes != files[LrFile].Bytes) Fail("the last-read file changed");
    if (!deleted && (after[HdrFile].Bytes != files[HdrFile].Bytes ||
                     after[TxtFile].Bytes != files[TxtFile].Bytes))
        Fail("a failed or absent deletion changed a file");
    CheckHeaderFile(files[HdrFile].Bytes, after[HdrFile].Bytes, msgOff);
    int64_t from = 0, to = 0;
    if (deleted) {
        PurgeRange(files, deleted, msgOff, from, to);
        // Told exactly when the file holds more of the claimed text than the
        // purge filled: what another message's text start cut off.
        const int64_t txtOff = HdrField(files[HdrFile].Bytes, msgOff, 60);
        const int64_t held = std::min<int64_t>(txtOff + HdrField(files[HdrFile].Bytes, msgOff, 64),
                                               static_cast<int64_t>(files[TxtFile].Bytes.size()));
        if (leftShared != (held > to)) Fail("the purge told wrongly whether it left text standing");
    }
    CheckTextFile(files[TxtFile].Bytes, after[TxtFile].Bytes, from, to);
    return 0;
}
