#include "tests/common/PtyFixture.h"

#include "terminal/Console.h"
// The pty fixture: slave on fd 0/1 per test, master to the test, a log of the
// write(2) calls on fd 1 (by defining write() in the test program, which
// takes precedence over the C library's for every caller linked into it), and
// gtest's failure messages routed to the real stdout while fd 1 is the pty.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct WriteLog {
    bool On = false;
    std::vector<std::string> Calls;
};

// Function-local so that writes made during static initialisation are safe.
WriteLog& Log() {
    static WriteLog l;
    return l;
}

// The real stdout while a pty test runs, -1 otherwise.
int RealStdoutFd = -1;

ssize_t RawWrite(int Fd, const void* Buf, size_t Count) {
    return static_cast<ssize_t>(syscall(SYS_write, Fd, Buf, Count));
}

void WriteAll(int Fd, std::string_view Bytes) {
    while (!Bytes.empty()) {
        ssize_t n = RawWrite(Fd, Bytes.data(), Bytes.size());
        if (n > 0) {
            Bytes.remove_prefix(static_cast<size_t>(n));
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{Fd, POLLOUT, 0};
            poll(&p, 1, 1000);
        } else {
            ADD_FAILURE() << "pty fixture: write failed, errno " << errno;
            return;
        }
    }
}

// Wraps gtest's result printer: a failure reported while fd 1 is the pty is
// printed with fd 1 pointed back at the real stdout for the moment.
class RealStdoutPrinter : public testing::TestEventListener {
public:
    explicit RealStdoutPrinter(testing::TestEventListener* P) : Inner(P) {}

    void OnTestPartResult(const testing::TestPartResult& R) override {
        if (RealStdoutFd < 0) {
            Inner->OnTestPartResult(R);
            return;
        }
        std::fflush(stdout);
        int current = dup(1);
        dup2(RealStdoutFd, 1);
        Inner->OnTestPartResult(R);
        std::fflush(stdout);
        dup2(current, 1);
        close(current);
    }

    using UT = testing::UnitTest;
    using TI = testing::TestInfo;
    using TS = testing::TestSuite;
    void OnTestProgramStart(const UT& U) override { Inner->OnTestProgramStart(U); }
    void OnTestIterationStart(const UT& U, int I) override { Inner->OnTestIterationStart(U, I); }
    void OnEnvironmentsSetUpStart(const UT& U) override { Inner->OnEnvironmentsSetUpStart(U); }
    void OnEnvironmentsSetUpEnd(const UT& U) override { Inner->OnEnvironmentsSetUpEnd(U); }
    void OnTestSuiteStart(const TS& S) override { Inner->OnTestSuiteStart(S); }
#ifndef GTEST_REMOVE_LEGACY_TEST_CASEAPI_
    void OnTestCaseStart(const testing::TestCase& S) override {
        Inner->OnTestCaseStart(S);
    }
    void OnTestCaseEnd(const testing::TestCase& S) override {
        Inner->OnTestCaseEnd(S);
    }
#endif
    void OnTestStart(const TI& T) override {
        Inner->OnTestStart(T);
    }
    void OnTestDisabled(const TI& T) override {
        Inner->OnTestDisabled(T);
    }
    void OnTestEnd(const TI& T) override {
        Inner->OnTestEnd(T);
    }
    void OnTestSuiteEnd(const TS& S) override {
        Inner->OnTestSuiteEnd(S);
    }
    void OnEnvironmentsTearDownStart(const UT& U) override {
        Inner->OnEnvironmentsTearDownStart(U);
    }
    void OnEnvironmentsTearDownEnd(const UT& U) override {
        Inner->OnEnvironmentsTearDownEnd(U);
    }
    void OnTestIterationEnd(const UT& U, int I) override {
        Inner->OnTestIterationEnd(U, I);
    }
    void OnTestProgramEnd(const UT& U) override {
        Inner->OnTestProgramEnd(U);
    }

private:
    std::unique_ptr<testing::TestEventListener> Inner;
};

// Done at the first SetUp rather than at static initialisation, so that it
// wraps whichever printer the command line chose (--gtest_brief included).
void WrapResultPrinter() {
    testing::TestEventListeners& l = testing::UnitTest::GetInstance()->listeners();
    if (testing::TestEventListener* p = l.default_result_printer()) {
        l.Release(p);
        l.Append(new RealStdoutPrinter(p));
    }
}

constexpr std::string_view SyncMarker = "\x1b_kv-pty-sync\x1b\\";

} // namespace

// Every write() of the program comes here; calls on fd 1 are logged while a
// pty test runs.
extern "C" ssize_t write(int Fd, const void* Buf, size_t Count) {
    WriteLog& l = Log();
    if (Fd == 1 && l.On) l.Calls.emplace_back(static_cast<const char*>(Buf), Count);
    return RawWrite(Fd, Buf, Count);
}

