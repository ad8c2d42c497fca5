#include "support/FileDesc.h"
// Every transfer is one loop over one system call. The loop ends only when
// the count is reached, at the end of the file, or on an error other than an
// interruption or "try again"; "try again" waits in poll for the descriptor
// to become ready instead of spinning, so a descriptor that another program
// made non-blocking loses nothing. Calls are cut to 1 GiB so that a 32-bit
// size_t never overflows.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/select.h>
#include <unistd.h>

namespace {

constexpr int64_t MaxChunk = int64_t{1} << 30;

size_t ChunkOf(int64_t Left) {
    return static_cast<size_t>(std::min(Left, MaxChunk));
}

// Waits until Fd is ready for Events; False when it never can be (a closed
// or invalid descriptor), with Err set.
bool WaitReady(int Fd, short Events, int& Err) {
    pollfd p{Fd, Events, 0};
    for (;;) {
        const int r = ::poll(&p, 1, -1);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            Err = errno;
            return false;
        }
        if (p.revents & POLLNVAL) {
            Err = EBADF;
            return false;
        }
        // Ready, or an error or hang-up that the next call reports itself.
        return true;
    }
}

bool TryAgain(int E) {
    return E == EAGAIN || E == EWOULDBLOCK;
}

// The loop shared by all four transfers; Call moves up to N bytes at offset
// Done of the transfer and returns what the system call returned.
template <class TCall> int64_t Transfer(int Fd, int64_t Count, short Events, int& Err, TCall Call) {
    Err = 0;
    int64_t done = 0;
    while (done < Count) {
        const ssize_t r = Call(done, ChunkOf(Count - done));
        if (r > 0) {
            done += r;
            continue;
        }
        if (r == 0) break; // end of the file, or a write that took nothing
        if (errno == EINTR) continue;
        if (TryAgain(errno)) {
            if (WaitReady(Fd, Events, Err)) continue;
            break;
        }
        Err = errno;
        break;
    }
    return done;
}

} // namespace

TFileDesc& TFileDesc::operator=(TFileDesc&& Other) noexcept {
    if (this != &Other) {
        Close();
        FFd = Other.Release();
    }
    return *this;
}

bool TFileDesc::Open(const std::string& Name, int Flags, mode_t Mode) {
    Close();
    int fd;
    do fd = ::open(Name.c_str(), Flags | O_CLOEXEC, Mode);
    while (fd < 0 && errno == EINTR);
    FFd = fd;
    return fd >= 0;
}

bool TFileDesc::OpenRegular(const std::string& Name, int Flags, mode_t Mode) {
    struct stat64 st {};
    if (!Open(Name, Flags | O_NONBLOCK, Mode) || !Stat(st)) return false;
    if (S_ISREG(st.st_mode)) return true;
    Close();
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return false;
}

int TFileDesc::Release() {
    const int fd = FFd;
    FFd = -1;
    return fd;
}

bool TFileDesc::Close() {
    if (FFd < 0) return true;
    // Linux frees the descriptor even when close reports EINTR: never retry.
    const int r = ::close(FFd);
    FFd = -1;
    return r == 0;
}

bool TFileDesc::Stat(struct stat64& St) const {
    return FFd >= 0 && ::fstat64(FFd, &St) == 0;
}

int64_t TFileDesc::ReadAll(void* Buf, int64_t Count, int& Err) const {
    return ::ReadAll(FFd, Buf, Count, Err);
}

bool TFileDesc::WriteAll(const void* Buf, int64_t Count) const {
    int err = 0;
    return ::WriteAll(FFd, Buf, Count, err) == Count;
}

int64_t ReadAll(int Fd, void* Buf, int64_t Count, int& Err) {
    char* p = static_cast<char*>(Buf);
    return Transfer(Fd, Count, POLLIN, Err,
                    [&](int64_t Done, size_t N) { return ::read(Fd, p + Done, N); });
}

int64_t WriteAll(int Fd, const void* Buf, int64_t Count, int& Err) {
    const char* p = static_cast<const char*>(Buf);
    return Transfer(Fd, Count, POLLOUT, Err,
                    [&](int64_t Done, size_t N) { return ::write(Fd, p + Done, N); });
}

bool WriteAll(int Fd, std::string_view S) {
    int err = 0;
    return WriteAll(Fd, S.data(), static_cast<int64_t>(S.size()), err) ==
           static_cast<int64_t>(S.size());
}

