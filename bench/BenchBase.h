#pragma once
// Shared by the benchmarks (a header, so it is no program of its own): writes
// a JAM base of many messages straight into its files, fast, with texts of
// pseudo-random words, and times things best of three.

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

namespace bench {

// Appends little-endian fields to a file through a 1 MB buffer.
class LeWriter {
public:
    explicit LeWriter(const std::string& Name)
        : FFd(open(Name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)) {}
    ~LeWriter() { Close(); }
    int64_t Pos() const { return FPos; }
    void U16(uint16_t v) { Bytes(&v, 2); } // the hosts that run benchmarks are little-endian
    void I32(int32_t v) { Bytes(&v, 4); }
    void Bytes(const void* p, size_t n) {
        const char* c = static_cast<const char*>(p);
        FBuf.insert(FBuf.end(), c, c + n);
        FPos += static_cast<int64_t>(n);
        if (FBuf.size() >= (1u << 20)) Flush();
    }
    void Str(const std::string& s) { Bytes(s.data(), s.size()); }
    bool Close() {
        if (FFd < 0) return FOk;
        Flush();
        FOk = close(FFd) == 0 && FOk;
        FFd = -1;
        return FOk;
    }

private:
    void Flush() {
        if (FFd >= 0 && !FBuf.empty())
            FOk = write(FFd, FBuf.data(), FBuf.size()) == static_cast<ssize_t>(FBuf.size()) && FOk;
        FBuf.clear();
    }
    int FFd;
    bool FOk = true;
    int64_t FPos = 0;
    std::vector<char> FBuf;
};

inline void Subfield(LeWriter& W, uint16_t LoID, const std::string& Text) {
    W.U16(LoID);
    W.U16(0);
    W.I32(static_cast<int32_t>(Text.size()));
    W.Str(Text);
}

// Text of about Bytes bytes: lines of words up to 70 bytes, each ended by CR.
// Every Every-th message (0: none) gets Special as one more line in the middle.
class TextMaker {
public:
    std::string Make(int32_t N, int32_t Bytes, int32_t Every, const std::string& Special) {
        static const char* const words[] = {
            "the",     "message", "base",   "echo",   "area",   "node",    "point",   "reply",
            "subject", "from",    "to",     "about",  "mail",   "net",     "zone",    "file",
            "sysop",   "BBS",     "modem",  "call",   "today",  "network", "packet",  "tosser",
            "read",    "write",   "thanks", "hello",  "world",  "again",   "later",   "Regards",
            "with",    "and",     "for",    "not",    "but",    "this",    "that",    "there",
            "origin",  "tear",    "line",   "Sunday", "Friday", "weekend", "FidoNet", "poll"};
        std::string s, line;
        s.reserve(size_t(Bytes) + 80);
        bool special = Every > 0 && N % Every == 0;
        while (int32_t(s.size()) < Bytes) {
            const char* w = words[Next() % (sizeof words / sizeof *words)];
            if (line.size() + 1 + std::string(w).size() > 70) {
                s += line + "\r";
                line.clear();
                if (special && int32_t(s.size()) > Bytes / 2) {
                    s += Special + "\r";
                    special = false;
                }
            }
            if (!line.empty()) line += ' ';
            line += w;
        }
        if (!line.empty()) s += line + "\r";
        return s;
    }

private:
    uint32_t Next() {
        FState = FState * 1664525u + 1013904223u;
        return FState >> 8;
    }
    uint32_t FState = 12345;
};

// Writes base Base of Count messages with texts from Text(n). Returns false
// when a file could not be written.
inline bool BuildBase(const std::string& Base, int32_t Count,
                      const std::function<std::string(int32_t)>& Text) {
    LeWriter hdr(Base + ".jhr"), idx(Base + ".jdx"), txt(Base + ".jdt"), lr(Base + ".jlr");
    hdr.Str(std::string("JAM\0", 4));
    for (int32_t v : {0x60000000, 0, Count, -1, 1}) hdr.I32(v);
    hdr.Str(std::string(1000, '\0'));
    for (int32_t n = 1; n <= Count; ++n) {
        std::string from = "User " + std::to_string(n % 977), to = "All";
        std::string subj = "Benchmark message " + std::to_string(n);
        std::string text = Text(n);
        idx.I32(static_cast<int32_t>(StrCrc32(to)));
        idx.I32(static_cast<int32_t>(hdr.Pos()));
        int32_t subLen =
            static_cast<int32_t>(3 * JamSubFieldSize + from.size() + to.size() + subj.size());
        hdr.Str(std::string("JAM\0", 4));
        hdr.U16(1);
        hdr.U16(0);
        hdr.I32(subLen);
        for (int k = 0; k < 6; ++k) hdr.I32(0);
        for (int k = 0; k < 3; ++k) hdr.I32(0x60000000 + n);
        hdr.I32(n);
        hdr.I32(static_cast<int32_t>(MSG_TYPELOCAL));
        hdr.I32(0);
        hdr.I32(static_cast<int32_t>(txt.Pos()));
        hdr.I32(static_cast<int32_t>(text.size()));
        hdr.I32(0);
        hdr.I32(0);
        Subfield(hdr, SENDERNAME, from);
        Subfield(hdr, RECEIVERNAME, to);
        Subfield(hdr, SUBJECT, subj);
        txt.Str(text);
    }
    return hdr.Close() && idx.Close() && txt.Close() && lr.Close();
}

// A fresh directory under $TMPDIR or /tmp; '' on failure.
inline std::string MakeTempDir(const char* Tag) {
    const char* tmp = getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + Tag + ".XXXXXX";
    if (!mkdtemp(dir.data())) return "";
    return dir;
}

inline void RemoveBase(const std::string& Base) {
    for (const char* ext : {".jhr", ".jdx", ".jdt", ".jlr"}) unlink((Base + ext).c_str());
}

// Best of three timed runs after one untimed warm-up, in milliseconds.
inline double BestOfThree(const std::function<void()>& Run) {
    Run();
    double best = 0;
    for (int i = 0; i < 3; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        Run();
        std::chrono::duration<double, std::milli> d = std::chrono::steady_clock::now() - t0;
        if (i == 0 || d.count() < best) best = d.count();
    }
    return best;
}

} // namespace bench
