// StartupBench: start-up time and memory of the real quorvex. Builds bases of
// 1,000 and 1,000,000 messages, runs the program on each in a pseudo-terminal
// of 80x25 and measures the time from the start to the first full screen (the
// frame drawn again after the list's highlighted row). Then it pages through
// the base (first, last, 300 pages forward and back), searches it once, and
// reads the peak resident size (VmHWM): paging must not grow with the base,
// and a search adds only its result rows. Best of three starts.

#include "BenchBase.h"

#include <fstream>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>

namespace {

struct Run {
    pid_t Pid = -1;
    int Fd = -1;
    std::string Out;

    // Reads until Text has appeared Times times since Mark; false after 120 s.
    bool WaitFor(const std::string& Text, int Times, std::size_t Mark = 0) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        for (;;) {
            int seen = 0;
            for (std::size_t at = Out.find(Text, Mark); at != std::string::npos;
                 at = Out.find(Text, at + 1))
                ++seen;
            if (seen >= Times) return true;
            if (std::chrono::steady_clock::now() > until) return false;
            pollfd p{Fd, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char buf[65536];
            ssize_t n = read(Fd, buf, sizeof buf);
            if (n <= 0) return false;
            Out.append(buf, std::size_t(n));
        }
    }
    void Type(const std::string& Keys) {
        for (std::size_t at = 0; at < Keys.size();) {
            ssize_t n = write(Fd, Keys.data() + at, Keys.size() - at);
            if (n <= 0) return;
            at += std::size_t(n);
            // Keep the pty's input queue from filling while the program works.
            std::string drain;
            pollfd p{Fd, POLLIN, 0};
            while (poll(&p, 1, 0) > 0) {
                char buf[65536];
                ssize_t r = read(Fd, buf, sizeof buf);
                if (r <= 0) break;
                Out.append(buf, std::size_t(r));
            }
        }
    }
    // Every key typed so far has been handled.
    void Barrier() {
        std::size_t mark = Out.size();
        Type("*");
        WaitFor("Total Msgs", 1, mark);
        Type("x");
    }
    long PeakKb() const {
        std::ifstream f("/proc/" + std::to_string(Pid) + "/status");
        for (std::string l; std::getline(f, l);)
            if (l.rfind("VmHWM:", 0) == 0) return atol(l.c_str() + 6);
        return -1;
    }
    void Quit() {
        Type("\x1b");
        WaitFor("Are you sure to exit?", 1);
        Type("\r");
        int status = 0;
        waitpid(Pid, &status, 0);
        close(Fd);
    }
};

// Starts quorvex on Base; the time to the first full screen in ms.
double Start(Run& R, const std::string& Base) {
    winsize ws{25, 80, 0, 0};
    auto t0 = std::chrono::steady_clock::now();
    R.Pid = forkpty(&R.Fd, nullptr, nullptr, &ws);
    if (R.Pid == 0) {
        execl(QUORVEX_PATH, "quorvex", Base.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (R.Pid < 0 || !R.WaitFor("ESC/Quit # H/Help | ", 2)) return -1;
    std::chrono::duration<double, std::milli> d = std::chrono::steady_clock::now() - t0;
    return d.count();
}

void Measure(const std::string& Dir, int32_t Count) {
    std::string base = Dir + "/b" + std::to_string(Count);
    bench::TextMaker maker;
    if (!bench::BuildBase(base, Count, [&](int32_t n) { return maker.Make(n, 200, 0, ""); })) {
        fprintf(stderr, "StartupBench: could not write the base\n");
        return;
    }
    double best = 0;
    for (int i = 0; i < 4; ++i) { // the first run warms the cache
        Run r;
        double t = Start(r, base);
        r.Quit();
        if (i == 1 || (i > 1 && t < best)) best = t;
    }
    Run r;
    Start(r, base);
    long startKb = r.PeakKb();
    std::string keys = "<>";
    for (int i = 0; i < 300; ++i) keys += "]";
    for (int i = 0; i < 300; ++i) keys += "[";
    keys += "><";
    r.Type(keys);
    r.Barrier();
    long pagedKb = r.PeakKb();
    std::size_t mark = r.Out.size();
    r.Type("Fmessage 1234\r"); // 111 hits among a million
    r.WaitFor("Make RegEx Search?", 1, mark);
    r.Type("n");
    r.WaitFor("Search Mode:", 1, mark);
    r.Barrier();
    long searchKb = r.PeakKb();
    r.Quit();
    printf("%9d messages: first screen %6.1f ms; peak resident %6ld KiB at start, %6ld KiB "
           "after paging, %6ld KiB after a search\n",
           Count, best, startKb, pagedKb, searchKb);
    bench::RemoveBase(base);
}

} // namespace

int main() {
    signal(SIGPIPE, SIG_IGN);
    std::string dir = bench::MakeTempDir("StartupBench");
    if (dir.empty()) return 1;
    Measure(dir, 1000);
    Measure(dir, 1000000);
    rmdir(dir.c_str());
    return 0;
}