int64_t PReadAll(int Fd, void* Buf, int64_t Count, int64_t At, int& Err) {
    char* p = static_cast<char*>(Buf);
    return Transfer(Fd, Count, POLLIN, Err,
                    [&](int64_t Done, size_t N) { return ::pread64(Fd, p + Done, N, At + Done); });
}

int64_t PWriteAll(int Fd, const void* Buf, int64_t Count, int64_t At, int& Err) {
    const char* p = static_cast<const char*>(Buf);
    return Transfer(Fd, Count, POLLOUT, Err,
                    [&](int64_t Done, size_t N) { return ::pwrite64(Fd, p + Done, N, At + Done); });
}

void PauseMs(uint32_t Ms) {
    timeval tv{static_cast<time_t>(Ms / 1000), static_cast<suseconds_t>((Ms % 1000) * 1000)};
    // Linux leaves the time still to wait in Tv when a signal interrupts.
    while (::select(0, nullptr, nullptr, nullptr, &tv) < 0 && errno == EINTR) {
    }
}

// The armed path lives in a fixed buffer, so the signal-time removal touches
// no heap. The flag is set only after the path and identity are complete, and
// cleared only after the unlink: a signal that comes in between unlinks once
// more, which finds nothing (or another file, which it leaves).
namespace {

char ArmedPath[PATH_MAX];
uint64_t ArmedDev = 0;
uint64_t ArmedIno = 0;
volatile sig_atomic_t Armed = 0;

void RemoveArmedAtExit() {
    RemoveArmedFile();
}

void RemoveArmedAtEveryExit() {
    static const bool registered = std::atexit(RemoveArmedAtExit) == 0;
    (void)registered;
}

// Holds every signal off while it lives, so that no handler sees the armed
// state half changed; errno is kept.
class TSignalsHeld {
public:
    TSignalsHeld() {
        sigset_t all;
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, &FOld);
    }
    ~TSignalsHeld() {
        const int saved = errno;
        sigprocmask(SIG_SETMASK, &FOld, nullptr);
        errno = saved;
    }
    TSignalsHeld(const TSignalsHeld&) = delete;
    TSignalsHeld& operator=(const TSignalsHeld&) = delete;

private:
    sigset_t FOld;
};

// Create makes the file at Path (which it may fill in, as mkostemp does) and
// returns its descriptor; the path is armed with the identity of what it made.
template <class TCreate> int CreateAndArm(const std::string& Path, TCreate Create) {
    if (Path.size() >= sizeof ArmedPath) {
        errno = ENAMETOOLONG;
        return -1;
    }
    RemoveArmedAtEveryExit();
    const TSignalsHeld held;
    Armed = 0;
    const int fd = Create();
    if (fd < 0) return -1;
    struct stat64 st {};
    if (::fstat64(fd, &st) != 0) {
        const int err = errno;
        ::unlink(Path.c_str());
        ::close(fd);
        errno = err;
        return -1;
    }
    std::memcpy(ArmedPath, Path.c_str(), Path.size() + 1);
    ArmedDev = static_cast<uint64_t>(st.st_dev);
    ArmedIno = static_cast<uint64_t>(st.st_ino);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    Armed = 1;
    return fd;
}

} // namespace

int CreateArmedFile(std::string& Template) {
    return CreateAndArm(Template, [&] { return ::mkostemp(Template.data(), O_CLOEXEC); });
}

int CreateArmedFileAt(const std::string& Name, mode_t Mode) {
    return CreateAndArm(Name, [&] {
        return ::open(Name.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, Mode);
    });
}

void RemoveArmedFile() {
    if (!Armed) return;
    const int saved = errno;
    struct stat64 st {};
    if (::lstat64(ArmedPath, &st) == 0 && static_cast<uint64_t>(st.st_dev) == ArmedDev &&
        static_cast<uint64_t>(st.st_ino) == ArmedIno)
        ::unlink(ArmedPath);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    Armed = 0;
    errno = saved;
}

bool RenameArmedFile(const std::string& Name) {
    const TSignalsHeld held;
    if (!Armed) {
        errno = ENOENT;
        return false;
    }
    if (::rename(ArmedPath, Name.c_str()) != 0) return false;
    Armed = 0;
    return true;
}

void DisarmArmedFile() {
    const TSignalsHeld held;
    Armed = 0;
}
