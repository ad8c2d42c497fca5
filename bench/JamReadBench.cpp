// JamReadBench [COUNT]: how much reading a whole base through TJamBase costs
// next to reading its files plainly. Builds a base of COUNT (default 100000)
// messages of about 2 KB in a temporary directory, then times ReadMessage of
// every message and a read(2) of the header, index and text files in 64 KB
// blocks: best of three runs after one warm-up, so both read a warm cache.
//
// Then a page over damaged lengths: 22 headers whose TxtLen a crash left at
// about 2 GiB, over a text file that is one 2 GiB hole. It times reading
// those 22 texts and filling the page they make (PageRows: headers, texts and
// content flags), once each, as the first page of such a base costs.

#include "BenchBase.h"
#include "app/MsgPages.h"
#include "jam/JamBase.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// A base of one page of messages whose texts claim nearly 2 GiB each, all of
// them over the hole of a sparse text file.
bool BuildDamagedBase(const std::string& Base) {
    if (!bench::BuildBase(Base, PageSize, [](int32_t) { return std::string(); })) return false;
    constexpr int32_t claimed = 0x7FFFF000;
    const int64_t hdrStart = JamHdrSize;
    int fd = open((Base + ".jhr").c_str(), O_RDWR);
    if (fd < 0) return false;
    bool ok = true;
    int64_t at = hdrStart;
    for (int32_t n = 0; n < PageSize && ok; ++n) {
        char fixed[JamMsgHdrSize];
        ok = pread(fd, fixed, sizeof fixed, at) == JamMsgHdrSize;
        int32_t subLen = 0, txt[2] = {0, claimed};
        std::memcpy(&subLen, fixed + 8, 4);
        ok = ok && pwrite(fd, txt, sizeof txt, at + 60) == sizeof txt;
        at += JamMsgHdrSize + subLen;
    }
    ok = close(fd) == 0 && ok;
    return ok && truncate((Base + ".jdt").c_str(), int64_t(claimed) + 4096) == 0;
}

double TimeOnce(const std::function<void()>& Run) {
    auto t0 = std::chrono::steady_clock::now();
    Run();
    std::chrono::duration<double, std::milli> d = std::chrono::steady_clock::now() - t0;
    return d.count();
}

void DamagedPage(const std::string& Dir) {
    const std::string base = Dir + "/damaged";
    TJamBase b;
    b.BasePath = base;
    if (!BuildDamagedBase(base) || !b.Open()) {
        fprintf(stderr, "JamReadBench: could not build the damaged base\n");
    } else {
        int64_t bytes = 0;
        double readMs = TimeOnce([&] {
            for (int32_t n = 1; n <= PageSize; ++n)
                if (b.ReadMessage(n))
                    for (const std::string& line : b.MsgText) bytes += int64_t(line.size());
        });
        std::size_t rows = 0;
        double pageMs = TimeOnce([&] { rows = PageRows(b, 1).size(); });
        printf("damaged page: %d texts claiming 2 GiB each over a hole\n", PageSize);
        printf("  ReadMessage of the %d:     %9.1f ms (%.1f MB of lines)\n", PageSize, readMs,
               double(bytes) / (1024.0 * 1024.0));
        printf("  PageRows of the page:     %9.1f ms (%zu rows)\n", pageMs, rows);
    }
    bench::RemoveBase(base);
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
    if (rc == 0) DamagedPage(dir);
    RemoveBase(dir, base);
    return rc;
}
