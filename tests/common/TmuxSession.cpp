#include "tests/common/TmuxSession.h"

#include "tests/common/TempDirFixture.h"

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <utility>

#include <gtest/gtest.h>

namespace {

std::vector<std::string> SplitLines(const std::string& Out, int Height) {
    std::vector<std::string> rows;
    std::size_t at = 0;
    for (std::size_t nl; (nl = Out.find('\n', at)) != std::string::npos; at = nl + 1)
        rows.push_back(Out.substr(at, nl - at));
    rows.resize(static_cast<std::size_t>(Height));
    return rows;
}

// The colours the codes in force give: foreground, background, bold,
// blink and reverse, whatever order and repetitions they came in.
std::string Attr(const std::vector<int>& Sgr) {
    int fg = 39, bg = 49, bold = 0, blink = 0, rev = 0;
    for (int c : Sgr) {
        if ((c >= 30 && c <= 39) || (c >= 90 && c <= 97))
            fg = c;
        else if ((c >= 40 && c <= 49) || (c >= 100 && c <= 107))
            bg = c;
        else if (c == 1)
            bold = 1;
        else if (c == 22)
            bold = 0;
        else if (c == 5)
            blink = 1;
        else if (c == 25)
            blink = 0;
        else if (c == 7)
            rev = 1;
        else if (c == 27)
            rev = 0;
    }
    return "/" + std::to_string(fg) + "/" + std::to_string(bg) + "/" + std::to_string(bold) +
           std::to_string(blink) + std::to_string(rev);
}

} // namespace

