#include "support/StrUtil.h"
// Every helper works on its own copy of its arguments and cuts what it returns
// at MaxStrLen bytes. Bytes are compared and copied as they are; only A-Z and
// a-z have a case. Helpers that answer with a Byte-sized position or count
// first cut their input to MaxStrLen, as no longer string exists in the program.

#include <charconv>
#include <cstring>

namespace {

constexpr char HexDigits[] = "0123456789abcdef";

char UpCase(char Ch) {
    return (Ch >= 'a' && Ch <= 'z') ? static_cast<char>(Ch - 32) : Ch;
}

// Pos as an index type, for the helpers below that count in bytes.
std::size_t PosAt(char Ch, const std::string& S) {
    return static_cast<std::size_t>(Pos(Ch, S));
}

int DigitValue(char Ch) {
    if (Ch >= '0' && Ch <= '9') return Ch - '0';
    if (Ch >= 'a' && Ch <= 'f') return Ch - 'a' + 10;
    if (Ch >= 'A' && Ch <= 'F') return Ch - 'A' + 10;
    return 99;
}

// The whole-number rule shared by StrToInt and StrToIntDef: blanks and tabs,
// a sign, a base prefix, then digits of that base up to the end or a NUL.
// Decimal must fit a LongInt; other bases are 32-bit patterns.
bool ParseWhole(const std::string& S, int32_t& Value) {
    std::size_t end = S.find('\0');
    if (end == std::string::npos) end = S.size();
    std::size_t i = 0;
    while (i < end && (S[i] == ' ' || S[i] == '\t')) ++i;
    bool negative = false;
    if (i < end && (S[i] == '+' || S[i] == '-')) {
        negative = S[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i < end && (S[i] == '$' || S[i] == 'x' || S[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < end && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
        base = 16;
        i += 2;
    } else if (i < end && S[i] == '%') {
        base = 2;
        ++i;
    } else if (i < end && S[i] == '&') {
        base = 8;
        ++i;
    }
    if (i >= end) return false;
    const uint64_t limit = base == 10 ? (negative ? 2147483648ULL : 2147483647ULL) : 0xFFFFFFFFULL;
    uint64_t magnitude = 0;
    for (; i < end; ++i) {
        int d = DigitValue(S[i]);
        if (d >= static_cast<int>(base)) return false;
        magnitude = magnitude * base + static_cast<unsigned>(d);
        if (magnitude > limit) return false;
    }
    uint32_t pattern = static_cast<uint32_t>(magnitude);
    if (negative) pattern = 0u - pattern;
    Value = static_cast<int32_t>(pattern);
    return true;
}

// A line of WrapLine stretched to Width by 255 bytes after its blanks, the
// passes through the line starting at its first full stop.
std::string JustifyLine(const std::string& Line, uint8_t Width) {
    std::string t = StripLeft(Line, ' ');
    if (!t.empty() && t.back() == ' ') t.pop_back();
    if (t.empty() || t.size() == Width || t.find(' ') == std::string::npos) return t;
    std::size_t p = PosAt('.', t);
    if (p == 0 || p == t.size()) p = 1;
    while (t.size() < Width) {
        if (t[p - 1] == ' ') t.insert(p, 1, '\xFF');
        p = (p % t.size()) + 1;
    }
    return t;
}

} // namespace

std::string CutStr(std::string S) {
    if (S.size() > MaxStrLen) S.resize(MaxStrLen);
    return S;
}

std::string Copy(const std::string& S, int64_t Index, int64_t Count) {
    if (Index < 1) Index = 1;
    if (Count <= 0 || Index > static_cast<int64_t>(S.size())) return std::string();
    return S.substr(static_cast<std::size_t>(Index - 1), static_cast<std::size_t>(Count));
}

int64_t Pos(char Ch, const std::string& S) {
    const std::size_t p = S.find(Ch);
    return p == std::string::npos ? 0 : static_cast<int64_t>(p) + 1;
}

int64_t Pos(const std::string& Sub, const std::string& S) {
    if (Sub.empty()) return 0;
    const std::size_t p = S.find(Sub);
    return p == std::string::npos ? 0 : static_cast<int64_t>(p) + 1;
}

char LoCase(char Ch) {
    return (Ch >= 'A' && Ch <= 'Z') ? static_cast<char>(Ch + 32) : Ch;
}

std::string UpperCase(const std::string& S) {
    std::string r = CutStr(S);
    for (char& c : r) c = UpCase(c);
    return r;
}

std::string LowerCase(const std::string& S) {
    std::string r = CutStr(S);
    for (char& c : r) c = LoCase(c);
    return r;
}

std::string StringOfChar(char Ch, uint8_t Count) {
    return std::string(Count, Ch);
}

std::string PadRight(const std::string& S, uint8_t Width, char Ch) {
    if (S.size() > Width) return S.substr(0, Width);
    return S + std::string(Width - S.size(), Ch);
}

std::string PadLeft(const std::string& S, uint8_t Width, char Ch) {
    if (S.size() >= Width) return S.substr(0, Width);
    return std::string(Width - S.size(), Ch) + S;
}

std::string PadCenter(const std::string& S, uint8_t Width, char Ch) {
    if (S.size() > Width) return S.substr(0, Width);
    std::size_t d = Width - S.size();
    return std::string(d / 2, Ch) + S + std::string(d - d / 2, Ch);
}

std::string IntToStr(int32_t N) {
    return std::to_string(N);
}

std::string IntToStrComma(int32_t N) {
    std::string t = IntToStr(N);
    const long firstDigit = N < 0 ? 2 : 1;
    for (long p = static_cast<long>(t.size()) - 2; p > firstDigit; p -= 3)
        t.insert(static_cast<std::size_t>(p - 1), 1, ',');
    return t;
}

// A Width below the number of significant digits keeps the low-order digits,
// so the result is always exactly Width characters.
std::string IntToHex(uint32_t N, uint8_t Width) {
    std::string r(Width, '0');
    for (std::size_t k = Width; k > 0 && N != 0; --k) {
        r[k - 1] = HexDigits[N & 15];
        N >>= 4;
    }
    return r;
}

int32_t StrToInt(const std::string& S) {
    return StrToIntDef(S, 0);
}

int32_t StrToIntDef(const std::string& S, int32_t Default) {
    int32_t v = 0;
    return ParseWhole(S, v) ? v : Default;
}

std::string RealToStr(double R, uint8_t Decimals) {
    // Fixed notation of a double needs at most 309 integer digits, a sign, a
    // point and 255 decimals. to_chars never looks at the locale.
    char buf[640];
    auto res = std::to_chars(buf, buf + sizeof buf, R, std::chars_format::fixed, Decimals);
    std::string t = res.ec == std::errc() ? std::string(buf, res.ptr) : std::string();
    if (t.size() < 10) t.insert(0, 10 - t.size(), ' ');
    return CutStr(t);
}

int32_t PosNoCase(const std::string& Sub, const std::string& S) {
    return static_cast<int32_t>(Pos(UpperCase(Sub), UpperCase(S)));
}

bool ContainsNoCase(const std::string& Sub, const std::string& S) {
    return PosNoCase(Sub, S) > 0;
}

// A path is never cut: cut at 255 bytes it would name another directory.
std::string AddSlash(const std::string& S) {
    if (!S.empty() && S.back() == '/') return S;
    return S + "/";
}

std::string DelSlash(const std::string& S) {
    std::string r = S;
    if (!r.empty() && r.back() == '/') r.pop_back();
    return r;
}

std::string IfStr(bool Cond, const std::string& A, const std::string& B) {
    return CutStr(Cond ? A : B);
}

// A Width above 255 is taken as 255: no string of the program is longer.
std::string LeftPadChar(const std::string& S, char Ch, int32_t Width) {
    if (Width <= 0) return std::string();
    return PadLeft(S, static_cast<uint8_t>(Width > 255 ? 255 : Width), Ch);
}

std::string RightPadChar(const std::string& S, char Ch, int32_t Width) {
    if (Width <= 0) return std::string();
    const std::size_t w = Width > 255 ? 255 : static_cast<std::size_t>(Width);
    if (S.size() >= w) return S.substr(0, w);
    return S + std::string(w - S.size(), Ch);
}

std::string Center80(const std::string& S) {
    std::string r = CutStr(S);
    if (r.size() < 80) r.insert(0, (80 - r.size()) / 2, ' ');
    return r;
}

std::string RightJustify80(const std::string& S) {
    return LeftPadChar(S, ' ', 80);
}

std::string ReplaceAll(const std::string& S, const std::string& Find, const std::string& Repl) {
    std::string r = CutStr(S);
    if (Find.empty() || PosNoCase(Find, Repl) > 0) return r;
    // Repl never holds Find, so every turn removes one occurrence for good.
    for (int32_t p = PosNoCase(Find, r); p > 0; p = PosNoCase(Find, r)) {
        r.erase(static_cast<std::size_t>(p - 1), Find.size());
        r.insert(static_cast<std::size_t>(p - 1), Repl);
        r = CutStr(std::move(r));
    }
    return r;
}

std::string StripChar(const std::string& S, char Ch) {
    std::string r;
    for (char c : CutStr(S))
        if (c != Ch) r += c;
    return r;
}

std::string StripLeft(const std::string& S, char Ch) {
    std::string r = CutStr(S);
    std::size_t k = r.find_first_not_of(Ch);
    return k == std::string::npos ? std::string() : r.substr(k);
}

std::string StripRight(const std::string& S, char Ch) {
    std::string r = CutStr(S);
    std::size_t k = r.find_last_not_of(Ch);
    return k == std::string::npos ? std::string() : r.substr(0, k + 1);
}

std::string StripBoth(const std::string& S, char Ch) {
    return StripRight(StripLeft(S, Ch), Ch);
}

std::string StripCtrl(const std::string& S) {
    std::string r;
    for (char c : CutStr(S))
        if (static_cast<unsigned char>(c) >= 32) r += c;
    return r;
}

// 255 commas would make 256 words; the count stays at 255, the most a Byte holds.
uint8_t WordCount(const std::string& S, char Ch) {
    std::string s = CutStr(S);
    if (Ch == ' ') s = StripLeft(s, ' ');
    if (s.empty()) return 0;
    unsigned count = 1;
    std::size_t from = 0;
    for (std::size_t p = s.find(Ch, from); p != std::string::npos; p = s.find(Ch, from)) {
        ++count;
        from = p + 1;
        if (Ch == ' ')
            while (from < s.size() && s[from] == ' ') ++from;
    }
    return static_cast<uint8_t>(count > 255 ? 255 : count);
}

// The start of a word that begins just past the end of a 255-byte string
// would be 256; it is reported as 255.
uint8_t WordPos(uint8_t N, const std::string& S, char Ch) {
    std::string s = CutStr(S);
    unsigned pos = 1;
    for (unsigned k = 1; k < N; ++k) {
        std::size_t p = PosAt(Ch, s);
        if (p == 0) break;
        s.erase(0, p);
        while (!s.empty() && s[0] == Ch) {
            s.erase(0, 1);
            ++p;
        }
        pos += static_cast<unsigned>(p);
    }
    return static_cast<uint8_t>(pos > 255 ? 255 : pos);
}

std::string WordGet(uint8_t N, const std::string& S, char Ch) {
    std::string s = CutStr(S);
    if (PosAt(Ch, s) == 0) return std::string();
    if (Ch == ' ') s = StripLeft(s, ' ');
    for (unsigned k = 1; k < N; ++k) {
        std::size_t p = PosAt(Ch, s);
        if (p == 0) return std::string();
        if (Ch == ' ')
            while (p < s.size() && s[p] == ' ') ++p;
        s.erase(0, p);
    }
    std::size_t q = s.find(Ch);
    return q == std::string::npos ? s : s.substr(0, q);
}

std::string TextBetween(const std::string& S, const std::string& Open, const std::string& Close) {
    const std::string s = CutStr(S);
    const int64_t a = Pos(Open, s);
    const int64_t b = Pos(Close, s);
    if (a == 0 || b == 0) return "not found";
    const int64_t from = a + static_cast<int64_t>(Open.size());
    return Copy(s, from, b - from);
}

std::string IntToStr2(int32_t N) {
    std::string t = IntToStr(N);
    return t.size() == 1 ? "0" + t : t.substr(0, 2);
}

std::string ByteToHex(uint8_t B) {
    return std::string{HexDigits[B >> 4], HexDigits[B & 15]};
}

std::string CharsToStr(const void* P, uint8_t Len) {
    if (P == nullptr) return std::string();
    const char* c = static_cast<const char*>(P);
    const void* nul = std::memchr(c, 0, Len);
    return std::string(c, nul ? static_cast<const char*>(nul) - c : Len);
}

std::string YesNoStr(bool B) {
    return B ? "Yes" : "No";
}

std::string WrapLine(std::string& S, uint8_t Width, bool Justify) {
    S = CutStr(std::move(S));
    if (S.size() <= Width) {
        std::string all = std::move(S);
        S.clear();
        return all;
    }
    std::size_t cut = Width;
    for (std::size_t p = Width; p >= 1; --p) {
        if (S[p - 1] == ' ') {
            cut = p;
            break;
        }
    }
    std::string line = S.substr(0, cut);
    S.erase(0, cut);
    return Justify ? JustifyLine(line, Width) : line;
}

uint8_t SplitAtBlank(std::string& S, std::string& Rest, uint8_t Col) {
    Rest.clear();
    S = CutStr(std::move(S));
    if (S.find(' ') == std::string::npos || S.size() < Col) return 0;
    for (std::size_t i = S.size(); i >= 1; --i) {
        if (S[i - 1] == ' ' && i < Col) {
            Rest = S.substr(i);
            S.resize(i - 1);
            return static_cast<uint8_t>(i);
        }
    }
    return 0;
}

std::string StripPipe(const std::string& S) {
    const std::string s = CutStr(S);
    std::string r;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '|' && i + 2 < s.size()) {
            const std::string code = s.substr(i + 1, 2);
            const int32_t n = StrToInt(code);
            if (code != "00" && (n < 1 || n > 23)) r += s.substr(i, 3);
            i += 3;
        } else {
            r += s[i++];
        }
    }
    return r;
}

std::string StripAllPipe(const std::string& S) {
    const std::string s = CutStr(S);
    std::string r;
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] == '|')
            i += 3;
        else
            r += s[i++];
    }
    return r;
}

uint8_t StrPipeLength(const std::string& S) {
    const std::string s = CutStr(S);
    std::size_t visible = 0;
    std::size_t i = 0;
    // Codes are skipped up to the first "|" with fewer than two bytes after it;
    // from there on everything counts.
    while (i < s.size()) {
        if (s[i] == '|') {
            if (i + 2 >= s.size()) break;
            i += 3;
        } else {
            ++visible;
            ++i;
        }
    }
    return static_cast<uint8_t>(visible + (s.size() - i));
}

uint8_t PipeWidth(const std::string& S, uint8_t Width) {
    const std::size_t len = CutStr(S).size();
    return static_cast<uint8_t>((Width + len - StrPipeLength(S)) % 256);
}

std::string ColorToPipe(uint8_t Color) {
    if (Color > 15) Color = 7;
    return (Color < 10 ? "|0" : "|") + IntToStr(Color);
}

std::string HotKeyStr(const std::string& S) {
    std::string r = "|00|23\xC3\x9D";
    r += S.substr(0, 1);
    r += "\xC3\x9E|07|16";
    if (S.size() > 1) r += S.substr(1);
    return CutStr(r);
}
