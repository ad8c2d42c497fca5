#pragma once
// The whole program under test in tmux: a detached session on a tmux server
// of its own (its own socket), started with a given size, directory and
// arguments, optionally with a /tmp of its own (a bind mount in a private
// mount namespace). Keys go in with send-keys, the screen comes back with
// capture-pane as text, padded text, or cell by cell with the colours. A run
// may record the terminal settings (stty -g) before and after and the exit
// code, so a test can check that the terminal came back. The destructor
// takes the server down.
//
// Waiting is bounded only so that a broken program cannot hang the test
// run; no result depends on how long anything takes.

#include <functional>
#include <string>
#include <vector>

// The output of a shell command.
std::string ShellRun(const std::string& Cmd);
// S as one word for the shell, in single quotes.
std::string ShellQuote(const std::string& S);
bool HaveTmux();
// unshare -m with a bind mount works here (root, or user namespaces).
bool PrivateTmpWorks();
// setpriv can run a program as the unprivileged user nobody (65534) here:
// the tests run as root, where file modes refuse nothing.
bool OtherUserWorks();
inline constexpr int OtherUid = 65534;
class TmuxSession;
// For a recorded run: Esc and Enter; the program must end with exit code 0
// and put the terminal settings back as it found them (test failures).
void QuitAndExpectCleanEnd(const TmuxSession& Tm);

// Rows joined, one per line, for failure messages.
std::string JoinRows(const std::vector<std::string>& Rows);
// The message list in the rows of a screen (rows 3-24 that start with a
// digit): each row's message number, a blank and its flags (column 70 on).
std::vector<std::string> ListNumbersAndFlags(const std::vector<std::string>& Rows);

struct TmuxRun {
    std::string Dir;      // the program's working directory
    std::string Program;  // path of the program (quoted here)
    std::string Emulator; // runs Program under it when not empty (cross builds)
    std::string Args;     // arguments, already quoted for the shell
    std::string Input;    // a file for its standard input, or empty
    // Dir/tmp mounted over /tmp for the program; Dir must lie outside /tmp.
    // A program under /tmp is run from a copy in Dir/.kv-program.
    bool PrivateTmp = false;
    int Uid = -1; // when >= 0, the program runs as this user and group
    // Dir/before and Dir/after get stty -g from before and after the run,
    // Dir/rc the exit code, and the pane stays. Otherwise the pane ends with
    // the program.
    bool Record = false;
    int Width = 80;
    int Height = 25;
};

class TmuxSession {
public:
    explicit TmuxSession(std::string Socket);
    ~TmuxSession();
    TmuxSession(const TmuxSession&) = delete;
    TmuxSession& operator=(const TmuxSession&) = delete;

    const std::string& Socket() const { return FSocket; }
    // The shell command that runs tmux on this server with Args.
    std::string Command(const std::string& Args) const;
    // Runs it; its output (errors are dropped).
    std::string Tmux(const std::string& Args) const;

    void Start(const TmuxRun& Run);
    // A session running ShellCommand as it is, Width x Height.
    void StartShell(const std::string& ShellCommand, int Width = 80, int Height = 25);

    // The rows as capture-pane gives them: trailing blanks cut.
    std::vector<std::string> Rows() const;
    // The rows as shown, each padded to the width.
    std::vector<std::string> Screen() const;
    // The rows cell by cell, each cell its character and its colours
    // ("c/fg/bg/bold blink reverse" and a newline), so that two screens
    // compare equal when they look the same.
    std::vector<std::string> Cells() const;
    // Text at column X of row Y (both 1-based), Len columns.
    std::string At(int X, int Y, std::size_t Len) const;
    bool Shows(const std::string& Text) const;

    bool WaitUntil(const std::function<bool()>& Cond) const;
    bool WaitFor(const std::string& Text) const;
    bool WaitGone(const std::string& Text) const;
    bool WaitScreen(const std::vector<std::string>& Want) const; // by Cells()

    // Literal text, or tmux key names (Enter, Escape, Down, Tab).
    void Type(const std::string& Text) const;
    void Key(const std::string& Name) const;

    // For a recorded run: waits until the program ended; then its exit
    // code line and the terminal settings from before and after it.
    bool WaitEnded() const;
    std::string ExitCode() const;
    std::string SttyBefore() const;
    std::string SttyAfter() const;

private:
    std::vector<std::string> Capture(const std::string& Flags) const;
    std::string FSocket;
    std::string FDir;
    int FWidth = 80;
    int FHeight = 25;
};
