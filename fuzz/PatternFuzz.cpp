// Fuzzes a user's regular expression: its translation, compilation and match
// on a subject, both taken from the input. Nothing may crash or run away (the
// match limit stops catastrophic backtracking; the harness's time-out reports
// a hang). A pattern without "[" and without a "\s" or "\S" translates to
// itself. And when PCRE2 accepts the pattern as typed, its translation
// matches the same subjects, unless the subject holds a vertical tab (the one
// byte on which the program's \s and PCRE2's differ); the hyphen rule only
// mends patterns PCRE2 refuses. Comments, verb names and callout strings
// stay as typed. Both sides are compiled and matched here with
// the program's options and limits; a match that hits a limit is not compared.
// Where DfaMatchesAlike admits the translated pattern, the DFA matcher must
// answer as the backtracking one whenever both answer: the program trusts it
// when the backtracker gives up.
//
// Input layout:
//   byte 0  below 128: the length of the pattern; then the pattern, then the
//           subject. From 128 on: bits 0-5 count bytes that follow, each
//           naming a piece of pattern syntax (so the fuzzer reaches odd
//           mixtures of classes, escapes, comments and options soon); bit 6
//           set: the subject is made of the bytes those pieces hold most.
// Seeds: fuzz/corpus/PatternFuzz.

#include "app/RegEx.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <pcre2.h>
#include <string>
#include <string_view>

namespace {

// Pieces of pattern syntax, for the built patterns. The last ones are for
// the DFA comparison: the makings of atomic groups, possessive repeats and
// recursion, and items whose answers depend on the alternatives taken.
constexpr std::string_view Pieces[] = {
    "[",   "]",     "^",     "-",         "\\s",    "\\S",      "\\w",    "\\d",
    "\\",  "\\c",   "\\Q",   "\\E",       "(?#",    "(*MARK:",  "(?C'",   "'",
    "(",   ")",     "(?x)",  "#",         "\n",     "[:alpha:", ":]",     "a",
    "b",   " ",     "\t",    "\x0B",      "*",      "+",        "?",      "{2}",
    "|",   ".",     "$",     "(?i)",      "(?<=",   "(?=",      "(*pla:", "\\x{5b}",
    "\\b", "\\1",   "(?<n>", "\\k<n>",    "\\p{L}", "{",        "}",      "\\-",
    "[^",  "(?-x)", "(?x:",  "(*COMMIT)", "\\K",    "\\z",      ">",      "R",
    "&",   "(?|",   "{1,3}", "*?",        "(a|ab)", "(?!",      "(?<!",   "\\A",
};
constexpr std::string_view SubjectBytes = "ab \t\v\n[]-\\x'#:A5";

void Fail(const char* What, std::string_view Pattern, const std::string& Translated) {
    std::fprintf(stderr, "PatternFuzz: %s: pattern \"%.*s\" translated \"%s\"\n", What,
                 int(Pattern.size()), Pattern.data(), Translated.c_str());
    std::abort();
}

// One pattern compiled as the program compiles it, without translation.
class TRaw {
public:
    explicit TRaw(std::string_view Pattern) {
        int code = 0;
        PCRE2_SIZE offset = 0;
        FCode = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(Pattern.data()), Pattern.size(),
                              PCRE2_DOTALL | PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_UTF, &code, &offset,
                              nullptr);
        if (!FCode) return;
        pcre2_jit_compile(FCode, PCRE2_JIT_COMPLETE);
        FData = pcre2_match_data_create(1, nullptr);
        FContext = pcre2_match_context_create(nullptr);
        pcre2_set_match_limit(FContext, 10000000);
    }
    ~TRaw() {
        if (FData) pcre2_match_data_free(FData);
        if (FContext) pcre2_match_context_free(FContext);
        if (FCode) pcre2_code_free(FCode);
    }
    TRaw(const TRaw&) = delete;
    TRaw& operator=(const TRaw&) = delete;

