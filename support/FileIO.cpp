#include "support/FileIO.h"

#include "support/FileDesc.h"
#include "support/StrUtil.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// The 64-bit file calls (lseek64, fstat64, readdir64) are used throughout so
// that a 32-bit build sees the same offsets and directory entries.

int32_t IoResultCode = 0;
int32_t IoAttempts = 0;

namespace {

// errno -> DOS-style code; values not listed keep their errno.
struct ErrnoCode {
    int Errno;
    int32_t Code;
};
constexpr ErrnoCode ErrnoCodes[] = {
    {ENOENT, 2},  {ENAMETOOLONG, 3}, {EMFILE, 4},   {ENFILE, 4},    {EACCES, 5},
    {EEXIST, 5},  {EISDIR, 5},       {EROFS, 5},    {ENOTEMPTY, 5}, {EBADF, 6},
    {EINTR, 101}, {EIO, 101},        {EAGAIN, 101}, {ENOSPC, 101},  {EPIPE, 101},
};

constexpr int32_t CodeAccessDenied = 5;
constexpr int32_t CodeShortRead = 100;
constexpr int32_t CodeShortWrite = 101;
constexpr int32_t CodeNotOpen = 103;

constexpr uint8_t faHidden = 0x02;
constexpr uint8_t faDirectory = 0x10;
constexpr uint8_t faReadOnly = 0x01;
constexpr uint8_t MaskAll = 0x3F;
constexpr uint8_t MaskPlainFiles = 0x20;

int32_t CodeOf(int err) {
    for (const ErrnoCode& e : ErrnoCodes)
        if (e.Errno == err) return e.Code;
    return err;
}

// The retry rule shared by the seven operations: only code 5 is tried again,
// after a pause, and never more than IoMaxAttempts times.
template <class Attempt> bool Retry(Attempt attempt) {
    IoResultCode = CodeAccessDenied;
    IoAttempts = 0;
    while (IoAttempts < IoMaxAttempts && IoResultCode == CodeAccessDenied) {
        IoResultCode = attempt();
        ++IoAttempts;
        if (IoResultCode == CodeAccessDenied) IoWait(IoRetryPauseMs);
    }
    return IoResultCode == 0;
}

// One open of F.Name; 0 or the code of the failure. Only a regular file holds
// records, so only one is opened (never waiting, OpenRegular), and the open
// takes no controlling terminal.
int32_t OpenOnce(TUntypedFile& F, uint16_t RecSize, uint8_t Mode, bool Create) {
    F.Close();
    F.RecSize = RecSize == 0 ? 1 : RecSize;
    const int access = Mode & 3;
    int flags;
    if (Create)
        flags = (access == IoModeWrite ? O_WRONLY : O_RDWR) | O_CREAT | O_TRUNC;
    else
        flags = access == IoModeWrite ? O_WRONLY : access == IoModeReadWrite ? O_RDWR : O_RDONLY;
    constexpr int always = O_LARGEFILE | O_NOCTTY;
    TFileDesc file;
    if (!file.OpenRegular(F.Name, flags | always) && errno == EROFS && !Create &&
        access == IoModeReadWrite)
        file.OpenRegular(F.Name, O_RDONLY | always);
    // A directory is code 5 (EISDIR); a FIFO, which does not turn into a
    // file by waiting, EINVAL, which is not tried again.
    if (!file.IsOpen()) return CodeOf(errno);
    F.File = std::move(file);
    return 0;
}

int32_t ClampToInt32(int64_t V) {
    return static_cast<int32_t>(std::clamp<int64_t>(V, 0, std::numeric_limits<int32_t>::max()));
}

// --- Directory listing with a DOS-style attribute mask ----------------------

struct FoundEntry {
    std::string Name;
    uint8_t Attr = 0;
    int64_t Size = 0;
};

// Attributes of Dir + Name: a symbolic link counts as what it points to, a
// dangling one as a file. False when the entry cannot be examined at all.
bool Describe(const std::string& Dir, const std::string& Name, FoundEntry& E) {
    const std::string full = Dir + Name;
    struct stat64 st;
    if (::stat64(full.c_str(), &st) != 0 && ::lstat64(full.c_str(), &st) != 0) return false;
    E.Name = Name;
    E.Attr = 0;
    if (S_ISDIR(st.st_mode)) E.Attr |= faDirectory;
    if (!Name.empty() && Name[0] == '.') E.Attr |= faHidden;
    if ((st.st_mode & S_IWUSR) == 0) E.Attr |= faReadOnly;
    E.Size = st.st_size;
    return true;
}

bool Admitted(uint8_t Attr, uint8_t Mask) {
    return (Attr & (faDirectory | faHidden) & ~Mask) == 0;
}

struct DirCloser {
    void operator()(DIR* D) const { ::closedir(D); }
};

// Find-first/find-next over Search (directory part up to the last "/", pattern
// after it): Visit gets each admitted entry and returns False to stop. A
// pattern without "*" or "?" finds at most the entry of that name.
template <class Visit> void FindEntries(const std::string& Search, uint8_t Mask, Visit visit) {
    const size_t slash = Search.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : Search.substr(0, slash + 1);
    const std::string pattern = slash == std::string::npos ? Search : Search.substr(slash + 1);
    if (pattern.empty()) return;
    FoundEntry e;
    if (pattern.find_first_of("*?") == std::string::npos) {
        if (Describe(dir, pattern, e) && Admitted(e.Attr, Mask)) visit(e);
        return;
    }
    std::unique_ptr<DIR, DirCloser> d(::opendir(dir.empty() ? "." : dir.c_str()));
    if (!d) return;
    while (const struct dirent64* de = ::readdir64(d.get())) {
        if (!PatternMatch(pattern, de->d_name)) continue;
        if (!Describe(dir, de->d_name, e) || !Admitted(e.Attr, Mask)) continue;
        if (!visit(e)) break;
    }
}

// Both names are the same directory entry or hard links of one file.
bool SameEntry(const std::string& A, const std::string& B, bool FollowLinks) {
    struct stat64 a, b;
    const bool ok = FollowLinks ? ::stat64(A.c_str(), &a) == 0 && ::stat64(B.c_str(), &b) == 0
                                : ::lstat64(A.c_str(), &a) == 0 && ::lstat64(B.c_str(), &b) == 0;
    return ok && SameFile(a, b);
}

} // namespace

