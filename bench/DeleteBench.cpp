// DeleteBench [COUNT]: what a deletion costs on a big base. Before it writes,
// a deletion walks every index record (no other record may point inside the
// header it rewrites) and, with purge, every header's text range (the purge
// stops where another message's text starts). Builds a base of COUNT (default
// 1000000) messages of about 200 bytes in a temporary directory and times
// DeleteMsg of messages in its middle, with and without purge: best of three
// after one warm-up, on a warm cache.

#include "BenchBase.h"
#include "jam/JamBase.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const int32_t count = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const std::string dir = bench::MakeTempDir("kv-delete");
    if (dir.empty() || count < 100) return 1;
    const std::string base = dir + "/base";
    bench::TextMaker maker;
    if (!bench::BuildBase(base, count, [&](int32_t n) { return maker.Make(n, 200, 0, ""); })) {
        std::fprintf(stderr, "could not write the base\n");
        return 1;
    }
    TJamBase b;
    b.BasePath = base;
    if (!b.Open() || b.TotalMsgs != count) return 1;
    std::printf("header file %.1f MB, index %.1f MB, text %.1f MB\n",
                double(b.HdrStream->Size()) / 1e6, double(b.IdxStream->Size()) / 1e6,
                double(b.TxtStream->Size()) / 1e6);
    int32_t next = count / 2;
    bool ok = true;
    for (bool purge : {false, true}) {
        const double ms = bench::BestOfThree([&] { ok = b.DeleteMsg(next++, purge) && ok; });
        std::printf("%d messages: DeleteMsg %s purge: %.1f ms\n", count, purge ? "with" : "without",
                    ms);
    }
    bench::RemoveBase(base);
    rmdir(dir.c_str());
    if (!ok) std::fprintf(stderr, "a deletion failed\n");
    return ok ? 0 : 1;
}
