// The keyboard reader fed through a real pseudo-terminal: the test types into
// the master, descriptor 0 is the slave in raw mode. Every test waits until
// all typed bytes sit in the slave's input queue before it reads, so the
// decoder's 10 ms pauses never decide a result; a "late" byte is one typed
// only after ReadKey has returned.
#include "terminal/m_Input.h"

#include "terminal/KeyCodes.h"

#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

std::string Ext(uint8_t Code) {
    return std::string{Key::Extended, static_cast<char>(Code)};
}

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

struct KeyCase {
    const char* Name;
    std::string In;
    std::string Want;
};

// One case per rule of the decoder at least, with what comes of it.
std::vector<KeyCase> EscapeCases() {
    return {
        // escape, then one byte
        {"EscLF", "\x1b\n", "\n"},
        {"AltX", "\x1bx", Ext(45)},
        {"AltQ", "\x1bq", Ext(16)},
        {"AltM", "\x1bm", Ext(50)},
        {"Alt1",
         "\x1b"
         "1",
         Ext(120)},
        {"Alt0",
         "\x1b"
         "0",
         Ext(129)},
        {"AltMinus", "\x1b-", Ext(130)},
        {"AltEquals", "\x1b=", Ext(131)},
        {"EscUpperQ", "\x1bQ", "Q\x1b"},
        {"EscEsc", "\x1b\x1b", "\x1b\x1b"},
        {"EscHighByte", "\x1b\xC4", "\xC4\x1b"},
        // escape "["
        {"Up", "\x1b[A", Ext(Scan::Up)},
        {"Down", "\x1b[B", Ext(Scan::Down)},
        {"Right", "\x1b[C", Ext(Scan::Right)},
        {"Left", "\x1b[D", Ext(Scan::Left)},
        {"Home", "\x1b[H", Ext(Scan::Home)},
        {"EndK", "\x1b[K", Ext(Scan::End)},
        {"EndXtermNormalCursorMode", "\x1b[F", Ext(Scan::End)},
        {"PgDnU", "\x1b[U", Ext(Scan::PgDn)},
        {"PgUpV", "\x1b[V", Ext(Scan::PgUp)},
        {"KeypadFive", "\x1b[G", "5"},
        {"End4Tilde", "\x1b[4~", Ext(Scan::End)},
        {"PgUp5Tilde", "\x1b[5~", Ext(Scan::PgUp)},
        {"PgDn6Tilde", "\x1b[6~", Ext(Scan::PgDn)},
        {"DiscardOnlyOneByte", "\x1b[5~~", Ext(Scan::PgUp) + "~"},
        {"DiscardAnyByte", "\x1b[4x", Ext(Scan::End)},
        {"BracketOther", "\x1b[Z", "Z[\x1b"},
        // escape "[["
        {"F1Linux", "\x1b[[A", Ext(Scan::F1)},
        {"F2Linux", "\x1b[[B", Ext(Scan::F2)},
        {"F3Linux", "\x1b[[C", Ext(Scan::F3)},
        {"F4Linux", "\x1b[[D", Ext(Scan::F4)},
        {"F5Linux", "\x1b[[E", Ext(Scan::F5)},
        {"DoubleBracketOther", "\x1b[[Z", std::string(1, '\0')},
        // escape "[1"
        {"Home1Tilde", "\x1b[1~", Ext(Scan::Home)},
        {"F5", "\x1b[15~", Ext(Scan::F5)},
        {"F6", "\x1b[17~", Ext(Scan::F6)},
        {"F7", "\x1b[18~", Ext(Scan::F7)},
        {"F8", "\x1b[19~", Ext(Scan::F8)},
        {"Esc11TildeQueuesNothing", "\x1b[11~", std::string(1, '\0')},
        {"Esc15Other", "\x1b[15x", std::string(1, '\0')},
        // escape "[2"
        {"Ins", "\x1b[2~", Ext(Scan::Ins)},
        {"F9", "\x1b[20~", Ext(Scan::F9)},
        {"F10", "\x1b[21~", Ext(Scan::F10)},
        {"F11", "\x1b[23~", Ext(Scan::F11)},
        {"F12", "\x1b[24~", Ext(Scan::F12)},
        {"ShiftF3", "\x1b[25~", Ext(Scan::ShiftF3)},
        {"ShiftF4", "\x1b[26~", Ext(Scan::ShiftF4)},
        {"ShiftF5", "\x1b[28~", Ext(Scan::ShiftF5)},
        {"ShiftF6", "\x1b[29~", Ext(Scan::ShiftF6)},
        {"Esc22Tilde", "\x1b[22~", std::string(1, '\0')},
        // escape "[3"
        {"Del", "\x1b[3~", Ext(Scan::Del)},
        {"ShiftF7", "\x1b[31~", Ext(Scan::ShiftF7)},
        {"ShiftF8", "\x1b[32~", Ext(Scan::ShiftF8)},
        {"ShiftF9", "\x1b[33~", Ext(Scan::ShiftF9)},
        {"ShiftF10", "\x1b[34~", Ext(Scan::ShiftF10)},
        {"Esc35Tilde", "\x1b[35~", std::string(1, '\0')},
        // escape "O"
        {"UpSS3", "\x1bOA", Ext(Scan::Up)},
        {"DownSS3", "\x1bOB", Ext(Scan::Down)},
        {"RightSS3", "\x1bOC", Ext(Scan::Right)},
        {"LeftSS3", "\x1bOD", Ext(Scan::Left)},
        {"EndSS3", "\x1bOF", Ext(Scan::End)},
        {"HomeSS3", "\x1bOH", Ext(Scan::Home)},
        {"F1", "\x1bOP", Ext(Scan::F1)},
        {"F2", "\x1bOQ", Ext(Scan::F2)},
        {"F3", "\x1bOR", Ext(Scan::F3)},
        {"F4", "\x1bOS", Ext(Scan::F4)},
        {"SS3Other", "\x1bOZ", std::string(1, '\0')},
        // sequences cut short queue nothing for their incomplete part
        {"CutAfterBracket", "\x1b[", std::string(1, '\0')},
        {"CutAfterO", "\x1bO", std::string(1, '\0')},
        {"CutAfterBracket1", "\x1b[1", std::string(1, '\0')},
        // keys around a sequence are kept in order
        {"KeysAroundSequence", "a\x1b[Bz", "a" + Ext(Scan::Down) + "z"},
        {"TwoSequencesInOneBurst", "\x1b[A\x1bOP", Ext(Scan::Up) + Ext(Scan::F1)},
    };
}

TEST_F(KeyboardOnPty, EveryEscapeRuleDecodesAsSpecified) {
    for (const KeyCase& c : EscapeCases()) {
        SCOPED_TRACE(c.Name);
        Type(c.In);
        EXPECT_EQ(Drain(), c.Want);
        EXPECT_EQ(Keys.InCount, 0);
        EXPECT_EQ(Queued(), 0);
    }
}

TEST_F(KeyboardOnPty, PlainBytesPassThroughAndDelIsBackspace) {
    const std::vector<KeyCase> cases = {
        {"Del", "\x7f", "\b"},
        {"Backspace", "\b", "\b"},
        {"CtrlCZBackslash", "\x03\x1a\x1c", "\x03\x1a\x1c"},
        {"HighBytes", "\x80\xC4\xFF", "\x80\xC4\xFF"},
        {"CarriageReturn", "\r", "\r"},
        {"Text", "Hello", "Hello"},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Type(c.In);
        EXPECT_EQ(Drain(), c.Want);
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
