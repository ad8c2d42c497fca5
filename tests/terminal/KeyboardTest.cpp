// The keyboard reader fed through a real pseudo-terminal: the test types into
// the master, descriptor 0 is the slave in raw mode. Every test waits until
// all typed bytes sit in the slave's input queue before it reads, so the
// decoder's 10 ms pauses never decide a result; a "late" byte is one typed
// only after ReadKey has returned.
#include "terminal/KeyCodes.h"
#include "terminal/m_Input.h"
#include "tests/common/KeyCases.h"

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <pty.h>
#include <string>
#include <string_view>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

class KeyboardOnPty : public ::testing::Test {
protected:
    int Master = -1;
    int Slave = -1;
    int SavedStdin = -1;
    TInput Keys;

    void SetUp() override {
        ASSERT_EQ(openpty(&Master, &Slave, nullptr, nullptr, nullptr), 0);
        termios t{};
        ASSERT_EQ(tcgetattr(Slave, &t), 0);
        cfmakeraw(&t);
        ASSERT_EQ(tcsetattr(Slave, TCSANOW, &t), 0);
        SavedStdin = dup(0);
        ASSERT_GE(SavedStdin, 0);
        ASSERT_EQ(dup2(Slave, 0), 0);
    }

    void TearDown() override {
        if (SavedStdin >= 0) {
            dup2(SavedStdin, 0);
            close(SavedStdin);
        }
        if (Slave >= 0) close(Slave);
        if (Master >= 0) close(Master);
    }

    // Bytes waiting in the slave's input queue, not yet read by the reader.
    int Queued() {
        int n = 0;
        ioctl(0, FIONREAD, &n);
        return n;
    }

