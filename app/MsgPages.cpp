#include "app/MsgPages.h"

#include "app/MainProgram.h"
#include "jam/JamBase.h"
#include "support/StrUtil.h"
#include "terminal/Console.h"
#include "terminal/KeyCodes.h"
#include "ui/Dialogs.h"
#include "ui/LightBar.h"
#include "ui/MenuBox.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>

namespace {

struct FlagPattern {
    char Letter;
    const char* Pattern;
};

// The content tests, in the order they are tried on a line.
constexpr std::array<FlagPattern, 6> FlagPatterns{{
    {'P', ".*-----BEGIN PGP (PUBLIC KEY BLOCK|MESSAGE)-----"},
    {'U', "begin \\d\\d\\d .*"},
    {'L', "(telnet|https?|ftp)://[^\\s/$.?#].[^\\s]*$"},
    {'N', "\\d{1,3}\\:\\d{1,3}\\/\\d{1,3}"},
    {'E', "[\\w-\\.]+@([\\w-]+\\.)+[\\w-]{2,4}$"},
    {'B', "begin-base64 \\d\\d\\d .*"},
}};

// Compiled once, on first use.
std::array<TRegEx, 6>& FlagRegExes() {
    static std::array<TRegEx, 6> res;
    static const bool compiled = [] {
        for (std::size_t k = 0; k < res.size(); ++k) res[k].Compile(FlagPatterns[k].Pattern);
        return true;
    }();
    (void)compiled;
    return res;
}

TMatch YesNo(bool Hit) {
    return Hit ? TMatch::Yes : TMatch::No;
}

// Milliseconds of a coarse monotonic clock: the stop check reads it for
// every line, and a few milliseconds of resolution are plenty.
int64_t NowMs() {
    timespec t{};
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &t) != 0) clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

char UpCase(char C) {
    return C >= 'a' && C <= 'z' ? char(C - 32) : C;
}

// Appends S upper-cased (a-z only) to Out, eight bytes at a time: in each
// byte below $80, "a" <= byte <= "z" sets that byte's top bit of the mask,
// and the mask shifted to bit 5 flips exactly those bytes to upper case.
void AppendUpper(std::string& Out, std::string_view S) {
    constexpr uint64_t ones = 0x0101010101010101ull, high = ones * 0x80;
    std::size_t at = Out.size();
    Out.resize(at + S.size());
    char* d = Out.data() + at;
    const char* p = S.data();
    std::size_t n = S.size(), i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x;
        std::memcpy(&x, p + i, 8);
        uint64_t low7 = x & ~high;
        uint64_t geA = low7 + ones * (0x80 - 'a');
        uint64_t gtZ = low7 + ones * (0x80 - 'z' - 1);
        uint64_t lower = geA & ~gtZ & ~x & high;
        x ^= lower >> 2;
        std::memcpy(d + i, &x, 8);
    }
    for (; i < n; ++i) d[i] = UpCase(p[i]);
}

// The place in S of its byte that is least common in mail text, by a rough
// ranking of English letter frequencies (a blank is the most common byte;
// digits and signs are rarer than most letters).
std::size_t RarestByte(const std::string& S) {
    static constexpr std::string_view byFrequency = " ETAOINSHRDLUCMWFGYPBVKJXQZ";
    std::size_t best = 0, bestRank = 0; // a lone blank still names place 0
    for (std::size_t i = 0; i < S.size(); ++i) {
        std::size_t r = byFrequency.find(S[i]);
        std::size_t rank = r == std::string_view::npos ? byFrequency.size() - 4 : r;
        if (rank > bestRank) {
            best = i;
            bestRank = rank;
        }
    }
    return best;
}

} // namespace

std::string RowText(int32_t MsgNo, const std::string& Subj, const std::string& From,
                    const std::string& To) {
    std::string row = PadLeft(IntToStr(MsgNo), 5, '0').substr(0, 5);
    row += ' ';
    row += PadRight(Subj, 32, ' ');
    row += ' ';
    row += PadRight(From, 14, ' ');
    row += ' ';
    row += PadRight(To, 14, ' ');
    row += ' ';
    return row;
}

