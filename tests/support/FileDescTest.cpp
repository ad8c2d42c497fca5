// The descriptor unit moves every byte it is asked to: through a pipe that is
// full (non-blocking, so writes answer "try again"), through a pipe whose
// reader takes small bites while a timer keeps interrupting the writer (short
// writes and EINTR), and back. Real errors stop a transfer and are reported.
#include "support/FileDesc.h"
#include "tests/common/TempDirFixture.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

class FileDescFiles : public TempDirTest {};

std::string Pattern(size_t N) {
    std::string S(N, '\0');
    for (size_t I = 0; I < N; ++I) S[I] = static_cast<char>((I * 131 + I / 251) & 0xFF);
    return S;
}

bool IsOpenFd(int Fd) {
    return fcntl(Fd, F_GETFD) != -1;
}

void SetNonBlocking(int Fd) {
    fcntl(Fd, F_SETFL, fcntl(Fd, F_GETFL) | O_NONBLOCK);
}

void NoOp(int) {}

// A timer signal every 0.2 ms for the life of the object, installed
// without SA_RESTART so that it interrupts blocking calls.
struct InterruptingTimer {
    struct sigaction Old {};
    InterruptingTimer() {
        struct sigaction Sa {};
        Sa.sa_handler = NoOp;
        sigemptyset(&Sa.sa_mask);
        sigaction(SIGALRM, &Sa, &Old);
        itimerval T{{0, 200}, {0, 200}};
        setitimer(ITIMER_REAL, &T, nullptr);
    }
    ~InterruptingTimer() {
        itimerval T{};
        setitimer(ITIMER_REAL, &T, nullptr);
        sigaction(SIGALRM, &Old, nullptr);
    }
};

// Reads the pipe to its end in small bites on another thread (which never
// takes the timer signal), so the writer keeps finding the pipe full.
class SlowReader {
public:
    explicit SlowReader(int AFd) : Fd(AFd), Worker([this] { Run(); }) {}
    std::string Finish() {
        Worker.join();
        return Got;
    }

private:
    void Run() {
        sigset_t Set;
        sigemptyset(&Set);
        sigaddset(&Set, SIGALRM);
        pthread_sigmask(SIG_BLOCK, &Set, nullptr);
        char Buf[97];
        for (;;) {
            pollfd P{Fd, POLLIN, 0};
            poll(&P, 1, -1);
            const ssize_t N = read(Fd, Buf, sizeof Buf);
            if (N == 0) return;
            if (N > 0) Got.append(Buf, static_cast<size_t>(N));
            usleep(20); // slow: the writer keeps waiting on a full pipe
        }
    }
    int Fd;
    std::string Got;
    std::thread Worker;
};

} // namespace

TEST(FileDesc, WriteAllDeliversEveryByteThroughAPipeThatKeepsFillingUp) {
    struct Case {
        const char* Name;
        bool NonBlocking;
        bool Interrupted;
    } Cases[] = {
        {"non-blocking: try again, wait, go on", true, false},
        {"blocking, a timer interrupting: short writes and EINTR", false, true},
        {"both", true, true},
    };
    const std::string Data = Pattern(1 << 18); // far more than a pipe holds
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        int P[2];
        ASSERT_EQ(pipe(P), 0);
        if (C.NonBlocking) SetNonBlocking(P[1]);
        SlowReader Reader(P[0]);
        bool Ok;
        {
            std::optional<InterruptingTimer> Timer;
            if (C.Interrupted) Timer.emplace();
            Ok = TFileDesc(P[1]).WriteAll(Data); // closed at once: the reader sees the end
        }
        EXPECT_TRUE(Ok);
        const std::string Got = Reader.Finish();
        close(P[0]);
        EXPECT_EQ(Got.size(), Data.size());
        EXPECT_TRUE(Got == Data);
    }
}

TEST(FileDesc, ReadAllWaitsOnANonBlockingPipeUntilTheCountOrTheEnd) {
    int P[2];
    ASSERT_EQ(pipe(P), 0);
    SetNonBlocking(P[0]);
    const std::string Data = Pattern(300000);
    std::signal(SIGPIPE, SIG_IGN); // a reader that gave up early fails the writer
    std::thread Writer([&] {
        // Small pieces, so the reader finds the pipe empty again and again.
        for (size_t At = 0; At < Data.size(); At += 1000)
            if (!WriteAll(P[1], std::string_view(Data).substr(At, 1000))) break;
        close(P[1]);
    });
    std::string Got(Data.size() + 10, '\0');
    int Err = -1;
    const int64_t N = ReadAll(P[0], Got.data(), static_cast<int64_t>(Got.size()), Err);
    close(P[0]);
    Writer.join();
    std::signal(SIGPIPE, SIG_DFL);
    EXPECT_EQ(N, static_cast<int64_t>(Data.size())); // short only because the pipe ended
    EXPECT_EQ(Err, 0);
    Got.resize(static_cast<size_t>(N));
    EXPECT_TRUE(Got == Data);
}

