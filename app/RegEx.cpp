#include "app/RegEx.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <algorithm>
#include <pcre2.h>
#include <vector>

namespace {
// The backtracker's step limit: PCRE2's own default, or more where the
// library was built with more. Its depth and heap limits stay at the
// library's defaults. A pattern that reaches this on a 255-byte line has
// run away; with JIT that takes a few tens of milliseconds.
constexpr uint32_t MinMatchLimit = 10000000;
uint32_t MatchLimit() {
    static const uint32_t limit = [] {
        uint32_t configured = 0;
        pcre2_config(PCRE2_CONFIG_MATCHLIMIT, &configured);
        return std::max(MinMatchLimit, configured);
    }();
    return limit;
}
// The JIT's stack grows on demand up to this. PCRE2's own 32 KiB is too
// little for repeated nested groups over a 255-byte line; a megabyte leaves
// a wide margin, and running out still falls back to the interpreter.
constexpr std::size_t JitStackStart = 32 * 1024;
constexpr std::size_t JitStackMax = 1024 * 1024;
// Ints of workspace for the DFA matcher: enough for the states of an
// 80-character pattern over a 255-byte line; too little makes it give up.
constexpr std::size_t DfaWorkSize = 1 << 15;
// A message line may be megabytes long. On such a subject the interpreter
// and the DFA matcher may take time that grows with the square of its length
// (a pattern such as the e-mail flag's runs from every start position to the
// end, and the interpreter's step limit counts none of it): hours on one
// 4 MiB line. The JIT, whose search is far smarter about where to start,
// then works alone: when the subject outgrows its stack, it gets one more
// try on a stack of 16 bytes per subject byte (reserved for that call only),
// and what it still cannot decide stays undecided.
constexpr std::size_t LongSubject = 4096;
constexpr std::size_t LongStackPerByte = 16;
constexpr std::size_t LongStackMax = 64 * 1024 * 1024;

bool IsClassEscape(char C) {
    switch (C) {
    case 'd':
    case 'D':
    case 'w':
    case 'W':
    case 's':
    case 'S': return true;
    default: return false;
    }
}
constexpr const char* SpaceMembers = "\\t\\n\\f\\r\\x20";

// Where the text opened at I (outside brackets) ends, when it is one whose
// bytes are not pattern syntax: a comment "(?#...)", a verb's name "(*MARK:...)"
// (upper-case verb, then ":") and a callout's string "(?C'...')"; npos otherwise.
// A "[" or "\s" in there must stay as typed.
std::size_t LiteralTextEnd(std::string_view P, std::size_t I) {
    if (P.substr(I, 3) == "(?#") return P.find(')', I + 3);
    if (P.substr(I, 2) == "(*") {
        std::size_t j = I + 2;
        while (j < P.size() && P[j] >= 'A' && P[j] <= 'Z') ++j;
        return j < P.size() && P[j] == ':' ? P.find(')', j) : std::string_view::npos;
    }
    if (P.substr(I, 3) == "(?C" && I + 3 < P.size()) {
        char open = P[I + 3];
        if (std::string_view("`'\"^%#$").find(open) == std::string_view::npos && open != '{')
            return std::string_view::npos;
        char close = open == '{' ? '}' : open;
        for (std::size_t j = I + 4; j < P.size(); ++j) {
            if (P[j] != close) continue;
            if (j + 1 < P.size() && P[j + 1] == close) { // doubled: a literal delimiter
                ++j;
                continue;
            }
            return j;
        }
    }
    return std::string_view::npos;
}
// Inside brackets, whether the "[" at I opens a POSIX item ("[:alpha:]",
// "[.x.]", "[=x=]"), decided as PCRE2 decides it: the item ends at the first
// terminator followed by "]", and a "]" or another "[" with the same
// terminator before that means there is none. An escaped "]" or backslash is
// passed over. The index of the closing terminator, or npos.
std::size_t PosixItemEnd(std::string_view P, std::size_t I) {
    if (I + 1 >= P.size() || std::string_view(":.=").find(P[I + 1]) == std::string_view::npos)
        return std::string_view::npos;
    const char term = P[I + 1];
    for (std::size_t j = I + 2; j + 1 < P.size(); ++j) {
        if (P[j] == '\\' && (P[j + 1] == ']' || P[j + 1] == '\\'))
            ++j;
        else if ((P[j] == '[' && P[j + 1] == term) || P[j] == ']')
            return std::string_view::npos;
        else if (P[j] == term && P[j + 1] == ']')
            return j;
    }
    return std::string_view::npos;
}
// The option setting "(?...)" or "(?...:" at I, as PCRE2 reads it: End is
// its ")" or ":", and ExtendedMore whether the "xx" option (blanks inside
// brackets ignored) holds after it, given whether it held before. Found is
// false when the text at I is no option setting.
struct TOptionSetting {
    bool Found = false;
    std::size_t End = 0;
    bool ExtendedMore = false;
};
TOptionSetting OptionSettingAt(std::string_view P, std::size_t I, bool ExtendedMore) {
    TOptionSetting res;
    if (P.substr(I, 2) != "(?") return res;
    std::size_t j = I + 2;
    bool now = ExtendedMore, setX = false, setXX = false, unsetX = false, unsetting = false;
    if (j < P.size() && P[j] == '^') { // resets the options, "xx" among them
        now = false;
        ++j;
    }
    for (; j < P.size(); ++j) {
        const char c = P[j];
        if (c == ')' || c == ':') {
            // Setting "x" alone, or unsetting it, ends "xx" too.
            if (setX) now = setXX;
            if (unsetX) now = false;
            return {true, j, now};
        }
        if (c == '-') {
            unsetting = true;
        } else if (c == 'x') {
            const bool twice = j + 1 < P.size() && P[j + 1] == 'x';
            if (twice) ++j;
            (unsetting ? unsetX : setX) = true;
            if (!unsetting && twice) setXX = true;
        } else if (std::string_view("imnsJU").find(c) == std::string_view::npos) {
            return res;
        }
    }
    return res;
}

// Under "xx" a class passes over blanks and tabs: the index of the first
// other byte from I on (I itself without "xx").
std::size_t SkipClassBlanks(std::string_view P, std::size_t I, bool ExtendedMore) {
    while (ExtendedMore && I < P.size() && (P[I] == ' ' || P[I] == '\t')) ++I;
    return I;
}
} // namespace