std::string ContentFlags(const TStringList& Lines) {
    auto& res = FlagRegExes();
    std::string flags;
    std::array<bool, 6> found{};
    for (const std::string& line : Lines) {
        for (std::size_t k = 0; k < res.size(); ++k) {
            if (found[k] || res[k].Matches(line) != TMatch::Yes) continue;
            found[k] = true;
            flags += FlagPatterns[k].Letter;
        }
        if (flags.size() == res.size()) break;
    }
    return flags;
}

std::vector<TListRow> PageRows(TJamBase& B, int32_t Top) {
    std::vector<TListRow> rows;
    if (Top < 1 || !B.IdxStream) return rows;
    // Only the records the index file holds now are visited; one cut short
    // counts as visited and gives no row.
    int64_t idxSize = B.IdxStream->Size();
    for (int32_t i = 0; i < PageSize; ++i) {
        if (int64_t(Top - 1) + i >= idxSize / JamIdxSize + (idxSize % JamIdxSize != 0)) break;
        int32_t n = Top + i;
        if (!B.ReadHeader(n)) continue;
        TListRow row{RowText(n, B.MsgSubj, B.MsgFrom, B.MsgTo), n};
        if (B.IsDeleted()) row.Text += 'D';
        if (B.ReadMessage(n)) row.Text += ContentFlags(B.MsgText);
        rows.push_back(std::move(row));
    }
    return rows;
}

int32_t NextPageTop(int32_t Top, int32_t T) {
    if (int64_t(Top) + PageSize < T) return Top + PageSize;
    return LastPageTop(T);
}

int32_t PrevPageTop(int32_t Top) {
    return Top - PageSize > 0 ? Top - PageSize : 1;
}

int32_t LastPageTop(int32_t T) {
    return T - (PageSize - 1) > 0 ? T - (PageSize - 1) : 1;
}

int32_t JumpPageTop(int32_t N, int32_t T) {
    return std::max(std::min(N, T), 1);
}

TSearcher::TSearcher(const std::string& Text, bool RegEx) : FRegEx(RegEx) {
    if (RegEx)
        FOk = FRe.Compile(Text);
    else
        FUpper = UpperCase(Text);
    FRare = RarestByte(FUpper);
}

bool TSearcher::CheckStop() {
    if (FStopped || !Stop) return FStopped;
    const int64_t now = NowMs();
    if (now < FNextStopMs) return false;
    FNextStopMs = now + StopIntervalMs;
    FStopped = Stop();
    return FStopped;
}

TMatch TSearcher::RegExHit(std::string_view Line) {
    return CheckStop() ? TMatch::GaveUp : FRe.Matches(Line);
}

TMatch TSearcher::Hit(std::string_view S) {
    if (FRegEx) return RegExHit(S);
    if (FUpper.empty()) return TMatch::Yes;
    if (S.size() < FUpper.size()) return TMatch::No;
    FFolded.clear();
    AppendUpper(FFolded, S);
    return YesNo(FFolded.find(FUpper) != std::string::npos);
}

TMatch TSearcher::TextHit(const TStringList& Lines) {
    if (FRegEx) {
        // A line without the byte every match holds cannot match: a memchr
        // spares most lines the call into the matcher.
        int32_t req = FRe.RequiredByte();
        char a = char(req), b = a;
        if (req >= 'a' && req <= 'z') b = char(req - 32);
        if (req >= 'A' && req <= 'Z') b = char(req + 32);
        TMatch res = TMatch::No;
        for (const std::string& line : Lines) {
            if (req >= 0 && !std::memchr(line.data(), a, line.size()) &&
                (a == b || !std::memchr(line.data(), b, line.size())))
                continue;
            TMatch m = RegExHit(line);
            if (m == TMatch::Yes) return m;
            if (m == TMatch::GaveUp) res = m;
            if (FStopped) break;
        }
        return res;
    }
    if (FUpper.empty()) return YesNo(Lines.Count() > 0);
    if (FUpper.find('\r') != std::string::npos) { // could span two joined lines
        for (const std::string& line : Lines)
            if (Hit(line) == TMatch::Yes) return TMatch::Yes;
        return TMatch::No;
    }
    // One pass: every line upper-cased and joined by CR, which no line and
    // not the search text holds, so a hit cannot run across two lines.
    FFolded.clear();
    for (const std::string& line : Lines) {
        AppendUpper(FFolded, line);
        FFolded += '\r';
    }
    return YesNo(std::string_view(FFolded).find(FUpper) != std::string_view::npos);
}

