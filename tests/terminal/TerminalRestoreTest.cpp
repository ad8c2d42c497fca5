// The terminal always comes back: a forked child with a pty slave as its
// terminal starts the console and then ends by itself in one of the ways a
// run can end. The parent checks that the child ended (a generous bound
// catches a reader spinning or blocked after its input is gone), with exit
// code 0, and that the slave's settings are the ones from before.
#include "support/FileDesc.h"
#include "terminal/Console.h"
#include "tests/common/PtyFixture.h"
#include "tests/common/TempDirFixture.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <sys/mman.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr auto EndBound = std::chrono::seconds(10);
const std::string ConsoleUp = "\x1b[2J\x1b[1;1H"; // the last start-up bytes

// Reads what is there on the non-blocking master; false once it is gone.
bool DrainMaster(int Master, std::string& Out) {
    char buf[4096];
    for (;;) {
        ssize_t n = read(Master, buf, sizeof buf);
        if (n > 0) {
            Out.append(buf, static_cast<size_t>(n));
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EINTR);
    }
}

// Starts Body in a child. Its descriptors are the parent's, except that fd 0
// becomes StdinFd when one is given; CloseInChild are closed in the child, so
// that only the parent holds them. When Body returns, the child leaves
// through exit(0), as a return from main would.
pid_t StartChild(const std::function<void()>& Body, std::initializer_list<int> CloseInChild,
                 int StdinFd = -1) {
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid != 0) return pid;
    for (int fd : CloseInChild) close(fd);
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
    ChildEnd end;
    const auto until = std::chrono::steady_clock::now() + EndBound;
    while (std::chrono::steady_clock::now() < until) {
        if (Master >= 0) DrainMaster(Master, Out);
        pid_t r = waitpid(Pid, &end.Status, WNOHANG);
        if (r == Pid) {
            end.Ended = true;
            if (Master >= 0) DrainMaster(Master, Out);
            return end;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(Pid, SIGKILL);
    waitpid(Pid, &end.Status, 0);
    return end;
}

// Reads the master until Needle has arrived (or the bound passes).
bool WaitForOutput(int Master, std::string& Out, const std::string& Needle) {
    const auto until = std::chrono::steady_clock::now() + EndBound;
    while (Out.find(Needle) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= until) return false;
        DrainMaster(Master, Out);
        pollfd p{Master, POLLIN, 50};
        poll(&p, 1, 50);
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
        termios t = SlaveSettings();
        t.c_iflag |= IXANY | IUTF8;
        t.c_lflag |= ECHOCTL | ECHOPRT;
        t.c_cc[VINTR] = 0x18;
        t.c_cc[VMIN] = 3;
        t.c_cc[VTIME] = 7;
        ASSERT_EQ(tcsetattr(Slave(), TCSANOW, &t), 0);
        Before = SlaveSettings();
    }

    void ExpectRestored() {
        EXPECT_TRUE(SameSettings(SlaveSettings(), Before))
            << "the child left the terminal with other settings";
    }

    // A child with the console up and a file armed in a fresh directory runs
    // Bring, then waits for keys; without a Bring the parent sends Sig once
    // the file is there. The child must end by Sig, the file gone and the
    // terminal back.
    void ExpectArmedChildEndsBy(int Sig, const std::function<void()>& Bring = {}) {
        TempDir dir;
        const std::string tmpl = dir / "quorvex-XXXXXX";
        pid_t pid = StartChild(
            [&] {
                InitConsole();
                std::string name = tmpl;
                if (CreateArmedFile(name) < 0) std::exit(1);
                WriteText("armed");
                FlushScreen();
                if (Bring) Bring();
                for (;;) ReadKey();
            },
            {Master(), RealStdin(), RealStdout()});
        std::string out;
        ASSERT_TRUE(WaitForOutput(Master(), out, "armed"));
        if (!Bring) kill(pid, Sig);
        ChildEnd end = WaitChild(pid, Master(), out);
        EXPECT_TRUE(end.Ended) << "the child went on after the signal";
        EXPECT_TRUE(WIFSIGNALED(end.Status) && WTERMSIG(end.Status) == Sig)
            << "status " << end.Status;
        EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
        ExpectRestored();
    }
};

TEST_F(TerminalRestore, AfterNormalEnd) {
    pid_t pid = StartChild(
        [] {
            InitConsole();
            WriteXY(1, 1, 0x1F, "working");
        },
        {Master(), RealStdin(), RealStdout()});
    std::string out;
    ExpectCleanExit(WaitChild(pid, Master(), out));
    ExpectRestored();
    EXPECT_NE(out.find("working"), std::string::npos);
}

