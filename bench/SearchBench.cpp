// SearchBench [COUNT]: the search of the message list against grep. Builds a
// base of COUNT (default 100000) messages of about 2 KB and a text file of the
// same lines, then times a plain search (any case) and a regular-expression
// search over the base next to "grep -c -i" and "grep -c -P" over the file
// (both with LC_ALL=C: bytes, as the program reads them; "grep -i" also
// under C.UTF-8, the usual setting, where it is slower). Best of three after
// a warm-up, so everything reads a warm cache.

#include "BenchBase.h"
#include "app/MsgPages.h"

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
    bench::RemoveBase(base);
    unlink(textFile.c_str());
    unlink(outFile.c_str());
    rmdir(dir.c_str());
    return 0;
}
