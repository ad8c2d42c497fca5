#include "tests/common/KeyCases.h"

#include "terminal/KeyCodes.h"

std::string ExtKey(uint8_t Code) {
    return std::string{Key::Extended, static_cast<char>(Code)};
}

const std::vector<KeyCase>& PlainKeyCases() {
    static const std::vector<KeyCase> cases = {
        {"Letters", "aZ5 ", "aZ5 "},
        {"Text", "Hello", "Hello"},
        {"DelIsBackspace", "\x7f", std::string(1, Key::Backspace)},
        {"BackspaceStays", "\b", "\b"},
        {"CarriageReturn", "\r", "\r"},
        {"CtrlCZBackslash", "\x03\x1a\x1c", "\x03\x1a\x1c"},
        {"ZeroByte", std::string(1, '\0'), std::string(1, '\0')},
        {"HighBytes", "\x80\xC4\xFF", "\x80\xC4\xFF"},
    };
    return cases;
}

const std::vector<KeyCase>& EscapeKeyCases() {
    static const std::vector<KeyCase> cases = {
        // escape, then one byte
        {"LoneEsc", "\x1b", "\x1b"},
        {"EscLF", "\x1b\n", "\n"},
        {"AltQ", "\x1bq", ExtKey(16)},
        {"AltX", "\x1bx", ExtKey(45)},
        {"AltM", "\x1bm", ExtKey(50)},
        {"AltA",
         "\x1b"
         "a",
         ExtKey(30)},
        {"Alt1",
         "\x1b"
         "1",
         ExtKey(120)},
        {"Alt0",
         "\x1b"
         "0",
         ExtKey(129)},
        {"AltMinus", "\x1b-", ExtKey(130)},
        {"AltEquals", "\x1b=", ExtKey(131)},
        {"EscUpperQ", "\x1bQ", "Q\x1b"},
        {"EscEsc", "\x1b\x1b", "\x1b\x1b"},
        {"EscDel", "\x1b\x7f", "\x7f\x1b"},
        {"EscZero", std::string("\x1b\0", 2), std::string("\0\x1b", 2)},
        {"EscHighByte", "\x1b\xC4", "\xC4\x1b"},
        // escape "["
        {"Up", "\x1b[A", ExtKey(Scan::Up)},
        {"Down", "\x1b[B", ExtKey(Scan::Down)},
        {"Right", "\x1b[C", ExtKey(Scan::Right)},
        {"Left", "\x1b[D", ExtKey(Scan::Left)},
        {"HomeH", "\x1b[H", ExtKey(Scan::Home)},
        {"EndK", "\x1b[K", ExtKey(Scan::End)},
        {"EndXtermNormalCursorMode", "\x1b[F", ExtKey(Scan::End)},
        {"PgDnU", "\x1b[U", ExtKey(Scan::PgDn)},
        {"PgUpV", "\x1b[V", ExtKey(Scan::PgUp)},
        {"KeypadFive", "\x1b[G", "5"},
        {"End4", "\x1b[4~", ExtKey(Scan::End)},
        {"PgUp5", "\x1b[5~", ExtKey(Scan::PgUp)},
        {"PgDn6", "\x1b[6~", ExtKey(Scan::PgDn)},
        {"DiscardsAnyOneByte", "\x1b[4x", ExtKey(Scan::End)},
        {"DiscardsOnlyOneByte", "\x1b[5~~", ExtKey(Scan::PgUp) + "~"},
        {"BracketOther", "\x1b[Z", "Z[\x1b"},
        {"BracketEsc", "\x1b[\x1b", "\x1b[\x1b"},
        // escape "[["
        {"F1Linux", "\x1b[[A", ExtKey(Scan::F1)},
        {"F2Linux", "\x1b[[B", ExtKey(Scan::F2)},
        {"F3Linux", "\x1b[[C", ExtKey(Scan::F3)},
        {"F4Linux", "\x1b[[D", ExtKey(Scan::F4)},
        {"F5Linux", "\x1b[[E", ExtKey(Scan::F5)},
        {"DoubleBracketF", "\x1b[[F", ""},
        {"DoubleBracketZ", "\x1b[[Z", ""},
        // escape "[1"
        {"Home1", "\x1b[1~", ExtKey(Scan::Home)},
        {"F5", "\x1b[15~", ExtKey(Scan::F5)},
        {"F6", "\x1b[17~", ExtKey(Scan::F6)},
        {"F7", "\x1b[18~", ExtKey(Scan::F7)},
        {"F8", "\x1b[19~", ExtKey(Scan::F8)},
        {"Esc11QueuesNothing", "\x1b[11~", ""},
        {"Esc16QueuesNothing", "\x1b[16~", ""},
        {"Esc15Other", "\x1b[15x", ""},
        // escape "[2"
        {"Ins", "\x1b[2~", ExtKey(Scan::Ins)},
        {"F9", "\x1b[20~", ExtKey(Scan::F9)},
        {"F10", "\x1b[21~", ExtKey(Scan::F10)},
        {"F11", "\x1b[23~", ExtKey(Scan::F11)},
        {"F12", "\x1b[24~", ExtKey(Scan::F12)},
        {"ShiftF3", "\x1b[25~", ExtKey(Scan::ShiftF3)},
        {"ShiftF4", "\x1b[26~", ExtKey(Scan::ShiftF4)},
        {"ShiftF5", "\x1b[28~", ExtKey(Scan::ShiftF5)},
        {"ShiftF6", "\x1b[29~", ExtKey(Scan::ShiftF6)},
        {"Esc22QueuesNothing", "\x1b[22~", ""},
        {"Esc27QueuesNothing", "\x1b[27~", ""},
        // escape "[3"
        {"Del", "\x1b[3~", ExtKey(Scan::Del)},
        {"ShiftF7", "\x1b[31~", ExtKey(Scan::ShiftF7)},
        {"ShiftF8", "\x1b[32~", ExtKey(Scan::ShiftF8)},
        {"ShiftF9", "\x1b[33~", ExtKey(Scan::ShiftF9)},
        {"ShiftF10", "\x1b[34~", ExtKey(Scan::ShiftF10)},
        {"Esc30QueuesNothing", "\x1b[30~", ""},
        {"Esc35QueuesNothing", "\x1b[35~", ""},
        // escape "O"
        {"UpSS3", "\x1bOA", ExtKey(Scan::Up)},
        {"DownSS3", "\x1bOB", ExtKey(Scan::Down)},
        {"RightSS3", "\x1bOC", ExtKey(Scan::Right)},
        {"LeftSS3", "\x1bOD", ExtKey(Scan::Left)},
        {"EndSS3", "\x1bOF", ExtKey(Scan::End)},
        {"HomeSS3", "\x1bOH", ExtKey(Scan::Home)},
        {"F1", "\x1bOP", ExtKey(Scan::F1)},
        {"F2", "\x1bOQ", ExtKey(Scan::F2)},
        {"F3", "\x1bOR", ExtKey(Scan::F3)},
        {"F4", "\x1bOS", ExtKey(Scan::F4)},
        {"SS3OtherT", "\x1bOT", ""},
        {"SS3OtherZ", "\x1bOZ", ""},
        // sequences cut short by the end of the input queue nothing for
        // their incomplete part
        {"CutAfterBracket", "\x1b[", ""},
        {"CutAfterO", "\x1bO", ""},
        {"CutAfterBracket1", "\x1b[1", ""},
        {"CutAfter15", "\x1b[15", ""},
        {"CutBeforeTilde", "\x1b[5", ExtKey(Scan::PgUp)},
        // keys around and after a sequence keep their order
        {"KeysAroundSequence", "a\x1b[Bz", "a" + ExtKey(Scan::Down) + "z"},
        {"TwoSequences", "\x1b[A\x1bOP", ExtKey(Scan::Up) + ExtKey(Scan::F1)},
        {"AfterEcho", "\x1b[Zq", "Z[\x1bq"},
    };
    return cases;
}
