#include "tests/common/BoxFixture.h"
// The box fixture: select() defined here takes precedence over the C
// library's for every caller in a program that links this object, which is
// how a step runs exactly when the keyboard reader is about to wait.

#include "terminal/Console.h"

#include <cstdlib>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// Runs when the program is about to wait for a key and none is typed: the
// screen is then exactly what the user sees.
std::function<void()> WhenIdle;

} // namespace

// Every select() of the program comes here (the keyboard reader waits with it).
// It is carried out with poll(), which has no time-size variants; a wait
// without a time-out on an empty standard input first runs WhenIdle.
extern "C" int select(int N, fd_set* R, fd_set* W, fd_set* E, struct timeval* T) {
    if (T == nullptr && N == 1 && R != nullptr && FD_ISSET(0, R) && WhenIdle) {
        int pending = 0;
        if (::ioctl(0, FIONREAD, &pending) == 0 && pending == 0) WhenIdle();
    }
    std::vector<pollfd> fds;
    for (int fd = 0; fd < N; ++fd) {
        short events = 0;
        if (R != nullptr && FD_ISSET(fd, R)) events |= POLLIN;
        if (W != nullptr && FD_ISSET(fd, W)) events |= POLLOUT;
        if (E != nullptr && FD_ISSET(fd, E)) events |= POLLPRI;
        if (events != 0) fds.push_back(pollfd{fd, events, 0});
    }
    const int ms =
        T == nullptr ? -1 : static_cast<int>(T->tv_sec * 1000 + (T->tv_usec + 999) / 1000);
    const int got = ::poll(fds.data(), fds.size(), ms);
    if (got < 0) return got;
    if (T != nullptr) *T = timeval{0, 0};
    if (R != nullptr) FD_ZERO(R);
    if (W != nullptr) FD_ZERO(W);
    if (E != nullptr) FD_ZERO(E);
    int ready = 0;
    for (const pollfd& p : fds) {
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) FD_SET(p.fd, R), ++ready;
        if (p.revents & POLLOUT) FD_SET(p.fd, W), ++ready;
        if (p.revents & POLLPRI) FD_SET(p.fd, E), ++ready;
    }
    return ready;
}

MasterDrain::MasterDrain(int Fd) : fd(Fd), reader([this] { Run(); }) {}

MasterDrain::~MasterDrain() {
    stop = true;
    reader.join();
}

void MasterDrain::Run() {
    char buf[4096];
    while (!stop) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5) > 0)
            while (::read(fd, buf, sizeof buf) > 0) {
            }
    }
}

void BoxFixture::SetUp() {
    ConsolePtyFixture::SetUp();
    drain = std::make_unique<MasterDrain>(Master());
    Pattern();
    OnIdle({}, "\r"); // a box that waits for more keys than typed fails, never hangs
}

void BoxFixture::TearDown() {
    ExpectStepsDone();
    drain.reset();
    WhenIdle = nullptr;
    ScreenRows = 25;
    ConsolePtyFixture::TearDown();
}

void BoxFixture::Pattern() {
    for (uint8_t y = 1; y <= 25; ++y) {
        std::string row;
        for (int x = 0; x < 80; ++x) row += static_cast<char>('A' + (x + y) % 26);
        WriteXY(1, y, static_cast<uint8_t>(y % 8 + 0x10 * (y % 3)), row);
    }
    GotoXY(5, 3);
    SetTextAttr(0x1E);
}

void BoxFixture::OnIdle(std::vector<Step> Steps, std::string Fallback) {
    ExpectStepsDone();
    steps = std::move(Steps);
    fallback = std::move(Fallback);
    next = 0;
    WhenIdle = [this] {
        if (next < steps.size()) {
            TypeAndWait(steps[next++]());
            return;
        }
        ADD_FAILURE() << "the program waits for a key the test did not plan";
        if (++next > steps.size() + 5) std::abort();
        TypeAndWait(fallback);
    };
}

void BoxFixture::ExpectStepsDone() const {
    EXPECT_GE(next, steps.size()) << "the program never waited for the keys of a step";
}

std::string BoxFixture::Text(int X, int Y, int Len) {
    std::string s;
    for (int i = 0; i < Len; ++i) s += Screen->Shadow[Y][X + i].Ch;
    return s;
}

void BoxFixture::ExpectRun(int X, int Y, const std::string& Want, uint8_t Attr) {
    SCOPED_TRACE("at column " + std::to_string(X) + " of row " + std::to_string(Y));
    EXPECT_EQ(Hex(Text(X, Y, static_cast<int>(Want.size()))), Hex(Want));
    for (int i = 0; i < static_cast<int>(Want.size()); ++i)
        EXPECT_EQ(Screen->Shadow[Y][X + i].Attr, Attr) << "column " << X + i;
}

void BoxFixture::ExpectPatternBack() {
    const TConsoleScreenRec now = Screen->Shadow;
    Pattern();
    for (int y = 1; y <= 25; ++y) EXPECT_EQ(now[y], Screen->Shadow[y]) << "row " << y;
    EXPECT_EQ(WhereX(), 5);
    EXPECT_EQ(WhereY(), 3);
    EXPECT_EQ(GetTextAttr(), 0x1E);
}
