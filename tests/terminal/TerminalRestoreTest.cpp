// The terminal always comes back: a forked child with a pty slave as its
// terminal starts the console and then ends by itself in one of the ways a
// run can end. The parent checks that the child ended (a generous bound
// catches a reader spinning or blocked after its input is gone), with exit
// code 0, and that the slave's settings are the ones from before.
#include "terminal/Console.h"

#include "tests/common/PtyFixture.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

constexpr auto EndBound = std::chrono::seconds(10);
const std::string ConsoleUp = "\x1b[2J\x1b[1;1H"; // the last start-up bytes

// Reads what is there on the non-blocking master; false once it is gone.
bool DrainMaster(int Master, std::string& Out) {
    char Buf[4096];
    for (;;) {
        ssize_t N = read(Master, Buf, sizeof Buf);
        if (N > 0) {
            Out.append(Buf, static_cast<size_t>(N));
            continue;
        }
        return N < 0 && (errno == EAGAIN || errno == EINTR);
    }
}

// Starts Body in a child. Its descriptors are the parent's, except that fd 0
// becomes StdinFd when one is given; CloseInChild are closed in the child, so
// that only the parent holds them. When Body returns, the child leaves
// through exit(0), as a return from main would.
pid_t StartChild(const std::function<void()>& Body, std::initializer_list<int> CloseInChild,
                 int StdinFd = -1) {
    std::fflush(nullptr);
    pid_t Pid = fork();
    if (Pid != 0) return Pid;
    for (int Fd : CloseInChild) close(Fd);
    if (StdinFd >= 0) {
        dup2(StdinFd, 0);
        close(StdinFd);
    }
    Body();
    std::exit(0);
}

struct ChildEnd {
    bool Ended = false;
    int Status = 0;
};

