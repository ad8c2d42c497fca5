#pragma once
// A pseudo-terminal in place of the process's terminal, for tests of code that
// talks to descriptors 0 and 1. The slave side becomes fd 0 and fd 1 for the
// duration of one test; the test holds the master side, reads what arrived and
// types keys. Every write(2) made on fd 1 is also logged call by call.
//
// How to use:
//
//   class MyTest : public PtyFixture {};
//   TEST_F(MyTest, Something) {
//       { TOutputLinux Out(true); ... }      // works on fd 1 = the pty slave
//       std::string Bytes = ReadOutput();    // all bytes that reached the master so far
//       std::vector<std::string> W = TakeWrites();  // one entry per write(2) on fd 1
//       Type("\x1b[A");                      // bytes arrive on fd 0 as if typed
//   }
//
// - SetUp opens the pty, saves fd 0 and fd 1 and dup2()s the slave onto both;
//   TearDown puts the originals back. Derive from PtyFixture and call
//   PtyFixture::SetUp()/TearDown() first if you override them.
// - ReadOutput() is exact, not timed: it sends a marker through the slave
//   and reads the master until the marker comes back, so everything written
//   before the call is in the result (and the marker is not). It consumes what
//   it returns. The pty holds a few tens of KB: read before writing more.
// - The write log records from SetUp on; TakeWrites() returns it and clears it,
//   ClearWrites() only clears. Only calls of the C library's write() on fd 1
//   are logged (the fixture defines write() and forwards it with syscall()),
//   which is what the terminal writer uses; stdio's own output is not logged.
// - Typing: Type() writes to the master. Input typed while the slave is still
//   in canonical mode waits for a line end and is echoed to the master, so
//   type after the code under test has switched the terminal to raw mode.
// - The slave starts with the kernel's default settings (cooked mode) and a
//   window size of 0 x 0; SetWindowSize() sets another one.
// - Keep diagnostics on stderr: while a test runs, stdout is the pty. Failed
//   assertions are still printed by gtest on the real stdout (the fixture
//   points fd 1 back there while gtest prints them).

#include "tests/common/TempDirFixture.h"

#include <string>
#include <string_view>
#include <termios.h>
#include <vector>

#include <gtest/gtest.h>

class PtyFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Everything the slave side sent to the master since the last call.
    std::string ReadOutput();
    // The write(2) calls on fd 1 since SetUp or the last TakeWrites/ClearWrites.
    std::vector<std::string> TakeWrites();
    void ClearWrites();
    // Bytes written to the master: they arrive on fd 0 as typed input.
    void Type(std::string_view Bytes);
    // The slave's current terminal settings (tcgetattr on the slave).
    termios SlaveSettings() const;
    void SetWindowSize(unsigned short Rows, unsigned short Cols);

    // Types Bytes and waits until the slave has them all to read, so a reader

    // that polls finds them at once (no pause decides a result).

    void TypeAndWait(const std::string& Bytes);

    int Master() const { return MasterFd; }
    int Slave() const { return SlaveFd; }
    // Duplicates of the process's fd 0 and fd 1 as they were before SetUp.
    int RealStdin() const { return SavedIn; }
    int RealStdout() const { return SavedOut; }

private:
    int MasterFd = -1;
    int SlaveFd = -1;
    int SavedIn = -1;
    int SavedOut = -1;
};

// True when two terminal settings agree in every field tcsetattr applies.
bool SameSettings(const termios& A, const termios& B);

// A pty test with the console up for the whole test, its start-up output
// read and its writes forgotten.
class ConsolePtyFixture : public PtyFixture {
protected:
    void SetUp() override;
    void TearDown() override;
};

// A console test that plays files: a fresh directory for them (Dir, removed
// afterwards), File() to write one, Fresh() for a clean screen in an
// attribute with nothing pending.
class ConsoleFilesFixture : public ConsolePtyFixture {
protected:
    virtual void Fresh(uint8_t Attr = 7);
    // Dir.Put: writes Name in Dir with exactly these bytes; returns its path.
    std::string File(const std::string& Name, const std::string& Bytes) {
        return Dir.Put(Name, Bytes);
    }
    TempDir Dir;
};

// Bytes made readable in a failure message: control and high bytes as \xNN.
std::string Hex(const std::string& S);