std::string TranslatePattern(std::string_view Pattern) {
    std::string out;
    out.reserve(Pattern.size() + 4);
    bool inClass = false;
    // Whether "xx" holds, and what it was when each open group began: an
    // option set inside a group lasts until the group closes.
    bool extendedMore = false;
    std::vector<bool> groups;
    for (std::size_t i = 0; i < Pattern.size(); ++i) {
        char c = Pattern[i];
        if (c == '\\' && i + 1 < Pattern.size()) {
            char e = Pattern[i + 1];
            ++i;
            // PCRE2's \s also takes the vertical tab; here white space is
            // blank, tab, line feed, carriage return and form feed only.
            if (e == 's')
                out += inClass ? SpaceMembers : "[" + std::string(SpaceMembers) + "]";
            else if (e == 'S')
                out += inClass ? "\\S\\x0B" : "[\\S\\x0B]";
            else
                out += {c, e};
            if (e == 'c' && i + 1 < Pattern.size()) { // \c takes the next byte, whatever it is
                out += Pattern[++i];
            } else if (e == 'Q') { // \Q...\E quotes everything, brackets included
                std::size_t end = Pattern.find("\\E", i + 1);
                std::size_t stop = end == std::string_view::npos ? Pattern.size() : end + 2;
                out.append(Pattern.substr(i + 1, stop - i - 1));
                i = stop - 1;
            } else if (inClass && IsClassEscape(e)) {
                const std::size_t hyphen = SkipClassBlanks(Pattern, i + 1, extendedMore);
                const std::size_t next = SkipClassBlanks(Pattern, hyphen + 1, extendedMore);
                if (hyphen < Pattern.size() && Pattern[hyphen] == '-' && next < Pattern.size() &&
                    Pattern[next] != ']') {
                    out.append(Pattern.substr(i + 1, hyphen - i - 1));
                    out += "\\-";
                    i = hyphen;
                }
            }
            continue;
        }
        if (!inClass) {
            std::size_t end = LiteralTextEnd(Pattern, i);
            if (end != std::string_view::npos) {
                out.append(Pattern.substr(i, end + 1 - i));
                i = end;
                continue;
            }
            if (c == '[') {
                inClass = true;
                // Before its first member a class may hold one "^" and any
                // number of "\E" and "\Q\E", which PCRE2 passes over; the
                // member after them is a plain one, even a "]".
                std::size_t j = i + 1;
                bool negated = false;
                for (;;) {
                    if (Pattern.substr(j, 2) == "\\E")
                        j += 2;
                    else if (Pattern.substr(j, 4) == "\\Q\\E")
                        j += 4;
                    else if (!negated && j < Pattern.size() && Pattern[j] == '^') {
                        negated = true;
                        ++j;
                    } else if (SkipClassBlanks(Pattern, j, extendedMore) > j)
                        ++j;
                    else
                        break;
                }
                if (j < Pattern.size() && Pattern[j] == ']') ++j;
                out.append(Pattern.substr(i, j - i));
                i = j - 1;
                continue;
            }
            if (c == '(') {
                const TOptionSetting set = OptionSettingAt(Pattern, i, extendedMore);
                if (set.Found) {
                    if (Pattern[set.End] == ':') groups.push_back(extendedMore);
                    extendedMore = set.ExtendedMore;
                    out.append(Pattern.substr(i, set.End + 1 - i));
                    i = set.End;
                    continue;
                }
                groups.push_back(extendedMore);
            } else if (c == ')' && !groups.empty()) {
                extendedMore = groups.back();
                groups.pop_back();
            }
        } else if (c == '[') {
            std::size_t end = PosixItemEnd(Pattern, i);
            if (end != std::string_view::npos) { // "[:alpha:]" and kin stay as typed
                out.append(Pattern.substr(i, end + 2 - i));
                i = end + 1;
                continue;
            }
        } else if (c == ']') {
            inClass = false;
        }
        out += c;
    }
    return out;
}

