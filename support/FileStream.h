#pragma once
// A byte stream over one open file: seek (also from the end), read, write,
// position and size. Reads go through a buffer filled with pread, so many small
// reads cost one system call; writes go straight to the file (pwrite) and drop
// the buffer. Other processes may change the file at any time: the buffer
// remembers when it was filled, Invalidate() or InvalidateBefore() forget its
// bytes, and the next read fetches fresh ones. No locks.

#include "support/FileDesc.h"

#include <cstdint>
#include <string>
#include <vector>

enum TFileMode {
    fmOpenRead,      // existing file, read only
    fmOpenReadWrite, // existing file, read and write
    fmCreate,        // create or truncate, read and write
    fmCreateNew      // create, read and write; fails when the name exists
};

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TFileStream {
public:
    TFileStream() = default;
    ~TFileStream();
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    // Opens Name; false (errno set) when it is missing, access is refused, or
    // it is not a regular file (EISDIR, EINVAL): a FIFO or a device is never
    // opened in a way that could block. A stream that is already open is
    // closed first. Position 0.
    bool Open(const std::string& Name, TFileMode Mode);
    // Closes the file; true when the close reported no error (or none was open).
    bool Close();
    bool IsOpen() const { return FFile.IsOpen(); }

    // New position from Offset and Origin; -1 (position unchanged) when the
    // result would be negative. Seeking past the end is allowed.
    int64_t Seek(int64_t Offset, TSeekOrigin Origin);
    // Reads up to Count bytes at the position; returns how many arrived
    // (0 at the end of the file or on an error) and advances by that many.
    int32_t Read(void* Buf, int32_t Count);
    // Reads up to Count bytes (at most one buffer, 256 KiB) at the position
    // without copying them: P is set to the bytes inside the stream's buffer,
    // valid until the next call on this stream. Returns how many (0 at the end
    // of the file or on an error) and advances by that many.
    int32_t ReadView(const char*& P, int32_t Count) {
        if (Count > 0 && FPos >= FBufStart && FPos - FBufStart <= int64_t(FBufLen) - Count) {
            P = FBuf.data() + (FPos - FBufStart);
            FPos += Count;
            return Count;
        }
        return ReadViewFill(P, Count);
    }
    // Writes Count bytes at the position; returns how many were written and
    // advances by that many.
    int32_t Write(const void* Buf, int32_t Count);
    int64_t Position() const { return FPos; }
    // The file's size now (asked of the system each time); 0 when unknown.
    int64_t Size() const;
    // Forgets the buffered bytes.
    void Invalidate();
    // Forgets the buffered bytes if they were read from the file before the
    // moment NotBefore (a MonoNs() value).
    void InvalidateBefore(int64_t NotBefore) {
        if (FBufLen > 0 && FFilledAt < NotBefore) Invalidate();
    }
    // The MonoNs() moment the buffered bytes were read from the file.
    int64_t FilledAt() const { return FFilledAt; }
    // A monotonic clock in nanoseconds: the steady clock, which Linux answers
    // without a system call (vDSO).
    static int64_t MonoNs();
    // The descriptor, -1 when closed (for record locks).
    int Fd() const { return FFile.Fd(); }

private:
    bool Fill(int64_t At, int32_t Want);
    int32_t ReadViewFill(const char*& P, int32_t Count);

    TFileDesc FFile;
    int64_t FPos = 0;
    std::vector<char> FBuf; // room for the largest refill so far
    int64_t FBufStart = 0;  // file offset of FBuf[0]
    int32_t FBufLen = 0;    // valid bytes in FBuf
    int32_t FChunk = 0;     // size of the next refill (grows while reading on)
    int64_t FFilledAt = 0;  // MonoNs() of the last refill
};