std::string ShellRun(const std::string& Cmd) {
    std::string out;
    if (FILE* p = ::popen(Cmd.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

std::string ShellQuote(const std::string& S) {
    std::string q = "'";
    for (char c : S) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool HaveTmux() {
    return ShellRun("command -v tmux 2>/dev/null").find("tmux") != std::string::npos;
}

bool PrivateTmpWorks() {
    static const bool works =
        std::system("unshare -m sh -c 'mount --bind / /tmp' >/dev/null 2>&1") == 0;
    return works;
}

bool OtherUserWorks() {
    static const bool works =
        ::geteuid() == 0 && std::system(("setpriv --reuid=" + std::to_string(OtherUid) +
                                         " --regid=" + std::to_string(OtherUid) +
                                         " --clear-groups true >/dev/null 2>&1")
                                            .c_str()) == 0;
    return works;
}

std::string JoinRows(const std::vector<std::string>& Rows) {
    std::string s;
    for (const std::string& r : Rows) s += r + "\n";
    return s;
}

std::vector<std::string> ListNumbersAndFlags(const std::vector<std::string>& Rows) {
    std::vector<std::string> out;
    for (std::size_t r = 2; r < 24 && r < Rows.size(); ++r)
        if (Rows[r].size() >= 5 && std::isdigit(static_cast<unsigned char>(Rows[r][0])))
            out.push_back(std::to_string(std::stoi(Rows[r].substr(0, 5))) + " " +
                          (Rows[r].size() > 69 ? Rows[r].substr(69) : ""));
    return out;
}

TmuxSession::TmuxSession(std::string Socket) : FSocket(std::move(Socket)) {}

TmuxSession::~TmuxSession() {
    // The pane's programs ignore the hang-up that kill-server sends, as tmux
    // does: one still busy when a test failed would run on. Each pane leads a
    // process group of its own, which goes first.
    std::istringstream pids(Tmux("list-panes -a -F '#{pane_pid}'"));
    for (int pid = 0; pids >> pid;)
        if (pid > 1) ::kill(-pid, SIGKILL);
    Tmux("kill-server");
}

std::string TmuxSession::Command(const std::string& Args) const {
    return "tmux -L " + ShellQuote(FSocket) + " -f /dev/null " + Args;
}

std::string TmuxSession::Tmux(const std::string& Args) const {
    return ShellRun(Command(Args) + " 2>/dev/null");
}

namespace {

// A private /tmp hides everything under the real one, a build tree cloned
// there included. Such a program runs from a copy in the run's directory
// (which a test with a private /tmp keeps outside /tmp), with help.ans
// beside it, as the program looks for it beside itself.
std::string ReachableProgram(const TmuxRun& Run) {
    std::error_code ec;
    // A relative program is run from Dir.
    const std::string real =
        std::filesystem::weakly_canonical(std::filesystem::path(Run.Dir) / Run.Program, ec)
            .string();
    if (!Run.PrivateTmp || ec || real.rfind("/tmp/", 0) != 0) return Run.Program;
    const std::filesystem::path from(real);
    const std::filesystem::path to = std::filesystem::path(Run.Dir) / ".kv-program";
    std::filesystem::create_directories(to, ec);
    // Never over a copy already there: a session may be running it, and
    // under an emulator (which maps the file instead of executing it) a
    // rewrite would pull the code from under that program.
    const auto over = std::filesystem::copy_options::skip_existing;
    std::filesystem::copy_file(from, to / from.filename(), over, ec);
    if (std::filesystem::exists(from.parent_path() / "help.ans"))
        std::filesystem::copy_file(from.parent_path() / "help.ans", to / "help.ans", over, ec);
    return (to / from.filename()).string();
}

} // namespace

void TmuxSession::Start(const TmuxRun& Run) {
    FDir = Run.Dir;
    std::string cmd = Run.Emulator + " " + ShellQuote(ReachableProgram(Run)) + " " + Run.Args +
                      (Run.Input.empty() ? "" : " <" + ShellQuote(Run.Input));
    if (Run.Uid >= 0)
        cmd = "setpriv --reuid=" + std::to_string(Run.Uid) + " --regid=" + std::to_string(Run.Uid) +
              " --clear-groups " + cmd;
    if (Run.PrivateTmp)
        cmd = "unshare -m sh -c " +
              ShellQuote("mount --bind " + ShellQuote(Run.Dir + "/tmp") + " /tmp && exec " + cmd);
    std::string script = "cd " + ShellQuote(Run.Dir) + "; ";
    if (Run.Record) {
        for (const char* f : {"before", "after", "rc"}) ::unlink((Run.Dir + "/" + f).c_str());
        script += "stty -g >before; " + cmd +
                  "; echo $? >rc; stty -g >after.tmp; mv after.tmp after; exec sleep 100000";
    } else {
        script += "exec " + cmd;
    }
    StartShell(script, Run.Width, Run.Height);
}

void TmuxSession::StartShell(const std::string& ShellCommand, int Width, int Height) {
    FWidth = Width;
    FHeight = Height;
    Tmux("new-session -d -x " + std::to_string(Width) + " -y " + std::to_string(Height) + " " +
         ShellQuote(ShellCommand));
}

std::vector<std::string> TmuxSession::Capture(const std::string& Flags) const {
    return SplitLines(Tmux("capture-pane -p" + Flags), FHeight);
}

std::vector<std::string> TmuxSession::Rows() const {
    return Capture("");
}

std::vector<std::string> TmuxSession::Screen() const {
    std::vector<std::string> rows = Capture(" -N");
    for (std::string& r : rows) r.resize(static_cast<std::size_t>(FWidth), ' ');
    return rows;
}

// tmux writes the colours as changes from cell to cell, also across rows, so
// the codes in force carry over from one row to the next.
std::vector<std::string> TmuxSession::Cells() const {
    std::vector<std::string> rows = Capture(" -N -e");
    std::vector<int> sgr; // the codes in force, in order
    for (std::string& r : rows) {
        std::string cells;
        int n = 0;
        for (std::size_t i = 0; i < r.size(); ++i) {
            if (r[i] == '\x1b' && i + 1 < r.size() && r[i + 1] == '[') {
                std::size_t end = r.find('m', i);
                if (end == std::string::npos) break;
                std::string params = r.substr(i + 2, end - i - 2);
                i = end;
                if (params.empty()) params = "0";
                for (std::size_t at = 0; at <= params.size();) {
                    std::size_t semi = params.find(';', at);
                    if (semi == std::string::npos) semi = params.size();
                    int code = std::atoi(params.substr(at, semi - at).c_str());
                    if (code == 0)
                        sgr.clear();
                    else
                        sgr.push_back(code);
                    at = semi + 1;
                }
                continue;
            }
            if ((static_cast<unsigned char>(r[i]) & 0xC0) == 0x80) {
                cells.insert(cells.size() - 1, 1, r[i]); // UTF-8 continuation
                continue;
            }
            cells += std::string(1, r[i]) + Attr(sgr) + "\n";
            ++n;
        }
        for (; n < FWidth; ++n) cells += " " + Attr({}) + "\n";
        r = cells;
    }
    return rows;
}

std::string TmuxSession::At(int X, int Y, std::size_t Len) const {
    return Screen()[static_cast<std::size_t>(Y - 1)].substr(static_cast<std::size_t>(X - 1), Len);
}

bool TmuxSession::Shows(const std::string& Text) const {
    for (const std::string& r : Screen())
        if (r.find(Text) != std::string::npos) return true;
    return false;
}

bool TmuxSession::WaitUntil(const std::function<bool()>& Cond) const {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < until) {
        if (Cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return Cond();
}

bool TmuxSession::WaitFor(const std::string& Text) const {
    return WaitUntil([&] { return Shows(Text); });
}

bool TmuxSession::WaitGone(const std::string& Text) const {
    return WaitUntil([&] { return !Shows(Text); });
}

bool TmuxSession::WaitScreen(const std::vector<std::string>& Want) const {
    return WaitUntil([&] { return Cells() == Want; });
}

void TmuxSession::Type(const std::string& Text) const {
    Tmux("send-keys -l " + ShellQuote(Text));
}

void TmuxSession::Key(const std::string& Name) const {
    Tmux("send-keys " + Name);
}

bool TmuxSession::WaitEnded() const {
    return WaitUntil([&] { return PathExists(FDir + "/after"); });
}

std::string TmuxSession::ExitCode() const {
    return ReadFileBytes(FDir + "/rc");
}

std::string TmuxSession::SttyBefore() const {
    return ReadFileBytes(FDir + "/before");
}

std::string TmuxSession::SttyAfter() const {
    return ReadFileBytes(FDir + "/after");
}

void QuitAndExpectCleanEnd(const TmuxSession& Tm) {
    Tm.Key("Escape");
    if (!Tm.WaitFor("Are you sure to exit?"))
        ADD_FAILURE() << "never saw the exit question:\n" << JoinRows(Tm.Rows());
    Tm.Key("Enter");
    ASSERT_TRUE(Tm.WaitEnded()) << "the program did not end:\n" << JoinRows(Tm.Rows());
    EXPECT_EQ(Tm.ExitCode(), "0\n");
    EXPECT_FALSE(Tm.SttyBefore().empty());
    EXPECT_EQ(Tm.SttyAfter(), Tm.SttyBefore());
}
