// SearchBench [COUNT]: the search of the message list against grep. Builds a
// base of COUNT (default 100000) messages of about 2 KB and a text file of the
// same lines, then times a plain search (any case) and a regular-expression
// search over the base next to "grep -c -i" and "grep -c -P" over the file
// (both with LC_ALL=C: bytes, as the program reads them; "grep -i" also
// under C.UTF-8, the usual setting, where it is slower). Best of three after
// a warm-up, so everything reads a warm cache. Both searches are timed again
// with the stop test the program uses (a clock read per message and per
// match, a poll of standard input every 30 ms), to show what listening for
// Esc costs.
//
// Then runaway lines: what one line of letters costs a pattern that
// backtracks without end, "(\w|\w\w)*\d", on 255- and 79-byte lines, with
// and without JIT. First until the backtracker gives up at its limit (an
// empty atomic group in front keeps the DFA matcher out and changes nothing
// else), then as the program runs it: the first line gives up and goes to
// the DFA matcher, which then goes first for every later line.

#include "BenchBase.h"
#include "app/MsgPages.h"

#include <chrono>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

const std::string Special = "ask the QuorVex sysop at 2:5020/100 about it";
const std::string PlainText = "quorvex";
const std::string RegExText = R"(Quor[A-Za-z]+ sysop at \d+:\d+/\d+)";

// Runs argv with LC_ALL=C, its output to the file Out (not /dev/null, where
// grep would stop at the first hit); false when it failed to run.
bool RunQuiet(std::vector<std::string> Args, const std::string& Out, const char* Locale = "C") {
    std::vector<char*> argv;
    for (auto& a : Args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string lc = std::string("LC_ALL=") + Locale;
    char* envp[] = {lc.data(), nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, Out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), envp);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) <= 1;
}

// The program's stop test, polling standard input instead of the keyboard
// reader (which needs a terminal); it never says stop here.
void ProgramStop(TSearcher& S) {
    S.Stop = [] {
        pollfd p{0, POLLIN, 0};
        poll(&p, 1, 0);
        return false;
    };
    S.StopIntervalMs = 30;
}

// Milliseconds per call of Matches on Line, over Count calls after Skip
// untimed ones; the answer of the last call in Answer.
double PerLine(TRegEx& Re, const std::string& Line, int Skip, int Count, TMatch& Answer) {
    for (int i = 0; i < Skip; ++i) Answer = Re.Matches(Line);
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < Count; ++i) Answer = Re.Matches(Line);
    std::chrono::duration<double, std::milli> d = std::chrono::steady_clock::now() - t0;
    return d.count() / Count;
}

const char* AnswerName(TMatch M) {
    return M == TMatch::Yes ? "match" : M == TMatch::No ? "no match" : "gave up";
}

void RunawayLines() {
    printf("runaway lines, (\\w|\\w\\w)*\\d on letters, ms per line:\n");
    for (std::size_t len : {std::size_t(255), std::size_t(79)}) {
        std::string line;
        for (std::size_t i = 0; i < len; ++i) line += char('a' + i % 26);
        for (bool jit : {true, false}) {
            TMatch answer = TMatch::No;
            TRegEx giveUp;
            giveUp.Compile("(?>)(\\w|\\w\\w)*\\d", jit);
            double toLimit = PerLine(giveUp, line, 0, jit ? 20 : 5, answer);
            const char* limitAnswer = AnswerName(answer);
            TRegEx program;
            program.Compile("(\\w|\\w\\w)*\\d", jit);
            double first = PerLine(program, line, 0, 1, answer);
            double later = PerLine(program, line, 0, 200, answer);
            printf("  %3zu bytes %-6s to the limit %8.2f (%s)   program: first line %8.2f, "
                   "later lines %6.3f (%s)\n",
                   len, jit ? "JIT" : "no JIT", toLimit, limitAnswer, first, later,
                   AnswerName(answer));
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    int32_t count = argc > 1 ? atoi(argv[1]) : 100000;
    if (count <= 0) {
        fprintf(stderr, "usage: SearchBench [COUNT]\n");
        return 2;
    }
    std::string dir = bench::MakeTempDir("SearchBench");
    if (dir.empty()) return 1;
    std::string base = dir + "/bench", textFile = dir + "/text.txt", outFile = dir + "/grep.out";
    bench::TextMaker maker;
    std::string all;
    bool built = bench::BuildBase(base, count, [&](int32_t n) {
        std::string t = maker.Make(n, 2048, 100, Special);
        all += t;
        return t;
    });
    for (char& c : all)
        if (c == '\r') c = '\n';
    {
        bench::LeWriter f(textFile);
        f.Str(all);
        built = f.Close() && built;
    }
    all = std::string();
    if (!built) {
        fprintf(stderr, "SearchBench: could not write the base\n");
        return 1;
    }
    TJamBase b;
    b.BasePath = base;
    if (!b.Open()) return 1;
    size_t plainHits = 0, reHits = 0;
    double plain = bench::BestOfThree([&] {
        TSearcher s(PlainText, false);
        plainHits = SearchRows(b, s).Rows.size();
    });
    double re = bench::BestOfThree([&] {
        TSearcher s(RegExText, true);
        reHits = SearchRows(b, s).Rows.size();
    });
    double plainStop = bench::BestOfThree([&] {
        TSearcher s(PlainText, false);
        ProgramStop(s);
        plainHits = SearchRows(b, s).Rows.size();
    });
    double reStop = bench::BestOfThree([&] {
        TSearcher s(RegExText, true);
        ProgramStop(s);
        reHits = SearchRows(b, s).Rows.size();
    });
    double grepI = bench::BestOfThree([&] {
        RunQuiet({"grep", "-c", "-i", PlainText, textFile}, outFile);
    });
    double grepP = bench::BestOfThree([&] {
        RunQuiet({"grep", "-c", "-P", RegExText, textFile}, outFile);
    });
    double grepIUtf8 = bench::BestOfThree([&] {
        RunQuiet({"grep", "-c", "-i", PlainText, textFile}, outFile, "C.UTF-8");
    });
    printf("base of %d messages, %.0f MB of text\n", count, double(b.TxtStream->Size()) / 1e6);
    printf("plain search   %8.1f ms (%zu hits)   grep -c -i %8.1f ms   ratio %.2f (aim <= 0.20)\n",
           plain, plainHits, grepI, plain / grepI);
    printf("               (grep -c -i under LC_ALL=C.UTF-8: %.1f ms, ratio %.2f)\n", grepIUtf8,
           plain / grepIUtf8);
    printf("regex search   %8.1f ms (%zu hits)   grep -c -P %8.1f ms   ratio %.2f (aim <= 0.50)\n",
           re, reHits, grepP, re / grepP);
    printf("with the stop test: plain %8.1f ms (%+.1f%%), regex %8.1f ms (%+.1f%%)\n", plainStop,
           100 * (plainStop / plain - 1), reStop, 100 * (reStop / re - 1));
    RunawayLines();
    bench::RemoveBase(base);
    unlink(textFile.c_str());
    unlink(outFile.c_str());
    rmdir(dir.c_str());
    return 0;
}
