// quorvex [path-of-base]: the program's entry. The units start in their
// order (console, ANSI player state, input-field settings), then the main
// program runs; it never returns, and the console's exit handler puts the
// terminal back however the process ends.

#include "app/MainProgram.h"
#include "terminal/AnsiUtil.h"
#include "terminal/Console.h"
#include "ui/Dialogs.h"

#include <cstdlib>

int main(int argc, char** argv) {
    InitConsole();
    InitAnsiUtil();
    std::atexit(DoneAnsiUtil); // runs before the console's own handler
    InitDialogs();
    MainProgram(argc, argv);
}