    // Types Bytes on the master and returns once all of them can be read.
    void Type(std::string_view Bytes) {
        int want = Queued() + static_cast<int>(Bytes.size());
        ASSERT_EQ(write(Master, Bytes.data(), Bytes.size()), static_cast<ssize_t>(Bytes.size()));
        for (int i = 0; i < 10000 && Queued() < want; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(Queued(), want) << "typed bytes never reached the slave";
    }

    // Every key byte the reader hands out until nothing is waiting.
    std::string Drain() {
        std::string out;
        while (Keys.KeyPressed() && out.size() < 100) out += Keys.ReadKey();
        return out;
    }
};

// The reader gives #0 for a key that decodes to nothing.
std::string ReaderWant(const KeyCase& C) {
    return C.Want.empty() ? std::string(1, '\0') : C.Want;
}

TEST_F(KeyboardOnPty, EveryEscapeRuleDecodesAsSpecified) {
    for (const KeyCase& c : EscapeKeyCases()) {
        SCOPED_TRACE(c.Name);
        Type(c.In);
        EXPECT_EQ(Drain(), ReaderWant(c));
        EXPECT_EQ(Keys.InCount, 0);
        EXPECT_EQ(Queued(), 0);
    }
}

TEST_F(KeyboardOnPty, PlainBytesPassThroughAndDelIsBackspace) {
    for (const KeyCase& c : PlainKeyCases()) {
        SCOPED_TRACE(c.Name);
        Type(c.In);
        EXPECT_EQ(Drain(), ReaderWant(c));
    }
}

TEST_F(KeyboardOnPty, LoneEscapeIsEscAndLateBytesAreKeysOfTheirOwn) {
    Type("\x1b");
    EXPECT_EQ(Keys.ReadKey(), '\x1b');
    EXPECT_FALSE(Keys.KeyPressed());
    // "[A" only after the reader gave up waiting: two plain keys.
    Type("[A");
    EXPECT_EQ(Keys.ReadKey(), '[');
    EXPECT_EQ(Keys.ReadKey(), 'A');
    EXPECT_FALSE(Keys.KeyPressed());
}

TEST_F(KeyboardOnPty, KeyPressedWhileScanCodeWaits) {
    Type("\x1b[A");
    EXPECT_EQ(Keys.ReadKey(), '\0');
    EXPECT_EQ(Queued(), 0);
    EXPECT_TRUE(Keys.KeyPressed()); // the scan code, with nothing on descriptor 0
    EXPECT_TRUE(Keys.WaitKey(0));
    EXPECT_EQ(Keys.ReadKey(), Scan::Up);
    EXPECT_FALSE(Keys.KeyPressed());
    EXPECT_FALSE(Keys.WaitKey(0));
}

TEST_F(KeyboardOnPty, ReadsAtMost256BytesAndNoMoreUntilAllAreUsed) {
    std::string burst;
    for (int i = 0; i < 300; i++) burst += static_cast<char>('a' + i % 26);
    Type(burst);
    std::string got;
    got += Keys.ReadKey();
    EXPECT_EQ(Keys.InCount, 255);
    EXPECT_EQ(Queued(), 44);
    for (int i = 1; i < 256; i++) {
        got += Keys.ReadKey();
        ASSERT_EQ(Queued(), 44) << "read again after " << i + 1 << " keys";
    }
    EXPECT_EQ(Keys.InCount, 0);
    EXPECT_EQ(Keys.InWrite, 0); // the ring wrapped
    got += Drain();
    EXPECT_EQ(got, burst);
    EXPECT_EQ(Queued(), 0);
}

TEST_F(KeyboardOnPty, PurgeDiscardsKeysAndBytes) {
    Type("ab\x1b[Acd");
    EXPECT_EQ(Keys.ReadKey(), 'a');
    Keys.Purge();
    EXPECT_FALSE(Keys.KeyPressed());
    EXPECT_EQ(Queued(), 0);
    Type("z");
    EXPECT_EQ(Keys.ReadKey(), 'z');
}

TEST_F(KeyboardOnPty, WaitKeyReportsTypedInput) {
    EXPECT_FALSE(Keys.WaitKey(1));
    Type("k");
    EXPECT_TRUE(Keys.WaitKey(-1));
    EXPECT_EQ(Keys.ReadKey(), 'k');
}

// The reader's waits for further bytes of a sequence, counted. DuringPause,
// when set, runs once in place of the next wait: bytes that arrive within it.
int Pauses = 0;
std::function<void()> DuringPause;

void CountingPause(uint16_t Ms) {
    ++Pauses;
    if (!DuringPause) {
        InputPause(Ms);
        return;
    }
    const std::function<void()> arrive = std::move(DuringPause);
    DuringPause = nullptr;
    arrive();
}

class KeyboardPauses : public KeyboardOnPty {
protected:
    void SetUp() override {
        KeyboardOnPty::SetUp();
        Pauses = 0;
        DuringPause = nullptr;
        Keys.PauseProc = CountingPause;
    }
    void TearDown() override {
        DuringPause = nullptr;
        KeyboardOnPty::TearDown();
    }
};

// The cases of the shared table that end by themselves: a key typed right
// after them starts a key of its own, so they can be typed back to back.
std::vector<KeyCase> SelfEndingCases() {
    std::vector<KeyCase> all = PlainKeyCases();
    all.insert(all.end(), EscapeKeyCases().begin(), EscapeKeyCases().end());
    std::vector<KeyCase> ending;
    for (const KeyCase& c : all) {
        TKeyDecoder d;
        for (char b : c.In) d.Feed(static_cast<uint8_t>(b));
        if (!d.Pending()) ending.push_back(c);
    }
    return ending;
}

// A held arrow key over a slow link: many sequences arrive together. Every
// key comes out in order, as each one typed on its own gives it, and the
// reader never waits for a byte that is already there.
TEST_F(KeyboardPauses, ABurstDecodesAsKeysTypedOneAtATimeWithoutWaiting) {
    const std::vector<KeyCase> cases = SelfEndingCases();
    ASSERT_GT(cases.size(), 60u);
    std::string burst, oneAtATime, want;
    for (size_t i = 0; i < 100; ++i) {
        const KeyCase& c = cases[i % cases.size()];
        for (const std::string& in : {Typed::Down, c.In}) {
            Type(in);
            oneAtATime += Drain();
            burst += in;
        }
        want += ExtKey(Scan::Down) + ReaderWant(c);
    }
    EXPECT_EQ(oneAtATime, want);
    ASSERT_GT(burst.size(), 512u); // more than two reads of the input ring

    Pauses = 0;
    Type(burst); // all of it waits on descriptor 0 at once
    std::string got;
    while (Keys.KeyPressed()) got += Keys.ReadKey();
    EXPECT_EQ(got, want);
    EXPECT_EQ(Pauses, 0);
    EXPECT_EQ(Queued(), 0);
}

// The wait stays for what has not arrived: a lone escape waits once and is
// the Esc key; a sequence whose rest comes within the wait is joined.
TEST_F(KeyboardPauses, TheWaitStaysForBytesNotYetArrived) {
    Type("\x1b");
    EXPECT_EQ(Keys.ReadKey(), '\x1b');
    EXPECT_EQ(Pauses, 1);
    EXPECT_FALSE(Keys.KeyPressed());

    Pauses = 0;
    DuringPause = [this] { Type("[A"); };
    Type("\x1b");
    EXPECT_EQ(Keys.ReadKey(), '\0');
    ASSERT_EQ(Pauses, 1); // "[A" came together: no wait between them
    EXPECT_EQ(static_cast<uint8_t>(Keys.ReadKey()), Scan::Up);
    EXPECT_FALSE(Keys.KeyPressed());
}

TEST(KeyRing, HoldsNineteenKeyBytesAndDropsTheRest) {
    TInput keys;
    EXPECT_EQ(keys.PopKey(), '\0');
    for (int round = 0; round < 2; round++) { // the second round starts mid-ring
        for (int i = 0; i < 25; i++) keys.PushKey(static_cast<char>('A' + i));
        std::string out;
        while (keys.KeyPut != keys.KeyTake) out += keys.PopKey();
        EXPECT_EQ(out, "ABCDEFGHIJKLMNOPQRS");
        EXPECT_EQ(keys.PopKey(), '\0');
        keys.PushExtKey(Scan::PgUp);
        EXPECT_EQ(keys.PopKey(), '\0');
        EXPECT_EQ(static_cast<uint8_t>(keys.PopKey()), Scan::PgUp);
    }
}

TEST(AltKeys, EveryListedCharacterHasItsScanCode) {
    const std::string chars = "qwertyuiopasdfghjklzxcvbnm1234567890-=";
    const std::vector<int> codes = {16,  17,  18,  19,  20,  21,  22,  23,  24,  25,  30,  31, 32,
                                    33,  34,  35,  36,  37,  38,  44,  45,  46,  47,  48,  49, 50,
                                    120, 121, 122, 123, 124, 125, 126, 127, 128, 129, 130, 131};
    TInput keys;
    ASSERT_EQ(chars.size(), codes.size());
    for (size_t i = 0; i < chars.size(); i++)
        EXPECT_EQ(keys.AltKeyCode(chars[i]), codes[i]) << chars[i];
    for (char c : {'Q', 'A', '\0', '[', ' ', '\xE1'}) EXPECT_EQ(keys.AltKeyCode(c), 0) << int(c);
}

} // namespace
