#pragma once
// A box (a dialog, a prompt, a chooser) run on the console pty with its keys
// typed at the moment it waits for one, so a test can look at the screen the
// user sees at each wait. The program's select() is replaced (see the source)
// in every test program that uses this fixture, and only there: a program
// that never names BoxFixture never links its object from the library.
//
//   OnIdle({[&] { ExpectRun(37, 5, " Open ", 0x7F); return "\x1b"; }}, "\x1b");
//   EXPECT_EQ(OpenFileDialog(" Open ", Dir), "");
//   ExpectPatternBack();
//
// - SetUp draws Pattern() and plans no step: a box that waits for a key the
//   test did not plan fails the test and gets Enter, so it never hangs.
// - While the fixture lives, what reaches the master side is read and
//   dropped (drain), so a box that redraws on every key cannot block on a
//   full pty; drain.reset() stops that before a test reads the output itself.

#include "tests/common/PtyFixture.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// Reads and drops what reaches the pty's master side while it lives.
class MasterDrain {
public:
    explicit MasterDrain(int Fd);
    ~MasterDrain();

private:
    void Run();
    std::atomic<bool> stop{false};
    int fd;
    std::thread reader;
};

class BoxFixture : public ConsolePtyFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // A screen whose every cell differs from its neighbours, the cursor at
    // (5, 3) and attribute $1E: whatever a box forgets to put back shows.
    void Pattern();

    // A step looks at the screen while the program waits, and returns the keys
    // it types next. Keys the program asks for beyond the steps: a failure,
    // then Fallback.
    using Step = std::function<std::string()>;
    void OnIdle(std::vector<Step> Steps, std::string Fallback);
    void ExpectStepsDone() const;

    // Len characters of the shadow from (X, Y) on.
    static std::string Text(int X, int Y, int Len);
    // Text at (X, Y) and every one of its cells in Attr.
    static void ExpectRun(int X, int Y, const std::string& Want, uint8_t Attr);
    // The screen, the cursor and the attribute are those of Pattern().
    void ExpectPatternBack();

    std::vector<Step> steps;
    std::size_t next = 0;
    std::string fallback;
    std::unique_ptr<MasterDrain> drain;
};