void PtyFixture::SetUp() {
    WrapResultPrinter();
    ASSERT_EQ(openpty(&MasterFd, &SlaveFd, nullptr, nullptr, nullptr), 0) << "openpty failed";
    fcntl(MasterFd, F_SETFL, fcntl(MasterFd, F_GETFL) | O_NONBLOCK);
    std::fflush(stdout);
    SavedIn = dup(0);
    SavedOut = dup(1);
    ASSERT_GE(SavedIn, 0);
    ASSERT_GE(SavedOut, 0);
    RealStdoutFd = SavedOut;
    ASSERT_EQ(dup2(SlaveFd, 0), 0);
    ASSERT_EQ(dup2(SlaveFd, 1), 1);
    Log().Calls.clear();
    Log().On = true;
}

void PtyFixture::TearDown() {
    Log().On = false;
    Log().Calls.clear();
    std::fflush(stdout);
    if (SavedIn >= 0) dup2(SavedIn, 0);
    if (SavedOut >= 0) dup2(SavedOut, 1);
    RealStdoutFd = -1;
    for (int* fd : {&SavedIn, &SavedOut, &SlaveFd, &MasterFd}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

std::string PtyFixture::ReadOutput() {
    WriteAll(SlaveFd, SyncMarker);
    std::string got;
    char buf[4096];
    for (;;) {
        pollfd p{MasterFd, POLLIN, 0};
        // Only a safety net for a broken pty: the marker normally comes at once.
        if (poll(&p, 1, 10000) <= 0) {
            ADD_FAILURE() << "pty fixture: output marker never arrived";
            return got;
        }
        ssize_t n = read(MasterFd, buf, sizeof buf);
        if (n > 0) {
            got.append(buf, static_cast<size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            ADD_FAILURE() << "pty fixture: read from master failed, errno " << errno;
            return got;
        }
        if (got.size() >= SyncMarker.size() &&
            std::string_view(got).substr(got.size() - SyncMarker.size()) == SyncMarker) {
            got.resize(got.size() - SyncMarker.size());
            return got;
        }
    }
}

std::vector<std::string> PtyFixture::TakeWrites() {
    std::vector<std::string> calls;
    calls.swap(Log().Calls);
    return calls;
}

void PtyFixture::ClearWrites() {
    Log().Calls.clear();
}

void PtyFixture::Type(std::string_view Bytes) {
    WriteAll(MasterFd, Bytes);
}

termios PtyFixture::SlaveSettings() const {
    termios t{};
    EXPECT_EQ(tcgetattr(SlaveFd, &t), 0);
    return t;
}

void PtyFixture::SetWindowSize(unsigned short Rows, unsigned short Cols) {
    winsize w{};
    w.ws_row = Rows;
    w.ws_col = Cols;
    EXPECT_EQ(ioctl(SlaveFd, TIOCSWINSZ, &w), 0);
}

bool SameSettings(const termios& A, const termios& B) {
    if (A.c_iflag != B.c_iflag || A.c_oflag != B.c_oflag || A.c_cflag != B.c_cflag ||
        A.c_lflag != B.c_lflag || A.c_line != B.c_line)
        return false;
    for (size_t i = 0; i < NCCS; ++i)
        if (A.c_cc[i] != B.c_cc[i]) return false;
    return cfgetispeed(&A) == cfgetispeed(&B) && cfgetospeed(&A) == cfgetospeed(&B);
}

void ConsolePtyFixture::SetUp() {
    PtyFixture::SetUp();
    InitConsole();
    ReadOutput();
    ClearWrites();
}

void ConsolePtyFixture::TearDown() {
    DoneConsole();
    PtyFixture::TearDown();
}

std::string Hex(const std::string& S) {
    std::string r;
    for (unsigned char c : S) {
        if (c >= 32 && c < 127) {
            r += static_cast<char>(c);
        } else {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02x", c);
            r += b;
        }
    }
    return r;
}

void PtyFixture::TypeAndWait(const std::string& Bytes) {
    int pending = 0;
    ioctl(Slave(), FIONREAD, &pending);
    Type(Bytes);
    for (int i = 0; i < 10000; i++) {
        int n = 0;
        ioctl(Slave(), FIONREAD, &n);
        if (n >= pending + static_cast<int>(Bytes.size())) return;
        usleep(1000);
    }
    ADD_FAILURE() << "typed bytes never reached the slave";
}

void ConsoleFilesFixture::Fresh(uint8_t Attr) {
    SetTextAttr(7);
    ClearScreen();
    SetTextAttr(Attr);
    FlushScreen();
    ReadOutput();
    ClearWrites();
}