// --- Untyped file -----------------------------------------------------------

void TUntypedFile::Assign(const std::string& AName) {
    Close();
    Name = AName;
}

void TUntypedFile::Close() {
    File.Close();
}

bool TUntypedFile::Eof() const {
    if (!IsOpen()) return true;
    struct stat64 st;
    const off64_t at = ::lseek64(File.Fd(), 0, SEEK_CUR);
    return at < 0 || !File.Stat(st) || at >= st.st_size;
}

int32_t TUntypedFile::FilePos() const {
    if (!IsOpen()) return 0;
    const off64_t at = ::lseek64(File.Fd(), 0, SEEK_CUR);
    return at < 0 ? 0 : ClampToInt32(at / RecSize);
}

int32_t TUntypedFile::FileSize() const {
    struct stat64 st;
    if (!File.Stat(st)) return 0;
    return ClampToInt32(st.st_size / RecSize);
}

// --- Retrying operations ----------------------------------------------------

bool IoReset(TUntypedFile& F, uint16_t RecSize, uint8_t Mode) {
    return Retry([&] { return OpenOnce(F, RecSize, Mode, false); });
}

bool IoRewrite(TUntypedFile& F, uint16_t RecSize, uint8_t Mode) {
    return Retry([&] { return OpenOnce(F, RecSize, Mode, true); });
}

bool IoSeek(TUntypedFile& F, int32_t Pos) {
    return Retry([&]() -> int32_t {
        if (!F.IsOpen()) return CodeNotOpen;
        if (Pos < 0) return EINVAL;
        const off64_t at = static_cast<off64_t>(Pos) * F.RecSize;
        return ::lseek64(F.File.Fd(), at, SEEK_SET) < 0 ? CodeOf(errno) : 0;
    });
}

