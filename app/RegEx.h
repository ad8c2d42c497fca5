#pragma once
// One compiled regular expression (PCRE2, 8-bit): compiled once, matched many
// times, freed with the object. A pattern matches a string when it matches any
// part of it. Bytes, never UTF; "." matches line feeds too; "$" only at the
// very end; no multi-line mode; JIT where the library has it. A match that
// would run away (catastrophic backtracking) stops at a limit and counts as no
// match, so one bad line cannot hang a search.

#include <cstdint>
#include <string>
#include <string_view>

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;
struct pcre2_real_match_context_8;

// The pattern as PCRE2 must see it to mean what the program's patterns mean:
// inside brackets, a hyphen right after a class escape (\d, \w, \s and their
// capitals) is a plain hyphen, so "[\w-\.]" is a word character, "-" or ".".
// PCRE2 refuses such a hyphen; it becomes "\-". And "\s" is blank, tab,
// line feed, carriage return and form feed, not the vertical tab that PCRE2's
// \s also takes: it is spelled out, and \S gets the vertical tab added.
// Nothing else changes.
std::string TranslatePattern(std::string_view Pattern);

class TRegEx {
public:
    TRegEx() = default;
    explicit TRegEx(std::string_view Pattern) { Compile(Pattern); }
    ~TRegEx();
    TRegEx(const TRegEx&) = delete;
    TRegEx& operator=(const TRegEx&) = delete;

    // Compiles Pattern (translated first); false with Error set when PCRE2
    // rejects it. A compiled pattern before is freed either way.
    bool Compile(std::string_view Pattern);
    bool IsCompiled() const { return FCode != nullptr; }
    // True when the pattern matches some part of S; false when it does not,
    // when nothing is compiled, and when the match limit stopped the attempt.
    bool Matches(std::string_view S) const;
    // A byte that every match holds (so a string without it cannot match), or
    // -1 when the pattern names none. A letter may stand for either case.
    int32_t RequiredByte() const { return FRequired; }

    std::string Error; // PCRE2's reason and the offset, after a failed Compile

private:
    void Free();

    pcre2_real_code_8* FCode = nullptr;
    pcre2_real_match_data_8* FData = nullptr;
    pcre2_real_match_context_8* FContext = nullptr;
    bool FJit = false;
    int32_t FRequired = -1;
};
