#pragma once
// The one way to a file descriptor: an owning descriptor closed in its
// destructor, and reads and writes that move every byte asked for. A short
// transfer is continued, an interrupted call is tried again, and a descriptor
// that answers "try again" (non-blocking) is waited on with poll; only a real
// error or the end of a file stops a transfer. Also the millisecond pause, and
// the one file that must not outlive the process.

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

class TFileDesc {
public:
    TFileDesc() = default;
    explicit TFileDesc(int AFd) : FFd(AFd) {}
    ~TFileDesc() { Close(); }
    TFileDesc(TFileDesc&& Other) noexcept : FFd(Other.Release()) {}
    TFileDesc& operator=(TFileDesc&& Other) noexcept;
    TFileDesc(const TFileDesc&) = delete;
    TFileDesc& operator=(const TFileDesc&) = delete;

    // Opens Name with Flags (O_CLOEXEC is always added; Mode for a created
    // file), closing what was open before. False on failure, errno kept.
    bool Open(const std::string& Name, int Flags, mode_t Mode = 0666);
    // Open, but only of a regular file, and never waiting in the open
    // (O_NONBLOCK: a FIFO would wait for its other end, a device for a
    // carrier; a regular file is not affected). What is not a regular file
    // is closed again: false with errno EISDIR for a directory, EINVAL for
    // anything else.
    bool OpenRegular(const std::string& Name, int Flags, mode_t Mode = 0666);
    bool IsOpen() const { return FFd >= 0; }
    int Fd() const { return FFd; }
    // Gives the descriptor up without closing it; -1 when none was open.
    int Release();
    // True when nothing was open or the close succeeded.
    bool Close();
    // The descriptor's status (64-bit sizes on every build); False on failure.
    bool Stat(struct stat64& St) const;
    // Up to Count bytes; fewer only at the end of the file or on an error,
    // whose errno is left in Err (0 when none).
    int64_t ReadAll(void* Buf, int64_t Count, int& Err) const;
    // True when every byte was written.
    bool WriteAll(const void* Buf, int64_t Count) const;
    bool WriteAll(std::string_view S) const { return WriteAll(S.data(), int64_t(S.size())); }

private:
    int FFd = -1;
};

// The same transfers on a descriptor the caller owns. The count moved is
// returned; Err holds the errno that stopped a short transfer, 0 when it was
// the end of the file (reads) or a write that took nothing.
int64_t ReadAll(int Fd, void* Buf, int64_t Count, int& Err);
int64_t WriteAll(int Fd, const void* Buf, int64_t Count, int& Err);
bool WriteAll(int Fd, std::string_view S);
// Positioned transfers at byte offset At; the file offset is left alone.
int64_t PReadAll(int Fd, void* Buf, int64_t Count, int64_t At, int& Err);
int64_t PWriteAll(int Fd, const void* Buf, int64_t Count, int64_t At, int& Err);

// Whether two status records describe one file (hard links, other names of
// it, its open descriptor).
inline bool SameFile(const struct stat64& A, const struct stat64& B) {
    return A.st_dev == B.st_dev && A.st_ino == B.st_ino;
}

// Waits Ms milliseconds, the whole time even when a signal interrupts.
void PauseMs(uint32_t Ms);

// ---------------------------------------------------------------------------
// The one file that must not outlive the process unfinished: a private
// temporary file that holds a message while it is shown, or an export while
// it is written. At most one path is armed at a time; arming another forgets
// the first without removing it. An exit() removes the armed file through an
// atexit finaliser (registered at the first arming), and RemoveArmedFile is
// async-signal-safe, so a handler of a signal that ends the process can call
// it before the process dies. Only the very file that was armed is removed:
// another file put at its name since is left alone.

// Creates a file from Template as mkostemp does (exclusive, mode 600, no link
// followed; the trailing XXXXXX of Template are replaced) and arms its path.
// Every signal is held off from the creation to the arming, so no signal can
// leave the file behind unarmed. Returns the descriptor, or -1 with errno set
// and nothing created (a Template of PATH_MAX bytes or more: ENAMETOOLONG).
int CreateArmedFile(std::string& Template);
// The same for a file at exactly Name, opened for writing and never waiting
// (O_NONBLOCK): created exclusively with Mode (less the umask), following no
// link, taking no file that is there (EEXIST).
int CreateArmedFileAt(const std::string& Name, mode_t Mode);
// Removes the armed file, if any, and disarms; errno is kept.
void RemoveArmedFile();
// The armed file is complete: it takes the name Name (a rename, which
// replaces what is there) and is disarmed, every signal held off across both,
// so no signal removes the finished file or leaves it under its armed name.
// False with errno when nothing is armed (ENOENT) or the rename failed; the
// file then stays armed where it was.
bool RenameArmedFile(const std::string& Name);
// The armed file is complete where it is: disarmed, not removed.
void DisarmArmedFile();