TEST_F(TerminalRestore, AfterExitRightAfterStartUp) {
    pid_t pid = StartChild(
        [] {
            InitConsole();
            std::exit(0);
        },
        {Master(), RealStdin(), RealStdout()});
    std::string out;
    ExpectCleanExit(WaitChild(pid, Master(), out));
    ExpectRestored();
    EXPECT_EQ(out, "\x1b(U\x1b[0m" + ConsoleUp);
}

TEST_F(TerminalRestore, AfterExitFromInsideNestedCalls) {
    pid_t pid = StartChild(
        [] {
            InitConsole();
            Nested(5, [] {
                SetTextAttr(0x1F); // still queued when exit is called
                std::exit(0);
            });
        },
        {Master(), RealStdin(), RealStdout()});
    std::string out;
    ExpectCleanExit(WaitChild(pid, Master(), out));
    ExpectRestored();
    // The finalisation flushed the queue: the last bytes are the queued SGR.
    EXPECT_EQ(out, "\x1b(U\x1b[0m" + ConsoleUp + "\x1b[1;44m");
}

// Standard input is a pipe; the pty is only the output terminal. The parent
// closes the pipe once the console is up, while the child waits for keys.
TEST_F(TerminalRestore, AfterEndOfInputInEveryKindOfKeyLoop) {
    const std::pair<const char*, std::function<void()>> loops[] = {
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
    for (const auto& [name, loop] : loops) {
        SCOPED_TRACE(name);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t pid = StartChild(
            [&loop = loop] {
                InitConsole();
                loop();
            },
            {Master(), RealStdin(), RealStdout(), fds[1]}, fds[0]);
        close(fds[0]);
        std::string out;
        EXPECT_TRUE(WaitForOutput(Master(), out, ConsoleUp));
        if (std::string(name) == "ReadKeyAfterEscape") {
            ASSERT_EQ(write(fds[1], "ab\x1b[", 4), 4);
        }
        close(fds[1]);
        ExpectCleanExit(WaitChild(pid, Master(), out));
        ExpectRestored();
    }
}

TEST_F(TerminalRestore, WhenStandardInputIsClosedOrEmpty) {
    const std::pair<const char*, std::function<void()>> inputs[] = {
        {"Closed", [] { close(0); }},
        {"DevNull",
         [] {
             int fd = open("/dev/null", O_RDONLY);
             dup2(fd, 0);
             close(fd);
         }},
    };
    // A closed descriptor cannot even be waited on: the loops that only poll
    // or wait must end the program too, not read "no input" for ever.
    const std::pair<const char*, std::function<void()>> loops[] = {
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
    for (const auto& [name, makeInput] : inputs) {
        for (const auto& [loopName, loop] : loops) {
            // /dev/null is always readable (at its end): only a loop that
            // reads can meet that end.
            if (std::string(name) == "DevNull" && std::string(loopName) != "ReadKey") continue;
            SCOPED_TRACE(std::string(name) + " " + loopName);
            pid_t pid = StartChild(
                [&makeInput = makeInput, &loop = loop] {
                    makeInput();
                    InitConsole();
                    loop();
                },
                {Master(), RealStdin(), RealStdout()});
            std::string out;
            ExpectCleanExit(WaitChild(pid, Master(), out));
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
    pid_t pid = StartChild(
        [] {
            InitConsole();
            // Thrown through a noexcept frame: the test framework around the
            // child cannot catch it, so it ends in std::terminate.
            []() noexcept { ThrowUncaught(); }();
        },
        {Master(), RealStdin(), RealStdout()});
    std::string out;
    ChildEnd end = WaitChild(pid, Master(), out);
    ASSERT_TRUE(end.Ended);
    EXPECT_TRUE(WIFSIGNALED(end.Status) && WTERMSIG(end.Status) == SIGABRT);
    ExpectRestored();
}

// A program killed while it waits for keys runs no exit finalisation; its
// terminal must come back all the same, and it still ends by that signal.
TEST_F(TerminalRestore, AfterASignalThatEndsTheProgram) {
    for (int sig : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
        SCOPED_TRACE(strsignal(sig));
        pid_t pid = StartChild(
            [] {
                InitConsole();
                for (;;) ReadKey();
            },
            {Master(), RealStdin(), RealStdout()});
        std::string out;
        ASSERT_TRUE(WaitForOutput(Master(), out, ConsoleUp));
        kill(pid, sig);
        ChildEnd end = WaitChild(pid, Master(), out);
        ASSERT_TRUE(end.Ended);
        EXPECT_TRUE(WIFSIGNALED(end.Status) && WTERMSIG(end.Status) == sig)
            << "status " << end.Status;
        ExpectRestored();
    }
}

// The file armed for removal (a private temporary file that holds the
// message being shown) goes with the program's end by such a signal, too.
TEST_F(TerminalRestore, ArmedFileGoesWithASignalThatEndsTheProgram) {
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(strsignal(sig));
        ExpectArmedChildEndsBy(sig);
    }
}

void SpinForEver() {
    volatile unsigned n = 0;
    for (;;) n = n + 1;
}

// Every other signal whose default action ends the process does the same:
// terminal back, armed file gone, the process ended by that very signal. So
// does one the kernel sends (a timer, input ready, a breakpoint): unlike a
// fault, it does not come again by itself once the handler returns.
TEST_F(TerminalRestore, EverySignalThatEndsTheProgramRestoresAndRemoves) {
    struct SignalCase {
        std::string Name;
        int Sig;
        std::function<void()> Bring; // in the child; none: the parent sends Sig
    };
    std::vector<SignalCase> cases;
    for (int sig : {SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE, SIGVTALRM, SIGPROF, SIGXCPU, SIGTRAP,
                    SIGSYS, SIGIO, SIGPWR, SIGSTKFLT, SIGRTMIN, SIGRTMIN + 3})
        cases.push_back({std::string("sent ") + strsignal(sig), sig, {}});
    cases.push_back({"alarm", SIGALRM, [] { alarm(1); }});
    cases.push_back({"virtual timer", SIGVTALRM, [] {
                         itimerval t{};
                         t.it_value.tv_usec = 10000;
                         setitimer(ITIMER_VIRTUAL, &t, nullptr);
                         SpinForEver();
                     }});
    // Input ready on a descriptor that asked for SIGIO by name: the kernel's
    // details (a positive si_code, as a fault's) tell of no fault.
    cases.push_back({"input ready", SIGIO, [] {
                         int fds[2];
                         if (pipe(fds) != 0 || fcntl(fds[0], F_SETOWN, getpid()) != 0 ||
                             fcntl(fds[0], F_SETSIG, SIGIO) != 0 ||
                             fcntl(fds[0], F_SETFL, O_ASYNC) != 0)
                             std::exit(1);
                         (void)!write(fds[1], "x", 1);
                     }});
#if defined(__i386__) || defined(__x86_64__)
    cases.push_back({"breakpoint", SIGTRAP, [] { asm volatile("int3"); }});
#endif
    for (const SignalCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ExpectArmedChildEndsBy(c.Sig, c.Bring);
    }
}

// A crash: a store into a page that may not be written. The process dies of
// it (or a sanitizer's own handler reports it and exits), terminal restored.
TEST_F(TerminalRestore, AfterACrash) {
    pid_t pid = StartChild(
        [] {
            void* page = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            InitConsole();
            *static_cast<volatile char*>(page) = 1;
        },
        {Master(), RealStdin(), RealStdout()});
    std::string out;
    ChildEnd end = WaitChild(pid, Master(), out);
    ASSERT_TRUE(end.Ended);
    EXPECT_FALSE(WIFEXITED(end.Status) && WEXITSTATUS(end.Status) == 0);
    ExpectRestored();
}

// A signal the program was started to ignore stays ignored.
TEST_F(TerminalRestore, AnIgnoredSignalStaysIgnored) {
    pid_t pid = StartChild(
        [] {
            signal(SIGTERM, SIG_IGN);
            InitConsole();
            for (;;) ReadKey();
        },
        {Master(), RealStdin(), RealStdout()});
    std::string out;
    ASSERT_TRUE(WaitForOutput(Master(), out, ConsoleUp));
    kill(pid, SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "SIGTERM ended the program";
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
}

// The terminal itself goes away: closing the pty master hangs up the slave,
// whose reads then fail. The reader must end the program rather than spin.
TEST(TerminalHangUp, EndsTheProgramWaitingForKeys) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    pid_t pid = StartChild(
        [slave] {
            dup2(slave, 0);
            dup2(slave, 1);
            close(slave);
            signal(SIGHUP, SIG_IGN); // the hang-up must end it by its reads alone
            InitConsole();
            for (;;) ReadKey();
        },
        {master});
    close(slave);
    std::string out;
    EXPECT_TRUE(WaitForOutput(master, out, ConsoleUp));
    close(master);
    ExpectCleanExit(WaitChild(pid, -1, out));
}

} // namespace