    bool Ok() const { return FCode != nullptr; }
    // 1 match, 0 no match, -1 the attempt failed (a limit, a bad subject).
    int Match(std::string_view S) const {
        int rc = pcre2_match(FCode, reinterpret_cast<PCRE2_SPTR>(S.data()), S.size(), 0, 0, FData,
                             FContext);
        return rc >= 0 ? 1 : rc == PCRE2_ERROR_NOMATCH ? 0 : -1;
    }
    // The same by the DFA matcher.
    int Dfa(std::string_view S) const {
        static int work[1 << 15];
        int rc = pcre2_dfa_match(FCode, reinterpret_cast<PCRE2_SPTR>(S.data()), S.size(), 0,
                                 PCRE2_DFA_SHORTEST, FData, FContext, work, std::size(work));
        return rc >= 0 ? 1 : rc == PCRE2_ERROR_NOMATCH ? 0 : -1;
    }

private:
    pcre2_code* FCode = nullptr;
    pcre2_match_data* FData = nullptr;
    pcre2_match_context* FContext = nullptr;
};

// True when no "[" and no backslash before "s" or "S" occurs anywhere.
bool Untouchable(std::string_view P) {
    if (P.find('[') != std::string_view::npos) return false;
    for (std::size_t i = 0; i + 1 < P.size(); ++i)
        if (P[i] == '\\' && (P[i + 1] == 's' || P[i + 1] == 'S')) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 1) return 0;
    std::string_view rest(reinterpret_cast<const char*>(Data + 1), Size - 1);
    std::string built, builtSubject;
    std::string_view pattern;
    if (Data[0] < 128) {
        pattern = rest.substr(0, Data[0]);
        rest.remove_prefix(pattern.size());
    } else {
        std::string_view names = rest.substr(0, Data[0] & 0x3F);
        rest.remove_prefix(names.size());
        for (char n : names) built += Pieces[uint8_t(n) % std::size(Pieces)];
        pattern = built;
        if (Data[0] & 0x40) {
            for (char c : rest) builtSubject += SubjectBytes[uint8_t(c) % SubjectBytes.size()];
            rest = builtSubject;
        }
    }
    // Pattern and subject each in a buffer of its own size.
    auto patternCopy = std::make_unique<char[]>(pattern.size());
    std::copy(pattern.begin(), pattern.end(), patternCopy.get());
    pattern = std::string_view(patternCopy.get(), pattern.size());
    auto subjectCopy = std::make_unique<char[]>(rest.size());
    std::copy(rest.begin(), rest.end(), subjectCopy.get());
    std::string_view subject(subjectCopy.get(), rest.size());

    std::string translated = TranslatePattern(pattern);
    if (Untouchable(pattern) && translated != pattern) Fail("changed", pattern, translated);

    TRegEx re(pattern);
    const TMatch answer = re.Matches(subject);
    const bool hit = answer == TMatch::Yes;
    if (!re.IsCompiled()) {
        if (hit) Fail("uncompiled pattern matched", pattern, translated);
        return 0;
    }
    int32_t req = re.RequiredByte();
    if (hit && req >= 0) {
        char a = char(req), b = a;
        if (req >= 'a' && req <= 'z') b = char(req - 32);
        if (req >= 'A' && req <= 'Z') b = char(req + 32);
        if (subject.find(a) == std::string_view::npos && subject.find(b) == std::string_view::npos)
            Fail("match without the required byte", pattern, translated);
    }

    TRaw asTyped(pattern), asTranslated(translated);
    if (!asTranslated.Ok()) Fail("translation does not compile", pattern, translated);
    int mine = asTranslated.Match(subject);
    if (mine >= 0 && answer == TMatch::GaveUp)
        Fail("TRegEx gave up where its pattern answers", pattern, translated);
    if (mine >= 0 && (mine == 1) != hit)
        Fail("TRegEx differs from its pattern", pattern, translated);
    if (DfaMatchesAlike(translated)) {
        int dfa = asTranslated.Dfa(subject);
        if (mine >= 0 && dfa >= 0 && mine != dfa)
            Fail("the DFA matcher answers otherwise", pattern, translated);
    }
    if (!asTyped.Ok() || subject.find('\x0B') != std::string_view::npos) return 0;
    // Under the extended option "#" opens a comment up to a newline, which
    // the translation does not follow; on one line the rest is comment either
    // way. Such patterns that hold a byte some newline convention takes are
    // not compared.
    if (pattern.find('#') != std::string_view::npos &&
        pattern.find("(?") != std::string_view::npos &&
        pattern.find_first_of(std::string_view("\n\v\f\r\x85\0", 6)) != std::string_view::npos)
        return 0;
    int theirs = asTyped.Match(subject);
    if (mine >= 0 && theirs >= 0 && mine != theirs)
        Fail("translation matches differently", pattern, translated);
    return 0;
}
