// The descriptor unit moves every byte it is asked to: through a pipe that is
// full (non-blocking, so writes answer "try again"), through a pipe whose
// reader takes small bites while a timer keeps interrupting the writer (short
// writes and EINTR), and back. Real errors stop a transfer and are reported.
#include "support/FileDesc.h"
#include "tests/common/TempDirFixture.h"
#include "tests/common/WritePressure.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

class FileDescFiles : public TempDirTest {};

std::string Pattern(size_t N) {
    std::string s(N, '\0');
    for (size_t i = 0; i < N; ++i) s[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    return s;
}

bool IsOpenFd(int Fd) {
    return fcntl(Fd, F_GETFD) != -1;
}

void SetNonBlocking(int Fd) {
    fcntl(Fd, F_SETFL, fcntl(Fd, F_GETFL) | O_NONBLOCK);
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

TEST(FileDesc, WriteAllDeliversEveryByteThroughAPipeThatKeepsFillingUp) {
    struct Case {
        const char* Name;
        bool NonBlocking;
        bool Interrupted;
    } cases[] = {
        {"non-blocking: try again, wait, go on", true, false},
        {"blocking, a timer interrupting: short writes and EINTR", false, true},
        {"both", true, true},
    };
    const std::string data = Pattern(1 << 18); // far more than a pipe holds
    for (const Case& c : cases) {
        if (c.Interrupted && !InterruptingTimer::Works()) continue;
        SCOPED_TRACE(c.Name);
        int p[2];
        ASSERT_EQ(pipe(p), 0);
        if (c.NonBlocking) SetNonBlocking(p[1]);
        SlowReader reader(p[0]);
        bool ok;
        {
            std::optional<InterruptingTimer> timer;
            if (c.Interrupted) timer.emplace();
            ok = TFileDesc(p[1]).WriteAll(data); // closed at once: the reader sees the end
        }
        EXPECT_TRUE(ok);
        const std::string got = reader.Finish();
        close(p[0]);
        EXPECT_EQ(got.size(), data.size());
        EXPECT_TRUE(got == data);
    }
}

TEST(FileDesc, ReadAllWaitsOnANonBlockingPipeUntilTheCountOrTheEnd) {
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    SetNonBlocking(p[0]);
    const std::string data = Pattern(300000);
    std::signal(SIGPIPE, SIG_IGN); // a reader that gave up early fails the writer
    std::thread writer([&] {
        // Small pieces, so the reader finds the pipe empty again and again.
        for (size_t at = 0; at < data.size(); at += 1000)
            if (!WriteAll(p[1], std::string_view(data).substr(at, 1000))) break;
        close(p[1]);
    });
    std::string got(data.size() + 10, '\0');
    int err = -1;
    const int64_t n = ReadAll(p[0], got.data(), static_cast<int64_t>(got.size()), err);
    close(p[0]);
    writer.join();
    std::signal(SIGPIPE, SIG_DFL);
    EXPECT_EQ(n, static_cast<int64_t>(data.size())); // short only because the pipe ended
    EXPECT_EQ(err, 0);
    got.resize(static_cast<size_t>(n));
    EXPECT_TRUE(got == data);
}

TEST(FileDesc, RealErrorsStopATransferAndAreReported) {
    std::signal(SIGPIPE, SIG_IGN);
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    close(p[0]);
    int err = 0;
    EXPECT_EQ(WriteAll(p[1], "abc", 3, err), 0);
    EXPECT_EQ(err, EPIPE); // the reader is gone
    close(p[1]);

    char buf[4];
    EXPECT_EQ(ReadAll(p[1], buf, 4, err), 0); // closed descriptor: no wait, no loop
    EXPECT_EQ(err, EBADF);
    EXPECT_EQ(WriteAll(-1, "x", 1, err), 0);
    EXPECT_EQ(err, EBADF);
    EXPECT_FALSE(TFileDesc().WriteAll("x"));
    std::signal(SIGPIPE, SIG_DFL);
}

TEST_F(FileDescFiles, OwnsItsDescriptorAndOpensWithTheFlagsGiven) {
    const std::string name = Path() + "/f";
    int fd;
    {
        TFileDesc file;
        ASSERT_TRUE(file.Open(name, O_WRONLY | O_CREAT | O_EXCL, 0600));
        fd = file.Fd();
        EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
        EXPECT_TRUE(file.WriteAll(std::string("hello")));
        struct stat64 st {};
        ASSERT_TRUE(file.Stat(st));
        EXPECT_EQ(st.st_size, 5);
        EXPECT_TRUE(S_ISREG(st.st_mode));
    }
    EXPECT_FALSE(IsOpenFd(fd)); // closed by the destructor
    EXPECT_EQ(ReadFileBytes(name), "hello");

    TFileDesc file;
    EXPECT_FALSE(file.Open(name, O_WRONLY | O_CREAT | O_EXCL)); // exists
    EXPECT_EQ(errno, EEXIST);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.Open(Path(), O_WRONLY)); // a directory cannot be written
    EXPECT_EQ(errno, EISDIR);
    symlink(name.c_str(), (Path() + "/link").c_str());
    EXPECT_FALSE(file.Open(Path() + "/link", O_WRONLY | O_NOFOLLOW));
    EXPECT_EQ(errno, ELOOP);
    struct stat64 st {};
    EXPECT_FALSE(file.Stat(st));

    // Moves hand the descriptor on; only the last owner closes it.
    ASSERT_TRUE(file.Open(name, O_RDONLY));
    fd = file.Fd();
    TFileDesc moved(std::move(file));
    EXPECT_FALSE(file.IsOpen());
    TFileDesc other;
    ASSERT_TRUE(other.Open(name, O_RDONLY));
    const int otherFd = other.Fd();
    other = std::move(moved);
    EXPECT_FALSE(IsOpenFd(otherFd)); // what it held before is closed
    EXPECT_EQ(other.Fd(), fd);
    const int released = other.Release();
    EXPECT_FALSE(other.IsOpen());
    EXPECT_TRUE(IsOpenFd(released));
    EXPECT_TRUE(TFileDesc(released).Close());
    EXPECT_FALSE(IsOpenFd(released));
}

TEST_F(FileDescFiles, PositionedTransfersLeaveTheFileOffsetAlone) {
    TFileDesc file;
    ASSERT_TRUE(file.Open(Path() + "/p", O_RDWR | O_CREAT));
    ASSERT_TRUE(file.WriteAll(std::string("0123456789")));
    int err = -1;
    EXPECT_EQ(PWriteAll(file.Fd(), "ab", 2, 3, err), 2);
    EXPECT_EQ(err, 0);
    char buf[8] = {};
    EXPECT_EQ(PReadAll(file.Fd(), buf, 8, 6, err), 4); // short: the end of the file
    EXPECT_EQ(err, 0);
    EXPECT_EQ(std::string(buf, 4), "6789");
    EXPECT_EQ(lseek(file.Fd(), 0, SEEK_CUR), 10);
    EXPECT_EQ(ReadFileBytes(Path() + "/p"), "012ab56789");
}

// The armed file goes when asked, once: a later removal leaves alone what
// appeared at its name since. A process that ends through exit() removes it
// on its way out.
TEST_F(FileDescFiles, ArmedFileIsRemovedOnceOnRequestAndAtExit) {
    std::string name = Path() + "/armed-XXXXXX";
    TFileDesc file(CreateArmedFile(name));
    ASSERT_TRUE(file.IsOpen());
    ASSERT_EQ(name.rfind(Path() + "/armed-", 0), 0u);
    EXPECT_EQ(name.find("XXXXXX"), std::string::npos);
    struct stat64 st {};
    ASSERT_TRUE(file.Stat(st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    file.Close();
    errno = EDOM;
    RemoveArmedFile();
    EXPECT_EQ(errno, EDOM);
    EXPECT_FALSE(PathExists(name));
    WriteFileBytes(name, "someone else's");
    RemoveArmedFile();
    EXPECT_EQ(ReadFileBytes(name), "someone else's");

    std::string tooLong = Path() + "/" + std::string(5000, 'n') + "XXXXXX";
    EXPECT_EQ(CreateArmedFile(tooLong), -1);
    EXPECT_EQ(errno, ENAMETOOLONG);

    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        std::string child = Path() + "/child-XXXXXX";
        const int fd = CreateArmedFile(child);
        const bool told = fd >= 0 && write(out[1], child.data(), child.size()) > 0;
        std::exit(told ? 0 : 1);
    }
    close(out[1]);
    std::string child;
    char buf[256];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) child.append(buf, size_t(n));
    close(out[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(child.rfind(Path() + "/child-", 0), 0u);
    EXPECT_FALSE(PathExists(child));
}

// A finished armed file takes its final name, or stays where it was made, and
// is disarmed in the same step: a later removal (a signal's, exit's) leaves
// it, and the armed name is gone. A rename that fails keeps it armed. Another
// file put at the armed name meanwhile is never removed in its place.
TEST_F(FileDescFiles, FinishedArmedFileIsKeptAndOnlyTheArmedFileIsEverRemoved) {
    std::string hidden = Path() + "/.hidden-XXXXXX";
    TFileDesc file(CreateArmedFile(hidden));
    ASSERT_TRUE(file.IsOpen());
    ASSERT_TRUE(file.WriteAll(std::string("finished")));
    file.Close();
    const std::string target = Put("target", "old");
    ASSERT_EQ(::mkdir((Path() + "/dir").c_str(), 0755), 0);
    EXPECT_FALSE(RenameArmedFile(Path() + "/dir"));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(ReadFileBytes(hidden), "finished");
    EXPECT_TRUE(RenameArmedFile(target));
    EXPECT_FALSE(PathExists(hidden));
    // Even the very file at the armed name again (a link made since) stays.
    ASSERT_EQ(::link(target.c_str(), hidden.c_str()), 0);
    RemoveArmedFile();
    EXPECT_EQ(ReadFileBytes(target), "finished");
    EXPECT_EQ(ReadFileBytes(hidden), "finished");
    EXPECT_FALSE(RenameArmedFile(Path() + "/again")); // nothing is armed
    EXPECT_EQ(errno, ENOENT);

    const std::string fixed = Path() + "/fixed.txt";
    TFileDesc made(CreateArmedFileAt(fixed, 0640));
    ASSERT_TRUE(made.IsOpen());
    struct stat64 st {};
    ASSERT_TRUE(made.Stat(st));
    EXPECT_EQ(st.st_mode & 0777, 0640u & ~CurrentUmask());
    DisarmArmedFile();
    RemoveArmedFile();
    EXPECT_TRUE(PathExists(fixed));
    EXPECT_EQ(CreateArmedFileAt(fixed, 0640), -1); // exclusive
    EXPECT_EQ(errno, EEXIST);
    ASSERT_EQ(::symlink(target.c_str(), (Path() + "/link").c_str()), 0);
    EXPECT_EQ(CreateArmedFileAt(Path() + "/link", 0640), -1);
    EXPECT_EQ(ReadFileBytes(target), "finished");

    std::string armed = Path() + "/armed-XXXXXX";
    TFileDesc replaced(CreateArmedFile(armed));
    ASSERT_TRUE(replaced.IsOpen());
    ASSERT_EQ(::rename(Put("other", "someone else's").c_str(), armed.c_str()), 0);
    RemoveArmedFile();
    EXPECT_EQ(ReadFileBytes(armed), "someone else's");
}