TRegEx::~TRegEx() {
    Free();
}

bool DfaMatchesAlike(std::string_view Pattern) {
    // Atomic groups, verbs (also atomic and possessive aliases such as
    // "(*atomic:"), non-atomic assertions, comments and quoting, subroutine
    // calls and recursion.
    static constexpr std::string_view refused[] = {"(?>",  "(*",  "(?*", "(?<*", "(?#",
                                                   "\\Q",  "\\E", "\\g", "(?R",  "(?&",
                                                   "(?P>", "++",  "*+",  "?+",   "}+"};
    for (std::string_view r : refused)
        if (Pattern.find(r) != std::string_view::npos) return false;
    for (std::size_t at = Pattern.find("(?"); at != std::string_view::npos;
         at = Pattern.find("(?", at + 1)) {
        std::size_t j = at + 2;
        if (j < Pattern.size() && Pattern[j] == '-') ++j;
        if (j < Pattern.size() && Pattern[j] >= '0' && Pattern[j] <= '9') return false; // (?1)
        // Option letters: extended mode lets blanks and comments split the
        // tokens above.
        for (j = at + 2; j < Pattern.size(); ++j) {
            const char c = Pattern[j];
            if (c == 'x') return false;
            if (std::string_view("imnsJU-^").find(c) == std::string_view::npos) break;
        }
    }
    return true;
}

void TRegEx::Free() {
    if (FData) pcre2_match_data_free(FData);
    if (FContext) pcre2_match_context_free(FContext);
    if (FJitStack) pcre2_jit_stack_free(FJitStack);
    if (FCode) pcre2_code_free(FCode);
    FData = nullptr;
    FContext = nullptr;
    FJitStack = nullptr;
    FCode = nullptr;
    FJit = false;
    FDfaAlike = false;
    FDfaFirst = false;
    FRequired = -1;
}

