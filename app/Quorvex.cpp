// quorvex [path-of-base]: the program's entry. The units start in their
// order (console, ANSI player state, input-field settings), then the main
// program runs; it never returns, and the console's exit handler puts the
// terminal back however the process ends. SIGXFSZ is ignored first: a write
// past the file-size limit (ulimit -f) then fails with EFBIG and takes the
// path of any failed write (a box, the file removed or emptied), where the
// signal would end the program with its file half written. One sent by
// another process is ignored as well.

#include "app/MainProgram.h"
#include "terminal/AnsiUtil.h"
#include "terminal/Console.h"
#include "ui/Dialogs.h"

#include <csignal>
#include <cstdlib>

int main(int argc, char** argv) {
    std::signal(SIGXFSZ, SIG_IGN);
    InitConsole();
    InitAnsiUtil();
    std::atexit(DoneAnsiUtil); // runs before the console's own handler
    InitDialogs();
    MainProgram(argc, argv);
}
