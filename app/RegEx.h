#pragma once
// One compiled regular expression (PCRE2, 8-bit): compiled once, matched many
// times, freed with the object. A pattern matches a string when it matches any
// part of it. Bytes, never UTF; "." matches line feeds too; "$" only at the
// very end; no multi-line mode; JIT where the library has it. A match that
// runs away (catastrophic backtracking) stops at PCRE2's own limits; the
// alternative (DFA) matcher, which never backtracks, then answers where it
// is known to answer alike. A string of more than a few KiB is left to the
// JIT alone, on a stack as big as it needs. What cannot be decided is
// reported as such, never as "no match".

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;
struct pcre2_real_match_context_8;
struct pcre2_real_jit_stack_8;

// What one match attempt found out.
enum class TMatch : uint8_t {
    No,     // the pattern matches no part of the string
    Yes,    // it matches some part
    GaveUp, // a limit (steps, depth, memory) stopped both matchers: not known
};

// The pattern as PCRE2 must see it to mean what the program's patterns mean:
// inside brackets, a hyphen right after a class escape (\d, \w, \s and their
// capitals) is a plain hyphen, so "[\w-\.]" is a word character, "-" or ".".
// PCRE2 refuses such a hyphen; it becomes "\-". And "\s" is blank, tab,
// line feed, carriage return and form feed, not the vertical tab that PCRE2's
// \s also takes: it is spelled out, and \S gets the vertical tab added.
// Nothing else changes.
std::string TranslatePattern(std::string_view Pattern);

// Whether the DFA matcher answers "does it match" exactly as the backtracking
// one for the compiled (translated) pattern Pattern. It does not for atomic
// groups, possessive repeats and recursion, which it runs with other
// semantics; those and whatever could hide them (verbs, extended mode,
// comments, quoting) are refused by a plain scan of the text, which may
// refuse more than needed but never less. Items it cannot run at all
// (back references, \K) make it fail instead, which is safe.
bool DfaMatchesAlike(std::string_view Pattern);

class TRegEx {
public:
    TRegEx() = default;
    explicit TRegEx(std::string_view Pattern) { Compile(Pattern); }
    ~TRegEx();
    TRegEx(const TRegEx&) = delete;
    TRegEx& operator=(const TRegEx&) = delete;

    // Compiles Pattern (translated first); false with Error set when PCRE2
    // rejects it. A compiled pattern before is freed either way. UseJit false
    // keeps to the interpreter (for measuring).
    bool Compile(std::string_view Pattern, bool UseJit = true);
    bool IsCompiled() const { return FCode != nullptr; }
    // Whether the pattern matches some part of S (No when nothing is
    // compiled). The backtracking matcher runs first; when it gives up, the
    // DFA matcher is asked where it answers alike, and once it has decided a
    // string the backtracker gave up on, it goes first for later strings
    // (such a pattern would make the backtracker give up again and again).
    TMatch Matches(std::string_view S) { return Test(S); }
    // A byte that every match holds (so a string without it cannot match), or
    // -1 when the pattern names none. A letter may stand for either case.
    int32_t RequiredByte() const { return FRequired; }

    std::string Error; // PCRE2's reason and the offset, after a failed Compile

private:
    void Free();
    TMatch Test(std::string_view S) const;
    TMatch Backtrack(std::string_view S) const;
    TMatch LongJit(std::string_view S) const; // a long S on a stack sized for it
    TMatch Dfa(std::string_view S) const;

    pcre2_real_code_8* FCode = nullptr;
    pcre2_real_match_data_8* FData = nullptr;
    pcre2_real_match_context_8* FContext = nullptr;
    pcre2_real_jit_stack_8* FJitStack = nullptr;
    bool FJit = false;
    bool FDfaAlike = false; // DfaMatchesAlike of the compiled pattern
    // The engine order and the DFA's workspace change no answer.
    mutable bool FDfaFirst = false; // the DFA matcher goes first
    mutable std::vector<int> FDfaWork;
    int32_t FRequired = -1;
};