bool TRegEx::Compile(std::string_view Pattern, bool UseJit) {
    Free();
    Error.clear();
    std::string p = TranslatePattern(Pattern);
    int code = 0;
    PCRE2_SIZE offset = 0;
    FCode = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(p.data()), p.size(),
                          PCRE2_DOTALL | PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_UTF, &code, &offset,
                          nullptr);
    if (!FCode) {
        PCRE2_UCHAR msg[256];
        pcre2_get_error_message(code, msg, sizeof msg);
        Error = std::string(reinterpret_cast<const char*>(msg)) + " at offset " +
                std::to_string(offset);
        return false;
    }
    FJit = UseJit && pcre2_jit_compile(FCode, PCRE2_JIT_COMPLETE) == 0;
    FData = pcre2_match_data_create(1, nullptr);
    FContext = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(FContext, MatchLimit());
    if (FJit) {
        FJitStack = pcre2_jit_stack_create(JitStackStart, JitStackMax, nullptr);
        if (FJitStack) pcre2_jit_stack_assign(FContext, nullptr, FJitStack);
    }
    FDfaAlike = DfaMatchesAlike(p);
    uint32_t type = 0, unit = 0;
    if (pcre2_pattern_info(FCode, PCRE2_INFO_LASTCODETYPE, &type) == 0 && type == 1 &&
        pcre2_pattern_info(FCode, PCRE2_INFO_LASTCODEUNIT, &unit) == 0) {
        FRequired = int32_t(unit & 0xFF);
    } else if (pcre2_pattern_info(FCode, PCRE2_INFO_FIRSTCODETYPE, &type) == 0 && type == 1 &&
               pcre2_pattern_info(FCode, PCRE2_INFO_FIRSTCODEUNIT, &unit) == 0) {
        FRequired = int32_t(unit & 0xFF);
    }
    return true;
}

namespace {
// A match call's result: a count (0 too: a match that did not fit the one
// pair of offsets), no match, or any error, which leaves the question open.
TMatch FromRc(int Rc) {
    return Rc >= 0 ? TMatch::Yes : Rc == PCRE2_ERROR_NOMATCH ? TMatch::No : TMatch::GaveUp;
}
} // namespace

TMatch TRegEx::Backtrack(std::string_view S) const {
    auto subject = reinterpret_cast<PCRE2_SPTR>(S.data());
    if (FJit) {
        int rc = pcre2_jit_match(FCode, subject, S.size(), 0, 0, FData, FContext);
        if (rc != PCRE2_ERROR_JIT_STACKLIMIT) return FromRc(rc);
        if (S.size() > LongSubject) return LongJit(S);
        // The interpreter keeps its backtracking frames on the heap.
    }
    return FromRc(pcre2_match(FCode, subject, S.size(), 0, PCRE2_NO_JIT, FData, FContext));
}

TMatch TRegEx::LongJit(std::string_view S) const {
    const std::size_t size = std::max(
        JitStackMax, std::min(S.size(), LongStackMax / LongStackPerByte) * LongStackPerByte);
    pcre2_jit_stack* stack = pcre2_jit_stack_create(JitStackStart, size, nullptr);
    if (!stack) return TMatch::GaveUp;
    pcre2_jit_stack_assign(FContext, nullptr, stack);
    int rc = pcre2_jit_match(FCode, reinterpret_cast<PCRE2_SPTR>(S.data()), S.size(), 0, 0, FData,
                             FContext);
    pcre2_jit_stack_assign(FContext, nullptr, FJitStack);
    pcre2_jit_stack_free(stack);
    return FromRc(rc);
}

TMatch TRegEx::Dfa(std::string_view S) const {
    if (FDfaWork.empty()) FDfaWork.resize(DfaWorkSize);
    return FromRc(pcre2_dfa_match(FCode, reinterpret_cast<PCRE2_SPTR>(S.data()), S.size(), 0,
                                  PCRE2_DFA_SHORTEST, FData, FContext, FDfaWork.data(),
                                  FDfaWork.size()));
}

TMatch TRegEx::Test(std::string_view S) const {
    if (!FCode) return TMatch::No;
    if (FJit && S.size() > LongSubject) return Backtrack(S);
    if (FDfaFirst) {
        TMatch m = Dfa(S);
        if (m != TMatch::GaveUp) return m;
    }
    TMatch m = Backtrack(S);
    if (m != TMatch::GaveUp || !FDfaAlike || FDfaFirst) return m;
    m = Dfa(S);
    if (m != TMatch::GaveUp) FDfaFirst = true;
    return m;
}