TEST(FileDesc, RealErrorsStopATransferAndAreReported) {
    std::signal(SIGPIPE, SIG_IGN);
    int P[2];
    ASSERT_EQ(pipe(P), 0);
    close(P[0]);
    int Err = 0;
    EXPECT_EQ(WriteAll(P[1], "abc", 3, Err), 0);
    EXPECT_EQ(Err, EPIPE); // the reader is gone
    close(P[1]);

    char Buf[4];
    EXPECT_EQ(ReadAll(P[1], Buf, 4, Err), 0); // closed descriptor: no wait, no loop
    EXPECT_EQ(Err, EBADF);
    EXPECT_EQ(WriteAll(-1, "x", 1, Err), 0);
    EXPECT_EQ(Err, EBADF);
    EXPECT_FALSE(TFileDesc().WriteAll("x"));
    std::signal(SIGPIPE, SIG_DFL);
}

TEST_F(FileDescFiles, OwnsItsDescriptorAndOpensWithTheFlagsGiven) {
    const std::string Name = Path() + "/f";
    int Fd;
    {
        TFileDesc File;
        ASSERT_TRUE(File.Open(Name, O_WRONLY | O_CREAT | O_EXCL, 0600));
        Fd = File.Fd();
        EXPECT_TRUE(fcntl(Fd, F_GETFD) & FD_CLOEXEC);
        EXPECT_TRUE(File.WriteAll(std::string("hello")));
        struct stat64 St {};
        ASSERT_TRUE(File.Stat(St));
        EXPECT_EQ(St.st_size, 5);
        EXPECT_TRUE(S_ISREG(St.st_mode));
    }
    EXPECT_FALSE(IsOpenFd(Fd)); // closed by the destructor
    EXPECT_EQ(ReadFileBytes(Name), "hello");

    TFileDesc File;
    EXPECT_FALSE(File.Open(Name, O_WRONLY | O_CREAT | O_EXCL)); // exists
    EXPECT_EQ(errno, EEXIST);
    EXPECT_FALSE(File.IsOpen());
    EXPECT_FALSE(File.Open(Path(), O_WRONLY)); // a directory cannot be written
    EXPECT_EQ(errno, EISDIR);
    symlink(Name.c_str(), (Path() + "/link").c_str());
    EXPECT_FALSE(File.Open(Path() + "/link", O_WRONLY | O_NOFOLLOW));
    EXPECT_EQ(errno, ELOOP);
    struct stat64 St {};
    EXPECT_FALSE(File.Stat(St));

    // Moves hand the descriptor on; only the last owner closes it.
    ASSERT_TRUE(File.Open(Name, O_RDONLY));
    Fd = File.Fd();
    TFileDesc Moved(std::move(File));
    EXPECT_FALSE(File.IsOpen());
    TFileDesc Other;
    ASSERT_TRUE(Other.Open(Name, O_RDONLY));
    const int OtherFd = Other.Fd();
    Other = std::move(Moved);
    EXPECT_FALSE(IsOpenFd(OtherFd)); // what it held before is closed
    EXPECT_EQ(Other.Fd(), Fd);
    const int Released = Other.Release();
    EXPECT_FALSE(Other.IsOpen());
    EXPECT_TRUE(IsOpenFd(Released));
    EXPECT_TRUE(TFileDesc(Released).Close());
    EXPECT_FALSE(IsOpenFd(Released));
}

TEST_F(FileDescFiles, PositionedTransfersLeaveTheFileOffsetAlone) {
    TFileDesc File;
    ASSERT_TRUE(File.Open(Path() + "/p", O_RDWR | O_CREAT));
    ASSERT_TRUE(File.WriteAll(std::string("0123456789")));
    int Err = -1;
    EXPECT_EQ(PWriteAll(File.Fd(), "ab", 2, 3, Err), 2);
    EXPECT_EQ(Err, 0);
    char Buf[8] = {};
    EXPECT_EQ(PReadAll(File.Fd(), Buf, 8, 6, Err), 4); // short: the end of the file
    EXPECT_EQ(Err, 0);
    EXPECT_EQ(std::string(Buf, 4), "6789");
    EXPECT_EQ(lseek(File.Fd(), 0, SEEK_CUR), 10);
    EXPECT_EQ(ReadFileBytes(Path() + "/p"), "012ab56789");
}
