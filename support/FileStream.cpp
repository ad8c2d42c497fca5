#include "support/FileStream.h"

#include "support/FileDesc.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

// The 64-bit file calls (pread64, fstat64) are used throughout so that a
// 32-bit build measures and reads files past 2 GiB the same way.

namespace {

constexpr int32_t MinChunk = 1024;       // first refill after a jump or Invalidate
constexpr int32_t MaxChunk = 256 * 1024; // largest refill

// Whole positioned transfers; the count moved, short only at the end of the
// file or on an error.
int64_t PReadFull(int fd, char* buf, int64_t count, int64_t at) {
    int err = 0;
    return PReadAll(fd, buf, count, at, err);
}

int64_t PWriteFull(int fd, const char* buf, int64_t count, int64_t at) {
    int err = 0;
    return PWriteAll(fd, buf, count, at, err);
}

} // namespace

TFileStream::~TFileStream() {
    Close();
}

bool TFileStream::Open(const std::string& Name, TFileMode Mode) {
    Close();
    int flags = O_CLOEXEC;
    switch (Mode) {
    case fmOpenRead: flags |= O_RDONLY; break;
    case fmOpenReadWrite: flags |= O_RDWR; break;
    case fmCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case fmCreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
    }
    // Nothing else is a file a stream may serve, and a FIFO's open would
    // wait for its other end for ever.
    TFileDesc file;
    if (!file.OpenRegular(Name, flags)) return false;
    FFile = std::move(file);
    FPos = 0;
    Invalidate();
    return true;
}

bool TFileStream::Close() {
    if (!FFile.IsOpen()) return true;
    const bool ok = FFile.Close();
    FPos = 0;
    Invalidate();
    return ok;
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    int64_t base = 0;
    if (Origin == soCurrent) base = FPos;
    if (Origin == soEnd) base = Size();
    if ((Offset > 0 && base > std::numeric_limits<int64_t>::max() - Offset) || base + Offset < 0)
        return -1;
    FPos = base + Offset;
    return FPos;
}

int64_t TFileStream::Size() const {
    struct stat64 st;
    if (!FFile.Stat(st)) return 0;
    return st.st_size;
}

void TFileStream::Invalidate() {
    FBufStart = 0;
    FBufLen = 0;
    FChunk = MinChunk;
}

int64_t TFileStream::MonoNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Refills the buffer at At with at least Want bytes (if the file has them).
// A refill that carries on from inside or from the end of the last one doubles
// in size, so a long sequential read (a search through a whole base) soon
// costs one call per 256 KiB while a lone header costs 1 KiB.
bool TFileStream::Fill(int64_t At, int32_t Want) {
    bool onward = FBufLen > 0 && At >= FBufStart && At <= FBufStart + FBufLen;
    FChunk = onward ? std::min(FChunk * 2, MaxChunk) : MinChunk;
    int32_t size = std::min(std::max(Want, FChunk), MaxChunk);
    // Grown only as refills grow, so a stream that reads one record (a
    // last-read lookup) never makes room for 256 KiB.
    if (FBuf.size() < std::size_t(size)) FBuf.resize(std::size_t(size));
    FBufStart = At;
    FFilledAt = MonoNs(); // before the read: the bytes are no older than this
    FBufLen = static_cast<int32_t>(PReadFull(FFile.Fd(), FBuf.data(), size, At));
    return FBufLen > 0;
}

int32_t TFileStream::Read(void* Buf, int32_t Count) {
    if (!FFile.IsOpen() || Count <= 0) return 0;
    char* out = static_cast<char*>(Buf);
    int32_t done = 0;
    while (done < Count) {
        if (FPos >= FBufStart && FPos < FBufStart + FBufLen) {
            int32_t n =
                static_cast<int32_t>(std::min<int64_t>(Count - done, FBufStart + FBufLen - FPos));
            std::memcpy(out + done, FBuf.data() + (FPos - FBufStart), static_cast<size_t>(n));
            FPos += n;
            done += n;
            continue;
        }
        int32_t want = Count - done;
        if (want >= FChunk) { // as big as a refill: straight into the caller's buffer
            int32_t r = static_cast<int32_t>(PReadFull(FFile.Fd(), out + done, want, FPos));
            FPos += r;
            done += r;
            break;
        }
        if (!Fill(FPos, want)) break;
    }
    return done;
}

// ReadView when the bytes are not all in the buffer: one refill at the
// position, then as many of them as arrived.
int32_t TFileStream::ReadViewFill(const char*& P, int32_t Count) {
    if (!FFile.IsOpen() || Count <= 0) return 0;
    Count = std::min(Count, MaxChunk);
    if (!Fill(FPos, Count)) return 0;
    int32_t n = static_cast<int32_t>(std::min<int64_t>(Count, FBufStart + FBufLen - FPos));
    P = FBuf.data() + (FPos - FBufStart);
    FPos += n;
    return n;
}

int32_t TFileStream::Write(const void* Buf, int32_t Count) {
    if (!FFile.IsOpen() || Count <= 0) return 0;
    // The buffer may hold bytes this write replaces: forget it.
    Invalidate();
    int32_t r =
        static_cast<int32_t>(PWriteFull(FFile.Fd(), static_cast<const char*>(Buf), Count, FPos));
    FPos += r;
    return r;
}
