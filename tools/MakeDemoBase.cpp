// MakeDemoBase DIR [NAME]: builds a small JAM base (default name "demo") whose
// messages show off what the viewer knows: ANSI colours, pipe codes, PGP and
// UUencoded blocks, links, network and e-mail addresses, base64, a deleted
// message, names and subjects too long for their fields, and code page 437
// bytes, a text without a final CR, texts whose lines end in LF only and in
// CR LF (one of them with a UUencoded block), and a paragraph that is one
// long line. An old base of that name is removed first (its four files only).

#include "jam/JamBase.h"
#include "support/FileDesc.h"
#include "support/StrUtil.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* Exts[] = {".jhr", ".jdx", ".jdt", ".jlr"};

// How a text's lines end in the base.
enum class TLineEnd : uint8_t { leCr, leCrLf, leLf };

struct DemoMsg {
    std::string From, To, Subj;
    RecEchoMailAddr Orig, Dest;
    std::string Text; // lines ending in LF here, in Ends in the base (see StoredText)
    bool Delete = false;
    TLineEnd Ends = TLineEnd::leCr; // CR as JAM has it; LF as Unix-made, CR LF as DOS-made texts
    bool FinalEnd = true;           // false: the last line has no line end
};

constexpr RecEchoMailAddr NoAddr{};
constexpr RecEchoMailAddr Sysop{2, 5020, 100, 0};
constexpr RecEchoMailAddr Point1{2, 5020, 100, 1};
constexpr RecEchoMailAddr Remote{1, 261, 38, 0};