namespace {

// Where the line after the line end at the CR Cr begins: an LF right after
// the CR belongs to the line end.
const char* AfterLineEnd(const char* Cr, const char* End) {
    return Cr + 1 < End && Cr[1] == '\n' ? Cr + 2 : Cr + 1;
}

} // namespace

TMatch TSearcher::RawTextHit(const char* Text, std::size_t Len) {
    if (Len == 0) return TMatch::No;
    if (FRegEx) return RawRegExHit(Text, Len);
    if (FUpper.empty()) return TMatch::Yes;                        // a text of any byte has a line
    if (FUpper.find('\r') != std::string::npos) return TMatch::No; // no line holds a CR
    // A final LF ends the last line, after a CR or not: it is in no line. A
    // hit holds no CR, so the only other LF outside the lines it could hold
    // is that of a CR LF, and only as its first byte.
    if (Text[Len - 1] == '\n') --Len;
    // Candidates are the places of the search text's rarest byte, in either
    // case, found by memchr; each is compared in full only there.
    const std::size_t m = FUpper.size(), k = FRare;
    const char* end = Text + Len;
    char a = FUpper[k], b = a >= 'A' && a <= 'Z' ? char(a + 32) : a;
    auto nextA = static_cast<const char*>(std::memchr(Text + k, a, Len - std::min(k, Len)));
    auto nextB = a == b
                     ? nullptr
                     : static_cast<const char*>(std::memchr(Text + k, b, Len - std::min(k, Len)));
    while (nextA || nextB) {
        bool fromA = !nextB || (nextA && nextA < nextB);
        const char* at = fromA ? nextA : nextB;
        const char* start = at - k;
        if (std::size_t(end - start) >= m &&
            !(start > Text && start[-1] == '\r' && *start == '\n')) {
            std::size_t j = 0;
            while (j < m && UpCase(start[j]) == FUpper[j]) ++j;
            if (j == m) return TMatch::Yes;
        }
        const char*& next = fromA ? nextA : nextB;
        next = static_cast<const char*>(std::memchr(at + 1, *at, std::size_t(end - at - 1)));
    }
    return TMatch::No;
}