bool IoBlockRead(TUntypedFile& F, void* Buf, int32_t Count, int32_t& Got) {
    Got = 0;
    return Retry([&]() -> int32_t {
        Got = 0;
        if (!F.IsOpen()) return CodeNotOpen;
        if (Count < 0) return EINVAL;
        int err;
        const int64_t n = ReadAll(F.File.Fd(), Buf, int64_t{Count} * F.RecSize, err);
        Got = static_cast<int32_t>(n / F.RecSize);
        return err == 0 ? 0 : CodeOf(err);
    });
}

bool IoBlockWrite(TUntypedFile& F, const void* Buf, int32_t Count, int32_t& Written) {
    Written = 0;
    return Retry([&]() -> int32_t {
        Written = 0;
        if (!F.IsOpen()) return CodeNotOpen;
        if (Count < 0) return EINVAL;
        const int64_t want = int64_t{Count} * F.RecSize;
        int err;
        const int64_t n = WriteAll(F.File.Fd(), Buf, want, err);
        Written = static_cast<int32_t>(n / F.RecSize);
        if (err != 0) return CodeOf(err);
        return n < want ? CodeShortWrite : 0;
    });
}

bool IoReadRec(TUntypedFile& F, void* Buf) {
    return Retry([&]() -> int32_t {
        if (!F.IsOpen()) return CodeNotOpen;
        int err;
        const int64_t n = ReadAll(F.File.Fd(), Buf, F.RecSize, err);
        if (err != 0) return CodeOf(err);
        return n < F.RecSize ? CodeShortRead : 0;
    });
}

bool IoWriteRec(TUntypedFile& F, const void* Buf) {
    return Retry([&]() -> int32_t {
        if (!F.IsOpen()) return CodeNotOpen;
        int err;
        const int64_t n = WriteAll(F.File.Fd(), Buf, F.RecSize, err);
        if (err != 0) return CodeOf(err);
        return n < F.RecSize ? CodeShortWrite : 0;
    });
}

void IoWait(uint16_t Ms) {
    PauseMs(Ms);
}

// --- Name helpers -------------------------------------------------------------

std::string ExtractFilePath(const std::string& Name) {
    if (Name.find('/') == std::string::npos) return "";
    return Name.substr(0, Name.find_last_of("/\\") + 1);
}

std::string ExtractFileName(const std::string& Name) {
    const size_t p = Name.find_last_of("/\\");
    return p == std::string::npos ? Name : Name.substr(p + 1);
}

std::string StripExt(const std::string& Name) {
    const size_t p = Name.rfind('.');
    return p == std::string::npos ? Name : Name.substr(0, p);
}

std::string ExtractExt(const std::string& Name) {
    const size_t p = Name.rfind('.');
    return p == std::string::npos ? "" : Name.substr(p + 1);
}

std::string ChangeExt(const std::string& Name, const std::string& Ext) {
    const size_t p = Name.rfind('.');
    if (p == std::string::npos) return Name + "." + Ext;
    return Name.substr(0, p + 1) + Ext;
}

std::string DirSlash(const std::string& Path) {
    if (!Path.empty() && Path.back() == '/') return Path;
    return Path + "/";
}

std::string ParentDir(const std::string& Path) {
    std::string s = Path;
    if (!s.empty() && s.back() == '/') s.pop_back();
    const size_t p = s.rfind('/');
    if (p == std::string::npos) return "/";
    s.resize(p + 1);
    return DirSlash(s);
}

bool WildMatch(const std::string& Mask, const std::string& Name, bool IgnoreCase) {
    const std::string maskText = IgnoreCase ? UpperCase(Mask) : Mask;
    const std::string nameText = IgnoreCase ? UpperCase(Name) : Name;
    std::string_view m = maskText, n = nameText;
    // Each step consumes the head of the mask, so the loop ends.
    for (;;) {
        if (n.empty() || m.empty()) return false;
        if (m[0] == '*') {
            if (n[0] == '.') return false;
            if (m.size() == 1) return true;
            if (m[1] != '.') return false;
            const size_t dot = n.find('.');
            if (dot != std::string_view::npos) n.remove_prefix(dot + 1);
            m.remove_prefix(2);
            continue;
        }
        if (m[0] != '?' && m[0] != n[0]) return false;
        if (m.size() == 1) return n.size() == 1;
        m.remove_prefix(1);
        n.remove_prefix(1);
    }
}