// Waits for the child to end, reading the master meanwhile so that its
// output never blocks it. A child still there after the bound is killed.
ChildEnd WaitChild(pid_t Pid, int Master, std::string& Out) {
    ChildEnd End;
    const auto Until = std::chrono::steady_clock::now() + EndBound;
    while (std::chrono::steady_clock::now() < Until) {
        if (Master >= 0) DrainMaster(Master, Out);
        pid_t R = waitpid(Pid, &End.Status, WNOHANG);
        if (R == Pid) {
            End.Ended = true;
            if (Master >= 0) DrainMaster(Master, Out);
            return End;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(Pid, SIGKILL);
    waitpid(Pid, &End.Status, 0);
    return End;
}

// Reads the master until Needle has arrived (or the bound passes).
bool WaitForOutput(int Master, std::string& Out, const std::string& Needle) {
    const auto Until = std::chrono::steady_clock::now() + EndBound;
    while (Out.find(Needle) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= Until) return false;
        DrainMaster(Master, Out);
        pollfd P{Master, POLLIN, 50};
        poll(&P, 1, 50);
    }
    return true;
}

void ExpectCleanExit(const ChildEnd& End) {
    ASSERT_TRUE(End.Ended) << "the child did not end within the bound";
    ASSERT_TRUE(WIFEXITED(End.Status)) << "status " << End.Status;
    EXPECT_EQ(WEXITSTATUS(End.Status), 0);
}

void Nested(int Depth, const std::function<void()>& AtBottom) {
    if (Depth == 0)
        AtBottom();
    else
        Nested(Depth - 1, AtBottom);
    WriteText("never reached");
}

class TerminalRestore : public PtyFixture {
protected:
    termios Before{};

    // Settings unlike both the kernel's defaults and raw mode, so that only
    // an exact restore matches them.
    void SetUp() override {
        PtyFixture::SetUp();
        termios T = SlaveSettings();
        T.c_iflag |= IXANY | IUTF8;
        T.c_lflag |= ECHOCTL | ECHOPRT;
        T.c_cc[VINTR] = 0x18;
        T.c_cc[VMIN] = 3;
        T.c_cc[VTIME] = 7;
        ASSERT_EQ(tcsetattr(Slave(), TCSANOW, &T), 0);
        Before = SlaveSettings();
    }

    void ExpectRestored() {
        EXPECT_TRUE(SameSettings(SlaveSettings(), Before))
            << "the child left the terminal with other settings";
    }
};

TEST_F(TerminalRestore, AfterNormalEnd) {
    pid_t Pid = StartChild(
        [] {
            InitConsole();
            WriteXY(1, 1, 0x1F, "working");
        },
        {Master(), RealStdin(), RealStdout()});
    std::string Out;
    ExpectCleanExit(WaitChild(Pid, Master(), Out));
    ExpectRestored();
    EXPECT_NE(Out.find("working"), std::string::npos);
}

TEST_F(TerminalRestore, AfterExitRightAfterStartUp) {
    pid_t Pid = StartChild(
        [] {
            InitConsole();
            std::exit(0);
        },
        {Master(), RealStdin(), RealStdout()});
    std::string Out;
    ExpectCleanExit(WaitChild(Pid, Master(), Out));
    ExpectRestored();
    EXPECT_EQ(Out, "\x1b(U\x1b[0m" + ConsoleUp);
}

TEST_F(TerminalRestore, AfterExitFromInsideNestedCalls) {
    pid_t Pid = StartChild(
        [] {
            InitConsole();
            Nested(5, [] {
                SetTextAttr(0x1F); // still queued when exit is called
                std::exit(0);
            });
        },
        {Master(), RealStdin(), RealStdout()});
    std::string Out;
    ExpectCleanExit(WaitChild(Pid, Master(), Out));
    ExpectRestored();
    // The finalisation flushed the queue: the last bytes are the queued SGR.
    EXPECT_EQ(Out, "\x1b(U\x1b[0m" + ConsoleUp + "\x1b[1;44m");
}

// Standard input is a pipe; the pty is only the output terminal. The parent
// closes the pipe once the console is up, while the child waits for keys.
TEST_F(TerminalRestore, AfterEndOfInputInEveryKindOfKeyLoop) {
    const std::pair<const char*, std::function<void()>> Loops[] = {
        {"ReadKey",
         [] {
             for (;;) ReadKey();
         }},
        {"KeyPressedThenReadKey",
         [] {
             for (;;)
                 if (KeyPressed()) ReadKey();
         }},
        {"WaitKeyThenReadKey",
         [] {
             for (;;)
                 if (WaitKey(-1)) ReadKey();
         }},
        {"Purge",
         [] {
             for (;;) Keyboard->Purge();
         }},
        {"ReadKeyAfterEscape",
         [] {
             for (;;) ReadKey();
         }}, // the input ends inside a sequence
    };
    for (const auto& [Name, Loop] : Loops) {
        SCOPED_TRACE(Name);
        int Pipe[2];
        ASSERT_EQ(pipe(Pipe), 0);
        pid_t Pid = StartChild(
            [&Loop = Loop] {
                InitConsole();
                Loop();
            },
            {Master(), RealStdin(), RealStdout(), Pipe[1]}, Pipe[0]);
        close(Pipe[0]);
        std::string Out;
        EXPECT_TRUE(WaitForOutput(Master(), Out, ConsoleUp));
        if (std::string(Name) == "ReadKeyAfterEscape") {
            ASSERT_EQ(write(Pipe[1], "ab\x1b[", 4), 4);
        }
        close(Pipe[1]);
        ExpectCleanExit(WaitChild(Pid, Master(), Out));
        ExpectRestored();
    }
}

TEST_F(TerminalRestore, WhenStandardInputIsClosedOrEmpty) {
    const std::pair<const char*, std::function<void()>> Inputs[] = {
        {"Closed", [] { close(0); }},
        {"DevNull",
         [] {
             int Fd = open("/dev/null", O_RDONLY);
             dup2(Fd, 0);
             close(Fd);
         }},
    };
    // A closed descriptor cannot even be waited on: the loops that only poll
    // or wait must end the program too, not read "no input" for ever.
    const std::pair<const char*, std::function<void()>> Loops[] = {
        {"ReadKey",
         [] {
             for (;;) ReadKey();
         }},
        {"KeyPressed",
         [] {
             for (;;) KeyPressed();
         }},
        {"WaitKey",
         [] {
             for (;;) WaitKey(-1);
         }},
    };
    for (const auto& [Name, MakeInput] : Inputs) {
        for (const auto& [LoopName, Loop] : Loops) {
            // /dev/null is always readable (at its end): only a loop that
            // reads can meet that end.
            if (std::string(Name) == "DevNull" && std::string(LoopName) != "ReadKey") continue;
            SCOPED_TRACE(std::string(Name) + " " + LoopName);
            pid_t Pid = StartChild(
                [&MakeInput = MakeInput, &Loop = Loop] {
                    MakeInput();
                    InitConsole();
                    Loop();
                },
                {Master(), RealStdin(), RealStdout()});
            std::string Out;
            ExpectCleanExit(WaitChild(Pid, Master(), Out));
            ExpectRestored();
        }
    }
}

void Throw() {
    throw std::runtime_error("nobody catches this");
}
void (*volatile ThrowUncaught)() = Throw;

// An exception nobody catches aborts the process without the atexit
// finalisation; the terminal must come back all the same.
TEST_F(TerminalRestore, AfterAnUncaughtException) {
    pid_t Pid = StartChild(
        [] {
            InitConsole();
            // Thrown through a noexcept frame: the test framework around the
            // child cannot catch it, so it ends in std::terminate.
            []() noexcept { ThrowUncaught(); }();
        },
        {Master(), RealStdin(), RealStdout()});
    std::string Out;
    ChildEnd End = WaitChild(Pid, Master(), Out);
    ASSERT_TRUE(End.Ended);
    EXPECT_TRUE(WIFSIGNALED(End.Status) && WTERMSIG(End.Status) == SIGABRT);
    ExpectRestored();
}

// The terminal itself goes away: closing the pty master hangs up the slave,
// whose reads then fail. The reader must end the program rather than spin.
TEST(TerminalHangUp, EndsTheProgramWaitingForKeys) {
    int Master = -1, Slave = -1;
    ASSERT_EQ(openpty(&Master, &Slave, nullptr, nullptr, nullptr), 0);
    fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK);
    pid_t Pid = StartChild(
        [Slave] {
            dup2(Slave, 0);
            dup2(Slave, 1);
            close(Slave);
            signal(SIGHUP, SIG_IGN); // the hang-up must end it by its reads alone
            InitConsole();
            for (;;) ReadKey();
        },
        {Master});
    close(Slave);
    std::string Out;
    EXPECT_TRUE(WaitForOutput(Master, Out, ConsoleUp));
    close(Master);
    ExpectCleanExit(WaitChild(Pid, -1, Out));
}

} // namespace