TMatch TSearcher::RawRegExHit(const char* Text, std::size_t Len) {
    const char* end = Text + Len;
    // The last line ends before an LF that ends the text.
    const char* last = end[-1] == '\n' ? end - 1 : end;
    TMatch res = TMatch::No;
    const auto test = [&](const char* Line, const char* LineEnd) {
        TMatch m = RegExHit(std::string_view(Line, std::size_t(LineEnd - Line)));
        if (m == TMatch::GaveUp) res = m;
        return m == TMatch::Yes;
    };
    int32_t req = FRe.RequiredByte();
    if (req < 0) {
        for (const char* line = Text; line < end && !FStopped;) {
            auto cr = static_cast<const char*>(std::memchr(line, '\r', std::size_t(end - line)));
            if (test(line, cr ? cr : last)) return TMatch::Yes;
            line = cr ? AfterLineEnd(cr, end) : end;
        }
        return res;
    }
    // Only a line holding the required byte can match: jump from one such
    // byte to the next and test its line once.
    char a = char(req), b = a;
    if (req >= 'a' && req <= 'z') b = char(req - 32);
    if (req >= 'A' && req <= 'Z') b = char(req + 32);
    auto nextA = static_cast<const char*>(std::memchr(Text, a, Len));
    auto nextB = a == b ? nullptr : static_cast<const char*>(std::memchr(Text, b, Len));
    const char* lineFrom = Text; // every line before it is done
    while ((nextA || nextB) && !FStopped) {
        const char*& next = !nextB || (nextA && nextA < nextB) ? nextA : nextB;
        const char* at = next;
        const char* line = at;
        while (line > lineFrom && line[-1] != '\r') --line;
        if (line > Text && line[-1] == '\r' && *line == '\n') ++line;
        auto cr = static_cast<const char*>(std::memchr(at, '\r', std::size_t(end - at)));
        const char* lineEnd = cr ? cr : last;
        if (at < line || at >= lineEnd) { // the LF of a line end, in no line
            next = static_cast<const char*>(std::memchr(at + 1, *at, std::size_t(end - at - 1)));
            continue;
        }
        if (test(line, lineEnd)) return TMatch::Yes;
        lineFrom = cr ? cr + 1 : end; // a CR LF's LF is passed over as above
        std::size_t left = std::size_t(end - lineFrom);
        if (nextA && nextA < lineFrom)
            nextA = static_cast<const char*>(std::memchr(lineFrom, a, left));
        if (nextB && nextB < lineFrom)
            nextB = static_cast<const char*>(std::memchr(lineFrom, b, left));
    }
    return res;
}

namespace {

// The search test of message N's text, read as stored when it is small
// (nearly always) and through its lines otherwise.
TMatch MessageTextHit(TJamBase& B, TSearcher& S, int32_t N) {
    int64_t start = std::max<int64_t>(B.MsgHdr.TxtOffset, 0);
    int64_t end = int64_t(B.MsgHdr.TxtOffset) + B.MsgHdr.TxtLen;
    if (end <= start) return TMatch::No;
    if (end - start <= int64_t(TSearcher::MaxRawText) && B.TxtStream) {
        const char* p = nullptr;
        B.TxtStream->Seek(start, soBeginning);
        int32_t got = B.TxtStream->ReadView(p, int32_t(end - start));
        return got > 0 ? S.RawTextHit(p, std::size_t(got)) : TMatch::No;
    }
    return B.ReadMessage(N) ? S.TextHit(B.MsgText) : TMatch::No;
}

} // namespace

TSearchResult SearchRows(TJamBase& B, TSearcher& S) {
    TSearchResult res;
    if (!B.IdxStream || !S.Ok()) return res;
    int64_t idxSize = B.IdxStream->Size();
    int32_t total =
        int32_t(std::min<int64_t>(idxSize / JamIdxSize + (idxSize % JamIdxSize != 0), INT32_MAX));
    for (int32_t n = 1; n <= total && !S.CheckStop(); ++n) {
        if (!B.ReadHeader(n)) continue;
        std::string flags;
        bool undecided = false;
        const auto take = [&](TMatch M, char Letter) {
            if (M == TMatch::Yes) flags += Letter;
            undecided = undecided || M == TMatch::GaveUp;
        };
        take(S.Hit(B.MsgFrom), 'F');
        take(S.Hit(B.MsgTo), 'R');
        take(S.Hit(B.MsgSubj), 'S');
        take(MessageTextHit(B, S, n), 'B');
        // A stop leaves the rest of this message untested on purpose.
        if (undecided && !S.Stopped()) ++res.Untested;
        if (!flags.empty())
            res.Rows.push_back({RowText(n, B.MsgSubj, B.MsgFrom, B.MsgTo) + flags, n});
    }
    res.Stopped = S.Stopped();
    return res;
}

std::string UntestedText(int32_t Count) {
    return "Lines of " + IntToStr(Count) + (Count == 1 ? " message" : " messages") +
           " could not be tested: the RegEx is too complex.";
}

