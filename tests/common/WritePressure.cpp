#include "tests/common/WritePressure.h"

#include <poll.h>
#include <pthread.h>
#include <sys/time.h>
#include <unistd.h>
#include <utility>

namespace {

void NoOp(int) {}

} // namespace

bool InterruptingTimer::Works() {
#ifdef KV_TESTS_UNDER_QEMU_I386
    return false;
#else
    return true;
#endif
}

InterruptingTimer::InterruptingTimer() {
    struct sigaction sa {};
    sa.sa_handler = NoOp;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGALRM, &sa, &old);
    itimerval t{{0, 200}, {0, 200}};
    setitimer(ITIMER_REAL, &t, nullptr);
}

InterruptingTimer::~InterruptingTimer() {
    itimerval t{};
    setitimer(ITIMER_REAL, &t, nullptr);
    sigaction(SIGALRM, &old, nullptr);
}

SlowReader::SlowReader(int Fd, std::string EndMark)
    : fd(Fd), endMark(std::move(EndMark)), worker([this] { Run(); }) {}

std::string SlowReader::Finish() {
    worker.join();
    return Done() ? got.substr(0, got.size() - endMark.size()) : got;
}

bool SlowReader::Done() const {
    return !endMark.empty() && got.size() >= endMark.size() &&
           got.compare(got.size() - endMark.size(), endMark.size(), endMark) == 0;
}

void SlowReader::Run() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    char buf[61];
    while (!Done()) {
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, -1);
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n == 0) return;
        if (n > 0) got.append(buf, static_cast<size_t>(n));
        usleep(20); // slow: the writer keeps waiting on a full pipe
    }
}
