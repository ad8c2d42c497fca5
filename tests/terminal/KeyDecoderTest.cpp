// The key decoder on its own, with no terminal and no clock: input is given
// as pieces, and the pause runs out after each piece (so one piece is input
// that arrives at once, and a cut between pieces is a silence longer than
// the reader waits). Every case is fed whole and cut at every point.
#include "terminal/m_Input_Linux.h"

#include "terminal/KeyCodes.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string Ext(uint8_t code) {
    return std::string{Key::Extended, static_cast<char>(code)};
}

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

struct Case {
    const char* Name;
    std::string In;
    std::string Want;
};

const std::vector<Case>& WholeCases() {
    static const std::vector<Case> cases = {
        // plain bytes
        {"Letters", "aZ5 ", "aZ5 "},
        {"DelIsBackspace", "\x7f", std::string(1, Key::Backspace)},
        {"BackspaceStays", "\b", "\b"},
        {"CtrlCZBackslash", "\x03\x1a\x1c", "\x03\x1a\x1c"},
        {"ZeroByte", std::string(1, '\0'), std::string(1, '\0')},
        {"HighBytes", "\x80\xC4\xFF", "\x80\xC4\xFF"},
        // escape, then one byte
        {"LoneEsc", "\x1b", "\x1b"},
        {"EscLF", "\x1b\n", "\n"},
        {"AltQ", "\x1bq", Ext(16)},
        {"AltX", "\x1bx", Ext(45)},
        {"AltM", "\x1bm", Ext(50)},
        {"AltA",
         "\x1b"
         "a",
         Ext(30)},
        {"Alt1",
         "\x1b"
         "1",
         Ext(120)},
        {"Alt0",
         "\x1b"
         "0",
         Ext(129)},
        {"AltMinus", "\x1b-", Ext(130)},
        {"AltEquals", "\x1b=", Ext(131)},
        {"EscUpperQ", "\x1bQ", "Q\x1b"},
        {"EscEsc", "\x1b\x1b", "\x1b\x1b"},
        {"EscDel", "\x1b\x7f", "\x7f\x1b"},
        {"EscZero", std::string("\x1b\0", 2), std::string("\0\x1b", 2)},
        {"EscHighByte", "\x1b\xC4", "\xC4\x1b"},
        // escape "["
        {"Up", "\x1b[A", Ext(Scan::Up)},
        {"Down", "\x1b[B", Ext(Scan::Down)},
        {"Right", "\x1b[C", Ext(Scan::Right)},
        {"Left", "\x1b[D", Ext(Scan::Left)},
        {"HomeH", "\x1b[H", Ext(Scan::Home)},
        {"EndK", "\x1b[K", Ext(Scan::End)},
        {"EndF", "\x1b[F", Ext(Scan::End)},
        {"PgDnU", "\x1b[U", Ext(Scan::PgDn)},
        {"PgUpV", "\x1b[V", Ext(Scan::PgUp)},
        {"KeypadFive", "\x1b[G", "5"},
        {"End4", "\x1b[4~", Ext(Scan::End)},
        {"PgUp5", "\x1b[5~", Ext(Scan::PgUp)},
        {"PgDn6", "\x1b[6~", Ext(Scan::PgDn)},
        {"DiscardsAnyOneByte", "\x1b[4x", Ext(Scan::End)},
        {"DiscardsOnlyOneByte", "\x1b[5~~", Ext(Scan::PgUp) + "~"},
        {"BracketOther", "\x1b[Z", "Z[\x1b"},
        {"BracketEsc", "\x1b[\x1b", "\x1b[\x1b"},
        // escape "[["
        {"F1Linux", "\x1b[[A", Ext(Scan::F1)},
        {"F3Linux", "\x1b[[C", Ext(Scan::F3)},
        {"F5Linux", "\x1b[[E", Ext(Scan::F5)},
        {"DoubleBracketOther", "\x1b[[F", ""},
        // escape "[1"
        {"Home1", "\x1b[1~", Ext(Scan::Home)},
        {"F5", "\x1b[15~", Ext(Scan::F5)},
        {"F6", "\x1b[17~", Ext(Scan::F6)},
        {"F7", "\x1b[18~", Ext(Scan::F7)},
        {"F8", "\x1b[19~", Ext(Scan::F8)},
        {"Esc11QueuesNothing", "\x1b[11~", ""},
        {"Esc16QueuesNothing", "\x1b[16~", ""},
        {"Esc15Other", "\x1b[15x", ""},
        // escape "[2"
        {"Ins", "\x1b[2~", Ext(Scan::Ins)},
        {"F9", "\x1b[20~", Ext(Scan::F9)},
        {"F10", "\x1b[21~", Ext(Scan::F10)},
        {"F11", "\x1b[23~", Ext(Scan::F11)},
        {"F12", "\x1b[24~", Ext(Scan::F12)},
        {"ShiftF3", "\x1b[25~", Ext(Scan::ShiftF3)},
        {"ShiftF4", "\x1b[26~", Ext(Scan::ShiftF4)},
        {"ShiftF5", "\x1b[28~", Ext(Scan::ShiftF5)},
        {"ShiftF6", "\x1b[29~", Ext(Scan::ShiftF6)},
        {"Esc22QueuesNothing", "\x1b[22~", ""},
        {"Esc27QueuesNothing", "\x1b[27~", ""},
        // escape "[3"
        {"Del", "\x1b[3~", Ext(Scan::Del)},
        {"ShiftF7", "\x1b[31~", Ext(Scan::ShiftF7)},
        {"ShiftF10", "\x1b[34~", Ext(Scan::ShiftF10)},
        {"Esc30QueuesNothing", "\x1b[30~", ""},
        {"Esc35QueuesNothing", "\x1b[35~", ""},
        // escape "O"
        {"UpSS3", "\x1bOA", Ext(Scan::Up)},
        {"DownSS3", "\x1bOB", Ext(Scan::Down)},
        {"RightSS3", "\x1bOC", Ext(Scan::Right)},
        {"LeftSS3", "\x1bOD", Ext(Scan::Left)},
        {"EndSS3", "\x1bOF", Ext(Scan::End)},
        {"HomeSS3", "\x1bOH", Ext(Scan::Home)},
        {"F1", "\x1bOP", Ext(Scan::F1)},
        {"F4", "\x1bOS", Ext(Scan::F4)},
        {"SS3Other", "\x1bOT", ""},
        // sequences cut short by the end of the input queue nothing
        {"CutAfterBracket", "\x1b[", ""},
        {"CutAfterO", "\x1bO", ""},
        {"CutAfter15", "\x1b[15", ""},
        {"CutBeforeTilde", "\x1b[5", Ext(Scan::PgUp)},
        // keys around and after a sequence keep their order
        {"KeysAroundSequence", "a\x1b[Bz", "a" + Ext(Scan::Down) + "z"},
        {"TwoSequences", "\x1b[A\x1bOP", Ext(Scan::Up) + Ext(Scan::F1)},
        {"AfterEcho", "\x1b[Zq", "Z[\x1bq"},
    };
    return cases;
}

TEST(KeyDecoder, EveryRuleDecodesAsTheKeyboardConventionSays) {
    for (const Case& c : WholeCases()) {
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
        {"PgUpThenTilde", {"\x1b[5", "~"}, Ext(Scan::PgUp) + "~"},
        {"F6ThenTilde", {"\x1b[17", "~"}, Ext(Scan::F6) + "~"},
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
    for (const Case& c : WholeCases()) {
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