// ---------------------------------------------------------------------------
// The screen side.

namespace {

// Drawn before the reading starts; the list's redraw covers it afterwards.
void WaitPanel() {
    DrawPanel(20, 10, 60, 16, 0);
    WriteXY(21, 11, 0x1F, "Please Wait...");
    WriteXY(21, 13, 0x70, PadCenter("Populating List...", 39, ' '));
    FlushScreen();
}

// Whether Esc is among the keys typed since the last look. The other keys
// are read and dropped: typed during a search, they were not meant for the
// list it fills. An extended key's scan code is dropped with it.
bool EscTyped() {
    bool esc = false;
    while (KeyPressed()) {
        char k = ReadKey();
        if (k == Key::Extended && Keyboard && Keyboard->KeyPut != Keyboard->KeyTake)
            ReadKey();
        else if (k == Key::Esc)
            esc = true;
    }
    return esc;
}

// How often a running search looks at the keyboard.
constexpr int32_t EscPollMs = 30;

void ShowRows(const std::vector<TListRow>& Rows) {
    MsgList->Clear();
    for (const TListRow& r : Rows) {
        MsgList->Add(r.Text);
        MsgList->Items.back().Data = IntToStr(r.MsgNo);
    }
}

} // namespace

void FillPage() {
    WaitPanel();
    // A base renamed over the open one is taken in its place; its page may
    // start past its end, and then the list shows its last page instead.
    if (TakeReplacedBase() && TopMsg > Base->TotalMsgs) TopMsg = LastPageTop(Base->TotalMsgs);
    CurrentTotal();
    ShowRows(PageRows(*Base, TopMsg));
}

void SearchMessages() {
    TSearcher searcher(SearchText, SearchRegEx);
    if (!searcher.Ok()) { // the list stays as it was
        ShowMsgBox(mbInfo, "Bad RegEx: " + searcher.Error());
        return;
    }
    WaitPanel();
    TakeReplacedBase();
    CurrentTotal();
    searcher.Stop = EscTyped;
    searcher.StopIntervalMs = EscPollMs;
    TSearchResult res = SearchRows(*Base, searcher);
    ShowRows(res.Rows);
    StatusLine = StartStatus + " Search Mode:" + (SearchRegEx ? " RegEx" : " Simple/Case Ins.");
    if (res.Stopped) ShowMsgBox(mbInfo, StoppedText);
    if (res.Untested > 0) ShowMsgBox(mbInfo, UntestedText(res.Untested));
}

void JumpTo() {
    int32_t n = InputNumber(30, 9, 30, 5, "Jump To:", "");
    // Numbers start at 1: 0 (also an empty or non-numeric answer, or Esc)
    // leaves the page as it is, as a negative number does.
    if (n <= 0) return;
    TopMsg = JumpPageTop(n, CurrentTotal());
    FillPage();
    MsgList->Index = 0;
}

std::string InputString(uint8_t X, uint8_t Y, uint8_t W, uint8_t H, const std::string& Default) {
    DrawPanel(X, Y, uint8_t(X + W), uint8_t(Y + H), 0);
    WriteXY(uint8_t(X + 2), uint8_t(Y + 1), 0x1F, "Enter String");
    return InputField(uint8_t(X + 2), uint8_t(Y + 3), uint8_t(W - 4), 254, imAny, Default).str();
}

int32_t InputNumber(uint8_t X, uint8_t Y, uint8_t W, uint8_t H, const std::string& Caption,
                    const std::string& Default) {
    DrawPanel(X, Y, uint8_t(X + W), uint8_t(Y + H), 0);
    WriteXY(uint8_t(X + 2), uint8_t(Y + 3), 0x70, Caption);
    uint8_t len = uint8_t(std::min<std::size_t>(Caption.size(), 255));
    uint8_t field = uint8_t(W - 4 - len);
    return StrToInt(
        InputField(uint8_t(X + 3 + len), uint8_t(Y + 3), field, field, imAny, Default).str());
}