// --- File and directory helpers ---------------------------------------------

bool PatternMatch(std::string_view Pattern, std::string_view Name) {
    size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
    while (n < Name.size()) {
        if (p < Pattern.size() && (Pattern[p] == '?' || Pattern[p] == Name[n])) {
            ++p;
            ++n;
        } else if (p < Pattern.size() && Pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < Pattern.size() && Pattern[p] == '*') ++p;
    return p == Pattern.size();
}

bool FileExists(const std::string& Name) {
    struct stat64 st;
    return !Name.empty() && ::stat64(Name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirExists(const std::string& Name) {
    if (Name.empty()) return false;
    std::string s = Name;
    while (!s.empty() && s.back() == '/') s.pop_back();
    s += "/.";
    struct stat64 st;
    return ::stat64(s.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool EraseFile(const std::string& Name) {
    return ::unlink(Name.c_str()) == 0;
}

bool RenameFile(const std::string& OldName, const std::string& NewName) {
    struct stat64 st;
    // Nothing to rename: NewName must survive a call that cannot succeed.
    if (::lstat64(OldName.c_str(), &st) != 0) return false;
    // Deleting NewName when it is OldName itself would destroy the file.
    if (!SameEntry(OldName, NewName, false)) ::unlink(NewName.c_str());
    return ::rename(OldName.c_str(), NewName.c_str()) == 0;
}

bool CopyFile(const std::string& Src, const std::string& Dst) {
    TUntypedFile src(Src), dst(Dst);
    if (OpenOnce(src, 1, IoModeShared, false) != 0) return false;
    // Creating Dst would empty Src when both are one file.
    if (SameEntry(Src, Dst, true)) return false;
    if (OpenOnce(dst, 1, IoModeShared, true) != 0) return false;
    char buf[4096];
    int64_t got = 0, put = 0;
    do {
        int err;
        got = ReadAll(src.File.Fd(), buf, sizeof buf, err);
        if (err != 0) return false;
        put = got == 0 ? 0 : WriteAll(dst.File.Fd(), buf, got, err);
        if (err != 0) return false;
    } while (got > 0 && put == got);
    return got == put;
}

bool MakePath(const std::string& Path) {
    const std::string p = (!Path.empty() && Path.back() == '/') ? Path : Path + "/";
    if (DirExists(p)) return true;
    for (size_t i = p.find('/'); i != std::string::npos; i = p.find('/', i + 1)) {
        const std::string built = p.substr(0, i + 1);
        if (!DirExists(built) && ::mkdir(built.c_str(), 0777) != 0) return false;
    }
    return true;
}

bool ChangeDir(const std::string& Path) {
    std::string s = Path;
    while (!s.empty() && s.back() == '/') s.pop_back();
    s += '/';
    return ::chdir(s.c_str()) == 0;
}

void EraseAllBut(const std::string& Dir, const std::string& Keep) {
    const std::string keep = UpperCase(Keep);
    std::vector<std::string> doomed; // listed first: the directory is not changed while read
    FindEntries(Dir + "*", MaskPlainFiles, [&](const FoundEntry& e) {
        if (UpperCase(e.Name) != keep) doomed.push_back(e.Name);
        return true;
    });
    for (const std::string& name : doomed) EraseFile(Dir + name);
}

std::string ResolveCase(const std::string& Name) {
    const std::string path = ExtractFilePath(Name);
    const std::string file = ExtractFileName(Name);
    struct stat64 st;
    // The exact spelling wins over other spellings of the same name.
    if (!file.empty() && ::lstat64((path + file).c_str(), &st) == 0) return path + file;
    const std::string want = UpperCase(file);
    std::string result = Name;
    FindEntries(path + "*", MaskAll, [&](const FoundEntry& e) {
        if (UpperCase(e.Name) != want) return true;
        result = path + e.Name;
        return false;
    });
    return result;
}

int64_t FileSizeOf(const std::string& Name) {
    int64_t size = 0;
    FindEntries(Name, MaskAll, [&](const FoundEntry& e) {
        size = e.Size;
        return false;
    });
    return size;
}

int32_t CountFiles(const std::string& Dir) {
    int32_t count = 0;
    FindEntries(Dir + "*", MaskAll, [&](const FoundEntry& e) {
        if ((e.Attr & faDirectory) == 0) ++count;
        return true;
    });
    return count;
}

namespace {

// Both buffers grow until the answer fits; a megabyte is far past any path the
// system hands out, so beyond it the answer counts as none.
constexpr size_t PathBufMax = size_t(1) << 20;

} // namespace

std::string CurrentDir() {
    std::vector<char> buf(4096);
    for (;;) {
        if (::getcwd(buf.data(), buf.size()) != nullptr) return std::string(buf.data());
        if (errno != ERANGE || buf.size() >= PathBufMax) return "";
        buf.resize(buf.size() * 2);
    }
}

std::string ExecutablePath() {
    std::vector<char> buf(4096);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n <= 0) return "";
        // readlink cuts a longer name silently: a full buffer may hold a part.
        if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), size_t(n));
        if (buf.size() >= PathBufMax) return "";
        buf.resize(buf.size() * 2);
    }
}

std::string ProgramName() {
    return StripExt(ExecutablePath());
}

std::string ProgramDir() {
    const std::string own = ExecutablePath();
    if (!own.empty()) return AddSlash(ExtractFilePath(own));
    const std::string cwd = CurrentDir();
    return cwd.empty() ? "./" : AddSlash(cwd);
}

// --- TFileBuffer ---------------------------------------------------------------

TFileBuffer::TFileBuffer(int32_t ABufSize) : BufSize(std::clamp(ABufSize, 1, FileBufferMax)) {}

TFileBuffer::~TFileBuffer() {
    if (IsOpen) Close();
}

bool TFileBuffer::Open(const std::string& Name, int32_t ARecSize, TFileBufferOpenType OpenType,
                       uint8_t Mode) {
    if (IsOpen) Close();
    RecSize = std::max(ARecSize, 1);
    DataFile.Assign(Name);
    bool ok = false;
    switch (OpenType) {
    case TFileBufferOpenType::fmOpen: ok = IoReset(DataFile, 1, Mode); break;
    case TFileBufferOpenType::fmOpenCreate:
    case TFileBufferOpenType::fmOpenAppend:
        ok = IoReset(DataFile, 1, Mode);
        // An existing file that cannot be opened is never replaced.
        if (!ok && !FileExists(Name)) ok = IoRewrite(DataFile, 1, Mode);
        break;
    case TFileBufferOpenType::fmCreate: ok = IoRewrite(DataFile, 1, Mode); break;
    }
    if (!ok) {
        DataFile.Close();
        return false;
    }
    if (OpenType == TFileBufferOpenType::fmOpenAppend) IoSeek(DataFile, DataFile.FileSize());
    Buffer = std::make_unique<char[]>(static_cast<size_t>(BufSize));
    Fill();
    Dirty = false;
    IsOpen = true;
    return true;
}

void TFileBuffer::Close() {
    if (IsOpen) {
        if (Dirty) WriteBack();
        DataFile.Close();
    }
    Buffer.reset();
    Dirty = false;
    IsOpen = false;
}

void TFileBuffer::Fill() {
    if (!Buffer) return;
    const int64_t at = DataFile.FilePos();
    BufStart = static_cast<int32_t>(at);
    // Offsets are 32-bit: nothing past 2 GiB is buffered.
    const auto room =
        static_cast<int32_t>(std::min<int64_t>(BufSize, std::numeric_limits<int32_t>::max() - at));
    int32_t got = 0;
    IoBlockRead(DataFile, Buffer.get(), room, got);
    BufLen = got;
    BufEnd = BufStart + BufLen;
    BufPos = 0;
    // A fill that brings nothing counts as the end, so a read loop always ends.
    AtEof = BufLen == 0 || DataFile.Eof();
}

void TFileBuffer::FillAt(int64_t Pos) {
    IoSeek(DataFile, ClampToInt32(Pos));
    Fill();
}

void TFileBuffer::WriteBack() {
    if (!Buffer) return;
    int32_t written = 0;
    IoSeek(DataFile, BufStart);
    IoBlockWrite(DataFile, Buffer.get(), BufLen, written);
    Dirty = false;
}

int32_t TFileBuffer::GetPos() const {
    return BufStart + BufPos;
}

int32_t TFileBuffer::GetRecPos() const {
    return GetPos() / RecSize;
}

void TFileBuffer::Seek(int32_t Pos) {
    if (!Buffer || Pos < 0) return;
    if (Pos >= BufStart && Pos < BufEnd) {
        BufPos = Pos - BufStart;
        return;
    }
    if (Dirty) WriteBack();
    FillAt(Pos);
}

void TFileBuffer::SeekRec(int32_t N) {
    const int64_t pos = int64_t{N} * RecSize;
    if (pos < 0 || pos > std::numeric_limits<int32_t>::max()) return;
    Seek(static_cast<int32_t>(pos));
}

char TFileBuffer::ReadByte() {
    if (!Buffer) return 0;
    if (BufPos >= BufLen) {
        if (Dirty) WriteBack();
        FillAt(int64_t{BufStart} + BufLen);
        if (BufLen == 0) return 0; // end of the file: #0, the offset stays
    }
    return Buffer[BufPos++];
}

void TFileBuffer::ReadBlockEx(void* Dest, int32_t Count, int32_t& Got) {
    Got = 0;
    if (!Buffer || Count <= 0) return;
    if (int64_t{BufPos} + Count >= BufLen) {
        if (Dirty) WriteBack();
        Count = std::min(Count, BufSize);
        FillAt(int64_t{BufStart} + BufPos);
        Count = std::min(Count, BufLen);
    }
    std::memcpy(Dest, Buffer.get() + BufPos, static_cast<size_t>(Count));
    BufPos += Count;
    Got = Count;
}

void TFileBuffer::ReadBlock(void* Dest, int32_t Count) {
    int32_t got = 0;
    ReadBlockEx(Dest, Count, got);
}

void TFileBuffer::ReadRec(void* Dest) {
    ReadBlock(Dest, RecSize);
}

void TFileBuffer::WriteBlock(const void* Src, int32_t Count) {
    if (!Buffer || Count <= 0) return;
    // Offsets are 32-bit: what would lie past 2 GiB is dropped.
    Count = static_cast<int32_t>(
        std::min<int64_t>(Count, std::numeric_limits<int32_t>::max() - int64_t{GetPos()}));
    // A block larger than the buffer passes through it in buffer-sized pieces.
    const char* src = static_cast<const char*>(Src);
    while (Count > 0) {
        const int32_t piece = std::min(Count, BufSize);
        WritePiece(src, piece);
        src += piece;
        Count -= piece;
    }
}

// One piece of at most BufSize bytes: what does not fit fills the buffer up, the
// full buffer goes to the file, and the rest starts the next buffer.
void TFileBuffer::WritePiece(const char* Src, int32_t Count) {
    if (BufPos + Count > BufSize) {
        const int32_t n = BufSize - BufPos;
        if (n > 0) std::memcpy(Buffer.get() + BufPos, Src, static_cast<size_t>(n));
        BufLen = BufSize;
        WriteBack();
        std::memcpy(Buffer.get(), Src + n, static_cast<size_t>(Count - n));
        BufStart += BufSize;
        BufPos = Count - n;
        BufLen = BufPos;
        BufEnd = BufStart + BufLen;
        AtEof = DataFile.Eof();
    } else {
        std::memcpy(Buffer.get() + BufPos, Src, static_cast<size_t>(Count));
        BufPos += Count;
    }
    if (BufPos > BufLen) {
        BufLen = BufPos;
        BufEnd = BufStart + BufLen;
    }
    Dirty = true;
}

void TFileBuffer::WriteRec(const void* Src) {
    WriteBlock(Src, RecSize);
}

bool TFileBuffer::Eof() const {
    if (!IsOpen) return true;
    return int64_t{BufStart} + BufPos >= BufEnd && AtEof;
}

int32_t TFileBuffer::GetSize() {
    if (!IsOpen) return 0;
    if (Dirty) WriteBack();
    return DataFile.FileSize();
}

int32_t TFileBuffer::GetRecCount() {
    return GetSize() / RecSize;
}
