// The key decoder on its own, with no terminal and no clock: input is given
// as pieces, and the pause runs out after each piece (so one piece is input
// that arrives at once, and a cut between pieces is a silence longer than
// the reader waits). Every case is fed whole and cut at every point.
#include "terminal/KeyCodes.h"
#include "terminal/m_Input_Linux.h"
#include "tests/common/KeyCases.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string Keys(const TKeyBytes& keys) {
    return std::string(reinterpret_cast<const char*>(keys.Bytes), keys.Count);
}

// The key bytes the pieces decode to; the pause runs out after each piece.
std::string Decode(const std::vector<std::string>& pieces) {
    TKeyDecoder decoder;
    std::string out;
    for (const std::string& piece : pieces) {
        for (char c : piece) out += Keys(decoder.Feed(static_cast<uint8_t>(c)));
        out += Keys(decoder.Expire());
        EXPECT_FALSE(decoder.Pending()) << "a run-out pause ends every sequence";
    }
    return out;
}

// The shared table whole: plain bytes and escape sequences.
const std::vector<KeyCase>& WholeCases() {
    static const std::vector<KeyCase> cases = [] {
        std::vector<KeyCase> all = PlainKeyCases();
        all.insert(all.end(), EscapeKeyCases().begin(), EscapeKeyCases().end());
        return all;
    }();
    return cases;
}

TEST(KeyDecoder, EveryRuleDecodesAsTheKeyboardConventionSays) {
    for (const KeyCase& c : WholeCases()) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(Decode({c.In}), c.Want);
    }
}

// A silence longer than the pause ends a sequence where it stands, and the
// bytes after it are keys of their own.
TEST(KeyDecoder, APauseSplitsASequenceForGood) {
    struct Split {
        const char* Name;
        std::vector<std::string> Pieces;
        std::string Want;
    };
    const std::vector<Split> splits = {
        {"EscThenBracketA", {"\x1b", "[A"}, "\x1b[A"},
        {"EscThenLetter", {"\x1b", "x"}, "\x1bx"},
        {"EscThenEsc", {"\x1b", "\x1b"}, "\x1b\x1b"},
        {"BracketThenA", {"\x1b[", "A"}, "A"},
        {"OThenP", {"\x1bO", "P"}, "P"},
        {"DoubleBracketThenA", {"\x1b[[", "A"}, "A"},
        {"OneThenFiveTilde", {"\x1b[1", "5~"}, "5~"},
        {"FifteenThenTilde", {"\x1b[15", "~"}, "~"},
        {"PgUpThenTilde", {"\x1b[5", "~"}, ExtKey(Scan::PgUp) + "~"},
        {"F6ThenTilde", {"\x1b[17", "~"}, ExtKey(Scan::F6) + "~"},
        {"PlainKeys", {"a", "b"}, "ab"},
        {"EscThenDel", {"\x1b", "\x7f"}, "\x1b\b"},
    };
    for (const Split& s : splits) {
        SCOPED_TRACE(s.Name);
        EXPECT_EQ(Decode(s.Pieces), s.Want);
    }
}

// Cut anywhere, a case decodes as its two halves decoded apart: nothing of
// the first half's sequence survives the pause.
TEST(KeyDecoder, NothingCarriesOverAPause) {
    for (const KeyCase& c : WholeCases()) {
        for (size_t cut = 1; cut < c.In.size(); cut++) {
            SCOPED_TRACE(std::string(c.Name) + " cut at " + std::to_string(cut));
            const std::string head = c.In.substr(0, cut), tail = c.In.substr(cut);
            EXPECT_EQ(Decode({head, tail}), Decode({head}) + Decode({tail}));
        }
    }
}

// Walks every byte from every state the decoder can reach: a key is complete
// after at most five bytes, whatever they are, and no extended key comes out
// with the scan code 0.
TEST(KeyDecoder, EveryKeyEndsWithinFiveBytes) {
    std::vector<std::pair<TKeyDecoder, int>> open = {{TKeyDecoder{}, 0}};
    int walked = 0;
    while (!open.empty()) {
        auto [decoder, depth] = open.back();
        open.pop_back();
        ASSERT_LT(depth, 5) << "state " << int(decoder.State) << " still open after 5 bytes";
        for (int b = 0; b < 256; b++) {
            TKeyDecoder next = decoder;
            const TKeyBytes keys = next.Feed(static_cast<uint8_t>(b));
            walked++;
            if (depth > 0 && keys.Count >= 2 && keys.Bytes[0] == 0) {
                EXPECT_NE(keys.Bytes[1], 0);
            }
            if (next.Pending()) open.push_back({next, depth + 1});
        }
    }
    EXPECT_GT(walked, 256 * 8); // every state was reached
}

} // namespace