std::string Lines(std::initializer_list<std::string> lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

std::string Esc(const char* seq) {
    return std::string("\x1b[") + seq;
}

std::string Origin(const char* where) {
    return "--- MakeDemoBase\n * Origin: " + std::string(where) + "\n";
}

std::string AnsiText() {
    std::string s = Lines({"ANSI colours, as a sysop's colourful greeting would send them:", ""});
    const char* names[] = {"black", "red", "green", "yellow", "blue", "magenta", "cyan", "white"};
    for (int i = 0; i < 8; ++i) {
        std::string fg = std::to_string(30 + i), bg = std::to_string(40 + i);
        s += Esc((fg + "m").c_str()) + "  " + names[i] + "  " + Esc(("1;" + fg + "m").c_str()) +
             "bright " + names[i] + Esc("0m") + "   " + Esc(("37;" + bg + "m").c_str()) + " on " +
             names[i] + " " + Esc("0m") + "\n";
    }
    s += "\n" + Esc("1;33;44m") + " Yellow on blue " + Esc("0m") + " " + Esc("5;31m") +
         "blinking red" + Esc("0m") + " " + Esc("7m") + "reversed" + Esc("0m") + "\n";
    s += Esc("2J") + Esc("1;1H") + "(a clear-screen and a cursor move were in this line)\n";
    return s + Origin("Colour Corner (2:5020/100)");
}

std::string PipeText() {
    std::string s = Lines({"Pipe codes: a bar and two digits pick a colour.", ""});
    for (int c = 0; c < 16; ++c) {
        std::string code = (c < 10 ? "|0" : "|") + std::to_string(c);
        s += code + "colour " + std::to_string(c) + "|07  ";
        if (c % 4 == 3) s += "\n";
    }
    s += "|17|15 white on blue |16|07 and back to grey.\n";
    s += "|14Yellow|07, |12light red|07, |10light green|07, |11light cyan|07.\n";
    s += "A bar that is not a code: 100% | 50%, and ||| on its own.\n";
    return s + Origin("Pipe Dreams BBS (2:5020/100.1)");
}

std::string PgpEncrypted() {
    return Lines({"Here is the file, encrypted for you only:", "", "-----BEGIN PGP MESSAGE-----",
                  "Version: GnuPG v2", "",
                  "hQEMA3xYz1Zc0ZvUAQf/YIuE5zJq4y0g7t0e6zZx0mQ0yXvL2d0+3nX5a9bX0mWc",
                  "pU3KGCUwux1tEyze1iN7LtkeP3IfyxlxF0SU1kk8nVw0YL4xIB5p/tqg7ui5mX9c",
                  "fCmZ/a/lkyU81lSvTfrXFCegrrP+6SMvivIhH57kkcWxC+y1Vjv8Hm+TQn7LyP4p",
                  "VeXNjkbcjtS3wnZNKlpNdncG+F2GkAJK1r2jQBvpyMvMyTX2zR9hImrhUziuGjQA",
                  "TTO6DSRqwEyBsbryPjv57vX3nytJNK+H9VILablLDZguhbtVtnKocmN6zXRm/LYO",
                  "Do/xhGOw5LI=", "=Xk3q", "-----END PGP MESSAGE-----", ""}) +
           Origin("Crypto Corner (1:261/38)");
}

std::string PgpSigned() {
    return Lines({"-----BEGIN PGP SIGNED MESSAGE-----", "Hash: SHA256", "",
                  "The meeting is on Saturday at 19:00, as agreed.",
                  "- -----BEGIN dashed line, escaped as signed text does-----", "",
                  "-----BEGIN PGP SIGNATURE-----", "",
                  "iQEzBAEBCAAdFiEEuilwNHTwZKxo9wD1sCs9xmb0W96qLMrtzStRV0EOTe5K8rNP",
                  "QwoHNEfeY2wOgGyVe6aE1kMfterXQk0J4V0CTFhI8j0fpvc2HX9hjRUy5w4g4qZm", "jef0foRn",
                  "=pQ7z", "-----END PGP SIGNATURE-----"}) +
           Origin("Crypto Corner (1:261/38)");
}

std::string UuText() {
    return Lines({"The little text file you asked for, UUencoded:", "", "begin 644 hello.txt",
                  R"uu(M2&5L;&\@9G)O;2!T:&4@9&5M;R!B87-E(0I4:&ES(&9I;&4@=')A=F5L;&5D)uu",
                  R"uu(3(&EN<VED92!A(&UE<W-A9V4N"@``)uu", "`", "end", "",
                  "Save the block and decode it with uudecode."}) +
           Origin("File Bone (2:5020/100)");
}

std::string Base64Text() {
    return Lines({"A message that came in through an e-mail gateway:", "", "MIME-Version: 1.0",
                  "Content-Type: text/plain; charset=IBM437", "Content-Transfer-Encoding: base64",
                  "",
                  "VGhpcyBwYXJ0IG9mIHRoZSBtZXNzYWdlIHdhcyBzZW50IGFzIGJhc2U2NC4NCkl0IGRlY29kZXMg",
                  "dG8gdHdvIGxpbmVzIG9mIHBsYWluIHRleHQuDQo=", "",
                  "Write to gateway@example.org if it does not decode."}) +
           Origin("Gate Keeper (2:5020/100)");
}

std::string LinksText() {
    return Lines({"Places to visit:", "", "  The project page:   http://www.example.com/kelvarin/",
                  "  Secure mirror:      https://mirror.example.net/pub/jam/index.html",
                  "  Old file area:      ftp://ftp.example.org/pub/fido/", "",
                  "Netmail me at 2:5020/100.1 or mail jane.doe@example.org;",
                  "my other points are 2:5020/100.2 and 1:261/38.", "",
                  "See also <news@example.com> for the weekly digest."}) +
           Origin("Link Hub (2:5020/100.1)");
}

// A framed box of code page 437 double lines, with accented letters inside.
std::string Cp437Text() {
    const std::string bar(40, '\xCD');
    // Every code page 437 byte is one cell on the screen.
    auto row = [](const std::string& inner) {
        return "\xBA " + inner + std::string(38 - inner.size(), ' ') + " \xBA\n";
    };
    std::string s = "Code page 437 in a message:\n\n";
    s += "\xC9" + bar + "\xBB\n";
    s += row("Caf\x82, na\x8B"
             "ve, se\xA4"
             "or, M\x81"
             "nchen");
    s += row("Fran\x87"
             "ais, \x84\x94\x81 \x8E\x99\x9A \xE1");
    s += row("\xB0\xB0\xB1\xB1\xB2\xB2\xDB\xDB shades and blocks");
    s += row("\x9B \x9C \x9D \xAB \xAC \xF8 \xF1 \xFD");
    s += "\xC8" + bar + "\xBC\n";
    s += "\xDA\xC4\xC4\xC2\xC4\xC4\xBF\n\xB3 1\xB3 2\xB3\n\xC0\xC4\xC4\xC1\xC4\xC4\xD9\n";
    return s + Origin("Box Drawing Club (2:5020/100)");
}

// A paragraph as editors that wrap only on the screen send it: one line.
std::string LongLines() {
    std::string para = "This paragraph was written in an editor that wraps lines only on the "
                       "screen, so it reaches the base as one line.";
    while (para.size() < 1200)
        para += " It goes on and on without a line end, and the reader keeps it whole, wrapping "
                "it at 80 columns.";
    para += " This is its last sentence.";
    return Lines({"The next paragraph is one line of " + std::to_string(para.size()) + " bytes:",
                  "", para, "", "The line after it is short again."}) +
           Origin("Wide Screen (2:5020/100)");
}

std::string ManyLines() {
    std::string s = "A long message, to scroll through:\n\n";
    for (int i = 1; i <= 120; ++i)
        s += "Line " + std::to_string(i) + " of 120" +
             (i % 10 == 0 ? "  -- a round number\n" : "\n");
    return s + Origin("Scroll Club (2:5020/100)");
}

std::vector<DemoMsg> DemoMessages() {
    const std::string longName =
        "Bartholomew Maximilian Fitzgerald-Wellington the Third, Keeper of the Registry of Very "
        "Long Names and Titles";
    const std::string longSubj =
        "This subject is deliberately long, so that it runs past the hundred bytes a subject may "
        "keep in the base and is cut";
    std::vector<DemoMsg> m = {
        {"Sysop", "All", "Welcome to the demo base", Sysop, NoAddr,
         Lines({"Welcome!", "", "This base was made by MakeDemoBase. Each message shows one",
                "thing the viewer knows how to display. Page through them, open",
                "them, and try the search."}) +
             Origin("Demo Base (2:5020/100)")},
        {"Sysop", "All", "ANSI colours", Sysop, NoAddr, AnsiText()},
        {"Jane Doe", "All", "Pipe codes", Point1, NoAddr, PipeText()},
        {"Crypto Carl", "Jane Doe", "Encrypted file list", Remote, Point1, PgpEncrypted()},
        {"Crypto Carl", "All", "Meeting time (signed)", Remote, NoAddr, PgpSigned()},
        {"Bob Miller", "Jane Doe", "hello.txt as you asked", Sysop, Point1, UuText()},
        {"Gateway", "Bob Miller", "Mail from the gateway", Sysop, NoAddr, Base64Text()},
        {"Jane Doe", "All", "Links and addresses", Point1, NoAddr, LinksText()},
        {"Ren\x82 Fran\x87"
         "ois",
         "All", "Accents and boxes: \x84\x94\x81 \xC9\xCD\xBB", Sysop, NoAddr, Cp437Text()},
        {longName, longName, longSubj, Sysop, Sysop,
         Lines({"Both names and the subject of this message are longer than", "their fields.",
                "The list shows what is left of them."})},
        {"Sysop", "All", "A long paragraph", Sysop, NoAddr, LongLines()},
        {"Sysop", "All", "A long message", Sysop, NoAddr, ManyLines()},
        {"Spammer", "All", "This message is deleted", NoAddr, NoAddr,
         Lines({"Buy now! This message was deleted after it was added."}), true},
        {"Bob Miller", "Sysop", "No addresses at all", NoAddr, NoAddr,
         Lines({"This message carries no origin or destination address."})},
        {"Sysop", "Bob Miller", "Text without a final CR", Sysop, NoAddr,
         Lines({"This text ends without a carriage return:", "its last line is read all the same,",
                "down to this very last word."}),
         false, TLineEnd::leCr, false},
        {"Unix User", "All", "Lines ended by LF only", Point1, NoAddr,
         Lines({"This text kept its LF line ends, as Unix-made texts often do.",
                "It holds no CR at all, and every line of it is read."}),
         false, TLineEnd::leLf},
        {"Dos User", "Jane Doe", "hello.txt with CR LF line ends", Point1, Sysop,
         "This copy came from a DOS editor: every line ends in CR LF.\n" + UuText(), false,
         TLineEnd::leCrLf},
    };
    // A thread to fill more than one page of the list.
    const char* people[] = {"Jane Doe", "Bob Miller", "Sysop", "Crypto Carl"};
    for (int i = 0; i < 18; ++i) {
        std::string from = people[i % 4], to = people[(i + 1) % 4];
        std::string initials = from.substr(0, 1) + from.substr(from.find(' ') + 1, 1);
        m.push_back({from, to, i == 0 ? "Weekend BBS meeting" : "Re: Weekend BBS meeting",
                     i % 2 ? Point1 : Sysop, NoAddr,
                     Lines({" " + initials + "> Are you coming on Saturday?", "",
                            "Reply number " + std::to_string(i + 1) + " in this thread.",
                            i % 3 == 0 ? "I will bring the modem." : "See you there."}) +
                         Origin("Demo Base (2:5020/100)")});
    }
    return m;
}

// The bytes the base keeps for M's text: its LFs become M's line ends, and
// the last one is dropped when the last line is to have none.
std::string StoredText(const DemoMsg& M) {
    std::string text = M.Text;
    if (!M.FinalEnd && !text.empty() && text.back() == '\n') text.pop_back();
    const char* end = M.Ends == TLineEnd::leCrLf ? "\r\n" : M.Ends == TLineEnd::leLf ? "\n" : "\r";
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += end;
        else
            out += c;
    }
    return out;
}

// Sets the TxtLen of message No to Len in the header file: AddMessage ends
// every text with a CR of its own, which a text that is to end otherwise
// must not have.
bool SetTextLength(TJamBase& B, size_t No, size_t Len) {
    if (!B.ReadHeader(static_cast<int32_t>(No))) return false;
    unsigned char le[4];
    for (int i = 0; i < 4; ++i) le[i] = static_cast<unsigned char>(Len >> (8 * i));
    TFileDesc f;
    if (!f.Open(B.BasePath + ".jhr", O_WRONLY)) return false;
    int err = 0;
    const bool ok = PWriteAll(f.Fd(), le, 4, int64_t{B.CurHdrOffset} + 64, err) == 4;
    return f.Close() && ok;
}

// AddMessage takes the text from a file: each text goes through a temporary
// one. AddMessage copies the file's bytes as they are and adds a CR, so a
// text that ends in a CR of its own goes without it, and any other has the
// added CR cut off again by its length.
bool AddOne(TJamBase& B, const DemoMsg& M, size_t No) {
    const std::string stored = StoredText(M);
    std::string text = stored;
    const bool endsInCr = !text.empty() && text.back() == '\r';
    if (endsInCr) text.pop_back();
    const char* tmp = getenv("TMPDIR");
    std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/MakeDemoBase.XXXXXX";
    int fd = mkstemp(name.data());
    if (fd < 0) {
        fprintf(stderr, "MakeDemoBase: cannot make a temporary file: %s\n", strerror(errno));
        return false;
    }
    bool ok = WriteAll(fd, text);
    ok = close(fd) == 0 && ok;
    int16_t code = ok ? B.AddMessage(M.From, M.To, M.Subj, M.Orig, M.Dest, name) : JamOk;
    unlink(name.c_str());
    if (!ok)
        fprintf(stderr, "MakeDemoBase: cannot write the text of message %zu\n", No);
    else if (code != JamOk)
        fprintf(stderr, "MakeDemoBase: cannot add message %zu (code %d)\n", No, code);
    else if (!endsInCr && !SetTextLength(B, No, stored.size()))
        fprintf(stderr, "MakeDemoBase: cannot set the text length of message %zu\n", No);
    else
        return true;
    return false;
}

bool RemoveOld(const std::string& Base) {
    for (const char* ext : Exts) {
        std::string path = Base + ext;
        if (unlink(path.c_str()) != 0 && errno != ENOENT) {
            fprintf(stderr, "MakeDemoBase: cannot remove %s: %s\n", path.c_str(), strerror(errno));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: MakeDemoBase DIR [NAME]   (NAME defaults to \"demo\")\n");
        return 2;
    }
    const std::string dir = argv[1], name = argc > 2 ? argv[2] : "demo";
    const std::string base = AddSlash(dir) + name;
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        fprintf(stderr, "MakeDemoBase: %s is not a directory\n", dir.c_str());
        return 1;
    }
    if (!RemoveOld(base)) return 1;
    if (int16_t code = TJamBase::CreateBase(dir, name); code != JamOk) {
        fprintf(stderr, "MakeDemoBase: cannot create the base %s (code %d)\n", base.c_str(), code);
        return 1;
    }
    TJamBase b;
    b.BasePath = base;
    if (!b.Open()) {
        fprintf(stderr, "MakeDemoBase: cannot open the new base %s\n", base.c_str());
        return 1;
    }
    const std::vector<DemoMsg> msgs = DemoMessages();
    for (size_t i = 0; i < msgs.size(); ++i)
        if (!AddOne(b, msgs[i], i + 1)) return 1;
    int deleted = 0;
    for (size_t i = 0; i < msgs.size(); ++i) {
        if (!msgs[i].Delete) continue;
        if (!b.DeleteMsg(static_cast<int32_t>(i + 1), false)) {
            fprintf(stderr, "MakeDemoBase: cannot delete message %zu\n", i + 1);
            return 1;
        }
        ++deleted;
    }
    printf("Made the demo base %s: %d messages, %d of them deleted.\n", base.c_str(), b.TotalMsgs,
           deleted);
    for (const char* ext : Exts)
        if (stat((base + ext).c_str(), &st) == 0)
            printf("  %s%s  %lld bytes\n", base.c_str(), ext, static_cast<long long>(st.st_size));
    return 0;
}
