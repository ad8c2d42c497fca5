// Fuzzes the message search and the content flags over a message text of
// random bytes. The text test on the stored bytes (RawTextHit) must give
// exactly the answer of the line rule (Hit on each line the base reader makes,
// FuzzLines.h: CR or CR LF ends a line, lines are whole, the bytes after the
// last line end are a line; a hit on some line, else "gave up" on some line,
// else none),
// and so must TextHit over those lines, for plain texts and regular
// expressions. ContentFlags names each of P, U, L, N, E, B at most
// once, in the order of the line where each is first found, P U L N E B
// within a line. The stored text lies in a buffer of its exact size, so a
// read past either end is caught.
//
// Input layout:
//   byte 0  bit 0: regular expression; bit 1: the search text is cut from the
//           message text rather than read from the input; bit 2: its letters
//           change case (plain search is blind to case)
//   byte 1  the length of the search text
//   byte 2  where in the message text the cut starts (in 256ths of its length)
//   then the search text (unless cut from the message), then the message text.
// Seeds: fuzz/corpus/MsgSearchFuzz.

#include "FuzzLines.h"
#include "app/MsgPages.h"
#include "support/StrUtil.h"
#include "support/StringList.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view FlagOrder = "PULNEB";

void Fail(const char* What, const std::string& Search, bool RegEx) {
    std::fprintf(stderr, "MsgSearchFuzz: %s (%s search \"%s\")\n", What, RegEx ? "regex" : "plain",
                 Search.c_str());
    std::abort();
}

char FlipCase(char C) {
    if (C >= 'a' && C <= 'z') return char(C - 32);
    if (C >= 'A' && C <= 'Z') return char(C + 32);
    return C;
}

// The flags of the whole text built line by line from the flags of each line
// alone; each line's own letters must already be unique and in test order.
void CheckFlags(const TStringList& Lines) {
    std::string want;
    for (const std::string& line : Lines) {
        TStringList one;
        one.Add(line);
        std::string own = ContentFlags(one);
        for (std::size_t i = 0; i < own.size(); ++i) {
            std::size_t at = FlagOrder.find(own[i]);
            if (at == std::string_view::npos || (i > 0 && at <= FlagOrder.find(own[i - 1])))
                Fail("flags of one line out of order", own, false);
            char c = own[i];
            if (want.find(c) == std::string::npos) want += c;
        }
    }
    if (ContentFlags(Lines) != want) Fail("flags differ from the line-by-line flags", want, false);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 3) return 0;
    const bool regEx = Data[0] & 1, fromText = Data[0] & 2, flip = Data[0] & 4;
    const std::size_t searchLen = Data[1];
    std::string_view rest(reinterpret_cast<const char*>(Data + 3), Size - 3);
    std::string search;
    if (!fromText) {
        search.assign(rest.substr(0, searchLen));
        rest.remove_prefix(search.size());
    }
    rest = rest.substr(0, TSearcher::MaxRawText);
    if (fromText) search.assign(rest.substr(rest.size() * Data[2] / 256, searchLen));
    if (flip)
        for (char& c : search) c = FlipCase(c);

    // The stored text in a buffer of its own size.
    auto stored = std::make_unique<char[]>(rest.size());
    std::copy(rest.begin(), rest.end(), stored.get());
    TStringList lines = SplitLines(rest);

    TSearcher s(search, regEx);
    // Yes when a line matches, else GaveUp when a line could not be tested.
    TMatch lineRule = TMatch::No;
    for (const std::string& line : lines) {
        TMatch m = s.Hit(line);
        if (m == TMatch::Yes || (m == TMatch::GaveUp && lineRule == TMatch::No)) lineRule = m;
    }
    if (!s.Ok() && lineRule != TMatch::No) Fail("a rejected pattern found a line", search, regEx);
    if (s.TextHit(lines) != lineRule) Fail("TextHit differs from Hit per line", search, regEx);
    if (s.RawTextHit(stored.get(), rest.size()) != lineRule)
        Fail("RawTextHit differs from Hit per line", search, regEx);

    CheckFlags(lines);
    return 0;
}
