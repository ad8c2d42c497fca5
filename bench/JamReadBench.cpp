// JamReadBench [COUNT]: how much reading a whole base through TJamBase costs
// next to reading its files plainly. Builds a base of COUNT (default 100000)
// messages of about 2 KB in a temporary directory, then times ReadMessage of
// every message and a read(2) of the header, index and text files in 64 KB
// blocks: best of three runs after one warm-up, so both read a warm cache.

#include "BenchBase.h"
#include "jam/JamBase.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int32_t TextBytes = 2048; // per message, carriage returns included
constexpr int32_t LineBytes = 64;   // per line, its carriage return included

// The text of message n: 32 lines of 63 bytes, each ended by a carriage return.
std::string MessageText(int32_t n) {
    std::string s;
    s.reserve(TextBytes);
    std::string head = "Message " + std::to_string(n) + ", line ";
    for (int32_t line = 0; static_cast<int32_t>(s.size()) < TextBytes; ++line) {
        std::string l = head + std::to_string(line + 1) + ": ";
        while (static_cast<int32_t>(l.size()) < LineBytes - 1) l += "lorem ipsum ";
        l.resize(LineBytes - 1);
        s += l + "\r";
    }
    return s;
}

bool CheckBase(const std::string& Base, int32_t Count) {
    TJamBase b;
    b.BasePath = Base;
    if (!b.Open() || b.TotalMsgs != Count) return false;
    for (int32_t n : {1, Count}) {
        std::string head = "Message " + std::to_string(n) + ",";
        if (!b.ReadMessage(n) || b.MsgSubj != "Benchmark message " + std::to_string(n) ||
            b.MsgText.Count() != TextBytes / LineBytes || b.MsgText[0].rfind(head, 0) != 0)
            return false;
    }
    return true;
}

// Reads every message; the sum of the line counts keeps the work observable.
int64_t ReadAllMessages(const std::string& Base) {
    TJamBase b;
    b.BasePath = Base;
    if (!b.Open()) return -1;
    int64_t lines = 0;
    for (int32_t n = 1; n <= b.TotalMsgs; ++n) {
        if (!b.ReadMessage(n)) return -1;
        lines += b.MsgText.Count() + static_cast<int64_t>(b.MsgFrom.size());
    }
    return lines;
}

int64_t ReadFilesPlainly(const std::string& Base) {
    static std::vector<char> buf(64 * 1024);
    int64_t total = 0;
    for (const char* ext : {".jhr", ".jdx", ".jdt"}) {
        int fd = open((Base + ext).c_str(), O_RDONLY);
        if (fd < 0) return -1;
        ssize_t n;
        while ((n = read(fd, buf.data(), buf.size())) > 0) total += n;
        close(fd);
    }
    return total;
}

// Best of three timed runs after one untimed warm-up, in milliseconds.
double BestOfThree(const std::function<int64_t()>& Run, int64_t& Result) {
    Result = Run();
    double best = 0;
    for (int i = 0; i < 3; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        int64_t r = Run();
        std::chrono::duration<double, std::milli> d = std::chrono::steady_clock::now() - t0;
        if (r != Result) Result = -1;
        if (i == 0 || d.count() < best) best = d.count();
    }
    return best;
}

void RemoveBase(const std::string& Dir, const std::string& Base) {
    for (const char* ext : {".jhr", ".jdx", ".jdt", ".jlr"}) unlink((Base + ext).c_str());
    rmdir(Dir.c_str());
}

} // namespace

int main(int argc, char** argv) {
    int32_t count = 100000;
    if (argc > 2 || (argc == 2 && (count = atoi(argv[1])) <= 0)) {
        fprintf(stderr, "usage: JamReadBench [COUNT]   (messages, default 100000)\n");
        return 2;
    }
    const char* tmp = getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/JamReadBench.XXXXXX";
    if (!mkdtemp(dir.data())) {
        perror("JamReadBench: mkdtemp");
        return 1;
    }
    const std::string base = dir + "/bench";
    int rc = 0;
    int64_t msgResult = 0, plainResult = 0;
    if (!bench::BuildBase(base, count, MessageText) || !CheckBase(base, count)) {
        fprintf(stderr, "JamReadBench: could not build a readable base in %s\n", dir.c_str());
        rc = 1;
    } else {
        double msgMs = BestOfThree([&] { return ReadAllMessages(base); }, msgResult);
        double plainMs = BestOfThree([&] { return ReadFilesPlainly(base); }, plainResult);
        if (msgResult < 0 || plainResult < 0) {
            fprintf(stderr, "JamReadBench: a read failed\n");
            rc = 1;
        } else {
            printf("messages: %d of %d bytes of text; files: %.1f MB\n", count, TextBytes,
                   static_cast<double>(plainResult) / (1024.0 * 1024.0));
            printf("ReadMessage 1..%d:        %9.1f ms\n", count, msgMs);
            printf("read(2) of the 3 files:   %9.1f ms\n", plainMs);
            printf("ratio:                    %9.2f\n", plainMs > 0 ? msgMs / plainMs : 0.0);
        }
    }
    RemoveBase(dir, base);
    return rc;
}
