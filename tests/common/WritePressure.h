#pragma once
// What makes a writer's life hard, for tests that every byte still arrives:
// a timer signal that keeps interrupting blocking writes (short writes and
// EINTR), and a reader on the other end that takes small bites slowly, so the
// pipe or pty stays full and a non-blocking writer keeps hearing "try again".

#include <csignal>
#include <string>
#include <thread>

// A timer signal every 0.2 ms while the object lives, installed without
// SA_RESTART, so that it interrupts (and shortens) blocking calls.
class InterruptingTimer {
public:
    // False where the tests run under qemu-i386: a static i686 program that
    // takes timer signals while a second thread runs aborts there inside the
    // emulator, whatever the code under test does. The same tests run
    // natively, under the sanitizers and under qemu-arm.
    static bool Works();

    InterruptingTimer();
    ~InterruptingTimer();
    InterruptingTimer(const InterruptingTimer&) = delete;
    InterruptingTimer& operator=(const InterruptingTimer&) = delete;

private:
    struct sigaction old {};
};

// Reads Fd in small bites on a thread of its own, which never takes the
// timer's signal. It reads to the end of the file, or with an EndMark until
// that has arrived: the master side of a pty sees no end while the slave is
// open, so the test writes EndMark to the slave when it is done.
class SlowReader {
public:
    explicit SlowReader(int Fd, std::string EndMark = "");
    // Waits for the end; every byte read, without EndMark.
    std::string Finish();

private:
    void Run();
    bool Done() const;
    int fd;
    std::string endMark;
    std::string got;
    std::thread worker;
};
