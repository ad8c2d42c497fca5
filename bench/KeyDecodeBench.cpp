// KeyDecodeBench: how fast the keyboard reader hands out keys that arrive in
// a burst, as a held arrow key over a slow link delivers them. A pseudo-
// terminal in raw mode takes the place of descriptor 0; 1,000 Down sequences
// (escape "[B") are typed into it at once, and the reader's ReadKey is called
// until every key has come out. Prints keys per second, best of three, and
// whether every key decoded as Down.

#include "terminal/KeyCodes.h"
#include "terminal/m_Input.h"

#include <chrono>
#include <cstdio>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int BurstKeys = 1000;

// Bytes typed and not yet read on descriptor 0.
int Queued() {
    int n = 0;
    ioctl(0, FIONREAD, &n);
    return n;
}

bool TypeAll(int Master, const std::string& Bytes) {
    for (size_t at = 0; at < Bytes.size();) {
        const ssize_t n = write(Master, Bytes.data() + at, Bytes.size() - at);
        if (n <= 0) return false;
        at += static_cast<size_t>(n);
    }
    // The pty hands typed bytes over a moment later: wait until all are there.
    for (int i = 0; i < 5000 && Queued() < static_cast<int>(Bytes.size()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return Queued() == static_cast<int>(Bytes.size());
}

} // namespace

int main() {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    const int savedIn = dup(0);
    dup2(slave, 0);

    std::string burst;
    for (int i = 0; i < BurstKeys; ++i) burst += "\x1b[B";

    double bestMs = 0;
    int wrong = 0;
    for (int round = 0; round < 3; ++round) {
        TInput keys;
        if (!TypeAll(master, burst)) {
            std::fprintf(stderr, "the burst never reached the reader\n");
            return 1;
        }
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < BurstKeys; ++i) {
            const char lead = keys.ReadKey();
            const auto code = static_cast<uint8_t>(keys.ReadKey());
            if (lead != Key::Extended || code != Scan::Down) ++wrong;
        }
        const std::chrono::duration<double, std::milli> d = std::chrono::steady_clock::now() - t0;
        if (round == 0 || d.count() < bestMs) bestMs = d.count();
    }

    dup2(savedIn, 0);
    close(savedIn);
    close(slave);
    close(master);

    std::printf("burst of %d arrow keys on a pty: %.3f ms, %.0f keys/s (best of 3)\n", BurstKeys,
                bestMs, BurstKeys * 1000.0 / bestMs);
    std::printf("keys decoded other than Down: %d\n", wrong);
    return 0;
}
