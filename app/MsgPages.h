#pragma once
// The rows of the message list: a page of up to 22 index records from a first
// message on, or every message that a search finds. A row is the message's
// number (five digits), subject, sender and recipient in fixed columns, then
// flag letters; it remembers the number of the message it was built from. The
// pure builders take the base and their inputs as arguments; FillPage,
// SearchMessages, JumpTo and the two prompts are the screen side over them.
// A search can be stopped (Esc on the screen side, a callback here) and
// says which messages it could not test.

#include "app/RegEx.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TJamBase;
class TStringList;

inline constexpr int32_t PageSize = 22; // rows of the list, index records of a page

struct TListRow {
    std::string Text;
    int32_t MsgNo = 0; // the message the row was built from
    bool operator==(const TListRow&) const = default;
};

// The row text of message MsgNo without flags: columns 1-69.
std::string RowText(int32_t MsgNo, const std::string& Subj, const std::string& From,
                    const std::string& To);
// The content flags of a text: P, U, L, N, E, B, each at most once, in the
// order of the lines where each was first found (P U L N E B within a line).
// A line on which a test gave up counts as no hit for that test, and later
// lines are still tried: the six patterns are linear on a line, so it
// hardly happens (on a line of megabytes at most), and a page must neither
// stop nor nag for a hint.
std::string ContentFlags(const TStringList& Lines);
// The rows of the page of Top: up to PageSize index records from message Top
// on, a record whose header cannot be read giving no row.
std::vector<TListRow> PageRows(TJamBase& B, int32_t Top);

// Paging: the first message of the page that "]", "[", ">" and a jump to N
// show; T is the number of messages.
int32_t NextPageTop(int32_t Top, int32_t T);
int32_t PrevPageTop(int32_t Top);
int32_t LastPageTop(int32_t T);
int32_t JumpPageTop(int32_t N, int32_t T); // N >= 0; 0 shows message 1

// A stop test for a long search: asked between messages and before every
// regular-expression match; true ends the search.
using TStopTest = std::function<bool()>;

// A search text and the way it is compared: plain (upper-cased on both sides,
// a substring) or a regular expression (as typed). A test answers GaveUp when
// the regular-expression matchers could not decide a line and no other line
// decided it, and once the stop test has ended the search.
class TSearcher {
public:
    TSearcher(const std::string& Text, bool RegEx);
    // False when the regular expression does not compile; Error says why.
    bool Ok() const { return FOk; }
    const std::string& Error() const { return FRe.Error; }

    // Asked before every regular-expression match and by SearchRows before
    // every message, but at most once every StopIntervalMs milliseconds
    // (0: every time); unset, nothing stops. Between two askings a check
    // costs one read of a coarse clock, so it may run for every line.
    TStopTest Stop;
    int32_t StopIntervalMs = 0;
    // Asks Stop when it is due, unless already stopped; true from the first
    // true answer on.
    bool CheckStop();
    bool Stopped() const { return FStopped; }

    // The test on one sender, recipient, subject or text line.
    TMatch Hit(std::string_view S);
    // Yes when some line of Lines holds the search text; else GaveUp when
    // some line could not be tested; else No.
    TMatch TextHit(const TStringList& Lines);
    // The same test on a message's text as stored, split as the base reader
    // splits it: a CR ends a line and takes an LF right after it along, the
    // bytes after the last line end are the last line (without an LF that
    // ends the text), lines are whole. Text must be no longer than
    // MaxRawText, which is less than a message's text may be and holds fewer
    // lines than it keeps, so the result equals TextHit of the lines read.
    TMatch RawTextHit(const char* Text, std::size_t Len);
    static constexpr std::size_t MaxRawText = 65536;

private:
    TMatch RegExHit(std::string_view Line);
    TMatch RawRegExHit(const char* Text, std::size_t Len);

    bool FRegEx;
    bool FOk = true;
    bool FStopped = false;
    int64_t FNextStopMs = 0; // when Stop is next asked
    std::string FUpper;      // plain mode: the upper-cased search text
    std::size_t FRare = 0;   // plain mode: where FUpper's least common byte stands
    TRegEx FRe;
    std::string FFolded; // plain mode: a line, or the lines joined by CR, upper-cased
};

struct TSearchResult {
    std::vector<TListRow> Rows;
    // Messages where a test stayed undecided (a line the matchers gave up
    // on), so a flag or the whole row may be missing.
    int32_t Untested = 0;
    // The stop test ended the search: Rows holds the hits found before, the
    // message in hand included when it already had a flag.
    bool Stopped = false;
};

// The search-result rows for S over every message of B from message 1 on;
// flags F, R, S, B (sender, recipient, subject, a text line) in this order.
TSearchResult SearchRows(TJamBase& B, TSearcher& S);

// What the message box after a search says about undecided messages.
std::string UntestedText(int32_t Count);
inline const std::string StoppedText = "Search stopped: the list holds the hits found so far.";

// The screen side; they work on the main program's globals.
void FillPage();
void SearchMessages();
void JumpTo();
std::string InputString(uint8_t X, uint8_t Y, uint8_t W, uint8_t H, const std::string& Default);
int32_t InputNumber(uint8_t X, uint8_t Y, uint8_t W, uint8_t H, const std::string& Caption,
                    const std::string& Default);
